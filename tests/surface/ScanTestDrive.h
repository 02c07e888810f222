#pragma once
// The simulated drives and the common set-up of the surface scan tests.
#include <QStringList>
#include <atomic>
#include <memory>
#include <vector>

#include "common/MonitorControl.h"
#include "common/Services.h"
#include "sim/SimMachine.h"
#include "support/FakeShell.h"
#include "surface/ScanThread.h"

namespace scantest {

// Counts what the scan does to the register monitor.
class CountingMonitor : public MonitorControl {
public:
    void Pause() override { ++pauses; }
    void Resume() override { ++resumes; }
    std::atomic<int> pauses{0};
    std::atomic<int> resumes{0};
};

// A machine with one drive at 01F0 master, the ATA layer and the drive
// context pointed at it, a stand-in main window, recorded message boxes
// and help.
class Bench {
public:
    explicit Bench(const sim::DriveSpec& drive);
    ~Bench();
    sim::Drive* Drive() const;

    std::shared_ptr<sim::Machine> machine;
    CountingMonitor monitor;
    FakeShell shell;
    MessageRecorder messages;
    HelpRecorder help;
};

// The drive "with every class": 15460 sectors (61 blocks to its highest LBA
// 15459), failing ranges, a pseudo-bad sector and slow blocks.  Block times
// come from ModelMicros (the drive itself answers at once).
sim::DriveSpec EveryClassDrive();
// The modelled time of a block: 300 us plus the extra time of the slow
// blocks of EveryClassDrive.
int32_t ModelMicros(int64_t lba, int64_t count);
// The verify command of the every-class drive: the drive's own outcome, with
// the modelled time when it succeeds.
int32_t ModelledVerify(int64_t lba, int64_t count, uint8_t lba48);
// What a scan of 0..15459 must show, written out by hand from the model.
extern const char* const kEveryClassMap;  // 61 codes
QStringList EveryClassReportLines();

// Records every step of the worker.
class RecordingSink : public ScanSink {
public:
    void ScanStarted(const ScanStart& s) override { started.push_back(s); }
    void ShowBlock(const ScanBlock& b) override { blocks.push_back(b); }
    void AddPoint(const ScanPoint& p) override { points.push_back(p); }
    void ScanFinished(const ScanEnd& e) override { finished.push_back(e); }
    void EndOfRun(const ScanEnd& e) override
    {
        ended.push_back(e);
        if (onEnd)
            onEnd();
    }
    std::vector<ScanStart> started;
    std::vector<ScanBlock> blocks;
    std::vector<ScanPoint> points;
    std::vector<ScanEnd> finished;
    std::vector<ScanEnd> ended;
    std::function<void()> onEnd;
};

}  // namespace scantest
