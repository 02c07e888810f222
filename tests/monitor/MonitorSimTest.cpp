// The monitor on the simulated machine: the lamps follow the commands the
// program runs, and no mix of pauses, commands and hand-offs deadlocks.
#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>

#include <array>

#include "MonitorTestSupport.h"
#include "common/Clock.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "monitor/KVErrorReg.h"
#include "monitor/KVLed.h"
#include "monitor/KVStatusReg.h"
#include "monitor/Monitor.h"
#include "support/SimFixture.h"

using namespace monitortest;
using namespace std::chrono_literals;

namespace {

constexpr uint16_t kBase = 0x1F0, kAlt = 0x3F6;

// The main window's two rows, placed and coloured as it holds them.
struct MainLamps {
    MainLamps()
    {
        status->move(4, 0);
        error->move(304, 0);
        status->SetActiveColorOK(kvcolor::clLime);
        status->SetActiveColorErr(kvcolor::clRed);
        status->SetInactiveColor(kvcolor::clSilver);
        status->SetRegValue(255);
        error->SetActiveColorOK(kvcolor::clRed);
        error->SetActiveColorErr(kvcolor::clRed);
        error->SetInactiveColor(kvcolor::clSilver);
        error->SetRegValue(255);
    }
    QWidget window;
    TKVStatusReg* status = new TKVStatusReg(&window);
    TKVErrorReg* error = new TKVErrorReg(&window);
};

class MonitorSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine = testsim::Install(testsim::OneChannel(testsim::InstantDrive()));
        drive = machine->DriveAt(kBase, 0);
    }
    void TearDown() override
    {
        EXPECT_TRUE(StopAndReap(monitor)) << "the monitor did not end";
        InitDLL(kBase, kAlt, 0, 1, CounterFrequency(), nullptr);
    }
    // ConnectDrive's order: monitor first, then the command layer gets it.
    void Connect(int period)
    {
        if (monitor)
            monitor->RequestStop();
        monitor = new TMonitorThread(kBase, kAlt, 0, uint16_t(period), lamps.status, lamps.error);
        InitDLL(kBase, kAlt, 0, 1, CounterFrequency(), monitor);
    }
    void FailNextIdentify(uint8_t error)
    {
        std::lock_guard<std::mutex> l(machine->Lock());
        sim::Fault f;
        f.kind = sim::Fault::Kind::Error;
        f.opcode = ata::kCmdIdentify;
        f.error = error;
        f.times = 1;
        drive->AddFault(f);
    }
    // An identify that ends as asked, with the monitor held off around it.
    bool Identify(bool fail, uint8_t error = ata::kErAbrt)
    {
        std::array<uint8_t, 512> buffer{};
        MonitorPause();
        if (fail)
            FailNextIdentify(error);
        const bool ok = (IdentifyDevice(buffer.data()) & 0xFF) != 0;
        MonitorContinue();
        return ok;
    }

    std::shared_ptr<sim::Machine> machine;
    sim::Drive* drive = nullptr;
    MainLamps lamps;
    QPointer<TMonitorThread> monitor;
};

}  // namespace

TEST_F(MonitorSimTest, TheLampsChangeWhenACommandRuns)
{
    Watchdog watchdog("the lamp test", 60s);
    Connect(10);
    // The idle drive: DRDY and DSC.
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x50; }));
    EXPECT_TRUE(lamps.status->Bit6() && lamps.status->Bit4());
    EXPECT_EQ(lamps.error->RegValue(), 0);

    // A command the drive aborts: ERR lights red and the error row shows ABRT.
    EXPECT_FALSE(Identify(true, ata::kErAbrt));
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x51; }));
    EXPECT_EQ(lamps.status->Led(0)->Face()->Color(), kvcolor::clRed);
    EXPECT_EQ(lamps.error->RegValue(), ata::kErAbrt);
    EXPECT_TRUE(lamps.error->Bit2());

    // The next good command darkens the error row again.
    EXPECT_TRUE(Identify(false));
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x50; }));
    EXPECT_EQ(lamps.error->RegValue(), 0);
}

