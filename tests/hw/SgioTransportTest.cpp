// The ATA layer through the pass-through transport, against the simulated
// stand-in for the kernel: every command, the registers in every sense
// layout, what the kernel refuses, time-outs, and SECURITY ERASE UNIT kept in
// flight.  No real device node is opened here.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "hw/PassThrough.h"
#include "hw/SgioCdb.h"
#include "hw/SgioTransport.h"
#include "sim/SimMachine.h"
#include "support/SimFixture.h"

using namespace testsim;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint64_t k28 = 1ULL << 28;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

sim::Drive* Model(const std::shared_ptr<sim::Machine>& m, const char* name = "/dev/sda")
{
    return m->PassThroughAt(name)->Model();
}

// One raw request to a node, interpreted as the transport does.
ata::Result Outcome(const ata::SgExchange& x) { return ata::sgio::Interpret(x.reply(), ata::Request{}); }

ata::SgExchange Send(ata::SgNode& node, const ata::sgio::Cdb& cdb, int direction = SG_DXFER_NONE,
                     uint8_t* data = nullptr, unsigned bytes = 0)
{
    return ata::SendCdb(node, cdb, direction, data, bytes, 1000);
}

ata::Taskfile Command(uint8_t cmd, uint8_t feature = 0)
{
    ata::Taskfile t;
    t.command = cmd;
    t.feature = feature;
    return t;
}

bool ChecksumOk(const uint8_t* b)
{
    uint8_t sum = 0;
    for (int i = 0; i < 512; ++i)
        sum = uint8_t(sum + b[i]);
    return sum == 0;
}

}  // namespace

TEST(SgioTransport, EveryCommandOfTheLayerReachesTheDrive)
{
    auto m = InstallPassThrough({PassThrough("/dev/sda", InstantDrive("PT DRIVE", 2 * k28))});
    sim::Drive* d = Model(m);
    EXPECT_EQ(ata::CurrentConnection().path, "/dev/sda");
    EXPECT_EQ(ata::SampleRegister(ata::Register::Status), 0) << "nothing known before the first command";

    ata::IdentifyBlock id{};
    ASSERT_TRUE(IdentifyDevice(id.Bytes()) & 0xFF);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id.Bytes()) + 54, 8), "PT DRIVE");
    EXPECT_EQ(id.Sectors48(), 2 * k28);
    EXPECT_EQ(d->LastTaskfile().count, 1);
    EXPECT_EQ(ata::SampleRegister(ata::Register::Status), 0x50) << "a success without registers reads as ready";

    uint8_t smart[512], thresholds[512];
    EXPECT_TRUE(SetSMARTEnabled(0) & 0xFF);
    EXPECT_FALSE(d->State().smartEnabled);
    EXPECT_TRUE(SetSMARTEnabled(1) & 0xFF);
    ASSERT_TRUE(GetSMARTAttributes(smart) & 0xFF);
    ASSERT_TRUE(GetSMARTThresholds(thresholds) & 0xFF);
    EXPECT_TRUE(ChecksumOk(smart) && ChecksumOk(thresholds));

    EXPECT_GE(VerifySectors(k28 - 256, 256, 0), 0);
    EXPECT_GE(VerifySectors(k28 - 128, 256, 1), 0);
    EXPECT_EQ(d->LastTaskfile().Lba48Address(), k28 - 128);
    EXPECT_GE(SeekLBA(12345), 0);

    int64_t max = 0;
    ASSERT_TRUE(GetMaxHPA(&max, 1) & 0xFF);
    EXPECT_EQ(max, int64_t(2 * k28 - 1));
    ASSERT_TRUE(SetMaxHPA(int64_t(2 * k28 - 1001), 1) & 0xFF);
    EXPECT_EQ(d->CurrentMaxAddress(), 2 * k28 - 1001);

    ASSERT_TRUE(EraseSector(5000, 16, 1, 0, 0xA5) & 0xFF);
    EXPECT_EQ(d->ReadSector(5015)[511], 0xA5);
    ASSERT_TRUE(MakeSoftBad(100) & 0xFF);
    EXPECT_LT(VerifySectors(100, 1, 0), 0);
    EXPECT_EQ(ata::LastResult().outcome, ata::Outcome::DeviceError);
    EXPECT_EQ(ata::SampleRegister(ata::Register::Status) & ata::kStErr, ata::kStErr);
    EXPECT_EQ(ata::SampleRegister(ata::Register::Error), ata::LastResult().error);
    EXPECT_NE(ERR() & 0xFF, 0);
    EXPECT_NE(WaitReady() & 0xFF, 0);
    ASSERT_GE(VerifySectors(0, 1, 0), 0);
    EXPECT_EQ(ata::SampleRegister(ata::Register::Error), 0);
    EXPECT_EQ(ERR() & 0xFF, 0);

    EXPECT_TRUE(SecurityAction("pw", 0, 0, ata::kCmdSecSetPassword) & 0xFF);
    EXPECT_TRUE(d->State().securityEnabled);
    EXPECT_TRUE(SecurityAction("pw", 0, 0, ata::kCmdSecUnlock) & 0xFF);
    EXPECT_TRUE(SecurityAction("pw", 0, 0, ata::kCmdSecDisablePassword) & 0xFF);
    EXPECT_FALSE(d->State().securityEnabled);
    EXPECT_TRUE(SoftReset() & 0xFF);
}

