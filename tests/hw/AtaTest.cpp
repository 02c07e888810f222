// The ATA command layer against simulated drives: every function's success
// and failure path.
#include <gtest/gtest.h>

#include <cstring>

#include "common/Format.h"
#include "common/MonitorControl.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "support/SimFixture.h"

using namespace testsim;

namespace {

ata::IdentifyBlock Identify()
{
    ata::IdentifyBlock b{};
    EXPECT_NE(IdentifyDevice(b.Bytes()) & 0xFF, 0);
    return b;
}

}  // namespace

TEST(AtaIdentify, TextFieldsComeInReadingOrderAndCapacityIsReported)
{
    auto d = InstantDrive("ACME QUICK 2000", 5000000);
    d.serial = "SN-12345";
    d.firmware = "FW1.2";
    auto m = Install(OneChannel(d));
    const ata::IdentifyBlock b = Identify();
    EXPECT_EQ(TrimIdentifyText(b.Bytes() + 54, 40), "ACME QUICK 2000");
    EXPECT_EQ(TrimIdentifyText(b.Bytes() + 20, 20), "SN-12345");
    EXPECT_EQ(TrimIdentifyText(b.Bytes() + 46, 8), "FW1.2");
    EXPECT_TRUE(b.Lba48());
    EXPECT_EQ(b.Sectors48(), 5000000u);
    EXPECT_EQ(b.Sectors28(), 5000000u);
}

TEST(AtaIdentify, FailsWithoutDeviceAndLeavesBufferAlone)
{
    auto m = Install(OneChannel(InstantDrive()), /*device=*/1);  // no slave
    uint8_t buf[512];
    std::memset(buf, 0xAB, sizeof buf);
    EXPECT_EQ(IdentifyDevice(buf) & 0xFF, 0);
    EXPECT_EQ(buf[0], 0xAB);
    EXPECT_EQ(ata::LastResult().outcome, ata::Outcome::NoDevice);
}

TEST(AtaIdentify, SelectsTheSlave)
{
    auto m = Install(OneChannel(InstantDrive("MASTER ONE"), InstantDrive("SLAVE TWO")), 1);
    const ata::IdentifyBlock b = Identify();
    EXPECT_EQ(TrimIdentifyText(b.Bytes() + 54, 40), "SLAVE TWO");
    EXPECT_EQ(m->DriveAt(0x1F0, 1)->LastTaskfile().command, ata::kCmdIdentify);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->CommandCount(), 0u);
}

TEST(AtaIdentify, EmptyChannelTimesOutQuicklyAsNoDevice)
{
    sim::MachineSpec spec = OneChannel(std::nullopt);
    auto m = Install(spec);
    uint8_t buf[512];
    EXPECT_EQ(IdentifyDevice(buf) & 0xFF, 0);
    EXPECT_EQ(ata::LastResult().outcome, ata::Outcome::NoDevice);
}

TEST(AtaSmart, EnableDisableAndReadBothSectors)
{
    auto d = InstantDrive();
    d.smart = sim::SmartMode::Off;
    auto m = Install(OneChannel(d));
    uint8_t data[512];
    EXPECT_EQ(GetSMARTAttributes(data) & 0xFF, 0) << "SMART is off";
    EXPECT_EQ(ata::LastResult().error, ata::kErAbrt);
    EXPECT_NE(SetSMARTEnabled(1) & 0xFF, 0);
    const ata::Taskfile& t = m->DriveAt(0x1F0, 0)->LastTaskfile();
    EXPECT_EQ(t.command, ata::kCmdSmart);
    EXPECT_EQ(t.feature, ata::kSmartEnable);
    EXPECT_EQ(t.lbaMid, 0x4F);
    EXPECT_EQ(t.lbaHigh, 0xC2);
    ASSERT_NE(GetSMARTAttributes(data) & 0xFF, 0);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->LastTaskfile().feature, ata::kSmartReadData);
    const auto* sd = reinterpret_cast<const ata::SmartData*>(data);
    EXPECT_EQ(sd->attr[0].id, 1);
    uint8_t sum = 0;
    for (uint8_t b : data)
        sum = uint8_t(sum + b);
    EXPECT_EQ(sum, 0) << "checksum";
    uint8_t thr[512];
    ASSERT_NE(GetSMARTThresholds(thr) & 0xFF, 0);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->LastTaskfile().feature, ata::kSmartReadThresholds);
    EXPECT_EQ(reinterpret_cast<const ata::SmartThresholds*>(thr)->entry[0].id, 1);
    EXPECT_NE(SetSMARTEnabled(0) & 0xFF, 0);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->LastTaskfile().feature, ata::kSmartDisable);
    EXPECT_EQ(GetSMARTAttributes(data) & 0xFF, 0);
    EXPECT_EQ(SetSMARTEnabled(0) & 0xFF, 0) << "DISABLE is refused while SMART is off";
}

