#pragma once
// The identify report: IDENTIFY DEVICE data decoded into the lines of the
// report and the values of the main window's status bar.  No widgets here:
// the report window, the status bar and the command line share this decode.
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

#include "hw/AtaDefs.h"
#include "hw/AtaTypes.h"

namespace info {

// Row labels.  Every label is 33 characters: the caption, full stops and one
// blank, so that every value starts in column 34 in a fixed-pitch font.
namespace label {
inline constexpr QStringView Model = u"Модель.......................... ";
inline constexpr QStringView Firmware = u"Версия FW....................... ";
inline constexpr QStringView Serial = u"Серийный номер.................. ";
inline constexpr QStringView AtaVersion = u"Поддерживаемая версия ATA....... ";
inline constexpr QStringView UdmaSupported = u"Поддерживаемый режим UDMA....... ";
inline constexpr QStringView UdmaSelected = u"Используемый режим UDMA......... ";
inline constexpr QStringView Addressing = u"Режим адресации................. ";
inline constexpr QStringView MaxSectors = u"Максимальное количество секторов ";
inline constexpr QStringView CurrentSectors = u"Текущее количество секторов..... ";
inline constexpr QStringView Capacity = u"Текущая емкость диска........... ";
inline constexpr QStringView Hpa = u"Поддержка HPA................... ";
inline constexpr QStringView Security = u"Поддержка SECURITY.............. ";
inline constexpr QStringView EraseTime = u"Время SECURITY Erase............ ";
inline constexpr QStringView EnhancedEraseTime = u"Время Enhanced SECURITY Erase... ";
inline constexpr QStringView Password = u"Пароль.......................... ";
inline constexpr QStringView SetMaxSecurity = u"Поддержка SET MAX Security...... ";
inline constexpr QStringView Smart = u"Поддержка SMART................. ";
inline constexpr QStringView SmartState = u"Состояние SMART................. ";
inline constexpr QStringView SmartSelfTest = u"Поддержка SMART Self-Test....... ";
inline constexpr QStringView SmartErrorLog = u"Поддержка SMART Error Logging... ";
// "ААМ" is Cyrillic A, A, EM; "АPМ" is Cyrillic A, Latin P, Cyrillic EM.
inline constexpr QStringView Aam = u"Поддержка \u0410\u0410\u041C................... ";
inline constexpr QStringView AamValue = u"Текущее значение \u0410\u0410\u041C............ ";
inline constexpr QStringView Apm = u"Поддержка \u0410P\u041C................... ";

inline constexpr std::array<QStringView, 23> All = {
    Model, Firmware, Serial, AtaVersion, UdmaSupported, UdmaSelected, Addressing, MaxSectors,
    CurrentSectors, Capacity, Hpa, Security, EraseTime, EnhancedEraseTime, Password, SetMaxSecurity,
    Smart, SmartState, SmartSelfTest, SmartErrorLog, Aam, AamValue, Apm};
}  // namespace label

// Values shared by several rows.
inline constexpr QStringView kPresent = u"Присутствует";
inline constexpr QStringView kAbsent = u"Отсутствует";
// A version or erase-time row with nothing to show.
inline constexpr QStringView kNotDefined = u"Не определено";
// UDMA rows none of whose bits is set.
inline constexpr QStringView kUdmaNotSupported = u"Не поддерживается";
inline constexpr QStringView kUdmaNotSelected = u"Не используется";

// What the report is made of.
struct IdentifyReport {
    QStringList lines;  // the rows in order; an empty row is an empty line

    // Status bar panels 2 to 5.
    QString model;          // panel 2: the trimmed model
    QString lbaMode;        // panel 3: "LBA48" or "LBA28"
    QString passwordLevel;  // panel 4: "Max", "High" or empty
    QString hpaPanel;       // panel 5: "HPA" or empty

    // Derived values, for callers that need more than the text.
    bool lba48 = false;
    uint64_t currentSectors = 0;
    bool hpaSupported = false;    // word 82 reports the feature set
    bool nativeMaxKnown = false;  // ... and the native maximum was read
    bool hpaInUse = false;        // the current maximum lies below the native one
};

// Words 82-85 count only when they are neither 0x0000 nor 0xFFFF.
bool FlagSet(const ata::IdentifyBlock& block, int word, int bit);
// Word 82 reports the host protected area feature set (READ NATIVE MAX is
// worth asking).
bool ReportsHpa(const ata::IdentifyBlock& block);
// Words 100-103 for a 48-bit drive, otherwise words 60-61.
uint64_t CurrentSectors(const ata::IdentifyBlock& block);

// The whole decode.  `nativeMaxAddress` is what READ NATIVE MAX ADDRESS
// returned, for a drive that reports the host protected area; nullopt when
// the command failed (or was not sent).  It is not looked at otherwise.
IdentifyReport DecodeIdentify(const ata::IdentifyBlock& block, std::optional<int64_t> nativeMaxAddress);

// Row rules, exposed for the tests and the command line.
QString AtaVersionText(uint16_t word80);
QString UdmaSupportedText(uint16_t word88);
QString UdmaSelectedText(uint16_t word88);
// Word 89 or 90: 0 unknown; 1-254 two-minute units; 255 more than 508
// minutes.  Bit 15 set is the extended form: bits 0-14 in two-minute units,
// 0x7FFF more than 65532 minutes.  Other values give "Не определено".
QString EraseTimeText(uint16_t word);
// Word 128.
QString PasswordText(uint16_t word128);
QString PasswordLevel(uint16_t word128);
// Sectors / 2048, the nearest integer, a half to the even neighbour.
uint64_t CapacityMegabytes(uint64_t sectors);
// Digit groups joined by "`" for the full unsigned range.
QString GroupedCount(uint64_t value);

// The whole job against the current drive: IDENTIFY DEVICE, READ NATIVE MAX
// when word 82 reports the feature set, and the decode.
struct DriveIdentify {
    int32_t identifyResult = 0;   // IdentifyDevice's result; low byte 0 = failed
    ata::Result identifyFailure;  // the failed command in full
    ata::IdentifyBlock block{};
    bool nativeMaxAsked = false;
    std::optional<ata::Result> nativeMaxFailure;  // READ NATIVE MAX was refused
    IdentifyReport report;        // filled when ok()

    bool ok() const { return (identifyResult & 0xFF) != 0; }
};
DriveIdentify IdentifyCurrentDrive();

// The program's message for a failed identify.
inline constexpr QStringView kIdentifyFailed = u"Ошибка идентификации устройства!";

}  // namespace info
