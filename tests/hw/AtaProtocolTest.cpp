// The register protocol of the ATA layer against drives that behave like
// real ones: status latency, floating buses, busy devices, stuck data
// requests, device faults and the rest of what an instant drive hides.
#include <gtest/gtest.h>

#include <chrono>

#include "common/Format.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "hw/PortIo.h"
#include "support/SimFixture.h"

using namespace testsim;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

bool Ok(int32_t r) { return (r & 0xFF) != 0; }

ata::Outcome Last() { return ata::LastResult().outcome; }

std::string Model()
{
    ata::IdentifyBlock b{};
    if (!Ok(IdentifyDevice(b.Bytes())))
        return "(identify failed)";
    return TrimIdentifyText(b.Bytes() + 54, 40).toStdString();
}

}  // namespace

TEST(AtaPio, EveryBlockOfAWriteWaitsTheSettleTimeBeforeItsStatusCounts)
{
    auto d = InstantDrive("LATENT", 100000);
    d.statusLatencyNs = 400;
    auto m = Install(OneChannel(d));
    sim::Drive* drv = m->DriveAt(0x1F0, 0);
    ASSERT_TRUE(Ok(EraseSector(1100, 4, 1, 0, 0x5A))) << ata::OutcomeName(Last());
    for (uint64_t lba = 1100; lba < 1104; ++lba)
        EXPECT_EQ(drv->ReadSector(lba)[0], 0x5A) << lba;
    EXPECT_TRUE(drv->SectorUntouched(1104));
    EXPECT_GE(VerifySectors(0, 1, 1), 0) << "the next command runs";
    EXPECT_EQ(Model(), "LATENT");
}

TEST(AtaWriteLong, TheDrivesOwnEccLengthIsSentAndAnyOtherIsServed)
{
    struct Case {
        uint16_t ecc;
        int reported;  // identify word 22
    };
    for (const Case c : {Case{8, -1}, Case{12, 0}, Case{2, 0}, Case{40, 0xFFFF}}) {
        auto d = InstantDrive("LONG", 100000, false);
        d.eccBytes = c.ecc;
        d.eccBytesReported = c.reported;
        d.statusLatencyNs = 400;
        auto m = Install(OneChannel(d));
        const std::string what = std::to_string(c.ecc) + " ECC bytes, word 22 = " + std::to_string(c.reported);
        ASSERT_TRUE(Ok(MakeSoftBad(777))) << what << ": " << ata::OutcomeName(Last());
        EXPECT_LT(VerifySectors(777, 1, 0), 0) << what;
        EXPECT_EQ(ata::LastResult().error, ata::kErUnc) << what;
        EXPECT_GE(VerifySectors(778, 1, 0), 0) << what << ": the channel is not left hung";
    }
}

TEST(AtaNoDevice, AFloatingBusIsNoDeviceAtOnce)
{
    for (uint8_t floating : {uint8_t(0x7F), uint8_t(0xFF)}) {
        sim::MachineSpec spec = OneChannel(std::nullopt);
        spec.functions[0].channels[0].floatingBus = floating;
        auto m = Install(spec, 0, /*timeout=*/5);
        const auto t0 = Clock::now();
        uint8_t buf[512];
        EXPECT_FALSE(Ok(IdentifyDevice(buf)));
        EXPECT_EQ(Last(), ata::Outcome::NoDevice) << int(floating);
        EXPECT_EQ(VerifySectors(0, 1, 1), ata::TimedFailureCode(ata::Outcome::NoDevice));
        EXPECT_FALSE(Ok(SoftReset()));
        EXPECT_EQ(Last(), ata::Outcome::NoDevice);
        EXPECT_EQ(WaitReady(), 255);
        EXPECT_LT(Seconds(t0), 2.5) << "no waiting for the time-out";
    }
}

