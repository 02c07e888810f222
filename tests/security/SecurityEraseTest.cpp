// The security erase window against simulated drives: a completed erase,
// every way the sequence fails, Stop answered both ways, the estimates, and
// the loop's life on the UI thread.
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
#include "support/SimFixture.h"

using namespace sectest;
using namespace security;

namespace {

const QString kCaption = QStringLiteral("SECURIYU Erase: SECDRIVE");
constexpr uint8_t kF1 = 0xF1, kF2 = 0xF2, kF3 = 0xF3, kF4 = 0xF4, kF6 = 0xF6;

using Opcodes = std::vector<uint8_t>;

// Runs `step` once the drive has taken the erase, from inside the window's
// loop (as a user acting while it polls).
void WhenErasing(TfrmSecurityErase& f, std::function<void()> step)
{
    QObject::connect(&f, &TfrmSecurityErase::EraseStarted, &f,
                     [&f, step] { QTimer::singleShot(0, &f, step); }, Qt::SingleShotConnection);
}

void ExpectIdle(const TfrmSecurityErase& f)
{
    EXPECT_FALSE(f.Running());
    EXPECT_FALSE(f.EraseRunning());
    EXPECT_FALSE(f.PasswordSet());
    EXPECT_FALSE(f.bbStart->isHidden());
    EXPECT_TRUE(f.bbStop->isHidden());
    EXPECT_TRUE(f.bbClose->isEnabled());
    EXPECT_TRUE(f.rgbEraseType->isEnabled());
    EXPECT_FALSE(f.Timer->isActive());
}

void Fill(uint64_t lba, uint8_t byte) { ASSERT_NE(EraseSector(int64_t(lba), 16, 1, 0, byte) & 0xFF, 0); }

bool Zeros(const sim::Drive& d, uint64_t lba)
{
    const auto s = d.ReadSector(lba);
    return std::all_of(s.begin(), s.end(), [](uint8_t c) { return c == 0; });
}

}  // namespace

TEST(SecurityErase, ACompletedEraseClearsTheDataAndThePasswordWithoutUnlockOrDisable)
{
    Bench b(SecurityDrive());
    Fill(0, 0xAB);
    Fill(4000, 0xCD);
    TfrmSecurityErase f;
    EXPECT_EQ(f.windowTitle(), kCaption);
    f.bbStartClick();

    EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Выполнено"));
    ASSERT_EQ(b.messages.shown.size(), 1u);
    EXPECT_EQ(b.messages.shown[0].kind, MsgKind::InformationYes);
    EXPECT_EQ(b.messages.shown[0].text, kEraseDone.toString());
    EXPECT_EQ(b.ports->SecurityOpcodes(), (Opcodes{kF1, kF3, kF4})) << "no unlock, no disable";
    for (const Sent& s : b.ports->SecurityCommands()) {
        EXPECT_EQ(s.control, 0x0000) << "user, high, normal erase: " << int(s.command);
        if (s.hasBlock)
            EXPECT_EQ(s.password, QByteArray("KRENT"));
    }
    EXPECT_TRUE(Zeros(b.drive(), 0));
    EXPECT_TRUE(Zeros(b.drive(), 4015));
    EXPECT_FALSE(b.drive().State().securityEnabled);
    ExpectIdle(f);

    // Again, enhanced: the choice reaches the drive.
    b.ports->Clear();
    f.rgbEraseType->Button(1)->click();
    f.bbStartClick();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("SECURIYU Erase Enhanced: SECDRIVE - Выполнено"));
    ASSERT_EQ(b.ports->SecurityOpcodes(), (Opcodes{kF1, kF3, kF4}));
    EXPECT_EQ(b.ports->SecurityCommands()[2].control, 0x0002);
    EXPECT_EQ(b.ports->SecurityCommands()[0].control, 0x0000) << "the password still at level high";
}

