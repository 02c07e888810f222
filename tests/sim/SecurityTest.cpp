// The simulated drive's security state machine, driven through the ATA
// layer as the program drives it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "support/SimFixture.h"

using namespace testsim;

namespace {

uint16_t Word128()
{
    ata::IdentifyBlock b{};
    EXPECT_NE(IdentifyDevice(b.Bytes()) & 0xFF, 0);
    return b.w[128];
}

bool Ok(int32_t r) { return (r & 0xFF) != 0; }

}  // namespace

TEST(SimSecurity, SetPasswordLocksAfterPowerCycleAndUnlockOpensIt)
{
    auto m = Install(OneChannel(InstantDrive("SEC", 100000)));
    EXPECT_EQ(Word128() & 0x01FF, 0x0021) << "supported, enhanced erase, not enabled";
    ASSERT_TRUE(Ok(SecurityAction("pw", 0, 0, ata::kCmdSecSetPassword)));
    EXPECT_EQ(Word128() & 0x0107, 0x0003) << "enabled, high, not locked yet";
    EXPECT_GE(VerifySectors(0, 1, 1), 0);

    m->PowerCycle();
    EXPECT_EQ(Word128() & 0x0007, 0x0007) << "locked";
    EXPECT_LT(VerifySectors(0, 1, 1), 0);
    EXPECT_EQ(ata::LastResult().error, ata::kErAbrt);
    EXPECT_FALSE(Ok(SecurityAction("wrong", 0, 0, ata::kCmdSecUnlock)));
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->UnlockAttempts(), 1);
    ASSERT_TRUE(Ok(SecurityAction("pw", 0, 0, ata::kCmdSecUnlock)));
    EXPECT_EQ(Word128() & 0x0004, 0) << "unlocked";
    EXPECT_GE(VerifySectors(0, 1, 1), 0);

    ASSERT_TRUE(Ok(SecurityAction("pw", 0, 0, ata::kCmdSecDisablePassword)));
    EXPECT_EQ(Word128() & 0x0002, 0);
    m->PowerCycle();
    EXPECT_EQ(Word128() & 0x0004, 0) << "no password: not locked";
}

TEST(SimSecurity, FiveWrongAttemptsExpireTheCounterUntilPowerCycle)
{
    auto d = InstantDrive();
    d.security.userPassword = "right";
    auto m = Install(OneChannel(d));
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(Ok(SecurityAction("bad", 0, 0, ata::kCmdSecUnlock)));
    EXPECT_NE(Word128() & 0x0010, 0) << "count expired";
    EXPECT_FALSE(Ok(SecurityAction("right", 0, 0, ata::kCmdSecUnlock))) << "refused even when right";
    m->PowerCycle();
    EXPECT_TRUE(Ok(SecurityAction("right", 0, 0, ata::kCmdSecUnlock)));
}

TEST(SimSecurity, MasterUnlocksAtHighButNotAtMaximum)
{
    auto high = InstantDrive();
    high.security.userPassword = "user";
    auto m = Install(OneChannel(high));
    EXPECT_TRUE(Ok(SecurityAction("MASTER", 1, 0, ata::kCmdSecUnlock)));

    auto max = InstantDrive();
    max.security.userPassword = "user";
    max.security.levelMax = true;
    m = Install(OneChannel(max));
    EXPECT_EQ(Word128() & 0x0100, 0x0100);
    EXPECT_FALSE(Ok(SecurityAction("MASTER", 1, 0, ata::kCmdSecUnlock)));
    EXPECT_TRUE(Ok(SecurityAction("user", 0, 0, ata::kCmdSecUnlock)));
}