TEST(AtaSoftReset, SucceedsOnlyWhenTheDriveIsReadyWithoutADataRequest)
{
    auto m = Install(OneChannel(InstantDrive("STUCK")), 0, 1);
    sim::Drive* drv = m->DriveAt(0x1F0, 0);
    struct Case {
        uint8_t status;
        ata::Outcome reset;
        int32_t ready;
    };
    const Case cases[] = {
        {0x58, ata::Outcome::ProtocolError, 255},  // DRQ without data
        {0x10, ata::Outcome::Timeout, 2},          // never ready
        {0x70, ata::Outcome::DeviceError, 255},    // device fault
        {0xD0, ata::Outcome::Timeout, 1},          // busy
    };
    for (const Case& c : cases) {
        drv->SetStuckStatus(c.status);
        EXPECT_FALSE(Ok(SoftReset())) << int(c.status);
        EXPECT_EQ(Last(), c.reset) << int(c.status);
        EXPECT_EQ(WaitReady(), c.ready) << int(c.status);
    }
    drv->SetStuckStatus(std::nullopt);
    EXPECT_TRUE(Ok(SoftReset()));
    EXPECT_EQ(WaitReady(), 0);
}

TEST(AtaInterrupts, NienIsSetFromInitOnSoNoInterruptIsRaised)
{
    auto d = InstantDrive("QUIET", 100000);
    d.failing.push_back({5000, 1, ata::kErUnc, 0});
    auto m = Install(OneChannel(d));
    EXPECT_EQ(m->ChannelAt(0x1F0)->Control() & ata::kCtlNien, ata::kCtlNien);
    EXPECT_EQ(Model(), "QUIET");
    EXPECT_GE(VerifySectors(0, 256, 1), 0);
    EXPECT_LT(VerifySectors(4900, 256, 1), 0);
    EXPECT_TRUE(Ok(EraseSector(10, 3, 1, 0, 0)));
    EXPECT_TRUE(Ok(SoftReset()));
    EXPECT_EQ(m->ChannelAt(0x1F0)->Control() & ata::kCtlNien, ata::kCtlNien);
    EXPECT_GE(VerifySectors(0, 1, 0), 0);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->InterruptsRaised(), 0u);
}

TEST(AtaSelect, TheOtherDeviceFinishesItsCommandBeforeOursIsSelected)
{
    auto slave = InstantDrive("SLOW SLAVE", 1 << 20);
    slave.timeScale = 1;
    slave.zones = {{1.0, 40.0}};  // 40 ms a block
    auto m = Install(OneChannel(InstantDrive("MASTER"), slave), 0, 5);
    // The slave starts a verify of its own (as another program might).
    PortWrite(0x1F6, 0xF0);
    PortWrite(0x1F2, 0);
    PortWrite(0x1F3, 0);
    PortWrite(0x1F4, 0);
    PortWrite(0x1F5, 0);
    PortWrite(0x1F7, ata::kCmdVerify);
    ASSERT_NE(PortRead(0x3F6) & ata::kStBsy, 0);
    EXPECT_EQ(Model(), "MASTER");
    EXPECT_EQ(m->ChannelAt(0x1F0)->SelectsWhileBusy(), 0u) << "the device register was written while BSY";
}

TEST(AtaSelect, ADataRequestLeftPendingFailsTheNextCommandAtOnce)
{
    auto m = Install(OneChannel(InstantDrive("PENDING")), 0, 5);
    sim::Drive* drv = m->DriveAt(0x1F0, 0);
    drv->AddFault({sim::Fault::Kind::ExtraDrq, ata::kCmdIdentify, 0, 1});
    uint8_t buf[512];
    EXPECT_FALSE(Ok(IdentifyDevice(buf)));
    const uint64_t commands = drv->CommandCount();
    const auto t0 = Clock::now();
    EXPECT_EQ(VerifySectors(0, 1, 1), ata::TimedFailureCode(ata::Outcome::ProtocolError))
        << "a command the drive cannot take is not a success";
    EXPECT_LT(Seconds(t0), 2.5);
    EXPECT_EQ(drv->CommandCount(), commands);
    EXPECT_TRUE(Ok(SoftReset()));
    EXPECT_GE(VerifySectors(0, 1, 1), 0);
}

