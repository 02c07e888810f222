// The monitor thread against ports the test sets: what reaches the lamps,
// pause and resume, the period, and the stop at a new port selection.
#include <gtest/gtest.h>

#include <QWidget>

#include <climits>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "MonitorTestSupport.h"
#include "monitor/KVErrorReg.h"
#include "monitor/KVStatusReg.h"
#include "hw/Transport.h"
#include "monitor/Monitor.h"

using namespace monitortest;
using namespace std::chrono_literals;

namespace {

constexpr uint16_t kBase = 0x1F0, kAlt = 0x3F6, kErr = 0x1F1;

struct Lamps {
    QWidget window;
    TKVStatusReg* status = new TKVStatusReg(&window);
    TKVErrorReg* error = new TKVErrorReg(&window);
};

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override { ports = InstallFakePorts(); }
    void TearDown() override
    {
        for (auto& m : monitors)
            EXPECT_TRUE(StopAndReap(m)) << "a monitor did not end";
    }
    TMonitorThread* Start(uint16_t base, uint16_t alt, int period = 1)
    {
        auto* m = new TMonitorThread(base, alt, 0, uint16_t(period), lamps.status, lamps.error);
        monitors.emplace_back(m);
        return m;
    }
    uint64_t Samples(TMonitorThread* m) { return m->Stats().samples; }

    Watchdog watchdog{"a monitor test", 100s};
    std::shared_ptr<FakePorts> ports;
    Lamps lamps;
    std::vector<QPointer<TMonitorThread>> monitors;
};

}  // namespace

TEST_F(MonitorTest, TakesItsPortsFromTheConnection)
{
    ports->Set(0x376, 0);
    TMonitorThread* m = Start(0x170, 0x376, 35);
    EXPECT_EQ(m->StatusPort(), 0x376);
    EXPECT_EQ(m->ErrorPort(), 0x171);
    EXPECT_EQ(m->Period.load(), 35);
    EXPECT_EQ(m->LastStatus(), 0);
}

TEST_F(MonitorTest, AFirstSampleOfZeroUpdatesNothing)
{
    ports->Set(kAlt, 0);
    TMonitorThread* m = Start(kBase, kAlt);
    ASSERT_TRUE(PumpUntil([&] { return Samples(m) >= 3; }));
    EXPECT_EQ(m->Stats().handOffs, 0u);
    EXPECT_EQ(lamps.status->RegValue(), 255);
    EXPECT_EQ(lamps.error->RegValue(), 255);
    EXPECT_EQ(lamps.status->EventPasses(), 0);
    EXPECT_EQ(ports->Reads(kErr), 0u);
}

TEST_F(MonitorTest, ErrorRowFollowsTheStatusOnlyWhenTheStatusChanges)
{
    ports->Set(kAlt, 0x51);
    ports->Set(kErr, 0x04);
    TMonitorThread* m = Start(kBase, kAlt);
    ASSERT_TRUE(PumpUntil([&] { return lamps.error->RegValue() == 0x04; }));
    EXPECT_EQ(lamps.status->RegValue(), 0x51);
    EXPECT_EQ(ports->Reads(kErr), 1u);

    // ERR stays while the error register changes: the row is not refreshed.
    ports->Set(kErr, 0x10);
    const uint64_t seen = Samples(m);
    ASSERT_TRUE(PumpUntil([&] { return Samples(m) >= seen + 3; }));
    EXPECT_EQ(lamps.error->RegValue(), 0x04);
    EXPECT_EQ(ports->Reads(kErr), 1u);

    // ERR goes: the error row goes dark without a read of the register.
    ports->Set(kAlt, 0x50);
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x50; }));
    EXPECT_EQ(lamps.error->RegValue(), 0);
    EXPECT_EQ(ports->Reads(kErr), 1u);

    // ERR comes back: the register is read again.
    ports->Set(kAlt, 0x51);
    ASSERT_TRUE(PumpUntil([&] { return lamps.error->RegValue() == 0x10; }));
    EXPECT_EQ(ports->Reads(kErr), 2u);
}

