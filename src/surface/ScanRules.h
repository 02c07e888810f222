#pragma once
// The rules of the surface scan as plain functions: how a block's outcome is
// classed, what each class shows, the graph spacing and speed points, the
// report header and summary, the remaining-time estimate and the report's
// file name.  The worker, the window and the command line all use these.
#include <QChar>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

#include "common/ReportSave.h"

namespace ata {
struct IdentifyBlock;
}

// The drive's identity texts for the report header: the model (40
// characters), firmware (8) and serial number (20) as identify gives them.
struct ScanDriveText {
    QString model;
    QString firmware;
    QString serial;
};

namespace scan {

// What a scan needs to know of a drive, from its identify data.
struct ScanDrive {
    ScanDriveText text;
    bool lba48 = false;
    int64_t maxLba = -1;  // the highest LBA: capacity - 1
};
// `lba48` is the addressing mode to keep when word 83 does not say (it is
// 0x0000 or 0xFFFF); otherwise bit 10 of word 83 decides.  The capacity is
// words 100-103 for a 48-bit drive, words 60-61 otherwise.
ScanDrive DriveFromIdentify(const ata::IdentifyBlock& id, bool lba48);

// A block is 256 sectors; the last block of a range may be shorter.
constexpr int64_t kBlockSectors = 256;

// The thirteen classes in table order: six timing classes, then the error
// classes of results -1 to -7.
enum BlockClass : uint8_t {
    kT5,     // 0..4 ms       "1"
    kT15,    // 5..14 ms      "2"
    kT50,    // 15..49 ms     "3"
    kT150,   // 50..149 ms    "4"
    kT500,   // 150..499 ms   "5" (warning)
    kT1000,  // 500 ms and up "6" (warning)
    kAMNF,   // -1            "A"
    kT0NF,   // -2            "0"
    kABRT,   // -3            "!"
    kIDNF,   // -4            "S"
    kUNC,    // -5            "X"
    kBBK,    // -6            "B"
    kTime,   // -7            "?"
    kClassCount
};

// The class of a block result: its time in whole milliseconds (0 or more) or
// an error class from -1 to -7.  Results below -7 are taken as Time.
BlockClass ClassOf(int32_t blockResult);
// One-character map code ("1".."6", "A", "0", "!", "S", "X", "B", "?").
QChar MapCode(BlockClass c);
// The report line prefix; empty for the four classes without a line.
QString ReportPrefix(BlockClass c);
// Prefix + the block's first LBA in decimal; empty when the class has none.
QString ReportLine(BlockClass c, int64_t lba);
// Name of the counter edit ("eT5" ... "eAMNF").
const char* CounterName(BlockClass c);
bool IsWarning(BlockClass c);
bool IsError(BlockClass c);

// Microseconds of a successful verify as whole milliseconds, halves to even
// (4500 us -> 4, 5500 us -> 6).
int32_t BlockMilliseconds(int32_t micros);
// The class of a failed block from the error register: the first set bit of
// 0, 1, 2, 4, 6, 7 gives -1 .. -6; none of them -7 (Time).
int32_t ErrorResult(uint8_t errorRegister);
// What a failed block adds to the time of its graph point.
constexpr int64_t kFailedBlockMs = 5000;

// Graph spacing: a point after every BlocksPerPoint + 1 blocks.
int64_t BlocksPerPoint(int64_t startLba, int64_t stopLba);
// k blocks of 0.125 MB in T ms, in MB/s.  T must be above 0.
double PointSpeed(int64_t blocks, int64_t pointTimeMs);
// Maximum of the speed axis for a new highest speed: 1.15 x speed rounded,
// at least 1 so that the axis never collapses.
int SpeedAxisMaximum(double speed);

// Graph-point bookkeeping of one run: call AfterBlock once per shown block
// with that block's time contribution already added to PointTime.
class PointCounter {
public:
    explicit PointCounter(int64_t blocksPerPoint = 0) : m_blocksPerPoint(blocksPerPoint) {}
    void Reset(int64_t blocksPerPoint)
    {
        m_blocksPerPoint = blocksPerPoint;
        m_blocks = 0;
        m_pointTime = 0;
        m_highest = 0;
    }
    void AddTime(int64_t ms) { m_pointTime += ms; }
    // Returns the point's speed when one is plotted after this block, and
    // sets `axisMaximum` to the new maximum of the speed axis when the speed
    // is the highest of the run (0 otherwise).
    std::optional<double> AfterBlock(int* axisMaximum);
    int64_t PointTime() const { return m_pointTime; }
    int64_t BlocksSincePoint() const { return m_blocks; }
    int64_t BlocksPerPointValue() const { return m_blocksPerPoint; }

private:
    int64_t m_blocksPerPoint = 0;
    int64_t m_blocks = 0;     // blocks since the last point, this one not included
    int64_t m_pointTime = 0;  // ms since the last point
    double m_highest = 0;
};

// Counters of one run, one per class.
struct Tally {
    std::array<int64_t, kClassCount> count{};
    void Add(BlockClass c) { ++count[c]; }
    void Clear() { count.fill(0); }
    int64_t Warnings() const;  // "5" and "6"
    int64_t Errors() const;    // the seven error classes
    int64_t Total() const;
};

// The report header of a run (seven lines, the last one empty).
QStringList HeaderLines(const QString& model, const QString& firmware, const QString& serial,
                        int64_t startLba, int64_t stopLba, const QDateTime& now);

struct SummaryData {
    bool cancelled = false;
    QDateTime now;
    int64_t currentLba = 0;
    std::optional<double> minSpeed;  // none when the graph has no point
    std::optional<double> maxSpeed;
    int64_t warnings = 0;
    int64_t errors = 0;
    QString elapsed;  // FormatElapsed of the run
};
// The report summary (nine lines, the first one empty).
QStringList SummaryLines(const SummaryData& d);

// Remaining-time estimate of the one-second timer.  Returns nothing while the
// last block shown is the first of the range; otherwise updates the smoothed
// `msPerLba` and returns the seconds left.
std::optional<int64_t> RemainingSeconds(float& msPerLba, uint32_t elapsedMs, int64_t shownLba,
                                        int64_t startLba, int64_t stopLba);
// "Оставшееся время: " + h:mm:ss with at least two digits each.
QString RemainingText(int64_t seconds);

// The proposed name of a saved report:
// "Scan - " + model + " - " + date + "_" + hh.mm.ss, made safe.
QString SaveFileName(const QString& modelTrimmed, const QString& dateText, const QTime& time);

// Position of an LBA on a progress scale of `steps` steps spanning the range.
int ProgressPosition(int64_t lba, int64_t startLba, int64_t stopLba, int steps);

}  // namespace scan
