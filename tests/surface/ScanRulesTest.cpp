#include <gtest/gtest.h>

#include "common/Format.h"
#include "hw/AtaDefs.h"
#include <cstring>
#include "surface/ScanRules.h"

using namespace scan;

TEST(ScanRules, TimeClassesHaveStrictUpperBounds)
{
    const std::pair<int32_t, BlockClass> cases[] = {
        {0, kT5},     {4, kT5},      {5, kT15},     {14, kT15},   {15, kT50},     {49, kT50},
        {50, kT150},  {149, kT150},  {150, kT500},  {499, kT500}, {500, kT1000},  {100000, kT1000},
    };
    for (auto [ms, cls] : cases)
        EXPECT_EQ(ClassOf(ms), cls) << ms;
    const BlockClass errors[] = {kAMNF, kT0NF, kABRT, kIDNF, kUNC, kBBK, kTime};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(ClassOf(-1 - i), errors[i]);
    EXPECT_EQ(ClassOf(-100), kTime);
}

TEST(ScanRules, CodesPrefixesAndKinds)
{
    QString codes;
    for (int c = 0; c < kClassCount; ++c)
        codes += MapCode(BlockClass(c));
    EXPECT_EQ(codes, QStringLiteral("123456A0!SXB?"));

    for (BlockClass c : {kT5, kT15, kT50, kT150}) {
        EXPECT_TRUE(ReportPrefix(c).isEmpty());
        EXPECT_TRUE(ReportLine(c, 5).isEmpty());
        EXPECT_FALSE(IsWarning(c) || IsError(c));
    }
    EXPECT_EQ(ReportLine(kT500, 1234), QStringLiteral("     Warning >150 : 1234"));
    EXPECT_EQ(ReportLine(kT1000, 0), QStringLiteral("     Warning >500 : 0"));
    EXPECT_EQ(ReportLine(kAMNF, 7), QStringLiteral("     Error AMNF   : 7"));
    EXPECT_EQ(ReportLine(kT0NF, 7), QStringLiteral("     Error T0NF   : 7"));
    EXPECT_EQ(ReportLine(kABRT, 7), QStringLiteral("     Error ABRT   : 7"));
    EXPECT_EQ(ReportLine(kIDNF, 7), QStringLiteral("     Error IDNF   : 7"));
    EXPECT_EQ(ReportLine(kUNC, 7), QStringLiteral("     Error UNC    : 7"));
    EXPECT_EQ(ReportLine(kBBK, 7), QStringLiteral("     Error BBK    : 7"));
    EXPECT_EQ(ReportLine(kTime, 5000000000LL), QStringLiteral("     Error Time   : 5000000000"));
    EXPECT_TRUE(IsWarning(kT500) && IsWarning(kT1000));
    EXPECT_TRUE(IsError(kTime) && IsError(kAMNF) && !IsError(kT1000));

    Tally t;
    for (int c = 0; c < kClassCount; ++c)
        t.Add(BlockClass(c));
    t.Add(kUNC);
    EXPECT_EQ(t.Warnings(), 2);
    EXPECT_EQ(t.Errors(), 8);
    EXPECT_EQ(t.Total(), 14);
}

TEST(ScanRules, BlockTimeRoundsHalvesToEven)
{
    EXPECT_EQ(BlockMilliseconds(4500), 4);
    EXPECT_EQ(BlockMilliseconds(5500), 6);
    EXPECT_EQ(BlockMilliseconds(149500), 150);
    EXPECT_EQ(BlockMilliseconds(4499), 4);
    EXPECT_EQ(BlockMilliseconds(4501), 5);
    EXPECT_EQ(BlockMilliseconds(0), 0);
    EXPECT_EQ(ClassOf(BlockMilliseconds(4500)), kT5);
    EXPECT_EQ(ClassOf(BlockMilliseconds(149500)), kT500);
}

TEST(ScanRules, ErrorRegisterTakesFirstBitInOrder)
{
    EXPECT_EQ(ErrorResult(0x00), -7);
    EXPECT_EQ(ErrorResult(0x08), -7);
    EXPECT_EQ(ErrorResult(0x28), -7);
    EXPECT_EQ(ErrorResult(0x84), -3);
    EXPECT_EQ(ErrorResult(0x50), -4);
    EXPECT_EQ(ErrorResult(0x41), -1);
    EXPECT_EQ(ErrorResult(0xC0), -5);
    EXPECT_EQ(ErrorResult(0x80), -6);
    EXPECT_EQ(ErrorResult(0x02), -2);
    EXPECT_EQ(ErrorResult(0xFF), -1);
}