TEST(AtaSmart, UnsupportedDriveRefusesEverything)
{
    auto d = InstantDrive();
    d.smart = sim::SmartMode::Unsupported;
    auto m = Install(OneChannel(d));
    uint8_t data[512];
    EXPECT_EQ(SetSMARTEnabled(1) & 0xFF, 0);
    EXPECT_EQ(GetSMARTAttributes(data) & 0xFF, 0);
    EXPECT_EQ(GetSMARTThresholds(data) & 0xFF, 0);
}

TEST(AtaHpa, ReadNativeMaxInBothFormsAndSetMaxIsNonVolatile)
{
    auto d = InstantDrive("HPA", 3000000);
    d.hpaSectors = 2000000;
    auto m = Install(OneChannel(d));
    int64_t native = 0;
    ASSERT_NE(GetMaxHPA(&native, 1) & 0xFF, 0);
    EXPECT_EQ(native, 2999999);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->LastTaskfile().command, ata::kCmdReadNativeMaxExt);
    native = 0;
    ASSERT_NE(GetMaxHPA(&native, 0) & 0xFF, 0);
    EXPECT_EQ(native, 2999999);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->LastTaskfile().command, ata::kCmdReadNativeMax);
    EXPECT_EQ(Identify().Sectors48(), 2000000u);

    ASSERT_NE(SetMaxHPA(2499999, 1) & 0xFF, 0);
    const auto log = m->DriveAt(0x1F0, 0)->CommandLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], ata::kCmdReadNativeMaxExt) << "SET MAX follows READ NATIVE MAX";
    EXPECT_EQ(log.back(), ata::kCmdSetMaxExt);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->LastTaskfile().count & 1, 1) << "non-volatile";
    EXPECT_EQ(Identify().Sectors48(), 2500000u);
    m->PowerCycle();
    EXPECT_EQ(Identify().Sectors48(), 2500000u);

    ASSERT_NE(SetMaxHPA(1999999, 0) & 0xFF, 0);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->LastTaskfile().command, ata::kCmdSetMax);
    EXPECT_EQ(Identify().Sectors28(), 2000000u);
}

TEST(AtaHpa, FailuresLeaveTheResultUntouched)
{
    auto d = InstantDrive();
    d.hpaSupported = false;
    auto m = Install(OneChannel(d));
    int64_t native = 1234;
    EXPECT_EQ(GetMaxHPA(&native, 1) & 0xFF, 0);
    EXPECT_EQ(native, 1234);
    EXPECT_EQ(SetMaxHPA(100, 1) & 0xFF, 0);
    EXPECT_EQ(GetMaxHPA(nullptr, 1) & 0xFF, 0);
    EXPECT_EQ(SetMaxHPA(-1, 1) & 0xFF, 0);
}

TEST(AtaHpa, SetMaxAboveNativeIsRefused)
{
    auto m = Install(OneChannel(InstantDrive("X", 1000)));
    EXPECT_EQ(SetMaxHPA(5000, 1) & 0xFF, 0);
    EXPECT_EQ(Identify().Sectors48(), 1000u);
}

TEST(AtaVerify, TimesAreNonNegativeAndFailuresNegative)
{
    auto d = InstantDrive("V", 100000);
    d.failing.push_back({5000, 1, ata::kErUnc, 0});
    auto m = Install(OneChannel(d));
    EXPECT_GE(VerifySectors(0, 256, 1), 0);
    EXPECT_GE(VerifySectors(99744, 256, 0), 0);
    EXPECT_LT(VerifySectors(4900, 256, 1), 0);
    EXPECT_EQ(ata::LastResult().error, ata::kErUnc);
    EXPECT_NE(ERR() & 0xFF, 0);
    EXPECT_LT(VerifySectors(99900, 256, 1), 0) << "beyond the end: IDNF";
    EXPECT_EQ(ata::LastResult().error, ata::kErIdnf);
    EXPECT_EQ(VerifySectors(0, 0, 1), ata::TimedFailureCode(ata::Outcome::InvalidArgument));
    EXPECT_EQ(VerifySectors(0, 257, 1), ata::TimedFailureCode(ata::Outcome::InvalidArgument));
    EXPECT_EQ(VerifySectors(-5, 1, 1), ata::TimedFailureCode(ata::Outcome::InvalidArgument));
    EXPECT_EQ(VerifySectors((1 << 28) - 10, 256, 0), ata::TimedFailureCode(ata::Outcome::InvalidArgument));
}

TEST(AtaVerify, MeasuresTheModelledTime)
{
    auto d = InstantDrive("SLOW", 100000);
    d.timeScale = 1;
    d.zones = {{1.0, 20.0}};  // 20 ms a block
    auto m = Install(OneChannel(d));
    (void)VerifySectors(0, 256, 1);  // head to 256
    const int32_t us = VerifySectors(256, 256, 1);
    EXPECT_GE(us, 19000);
    EXPECT_LT(us, 1000000) << "bounded, with room for a loaded machine";
}

