#include "info/SmartData.h"

#include "common/Format.h"
#include "common/ReportSave.h"
#include "hw/Ata.h"
#include "info/IdentifyReport.h"

namespace info {

const std::array<AttributeNameEntry, 45> AttributeNameTable = {{
    {1, "Raw Read Error Rate"},
    {2, "Throughput Performance"},
    {3, "Spin Up Time"},
    {4, "Start/Stop Count"},
    {5, "Reallocated Sector Count"},
    {6, "Read Channel Margin Test"},
    {7, "Seek Error Rate"},
    {8, "Seek Time Performance"},
    {9, "Power On Hours Count"},
    {10, "Spin Retry Count"},
    {11, "Recalibration Retries"},
    {12, "Drive Power Cycle Count"},
    {13, "Soft Read Error Rate"},
    {191, "G-Sense Error Rate"},
    {192, "Power-Off Retract Count"},
    {193, "Load/Unload Cycle Count"},
    {194, "Temperature"},
    {195, "ECC On The Fly Count"},
    {196, "Reallocation Event Count"},
    {197, "Current Pending Sector Count"},
    {198, "Uncorrectable Sector Count"},
    {199, "Ultra ATA CRC Error Rate"},
    {200, "Write Error Rate"},
    {201, "TA Counter Detected"},
    {202, "TA Counter Increased"},
    {203, "ECC Errors"},
    {204, "Corrections Count"},
    {205, "TA Errors"},
    {206, "Calibration Time"},
    {207, "Spin Current"},
    {208, "Spin Buzzes"},
    {209, "Offline Seek"},
    {220, "Disk Shift"},
    {221, "G-Sense Error Rate"},
    {222, "Loaded Hours"},
    {223, "Load/Unload Retry Count"},
    {224, "Load Friction"},
    {225, "Load/Unload Cycle Count"},
    {226, "Load-in Time"},
    {227, "Power-Off Retract Count"},
    {228, "Calibration Time"},
    {230, "GMR Head Amplitude"},
    {231, "Temperature"},
    {240, "Head Flying Hours/Write Head"},
    {250, "Read Error Retry Rate"},
}};

QString AttributeName(uint8_t id)
{
    for (const AttributeNameEntry& e : AttributeNameTable)
        if (e.id == id)
            return QString::fromLatin1(e.name);
    return QStringLiteral("Attribute %1").arg(id);
}

// ---- cell rules ---------------------------------------------------------------------

QString TemperatureText(uint8_t rawByte0) { return QString::number(rawByte0) + QStringLiteral("°C"); }

QString RawValueText(const uint8_t (&raw)[6], int rawFormat)
{
    uint64_t v = 0;
    for (int i = 5; i >= 0; --i)
        v = (v << 8) | raw[i];
    return rawFormat == 0 ? HexText(v, 12) : QString::number(v);
}

const ata::SmartAttribute* FindAttribute(const ata::SmartData& data, uint8_t id)
{
    if (id == 0)
        return nullptr;
    for (const ata::SmartAttribute& a : data.attr)
        if (a.id == id)
            return &a;
    return nullptr;
}

std::optional<uint8_t> ThresholdOf(const ata::SmartThresholds& thresholds, uint8_t id)
{
    for (const ata::SmartThreshold& t : thresholds.entry)
        if (t.id == id)
            return t.threshold;
    return std::nullopt;
}

int NameColumnWidth(int rowCount)
{
    return rowCount > kSmartRowsWithoutScroll ? kSmartNarrowNameWidth : kSmartColumnWidths[0];
}

SmartRow AttributeRow(const ata::SmartAttribute& a, const ata::SmartThresholds& thresholds, int rawFormat)
{
    SmartRow row;
    row[0] = AttributeName(a.id);
    if (const auto t = ThresholdOf(thresholds, a.id))
        row[1] = QString::number(*t);
    row[2] = QString::number(a.value);
    row[3] = QString::number(a.worst);
    row[4] = row[0] == kTemperatureName ? TemperatureText(a.raw[0]) : RawValueText(a.raw, rawFormat);
    return row;
}

std::vector<SmartRow> AttributeRows(const ata::SmartData& data, const ata::SmartThresholds& thresholds,
                                    int rawFormat)
{
    std::vector<SmartRow> rows;
    for (const ata::SmartAttribute& a : data.attr)
        if (a.id != 0)
            rows.push_back(AttributeRow(a, thresholds, rawFormat));
    return rows;
}

bool BelowThreshold(const SmartRow& row)
{
    bool valueOk = false, thresholdOk = false;
    const int value = row[2].toInt(&valueOk);
    const int threshold = row[1].toInt(&thresholdOk);
    return valueOk && thresholdOk && value < threshold;
}

// ---- the report -----------------------------------------------------------------

QString PadCenter(const QString& text, int width, QChar fill)
{
    const int missing = width - int(text.size());
    if (missing <= 0)
        return text;
    return QString(missing / 2, fill) + text + QString(missing - missing / 2, fill);
}

QString PadLeft(const QString& text, int width, QChar fill) { return text.rightJustified(width, fill); }

QString PadRight(const QString& text, int width, QChar fill) { return text.leftJustified(width, fill); }

namespace {

const QString kBorder = QLatin1Char(' ') + QString(96, QLatin1Char('-')) + QLatin1Char(' ');

// "| " + cell + " " for each cell, then `end`.
QString CellLine(const std::array<QString, 6>& cells, QStringView end)
{
    QString line;
    for (const QString& c : cells)
        line += QStringLiteral("| ") + c + QLatin1Char(' ');
    return line + end.toString();
}

}  // namespace

QStringList SmartTableLines(const std::vector<SmartRow>& rows)
{
    const auto& w = kReportCellWidths;
    QStringList lines;
    lines << kBorder;

    // The numero sign is one character of the Cyrillic code page (0xB9).
    std::array<QString, 6> header = {QStringLiteral("№")};
    for (int c = 0; c < kSmartColumns; ++c)
        header[c + 1] = kSmartHeader[c];
    for (int c = 0; c < 6; ++c)
        header[c] = PadCenter(TrimControl(header[c]), w[c]);
    lines << CellLine(header, u"|");

    std::array<QString, 6> rule;
    for (int c = 0; c < 6; ++c)
        rule[c] = QString(w[c], QLatin1Char('-'));
    lines << CellLine(rule, u" ");

    int number = 0;
    for (const SmartRow& r : rows) {
        std::array<QString, 6> cells;
        cells[0] = PadLeft(QString::number(++number), w[0]);
        cells[1] = PadRight(TrimControl(r[0]), w[1], QLatin1Char('.'));
        for (int c = 1; c < kSmartColumns; ++c)
            cells[c + 1] = PadLeft(TrimControl(r[c]), w[c + 1]);
        lines << CellLine(cells, u"|");
    }
    lines << kBorder;
    return lines;
}

QStringList SmartReportLines(const SmartReportHead& head, const std::vector<SmartRow>& rows)
{
    QStringList lines;
    lines << head.caption;
    lines << head.dateText + QStringLiteral("   ") + head.timeText;
    lines << QString();
    lines << QStringLiteral("Модель: ") + head.model;
    lines << QStringLiteral("S/N:    ") + head.serial;
    lines << QString();
    lines << SmartTableLines(rows);
    return lines;
}

QString SmartReportFileName(const QString& modelTrimmed, const QString& dateText, const QTime& time)
{
    return ReportFileName(QStringLiteral("SMART"), modelTrimmed, dateText, time);
}

// ---- reading --------------------------------------------------------------------

bool SmartSupported(const ata::IdentifyBlock& block)
{
    const uint16_t w = block.Word(82);
    return !ata::IdentifyBlock::Valid(w) || (w & 0x0001) != 0;
}

bool SmartSwitchedOff(const ata::IdentifyBlock& block)
{
    const uint16_t w = block.Word(85);
    return ata::IdentifyBlock::Valid(w) && (w & 0x0001) == 0;
}

int32_t ReadSmartAttributes(ata::SmartData& data) { return GetSMARTAttributes(reinterpret_cast<uint8_t*>(&data)); }

SmartCalls AtaSmartCalls() { return {IdentifyDevice, SetSMARTEnabled, GetSMARTAttributes, GetSMARTThresholds}; }

SmartReading ReadSmart(const SmartCalls& calls)
{
    SmartReading r;
    if (!(calls.identify(r.identify.Bytes()) & 0xFF)) {
        r.status = SmartStatus::IdentifyFailed;
        r.failure = ata::LastResult();
        return r;
    }
    r.model = TrimIdentifyText(r.identify.Bytes() + 2 * ata::kModelField.firstWord, 2 * ata::kModelField.words);
    r.serial = TrimIdentifyText(r.identify.Bytes() + 2 * ata::kSerialField.firstWord, 2 * ata::kSerialField.words);
    if (!SmartSupported(r.identify)) {
        r.status = SmartStatus::NotSupported;
        return r;
    }

    r.status = SmartStatus::Ok;
    if (SmartSwitchedOff(r.identify)) {
        r.smartWasDisabled = true;
        if (!(calls.setEnabled(1) & 0xFF)) {
            r.status = SmartStatus::EnableFailed;
            r.failure = ata::LastResult();
        }
    }
    if (r.ok()) {
        const bool read = (calls.attributes(reinterpret_cast<uint8_t*>(&r.attributes)) & 0xFF) &&
                          (calls.thresholds(reinterpret_cast<uint8_t*>(&r.thresholds)) & 0xFF);
        if (!read) {
            r.status = SmartStatus::ReadFailed;
            r.failure = ata::LastResult();
        }
    }
    // Back to the state the drive was found in, whatever happened above.
    // A refusal matters only when SMART really was switched on here.
    if (r.smartWasDisabled) {
        const bool off = calls.setEnabled(0) & 0xFF;
        r.restoreFailed = !off && r.status != SmartStatus::EnableFailed;
    }
    return r;
}

QString SmartStatusMessage(SmartStatus status)
{
    switch (status) {
    case SmartStatus::Ok: return QString();
    case SmartStatus::IdentifyFailed: return kIdentifyFailed.toString();
    case SmartStatus::NotSupported: return kSmartNotSupported.toString();
    case SmartStatus::EnableFailed: return kSmartEnableFailed.toString();
    case SmartStatus::ReadFailed: return kSmartReadFailed.toString();
    }
    return QString();
}

}  // namespace info
