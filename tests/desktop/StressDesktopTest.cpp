// The stress test on a real desktop: opened by F6, its title as the window
// manager shows it, and the minimise round trip while a run goes on.
#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "desktop/Desktop.h"
#include "desktop/DesktopApp.h"
#include "surface/SeekTest.h"

using desktop::Query;
using desktop::WaitUntil;

class StressDesktop : public DesktopTest {};

TEST_F(StressDesktop, F6OpensItAndARunSurvivesMinimiseAndRestore)
{
    DesktopApp::Options options;
    options.port = QStringLiteral("01F0");  // the healthy drive: the run never stops by itself
    DesktopApp app(options);
    TfrmMain& main = app.Main();
    ASSERT_TRUE(app.WaitShown());
    const QString caption = QStringLiteral("Стресс-тест: SIMDISK SD-8000 HEALTHY");

    bool done = false;
    QTimer poll;  // the user's part, once F6 has put the window on the screen
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* f = qobject_cast<TfrmSeekTest*>(QApplication::activeModalWidget());
        if (!f || !Query(f).viewable)
            return;
        poll.stop();
        EXPECT_EQ(Query(f).title, caption);
        int64_t hidden = -1;
        // Between two commands of the run: minimise; restore once 100 more
        // commands have run hidden; stop.
        QTimer::singleShot(0, f, [&, f] {
            desktop::Minimise(f);
            EXPECT_TRUE(WaitUntil([&] { return !Query(f).viewable && Query(&main).iconic && main.MinimizedForm() == f; }));
            hidden = f->Stats().commands;
        });
        QObject::connect(f, &TfrmSeekTest::CommandDone, f, [&, f] {
            if (hidden < 0 || f->Stats().commands < hidden + 100)
                return;
            hidden = INT64_MAX;
            desktop::Activate(&main);  // the application's task bar entry
            EXPECT_TRUE(WaitUntil([&] {
                return Query(f).viewable && !Query(&main).iconic && QApplication::activeModalWidget() == f;
            }));
            EXPECT_EQ(main.MinimizedForm(), nullptr);
            f->bbStop->click();
        });
        f->bbStart->click();  // returns when the run has ended
        EXPECT_EQ(hidden, INT64_MAX);
        EXPECT_TRUE(WaitUntil([&] { return Query(f).title == caption + QStringLiteral(" - Отменено"); }));
        EXPECT_EQ(f->Stats().errors, 0);
        f->bbClose->click();
        done = true;
    });
    poll.start(50);

    desktop::Activate(&main);
    desktop::PressKeys(QStringLiteral("F6"));
    EXPECT_TRUE(WaitUntil([&] { return done; }, 60000));
}
