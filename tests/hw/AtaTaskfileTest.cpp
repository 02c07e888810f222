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