TEST(AtaSeek, SeeksWithin28BitsOnly)
{
    auto m = Install(OneChannel(InstantDrive("S", 1 << 20)));
    EXPECT_GE(SeekLBA(12345), 0);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->LastTaskfile().command, ata::kCmdSeek);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->LastTaskfile().Lba28Address(), 12345u);
    EXPECT_LT(SeekLBA(1 << 21), 0) << "beyond the drive";
    EXPECT_LT(SeekLBA(int64_t(1) << 28), 0);
}

TEST(AtaErase, WritesTheFillerAndClearsSoftBad)
{
    auto d = InstantDrive("E", 100000);
    d.softBad = {1000};
    auto m = Install(OneChannel(d));
    EXPECT_LT(VerifySectors(1000, 1, 1), 0);
    ASSERT_NE(EraseSector(900, 256, 1, 0, 0xA5) & 0xFF, 0);
    sim::Drive* drv = m->DriveAt(0x1F0, 0);
    EXPECT_EQ(drv->LastTaskfile().command, ata::kCmdWriteSectorsExt);
    for (uint64_t lba : {900u, 1000u, 1155u}) {
        const auto s = drv->ReadSector(lba);
        EXPECT_EQ(s[0], 0xA5);
        EXPECT_EQ(s[511], 0xA5);
    }
    EXPECT_TRUE(drv->SectorUntouched(1156));
    EXPECT_GE(VerifySectors(1000, 1, 1), 0) << "written again: readable";

    ASSERT_NE(EraseSector(5, 3, 0, 1, 0) & 0xFF, 0);
    EXPECT_EQ(drv->LastTaskfile().command, ata::kCmdWriteSectors);
    const auto r = drv->ReadSector(5);
    EXPECT_EQ(r, drv->ReadSector(7)) << "one random filler per command";
    EXPECT_FALSE(drv->SectorUntouched(7));
    EXPECT_EQ(EraseSector(0, 0, 1, 0, 0) & 0xFF, 0);
    EXPECT_EQ(EraseSector(99999, 2, 1, 0, 0) & 0xFF, 0) << "beyond the end";
}

TEST(AtaSoftBad, MakesASectorFailVerificationUntilWritten)
{
    auto d = InstantDrive("B", 100000, false);
    auto m = Install(OneChannel(d));
    ASSERT_GE(VerifySectors(777, 1, 0), 0);
    ASSERT_NE(MakeSoftBad(777) & 0xFF, 0);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->LastTaskfile().command, ata::kCmdWriteLong);
    EXPECT_LT(VerifySectors(770, 16, 0), 0);
    EXPECT_EQ(ata::LastResult().error, ata::kErUnc);
    EXPECT_GE(VerifySectors(778, 16, 0), 0);
    ASSERT_NE(EraseSector(777, 1, 0, 0, 0) & 0xFF, 0);
    EXPECT_GE(VerifySectors(770, 16, 0), 0);
    EXPECT_EQ(MakeSoftBad(200000) & 0xFF, 0);
    EXPECT_EQ(MakeSoftBad(-1) & 0xFF, 0);
}

TEST(AtaSoftReset, ResetsAndSelectsTheDeviceAgain)
{
    auto m = Install(OneChannel(InstantDrive("M"), InstantDrive("S")), 1);
    EXPECT_NE(SoftReset() & 0xFF, 0);
    EXPECT_EQ(m->ChannelAt(0x1F0)->Selected(), 1);
    const ata::IdentifyBlock b = Identify();
    EXPECT_EQ(TrimIdentifyText(b.Bytes() + 54, 40), "S");
}

TEST(AtaSoftReset, FailsOnAnEmptyChannelAndBeforeInit)
{
    auto m = Install(OneChannel(std::nullopt));
    EXPECT_EQ(SoftReset() & 0xFF, 0);
}

TEST(AtaErrorRegister, ClearAndSetAreRecorded)
{
    auto m = Install(OneChannel(InstantDrive()));
    SetErrorReg(0x40);
    EXPECT_EQ(ata::LastErrorRegister(), 0x40);
    ClearErrorReg();
    EXPECT_EQ(ata::LastErrorRegister(), 0);
}

namespace {
struct CountingMonitor : MonitorControl {
    int pauses = 0, resumes = 0;
    void Pause() override { ++pauses; }
    void Resume() override { ++resumes; }
};
}  // namespace

TEST(AtaMonitor, PauseAndContinueReachTheThreadGivenToInitDLL)
{
    auto m = sim::InstallMachine(OneChannel(InstantDrive()));
    CountingMonitor mon;
    InitDLL(0x1F0, 0x3F6, 0, 1, 1000000000, &mon);
    MonitorPause();
    MonitorContinue();
    MonitorContinue();
    EXPECT_EQ(mon.pauses, 1);
    EXPECT_EQ(mon.resumes, 2);
    InitDLL(0x1F0, 0x3F6, 0, 1, 1000000000, nullptr);
    MonitorPause();  // no monitor: nothing happens
    EXPECT_EQ(mon.pauses, 1);
}
