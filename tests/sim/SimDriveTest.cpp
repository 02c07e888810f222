// The simulated drive's protocol model at register level: the rule every
// command ends by, status latency, what it refuses, and the machine-file
// keys that describe it.
#include <gtest/gtest.h>

#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "hw/PortIo.h"
#include "support/SimFixture.h"

using namespace testsim;

namespace {

void Command(uint8_t cmd, uint8_t count = 1, uint8_t device = 0xE0)
{
    PortWrite(0x1F6, device);
    PortWrite(0x1F2, count);
    PortWrite(0x1F3, 0);
    PortWrite(0x1F4, 0);
    PortWrite(0x1F5, 0);
    PortWrite(0x1F7, cmd);
}

}  // namespace

TEST(SimCommands, EveryCommandEndsWithErrExactlyWhenTheErrorRegisterIsSet)
{
    auto d = InstantDrive("RULE", 100000);
    d.failing.push_back({500, 1, ata::kErUnc, 0});
    d.hpaSectors = 90000;
    auto m = Install(OneChannel(d));
    sim::Drive* drv = m->DriveAt(0x1F0, 0);
    uint8_t buf[512];
    int64_t native = 0;
    IdentifyDevice(buf);
    VerifySectors(0, 256, 1);
    VerifySectors(400, 256, 0);       // UNC
    VerifySectors(99990, 20, 1);      // IDNF
    SeekLBA(200000);                  // IDNF
    GetSMARTAttributes(buf);
    SetSMARTEnabled(0);
    SetSMARTEnabled(0);               // refused while off
    GetMaxHPA(&native, 1);
    SetMaxHPA(95000, 1);
    SetMaxHPA(96000, 1);              // a second non-volatile one
    SecurityAction("pw", 0, 0, ata::kCmdSecSetPassword);
    SecurityAction("bad", 0, 0, ata::kCmdSecDisablePassword);
    SecurityAction("pw", 0, 0, ata::kCmdSecEraseUnit);  // not prepared
    EraseSector(10, 2, 1, 0, 0);
    MakeSoftBad(20);
    Command(0x99);                    // no such command
    EXPECT_NE(PortRead(0x1F7) & ata::kStErr, 0);
    EXPECT_GE(drv->CommandCount(), 17u);
    EXPECT_EQ(drv->RuleBreaks(), 0u);
}

TEST(SimCommands, FormsAndFeatureSetsAreRefusedByTheTable)
{
    auto d = InstantDrive("OLD", 100000, /*lba48=*/false);
    d.hpaSupported = false;
    d.smart = sim::SmartMode::Unsupported;
    auto m = Install(OneChannel(d));
    for (uint8_t cmd : {ata::kCmdVerifyExt, ata::kCmdReadNativeMaxExt, ata::kCmdReadNativeMax, ata::kCmdSmart}) {
        Command(cmd);
        EXPECT_EQ(PortRead(0x1F7), 0x51) << int(cmd);
        EXPECT_EQ(PortRead(0x1F1), ata::kErAbrt) << int(cmd);
    }
}

TEST(SimCommands, SetMaxNeedsReadNativeMaxOfTheSameFormRightBefore)
{
    auto m = Install(OneChannel(InstantDrive("FORM", 100000)));
    ata::Request read28;
    read28.tf = ata::Taskfile::Lba28(ata::kCmdReadNativeMax, 0, 0);
    ata::Request set48;
    set48.tf = ata::Taskfile::Lba48(ata::kCmdSetMaxExt, 50000, 0);  // volatile
    ASSERT_TRUE(ata::Execute(read28).ok());
    EXPECT_EQ(ata::Execute(set48).error, ata::kErAbrt) << "28-bit READ NATIVE MAX, 48-bit SET MAX";
    ata::Request read48;
    read48.tf = ata::Taskfile::Lba48(ata::kCmdReadNativeMaxExt, 0, 0);
    ASSERT_TRUE(ata::Execute(read48).ok());
    EXPECT_TRUE(ata::Execute(set48).ok());
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->CurrentMaxAddress(), 50000u);
}