// On a drive the kernel owns the lamps show the registers of the last
// command, and the monitor sends none of its own.
TEST_F(MonitorSimTest, OnAPassThroughDriveTheLampsFollowTheLastCommand)
{
    Watchdog watchdog("the pass-through lamp test", 60s);
    sim::DriveSpec spec = testsim::InstantDrive("PT LAMPS");
    spec.failing = {{100, 1, ata::kErUnc, 0}};
    machine = testsim::InstallPassThrough({testsim::PassThrough("/dev/sda", spec)});
    sim::PassThroughDrive* pt = machine->PassThroughAt("/dev/sda");
    monitor = new TMonitorThread(ata::CurrentTransport(), 1, lamps.status, lamps.error);
    ASSERT_TRUE(PumpUntil([&] { return monitor->Stats().samples >= 20; }));
    EXPECT_EQ(lamps.status->RegValue(), 0) << "no command yet: dark, not all lit as if BSY, DF and ERR were set";
    EXPECT_EQ(lamps.error->RegValue(), 0);
    EXPECT_EQ(pt->Requests(), 0u);

    EXPECT_LT(VerifySectors(100, 1, 0), 0);
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x51; }));
    EXPECT_EQ(lamps.error->RegValue(), ata::kErUnc);
    EXPECT_GE(VerifySectors(0, 1, 0), 0);
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x50; }));
    EXPECT_EQ(lamps.error->RegValue(), 0);
    const uint64_t samples = monitor->Stats().samples;
    ASSERT_TRUE(PumpUntil([&] { return monitor->Stats().samples >= samples + 20; }));
    EXPECT_EQ(pt->Requests(), 2u);
}

TEST_F(MonitorSimTest, AMonitorThatEndsIsTakenBackFromTheCommandLayer)
{
    Connect(10);
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x50; }));
    ASSERT_EQ(ata::CurrentConnection().monitor, static_cast<MonitorControl*>(monitor.data()));
    ASSERT_TRUE(StopAndReap(monitor));
    const ata::Connection c = ata::CurrentConnection();
    EXPECT_EQ(c.monitor, nullptr);
    EXPECT_EQ(c.basePort, kBase);
    EXPECT_EQ(c.altPort, kAlt);
    MonitorPause();  // reaches no freed thread
    MonitorContinue();
    EXPECT_TRUE(Identify(false));
}

// Thousands of status changes while the UI thread runs commands that pause
// and resume the monitor: some while the monitor waits in its hand-off to
// the UI thread, some from a timer that fires inside the hand-off (the
// lamps let events run), and now and then a new port selection.
TEST_F(MonitorSimTest, NoDeadlockUnderPausesCommandsAndHandOffs)
{
    Watchdog watchdog("the deadlock stress test", 60s);
    constexpr int kChanges = 4000;
    Connect(0);
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == 0x50; }));

    bool phaseFail = false;
    int timerCommands = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        // Keeps the status as the current phase has it.
        Identify(phaseFail, ata::kErIdnf);
        ++timerCommands;
    });
    timer.start();

    uint64_t handOffs = 0;
    for (int i = 0; i < kChanges; ++i) {
        if (i > 0 && i % 1000 == 0) {
            timer.stop();
            Connect(0);  // a new port selection: the old monitor stops
            // Its first sample differs from its start value 0: wait for it.
            ASSERT_TRUE(PumpUntil([&] { return monitor->Stats().updates >= 1; }));
            handOffs = 0;
            timer.start();
        }
        phaseFail = !phaseFail;
        const uint64_t before = monitor->Stats().handOffs;
        ASSERT_EQ(Identify(phaseFail, (i & 2) ? ata::kErAbrt : ata::kErUnc), !phaseFail);
        if (i % 3 != 0) {
            // Let the monitor see the change and block in its hand-off, then
            // run a command that pauses it before the hand-off is served.
            ASSERT_TRUE(SpinUntil([&] { return monitor->Stats().handOffs > before; })) << i;
            Identify(phaseFail, ata::kErAmnf);
        }
        ASSERT_TRUE(PumpUntil([&] { return monitor->Stats().updates > before; })) << i;
        handOffs += monitor->Stats().handOffs - before;
    }
    timer.stop();

    const uint8_t expected = phaseFail ? 0x51 : 0x50;
    ASSERT_TRUE(PumpUntil([&] { return lamps.status->RegValue() == expected; }));
    EXPECT_GT(timerCommands, 0);
    EXPECT_GE(handOffs, 900u);  // one per change since the last selection
    if (phaseFail)
        ASSERT_TRUE(PumpUntil([&] { return lamps.error->RegValue() != 0; }));
    else
        EXPECT_EQ(lamps.error->RegValue(), 0);
}