TEST(SecurityErase, EstimatesTimerAndTheEnhancedChoice)
{
    struct Case {
        uint16_t word89;
        QString shown;
    };
    for (const Case& c : {Case{30, QStringLiteral("01:00:00")}, Case{255, QStringLiteral("10:00:00")},
                          Case{0, QStringLiteral(" - - - - - - - - - ")}}) {
        auto spec = SecurityDrive();
        spec.eraseWord = c.word89;
        Bench b(spec);
        TfrmSecurityErase f;
        EXPECT_EQ(f.mElapsedTime->text(), c.shown) << c.word89;
        EXPECT_EQ(f.mTime->text(), QStringLiteral("00:00:00"));
        f.TimerTimer();
        f.TimerTimer();
        EXPECT_EQ(f.mTime->text(), QStringLiteral("00:00:02"));
        EXPECT_EQ(f.mElapsedTime->text(), c.word89 == 0 ? c.shown : FormatHMS(f.NormalEraseSeconds() - 2));
    }

    Bench b(SecurityDrive());
    TfrmSecurityErase f;
    EXPECT_TRUE(f.rgbEraseType->Button(1)->isEnabled());
    f.rgbEraseType->Button(1)->click();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("SECURIYU Erase Enhanced: SECDRIVE"));
    EXPECT_EQ(f.mElapsedTime->text(), QStringLiteral("01:10:00")) << "word 90 = 35";
    f.rgbEraseType->Button(0)->click();
    EXPECT_EQ(f.windowTitle(), kCaption);
    EXPECT_EQ(f.mElapsedTime->text(), QStringLiteral("01:00:00"));

    // An estimate that reaches 0 stays there.
    auto spec = SecurityDrive();
    spec.eraseWord = 1;
    Bench one(spec);
    TfrmSecurityErase g;
    for (int i = 0; i < 125; ++i)
        g.TimerTimer();
    EXPECT_EQ(g.mElapsedTime->text(), QStringLiteral("00:00:00"));
    EXPECT_EQ(g.mTime->text(), QStringLiteral("00:02:05"));

    // Without the enhanced mode the choice cannot be made.
    spec = SecurityDrive();
    spec.security.enhancedErase = false;
    Bench plain(spec);
    TfrmSecurityErase h;
    EXPECT_FALSE(h.rgbEraseType->Button(1)->isEnabled());
    HelpRecorder help;
    h.bbHelp->click();
    EXPECT_EQ(help.contexts, std::vector<int>{1050});
}

TEST(SecurityErase, EveryFailureIsToldAndThePasswordRemoved)
{
    struct Row {
        const char* where;
        uint8_t refused;     // opcode given a scripted refusal (0: none)
        bool failWhileRunning;
        QStringView message;
        Opcodes sent;
    };
    const Row rows[] = {
        {"0xF3 refused", kF3, false, kPrepareFailed, {kF1, kF3, kF2, kF6}},
        {"ERR after 0xF4", kF4, false, kUnitRefused, {kF1, kF3, kF4, kF2, kF6}},
        {"the poll reports failure", 0, true, kEraseFailed, {kF1, kF3, kF4, kF2, kF6}},
    };
    for (const Row& r : rows) {
        Bench b(SecurityDrive(3600));
        Fill(100, 0x5A);
        if (r.refused)
            b.drive().AddFault({sim::Fault::Kind::Error, r.refused, 0x04, 1});
        TfrmSecurityErase f;
        if (r.failWhileRunning)
            WhenErasing(f, [&] { EXPECT_TRUE(b.drive().FailErase()); });
        f.bbStartClick();
        EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Ошибка")) << r.where;
        EXPECT_EQ(b.messages.Texts(), QStringList{r.message.toString()}) << r.where;
        EXPECT_EQ(b.messages.shown[0].kind, MsgKind::Error);
        EXPECT_EQ(b.ports->SecurityOpcodes(), r.sent) << r.where;
        EXPECT_FALSE(b.drive().State().securityEnabled) << r.where << ": the password was removed";
        EXPECT_FALSE(Zeros(b.drive(), 100)) << r.where << ": nothing erased";
        ExpectIdle(f);
    }

    // The password cannot be set: nothing is removed.  A drive without the
    // security feature set, and a frozen one, which is explained.
    auto none = SecurityDrive();
    none.security.supported = false;
    auto frozen = SecurityDrive();
    frozen.security.frozen = true;
    for (const auto& [spec, notes] :
         {std::pair{none, QStringList{}}, std::pair{frozen, QStringList{kFrozenNote.toString()}}}) {
        Bench b(spec);
        TfrmSecurityErase f;
        f.bbStartClick();
        EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Ошибка"));
        EXPECT_EQ(b.messages.Texts(), QStringList{kSetPasswordFailed.toString()} + notes);
        EXPECT_EQ(b.ports->SecurityOpcodes(), Opcodes{kF1});
        EXPECT_EQ(b.drive().ResetCount(), 0u);
        ExpectIdle(f);
    }
}

