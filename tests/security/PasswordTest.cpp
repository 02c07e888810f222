// The password dialog against simulated drives: what it sends, what it
// tells, the password panel after every attempt, and its edit's limits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "hw/AtaDefs.h"
#include "security/Password.h"
#include "security/SecurityRules.h"
#include "security/SecurityTestDrive.h"
#include "select/RadioGroup.h"

using namespace sectest;
using namespace security;

namespace {

QString Done(uint8_t mode) { return PasswordModeOf(mode)->success; }
QString Failed(uint8_t mode) { return PasswordModeOf(mode)->failure; }

// The dialog in `mode` with `text` typed, OK pressed.
void Press(uint8_t mode, const QString& text, int type = 0, int level = 0)
{
    TfrmPassword f;
    f.PasswordMode = mode;
    f.show();
    f.rgbPwdType->SetItemIndex(type);
    f.rgbPwdLevel->SetItemIndex(level);
    QTest::keyClicks(f.ePwd, text);
    f.bbOK->click();
    EXPECT_FALSE(f.isVisible()) << "closed after its attempt";
}

}  // namespace

TEST(PasswordDialog, SetLocksAtThePowerCycleUnlockOpensDisableRemoves)
{
    Bench b(SecurityDrive());
    Press(kModeSet, QStringLiteral("secret"), 0, 1);
    EXPECT_EQ(b.messages.Texts(), QStringList{Done(kModeSet)});
    EXPECT_EQ(b.messages.shown[0].kind, MsgKind::Information);
    EXPECT_EQ(b.shell.panels[4], QStringLiteral("Max")) << "what the drive says after the command";
    EXPECT_EQ(b.ports->sent.back().control, 0x0100) << "user, maximum";
    EXPECT_EQ(b.ports->sent.back().password, QByteArray("secret"));

    b.machine->PowerCycle();
    ASSERT_TRUE(b.drive().Locked());
    Press(kModeUnlock, QStringLiteral("secret"));
    Press(kModeDisable, QStringLiteral("secret"));
    EXPECT_EQ(b.messages.Texts(), (QStringList{Done(kModeSet), Done(kModeUnlock), Done(kModeDisable)}));
    EXPECT_EQ(b.shell.panels[4], QString());
    b.machine->PowerCycle();
    EXPECT_FALSE(b.drive().Locked());
}

TEST(PasswordDialog, UnlockAndDisableHideTheLevelAndSendLevelZero)
{
    auto spec = SecurityDrive();
    spec.security.userPassword = "user";
    Bench b(spec);
    TfrmPassword set;
    set.PasswordMode = kModeSet;
    set.show();
    TfrmPassword f;
    f.PasswordMode = kModeUnlock;
    f.show();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Разблокировка НЖМД"));
    EXPECT_FALSE(f.rgbPwdLevel->isVisible());
    EXPECT_GE(f.height(), 173);
    EXPECT_LT(f.height(), set.height());
    Press(kModeUnlock, QStringLiteral("MASTER"), 1, 1);
    EXPECT_EQ(b.messages.Texts(), QStringList{Done(kModeUnlock)});
    EXPECT_EQ(b.ports->sent.back().control, 0x0001) << "master, and no level";
    Press(kModeDisable, QStringLiteral("user"), 0, 1);
    EXPECT_EQ(b.ports->sent.back().control, 0x0000);
}

TEST(PasswordDialog, TheEditTakesWhatCanBeSentAsTypedAndNothingMore)
{
    Bench b(SecurityDrive());
    TfrmPassword f;
    f.PasswordMode = kModeSet;
    f.show();
    QTest::keyClicks(f.ePwd, QStringLiteral("   "));
    EXPECT_FALSE(f.bbOK->isEnabled()) << "blanks only";
    QTest::keyClick(f.ePwd, Qt::Key_Return);
    EXPECT_TRUE(b.ports->sent.empty());
    f.ePwd->clear();
    QTest::keyClicks(f.ePwd, QString(40, QLatin1Char('x')));
    EXPECT_EQ(f.ePwd->text().size(), 32) << "the 33rd character cannot be typed";
    f.ePwd->clear();
    QKeyEvent hanzi(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("密"));
    QApplication::sendEvent(f.ePwd, &hanzi);
    EXPECT_TRUE(f.ePwd->text().isEmpty()) << "outside the code page it would reach the drive as \"?\"";
    QTest::keyClicks(f.ePwd, QStringLiteral("  a"));
    f.bbOK->click();
    EXPECT_EQ(b.ports->sent.back().password, QByteArray("  a"));
    EXPECT_TRUE(f.ePwd->text().isEmpty()) << "the password is kept nowhere";

    HelpRecorder help;
    TfrmPassword g;
    g.bbHelp->click();
    EXPECT_EQ(help.contexts, std::vector<int>{30});
    g.bbCancel->click();
    EXPECT_EQ(b.ports->sent.size(), 1u);
}

TEST(PasswordDialog, RefusalsAreToldAndExplainedWhenTheDriveSaysWhy)
{
    auto frozen = SecurityDrive();
    frozen.security.frozen = true;
    {
        Bench b(frozen);
        Press(kModeSet, QStringLiteral("x"));
        EXPECT_EQ(b.messages.Texts(), (QStringList{Failed(kModeSet), kFrozenNote.toString()}));
        EXPECT_EQ(b.messages.shown[0].kind, MsgKind::Error);
    }
    // The fifth wrong unlock uses the counter up: a power cycle is needed,
    // and even the right password is refused until then.
    auto locked = SecurityDrive();
    locked.security.userPassword = "right";
    Bench b(locked);
    for (int i = 1; i <= 5; ++i)
        Press(kModeUnlock, QStringLiteral("wrong"));
    Press(kModeUnlock, QStringLiteral("right"));
    QStringList expected(5, Failed(kModeUnlock));
    expected << kExhaustedNote.toString() << Failed(kModeUnlock) << kExhaustedNote.toString();
    EXPECT_EQ(b.messages.Texts(), expected);
    EXPECT_EQ(b.shell.panels[4], QStringLiteral("High"));
    b.machine->PowerCycle();
    b.messages.Clear();
    Press(kModeUnlock, QStringLiteral("right"));
    EXPECT_EQ(b.messages.Texts(), QStringList{Done(kModeUnlock)});
}

TEST(PasswordDialog, AFailedIdentifyEmptiesThePanelSilently)
{
    Bench b(SecurityDrive());
    b.shell.panels[4] = QStringLiteral("Max");
    b.drive().AddFault({sim::Fault::Kind::Error, ata::kCmdIdentify, 0x04, 1});
    Press(kModeSet, QStringLiteral("pw"));
    EXPECT_EQ(b.shell.panels[4], QString());
    b.drive().SetAbsent(true);
    Press(kModeDisable, QStringLiteral("pw"));
    EXPECT_EQ(b.messages.Texts(), (QStringList{Done(kModeSet), Failed(kModeDisable)}));
    b.drive().SetAbsent(false);

    // Any other mode: the design caption, and OK only refreshes the panel.
    TfrmPassword f;
    f.PasswordMode = 0xF4;
    f.show();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Пароль"));
    QTest::keyClicks(f.ePwd, QStringLiteral("pw"));
    f.bbOK->click();
    EXPECT_EQ(b.messages.Texts().size(), 2);
    EXPECT_EQ(b.ports->sent.size(), 1u) << "nothing sent since (the absent drive got nothing either)";
    EXPECT_EQ(b.shell.panels[4], QStringLiteral("High"));
}
