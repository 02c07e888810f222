#include <gtest/gtest.h>

#include <QLocale>

#include "common/Format.h"

TEST(FormatThousands, GroupsOfThreeJoinedByABackquote)
{
    EXPECT_EQ(FormatThousands(0), "0");
    EXPECT_EQ(FormatThousands(1), "1");
    EXPECT_EQ(FormatThousands(12), "12");
    EXPECT_EQ(FormatThousands(123), "123");
    EXPECT_EQ(FormatThousands(999), "999");
    EXPECT_EQ(FormatThousands(1000), "1`000");
    EXPECT_EQ(FormatThousands(123456), "123`456");
    EXPECT_EQ(FormatThousands(1234567), "1`234`567");
    EXPECT_EQ(FormatThousands(1234567890), "1`234`567`890");
    EXPECT_EQ(FormatThousands(5860533168LL), "5`860`533`168");
}

namespace {
constexpr double kSecond = 1.0 / 86400.0;
}

TEST(FormatElapsed, RoundsToTheSecondWithHalvesToEven)
{
    const double start = 46000.25;  // some day, 06:00
    EXPECT_EQ(FormatElapsed(start + 0.5 * kSecond, start), "00:00:00");
    EXPECT_EQ(FormatElapsed(start + 1.5 * kSecond, start), "00:00:02");
    EXPECT_EQ(FormatElapsed(start + 2.5 * kSecond, start), "00:00:02");
    EXPECT_EQ(FormatElapsed(start + 3599.6 * kSecond, start), "01:00:00");
    EXPECT_EQ(FormatElapsed(start + (25 * 3600 + 61) * kSecond, start), "25:01:01");
    EXPECT_EQ(FormatElapsed(start + 100 * 3600 * kSecond, start), "100:00:00");
}

TEST(FormatElapsed, CountsAcrossMidnight)
{
    const double before = 46000.0 + 23.0 / 24.0 + 59.0 / 1440.0;  // 23:59
    EXPECT_EQ(FormatElapsed(46001.0 + 1.0 / 1440.0, before), "00:02:00");
}

TEST(FormatHoursMinSec, PadsEveryFieldAndAllowsLongHours)
{
    EXPECT_EQ(FormatHoursMinSec(0), "00:00:00");
    EXPECT_EQ(FormatHoursMinSec(3600), "01:00:00");
    EXPECT_EQ(FormatHoursMinSec(123 * 3600 + 4 * 60 + 5), "123:04:05");
}

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour)
{
    EXPECT_EQ(RoundHalfEven(4.5), 4);
    EXPECT_EQ(RoundHalfEven(5.5), 6);
    EXPECT_EQ(RoundHalfEven(149.5), 150);
    EXPECT_EQ(RoundHalfEven(0.49), 0);
    EXPECT_EQ(RoundHalfEven(1000.5), 1000);
    EXPECT_EQ(RoundHalfEven(1001.5), 1002);
}

TEST(FormatSpeed, OneDecimalInTheUsersLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    const QString s = FormatSpeed(7.26);
    EXPECT_TRUE(s == "7.3 MB/c" || s == "7,3 MB/c") << s.toStdString();
    EXPECT_TRUE(FormatSpeed(0) == "0.0 MB/c" || FormatSpeed(0) == "0,0 MB/c");
    EXPECT_FALSE(FormatSpeed(1234.5).contains(' ' ) && FormatSpeed(1234.5).indexOf(' ') < 5);
    QLocale::setDefault(saved);
}

TEST(IdentifyText, TrimsControlsBlanksAndNulsAtBothEnds)
{
    const uint8_t raw[] = {0x00, ' ', '\t', 'A', ' ', 'B', ' ', 0x00, 0x1F, ' '};
    EXPECT_EQ(TrimIdentifyText(raw, sizeof raw), "A B");
    const uint8_t blank[] = {' ', 0, ' '};
    EXPECT_EQ(TrimIdentifyText(blank, sizeof blank), "");
    EXPECT_EQ(TrimControl(QStringLiteral("\x01 x \x02")), "x");
}

TEST(HexText, FourUpperCaseDigitsAtLeast)
{
    EXPECT_EQ(HexText(0x1F0), "01F0");
    EXPECT_EQ(HexText(0xCC00), "CC00");
    EXPECT_EQ(HexText(0x12345), "12345");
    uint32_t v = 0;
    EXPECT_TRUE(ParseHexText("03f6", v));
    EXPECT_EQ(v, 0x3F6u);
    EXPECT_FALSE(ParseHexText("", v));
    EXPECT_FALSE(ParseHexText("12G4", v));
    EXPECT_FALSE(ParseHexText("0x1F0", v));
}
