// The security windows' rules, directly.
#include <gtest/gtest.h>

#include "hw/AtaDefs.h"
#include "security/SecurityRules.h"

using namespace security;

TEST(SecurityRules, PasswordRequests)
{
    EXPECT_FALSE(PasswordAcceptable(QStringLiteral(" \t ")));
    EXPECT_TRUE(PasswordAcceptable(QStringLiteral("  a")));
    const SecurityRequest set = PasswordRequest(kModeSet, QStringLiteral(" a "), 1, 1);
    EXPECT_EQ(set.password, QByteArray(" a ")) << "untrimmed";
    EXPECT_EQ(set.type, 1);
    EXPECT_EQ(set.level, 1);
    EXPECT_EQ(PasswordRequest(kModeUnlock, QStringLiteral("x"), 0, 1).level, 0);
    EXPECT_EQ(PasswordRequest(kModeDisable, QStringLiteral("x"), 0, 1).level, 0);
    EXPECT_EQ(PasswordRequest(kModeSet, QStringLiteral("пароль"), 0, 0).password,
              QByteArray("\xEF\xE0\xF0\xEE\xEB\xFC")) << "Windows-1251";
    EXPECT_TRUE(PasswordCharactersValid(QStringLiteral("Пароль №1 €?")));
    EXPECT_FALSE(PasswordCharactersValid(QStringLiteral("aĀb")));
    EXPECT_FALSE(PasswordModeOf(0xF4));
}

TEST(SecurityRules, Word128)
{
    EXPECT_EQ(PasswordPanel(std::nullopt), QString());
    EXPECT_EQ(PasswordPanel(0x0103), QStringLiteral("Max"));
    EXPECT_TRUE(EnhancedEraseSupported(0x0021));
    EXPECT_FALSE(EnhancedEraseSupported(0x0020)) << "without the feature set the bit means nothing";
    EXPECT_TRUE(RefusalNotes(0x0007).isEmpty()) << "locked, attempts left";
    EXPECT_TRUE(RefusalNotes(0x0013).isEmpty()) << "attempts used up, but not locked";
    EXPECT_TRUE(RefusalNotes(0x001E).isEmpty()) << "no security feature set";
    EXPECT_EQ(RefusalNotes(0x001F), (QStringList{kFrozenNote.toString(), kExhaustedNote.toString()}));
}

TEST(SecurityRules, EstimatesAndTheirDisplay)
{
    const std::pair<uint16_t, int32_t> table[] = {{0, -1}, {1, 120}, {30, 3600}, {254, 30480},
                                                  {255, 36000}, {256, 0}, {0x8010, 0}};
    for (const auto& [word, seconds] : table)
        EXPECT_EQ(EraseEstimateSeconds(word), seconds) << word;
    ata::IdentifyBlock b{};
    b.w[89] = 30;
    b.w[90] = 255;
    for (const uint16_t w82 : {0x0000, 0xFFFF, 0x7469}) {
        b.w[82] = w82;
        EXPECT_EQ(EstimatesFromIdentify(b).normal, w82 == 0x7469 ? 3600 : 0);
        EXPECT_EQ(EstimatesFromIdentify(b).enhanced, w82 == 0x7469 ? 36000 : 0);
    }
    EXPECT_EQ(FormatHMS(-1), QStringLiteral(" - - - - - - - - - "));
    EXPECT_EQ(FormatHMS(3599), QStringLiteral("00:59:59"));
    EXPECT_EQ(FormatHMS(360061), QStringLiteral("100:01:01"));
}
