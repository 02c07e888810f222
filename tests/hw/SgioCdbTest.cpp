// ATA PASS-THROUGH CDBs and the outcome read from SG_IO's reply, against
// byte strings taken from a Linux guest (kernel 6.1, QEMU's AHCI drive) and
// the layouts of later kernels.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "hw/SgioCdb.h"

using namespace ata;
using namespace ata::sgio;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> b) { return {b.begin(), b.end()}; }
std::vector<uint8_t> Of(const Cdb& c) { return {c.bytes.begin(), c.bytes.begin() + c.length}; }

Taskfile Plain(uint8_t command, uint8_t feature = 0)
{
    Taskfile t;
    t.command = command;
    t.feature = feature;
    t.device = kDevObsolete | kDevLba;
    return t;
}

// The reply of a CHECK CONDITION with this sense.
Result Check(const std::vector<uint8_t>& sense, const Request& rq = Request{})
{
    Reply r;
    r.scsiStatus = kScsiCheckCondition;
    r.driverStatus = kDriverSense;
    r.sense = sense.data();
    r.senseLength = sense.size();
    return Interpret(r, rq);
}

}  // namespace

TEST(SgioCdb, Ata16OfTheCommandsAsTheKernelTookThem)
{
    uint8_t b[256 * 512];
    EXPECT_EQ(Of(Ata16(Request::In(Plain(kCmdIdentify), b, 1), false)),
              Bytes({0x85, 0x08, 0x0e, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0x40, 0xec, 0}));
    EXPECT_EQ(Of(Ata16(Request::NonData(Taskfile::Lba48(kCmdVerifyExt, 0x10123456, 256)), true)),
              Bytes({0x85, 0x07, 0x24, 0, 0, 0x01, 0, 0x10, 0x56, 0, 0x34, 0, 0x12, 0x40, 0x42, 0}));
    EXPECT_EQ(Of(Ata16(Request::NonData(Taskfile::Lba48(kCmdReadNativeMaxExt, 0, 0)), true)),
              Bytes({0x85, 0x07, 0x24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x27, 0}));
    Taskfile smart = Plain(kCmdSmart, kSmartReadData);
    smart.device = 0;
    smart.lbaMid = kSmartKeyMid;
    smart.lbaHigh = kSmartKeyHigh;
    EXPECT_EQ(Of(Ata16(Request::In(smart, b, 1), false)),
              Bytes({0x85, 0x08, 0x0e, 0, 0xd0, 0, 0x01, 0, 0, 0, 0x4f, 0, 0xc2, 0x40, 0xb0, 0}));
    // As the write that worked, but without CK_COND: it is never set on data
    // commands.
    EXPECT_EQ(Of(Ata16(Request::Out(Taskfile::Lba48(kCmdWriteSectorsExt, 0x10000008, 0), b, 256), true)),
              Bytes({0x85, 0x0b, 0x06, 0, 0, 0x01, 0, 0x10, 0x08, 0, 0, 0, 0, 0x40, 0x34, 0}));
    // A 28-bit command keeps LBA 27:24 in the device byte, and no high-order
    // bytes even if the taskfile had some.
    Taskfile t28 = Taskfile::Lba28(kCmdVerify, 0x0ABCDEF1, 0);
    t28.lbaLowHob = 0x99;
    EXPECT_EQ(Of(Ata16(Request::NonData(t28), false)),
              Bytes({0x85, 0x06, 0x04, 0, 0, 0, 0, 0, 0xf1, 0, 0xde, 0, 0xbc, 0x4a, 0x40, 0}));
}