TEST(SimSecurity, EraseNeedsPrepareRightBeforeAndClearsEverything)
{
    auto d = InstantDrive("ERASE", 50000);
    d.softBad = {100};
    auto m = Install(OneChannel(d));
    sim::Drive* drv = m->DriveAt(0x1F0, 0);
    ASSERT_TRUE(Ok(SecurityAction("KRENT", 0, 0, ata::kCmdSecSetPassword)));
    EXPECT_TRUE(drv->SectorUntouched(49999));

    // Without the prepare command the erase is refused.
    EXPECT_FALSE(Ok(SecurityAction("KRENT", 0, 0, ata::kCmdSecEraseUnit)));
    EXPECT_NE(ERR() & 0xFF, 0);
    // A command between prepare and erase spoils the prepare.
    ASSERT_TRUE(Ok(SecurityAction("KRENT", 0, 0, ata::kCmdSecErasePrepare)));
    ASSERT_GE(VerifySectors(0, 1, 1), 0);
    EXPECT_FALSE(Ok(SecurityAction("KRENT", 0, 0, ata::kCmdSecEraseUnit)));

    ASSERT_TRUE(Ok(SecurityAction("KRENT", 0, 0, ata::kCmdSecErasePrepare)));
    ASSERT_TRUE(Ok(SecurityAction("KRENT", 0, 0, ata::kCmdSecEraseUnit)));
    EXPECT_EQ(ERR() & 0xFF, 0);
    EXPECT_EQ(WaitReady(), 0) << "an instant drive is done at once";
    const auto s = drv->ReadSector(49999);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[511], 0);
    EXPECT_GE(VerifySectors(100, 1, 1), 0) << "the soft-bad sector is gone";
    EXPECT_EQ(Word128() & 0x0002, 0) << "the password is removed by the erase";
}

TEST(SimSecurity, EraseTakesTheTimeOfWord89AndWaitReadyPollsIt)
{
    auto d = InstantDrive("SLOWERASE", 50000);
    d.timeScale = 1;
    d.eraseWord = 1;            // 2 minutes ...
    d.eraseScale = 1.0 / 120;   // ... scaled to one second
    auto m = Install(OneChannel(d));
    ASSERT_TRUE(Ok(SecurityAction("K", 0, 0, ata::kCmdSecSetPassword)));
    ASSERT_TRUE(Ok(SecurityAction("K", 0, 0, ata::kCmdSecErasePrepare)));
    ASSERT_TRUE(Ok(SecurityAction("K", 0, 0, ata::kCmdSecEraseUnit))) << "accepted and running";
    EXPECT_EQ(ERR() & 0xFF, 0);
    EXPECT_TRUE(m->DriveAt(0x1F0, 0)->EraseRunning());
    const int32_t busy = WaitReady();
    EXPECT_NE(busy, 0);
    EXPECT_NE(busy, 255);
    int polls = 0;
    while (WaitReady() != 0 && polls < 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ++polls;
    }
    EXPECT_LT(polls, 200);
    EXPECT_FALSE(m->DriveAt(0x1F0, 0)->EraseRunning());
}

TEST(SimSecurity, FrozenDriveRefusesSecurityChanges)
{
    auto d = InstantDrive();
    d.security.frozen = true;
    auto m = Install(OneChannel(d));
    EXPECT_NE(Word128() & 0x0008, 0);
    EXPECT_FALSE(Ok(SecurityAction("x", 0, 0, ata::kCmdSecSetPassword)));
    EXPECT_FALSE(Ok(SecurityAction("x", 0, 0, ata::kCmdSecErasePrepare)));
}

TEST(SimSecurity, UnknownSecurityCodeIsRejectedWithoutTouchingTheDrive)
{
    auto m = Install(OneChannel(InstantDrive()));
    const uint64_t before = m->DriveAt(0x1F0, 0)->CommandCount();
    EXPECT_FALSE(Ok(SecurityAction("x", 0, 0, 0x99)));
    EXPECT_EQ(m->DriveAt(0x1F0, 0)->CommandCount(), before);
}

TEST(SimSecurity, EnhancedEraseReachesTheDriveThroughTheLevelArgument)
{
    auto d = InstantDrive("ENHANCED", 50000);
    d.timeScale = 1;
    d.eraseWord = 255;          // ten hours for a normal erase ...
    d.enhancedEraseWord = 1;    // ... two minutes for an enhanced one,
    d.eraseScale = 1.0 / 1200;  // scaled to 0.1 s
    auto m = Install(OneChannel(d));
    ASSERT_TRUE(Ok(SecurityAction("K", 0, 0, ata::kCmdSecSetPassword)));
    ASSERT_TRUE(Ok(SecurityAction("K", 0, 0, ata::kCmdSecErasePrepare)));
    ASSERT_TRUE(Ok(SecurityAction("K", 0, 1, ata::kCmdSecEraseUnit)));
    int polls = 0;
    while (WaitReady() != 0 && polls < 1000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ++polls;
    }
    EXPECT_LT(polls, 1000) << "the erase took word 90's time, not word 89's (30 s here)";
    EXPECT_FALSE(m->DriveAt(0x1F0, 0)->EraseRunning());
}
