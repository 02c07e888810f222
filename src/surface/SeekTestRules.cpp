#include "surface/SeekTestRules.h"

#include <algorithm>

#include "common/Format.h"
#include "info/SmartData.h"

namespace stress {

StressDrive DriveFromIdentify(const ata::IdentifyBlock& id)
{
    StressDrive d;
    d.model = TrimIdentifyText(id.Bytes() + 2 * ata::kModelField.firstWord, 2 * ata::kModelField.words);
    d.lba48 = id.Lba48();
    // An empty capacity gives LBA 0 as the only one, not a negative limit.
    d.lastLbaSeek = std::max<int64_t>(int64_t(id.Sectors28()) - 1, 0);
    d.lastLba = d.lastLbaSeek;
    if (d.lba48)
        d.lastLba = std::max<int64_t>(int64_t(id.Sectors48() & 0x0000FFFFFFFFFFFFULL) - 1, 0);
    const uint16_t w82 = id.Word(82);
    d.smartUsable = ata::IdentifyBlock::Valid(w82) && (w82 & 0x0001);
    d.smartSwitchOn = d.smartUsable && info::SmartSwitchedOff(id);
    return d;
}

int64_t RangeLimit(const StressDrive& drive, Command command)
{
    return command == Command::Seek ? drive.lastLbaSeek : drive.lastLba;
}

bool SeekLimitedTo28Bit(const StressDrive& drive, Command command) { return command == Command::Seek && drive.lba48; }

QString RunCaption(const QString& model) { return kCaption + QStringLiteral(": ") + model; }

bool RangeAccepted(int64_t start, int64_t end) { return start <= end; }

// ---- targets ---------------------------------------------------------------------

Targets::Targets(Addressing addressing, Command command, int64_t start, int64_t end, uint64_t seed)
    : m_addressing(addressing), m_start(start), m_end(end), m_toggle(command == Command::Verify), m_random(seed)
{
}

int64_t Targets::Next()
{
    if (m_addressing == Addressing::Random)
        return RandomTarget(m_start, m_end, m_random);
    const int64_t lba = m_toggle ? m_start : m_end;
    m_toggle = !m_toggle;
    return lba;
}

int64_t RandomTarget(int64_t start, int64_t end, std::mt19937_64& random)
{
    if (end <= start)
        return start;
    std::uniform_int_distribution<int64_t> offset(0, end - start - 1);
    return start + offset(random);
}

// ---- times ---------------------------------------------------------------------------

uint32_t NextAverage(uint32_t average, int64_t commands, uint32_t micros)
{
    // (average × n + t) div (n + 1) = average + floor((t - average) / (n + 1)):
    // the same whole number, with no product that could outgrow 64 bits
    // however long a run goes on.
    const int64_t n1 = commands + 1;
    const int64_t d = int64_t(micros) - int64_t(average);
    int64_t q = d / n1;
    if (d % n1 != 0 && d < 0)
        --q;
    return uint32_t(int64_t(average) + q);
}

void TimeStats::AddSuccess(int32_t micros)
{
    const uint32_t t = uint32_t(std::max(micros, 0));
    maximum = std::max(maximum, t);
    minimum = std::min(minimum, t);
    average = NextAverage(average, commands, t);
    ++commands;
}

void TimeStats::AddFailure()
{
    ++errors;
    ++commands;
}

QString CommandTimeText(uint32_t micros, const QLocale& locale)
{
    // Tenths of a millisecond, halves up.
    const uint64_t tenths = (uint64_t(micros) + 50) / 100;
    const QString text = QString::number(tenths / 10) + locale.decimalPoint() + QString::number(tenths % 10);
    return text.rightJustified(6) + QStringLiteral(" мс");
}

QString ElapsedText(int64_t seconds) { return FormatHoursMinSec(seconds); }

// ---- temperature -------------------------------------------------------------------

TemperatureReading TemperatureFrom(bool smartUsable, bool readOk, const ata::SmartData& data)
{
    TemperatureReading r;
    if (!smartUsable) {
        r.text = kNotSupport;
        return r;
    }
    if (!readOk) {
        r.text = kReadError;
        r.resetDrive = true;
        return r;
    }
    if (const ata::SmartAttribute* a = info::FindAttribute(data, info::kTemperatureId)) {
        r.text = info::TemperatureText(a->raw[0]);
        r.degrees = a->raw[0];
    }
    return r;
}

bool TemperatureDue(uint8_t& ticks)
{
    if (++ticks < kTemperatureTicks)
        return false;
    ticks = 0;
    return true;
}

double AutomaticMaximum(double highestValue) { return std::max(highestValue, 1.0); }

}  // namespace stress
