// The security windows' rules, directly: the password modes and requests,
// the erase estimates and time display, and what word 128 explains.
#include <gtest/gtest.h>

#include "hw/AtaDefs.h"
#include "security/SecurityRules.h"

using namespace security;

TEST(SecurityRules, ModesCarryTheirCaptionsMessagesAndLevelGroup)
{
    const auto set = PasswordModeOf(0xF1);
    ASSERT_TRUE(set);
    EXPECT_EQ(set->caption, QStringLiteral("Установка пароля пользователя"));
    EXPECT_EQ(set->success, QStringLiteral("Пароль успешно установлен!\nДоступ к данным будет заблокирован после "
                                           "реинициализации НЖМД!"));
    EXPECT_EQ(set->failure, QStringLiteral("Установка пароля закончилась неудачей!"));
    EXPECT_TRUE(set->levelShown);
    const auto unlock = PasswordModeOf(0xF2);
    ASSERT_TRUE(unlock);
    EXPECT_EQ(unlock->caption, QStringLiteral("Разблокировка НЖМД"));
    EXPECT_EQ(unlock->failure, QStringLiteral("Разблокировать НЖМД не удалось!"));
    EXPECT_FALSE(unlock->levelShown);
    const auto disable = PasswordModeOf(0xF6);
    ASSERT_TRUE(disable);
    EXPECT_EQ(disable->caption, QStringLiteral("Снятие пароля пользователя"));
    EXPECT_EQ(disable->success,
              QStringLiteral("Пароль успешно удален!\nДанные станут доступны после реинициализации НЖМД!"));
    EXPECT_FALSE(disable->levelShown);
    for (uint8_t other : {0x00, 0xF3, 0xF4, 0xF5, 0xFF})
        EXPECT_FALSE(PasswordModeOf(other)) << int(other);
}

TEST(SecurityRules, PasswordIsSentUntrimmedInTheCodePageAndOnlySetSendsALevel)
{
    EXPECT_FALSE(PasswordAcceptable(QString()));
    EXPECT_FALSE(PasswordAcceptable(QStringLiteral("   ")));
    EXPECT_FALSE(PasswordAcceptable(QStringLiteral(" \t ")));
    EXPECT_TRUE(PasswordAcceptable(QStringLiteral("  a")));

    const SecurityRequest set = PasswordRequest(kModeSet, QStringLiteral("  a "), 1, 1);
    EXPECT_EQ(set.password, QByteArray("  a "));
    EXPECT_EQ(set.type, 1);
    EXPECT_EQ(set.level, 1);
    EXPECT_EQ(set.command, 0xF1);
    for (uint8_t mode : {kModeUnlock, kModeDisable}) {
        const SecurityRequest r = PasswordRequest(mode, QStringLiteral("x"), 0, 1);
        EXPECT_EQ(r.level, 0) << int(mode);
        EXPECT_EQ(r.type, 0);
        EXPECT_EQ(r.command, mode);
    }
    // Cyrillic goes as Windows-1251, one byte a character.
    EXPECT_EQ(PasswordRequest(kModeSet, QStringLiteral("пароль"), 0, 0).password,
              QByteArray("\xEF\xE0\xF0\xEE\xEB\xFC"));
    EXPECT_TRUE(PasswordCharactersValid(QStringLiteral("Пароль №1 ?")));
    EXPECT_FALSE(PasswordCharactersValid(QStringLiteral("密码")));
    EXPECT_TRUE(PasswordCharactersValid(QStringLiteral("€")));
    EXPECT_FALSE(PasswordCharactersValid(QStringLiteral("aĀb")));
    EXPECT_FALSE(PasswordCharactersValid(QString(QChar(0))));
}

TEST(SecurityRules, Word128GivesThePanelTheEnhancedChoiceAndTheRefusalNotes)
{
    EXPECT_EQ(PasswordPanel(std::nullopt), QString());
    EXPECT_EQ(PasswordPanel(0x0003), QStringLiteral("High"));
    EXPECT_EQ(PasswordPanel(0x0103), QStringLiteral("Max"));
    EXPECT_EQ(PasswordPanel(0x0101), QString());

    EXPECT_TRUE(EnhancedEraseSupported(0x0021));
    EXPECT_FALSE(EnhancedEraseSupported(0x0001));
    EXPECT_FALSE(EnhancedEraseSupported(0x0020)) << "without the feature set the bit means nothing";

    EXPECT_TRUE(RefusalNotes(0x0001).isEmpty());
    EXPECT_TRUE(RefusalNotes(0x0007).isEmpty()) << "locked, attempts left";
    EXPECT_EQ(RefusalNotes(0x0009), QStringList{kFrozenNote.toString()});
    EXPECT_EQ(RefusalNotes(0x0017), QStringList{kExhaustedNote.toString()});
    EXPECT_TRUE(RefusalNotes(0x0013).isEmpty()) << "counter used up but not locked: nothing to wait for";
    EXPECT_EQ(RefusalNotes(0x001F), (QStringList{kFrozenNote.toString(), kExhaustedNote.toString()}));
    EXPECT_TRUE(RefusalNotes(0x001E).isEmpty()) << "no security feature set";
}

TEST(SecurityRules, EstimatesFromWords89And90)
{
    EXPECT_EQ(EraseEstimateSeconds(0), -1);
    EXPECT_EQ(EraseEstimateSeconds(1), 120);
    EXPECT_EQ(EraseEstimateSeconds(30), 3600);
    EXPECT_EQ(EraseEstimateSeconds(254), 30480);
    EXPECT_EQ(EraseEstimateSeconds(255), 36000);
    EXPECT_EQ(EraseEstimateSeconds(256), 0);
    EXPECT_EQ(EraseEstimateSeconds(0x8010), 0);

    ata::IdentifyBlock b{};
    b.w[82] = 0x7469;
    b.w[89] = 30;
    b.w[90] = 255;
    EXPECT_EQ(EstimatesFromIdentify(b).normal, 3600);
    EXPECT_EQ(EstimatesFromIdentify(b).enhanced, 36000);
    for (uint16_t invalid : {0x0000, 0xFFFF}) {
        b.w[82] = invalid;
        EXPECT_EQ(EstimatesFromIdentify(b).normal, 0);
        EXPECT_EQ(EstimatesFromIdentify(b).enhanced, 0);
    }
}

TEST(SecurityRules, FormatHMS)
{
    EXPECT_EQ(FormatHMS(-1), QStringLiteral(" - - - - - - - - - "));
    EXPECT_EQ(FormatHMS(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(FormatHMS(3600), QStringLiteral("01:00:00"));
    EXPECT_EQ(FormatHMS(36000), QStringLiteral("10:00:00"));
    EXPECT_EQ(FormatHMS(3599), QStringLiteral("00:59:59"));
    EXPECT_EQ(FormatHMS(360000 + 61), QStringLiteral("100:01:01"));
    EXPECT_EQ(EraseCaption(false, QStringLiteral("M")), QStringLiteral("SECURIYU Erase: M"));
    EXPECT_EQ(EraseCaption(true, QStringLiteral("M")), QStringLiteral("SECURIYU Erase Enhanced: M"));
}