TEST(SgioTransport, TheDrivesErrorsReadBackInEverySenseLayout)
{
    for (const sim::SenseLayout layout :
         {sim::SenseLayout::Fixed, sim::SenseLayout::Fixed610, sim::SenseLayout::Descriptor}) {
        sim::DriveSpec spec = InstantDrive("ERRORS", 1 << 20);
        spec.failing = {{1000, 8, ata::kErUnc, 0}};
        spec.hpaSupported = false;
        auto m = InstallPassThrough({PassThrough("/dev/sdb", spec, layout)});
        const std::string what = "layout " + std::to_string(int(layout));

        EXPECT_LT(VerifySectors(996, 8, 1), 0) << what;
        ata::Result r = ata::LastResult();
        EXPECT_EQ(r.outcome, ata::Outcome::DeviceError) << what;
        EXPECT_EQ(r.status & ata::kStErr, ata::kStErr) << what;
        EXPECT_EQ(r.error, ata::kErUnc) << what;

        // Without the HPA feature set READ NATIVE MAX is refused by the drive.
        EXPECT_EQ(SetMaxHPA(1000, 1) & 0xFF, 0) << what;
        r = ata::LastResult();
        EXPECT_EQ(r.outcome, ata::Outcome::DeviceError) << what;
        EXPECT_EQ(r.error, ata::kErAbrt) << what;
        EXPECT_EQ(ata::SampleRegister(ata::Register::Error), ata::kErAbrt) << what;
    }
}

TEST(SgioTransport, DSenseIsSetWithModeSelectOfTheControlPage)
{
    auto m = InstallPassThrough({PassThrough("/dev/sda", InstantDrive())});
    std::string why;
    std::shared_ptr<ata::SgNode> node = m->Open("/dev/sda", &why);
    ASSERT_TRUE(node) << why;
    EXPECT_FALSE(m->PassThroughAt("/dev/sda")->DescriptorSense());

    const auto abort = ata::sgio::Ata16(ata::Request::NonData(Command(ata::kCmdSetMax)), false);
    Model(m)->AddFault({sim::Fault::Kind::Error, ata::kCmdSetMax, ata::kErAbrt, -1});
    EXPECT_EQ(Send(*node, abort).sense[0], 0x70);
    ASSERT_TRUE(ata::SetDescriptorSense(*node, true, &why)) << why;
    EXPECT_TRUE(m->PassThroughAt("/dev/sda")->DescriptorSense());
    const ata::SgExchange r = Send(*node, abort);
    EXPECT_EQ(r.sense[0], 0x72);
    EXPECT_EQ(Outcome(r).error, ata::kErAbrt);
    ASSERT_TRUE(ata::SetDescriptorSense(*node, false, &why)) << why;
    EXPECT_FALSE(m->PassThroughAt("/dev/sda")->DescriptorSense());
}

