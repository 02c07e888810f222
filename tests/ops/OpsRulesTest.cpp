// The rules of the erase and soft-bad windows, directly.
#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <set>
#include <vector>

#include "hw/AtaDefs.h"
#include "ops/OpsRules.h"

using namespace ops;

namespace {

// The counts of the commands a pass over [start, end) sends.
std::vector<int64_t> Blocks(int64_t start, int64_t end, int perCommand)
{
    std::vector<int64_t> counts;
    for (int64_t lba = start; lba < end; lba += counts.back())
        counts.push_back(EraseCount(lba, end, perCommand));
    return counts;
}

ata::IdentifyBlock Identify(uint32_t sectors28, uint64_t sectors48, uint16_t word83)
{
    ata::IdentifyBlock b{};
    const char model[] = "  SIM  MODEL                             ";  // words 27-46, blanks around
    for (int i = 0; i < 40; ++i)
        b.Bytes()[54 + i] = uint8_t(model[i]);
    b.w[60] = uint16_t(sectors28);
    b.w[61] = uint16_t(sectors28 >> 16);
    for (int i = 0; i < 4; ++i)
        b.w[100 + i] = uint16_t(sectors48 >> (16 * i));
    b.w[83] = word83;
    return b;
}

}  // namespace

TEST(EraseRules, BlocksOf256WithAShorterLastOne)
{
    EXPECT_EQ(Blocks(1000, 1600, 256), (std::vector<int64_t>{256, 256, 88}));
    EXPECT_EQ(Blocks(0, 512, 256), (std::vector<int64_t>{256, 256}));
    EXPECT_EQ(Blocks(7, 8, 256), (std::vector<int64_t>{1}));
    EXPECT_EQ(Blocks(5, 8, 1), (std::vector<int64_t>{1, 1, 1}));
    EXPECT_TRUE(Blocks(9, 9, 256).empty());
    // Above 2^32 the same.
    EXPECT_EQ(Blocks(4294967296 + 100, 4294967296 + 400, 256), (std::vector<int64_t>{256, 44}));
}

TEST(EraseRules, FillerField)
{
    EXPECT_EQ(ParseFiller("FF"), uint8_t(0xFF));
    EXPECT_EQ(ParseFiller("a5"), uint8_t(0xA5));
    EXPECT_EQ(ParseFiller("7"), uint8_t(0x07));
    EXPECT_EQ(ParseFiller(""), std::nullopt);
    EXPECT_EQ(ParseFiller("G1"), std::nullopt);
    EXPECT_EQ(ParseFiller("100"), std::nullopt);
    EXPECT_EQ(ParseFiller("-1"), std::nullopt);

    for (QChar c : QStringLiteral("0123456789ABCDEFabcdef\b"))
        EXPECT_TRUE(FillerKeyAllowed(c)) << int(c.unicode());
    for (QChar c : QStringLiteral("gG -x\t"))
        EXPECT_FALSE(FillerKeyAllowed(c)) << int(c.unicode());
}

TEST(EraseRules, RandomFillerIsNeverFF)
{
    QRandomGenerator random(12345);
    std::set<QString> seen;
    for (int i = 0; i < 5000; ++i) {
        const QString t = RandomFillerText(random);
        ASSERT_EQ(t.size(), 2);
        ASSERT_EQ(t, t.toUpper());
        ASSERT_NE(t, "FF");
        seen.insert(t);
    }
    EXPECT_EQ(seen.size(), 255u);  // 00 to FE, every one of them
    EXPECT_EQ(*seen.begin(), "00");
    EXPECT_EQ(*seen.rbegin(), "FE");
}

TEST(SoftBadRules, RandomTargetsStayBelowTheEnd)
{
    QRandomGenerator random(7);
    std::set<int64_t> seen;
    for (int i = 0; i < 1000; ++i) {
        const int64_t t = RandomTarget(10, 14, random);
        ASSERT_GE(t, 10);
        ASSERT_LT(t, 14);
        seen.insert(t);
    }
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_EQ(RandomTarget(50, 50, random), 50);  // start = end: always the start
    EXPECT_TRUE(Lba48Refusal().contains("LBA28.\r\nВ целях"));
    EXPECT_EQ(Lba48Refusal().count("\r\n"), 2);
}

TEST(PassRules, RemainingTimeText)
{
    EXPECT_EQ(RemainingTimeText(std::nullopt), " - - - - - - - ");
    EXPECT_EQ(RemainingTimeText(0), " 00:00:00");
    EXPECT_EQ(RemainingTimeText(3661), " 01:01:01");
    EXPECT_EQ(RemainingTimeText(360000), " 100:00:00");
}

TEST(PassRules, DriveFromIdentify)
{
    // 48-bit: the erase offers words 100-103, soft-bad creation words 60-61.
    const ata::IdentifyBlock big = Identify(0x0FFFFFFF, 5860533168, 0x4400);
    EXPECT_EQ(EraseDrive(big, false).lastLba, 5860533167);
    EXPECT_TRUE(EraseDrive(big, false).lba48);
    EXPECT_EQ(EraseDrive(big, false).model, "SIM  MODEL");
    EXPECT_EQ(SoftBadDrive(big, false).lastLba, 0x0FFFFFFE);
    // Word 83 that says nothing keeps the mode the window had.
    const ata::IdentifyBlock mute = Identify(1000, 5000, 0xFFFF);
    EXPECT_EQ(EraseDrive(mute, false).lastLba, 999);
    EXPECT_TRUE(EraseDrive(mute, true).lba48);
    EXPECT_EQ(EraseDrive(mute, true).lastLba, 4999);
    // An empty drive offers 0 to 0.
    EXPECT_EQ(EraseDrive(Identify(0, 0, 0x4000), false).lastLba, 0);
}