TEST(SecurityErase, APasswordThatCannotBeRemovedIsSaid)
{
    // The reset before the removal fails: nothing more is sent.
    {
        Bench b(SecurityDrive());
        b.drive().AddFault({sim::Fault::Kind::Error, kF3, 0x04, 1});
        b.messages.onShow = [&](const MessageRecorder::Entry& e) {
            b.drive().SetAbsent(e.text == kPrepareFailed);
        };
        TfrmSecurityErase f;
        f.bbStartClick();
        EXPECT_EQ(b.messages.Texts(), (QStringList{kPrepareFailed.toString(), kPasswordLeft.toString()}));
        EXPECT_EQ(b.ports->SecurityOpcodes(), (Opcodes{kF1, kF3}));
        EXPECT_TRUE(b.drive().State().securityEnabled) << "KRENT stays on the drive";
        EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Ошибка"));
        ExpectIdle(f);
    }
    // Unlock and disable refused: the password stays, and that is said.
    Bench b(SecurityDrive());
    b.drive().AddFault({sim::Fault::Kind::Error, kF3, 0x04, 1});
    b.drive().AddFault({sim::Fault::Kind::Error, kF2, 0x04, 1});
    b.drive().AddFault({sim::Fault::Kind::Error, kF6, 0x04, 1});
    TfrmSecurityErase f;
    f.bbStartClick();
    EXPECT_EQ(b.messages.Texts(), (QStringList{kPrepareFailed.toString(), kPasswordLeft.toString()}));
    EXPECT_EQ(b.ports->SecurityOpcodes(), (Opcodes{kF1, kF3, kF2, kF6}));
    EXPECT_TRUE(b.drive().State().securityEnabled);
}

TEST(SecurityErase, StopAnsweredNoGoesOnAndYesAborts)
{
    {
        Bench b(SecurityDrive(3600));
        TfrmSecurityErase f;
        f.show();
        WhenErasing(f, [&] {
            EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Выполняется"));
            f.bbStop->click();  // answered No
            EXPECT_TRUE(f.Running());
            EXPECT_TRUE(f.bbStop->isEnabled());
            EXPECT_TRUE(f.Timer->isActive());
            EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Выполняется"));
            b.CompleteErase();
        });
        f.bbStartClick();
        EXPECT_EQ(b.messages.Texts(), (QStringList{kAbortQuestion.toString(), kEraseDone.toString()}));
        EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Выполнено"));
        EXPECT_EQ(b.ports->SecurityOpcodes(), (Opcodes{kF1, kF3, kF4}));
    }
    Bench b(SecurityDrive(3600));
    TfrmSecurityErase f;
    f.show();
    b.messages.answers = {MsgAnswer::Yes};
    WhenErasing(f, [&] {
        EXPECT_FALSE(f.rgbEraseType->isEnabled());
        EXPECT_FALSE(f.bbClose->isEnabled());
        EXPECT_FALSE(f.close()) << "the title-bar close is refused while it runs";
        QTest::keyClick(&f, Qt::Key_Escape);  // Esc is Stop
    });
    f.bbStartClick();
    EXPECT_EQ(b.messages.Texts(), QStringList{kAbortQuestion.toString()});
    EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Отменено"));
    const Opcodes sent = b.ports->SecurityOpcodes();
    EXPECT_EQ(Opcodes(sent.begin(), sent.begin() + 3), (Opcodes{kF1, kF3, kF4}));
    // The simulated drive finishes its erase at the reset that precedes the
    // removal, and the erase takes the password: nothing stays to warn of.
    EXPECT_FALSE(b.drive().State().securityEnabled);
    ExpectIdle(f);
    EXPECT_TRUE(f.isVisible());
}

TEST(SecurityErase, AStopBeforeTheFirstCommandSendsNothing)
{
    Bench b(SecurityDrive());
    TfrmSecurityErase f;
    f.show();
    QTimer::singleShot(0, &f, [&] { f.bbStop->click(); });
    f.bbStartClick();
    EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Отменено"));
    EXPECT_TRUE(b.ports->SecurityOpcodes().empty());
    EXPECT_TRUE(b.messages.Texts().isEmpty()) << "neither a question nor a success";
    ExpectIdle(f);
}