TEST(SgioTransport, WhatTheKernelRefusesNeverReachesTheDrive)
{
    sim::PassThroughSpec usb = PassThrough("/dev/sdu", InstantDrive());
    usb.bus = sim::PassThroughBus::UsbWithoutAta;
    auto m = InstallPassThrough({PassThrough("/dev/sda", InstantDrive()), usb});
    std::string why;
    std::shared_ptr<ata::SgNode> node = m->Open("/dev/sda", &why);
    ASSERT_TRUE(node) << why;
    const uint64_t before = Model(m)->CommandCount();
    const int invalidField = ata::sgio::SenseCode(ata::sgio::kKeyIllegalRequest, 0x24, 0);
    uint8_t buf[512];
    ata::Taskfile identify = Command(ata::kCmdIdentify);

    auto refused = [&](ata::sgio::Cdb cdb, int dir, const char* what) {
        const ata::SgExchange r =
            Send(*node, cdb, dir, dir == SG_DXFER_NONE ? nullptr : buf, dir == SG_DXFER_NONE ? 0 : 512);
        EXPECT_EQ(r.err, 0) << what;
        EXPECT_EQ(Outcome(r).outcome, ata::Outcome::Refused) << what;
        EXPECT_EQ(Outcome(r).osError, invalidField) << what;
    };
    refused(ata::sgio::Ata16(ata::Request::NonData(Command(0xEF, 0x03)), false), SG_DXFER_NONE, "SET FEATURES 03h");
    refused(ata::sgio::Ata16(ata::Request::NonData(Command(0x5C)), false), SG_DXFER_NONE, "TRUSTED RECEIVE");
    ata::sgio::Cdb c = ata::sgio::Ata16(ata::Request::In(identify, buf, 1), false);
    c.bytes[1] = 0x00;
    refused(c, SG_DXFER_FROM_DEV, "protocol 0");
    c = ata::sgio::Ata16(ata::Request::In(identify, buf, 1), false);
    c.bytes[1] |= 0x20;
    refused(c, SG_DXFER_FROM_DEV, "MULTIPLE_COUNT on IDENTIFY");
    c.bytes[1] &= 0x1F;
    c.bytes[2] &= 0xFC;
    refused(c, SG_DXFER_FROM_DEV, "T_LENGTH 0 with data");
    EXPECT_EQ(Model(m)->CommandCount(), before);

    // IDENTIFY with a count of 0 and one sector of buffer: the drive and the
    // buffer disagree, and the command fails.
    identify.count = 0;
    ata::Request old = ata::Request::In(identify, buf, 1);
    old.tf.count = 0;
    EXPECT_FALSE(Outcome(Send(*node, ata::sgio::Ata16(old, false), SG_DXFER_FROM_DEV, buf, 512)).ok());

    // A bridge without ATA pass-through: the layer says it was refused.
    std::shared_ptr<ata::Transport> t = ata::OpenPassThrough("/dev/sdu", &why);
    ASSERT_TRUE(t) << why;
    ata::Connect(t, 1, 0, nullptr);
    EXPECT_EQ(IdentifyDevice(buf) & 0xFF, 0);
    EXPECT_EQ(ata::LastResult().outcome, ata::Outcome::Refused);
    EXPECT_NE(ata::RefusalText(ata::LastResult().osError, "/dev/sdu").find("USB"), std::string::npos);
    EXPECT_LT(VerifySectors(0, 1, 0), 0);
    EXPECT_EQ(ata::LastResult().outcome, ata::Outcome::Refused);
}

TEST(SgioTransport, ACommandTheDriveNeverFinishesTimesOutAndTheDriveWorksAgain)
{
    auto m = InstallPassThrough({PassThrough("/dev/sda", InstantDrive())}, 1);
    Model(m)->AddFault({sim::Fault::Kind::BsyStuck, ata::kCmdVerifyExt, 0, 1});
    const auto t0 = Clock::now();
    EXPECT_EQ(VerifySectors(0, 1, 1), ata::TimedFailureCode(ata::Outcome::Timeout));
    EXPECT_GE(Seconds(t0), 0.9);
    EXPECT_LT(Seconds(t0), 3.0);
    EXPECT_EQ(ata::SampleRegister(ata::Register::Status), 0x40);
    EXPECT_GE(VerifySectors(0, 1, 1), 0) << "the kernel reset the link";
}