TEST(ScanRules, GraphSpacing)
{
    EXPECT_EQ(BlocksPerPoint(0, 25599), 0);  // a point per block
    EXPECT_EQ(BlocksPerPoint(0, 25600), 1);
    EXPECT_EQ(BlocksPerPoint(0, 255999), 9);
    EXPECT_EQ(BlocksPerPoint(0, 256000), 1);
    EXPECT_EQ(BlocksPerPoint(100, 100 + 268435456), 1048);
    EXPECT_EQ(BlocksPerPoint(0, 0), 0);
}

TEST(ScanRules, PointsCarryOnWithoutTime)
{
    PointCounter p(2);  // a point after every third block
    int axis = -1;
    p.AddTime(10);
    EXPECT_FALSE(p.AfterBlock(&axis));
    p.AddTime(10);
    EXPECT_FALSE(p.AfterBlock(&axis));
    p.AddTime(5);
    auto s = p.AfterBlock(&axis);
    ASSERT_TRUE(s);
    EXPECT_DOUBLE_EQ(*s, 3 * 125.0 / 25);  // 15 MB/s
    EXPECT_EQ(axis, 17);                    // 15 x 1.15 = 17.25, below the initial 100
    EXPECT_EQ(p.PointTime(), 0);

    // Three blocks of no measurable time: no point, the count goes on.
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(p.AfterBlock(&axis));
    p.AddTime(kFailedBlockMs);
    s = p.AfterBlock(&axis);
    ASSERT_TRUE(s);
    EXPECT_DOUBLE_EQ(*s, 4 * 125.0 / 5000);
    EXPECT_EQ(axis, 0);  // not a new highest speed

    PointCounter every(0);
    every.AddTime(kFailedBlockMs);
    s = every.AfterBlock(&axis);
    ASSERT_TRUE(s);
    EXPECT_DOUBLE_EQ(*s, 0.025);
    EXPECT_EQ(axis, 1);  // never an axis of zero height
    EXPECT_EQ(SpeedAxisMaximum(100), 115);
    EXPECT_EQ(SpeedAxisMaximum(3.0), 3);
    EXPECT_EQ(SpeedAxisMaximum(0.2), 1);
}

TEST(ScanRules, HeaderAndSummaryLines)
{
    const QDateTime now(QDate(2026, 12, 7), QTime(14, 35, 9));
    const QStringList h = HeaderLines(QStringLiteral("  MODEL X  "), QStringLiteral("FW1 "), QStringLiteral(" SN9"),
                                      10, 2000, now);
    ASSERT_EQ(h.size(), 7);
    EXPECT_EQ(h[0], QString(60, QLatin1Char('*')));
    EXPECT_EQ(h[1], QStringLiteral("Model: MODEL X FW: FW1"));
    EXPECT_EQ(h[2], QStringLiteral("s/n: SN9"));
    EXPECT_EQ(h[3], QStringLiteral("Начальный LBA.............10"));
    EXPECT_EQ(h[4], QStringLiteral("Конечный LBA..............2000"));
    EXPECT_EQ(h[5], QStringLiteral("Старт.....................") + ShortDateText(now) + " " + LongTimeText(now));
    EXPECT_TRUE(h[6].isEmpty());
    EXPECT_TRUE(LongTimeText(now).contains(QStringLiteral("35")));
    EXPECT_FALSE(LongTimeText(now).contains(QStringLiteral("UTC")));

    SummaryData d;
    d.now = now;
    d.currentLba = 1234;
    d.warnings = 3;
    d.errors = 4;
    d.elapsed = QStringLiteral("00:01:02");
    QStringList s = SummaryLines(d);
    ASSERT_EQ(s.size(), 9);
    EXPECT_TRUE(s[0].isEmpty());
    EXPECT_TRUE(s[1].startsWith(QStringLiteral("Выполнено...................")));
    EXPECT_EQ(s[1].indexOf(ShortDateText(now)), 28);
    EXPECT_EQ(s[2], QStringLiteral("Последний проверенный LBA..1234"));
    EXPECT_EQ(s[3], QStringLiteral("Минимальная скорость.......") + FormatSpeed(0.0));
    EXPECT_EQ(s[4], QStringLiteral("Максимальная скорость......") + FormatSpeed(0.0));
    EXPECT_TRUE(FormatSpeed(0.0).startsWith(QStringLiteral("0")) && FormatSpeed(0.0).endsWith(QStringLiteral("0 MB/c")));
    EXPECT_EQ(s[5], QStringLiteral("Предупреждений.............3"));
    EXPECT_EQ(s[6], QStringLiteral("Ошибок.....................4"));
    EXPECT_EQ(s[7], QStringLiteral("Общее время прохождения....00:01:02"));
    EXPECT_EQ(s[8], QString(60, QLatin1Char('*')));

    d.cancelled = true;
    d.minSpeed = 7.26;
    d.maxSpeed = 61.04;
    s = SummaryLines(d);
    EXPECT_EQ(s[1].indexOf(ShortDateText(now)), 27);
    EXPECT_TRUE(s[1].startsWith(QStringLiteral("Отменено...................")));
    EXPECT_EQ(s[3], QStringLiteral("Минимальная скорость.......") + FormatSpeed(7.26));
    EXPECT_TRUE(s[3].endsWith(QStringLiteral("3 MB/c")));
}

