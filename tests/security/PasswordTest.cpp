// The password dialog against simulated drives: what it sends, what it
// tells, the password panel after every attempt, and its edit's limits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "hw/AtaDefs.h"
#include "security/Password.h"
#include "security/SecurityRules.h"
#include "security/SecurityTestDrive.h"
#include "select/RadioGroup.h"
#include "support/SimFixture.h"

using namespace sectest;
using security::kExhaustedNote;
using security::kFrozenNote;

namespace {

const QString kSetDone = QStringLiteral("Пароль успешно установлен!\nДоступ к данным будет заблокирован после "
                                        "реинициализации НЖМД!");
const QString kSetFailed = QStringLiteral("Установка пароля закончилась неудачей!");
const QString kUnlockDone =
    QStringLiteral("Разблокировка произведена!\nДанные будут доступны до реинициализации НЖМД!");
const QString kUnlockFailed = QStringLiteral("Разблокировать НЖМД не удалось!");
const QString kDisableDone =
    QStringLiteral("Пароль успешно удален!\nДанные станут доступны после реинициализации НЖМД!");

// The dialog in `mode` with `text` typed, as the user presses OK.
void Press(uint8_t mode, const QString& text, int type = 0, int level = 0)
{
    TfrmPassword f;
    f.PasswordMode = mode;
    f.show();
    f.rgbPwdType->SetItemIndex(type);
    f.rgbPwdLevel->SetItemIndex(level);
    QTest::keyClicks(f.ePwd, text);
    ASSERT_TRUE(f.bbOK->isEnabled());
    f.bbOK->click();
    EXPECT_FALSE(f.isVisible()) << "closed after its attempt";
    EXPECT_TRUE(f.ePwd->text().isEmpty()) << "the password is kept nowhere";
}

// Types one character as a keyboard layout would (any script).
void Type(QWidget* to, const QString& character)
{
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, character);
    QApplication::sendEvent(to, &press);
}

}  // namespace

TEST(PasswordDialog, SetLocksAtTheNextPowerCycleUnlockOpensAndDisableRemoves)
{
    Bench b(SecurityDrive());
    Press(0xF1, QStringLiteral("secret"));
    EXPECT_EQ(b.messages.Texts(), QStringList{kSetDone});
    EXPECT_EQ(b.messages.shown[0].kind, MsgKind::Information);
    EXPECT_EQ(b.shell.panels[4], QStringLiteral("High")) << "what the drive says after the command";
    const Sent sent = b.ports->SecurityCommands().back();
    EXPECT_EQ(sent.command, 0xF1);
    EXPECT_EQ(sent.control, 0x0000) << "user, high";
    EXPECT_EQ(sent.password, QByteArray("secret"));

    b.machine->PowerCycle();
    ASSERT_TRUE(b.drive().Locked());
    b.messages.Clear();
    Press(0xF2, QStringLiteral("secret"));
    EXPECT_EQ(b.messages.Texts(), QStringList{kUnlockDone});
    EXPECT_FALSE(b.drive().Locked());
    EXPECT_EQ(b.shell.panels[4], QStringLiteral("High"));

    b.messages.Clear();
    Press(0xF6, QStringLiteral("secret"));
    EXPECT_EQ(b.messages.Texts(), QStringList{kDisableDone});
    EXPECT_EQ(b.shell.panels[4], QString());
    b.machine->PowerCycle();
    EXPECT_FALSE(b.drive().Locked());
}

TEST(PasswordDialog, APasswordSetComesBackLockedAtTheNextStartOfTheMachineFile)
{
    QTemporaryDir dir;
    const std::string state = (dir.path() + QStringLiteral("/m.json.state")).toStdString();
    std::string error;
    {
        Bench b(SecurityDrive());
        ASSERT_TRUE(b.machine->AttachStateFile(state, &error)) << error;
        Press(0xF1, QStringLiteral("kept"), 0, 1);
        EXPECT_EQ(b.shell.panels[4], QStringLiteral("Max"));
        EXPECT_EQ(b.ports->SecurityCommands().back().control, 0x0100) << "maximum level";
    }
    Bench next(SecurityDrive());
    ASSERT_TRUE(next.machine->AttachStateFile(state, &error)) << error;
    EXPECT_TRUE(next.drive().Locked());
    Press(0xF2, QStringLiteral("kept"));
    EXPECT_EQ(next.messages.Texts(), QStringList{kUnlockDone});
    EXPECT_FALSE(next.drive().Locked());
}

TEST(PasswordDialog, UnlockAndDisableHideTheLevelSendLevelZeroAndTakeTheMasterPassword)
{
    auto spec = SecurityDrive();
    spec.security.userPassword = "user";
    Bench b(spec);
    TfrmPassword set;
    set.PasswordMode = 0xF1;
    set.show();
    EXPECT_EQ(set.windowTitle(), QStringLiteral("Установка пароля пользователя"));
    EXPECT_TRUE(set.rgbPwdLevel->isVisible());

    TfrmPassword f;
    f.PasswordMode = 0xF2;
    f.show();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Разблокировка НЖМД"));
    EXPECT_FALSE(f.rgbPwdLevel->isVisible());
    EXPECT_GE(f.height(), 173);
    EXPECT_LT(f.height(), set.height());
    EXPECT_FALSE(f.bbOK->isEnabled()) << "nothing typed yet";
    f.rgbPwdType->SetItemIndex(1);
    f.rgbPwdLevel->SetItemIndex(1);
    QTest::keyClicks(f.ePwd, QStringLiteral("MASTER"));
    f.bbOK->click();
    EXPECT_EQ(b.messages.Texts(), QStringList{kUnlockDone});
    const Sent sent = b.ports->SecurityCommands().back();
    EXPECT_EQ(sent.command, 0xF2);
    EXPECT_EQ(sent.control, 0x0001) << "master, and no level";
    EXPECT_EQ(sent.password, QByteArray("MASTER"));

    Press(0xF6, QStringLiteral("user"), 0, 1);
    EXPECT_EQ(b.ports->SecurityCommands().back().control, 0x0000);
    EXPECT_FALSE(b.drive().State().securityEnabled);
}

