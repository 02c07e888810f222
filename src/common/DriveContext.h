#pragma once
#include <QString>
#include <cstdint>
#include <memory>

#include "common/IniFile.h"
#include "common/PortLock.h"

// The one process-wide record of the current connection.  Written on the UI
// thread only; workers read BasePort while no selection can run.
struct DriveContext {
    QString ProductName;
    QString FileVersion;
    QString ExeDir;                       // ends in "/"
    std::unique_ptr<PortLock> PortMutex;  // the base port this process holds
    std::unique_ptr<::IniFile> IniFile;   // ExeDir + "Voran.ini"
    uint16_t BasePort = 0;
    uint16_t AltPort = 0;
    uint8_t Device = 0;  // 0 master, 1 slave
    int64_t CounterFrequency = 0;
    uint16_t MonitorPeriod = 0;  // ms
    uint16_t TimeOut = 0;        // s
    QString LbaMode;             // "LBA48", "LBA28" or empty
    QString Model;               // at most 40 characters
};

DriveContext& Ctx();

// Back to the start-of-program state (tests).
void ResetDriveContext();

// Directory of the running executable, ending in "/".
QString ExecutableDir();
