// The long-running window conventions and the guard of UI-thread loops.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>

#include "common/LongRun.h"
#include "support/FakeShell.h"

namespace {

// A window of the kind: Start, Stop, Close, and a run that loops on the UI
// thread as the stress test or the erase window do.
class LoopForm : public LongRunForm {
public:
    explicit LoopForm(QWidget* owner = nullptr) : LongRunForm(owner)
    {
        bbStart = new QPushButton(QStringLiteral("Start"));
        bbStop = new QPushButton(QStringLiteral("Stop"));
        bbClose = new QPushButton(QStringLiteral("Close"));
        auto* grid = new QGridLayout(this);
        grid->addWidget(SetRunButtons(bbStart, bbStop, bbClose), 0, 0);
        grid->addWidget(bbClose, 1, 0);
        setWindowTitle(QStringLiteral("Тест"));
    }

    // Runs `count` steps, letting events run after each; `step` acts as the
    // events of that moment would.  Returns the steps done, or -1 when the
    // window went away (nothing of it may be touched then).
    int Run(int count, const std::function<void(int)>& step = {})
    {
        BeginRun(QStringLiteral("Тест - DRIVE"));
        UiLoopGuard loop(this);
        int done = 0;
        for (int i = 0; i < count; ++i) {
            if (step)
                step(i);
            ++done;
            if (!loop.Pump())
                break;
        }
        if (loop.WindowGone())
            return -1;
        abandoned = loop.Abandoned();
        quit = loop.QuitRequested();
        ShowCaption(StopRequested() ? kCancelled : kDone);
        EndRun();
        return done;
    }

    QPushButton* bbStart;
    QPushButton* bbStop;
    QPushButton* bbClose;
    int stops = 0;
    bool abandoned = false;
    bool quit = false;

protected:
    void StopRun() override { ++stops; }
};

void PostKey(QWidget* to, int key)
{
    QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
}

}  // namespace

TEST(LongRunForm, ButtonsCaptionCloseAndEscFollowTheRun)
{
    LoopForm f;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    EXPECT_FALSE(f.bbStart->isHidden());
    EXPECT_TRUE(f.bbStop->isHidden());
    EXPECT_EQ(f.bbStart->parentWidget(), f.bbStop->parentWidget());  // one place
    EXPECT_EQ(f.bbStart->minimumWidth(), f.bbStop->minimumWidth());
    QSignalSpy ended(&f, &LongRunForm::RunEnded);

    int steps = f.Run(1000, [&](int i) {
        if (i == 0) {
            EXPECT_EQ(f.windowTitle(), QStringLiteral("Тест - DRIVE"));
            EXPECT_TRUE(f.bbStart->isHidden());
            EXPECT_FALSE(f.bbStop->isHidden());
            EXPECT_TRUE(f.bbStop->isEnabled());
            EXPECT_FALSE(f.bbClose->isEnabled());
            EXPECT_FALSE(f.FormCloseQuery());
            QTimer::singleShot(0, &f, [&] { EXPECT_FALSE(f.close()); });  // the title-bar close: refused
        }
        if (i == 5) {
            EXPECT_TRUE(f.isVisible());
            PostKey(f.bbClose, Qt::Key_Escape);  // Esc in a control reaches the window
        }
    });
    EXPECT_EQ(steps, 6);
    EXPECT_EQ(f.stops, 1);
    EXPECT_TRUE(f.StopRequested());
    EXPECT_FALSE(f.abandoned);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Тест - DRIVE - Отменено"));
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(f.Running());
    EXPECT_FALSE(f.bbStart->isHidden());
    EXPECT_TRUE(f.bbStop->isHidden());
    EXPECT_TRUE(f.bbStop->isEnabled());
    EXPECT_TRUE(f.bbClose->isEnabled());

    // Idle: Esc neither stops nor closes; Stop's click does nothing.
    QTest::keyClick(&f, Qt::Key_Escape);
    f.RequestStop();
    EXPECT_EQ(f.stops, 1);
    EXPECT_TRUE(f.isVisible());

    // A second run: the stop button asks once, however often it is pressed.
    steps = f.Run(100, [&](int i) {
        if (i == 2) {
            f.bbStop->click();
            f.bbStop->click();
        }
    });
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(f.stops, 2);

    steps = f.Run(4);
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Тест - DRIVE - Выполнено"));

    // Idle, "Close" finishes the window like a dialog.
    QSignalSpy finished(&f, &QDialog::finished);
    f.bbClose->click();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(f.isVisible());
}

