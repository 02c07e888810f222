// The security erase window against simulated drives: a completed erase,
// every way the sequence fails, Stop answered both ways, the estimates, and
// the loop's life on the UI thread (the minimise hand-off while it polls is
// checked on a real desktop: tests/desktop/SecurityEraseDesktopTest.cpp).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <stdexcept>

#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "security/SecurityErase.h"
#include "security/SecurityRules.h"
#include "security/SecurityTestDrive.h"
#include "select/RadioGroup.h"

using namespace sectest;
using namespace security;

namespace {

const QString kCaption = QStringLiteral("SECURIYU Erase: SECDRIVE");
constexpr uint8_t kF1 = 0xF1, kF2 = 0xF2, kF3 = 0xF3, kF4 = 0xF4, kF6 = 0xF6;
using Opcodes = std::vector<uint8_t>;

// Runs `step` once the drive has taken the erase, from inside the window's
// loop, as a user acting while it polls.
void WhenErasing(TfrmSecurityErase& f, std::function<void()> step)
{
    QObject::connect(&f, &TfrmSecurityErase::EraseStarted, &f,
                     [&f, step] { QTimer::singleShot(0, &f, step); }, Qt::SingleShotConnection);
}

void ExpectIdle(const TfrmSecurityErase& f)
{
    EXPECT_FALSE(f.Running() || f.EraseRunning() || f.PasswordSet() || f.Timer->isActive());
    EXPECT_TRUE(f.bbStop->isHidden());
    EXPECT_TRUE(f.bbClose->isEnabled() && f.rgbEraseType->isEnabled());
}

bool Zeros(const sim::Drive& d, uint64_t lba)
{
    const auto s = d.ReadSector(lba);
    return std::all_of(s.begin(), s.end(), [](uint8_t c) { return c == 0; });
}

}  // namespace

TEST(SecurityErase, ACompletedEraseClearsDataAndPasswordWithoutUnlockOrDisable)
{
    Bench b(SecurityDrive());
    ASSERT_NE(EraseSector(4000, 16, 1, 0, 0xAB) & 0xFF, 0);
    TfrmSecurityErase f;
    f.bbStartClick();
    EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Выполнено"));
    ASSERT_EQ(b.messages.Texts(), QStringList{kEraseDone.toString()});
    EXPECT_EQ(b.messages.shown[0].kind, MsgKind::InformationYes);
    EXPECT_EQ(b.ports->Opcodes(), (Opcodes{kF1, kF3, kF4})) << "no unlock, no disable";
    EXPECT_EQ(b.ports->sent[0].password, QByteArray("KRENT"));
    EXPECT_EQ(b.ports->sent[0].control, 0x0000) << "user, high";
    EXPECT_EQ(b.ports->sent[2].control, 0x0000) << "normal erase";
    EXPECT_TRUE(Zeros(b.drive(), 4015));
    EXPECT_FALSE(b.drive().State().securityEnabled);
    ExpectIdle(f);

    // Enhanced: the choice reaches the drive.
    f.rgbEraseType->Button(1)->click();
    f.bbStartClick();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("SECURIYU Erase Enhanced: SECDRIVE - Выполнено"));
    EXPECT_EQ(b.ports->sent[5].command, kF4);
    EXPECT_EQ(b.ports->sent[5].control, 0x0002);
}

TEST(SecurityErase, EstimatesTimerAndTheEnhancedChoice)
{
    for (const auto& [word89, shown] : {std::pair{30, "01:00:00"}, {255, "10:00:00"}, {0, " - - - - - - - - - "}}) {
        auto spec = SecurityDrive();
        spec.eraseWord = uint16_t(word89);
        Bench b(spec);
        TfrmSecurityErase f;
        EXPECT_EQ(f.mElapsedTime->text(), QString::fromLatin1(shown));
        f.TimerTimer();
        f.TimerTimer();
        EXPECT_EQ(f.mTime->text(), QStringLiteral("00:00:02"));
        EXPECT_EQ(f.mElapsedTime->text(), word89 ? FormatHMS(f.NormalEraseSeconds() - 2) : QString::fromLatin1(shown));
    }
    auto spec = SecurityDrive();
    spec.eraseWord = 1;
    Bench b(spec);
    TfrmSecurityErase f;
    for (int i = 0; i < 125; ++i)
        f.TimerTimer();
    EXPECT_EQ(f.mElapsedTime->text(), QStringLiteral("00:00:00")) << "an estimate that reaches 0 stays there";
    f.rgbEraseType->Button(1)->click();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("SECURIYU Erase Enhanced: SECDRIVE"));
    EXPECT_EQ(f.mElapsedTime->text(), QStringLiteral("01:10:00")) << "word 90 = 35";

    spec.security.enhancedErase = false;
    Bench plain(spec);
    TfrmSecurityErase g;
    EXPECT_FALSE(g.rgbEraseType->Button(1)->isEnabled());
}

