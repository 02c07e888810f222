// The stress test's rules: identify, targets, times, texts, temperature.
#include <gtest/gtest.h>

#include <map>

#include "info/IdentifyBuilder.h"
#include "surface/SeekTestRules.h"

using namespace stress;
using testinfo::IdentifyBuilder;

TEST(StressRules, IdentifyGivesModelModeLimitsAndSmart)
{
    // 48-bit beyond 2^32 sectors: seeks stop at the 28-bit capacity.
    StressDrive d = DriveFromIdentify(IdentifyBuilder().Text(ata::kModelField, "  BIG ONE  ").Sectors(6000000000ULL));
    EXPECT_EQ(d.model, QStringLiteral("BIG ONE"));
    EXPECT_EQ(RangeLimit(d, Command::Seek), 0x0FFFFFFF - 1);
    EXPECT_EQ(RangeLimit(d, Command::Verify), 6000000000LL - 1);
    EXPECT_TRUE(SeekLimitedTo28Bit(d, Command::Seek));
    EXPECT_TRUE(d.smartUsable && !d.smartSwitchOn);
    // Word 83 saying nothing: 28-bit, words 100-103 ignored.
    d = DriveFromIdentify(IdentifyBuilder().Word(83, 0xFFFF).Sectors28(1000).Sectors48(99999));
    EXPECT_EQ(RangeLimit(d, Command::Verify), 999);
    EXPECT_FALSE(SeekLimitedTo28Bit(d, Command::Seek));
    EXPECT_EQ(DriveFromIdentify(IdentifyBuilder().Word(83, 0x4000).Sectors(0)).lastLba, 0);

    EXPECT_TRUE(DriveFromIdentify(IdentifyBuilder().Word(85, 0x7400)).smartSwitchOn);
    for (uint16_t w82 : {0x0000, 0xFFFF, 0x7402})
        EXPECT_FALSE(DriveFromIdentify(IdentifyBuilder().Word(82, w82).Word(85, 0x7400)).smartUsable) << w82;
    // A word 85 of 0 says nothing: no reason to switch SMART on (and off at the end).
    EXPECT_FALSE(DriveFromIdentify(IdentifyBuilder().Word(85, 0x0000)).smartSwitchOn);
}

TEST(StressRules, RandomTargetsCoverTheRangeButNeverItsEnd)
{
    std::mt19937_64 random(12345);
    std::map<int64_t, int> seen;
    for (int i = 0; i < 4000; ++i)
        ++seen[RandomTarget(100, 104, random)];
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen.begin()->first, 100);
    EXPECT_EQ(seen.rbegin()->first, 103);
    for (auto [lba, n] : seen)
        EXPECT_GT(n, 800) << lba;  // about 1000 each
    EXPECT_EQ(RandomTarget(41, 42, random), 41);
    EXPECT_EQ(RandomTarget(41, 41, random), 41);
    int64_t highest = 0;
    for (int i = 0; i < 1000; ++i)
        highest = std::max(highest, RandomTarget(0, int64_t(1) << 47, random));
    EXPECT_GT(highest, int64_t(1) << 46);
    EXPECT_LT(highest, int64_t(1) << 47);
}

TEST(StressRules, TimesIgnoreFailuresWhichStillCountInTheAverage)
{
    TimeStats s;
    s.AddSuccess(1000);
    s.AddSuccess(3000);
    s.AddFailure();
    s.AddFailure();
    EXPECT_EQ(s.minimum, 1000u);
    EXPECT_EQ(s.maximum, 3000u);
    EXPECT_EQ(s.average, 2000u);
    s.AddSuccess(7000);  // (2000 × 4 + 7000) div 5
    EXPECT_EQ(s.average, 3000u);
    EXPECT_EQ(s.commands, 5);
    EXPECT_EQ(s.errors, 2);
    // Rounded down, also when falling; exact where 32 bits would overflow
    // and after more commands than 64-bit products allow.
    EXPECT_EQ(NextAverage(10, 2, 0), 6u);
    EXPECT_EQ(NextAverage(2000000000u, 3, 0), 1500000000u);
    EXPECT_EQ(NextAverage(1000, int64_t(1) << 40, 0), 999u);
    EXPECT_EQ(NextAverage(1000, int64_t(1) << 40, 2000), 1000u);
}

TEST(StressRules, Texts)
{
    const QLocale c = QLocale::c();
    EXPECT_EQ(CommandTimeText(0, c), QStringLiteral("   0.0 мс"));
    EXPECT_EQ(CommandTimeText(8349, c), QStringLiteral("   8.3 мс"));
    EXPECT_EQ(CommandTimeText(8350, c), QStringLiteral("   8.4 мс"));
    EXPECT_EQ(CommandTimeText(12345678, c), QStringLiteral("12345.7 мс"));
    EXPECT_EQ(CommandTimeText(1500, QLocale(QLocale::Russian)), QStringLiteral("   1,5 мс"));
    EXPECT_EQ(ElapsedText(123 * 3600 + 4 * 60 + 5), QStringLiteral("123:04:05"));
}

TEST(StressRules, TemperatureTextsPointsAndTicks)
{
    ata::SmartData data{};
    data.attr[0] = {9, {}, 0, 0, {55}, 0};
    data.attr[2] = {194, {}, 0, 0, {41}, 0};
    data.attr[3] = {194, {}, 0, 0, {50}, 0};
    TemperatureReading r = TemperatureFrom(true, true, data);
    EXPECT_EQ(r.text, QStringLiteral("41°C"));  // the first entry 194
    EXPECT_EQ(r.degrees, 41);
    r = TemperatureFrom(true, false, data);
    EXPECT_TRUE(r.text == QStringLiteral("Error") && !r.degrees && r.resetDrive);
    r = TemperatureFrom(false, true, data);
    EXPECT_TRUE(r.text == QStringLiteral("Not Support") && !r.degrees && !r.resetDrive);
    data.attr[2].id = data.attr[3].id = 0;
    r = TemperatureFrom(true, true, data);
    EXPECT_TRUE(r.text.isEmpty() && !r.degrees);

    uint8_t ticks = 0;
    std::vector<int> due;
    for (int second = 1; second <= 27; ++second)
        if (TemperatureDue(ticks))
            due.push_back(second);
    EXPECT_EQ(due, (std::vector<int>{9, 18, 27}));
    EXPECT_EQ(AutomaticMaximum(0), 1);
}