TEST(SgioCdb, Ata12OnlyFor28BitCommandsAndParsingGivesTheTaskfileBack)
{
    uint8_t b[512];
    const Request rq = Request::Out(Taskfile::Lba28(kCmdWriteSectors, 0x0123456, 0), b, 1);
    const auto c12 = Ata12(rq, false);
    ASSERT_TRUE(c12);
    EXPECT_EQ(Of(*c12), Bytes({0xa1, 0x0a, 0x06, 0, 0x01, 0x56, 0x34, 0x12, 0x40, 0x30, 0, 0}));
    EXPECT_FALSE(Ata12(Request::NonData(Taskfile::Lba48(kCmdVerifyExt, 1, 1)), false));

    for (const Cdb& c : {*c12, Ata16(rq, false)}) {
        const auto a = ParseAtaCdb(c.data(), c.length);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->protocol, kProtoPioOut);
        EXPECT_EQ(a->tf.command, kCmdWriteSectors);
        EXPECT_EQ(a->tf.count, 1);
        EXPECT_EQ(a->tf.Lba28Address(), 0x0123456u);
        EXPECT_TRUE(a->blocks);
        EXPECT_EQ(a->tLength, 2);
        EXPECT_FALSE(a->dirIn);
    }
    const Cdb c48 = Ata16(Request::NonData(Taskfile::Lba48(kCmdVerifyExt, 0xA1B2C3D4E5F6, 300)), true);
    const auto a = ParseAtaCdb(c48.data(), c48.length);
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->tf.ext && a->ckCond);
    EXPECT_EQ(a->tf.Lba48Address(), 0xA1B2C3D4E5F6u);
    EXPECT_EQ(a->tf.count | (a->tf.countHob << 8), 300);
    EXPECT_FALSE(ParseAtaCdb(c48.data(), 12));
}

TEST(SgioSense, SuccessWithAndWithoutRegisters)
{
    Reply good;
    const Result plain = Interpret(good, Request{});
    EXPECT_EQ(plain.outcome, Outcome::Ok);
    EXPECT_EQ(plain.status, 0x50) << "a success without registers counts as ready";

    // READ NATIVE MAX EXT with CK_COND: 312581807 = 0x12A19EAF.
    Request rq = Request::NonData(Taskfile::Lba48(kCmdReadNativeMaxExt, 0, 0));
    rq.readBack = true;
    const Result r = Check(Bytes({0x72, 0x01, 0x00, 0x1d, 0, 0, 0, 0x0e, 0x09, 0x0c, 0x01, 0x00, 0x00, 0x00, 0x12,
                                  0xaf, 0x00, 0x9e, 0x00, 0xa1, 0x40, 0x50}),
                           rq);
    EXPECT_EQ(r.outcome, Outcome::Ok);
    EXPECT_EQ(r.status, 0x50);
    EXPECT_EQ(r.regs.Lba48Address(), 312581807u);
}