TEST(SecurityErase, EveryFailureIsToldAndThePasswordRemoved)
{
    struct Row {
        uint8_t refused;  // the command given a scripted refusal; 0: the erase fails while it runs
        QStringView message;
        Opcodes sent;
    };
    for (const Row& r : {Row{kF3, kPrepareFailed, {kF1, kF3, kF2, kF6}},
                         Row{kF4, kUnitRefused, {kF1, kF3, kF4, kF2, kF6}},
                         Row{0, kEraseFailed, {kF1, kF3, kF4, kF2, kF6}}}) {
        Bench b(SecurityDrive(3600));
        ASSERT_NE(EraseSector(100, 1, 1, 0, 0x5A) & 0xFF, 0);
        TfrmSecurityErase f;
        if (r.refused)
            b.drive().AddFault({sim::Fault::Kind::Error, r.refused, 0x04, 1});
        else
            WhenErasing(f, [&] { EXPECT_TRUE(b.drive().FailErase()); });
        f.bbStartClick();
        EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Ошибка"));
        EXPECT_EQ(b.messages.Texts(), QStringList{r.message.toString()});
        EXPECT_EQ(b.ports->Opcodes(), r.sent);
        EXPECT_FALSE(b.drive().State().securityEnabled) << "removed";
        EXPECT_FALSE(Zeros(b.drive(), 100));
        ExpectIdle(f);
    }
    // The password cannot be set: nothing to remove (a frozen drive says why).
    auto none = SecurityDrive();
    none.security.supported = false;
    auto frozen = SecurityDrive();
    frozen.security.frozen = true;
    for (const auto& [spec, notes] : {std::pair{none, QStringList{}}, {frozen, QStringList{kFrozenNote.toString()}}}) {
        Bench b(spec);
        TfrmSecurityErase f;
        f.bbStartClick();
        EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Ошибка"));
        EXPECT_EQ(b.messages.Texts(), QStringList{kSetPasswordFailed.toString()} + notes);
        EXPECT_EQ(b.ports->Opcodes(), Opcodes{kF1});
        EXPECT_EQ(b.drive().ResetCount(), 0u);
    }
}

TEST(SecurityErase, APasswordLeftOnTheDriveIsSaid)
{
    // The reset before the removal fails; then unlock and disable refused.
    for (const bool resetFails : {true, false}) {
        Bench b(SecurityDrive());
        b.drive().AddFault({sim::Fault::Kind::Error, kF3, 0x04, 1});
        if (resetFails) {
            b.messages.onShow = [&](const MessageRecorder::Entry& e) { b.drive().SetAbsent(e.text == kPrepareFailed); };
        } else {
            b.drive().AddFault({sim::Fault::Kind::Error, kF2, 0x04, 1});
            b.drive().AddFault({sim::Fault::Kind::Error, kF6, 0x04, 1});
        }
        TfrmSecurityErase f;
        f.bbStartClick();
        EXPECT_EQ(b.messages.Texts(), (QStringList{kPrepareFailed.toString(), kPasswordLeft.toString()}));
        EXPECT_EQ(b.ports->Opcodes(), (resetFails ? Opcodes{kF1, kF3} : Opcodes{kF1, kF3, kF2, kF6}));
        EXPECT_TRUE(b.drive().State().securityEnabled) << "KRENT stays";
        ExpectIdle(f);
    }
}