TEST(AtaBusy, AllOnesWhileBsyIsSetIsNotAMissingDevice)
{
    auto m = Install(OneChannel(InstantDrive("GLITCH")));
    m->DriveAt(0x1F0, 0)->AddFault({sim::Fault::Kind::FloatWhileBusy, ata::kCmdVerifyExt, 0, 1});
    EXPECT_GE(VerifySectors(0, 256, 1), 0) << ata::OutcomeName(Last());
    m->DriveAt(0x1F0, 0)->AddFault({sim::Fault::Kind::FloatWhileBusy, ata::kCmdIdentify, 0, 1});
    EXPECT_EQ(Model(), "GLITCH");
}

TEST(AtaHpa, OneNonVolatileSetMaxPerPowerCycle)
{
    auto m = Install(OneChannel(InstantDrive("HPA", 3000000)));
    ASSERT_TRUE(Ok(SetMaxHPA(2499999, 1)));
    EXPECT_FALSE(Ok(SetMaxHPA(1999999, 1))) << "a second one before the power cycle";
    EXPECT_EQ(ata::LastResult().error, ata::kErAbrt);
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->CurrentMaxAddress(), 2499999u);
    m->PowerCycle();
    ASSERT_TRUE(Ok(SetMaxHPA(1999999, 0)));
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->CurrentMaxAddress(), 1999999u);
}

TEST(AtaFaults, ADeviceFaultFailsTheCommandWithoutErr)
{
    auto m = Install(OneChannel(InstantDrive()));
    m->DriveAt(0x1F0, 0)->AddFault({sim::Fault::Kind::DeviceFault, ata::kCmdVerifyExt, 0, 1});
    EXPECT_EQ(VerifySectors(0, 1, 1), ata::TimedFailureCode(ata::Outcome::DeviceError));
    EXPECT_EQ(ata::LastResult().status & (ata::kStDf | ata::kStErr), ata::kStDf);
    m->DriveAt(0x1F0, 0)->AddFault({sim::Fault::Kind::DeviceFault, ata::kCmdIdentify, 0, 1});
    uint8_t buf[512];
    EXPECT_FALSE(Ok(IdentifyDevice(buf)));
    EXPECT_EQ(Last(), ata::Outcome::DeviceError);
    EXPECT_NE(ERR() & 0xFF, 0);
}

TEST(AtaFaults, ADataRequestAfterTheLastBlockIsAProtocolFault)
{
    auto m = Install(OneChannel(InstantDrive()));
    sim::Drive* drv = m->DriveAt(0x1F0, 0);
    drv->AddFault({sim::Fault::Kind::ExtraDrq, ata::kCmdIdentify, 0, 1});
    uint8_t buf[512];
    EXPECT_FALSE(Ok(IdentifyDevice(buf)));
    EXPECT_EQ(Last(), ata::Outcome::ProtocolError);
    EXPECT_TRUE(Ok(SoftReset()));
    drv->AddFault({sim::Fault::Kind::ExtraDrq, ata::kCmdWriteSectorsExt, 0, 1});
    EXPECT_FALSE(Ok(EraseSector(0, 2, 1, 0, 0)));
    EXPECT_EQ(Last(), ata::Outcome::ProtocolError);
    EXPECT_TRUE(Ok(SoftReset()));
    EXPECT_TRUE(Ok(IdentifyDevice(buf)));
}

TEST(AtaVerify, A28BitCountOf0Covers256Sectors)
{
    auto d = InstantDrive("COUNT", 100000, false);
    d.failing.push_back({1255, 1, ata::kErUnc, 0});
    auto m = Install(OneChannel(d));
    EXPECT_GE(VerifySectors(1000, 255, 0), 0);
    EXPECT_LT(VerifySectors(1000, 256, 0), 0) << "the last of the 256 sectors fails";
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->LastTaskfile().count, 0);
    EXPECT_EQ(ata::LastResult().error, ata::kErUnc);
}