TEST(ScanRules, RemainingTimeEstimate)
{
    float ms = 0;
    EXPECT_FALSE(RemainingSeconds(ms, 1000, 500, 500, 10000));  // first block only: no estimate
    EXPECT_EQ(ms, 0.0f);
    // 1000 ms for 256 LBAs: 3.90625 ms/LBA, smoothed with the old 0 -> half.
    auto s = RemainingSeconds(ms, 1000, 756, 500, 256500);
    ASSERT_TRUE(s);
    EXPECT_FLOAT_EQ(ms, 1.953125f);
    EXPECT_EQ(*s, RoundHalfEven((256500 - 756) * 1.953125 / 1000));
    s = RemainingSeconds(ms, 2000, 1012, 500, 256500);
    EXPECT_FLOAT_EQ(ms, (1.953125f + 3.90625f) / 2);
    EXPECT_EQ(RemainingText(123 * 3600 + 4 * 60 + 5), QStringLiteral("Оставшееся время: 123:04:05"));
    EXPECT_EQ(RemainingText(65), QStringLiteral("Оставшееся время: 00:01:05"));
}

TEST(ScanRules, SaveNameAndProgress)
{
    EXPECT_EQ(SaveFileName(QStringLiteral("SIMDISK SD-6000X"), QStringLiteral("07.12.2026"), QTime(14, 35, 9)),
              QStringLiteral("Scan - SIMDISK SD-6000X - 07.12.2026_14.35.09"));
    EXPECT_EQ(SaveFileName(QStringLiteral("A/B"), QStringLiteral("12/7/26"), QTime(4, 5, 6)),
              QStringLiteral("Scan - A.B - 12.7.26_04.05.06"));
    EXPECT_EQ(SafeFileName(QStringLiteral("a:b*c?d\"e<f>g|h\\i\tj")), QStringLiteral("a.b.c.d.e.f.g.h.i.j"));

    EXPECT_EQ(ProgressPosition(0, 0, 1000, 10000), 0);
    EXPECT_EQ(ProgressPosition(500, 0, 1000, 10000), 5000);
    EXPECT_EQ(ProgressPosition(1000, 0, 1000, 10000), 10000);
    const int64_t big = int64_t(1) << 40;
    EXPECT_EQ(ProgressPosition(big + big / 4, big, 2 * big, 100), 25);
}

TEST(ScanRules, DriveFromIdentify)
{
    ata::IdentifyBlock id{};
    const char model[] = "SIMDISK MODEL                           ";  // 40 characters
    std::memcpy(id.Bytes() + 54, model, 40);
    std::memcpy(id.Bytes() + 20, "SERIAL 123          ", 20);
    std::memcpy(id.Bytes() + 46, "FW 1.0  ", 8);
    id.w[60] = 0x0000;
    id.w[61] = 0x0100;  // 2^24 sectors in 28 bits
    id.w[100] = 0x0000;
    id.w[101] = 0x0000;
    id.w[102] = 0x0002;  // 2^33 sectors in 48 bits

    id.w[83] = 0x0000;  // says nothing: the mode given is kept
    ScanDrive d = DriveFromIdentify(id, true);
    EXPECT_TRUE(d.lba48);
    EXPECT_EQ(d.maxLba, (int64_t(1) << 33) - 1);
    d = DriveFromIdentify(id, false);
    EXPECT_FALSE(d.lba48);
    EXPECT_EQ(d.maxLba, (int64_t(1) << 24) - 1);
    id.w[83] = 0xFFFF;
    EXPECT_TRUE(DriveFromIdentify(id, true).lba48);
    id.w[83] = 0x4000;  // valid, bit 10 clear
    EXPECT_FALSE(DriveFromIdentify(id, true).lba48);
    id.w[83] = 0x4400;
    d = DriveFromIdentify(id, false);
    EXPECT_TRUE(d.lba48);
    EXPECT_EQ(d.text.model, QString::fromLatin1(model));  // as identify gives it, untrimmed
    EXPECT_EQ(d.text.serial, QStringLiteral("SERIAL 123          "));
    EXPECT_EQ(d.text.firmware, QStringLiteral("FW 1.0  "));
    id.w[102] = 0;
    EXPECT_EQ(DriveFromIdentify(id, false).maxLba, -1);  // no capacity at all
}
