// The taskfile each command leaves in the drive's registers, in the 28-bit
// and 48-bit forms.
#include <gtest/gtest.h>

#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "support/SimFixture.h"

using namespace testsim;

TEST(AtaTaskfile, Verify28WritesCount256AsZeroAndLbaBitsInDevice)
{
    auto m = Install(OneChannel(InstantDrive("T", 1 << 28, false)));
    const int64_t lba = (1 << 28) - 256;  // 0x0FFFFF00: bits 24-27 all set
    ASSERT_GE(VerifySectors(lba, 256, 0), 0);
    const ata::Taskfile& t = m->DriveAt(0x1F0, 0)->LastTaskfile();
    EXPECT_EQ(t.command, ata::kCmdVerify);
    EXPECT_FALSE(t.ext);
    EXPECT_EQ(t.count, 0);
    EXPECT_EQ(t.lbaLow, 0x00);
    EXPECT_EQ(t.lbaMid, 0xFF);
    EXPECT_EQ(t.lbaHigh, 0xFF);
    EXPECT_EQ(t.device, 0xEF);
    EXPECT_EQ(t.Lba28Address(), uint64_t(lba));
}

TEST(AtaTaskfile, Verify48OnBothSidesOf2Pow28)
{
    auto m = Install(OneChannel(InstantDrive("T", (1ULL << 33), true)), 1 /*slave? no*/ - 1);
    sim::Drive* d = m->DriveAt(0x1F0, 0);
    for (uint64_t lba : {(1ULL << 28) - 100, (1ULL << 28) + 4, (1ULL << 32) + 0x123456ULL}) {
        ASSERT_GE(VerifySectors(int64_t(lba), 256, 1), 0) << lba;
        const ata::Taskfile& t = d->LastTaskfile();
        EXPECT_EQ(t.command, ata::kCmdVerifyExt);
        EXPECT_EQ(t.count, 0x00);
        EXPECT_EQ(t.countHob, 0x01) << "256 in the 16-bit count";
        EXPECT_EQ(t.Lba48Address(), lba);
        EXPECT_EQ(t.device & 0x4F, 0x40) << "LBA bit, no address bits in the device register";
    }
    ASSERT_GE(VerifySectors(100, 17, 1), 0);
    EXPECT_EQ(d->LastTaskfile().count, 17);
    EXPECT_EQ(d->LastTaskfile().countHob, 0);
}

TEST(AtaTaskfile, SlaveBitIsSetForDevice1)
{
    auto m = Install(OneChannel(InstantDrive("M"), InstantDrive("S")), 1);
    ASSERT_GE(VerifySectors(5, 1, 1), 0);
    EXPECT_EQ(m->DriveAt(0x1F0, 1)->LastTaskfile().device & 0x10, 0x10);
    ASSERT_GE(VerifySectors(5, 1, 0), 0);
    EXPECT_EQ(m->DriveAt(0x1F0, 1)->LastTaskfile().device, 0xF0);
}

TEST(AtaTaskfile, SecurityBlockCarriesIdentifierLevelAndPassword)
{
    auto d = InstantDrive();
    auto m = Install(OneChannel(d));
    sim::Drive* drv = m->DriveAt(0x1F0, 0);
    ASSERT_NE(SecurityAction("secret", 0, 1, ata::kCmdSecSetPassword) & 0xFF, 0);
    EXPECT_TRUE(drv->State().securityEnabled);
    EXPECT_TRUE(drv->State().levelMax);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(drv->State().user.data()), 6), "secret");
    EXPECT_EQ(drv->State().user[6], 0) << "zero-padded";
    ASSERT_NE(SecurityAction("newmaster", 1, 0, ata::kCmdSecSetPassword) & 0xFF, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(drv->State().master.data()), 9), "newmaster");
    EXPECT_TRUE(drv->State().levelMax) << "a master password leaves the level";
}

// The count of a data command is the number of sectors its buffer holds,
// IDENTIFY and the security commands included (a pass-through transport
// takes the transfer length from it).
TEST(AtaTaskfile, DataCommandsCarryTheirSectorCount)
{
    auto m = Install(OneChannel(InstantDrive()));
    const sim::Drive* d = m->DriveAt(0x1F0, 0);
    uint8_t b[512];
    ASSERT_TRUE(IdentifyDevice(b) & 0xFF);
    EXPECT_EQ(d->LastTaskfile().count, 1);
    ASSERT_TRUE(GetSMARTAttributes(b) & 0xFF);
    EXPECT_EQ(d->LastTaskfile().count, 1);
    ASSERT_TRUE(SecurityAction("x", 0, 0, ata::kCmdSecSetPassword) & 0xFF);
    EXPECT_EQ(d->LastTaskfile().count, 1);

    uint8_t big[256 * 512];
    const ata::Request r28 = ata::Request::Out(ata::Taskfile::Lba28(ata::kCmdWriteSectors, 5, 0), big, 256);
    EXPECT_EQ(r28.tf.count, 0);  // 256 in the 28-bit form
    EXPECT_EQ(r28.DataBytes(), 256u * 512);
    const ata::Request r48 = ata::Request::In(ata::Taskfile::Lba48(ata::kCmdReadSectorsExt, 5, 0), big, 256);
    EXPECT_EQ(r48.tf.count, 0);
    EXPECT_EQ(r48.tf.countHob, 1);
    EXPECT_EQ(r48.protocol, ata::Protocol::PioIn);
}

TEST(AtaTaskfile, EraseTimeOutFollowsTheDrivesEstimate)
{
    EXPECT_EQ(ata::EraseTimeoutSeconds(30), 2u * 60 * 60);           // 60 minutes, twice
    EXPECT_EQ(ata::EraseTimeoutSeconds(5), 3600u);                   // at least an hour
    EXPECT_EQ(ata::EraseTimeoutSeconds(0x8000 | 600), 2u * 1200 * 60);  // extended format
    EXPECT_EQ(ata::EraseTimeoutSeconds(0), 7u * 24 * 3600);          // no estimate
    EXPECT_EQ(ata::EraseTimeoutSeconds(255), 7u * 24 * 3600);        // "more than 508 minutes"
}