TEST_F(MonitorTest, ResumeOfARunningThreadChangesNothingAndOnePauseHolds)
{
    ports->Set(kAlt, 0x50);
    TMonitorThread* m = Start(kBase, kAlt);
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x50; }));
    m->Resume();
    m->Resume();
    EXPECT_FALSE(m->Paused());
    uint64_t seen = Samples(m);
    ASSERT_TRUE(PumpUntil([&] { return Samples(m) >= seen + 2; }));

    // The resumes above left no credit: a single pause stops the sampling.
    m->Pause();
    ASSERT_TRUE(PumpUntil([&] { return m->Stats().pausedWaits >= 1; }));
    seen = Samples(m);
    ports->Set(kAlt, 0x58);
    m->Pause();  // pausing twice needs one resume only
    EXPECT_EQ(Samples(m), seen);
    m->Resume();
    EXPECT_FALSE(m->Paused());
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x58; }));
}

TEST_F(MonitorTest, PauseDuringTheHandOffReturnsAtOnceAndNoPortIsReadUntilResume)
{
    ports->Set(kAlt, 0x51);
    ports->Set(kErr, 0x04);
    TMonitorThread* m = Start(kBase, kAlt, 0);
    // The UI thread runs no events: the monitor waits in its hand-off.
    ASSERT_TRUE(SpinUntil([&] { return m->Stats().handOffs == 1; }));
    m->Pause();  // must not wait for the monitor
    ASSERT_TRUE(PumpUntil([&] { return m->Stats().updates == 1 && m->Stats().pausedWaits >= 1; }));
    EXPECT_EQ(lamps.status->RegValue(), 0x51);
    // The error register is not read while paused; the row waits.
    EXPECT_EQ(ports->Reads(kErr), 0u);
    EXPECT_EQ(lamps.error->RegValue(), 255);
    EXPECT_EQ(Samples(m), 1u);
    EXPECT_EQ(ports->Reads(kAlt), 1u);

    m->Resume();
    ASSERT_TRUE(PumpUntil([&] { return lamps.error->RegValue() == 0x04; }));
    EXPECT_EQ(ports->Reads(kErr), 1u);
    EXPECT_EQ(lamps.status->RegValue(), 0x51);
}

namespace {

// A monitor whose pauses the test releases one by one.
class GatedMonitor : public TMonitorThread {
public:
    GatedMonitor(uint16_t period, TKVStatusReg* s, TKVErrorReg* e)
        : TMonitorThread(kBase, kAlt, 0, period, s, e, DeferredStart::Yes)
    {
        start();
    }
    std::vector<int> Naps()
    {
        std::lock_guard<std::mutex> l(mutex);
        return naps;
    }
    void Release(int count)
    {
        {
            std::lock_guard<std::mutex> l(mutex);
            released = count;
        }
        cv.notify_all();
    }

protected:
    void Nap(int ms) override
    {
        std::unique_lock<std::mutex> l(mutex);
        naps.push_back(ms);
        const size_t n = naps.size();
        cv.wait(l, [&] { return released >= int(n); });
    }

private:
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<int> naps;
    int released = 0;
};

}  // namespace

TEST_F(MonitorTest, ANewPeriodCountsFromTheNextPause)
{
    ports->Set(kAlt, 0);
    auto* m = new GatedMonitor(35, lamps.status, lamps.error);
    monitors.emplace_back(m);
    ASSERT_TRUE(PumpUntil([&] { return m->Naps().size() == 1; }));
    m->Period = 20;  // while the first pause runs
    m->Release(1);
    ASSERT_TRUE(PumpUntil([&] { return m->Naps().size() == 2; }));
    const std::vector<int> naps = m->Naps();
    m->Release(INT_MAX);
    EXPECT_EQ(naps, (std::vector<int>{35, 20}));
}

TEST_F(MonitorTest, AStopCutsALongPauseShortAndTheThreadFreesItself)
{
    ports->Set(kAlt, 0x50);
    QPointer<TMonitorThread> m = Start(kBase, kAlt, 60000);
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x50; }));
    m->RequestStop();
    EXPECT_TRUE(PumpUntil([&] { return m.isNull(); }));
}

