#pragma once
// The rules of the stress test as plain functions: what it takes from the
// drive's identify data, the limits of its range, the choice of the next
// target, the command-time figures, the texts it shows and the temperature
// it reads from the SMART attributes.  The window only wires them up.
#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>
#include <random>

#include "hw/AtaDefs.h"

namespace stress {

// Items of the two radio groups (and the values of the configuration keys
// "Command" and "Adres" in section "StressTest").
enum class Command { Seek = 0, Verify = 1 };
enum class Addressing { Range = 0, Random = 1 };

// What the window takes from its identify.
struct StressDrive {
    QString model;            // identify words 27-46, trimmed
    bool lba48 = false;       // word 83 bit 10, when word 83 is valid
    int64_t lastLbaSeek = 0;  // words 60-61 minus 1: SEEK has only the 28-bit form
    int64_t lastLba = 0;      // words 100-103 minus 1 in 48-bit mode, else lastLbaSeek
    bool smartUsable = false; // word 82 valid with bit 0 set
    bool smartSwitchOn = false;  // usable, and SMART is switched off (word 85)
};
StressDrive DriveFromIdentify(const ata::IdentifyBlock& id);

// The highest LBA the range fields take for `command`.
int64_t RangeLimit(const StressDrive& drive, Command command);
// Seek chosen for a drive in 48-bit mode: the user is told that the test
// covers only the 28-bit part of the drive.
bool SeekLimitedTo28Bit(const StressDrive& drive, Command command);

inline const QString kCaption = QStringLiteral("Стресс-тест");
// "Стресс-тест: " + model.
QString RunCaption(const QString& model);
inline const QString kSeekNeedsLba28 = QStringLiteral("Данный тест возможен только в режиме адресации LBA28.");
inline const QString kRangeReversed = QStringLiteral("Конец диапазона не может быть меньше начала!");

// A run may start only when its start is not above its end.
bool RangeAccepted(int64_t start, int64_t end);

// The targets of one run.  Range addressing alternates between the two
// ends, a seek run beginning at the end LBA and a verify run at the start
// LBA; random addressing picks uniformly in [start, end), so the end LBA is
// never chosen and a range with start = end always gives the start.
class Targets {
public:
    Targets(Addressing addressing, Command command, int64_t start, int64_t end, uint64_t seed);
    int64_t Next();

private:
    Addressing m_addressing;
    int64_t m_start;
    int64_t m_end;
    bool m_toggle;  // the start LBA comes next
    std::mt19937_64 m_random;
};
// The random choice alone: start + a uniform value in [0, end - start);
// the start when the range holds no LBA before the end.
int64_t RandomTarget(int64_t start, int64_t end, std::mt19937_64& random);

// Command times of one run, in microseconds.
struct TimeStats {
    static constexpr uint32_t kNoMinimum = 2147483647;
    uint32_t minimum = kNoMinimum;
    uint32_t maximum = 0;
    uint32_t average = 0;
    int64_t commands = 0;  // failed ones included
    int64_t errors = 0;

    // A command of `micros` (0 or more) succeeded: the minimum, maximum and
    // average take it in; the average weighs every command issued so far,
    // failed ones included.
    void AddSuccess(int32_t micros);
    // A command failed: counted, the times are left as they are.
    void AddFailure();
};
// average × commands + t, divided by commands + 1, without overflow.
uint32_t NextAverage(uint32_t average, int64_t commands, uint32_t micros);

// A time in milliseconds with one decimal, at least six characters wide
// ("%6.1f мс"); the decimal point of `locale`.
QString CommandTimeText(uint32_t micros, const QLocale& locale = QLocale::system());
// Elapsed test time as hours:minutes:seconds, at least two digits each.
QString ElapsedText(int64_t seconds);

// ---- temperature ------------------------------------------------------------------

inline const QString kNotSupport = QStringLiteral("Not Support");
inline const QString kReadError = QStringLiteral("Error");
inline const QString kDisabled = QStringLiteral("Disabled");

struct TemperatureReading {
    QString text;                  // what the temperature box shows
    std::optional<uint8_t> degrees;  // a point for the chart
    bool resetDrive = false;       // the attribute read failed
};
// The text and chart point of one temperature read: "Not Support" when
// SMART is not usable, "Error" (and a soft reset) when reading the
// attributes failed, the first raw byte of attribute 194 with "°C", or an
// empty text when the drive has no attribute 194.
TemperatureReading TemperatureFrom(bool smartUsable, bool readOk, const ata::SmartData& data);

// The periodic read: every ninth tick of the one-second timer.
inline constexpr uint8_t kTemperatureTicks = 9;
// Counts one tick; true (and the counter back to 0) when a read is due.
bool TemperatureDue(uint8_t& ticks);

// The chart's axes before a run, and their automatic maximum during one:
// the highest value shown, and at least 1 so that the axis never collapses.
inline constexpr double kInitialAxisMaximum = 100;
double AutomaticMaximum(double highestValue);

}  // namespace stress