TEST(SecurityErase, AnUnexpectedErrorRemovesThePasswordAndWaitsForStop)
{
    Bench b(SecurityDrive(3600));
    TfrmSecurityErase f;
    f.show();
    QObject::connect(&f, &TfrmSecurityErase::EraseStarted, &f, [] { throw std::runtime_error("out of memory"); });
    b.messages.answers = {MsgAnswer::Ok, MsgAnswer::Yes};
    f.bbStartClick();
    EXPECT_EQ(b.messages.Texts(), QStringList{kEraseRaised.toString()});
    EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Выполняется")) << "the caption is left as it was";
    EXPECT_FALSE(b.drive().State().securityEnabled);
    EXPECT_TRUE(f.Running());
    EXPECT_FALSE(f.bbStop->isHidden());
    EXPECT_FALSE(f.bbClose->isEnabled());

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
        EXPECT_FALSE(f.bbStart->isEnabled());
        EXPECT_FALSE(f.rgbEraseType->isEnabled());
        EXPECT_TRUE(f.bbClose->isEnabled());
        EXPECT_EQ(f.windowTitle(), QStringLiteral("SECURIYU Erase: "));
        EXPECT_EQ(f.mElapsedTime->text(), QStringLiteral("00:00:00"));
        f.bbStartClick();
        EXPECT_TRUE(b.ports->SecurityOpcodes().empty());
        EXPECT_EQ(b.shell.panels[4], QString());
    }
    EXPECT_EQ(b.shell.panels[4], QStringLiteral("High")) << "the drive, locked, identified at the close";

    b.drive().AddFault({sim::Fault::Kind::Error, ata::kCmdIdentify, 0x04, 2});
    { TfrmSecurityErase f; }
    EXPECT_EQ(b.shell.panels[4], QString()) << "a failed identify empties it";
}

TEST(SecurityErase, WhileItPollsTheTimerTicksAndMinimisingHandsItToTheMainWindow)
{
    Bench b(SecurityDrive(3600));
    b.messages.answers = {MsgAnswer::Yes};
    TfrmSecurityErase f;
    f.show();
    WhenErasing(f, [&] {
        EXPECT_EQ(f.mTime->text(), QStringLiteral("00:00:00"));
        f.setWindowState(Qt::WindowMinimized);  // the system minimise command
        EXPECT_EQ(b.shell.minimized, &f);
        EXPECT_TRUE(f.isHidden());
    });
    // The first tick restores the application, the second stops the erase
    // (ticks a little faster than the window's second).
    f.Timer->setInterval(20);
    QObject::connect(f.Timer, &QTimer::timeout, &f, [&] {
        if (f.ElapsedSeconds() == 1)
            ShowMinimizedForm(&f);
        else if (f.ElapsedSeconds() == 2)
            f.RequestStop();
    });
    f.bbStartClick();
    EXPECT_EQ(f.mTime->text(), QStringLiteral("00:00:02"));
    EXPECT_EQ(f.mElapsedTime->text(), QStringLiteral("00:59:58"));
    EXPECT_EQ(b.shell.minimizeCount, 1);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.windowTitle(), kCaption + QStringLiteral(" - Отменено"));
}

TEST(SecurityErase, QuittingMidEraseEndsTheLoopWithoutAQuestionOrACommand)
{
    Bench b(SecurityDrive(3600));
    QWidget main;
    auto* f = new TfrmSecurityErase(&main);
    f->show();
    uint64_t commands = 0;
    WhenErasing(*f, [&] {
        commands = b.drive().CommandCount();
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    });
    bool returned = false;
    QTimer::singleShot(0, f, [&] {
        f->bbStartClick();
        returned = true;
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(returned);
    EXPECT_TRUE(b.messages.Texts().isEmpty());
    EXPECT_FALSE(f->Running());
    delete f;  // the drive still erasing is not asked anything at the close
    EXPECT_EQ(b.drive().CommandCount(), commands);
    EXPECT_TRUE(b.drive().EraseRunning());
}

TEST(SecurityErase, AWindowDestroyedWhileItAsksEndsTheLoopUntouched)
{
    Bench b(SecurityDrive(3600));
    auto* owner = new QWidget;
    QPointer<TfrmSecurityErase> f = new TfrmSecurityErase(owner);
    f->show();
    b.messages.onShow = [&](const MessageRecorder::Entry& e) {
        if (e.kind == MsgKind::Question)
            delete owner;  // the main window goes while the abort question is open
    };
    WhenErasing(*f, [&] { f->RequestStop(); });
    f->bbStartClick();
    EXPECT_TRUE(f.isNull());
    EXPECT_EQ(b.messages.Texts(), QStringList{kAbortQuestion.toString()});
}
