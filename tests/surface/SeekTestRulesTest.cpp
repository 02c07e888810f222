// The stress test's rules: identify, limits, targets, times, texts and the
// temperature.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "info/IdentifyBuilder.h"
#include "surface/SeekTestRules.h"

using namespace stress;
using testinfo::IdentifyBuilder;

namespace {

std::vector<int64_t> Take(Targets& t, int n)
{
    std::vector<int64_t> v;
    for (int i = 0; i < n; ++i)
        v.push_back(t.Next());
    return v;
}

ata::SmartData WithAttributes(std::initializer_list<std::pair<uint8_t, uint8_t>> idAndRaw0)
{
    ata::SmartData d{};
    int i = 0;
    for (auto [id, raw] : idAndRaw0) {
        d.attr[i].id = id;
        d.attr[i].raw[0] = raw;
        ++i;
    }
    return d;
}

}  // namespace

TEST(StressRules, IdentifyGivesModelModeLimitsAndSmart)
{
    // A 48-bit drive beyond 2^32 sectors: seek stops at the 28-bit capacity.
    StressDrive d = DriveFromIdentify(IdentifyBuilder().Text(ata::kModelField, "  BIG ONE  ").Sectors(6000000000ULL));
    EXPECT_EQ(d.model, QStringLiteral("BIG ONE"));
    EXPECT_TRUE(d.lba48);
    EXPECT_EQ(d.lastLbaSeek, 0x0FFFFFFF - 1);
    EXPECT_EQ(d.lastLba, 6000000000LL - 1);
    EXPECT_EQ(RangeLimit(d, Command::Seek), 0x0FFFFFFF - 1);
    EXPECT_EQ(RangeLimit(d, Command::Verify), 6000000000LL - 1);
    EXPECT_TRUE(SeekLimitedTo28Bit(d, Command::Seek));
    EXPECT_FALSE(SeekLimitedTo28Bit(d, Command::Verify));
    EXPECT_TRUE(d.smartUsable);
    EXPECT_FALSE(d.smartSwitchOn);

    // 28-bit: words 100-103 do not count; word 83 0xFFFF says nothing.
    d = DriveFromIdentify(IdentifyBuilder().Word(83, 0xFFFF).Sectors28(1000).Sectors48(99999));
    EXPECT_FALSE(d.lba48);
    EXPECT_EQ(d.lastLba, 999);
    EXPECT_EQ(d.lastLbaSeek, 999);
    EXPECT_FALSE(SeekLimitedTo28Bit(d, Command::Seek));
    // No capacity at all: LBA 0 only.
    EXPECT_EQ(DriveFromIdentify(IdentifyBuilder().Word(83, 0x4000).Sectors(0)).lastLba, 0);

    // SMART: word 82 must be valid with bit 0; switched on when word 85 says off.
    EXPECT_TRUE(DriveFromIdentify(IdentifyBuilder().Word(85, 0x7400)).smartSwitchOn);
    for (uint16_t w82 : {0x0000, 0xFFFF, 0x7402}) {
        const StressDrive n = DriveFromIdentify(IdentifyBuilder().Word(82, w82).Word(85, 0x7400));
        EXPECT_FALSE(n.smartUsable) << w82;
        EXPECT_FALSE(n.smartSwitchOn) << w82;
    }
    // A word 85 that says nothing (0) is no reason to switch SMART on and,
    // at the end, off.
    EXPECT_FALSE(DriveFromIdentify(IdentifyBuilder().Word(85, 0x0000)).smartSwitchOn);
}

TEST(StressRules, CaptionRangeAndMessages)
{
    EXPECT_EQ(RunCaption(QStringLiteral("M")), QStringLiteral("Стресс-тест: M"));
    EXPECT_TRUE(RangeAccepted(5, 5));
    EXPECT_TRUE(RangeAccepted(0, 1));
    EXPECT_FALSE(RangeAccepted(6, 5));
    EXPECT_EQ(kRangeReversed, QStringLiteral("Конец диапазона не может быть меньше начала!"));
}

TEST(StressRules, RangeAddressingAlternatesSeekFromTheEndVerifyFromTheStart)
{
    Targets seek(Addressing::Range, Command::Seek, 10, 20, 1);
    EXPECT_EQ(Take(seek, 5), (std::vector<int64_t>{20, 10, 20, 10, 20}));
    Targets verify(Addressing::Range, Command::Verify, 10, 20, 1);
    EXPECT_EQ(Take(verify, 5), (std::vector<int64_t>{10, 20, 10, 20, 10}));
    // start = end: every command at that LBA, in both modes.
    for (Addressing a : {Addressing::Range, Addressing::Random})
        for (Command c : {Command::Seek, Command::Verify}) {
            Targets one(a, c, 7, 7, 3);
            EXPECT_EQ(Take(one, 4), (std::vector<int64_t>(4, 7)));
        }
}

