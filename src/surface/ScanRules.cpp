#include "surface/ScanRules.h"

#include "common/Format.h"
#include "hw/AtaDefs.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace scan {

namespace {

struct ClassInfo {
    char code;
    const char* prefix;  // null: no report line
    const char* counter;
};

const ClassInfo kClasses[kClassCount] = {
    {'1', nullptr, "eT5"},
    {'2', nullptr, "eT15"},
    {'3', nullptr, "eT50"},
    {'4', nullptr, "eT150"},
    {'5', "     Warning >150 : ", "eT500"},
    {'6', "     Warning >500 : ", "eT1000"},
    {'A', "     Error AMNF   : ", "eAMNF"},
    {'0', "     Error T0NF   : ", "eT0NF"},
    {'!', "     Error ABRT   : ", "eABRT"},
    {'S', "     Error IDNF   : ", "eIDNF"},
    {'X', "     Error UNC    : ", "eUNC"},
    {'B', "     Error BBK    : ", "eBBK"},
    {'?', "     Error Time   : ", "eTime"},
};

const QString kStars = QString(60, QLatin1Char('*'));

}  // namespace

ScanDrive DriveFromIdentify(const ata::IdentifyBlock& id, bool lba48)
{
    ScanDrive d;
    const char* b = reinterpret_cast<const char*>(id.Bytes());
    d.text.model = QString::fromLatin1(b + 54, 40);
    d.text.serial = QString::fromLatin1(b + 20, 20);
    d.text.firmware = QString::fromLatin1(b + 46, 8);
    d.lba48 = ata::IdentifyBlock::Valid(id.Word(83)) ? (id.Word(83) & 0x0400) != 0 : lba48;
    const uint64_t capacity = d.lba48 ? (id.Sectors48() & 0x0000FFFFFFFFFFFFULL) : id.Sectors28();
    d.maxLba = int64_t(capacity) - 1;
    return d;
}

BlockClass ClassOf(int32_t r)
{
    if (r < 0) {
        if (r < -7)
            return kTime;
        return static_cast<BlockClass>(kT1000 - r);
    }
    if (r < 5)
        return kT5;
    if (r < 15)
        return kT15;
    if (r < 50)
        return kT50;
    if (r < 150)
        return kT150;
    if (r < 500)
        return kT500;
    return kT1000;
}

QChar MapCode(BlockClass c) { return QLatin1Char(kClasses[c].code); }

QString ReportPrefix(BlockClass c)
{
    return kClasses[c].prefix ? QString::fromLatin1(kClasses[c].prefix) : QString();
}

QString ReportLine(BlockClass c, int64_t lba)
{
    if (!kClasses[c].prefix)
        return {};
    return QString::fromLatin1(kClasses[c].prefix) + QString::number(lba);
}

const char* CounterName(BlockClass c) { return kClasses[c].counter; }

bool IsWarning(BlockClass c) { return c == kT500 || c == kT1000; }
bool IsError(BlockClass c) { return c >= kAMNF && c < kClassCount; }

int32_t BlockMilliseconds(int32_t micros)
{
    return static_cast<int32_t>(RoundHalfEven(static_cast<double>(micros) / 1000.0));
}

int32_t ErrorResult(uint8_t e)
{
    if (e & 0x01)
        return -1;  // AMNF
    if (e & 0x02)
        return -2;  // T0NF
    if (e & 0x04)
        return -3;  // ABRT
    if (e & 0x10)
        return -4;  // IDNF
    if (e & 0x40)
        return -5;  // UNC
    if (e & 0x80)
        return -6;  // BBK
    return -7;      // Time
}

int64_t BlocksPerPoint(int64_t startLba, int64_t stopLba)
{
    const int64_t r = stopLba - startLba;
    int64_t b = r / 256000;
    if (b == 0)
        b = r / 25600;
    return std::max<int64_t>(b, 0);
}

double PointSpeed(int64_t blocks, int64_t pointTimeMs)
{
    return static_cast<double>(blocks) * 125.0 / static_cast<double>(pointTimeMs);
}

