#include "security/SecurityRules.h"

#include "common/Format.h"
#include "common/TextFile.h"
#include "hw/AtaDefs.h"
#include "info/IdentifyReport.h"

namespace security {

std::optional<PasswordMode> PasswordModeOf(uint8_t mode)
{
    switch (mode) {
    case kModeSet:
        return PasswordMode{QStringLiteral("Установка пароля пользователя"),
                            QStringLiteral("Пароль успешно установлен!\nДоступ к данным будет заблокирован после "
                                           "реинициализации НЖМД!"),
                            kSetPasswordFailed.toString(), true};
    case kModeUnlock:
        return PasswordMode{QStringLiteral("Разблокировка НЖМД"),
                            QStringLiteral("Разблокировка произведена!\n"
                                           "Данные будут доступны до реинициализации НЖМД!"),
                            QStringLiteral("Разблокировать НЖМД не удалось!"), false};
    case kModeDisable:
        return PasswordMode{QStringLiteral("Снятие пароля пользователя"),
                            QStringLiteral("Пароль успешно удален!\n"
                                           "Данные станут доступны после реинициализации НЖМД!"),
                            QStringLiteral("Снятие пароля закончилась неудачей!"), false};
    default:
        return std::nullopt;
    }
}

bool PasswordAcceptable(const QString& text) { return !TrimControl(text).isEmpty(); }

bool PasswordCharactersValid(const QString& text)
{
    for (const QChar c : text) {
        const QString one(c);
        const QByteArray bytes = EncodeWin1251(one);
        if (c.isNull() || bytes.size() != 1 || DecodeWin1251(bytes) != one)
            return false;
    }
    return true;
}

SecurityRequest PasswordRequest(uint8_t mode, const QString& text, int typeIndex, int levelIndex)
{
    SecurityRequest r;
    r.password = EncodeWin1251(text).left(kMaxPasswordLength);
    r.type = typeIndex == 1 ? 1 : 0;
    r.level = mode == kModeSet && levelIndex == 1 ? 1 : 0;
    r.command = mode;
    return r;
}

QString PasswordPanel(std::optional<uint16_t> word128)
{
    return word128 ? info::PasswordLevel(*word128) : QString();
}

bool EnhancedEraseSupported(uint16_t word128) { return (word128 & 0x0021) == 0x0021; }

bool PasswordEnabled(uint16_t word128) { return (word128 & 0x0003) == 0x0003; }

QStringList RefusalNotes(uint16_t word128)
{
    QStringList notes;
    if (!(word128 & 0x0001))
        return notes;  // no security feature set: the other bits mean nothing
    if (word128 & 0x0008)
        notes << kFrozenNote.toString();
    if ((word128 & 0x0014) == 0x0014)
        notes << kExhaustedNote.toString();
    return notes;
}

QString FormatHMS(int64_t seconds)
{
    return seconds < 0 ? kNoEstimate.toString() : FormatHoursMinSec(seconds);
}

int32_t EraseEstimateSeconds(uint16_t word)
{
    if (word == 0)
        return -1;
    if (word < 255)
        return int32_t(word) * 120;
    if (word == 255)
        return 36000;
    return 0;
}

EraseEstimates EstimatesFromIdentify(const ata::IdentifyBlock& block)
{
    if (!ata::IdentifyBlock::Valid(block.Word(82)))
        return {};
    return {EraseEstimateSeconds(block.Word(89)), EraseEstimateSeconds(block.Word(90))};
}

QString EraseCaption(bool enhanced, const QString& model)
{
    return (enhanced ? QStringLiteral("SECURIYU Erase Enhanced: ") : QStringLiteral("SECURIYU Erase: ")) + model;
}

}  // namespace security