TEST(LongRunForm, MinimisingHandsTheWindowToTheMainWindowAndBack)
{
    LoopForm f;
    f.show();
    {
        FakeShell shell;
        f.setWindowState(Qt::WindowMinimized);  // what the window manager reports
        EXPECT_EQ(shell.minimized, &f);
        EXPECT_EQ(shell.minimizeCount, 1);
        EXPECT_TRUE(f.isHidden());

        ShowMinimizedForm(&f);  // the application is restored
        EXPECT_TRUE(f.isVisible());
        EXPECT_FALSE(f.windowState() & Qt::WindowMinimized);
        EXPECT_EQ(shell.minimizeCount, 1);

        // A dialog of its own open over it: the window manager minimises
        // them together, and the window stays where it is.
        QDialog over(&f);
        over.setWindowModality(Qt::ApplicationModal);
        over.show();
        f.setWindowState(Qt::WindowMinimized);
        EXPECT_EQ(shell.minimizeCount, 1);
        EXPECT_TRUE(f.isVisible());
        over.hide();
        f.setWindowState(Qt::WindowNoState);
    }
    // Without a main window it is minimised as usual.
    f.setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(f.isVisible());
}

TEST(LongRunForm, ButtonsSizedForTheirLongestText)
{
    QPushButton b(QStringLiteral("Пауза"));
    const int shortWidth = b.sizeHint().width();
    FitButtonTexts(&b, {QStringLiteral("Пауза"), QStringLiteral("Продолжить")});
    EXPECT_EQ(b.text(), QStringLiteral("Пауза"));
    b.setText(QStringLiteral("Продолжить"));
    EXPECT_LE(b.sizeHint().width(), b.minimumWidth());
    EXPECT_GT(b.minimumWidth(), shortWidth);
}

TEST(UiLoopGuard, ADeletionAskedForMidLoopWaitsUntilTheLoopHasLeft)
{
    QPointer<LoopForm> f = new LoopForm;
    f->setAttribute(Qt::WA_DeleteOnClose);
    f->show();
    const int steps = f->Run(100, [&](int i) {
        if (i == 1)
            QTimer::singleShot(0, f, &QObject::deleteLater);
    });
    EXPECT_GE(steps, 2);  // the loop ended soon after...
    EXPECT_LT(steps, 100);
    ASSERT_TRUE(f);  // ...with the window still there
    EXPECT_TRUE(f->abandoned);
    EXPECT_FALSE(f->Running());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(f.isNull());  // gone once the loop has left
}

TEST(UiLoopGuard, NestedGuardsHoldTheDeletionUntilTheOuterOneLeaves)
{
    QPointer<LoopForm> f = new LoopForm;
    bool innerAbandoned = false;
    {
        UiLoopGuard outer(f);
        {
            UiLoopGuard inner(f);
            QTimer::singleShot(0, f, &QObject::deleteLater);
            for (int i = 0; i < 10 && inner.Pump(); ++i) {
            }
            innerAbandoned = inner.Abandoned();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(f);
        EXPECT_TRUE(outer.Abandoned());
        EXPECT_FALSE(outer.Pump());
    }
    EXPECT_TRUE(innerAbandoned);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(f.isNull());
}

TEST(UiLoopGuard, AWindowDestroyedWithItsOwnerEndsTheLoopUntouched)
{
    auto* owner = new QWidget;
    QPointer<LoopForm> f = new LoopForm(owner);
    f->show();
    const int steps = f->Run(100, [&](int i) {
        if (i == 3)
            QTimer::singleShot(0, owner, [owner] { delete owner; });
    });
    EXPECT_EQ(steps, -1);  // told, and returned without touching it
    EXPECT_TRUE(f.isNull());
}

TEST(UiLoopGuard, TheApplicationQuittingMidLoopEndsTheLoopAndTheProgram)
{
    // The main window closes (its close box) while a run loops: the
    // application quits, the loop ends, and exec() returns.
    QWidget main;
    main.show();
    LoopForm f(&main);
    f.show();
    int steps = 0;
    QTimer::singleShot(0, &f, [&] {
        steps = f.Run(1000000, [&](int i) {
            if (i == 10)
                QTimer::singleShot(0, &main, &QWidget::close);
        });
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_GE(steps, 11);
    EXPECT_LT(steps, 1000000);
    EXPECT_TRUE(f.quit);
    EXPECT_TRUE(f.abandoned);
    EXPECT_FALSE(f.Running());
}

TEST(UiLoopGuard, QuitCalledMidLoop)
{
    QWidget main;
    LoopForm f(&main);
    f.show();
    int steps = 0;
    QTimer::singleShot(0, &f, [&] {
        steps = f.Run(1000000, [&](int i) {
            if (i == 3)
                QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        });
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_GE(steps, 4);
    EXPECT_LT(steps, 1000000);
    EXPECT_TRUE(f.quit);
}

TEST(UiLoopGuard, AQuitRefusedByAnOwnerlessRunningWindowDoesNotEndTheLoop)
{
    LoopForm f;  // no owner: Qt's quit asks it to close, and it refuses
    f.show();
    int steps = 0;
    QTimer::singleShot(0, &f, [&] {
        steps = f.Run(20, [&](int i) {
            if (i == 3)
                QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        });
        QCoreApplication::quit();  // idle now: it closes, and the program ends
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(steps, 20);
    EXPECT_FALSE(f.quit);
    EXPECT_FALSE(f.isVisible());
}
