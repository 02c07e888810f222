#pragma once
// The rules of starting a drive connection, apart from any window.
#include <QString>
#include <cstdint>

#include "hw/AtaDefs.h"

class IniFile;

// The window title from the version record: "Voran  2.0.0.10" (product name,
// two blanks, file version), "Voran 2.0" when there is no version record.
// Fills Ctx().ProductName and Ctx().FileVersion from the record.
QString VersionTitle();

// What the title of a simulated machine carries, so that nobody takes a
// simulated drive for a real one.
extern const char* const kSimulatedMarker;

struct ChannelPorts {
    uint16_t base = 0;  // command block
    uint16_t alt = 0;   // alternate status / device control
};

// The ports of a chosen grid row: both cells are hexadecimal text.  The
// control cell holds the control block base, whose alternate status register
// lies at +2, except on the legacy channels 1F0 and 170 whose cell is the
// register itself (3F6, 376).  Fails, with the reason, for text that is not
// a port address and for a channel without ports (base 0000).
bool ChannelPortsFromTexts(const QString& baseText, const QString& controlText, ChannelPorts& out,
                           QString* error);

// The device/head byte that selects the device (LBA bit set): E0 or F0.
inline uint8_t DeviceSelectByte(uint8_t device) { return uint8_t((device << 4) | 0xE0); }

// What a successful identification at connection time gives the status bar.
struct ConnectIdentity {
    QString model;
    QString lbaMode;   // word 83 decides; 0000/FFFF keep the previous value
    QString security;  // info::PasswordLevel
};
ConnectIdentity DecodeConnectIdentify(const ata::IdentifyBlock& block, const QString& previousLbaMode);

// TimeOut (s) and MonitorPeriod (ms) as read at program start: 10 and 35
// unless the file says otherwise.  A stored value that is no usable time
// (0, negative, above 65535) falls back to the default as a missing one does.
struct StartupTimeouts {
    uint16_t timeOut = 10;
    uint16_t monitorPeriod = 35;
};
StartupTimeouts ReadStartupTimeouts(const IniFile* ini);