int SpeedAxisMaximum(double speed)
{
    const int64_t m = RoundHalfEven(speed * 1.15);
    return static_cast<int>(std::clamp<int64_t>(m, 1, 1000000000));
}

std::optional<double> PointCounter::AfterBlock(int* axisMaximum)
{
    if (axisMaximum)
        *axisMaximum = 0;
    if (m_blocks < m_blocksPerPoint) {
        ++m_blocks;
        return std::nullopt;
    }
    const int64_t k = m_blocks + 1;
    if (m_pointTime <= 0) {
        // No time yet: the point waits for the next block.
        m_blocks = k;
        return std::nullopt;
    }
    const double s = PointSpeed(k, m_pointTime);
    if (s > m_highest) {
        m_highest = s;
        if (axisMaximum)
            *axisMaximum = SpeedAxisMaximum(s);
    }
    m_blocks = 0;
    m_pointTime = 0;
    return s;
}

int64_t Tally::Warnings() const { return count[kT500] + count[kT1000]; }

int64_t Tally::Errors() const
{
    int64_t n = 0;
    for (int c = kAMNF; c < kClassCount; ++c)
        n += count[c];
    return n;
}

int64_t Tally::Total() const
{
    int64_t n = 0;
    for (int64_t v : count)
        n += v;
    return n;
}

QStringList HeaderLines(const QString& model, const QString& firmware, const QString& serial,
                        int64_t startLba, int64_t stopLba, const QDateTime& now)
{
    return {
        kStars,
        QStringLiteral("Model: ") + TrimControl(model) + QStringLiteral(" FW: ") + TrimControl(firmware),
        QStringLiteral("s/n: ") + TrimControl(serial),
        QStringLiteral("Начальный LBA.............") + QString::number(startLba),
        QStringLiteral("Конечный LBA..............") + QString::number(stopLba),
        QStringLiteral("Старт.....................") + ShortDateText(now) + QLatin1Char(' ') + LongTimeText(now),
        QString(),
    };
}

QStringList SummaryLines(const SummaryData& d)
{
    const QString first = d.cancelled ? QStringLiteral("Отменено...................")
                                      : QStringLiteral("Выполнено...................");
    return {
        QString(),
        first + ShortDateText(d.now) + QLatin1Char(' ') + LongTimeText(d.now),
        QStringLiteral("Последний проверенный LBA..") + QString::number(d.currentLba),
        QStringLiteral("Минимальная скорость.......") + FormatSpeed(d.minSpeed.value_or(0.0)),
        QStringLiteral("Максимальная скорость......") + FormatSpeed(d.maxSpeed.value_or(0.0)),
        QStringLiteral("Предупреждений.............") + QString::number(d.warnings),
        QStringLiteral("Ошибок.....................") + QString::number(d.errors),
        QStringLiteral("Общее время прохождения....") + d.elapsed,
        kStars,
    };
}

std::optional<int64_t> RemainingSeconds(float& msPerLba, uint32_t elapsedMs, int64_t shownLba,
                                        int64_t startLba, int64_t stopLba)
{
    if (shownLba == startLba)
        return std::nullopt;
    const float rate = static_cast<float>(static_cast<double>(elapsedMs) / static_cast<double>(shownLba - startLba));
    msPerLba = static_cast<float>((static_cast<double>(msPerLba) + rate) / 2.0);
    const double s = static_cast<double>(stopLba - shownLba) * static_cast<double>(msPerLba) / 1000.0;
    return RoundHalfEven(s);
}

QString RemainingText(int64_t seconds)
{
    return QStringLiteral("Оставшееся время: ") + FormatHoursMinSec(seconds);
}

QString SaveFileName(const QString& modelTrimmed, const QString& dateText, const QTime& time)
{
    return ReportFileName(QStringLiteral("Scan"), modelTrimmed, dateText, time);
}

int ProgressPosition(int64_t lba, int64_t startLba, int64_t stopLba, int steps)
{
    if (stopLba <= startLba)
        return steps;
    const long double f = static_cast<long double>(lba - startLba) / static_cast<long double>(stopLba - startLba);
    return static_cast<int>(std::clamp<long double>(f * steps, 0, steps));
}

}  // namespace scan