TEST(SgioTransport, SecurityEraseStaysInFlightWhileWaitReadyPollsIt)
{
    sim::DriveSpec spec = InstantDrive();
    spec.eraseWord = 1;         // two minutes...
    spec.eraseScale = 0.003;    // ...of which 0.36 s
    auto m = InstallPassThrough({PassThrough("/dev/sda", spec)}, 1);
    auto* t = dynamic_cast<ata::SgioTransport*>(ata::CurrentTransport().get());
    ASSERT_TRUE(t);
    t->SetStartGrace(5ms);
    ata::IdentifyBlock id{};
    ASSERT_TRUE(IdentifyDevice(id.Bytes()) & 0xFF);  // the erase estimate

    ASSERT_TRUE(SecurityAction("KRENT", 0, 0, ata::kCmdSecSetPassword) & 0xFF);
    ASSERT_TRUE(SecurityAction("KRENT", 0, 0, ata::kCmdSecErasePrepare) & 0xFF);
    const auto t0 = Clock::now();
    ASSERT_TRUE(SecurityAction("KRENT", 0, 0, ata::kCmdSecEraseUnit) & 0xFF);
    EXPECT_LT(Seconds(t0), 0.3) << "the call returns while the erase runs";
    EXPECT_EQ(ERR() & 0xFF, 0);
    EXPECT_EQ(WaitReady() & 0xFF, 1);
    EXPECT_EQ(ata::SampleRegister(ata::Register::Status), ata::kStBsy);
    int32_t state = 1;
    while (state == 1 && Seconds(t0) < 10)
        state = WaitReady() & 0xFF;
    EXPECT_EQ(state, 0);
    EXPECT_GE(Seconds(t0), 0.3);
    EXPECT_FALSE(Model(m)->State().securityEnabled);
    EXPECT_EQ(ata::SampleRegister(ata::Register::Status), 0x50);

    // An erase longer than the time-out: a command sent meanwhile gives up
    // without reaching the drive.
    spec.eraseScale = 0.02;  // 2.4 s
    m = InstallPassThrough({PassThrough("/dev/sda", spec)}, 1);
    dynamic_cast<ata::SgioTransport*>(ata::CurrentTransport().get())->SetStartGrace(5ms);
    ASSERT_TRUE(SecurityAction("KRENT", 0, 0, ata::kCmdSecSetPassword) & 0xFF);
    ASSERT_TRUE(SecurityAction("KRENT", 0, 0, ata::kCmdSecErasePrepare) & 0xFF);
    ASSERT_TRUE(SecurityAction("KRENT", 0, 0, ata::kCmdSecEraseUnit) & 0xFF);
    const uint64_t commands = Model(m)->CommandCount();
    EXPECT_EQ(VerifySectors(0, 1, 1), ata::TimedFailureCode(ata::Outcome::Timeout));
    EXPECT_EQ(Model(m)->CommandCount(), commands);
}

TEST(SgioTransport, SettingsKeepThePassThroughConnectionAndAChannelReplacesIt)
{
    auto m = InstallPassThrough({PassThrough("/dev/sda", InstantDrive())}, 1,
                                OneChannel(InstantDrive("ON THE CHANNEL")));
    InitDLL(0, 0, 0, 7, 0, nullptr);  // the settings of a connection without ports
    EXPECT_EQ(ata::CurrentConnection().path, "/dev/sda");
    EXPECT_EQ(ata::CurrentConnection().timeOutSeconds, 7);
    EXPECT_GE(VerifySectors(0, 1, 0), 0);
    EXPECT_EQ(Model(m)->CommandCount(), 1u);
    InitDLL(0x1F0, 0x3F6, 0, 1, 0, nullptr);
    EXPECT_TRUE(ata::CurrentConnection().path.empty());
    EXPECT_GE(VerifySectors(0, 1, 0), 0);
    EXPECT_EQ(Model(m)->CommandCount(), 1u);
}

TEST(SgioTransport, OpeningSaysWhatIsWrongWithoutTouchingAnythingButTheNode)
{
    auto m = InstallPassThrough({PassThrough("/dev/sda", InstantDrive())});
    std::string why;
    EXPECT_FALSE(ata::OpenPassThrough("/dev/sdz", &why));
    EXPECT_NE(why.find("/dev/sda"), std::string::npos) << "names the drives there are: " << why;

    // The kernel's host refuses what is not a whole disk before any ioctl.
    const auto kernel = ata::KernelPassThroughHost();
    int err = 0;
    EXPECT_FALSE(kernel->Open("/dev/null", &why, &err));
    EXPECT_NE(why.find("не диск"), std::string::npos) << why;
    EXPECT_FALSE(kernel->Open("/nonexistent/sdq", &why, &err));
    EXPECT_EQ(err, ENOENT);

    EXPECT_NE(ata::AccessErrorText(EACCES, "/dev/sdb").find("группу disk"), std::string::npos);
    EXPECT_NE(ata::AccessErrorText(EPERM, "/dev/sdb").find("CAP_SYS_RAWIO"), std::string::npos);
    EXPECT_NE(ata::RefusalText(ata::sgio::SenseCode(5, 0x24, 0), "/dev/sdb").find("24/00"), std::string::npos);
}