TEST(SgioSense, AbortInEveryLayoutIsTheDrivesError)
{
    // Kernels before 6.10, D_SENSE clear: fixed format, old offsets.
    const Result old = Check(Bytes({0x70, 0, 0x0b, 0, 0, 0, 0, 0x0a, 0x04, 0x51, 0x40, 0, 0, 0, 0, 0, 0, 0}));
    // 6.10 and later: the information field, VALID set.
    const Result now = Check(Bytes({0xf0, 0, 0x0b, 0x04, 0x51, 0x40, 0, 0x0a, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // D_SENSE set: descriptor format.
    const Result desc = Check(Bytes({0x72, 0x0b, 0, 0, 0, 0, 0, 0x0e, 0x09, 0x0c, 0, 0x04, 0, 0, 0, 0, 0, 0, 0,
                                     0, 0x40, 0x51}));
    for (const Result& r : {old, now, desc}) {
        EXPECT_EQ(r.outcome, Outcome::DeviceError);
        EXPECT_EQ(r.status, 0x51);
        EXPECT_EQ(r.error, kErAbrt);
    }
    // An unreadable sector (MEDIUM ERROR) and a missing one (IDNF comes as
    // ILLEGAL REQUEST 21/00) are the drive's errors too, not refusals.
    EXPECT_EQ(Check(Bytes({0x70, 0, 0x03, 0, 0, 0, 0, 0x0a, 0x40, 0x51, 0x40, 0, 0x11, 0x04, 0, 0, 0, 0})).error,
              kErUnc);
    const Result idnf = Check(Bytes({0x70, 0, 0x05, 0, 0, 0, 0, 0x0a, 0x10, 0x51, 0x40, 0, 0x21, 0, 0, 0, 0, 0}));
    EXPECT_EQ(idnf.outcome, Outcome::DeviceError);
    EXPECT_EQ(idnf.error, kErIdnf);
}

TEST(SgioSense, RefusalsByTheKernelOrABridgeNeverReachedTheDrive)
{
    // ILLEGAL REQUEST 24/00 with a field pointer, both formats.
    const Result fixed = Check(Bytes({0x70, 0, 0x05, 0, 0, 0, 0, 0x0a, 0, 0, 0, 0, 0x24, 0, 0, 0xc0, 0, 0x02}));
    const Result desc = Check(Bytes({0x72, 0x05, 0x24, 0, 0, 0, 0, 0x08, 0x02, 0x06, 0, 0, 0xc0, 0, 0x02, 0}));
    for (const Result& r : {fixed, desc}) {
        EXPECT_EQ(r.outcome, Outcome::Refused);
        EXPECT_EQ(r.osError, SenseCode(0x05, 0x24, 0x00));
        EXPECT_EQ(r.status, 0);
    }
    // A USB bridge without ATA pass-through: invalid opcode.
    const Result usb = Check(Bytes({0x70, 0, 0x05, 0, 0, 0, 0, 0x0a, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0}));
    EXPECT_EQ(usb.outcome, Outcome::Refused);
    EXPECT_EQ(usb.osError, SenseCode(0x05, 0x20, 0x00));
}

TEST(SgioSense, TimeOutSignatures)
{
    // The kernel's own time-out ends as ABORTED COMMAND with status 40h.
    EXPECT_EQ(Check(Bytes({0x70, 0, 0x0b, 0, 0, 0, 0, 0x0a, 0, 0x40, 0x40, 0, 0, 0, 0, 0, 0, 0})).outcome,
              Outcome::Timeout);
    EXPECT_EQ(Check(Bytes({0x72, 0x0b, 0, 0, 0, 0, 0, 0x0e, 0x09, 0x0c, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x40}))
                  .outcome,
              Outcome::Timeout);
    Reply host;
    host.hostStatus = kDidTimeOut;
    EXPECT_EQ(Interpret(host, Request{}).outcome, Outcome::Timeout);
    Reply driver;
    driver.driverStatus = kDriverTimeout;
    EXPECT_EQ(Interpret(driver, Request{}).outcome, Outcome::Timeout);
    Reply gone;
    gone.hostStatus = kDidNoConnect;
    EXPECT_EQ(Interpret(gone, Request{}).outcome, Outcome::NoDevice);
}

TEST(SgioSense, ShortOrForeignSenseIsNoRegister)
{
    EXPECT_FALSE(ParseSense(Bytes({0x70, 0, 0x0b}).data(), 3).present);
    // Fixed format cut before byte 18 of the old layout: key known, no registers.
    const Sense s = ParseSense(Bytes({0x70, 0, 0x0b, 0, 0, 0, 0, 0x06, 0x04, 0x51, 0x40, 0, 0, 0}).data(), 14);
    EXPECT_TRUE(s.present);
    EXPECT_FALSE(s.registers);
    // A descriptor list that claims more than is there.
    const Sense d = ParseSense(Bytes({0x72, 0x01, 0, 0x1d, 0, 0, 0, 0x0e, 0x09, 0x0c, 0, 0}).data(), 12);
    EXPECT_FALSE(d.registers);
    EXPECT_EQ(Check(Bytes({0x72, 0x06, 0x29, 0x00, 0, 0, 0, 0})).outcome, Outcome::ProtocolError);
}