TEST(SecurityErase, StopAnsweredNoGoesOnAndYesAborts)
{
    {
        Bench b(SecurityDrive(3600));
        TfrmSecurityErase f;
        f.show();
        WhenErasing(f, [&] {
            f.bbStop->click();  // answered No
            EXPECT_TRUE(f.Running() && f.bbStop->isEnabled() && f.Timer->isActive());
            EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Выполняется"));
            b.CompleteErase();
        });
        f.bbStartClick();
        EXPECT_EQ(b.messages.Texts(), (QStringList{kAbortQuestion.toString(), kEraseDone.toString()}));
        EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Выполнено"));
    }
    Bench b(SecurityDrive(3600));
    TfrmSecurityErase f;
    f.show();
    b.messages.answers = {MsgAnswer::Yes};
    WhenErasing(f, [&] {
        EXPECT_FALSE(f.rgbEraseType->isEnabled() || f.bbClose->isEnabled());
        EXPECT_FALSE(f.close()) << "the title-bar close is refused while it runs";
        QTest::keyClick(&f, Qt::Key_Escape);  // Esc is Stop
    });
    f.bbStartClick();
    EXPECT_EQ(b.messages.Texts(), QStringList{kAbortQuestion.toString()});
    EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Отменено"));
    const Opcodes sent = b.ports->Opcodes();
    EXPECT_EQ(Opcodes(sent.begin(), sent.begin() + 3), (Opcodes{kF1, kF3, kF4}));
    // The simulated drive completes its erase at the reset before the
    // removal, which takes the password: nothing is left to warn of.
    EXPECT_FALSE(b.drive().State().securityEnabled);
    ExpectIdle(f);

    // A stop before the first command sends nothing, asks nothing.
    b.ports->sent.clear();
    QTimer::singleShot(0, &f, [&] { f.bbStop->click(); });
    f.bbStartClick();
    EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Отменено"));
    EXPECT_TRUE(b.ports->sent.empty());
    EXPECT_EQ(b.messages.Texts().size(), 1);
}

TEST(SecurityErase, AnUnexpectedErrorRemovesThePasswordAndWaitsForStop)
{
    Bench b(SecurityDrive(3600));
    TfrmSecurityErase f;
    QObject::connect(&f, &TfrmSecurityErase::EraseStarted, &f, [] { throw std::runtime_error("out of memory"); });
    b.messages.answers = {MsgAnswer::Ok, MsgAnswer::Yes};
    f.bbStartClick();
    EXPECT_EQ(b.messages.Texts(), QStringList{kEraseRaised.toString()});
    EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Выполняется"));
    EXPECT_FALSE(b.drive().State().securityEnabled);
    EXPECT_TRUE(f.Running() && !f.bbStop->isHidden() && !f.bbClose->isEnabled());
    f.bbStop->click();
    EXPECT_EQ(b.messages.Texts(), (QStringList{kEraseRaised.toString(), kAbortQuestion.toString()}));
    EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Отменено"));
    ExpectIdle(f);
}

TEST(SecurityErase, ClosingRefreshesThePasswordPanelAfterAnIdentifyFailureToo)
{
    auto spec = SecurityDrive();
    spec.security.userPassword = "pw";
    Bench b(spec);
    b.drive().AddFault({sim::Fault::Kind::Error, ata::kCmdIdentify, 0x04, 1});
    {
        TfrmSecurityErase f;
        EXPECT_EQ(b.messages.Texts(), QStringList{QStringLiteral("Ошибка идентификации устройства!")});
        EXPECT_FALSE(f.bbStart->isEnabled() || f.rgbEraseType->isEnabled());
        EXPECT_TRUE(f.bbClose->isEnabled());
        EXPECT_EQ(f.windowTitle(), QStringLiteral("SECURIYU Erase: "));
    }
    EXPECT_EQ(b.shell.panels[4], QStringLiteral("High")) << "the locked drive, identified at the close";
}

TEST(SecurityErase, QuittingOrTheWindowGoingMidEraseEndsTheLoopSilently)
{
    Bench b(SecurityDrive(3600));
    QWidget main;
    auto* f = new TfrmSecurityErase(&main);
    uint64_t commands = 0;
    WhenErasing(*f, [&] {
        commands = b.drive().CommandCount();
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    });
    QTimer::singleShot(0, f, [&] { f->bbStartClick(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(b.messages.Texts().isEmpty());
    EXPECT_FALSE(f->Running());
    delete f;  // a drive still erasing is not asked anything at the close
    EXPECT_EQ(b.drive().CommandCount(), commands);

    // The main window destroyed while the abort question is open.
    b.CompleteErase();
    auto* owner = new QWidget;
    QPointer<TfrmSecurityErase> g = new TfrmSecurityErase(owner);
    b.messages.onShow = [&](const MessageRecorder::Entry&) { delete owner; };
    WhenErasing(*g, [&] { g->RequestStop(); });
    g->bbStartClick();
    EXPECT_TRUE(g.isNull());
    EXPECT_EQ(b.messages.Texts(), QStringList{kAbortQuestion.toString()});
}
