#pragma once
// The SMART attribute table: reading it from the drive, the rules that turn
// the attribute and threshold sectors into the viewer's rows, the colour of a
// row, and the lines of the text report.  No widgets here: the viewer window,
// the command line and the stress test share these pieces.
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTime>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "hw/AtaDefs.h"
#include "hw/AtaTypes.h"

namespace info {

// ---- names ------------------------------------------------------------------------

struct AttributeNameEntry {
    uint8_t id;
    const char* name;  // at most 30 characters
};
// The fixed table of attribute names; several names stand for two ids.
extern const std::array<AttributeNameEntry, 45> AttributeNameTable;

// The table's name of `id`, else "Attribute " and the id in decimal.
QString AttributeName(uint8_t id);

// ---- cell rules ---------------------------------------------------------------------

inline constexpr QStringView kTemperatureName = u"Temperature";
inline constexpr uint8_t kTemperatureId = 194;

// The first raw byte in decimal followed by "°C".
QString TemperatureText(uint8_t rawByte0);

// The six raw bytes (least significant first) as one 48-bit number: twelve
// upper-case hexadecimal digits when `rawFormat` is 0, decimal otherwise.
QString RawValueText(const uint8_t (&raw)[6], int rawFormat);

// The first entry (in entry order) whose id is `id`; null when none is.
// Entries with id 0 hold no attribute and are never found.
const ata::SmartAttribute* FindAttribute(const ata::SmartData& data, uint8_t id);
// The threshold of the first threshold entry whose id is `id`.
std::optional<uint8_t> ThresholdOf(const ata::SmartThresholds& thresholds, uint8_t id);

// ---- the grid -----------------------------------------------------------------------

inline constexpr int kSmartColumns = 5;
using SmartRow = std::array<QString, kSmartColumns>;

// Row 0 of the grid.
inline const SmartRow kSmartHeader = {QStringLiteral("Название атрибута"), QStringLiteral("Порог"),
                                      QStringLiteral("Значение"), QStringLiteral("Худшее"),
                                      QStringLiteral("Внутренний формат")};
inline constexpr std::array<int, kSmartColumns> kSmartColumnWidths = {316, 67, 67, 64, 127};
inline constexpr int kSmartRowHeight = 16;
// Past this many grid rows (the header row included) the name column gives
// way to the vertical scroll bar.
inline constexpr int kSmartRowsWithoutScroll = 15;
inline constexpr int kSmartNarrowNameWidth = 300;

// Width of the name column for a grid of `rowCount` rows, header included.
int NameColumnWidth(int rowCount);

// One attribute entry as a grid row: name, threshold (empty without a
// threshold entry of that id), value, worst, raw value or temperature.
SmartRow AttributeRow(const ata::SmartAttribute& a, const ata::SmartThresholds& thresholds, int rawFormat);
// A row for every entry with a non-zero id, in entry order.
std::vector<SmartRow> AttributeRows(const ata::SmartData& data, const ata::SmartThresholds& thresholds,
                                    int rawFormat);

// Colour rule of a data row: its value (column 2) is below its threshold
// (column 1), both read as integers.  A cell that holds no integer (an
// attribute without a threshold entry) leaves the row in the normal colour.
bool BelowThreshold(const SmartRow& row);

// ---- the report -----------------------------------------------------------------

// Fill characters added until `width` is reached; a text already as long or
// longer is returned unchanged.  PadCenter puts half of them (rounded down)
// on the left.
QString PadCenter(const QString& text, int width, QChar fill = QLatin1Char(' '));
QString PadLeft(const QString& text, int width, QChar fill = QLatin1Char(' '));
QString PadRight(const QString& text, int width, QChar fill = QLatin1Char(' '));

// Widths of the report's six cells: number, name, threshold, value, worst, raw.
inline constexpr std::array<int, 6> kReportCellWidths = {2, 30, 10, 10, 10, 17};

// The table of the report, from the top border to the bottom border: the
// header, its rule and one numbered line per data row.
QStringList SmartTableLines(const std::vector<SmartRow>& rows);

struct SmartReportHead {
    QString caption;   // the main window's caption
    QString dateText;  // short date
    QString timeText;  // long time
    QString model;     // trimmed
    QString serial;    // trimmed
};
// The whole report: caption, date and time, model, serial number, table.
QStringList SmartReportLines(const SmartReportHead& head, const std::vector<SmartRow>& rows);

// "SMART - model - date_hh.mm.ss", with characters a file name cannot hold
// replaced by ".".
QString SmartReportFileName(const QString& modelTrimmed, const QString& dateText, const QTime& time);

// ---- reading --------------------------------------------------------------------

// The program's messages.
inline constexpr QStringView kSmartNotSupported = u"SMART не поддерживается!";
inline constexpr QStringView kSmartEnableFailed = u"Ошибка включения SMART!";
inline constexpr QStringView kSmartDisableFailed = u"Ошибка отключения SMART!";
inline constexpr QStringView kSmartReadFailed = u"Ошибка получения атрибутов SMART!";

// Identify word 82: SMART is supported unless the word is valid (neither
// 0x0000 nor 0xFFFF) with bit 0 clear.
bool SmartSupported(const ata::IdentifyBlock& block);
// Identify word 85: SMART is switched off when the word is valid and bit 0
// is clear.
bool SmartSwitchedOff(const ata::IdentifyBlock& block);

// The attribute sector alone (the stress test's temperature watch).  The
// layer's result: low byte non-zero on success.
int32_t ReadSmartAttributes(ata::SmartData& data);

// The commands the reading uses; tests may put their own in between.
struct SmartCalls {
    int32_t (*identify)(uint8_t* buffer512);
    int32_t (*setEnabled)(uint8_t enable);
    int32_t (*attributes)(uint8_t* buffer512);
    int32_t (*thresholds)(uint8_t* buffer512);
};
// The ATA command layer's own functions.
SmartCalls AtaSmartCalls();

enum class SmartStatus {
    Ok,              // attributes and thresholds read
    IdentifyFailed,  // "Ошибка идентификации устройства!"
    NotSupported,    // "SMART не поддерживается!"
    EnableFailed,    // "Ошибка включения SMART!"
    ReadFailed,      // "Ошибка получения атрибутов SMART!"
};

struct SmartReading {
    SmartStatus status = SmartStatus::IdentifyFailed;
    ata::IdentifyBlock identify{};
    ata::SmartData attributes{};
    ata::SmartThresholds thresholds{};
    QString model;   // trimmed identify words 27-46 (when the identify succeeded)
    QString serial;  // trimmed identify words 10-19
    // SMART was off and the reading switched it on (and off again after).
    bool smartWasDisabled = false;
    // SMART was switched on here and switching it off again was refused:
    // the drive is left with SMART on.
    bool restoreFailed = false;
    ata::Result failure;  // the failed command in full, when one failed

    bool ok() const { return status == SmartStatus::Ok; }
    bool identified() const { return status != SmartStatus::IdentifyFailed; }
};

// The reading the viewer makes: IDENTIFY DEVICE; the support and enabled
// checks; SMART switched on when it was off; the attributes, then the
// thresholds; and SMART switched off again, whatever happened, when it had
// been off.
SmartReading ReadSmart(const SmartCalls& calls = AtaSmartCalls());

// The program's message for a failed reading (empty for Ok).
QString SmartStatusMessage(SmartStatus status);

}  // namespace info
