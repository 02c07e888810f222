// Scripted faults: the layer gives up within the time-out and the channel
// works again after a soft reset.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "hw/Ata.h"
#include "hw/PortIo.h"
#include "hw/AtaDefs.h"
#include "sim/SimMachine.h"
#include "support/SimFixture.h"

using namespace testsim;
using Clock = std::chrono::steady_clock;

namespace {
double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}
}  // namespace

TEST(AtaTimeout, BsyThatNeverClearsEndsWithinTheBound)
{
    auto m = Install(OneChannel(InstantDrive()), 0, /*timeout=*/1);
    m->DriveAt(0x1F0, 0)->AddFault({sim::Fault::Kind::BsyStuck, ata::kCmdVerifyExt, 0, 1});
    const auto t0 = Clock::now();
    EXPECT_EQ(VerifySectors(0, 1, 1), ata::TimedFailureCode(ata::Outcome::Timeout));
    EXPECT_GE(Seconds(t0), 0.9);
    EXPECT_LT(Seconds(t0), 2.0);
    // Everything else times out too until the reset.
    uint8_t buf[512];
    EXPECT_EQ(IdentifyDevice(buf) & 0xFF, 0);
    EXPECT_NE(SoftReset() & 0xFF, 0);
    EXPECT_NE(IdentifyDevice(buf) & 0xFF, 0);
    EXPECT_GE(VerifySectors(0, 1, 1), 0);
}

TEST(AtaTimeout, MissingDrqEndsWithinTheBound)
{
    auto m = Install(OneChannel(InstantDrive()), 0, 1);
    m->DriveAt(0x1F0, 0)->AddFault({sim::Fault::Kind::DrqMissing, ata::kCmdIdentify, 0, 1});
    uint8_t buf[512];
    const auto t0 = Clock::now();
    EXPECT_EQ(IdentifyDevice(buf) & 0xFF, 0);
    EXPECT_EQ(ata::LastResult().outcome, ata::Outcome::Timeout);
    EXPECT_LT(Seconds(t0), 2.0);
    EXPECT_NE(SoftReset() & 0xFF, 0);
    EXPECT_NE(IdentifyDevice(buf) & 0xFF, 0);
}

TEST(AtaTimeout, AbsentDeviceFailsAtOnce)
{
    auto m = Install(OneChannel(InstantDrive()), 0, 5);
    m->DriveAt(0x1F0, 0)->SetAbsent(true);
    const auto t0 = Clock::now();
    uint8_t buf[512];
    EXPECT_EQ(IdentifyDevice(buf) & 0xFF, 0);
    EXPECT_EQ(ata::LastResult().outcome, ata::Outcome::NoDevice);
    EXPECT_EQ(VerifySectors(0, 1, 1), ata::TimedFailureCode(ata::Outcome::NoDevice));
    EXPECT_EQ(SoftReset() & 0xFF, 0);
    EXPECT_EQ(WaitReady(), 255);
    EXPECT_LT(Seconds(t0), 1.0);
}

TEST(AtaFaults, ErrorWithAnyErrorRegisterValue)
{
    auto m = Install(OneChannel(InstantDrive()));
    for (uint8_t e : {0x00, 0x01, 0x02, 0x04, 0x10, 0x40, 0x80, 0x84, 0xC0}) {
        m->DriveAt(0x1F0, 0)->AddFault({sim::Fault::Kind::Error, ata::kCmdVerifyExt, e, 1});
        EXPECT_EQ(VerifySectors(0, 1, 1), -1) << int(e);
        EXPECT_EQ(ata::LastResult().error, e);
        EXPECT_EQ(PortRead(0x1F1), e) << "the error register reads the same";
        EXPECT_NE(ata::LastResult().status & ata::kStErr, 0);
    }
    EXPECT_GE(VerifySectors(0, 1, 1), 0);
}

TEST(AtaFaults, RefusedCommandGivesAbrtAndTheChannelRecovers)
{
    auto d = InstantDrive();
    d.security.supported = false;
    auto m = Install(OneChannel(d));
    EXPECT_EQ(SecurityAction("x", 0, 0, ata::kCmdSecSetPassword) & 0xFF, 0);
    EXPECT_EQ(ata::LastResult().outcome, ata::Outcome::DeviceError);
    EXPECT_EQ(PortRead(0x1F1), ata::kErAbrt);
    EXPECT_EQ(PortRead(0x3F6), 0x51);
    EXPECT_NE(SoftReset() & 0xFF, 0);
    EXPECT_EQ(PortRead(0x3F6) & ata::kStErr, 0);
    EXPECT_GE(VerifySectors(0, 1, 1), 0);
}

TEST(AtaConcurrency, ThreeThreadsUseThePortsAtOnce)
{
    auto d = InstantDrive("C", 1 << 20);
    d.timeScale = 0.05;  // commands take a little time
    auto m = Install(OneChannel(d));
    std::atomic<bool> stop{false};
    std::atomic<int> monitorReads{0};
    std::thread monitor([&] {
        while (!stop) {
            const uint8_t st = PortRead(0x3F6);
            EXPECT_NE(st, 0xFF);
            ++monitorReads;
        }
    });
    std::atomic<int> failures{0};
    std::thread worker([&] {
        for (int i = 0; i < 300; ++i)
            if (VerifySectors(int64_t(i) * 256, 256, 1) < 0)
                ++failures;
    });
    for (int i = 0; i < 100; ++i) {
        uint8_t buf[512];
        if ((IdentifyDevice(buf) & 0xFF) == 0)
            ++failures;
    }
    worker.join();
    stop = true;
    monitor.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(monitorReads.load(), 100);
}

TEST(AtaInit, CommandsBeforeInitDLLFail)
{
    auto m = sim::InstallMachine(OneChannel(InstantDrive()));
    InitDLL(0x1F0, 0x3F6, 0, 1, 0, nullptr);  // a valid start ...
    // ... then point at ports nobody decodes: every read is 0xFF.
    InitDLL(0x1E8, 0x3EE, 0, 1, 0, nullptr);
    uint8_t buf[512];
    EXPECT_EQ(IdentifyDevice(buf) & 0xFF, 0);
    EXPECT_EQ(ata::LastResult().outcome, ata::Outcome::NoDevice);
}