TEST(SimBus, StatusLatencyShowsTheOldStatusForItsTimeOnTheBus)
{
    auto d = InstantDrive("LATE", 100000);
    d.statusLatencyNs = 300;  // three bus cycles
    auto m = Install(OneChannel(d));
    Command(ata::kCmdWriteSectors, 2);
    // The command write was one cycle; the drive shows 0x50 until three
    // more have passed, and takes no data meanwhile.
    EXPECT_EQ(PortRead(0x3F6), 0x50);
    EXPECT_EQ(PortRead(0x3F6), 0x50);
    EXPECT_EQ(PortRead(0x3F6), 0x58);
    for (int i = 0; i < 256; ++i)
        Ports().Out16(0x1F0, 0x1111);
    EXPECT_EQ(PortRead(0x3F6), 0x58) << "the old status of the block just written";
    Ports().Out16(0x1F0, 0x2222);  // not taken
    EXPECT_EQ(PortRead(0x3F6), 0x58) << "asks for the second block now";
    for (int i = 0; i < 256; ++i)
        Ports().Out16(0x1F0, 0x3333);
    for (int i = 0; i < 3; ++i)
        (void)PortRead(0x3F6);
    EXPECT_EQ(PortRead(0x3F6), 0x50);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->ReadSector(1)[0], 0x33);
}

TEST(SimBus, ACommandDuringADataTransferIsNotTaken)
{
    auto m = Install(OneChannel(InstantDrive("BUSY")));
    sim::Drive* drv = m->DriveAt(0x1F0, 0);
    Command(ata::kCmdIdentify);
    EXPECT_EQ(PortRead(0x1F7), 0x58);
    const uint64_t commands = drv->CommandCount();
    PortWrite(0x1F7, ata::kCmdVerify);
    EXPECT_EQ(drv->CommandCount(), commands);
    EXPECT_EQ(PortRead(0x1F7), 0x58) << "the identify data still waits";
    EXPECT_EQ(Ports().In16(0x1F0), 0x0040) << "word 0";
    PortWrite(0x1F6, 0xF0);
    EXPECT_EQ(m->ChannelAt(0x1F0)->SelectsWhileBusy(), 1u);
    EXPECT_EQ(m->ChannelAt(0x1F0)->Selected(), 0);
    Ports().Out8(0x3F6, 0x06);
    Ports().Out8(0x3F6, 0x02);
    EXPECT_EQ(drv->ResetCount(), 1u);
    EXPECT_EQ(PortRead(0x1F7), 0x50);
}

TEST(SimBus, MachineFileDescribesLatencyEccAndTheFloatingBus)
{
    std::string error;
    auto spec = sim::ParseMachineSpec(R"({"pci":[{"address":"00:01.1","id":"8086:7111","class":"0101",
        "progIf":"80","primary":{"slave":{"model":"P","sectors":1000,
        "statusLatencyNs":400,"eccBytes":8,"eccBytesReported":0}},"secondary":{"floatingBus":"7F"}}]})", &error);
    ASSERT_TRUE(spec) << error;
    const sim::ChannelSpec& ch = spec->functions[0].channels[0];
    EXPECT_EQ(ch.floatingBus, 0xFF);
    EXPECT_EQ(spec->functions[0].channels[1].floatingBus, 0x7F);
    EXPECT_EQ(ch.slave->statusLatencyNs, 400);
    EXPECT_EQ(ch.slave->eccBytes, 8);
    EXPECT_EQ(ch.slave->eccBytesReported, 0);
    EXPECT_FALSE(sim::ParseMachineSpec(R"({"pci":[{"address":"00:01.1","id":"8086:7111","class":"0101",
        "primary":{"master":{"model":"P","sectors":1000,"eccBytes":100}}}]})", &error));
    EXPECT_NE(error.find("eccBytes"), std::string::npos);

    auto m = Install(*spec);
    EXPECT_EQ(PortRead(0x1F7), 0x00) << "no master: the slave answers for it";
    EXPECT_EQ(PortRead(0x177), 0x7F) << "nothing on the secondary channel";
    auto d = InstantDrive("W22");
    d.eccBytes = 6;
    m = Install(OneChannel(d));
    ata::IdentifyBlock b{};
    ASSERT_NE(IdentifyDevice(b.Bytes()) & 0xFF, 0);
    EXPECT_EQ(b.Word(22), 6);
}
