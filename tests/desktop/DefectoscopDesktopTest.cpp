// The defect scope window on a real desktop: F5 of the main window opens
// it, its title, and the minimise round trip through the window manager.
#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "common/DriveContext.h"
#include "desktop/Desktop.h"
#include "desktop/DesktopApp.h"
#include "surface/Defectoscop.h"

using desktop::Query;
using desktop::WaitUntil;

namespace {

class DefectScopeDesktop : public DesktopTest {};

}  // namespace

TEST_F(DefectScopeDesktop, F5OpensItAndMinimisingHandsItToTheMainWindow)
{
    DesktopApp app;  // 0170 master: SIMDISK SD-6000X DEFECTS
    TfrmMain& main = app.Main();
    ASSERT_TRUE(app.WaitShown());

    // The window runs modally inside the F5 handler: the user's part is
    // done from there, as soon as it is the modal window.
    QPointer<TfrmDefectoscop> seen;
    bool done = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* scope = qobject_cast<TfrmDefectoscop*>(QApplication::activeModalWidget());
        if (!scope)
            return;
        poll.stop();
        seen = scope;
        EXPECT_TRUE(WaitUntil([&] { return Query(scope).viewable && Query(scope).managed; }));
        // The window manager shows exactly the caption.
        const QString caption = QStringLiteral("Дефектоскоп: SIMDISK SD-6000X DEFECTS");
        EXPECT_EQ(scope->windowTitle(), caption);
        EXPECT_EQ(Query(scope).title.toStdString(), caption.toStdString());
        EXPECT_EQ(Ctx().Model, QStringLiteral("SIMDISK SD-6000X DEFECTS").leftJustified(40, QLatin1Char(' ')));

        for (int round = 0; round < 2; ++round) {
            desktop::Minimise(scope);  // the title bar's button
            EXPECT_TRUE(WaitUntil([&] {
                return !scope->isVisible() && !Query(scope).viewable && Query(&main).iconic &&
                       main.MinimizedForm() == scope;
            })) << "round " << round;
            desktop::Activate(&main);  // the task bar entry of the application
            EXPECT_TRUE(WaitUntil([&] {
                const desktop::XWindow s = Query(scope);
                return s.viewable && !s.iconic && !Query(&main).iconic && scope->isVisible() &&
                       QApplication::activeModalWidget() == scope;
            })) << "round " << round;
            EXPECT_EQ(main.MinimizedForm(), nullptr);
        }
        scope->bbClose->click();
        done = true;
    });
    poll.start();

    desktop::Activate(&main);
    ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &main; }));
    desktop::PressKeys(QStringLiteral("F5"));
    EXPECT_TRUE(WaitUntil([&] { return done; }, 60000));
    poll.stop();
    EXPECT_TRUE(seen.isNull()) << "destroyed when it closed";
}