TEST_F(MonitorTest, TheStoppedMonitorOfTheOldPortsNeverPaintsTheNewConnection)
{
    constexpr uint16_t kBase2 = 0x170, kAlt2 = 0x376, kErr2 = 0x171;
    ports->Set(kAlt, 0x50);
    ports->Set(kErr, 0x04);
    ports->Set(kAlt2, 0x58);
    QPointer<TMonitorThread> old = Start(kBase, kAlt, 0);
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x50; }));

    // The old drive shows ERR and the old monitor queues its hand-off while
    // the UI thread is busy selecting the new port.
    ports->Set(kAlt, 0x51);
    ASSERT_TRUE(SpinUntil([&] { return old->Stats().handOffs == 2; }));
    old->RequestStop();
    TMonitorThread* now = Start(kBase2, kAlt2, 0);
    ASSERT_TRUE(PumpUntil([&] { return old.isNull() && lamps.status->RegValue() == 0x58; }));
    EXPECT_EQ(lamps.error->RegValue(), 0);
    EXPECT_EQ(ports->Reads(kErr), 0u) << "the old monitor showed its ERR status";

    // Whatever the old ports do later stays off the lamps.
    ports->Set(kAlt, 0x41);
    const uint64_t seen = Samples(now);
    ASSERT_TRUE(PumpUntil([&] { return Samples(now) >= seen + 3; }));
    EXPECT_EQ(lamps.status->RegValue(), 0x58);
    EXPECT_EQ(ports->Reads(kErr2), 0u);
}

TEST_F(MonitorTest, AHandOffThatRunsAfterTheStopChangesNothing)
{
    ports->Set(kAlt, 0x51);
    ports->Set(kErr, 0x04);
    TMonitorThread* m = Start(kBase, kAlt);
    ASSERT_TRUE(PumpUntil([&] { return lamps.error->RegValue() == 0x04; }));
    lamps.status->SetRegValue(0);
    lamps.error->SetRegValue(0);
    m->RequestStop();
    m->UpdateDisplays();  // as if it had been queued before the stop
    EXPECT_EQ(lamps.status->RegValue(), 0);
    EXPECT_EQ(lamps.error->RegValue(), 0);
    EXPECT_EQ(ports->Reads(kErr), 1u);
}

TEST_F(MonitorTest, DisplaysThatGoAwayFirstAreLeftAlone)
{
    ports->Set(kAlt, 0x50);
    auto* window = new QWidget;
    auto* status = new TKVStatusReg(window);
    auto* error = new TKVErrorReg(window);
    auto* m = new TMonitorThread(kBase, kAlt, 0, 0, status, error);
    monitors.emplace_back(m);
    ASSERT_TRUE(PumpUntil([&] { return status->RegValue() == 0x50; }));
    delete window;
    ports->Set(kAlt, 0x51);
    ASSERT_TRUE(PumpUntil([&] { return m->Stats().updates == 2; }));
    EXPECT_EQ(ports->Reads(kErr), 0u);
}

// A drive the kernel owns: the registers are those the last command
// returned, and the monitor never sends a command for them.
TEST_F(MonitorTest, OnAPassThroughDriveTheLampsShowTheLastCommandsRegisters)
{
    struct LastCommand : ata::Transport {
        std::atomic<uint8_t> status{0}, error{0};
        std::atomic<int> commands{0};
        void Select() override {}
        void Configure(uint16_t) override {}
        ata::Result Execute(const ata::Request&) override { return ++commands, ata::Result{}; }
        ata::Result Reset() override { return ++commands, ata::Result{}; }
        int32_t Ready(ata::Result&) override { return ++commands, 0; }
        bool ShowsError() override { return ++commands, false; }
        uint8_t Sample(ata::Register r) override { return r == ata::Register::Error ? error.load() : status.load(); }
        ata::Caps caps() const override { return {false, true}; }
        ata::Address address() const override { return {0, 0, 0, "/dev/sdx"}; }
    };
    auto drive = std::make_shared<LastCommand>();
    auto* m = new TMonitorThread(drive, 1, lamps.status, lamps.error);
    monitors.emplace_back(m);
    // Nothing returned yet: dark, not all lit.
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0 && lamps.error->RegValue() == 0; }));

    drive->status = 0x50;
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x50; }));
    drive->error = 0x04;
    drive->status = 0x51;
    ASSERT_TRUE(PumpUntil([&] { return lamps.error->RegValue() == 0x04; }));
    // Another failure with the same status: the new error shows.
    drive->error = 0x40;
    ASSERT_TRUE(PumpUntil([&] { return lamps.error->RegValue() == 0x40; }));
    EXPECT_EQ(lamps.status->RegValue(), 0x51);
    EXPECT_EQ(drive->commands.load(), 0);
}