TEST(PasswordDialog, TheEditTakesWhatTheDriveCanBeSentAndNothingMore)
{
    Bench b(SecurityDrive());
    TfrmPassword f;
    f.PasswordMode = 0xF1;
    f.show();
    QTest::keyClicks(f.ePwd, QStringLiteral("   "));
    EXPECT_FALSE(f.bbOK->isEnabled()) << "blanks only";
    f.ePwd->clear();
    QTest::keyClicks(f.ePwd, QString(40, QLatin1Char('x')));
    EXPECT_EQ(f.ePwd->text().size(), 32) << "the 33rd character cannot be typed";
    f.ePwd->clear();
    Type(f.ePwd, QStringLiteral("密"));
    EXPECT_TRUE(f.ePwd->text().isEmpty()) << "not in the code page: it would reach the drive as \"?\"";
    Type(f.ePwd, QStringLiteral("ж"));
    EXPECT_EQ(f.ePwd->text(), QStringLiteral("ж"));
    f.ePwd->clear();
    QTest::keyClicks(f.ePwd, QStringLiteral("  a"));
    EXPECT_TRUE(f.bbOK->isEnabled());
    f.bbOK->click();
    EXPECT_EQ(b.ports->SecurityCommands().back().password, QByteArray("  a")) << "sent as typed";
    EXPECT_EQ(b.messages.Texts(), QStringList{kSetDone});

    // Enter sends once OK is enabled, and Cancel sends nothing.
    TfrmPassword g;
    g.PasswordMode = 0xF6;
    g.show();
    b.ports->Clear();
    QTest::keyClick(g.ePwd, Qt::Key_Return);
    EXPECT_TRUE(b.ports->SecurityCommands().empty());
    g.bbCancel->click();
    EXPECT_TRUE(b.ports->SecurityCommands().empty());
    EXPECT_FALSE(g.isVisible());

    HelpRecorder help;
    TfrmPassword h;
    h.bbHelp->click();
    EXPECT_EQ(help.contexts, std::vector<int>{30});
}

TEST(PasswordDialog, RefusalsAreToldAndExplainedWhenTheDriveSaysWhy)
{
    // Frozen: refused, and why.
    auto frozen = SecurityDrive();
    frozen.security.frozen = true;
    {
        Bench b(frozen);
        b.shell.panels[4] = QStringLiteral("High");
        Press(0xF1, QStringLiteral("x"));
        EXPECT_EQ(b.messages.Texts(), (QStringList{kSetFailed, kFrozenNote.toString()}));
        EXPECT_EQ(b.messages.shown[0].kind, MsgKind::Error);
        EXPECT_EQ(b.shell.panels[4], QString());
    }
    // Five wrong unlocks: the fifth uses the counter up, and a power cycle
    // is needed; the right password is refused until then.
    auto locked = SecurityDrive();
    locked.security.userPassword = "right";
    Bench b(locked);
    for (int i = 1; i <= 5; ++i) {
        b.messages.Clear();
        Press(0xF2, QStringLiteral("wrong"));
        const QStringList expected =
            i < 5 ? QStringList{kUnlockFailed} : QStringList{kUnlockFailed, kExhaustedNote.toString()};
        EXPECT_EQ(b.messages.Texts(), expected) << "attempt " << i;
        EXPECT_EQ(b.shell.panels[4], QStringLiteral("High"));
    }
    b.messages.Clear();
    Press(0xF2, QStringLiteral("right"));
    EXPECT_EQ(b.messages.Texts(), (QStringList{kUnlockFailed, kExhaustedNote.toString()}));
    b.machine->PowerCycle();
    b.messages.Clear();
    Press(0xF2, QStringLiteral("right"));
    EXPECT_EQ(b.messages.Texts(), QStringList{kUnlockDone});
}

TEST(PasswordDialog, AFailedIdentifyAfterTheAttemptEmptiesThePanelSilently)
{
    Bench b(SecurityDrive());
    b.shell.panels[4] = QStringLiteral("Max");
    b.drive().AddFault({sim::Fault::Kind::Error, ata::kCmdIdentify, 0x04, 1});
    Press(0xF1, QStringLiteral("pw"));
    EXPECT_EQ(b.messages.Texts(), QStringList{kSetDone});
    EXPECT_EQ(b.shell.panels[4], QString());

    // A drive that is not there: the refusal, nothing explained.
    b.drive().SetAbsent(true);
    b.shell.panels[4] = QStringLiteral("High");
    b.messages.Clear();
    Press(0xF6, QStringLiteral("pw"));
    EXPECT_EQ(b.messages.Texts(), QStringList{QStringLiteral("Снятие пароля закончилась неудачей!")});
    EXPECT_EQ(b.shell.panels[4], QString());
    b.drive().SetAbsent(false);

    // Any other mode: the design caption, and OK only refreshes the panel.
    TfrmPassword f;
    f.PasswordMode = 0xF4;
    f.show();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Пароль"));
    EXPECT_TRUE(f.rgbPwdLevel->isVisible());
    QTest::keyClicks(f.ePwd, QStringLiteral("pw"));
    b.messages.Clear();
    b.ports->Clear();
    f.bbOK->click();
    EXPECT_TRUE(b.messages.Texts().isEmpty());
    EXPECT_TRUE(b.ports->SecurityCommands().empty());
    EXPECT_EQ(b.shell.panels[4], QStringLiteral("High"));
}