TEST(StressRules, RandomTargetsCoverTheRangeButNeverItsEnd)
{
    std::mt19937_64 random(12345);
    // One LBA before the end: always the start.
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(RandomTarget(41, 42, random), 41);
    std::map<int64_t, int> seen;
    for (int i = 0; i < 4000; ++i)
        ++seen[RandomTarget(100, 104, random)];
    EXPECT_EQ(seen.size(), 4u);  // 100..103, each
    EXPECT_EQ(seen.begin()->first, 100);
    EXPECT_EQ(seen.rbegin()->first, 103);
    for (auto [lba, n] : seen)
        EXPECT_GT(n, 800) << lba;  // roughly uniform (1000 expected)
    // 48-bit ranges: the whole width is reachable.
    int64_t highest = 0;
    for (int i = 0; i < 1000; ++i) {
        const int64_t t = RandomTarget(0, int64_t(1) << 47, random);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, int64_t(1) << 47);
        highest = std::max(highest, t);
    }
    EXPECT_GT(highest, int64_t(1) << 46);
    // The same seed gives the same targets.
    Targets a(Addressing::Random, Command::Verify, 0, 1000000, 99), b(Addressing::Random, Command::Seek, 0, 1000000, 99);
    EXPECT_EQ(Take(a, 20), Take(b, 20));
}

TEST(StressRules, TimesIgnoreFailuresWhichStillCountInTheAverage)
{
    TimeStats s;
    EXPECT_EQ(s.minimum, 2147483647u);
    s.AddSuccess(1000);
    s.AddSuccess(3000);
    EXPECT_EQ(s.average, 2000u);
    s.AddFailure();
    s.AddFailure();
    EXPECT_EQ(s.minimum, 1000u);
    EXPECT_EQ(s.maximum, 3000u);
    EXPECT_EQ(s.average, 2000u);
    EXPECT_EQ(s.commands, 4);
    EXPECT_EQ(s.errors, 2);
    // (2000 × 4 + 7000) div 5
    s.AddSuccess(7000);
    EXPECT_EQ(s.average, 3000u);
    EXPECT_EQ(s.maximum, 7000u);
    EXPECT_EQ(s.commands, 5);

    // Integer division rounds down, also when the average falls.
    EXPECT_EQ(NextAverage(10, 2, 0), 6u);  // 20 / 3
    EXPECT_EQ(NextAverage(10, 2, 12), 10u);  // 32 / 3
    EXPECT_EQ(NextAverage(0, 0, 5), 5u);
    // Large products need 64 bits, and long runs more: still exact.
    EXPECT_EQ(NextAverage(2000000000u, 3, 2000000000u), 2000000000u);
    EXPECT_EQ(NextAverage(2000000000u, 3, 0), 1500000000u);
    EXPECT_EQ(NextAverage(1000, int64_t(1) << 40, 0), 999u);
    EXPECT_EQ(NextAverage(1000, int64_t(1) << 40, 2000), 1000u);
}

TEST(StressRules, TimeAndElapsedTexts)
{
    const QLocale c = QLocale::c();
    EXPECT_EQ(CommandTimeText(0, c), QStringLiteral("   0.0 мс"));
    EXPECT_EQ(CommandTimeText(8349, c), QStringLiteral("   8.3 мс"));
    EXPECT_EQ(CommandTimeText(8350, c), QStringLiteral("   8.4 мс"));
    EXPECT_EQ(CommandTimeText(12345678, c), QStringLiteral("12345.7 мс"));  // wider than six
    EXPECT_EQ(CommandTimeText(2147483647, c), QStringLiteral("2147483.6 мс"));
    EXPECT_EQ(CommandTimeText(1500, QLocale(QLocale::Russian)), QStringLiteral("   1,5 мс"));
    EXPECT_EQ(ElapsedText(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(ElapsedText(3 * 3600 + 4 * 60 + 5), QStringLiteral("03:04:05"));
    EXPECT_EQ(ElapsedText(123 * 3600 + 59), QStringLiteral("123:00:59"));
}

TEST(StressRules, TemperatureTextsAndPoints)
{
    const ata::SmartData data = WithAttributes({{9, 55}, {0, 1}, {194, 41}, {194, 50}});
    TemperatureReading r = TemperatureFrom(true, true, data);
    EXPECT_EQ(r.text, QStringLiteral("41°C"));  // the first entry 194
    EXPECT_EQ(r.degrees, 41);
    EXPECT_FALSE(r.resetDrive);

    r = TemperatureFrom(true, true, WithAttributes({{9, 55}, {190, 31}}));
    EXPECT_TRUE(r.text.isEmpty());
    EXPECT_FALSE(r.degrees);

    r = TemperatureFrom(true, false, data);
    EXPECT_EQ(r.text, QStringLiteral("Error"));
    EXPECT_FALSE(r.degrees);
    EXPECT_TRUE(r.resetDrive);

    r = TemperatureFrom(false, true, data);
    EXPECT_EQ(r.text, QStringLiteral("Not Support"));
    EXPECT_FALSE(r.degrees);
    EXPECT_FALSE(r.resetDrive);

    // An id of 0 is no attribute, whatever its bytes.
    EXPECT_FALSE(TemperatureFrom(true, true, WithAttributes({{0, 194}})).degrees);
}

TEST(StressRules, TemperatureEveryNinthTickAndAxes)
{
    uint8_t ticks = 0;
    std::vector<int> due;
    for (int second = 1; second <= 27; ++second)
        if (TemperatureDue(ticks))
            due.push_back(second);
    EXPECT_EQ(due, (std::vector<int>{9, 18, 27}));
    EXPECT_EQ(ticks, 0);

    EXPECT_EQ(AutomaticMaximum(0), 1);
    EXPECT_EQ(AutomaticMaximum(37), 37);
}
