// The rules of the erase and soft-bad windows, directly.
#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <set>
#include <vector>

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

}  // namespace

TEST(OpsRules, EraseBlocksAndFiller)
{
    EXPECT_EQ(Blocks(1000, 1600, 256), (std::vector<int64_t>{256, 256, 88}));
    EXPECT_EQ(Blocks(5, 8, 1), (std::vector<int64_t>{1, 1, 1}));
    EXPECT_TRUE(Blocks(9, 9, 256).empty());
    EXPECT_EQ(Blocks(4294967296 + 100, 4294967296 + 400, 256), (std::vector<int64_t>{256, 44}));

    EXPECT_EQ(ParseFiller("a5"), uint8_t(0xA5));
    EXPECT_EQ(ParseFiller("7"), uint8_t(0x07));
    for (const char* bad : {"", "G1", "100", "-1"})
        EXPECT_EQ(ParseFiller(bad), std::nullopt) << bad;
    EXPECT_TRUE(FillerKeyAllowed(u'\b') && FillerKeyAllowed(u'f') && FillerKeyAllowed(u'9'));
    EXPECT_FALSE(FillerKeyAllowed(u'g') || FillerKeyAllowed(u' ') || FillerKeyAllowed(u'-'));

    // "Случайно": every value of 00 to FE, never FF.
    QRandomGenerator random(12345);
    std::set<QString> seen;
    for (int i = 0; i < 5000; ++i)
        seen.insert(RandomFillerText(random));
    EXPECT_EQ(seen.size(), 255u);
    EXPECT_EQ(*seen.begin(), "00");
    EXPECT_EQ(*seen.rbegin(), "FE");
}

TEST(OpsRules, SoftBadTargetsAndRemainingTime)
{
    QRandomGenerator random(7);
    std::set<int64_t> seen;
    for (int i = 0; i < 1000; ++i)
        seen.insert(RandomTarget(10, 14, random));
    EXPECT_EQ(seen, (std::set<int64_t>{10, 11, 12, 13}));  // the end never
    EXPECT_EQ(RandomTarget(50, 50, random), 50);

    EXPECT_EQ(RemainingTimeText(std::nullopt), " - - - - - - - ");
    EXPECT_EQ(RemainingTimeText(3661), " 01:01:01");
    EXPECT_EQ(RemainingTimeText(360000), " 100:00:00");
}
