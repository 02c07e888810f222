// The stress test on a real desktop: opened by F6, its title as the window
// manager shows it, and the minimise round trip while a run goes on.
#include <QApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <QTimer>

#include "desktop/Desktop.h"
#include "desktop/DesktopApp.h"
#include "surface/SeekTest.h"

using desktop::Query;
using desktop::WaitUntil;

namespace {

class StressDesktop : public DesktopTest {};

const QString kModel = QStringLiteral("SIMDISK SD-8000 HEALTHY");

// The title the manager shows: Qt adds the application's name to a
// window's caption.
QString Shown(const QString& caption)
{
    return caption + QStringLiteral(" \u2014 ") + QGuiApplication::applicationDisplayName();
}

// Calls `then` once `commands` more commands of the run have been issued
// (the run goes on meanwhile: the commands are the proof).
void AfterCommands(TfrmSeekTest& f, int commands, std::function<void()> then)
{
    auto* count = new int(0);
    auto* c = new QMetaObject::Connection;
    *c = QObject::connect(&f, &TfrmSeekTest::CommandDone, &f, [=] {
        if (++*count < commands)
            return;
        QObject::disconnect(*c);
        delete c;
        delete count;
        QTimer::singleShot(0, then);
    });
}

}  // namespace

TEST_F(StressDesktop, F6OpensItAndARunSurvivesMinimiseAndRestore)
{
    DesktopApp::Options options;
    options.port = QStringLiteral("01F0");  // the healthy drive: the run never stops by itself
    DesktopApp app(options);
    TfrmMain& main = app.Main();
    ASSERT_TRUE(app.WaitShown());

    bool done = false;
    // The user's part, once F6 has put the window on the screen.
    auto* poll = new QTimer(&main);
    QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
        auto* f = qobject_cast<TfrmSeekTest*>(QApplication::activeModalWidget());
        if (!f || !Query(f).viewable)
            return;
        poll->deleteLater();
        poll->stop();
        EXPECT_EQ(Query(f).title, Shown(QStringLiteral("Стресс-тест: ") + kModel));

        // Inside the run (its loop lets these run between two commands).
        QTimer::singleShot(0, f, [&, f] {
            EXPECT_TRUE(f->Running());
            desktop::Minimise(f);
            EXPECT_TRUE(WaitUntil([&] {
                return !f->isVisible() && !Query(f).viewable && Query(&main).iconic && main.MinimizedForm() == f;
            })) << "stress viewable " << Query(f).viewable << ", main iconic " << Query(&main).iconic;
            const int64_t hidden = f->Stats().commands;
            AfterCommands(*f, 100, [&, f, hidden] {
                EXPECT_GE(f->Stats().commands, hidden + 100);
                desktop::Activate(&main);  // the application's task bar entry
                EXPECT_TRUE(WaitUntil([&] {
                    const desktop::XWindow s = Query(f);
                    return s.viewable && !s.iconic && !Query(&main).iconic && f->isVisible() &&
                           QApplication::activeModalWidget() == f;
                }));
                EXPECT_EQ(main.MinimizedForm(), nullptr);
                EXPECT_TRUE(f->Running());
                f->bbStop->click();
            });
        });
        f->bbStart->click();  // returns when the run has ended
        const QString cancelled = Shown(QStringLiteral("Стресс-тест: ") + kModel + QStringLiteral(" - Отменено"));
        EXPECT_TRUE(WaitUntil([&] { return Query(f).title == cancelled; })) << Query(f).title.toStdString();
        EXPECT_EQ(f->Stats().errors, 0);
        f->bbClose->click();
        done = true;
    });
    poll->start(50);

    desktop::Activate(&main);
    desktop::PressKeys(QStringLiteral("F6"));
    EXPECT_TRUE(WaitUntil([&] { return done; }, 60000));
}
