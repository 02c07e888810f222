#pragma once
// The rules of the two security windows, without widgets: the password
// dialog's modes and the request each one sends, the security erase's
// estimates and time display, what the security status word (identify word
// 128) says after a refused command, and the windows' texts.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace ata {
struct IdentifyBlock;
}

namespace security {

// ---- the password dialog ---------------------------------------------------------

// PasswordMode: the ATA command of the operation.
inline constexpr uint8_t kModeSet = 0xF1;
inline constexpr uint8_t kModeUnlock = 0xF2;
inline constexpr uint8_t kModeDisable = 0xF6;

// A password is 1 to 32 characters of the program's code page (Windows-1251).
inline constexpr int kMaxPasswordLength = 32;

struct PasswordMode {
    QString caption;
    QString success;  // information box
    QString failure;  // error box
    bool levelShown;  // only setting a password chooses a level
};
// The three operations; nullopt for any other code.
std::optional<PasswordMode> PasswordModeOf(uint8_t mode);

// OK may be pressed: something is left once the characters up to 0x20 are
// trimmed from both ends.  (The password itself is sent untrimmed.)
bool PasswordAcceptable(const QString& text);
// Every character exists in the code page the password is sent in, so that
// the drive gets exactly what was typed (nothing turns into "?").
bool PasswordCharactersValid(const QString& text);

struct SecurityRequest {
    QByteArray password;  // the bytes sent (at most 32), no terminating NUL
    uint8_t type = 0;     // identifier: 0 user, 1 master
    uint8_t level = 0;    // 1 maximum (set password) or enhanced (erase unit)
    uint8_t command = 0;
};
// What the dialog sends in `mode`: the text as typed, the identifier, and
// the level for setting a password only (0 otherwise).
SecurityRequest PasswordRequest(uint8_t mode, const QString& text, int typeIndex, int levelIndex);

// ---- what identify word 128 says -----------------------------------------------------

// "Max", "High" or empty: the main window's password panel.
QString PasswordPanel(std::optional<uint16_t> word128);
// The drive reports the enhanced erase mode (bits 0 and 5).
bool EnhancedEraseSupported(uint16_t word128);
// A password is set (bits 0 and 1).
bool PasswordEnabled(uint16_t word128);
// What follows the message of a refused security command: why the drive
// refuses, when word 128 says so (frozen; locked with the unlock counter
// used up).  Empty when it says nothing of the kind.
QStringList RefusalNotes(uint16_t word128);

inline constexpr QStringView kFrozenNote =
    u"Защита накопителя заморожена (SECURITY FREEZE LOCK): обычно её замораживает BIOS при включении "
    u"компьютера. Пока заморозка действует, накопитель отвергает установку и снятие пароля и защитное стирание.\n"
    u"Снять заморозку обычно помогает перевод компьютера в спящий режим и пробуждение или отключение и "
    u"повторное подключение накопителя на ходу.";
inline constexpr QStringView kExhaustedNote =
    u"Накопитель заблокирован, и число попыток ввода пароля исчерпано: до выключения и включения питания "
    u"накопитель отвергает любой пароль.\n"
    u"Выключите и снова включите питание накопителя, затем повторите попытку.";

// ---- the security erase --------------------------------------------------------------

// The user password the window sets for the erase (level high).
inline constexpr char kErasePassword[] = "KRENT";

// Seconds as hh:mm:ss (hours may have more digits); -1 (no estimate) as a
// row of dashes.
QString FormatHMS(int64_t seconds);
inline constexpr QStringView kNoEstimate = u" - - - - - - - - - ";

// Word 89 or 90 as seconds: 0 gives -1 (no estimate), 1 to 254 two-minute
// units, 255 ten hours, anything above 0.
int32_t EraseEstimateSeconds(uint16_t word);
struct EraseEstimates {
    int32_t normal = 0;
    int32_t enhanced = 0;
};
// Both 0 when word 82 is 0x0000 or 0xFFFF.
EraseEstimates EstimatesFromIdentify(const ata::IdentifyBlock& block);

// The caption of the erase type chosen.
QString EraseCaption(bool enhanced, const QString& model);

inline constexpr QStringView kRunningSuffix = u" - Выполняется";
inline constexpr QStringView kSetPasswordFailed = u"Установка пароля закончилась неудачей!";
inline constexpr QStringView kPrepareFailed = u"SECURITY Prepare закончилась неудачей!";
inline constexpr QStringView kUnitRefused = u"Накопитель отверг SECURITY Unit!";
inline constexpr QStringView kEraseFailed = u"Во время выполнения SECURITY Erase произошла ошибка!";
inline constexpr QStringView kEraseRaised = u"Операция стирания закрнчилась неудачей!";
inline constexpr QStringView kAbortQuestion =
    u"Операция стирания накопителя еще не закончена!\nВы действительно хотите прервать операцию?";
inline constexpr QStringView kEraseDone = u"Операция стирания накопителя завершена успешно!";
// Ends in a blank.
inline constexpr QStringView kPasswordLeft =
    u"Во время подготовки накопителя к SECURITY Erase\nбыл установлен пароль \"KRENT\"!\n"
    u"Автоматическое снятие пароля закончилось неудачей! ";

}  // namespace security
