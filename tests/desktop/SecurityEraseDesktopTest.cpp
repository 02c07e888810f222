// The security erase window on a real desktop: its captions as the window
// manager shows them while an erase runs, the time display ticking, the
// minimise round trip while it polls, and Stop through the real question box.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "desktop/Desktop.h"
#include "desktop/DesktopApp.h"
#include "security/SecurityErase.h"
#include "security/SecurityRules.h"

using desktop::Query;
using desktop::WaitUntil;

namespace {

class SecurityEraseDesktop : public DesktopTest {};

}  // namespace

TEST_F(SecurityEraseDesktop, ARunningEraseShowsItsTimeMinimisesAndStopsThroughTheQuestion)
{
    DesktopApp app;  // 0170 master: SIMDISK SD-6000X DEFECTS, word 89 = 20
    TfrmMain& main = app.Main();
    ASSERT_TRUE(app.WaitShown());
    const QString caption = QStringLiteral("SECURIYU Erase: SIMDISK SD-6000X DEFECTS");

    TfrmSecurityErase erase(&main);
    bool polled = false;
    QObject::connect(&erase, &TfrmSecurityErase::EraseStarted, &erase, [&] {
        // From inside the window's loop, while it polls.
        QTimer::singleShot(0, &erase, [&] {
            polled = true;
            EXPECT_TRUE(WaitUntil([&] { return Query(&erase).title == caption + QStringLiteral(" - Выполняется"); }));
            EXPECT_TRUE(WaitUntil([&] { return erase.mTime->text() == QStringLiteral("00:00:01"); }));
            EXPECT_EQ(erase.mElapsedTime->text(), QStringLiteral("00:39:59"));

            desktop::Minimise(&erase);
            EXPECT_TRUE(WaitUntil([&] {
                return !erase.isVisible() && Query(&main).iconic && main.MinimizedForm() == &erase;
            }));
            desktop::Activate(&main);
            EXPECT_TRUE(WaitUntil([&] {
                return Query(&erase).viewable && erase.isVisible() && QApplication::activeModalWidget() == &erase;
            }));

            desktop::BoxAnswerer boxes;  // the question's default answer: Yes
            erase.RequestStop();
            ASSERT_EQ(boxes.boxes.size(), 1u);
            EXPECT_EQ(boxes.boxes[0].text, security::kAbortQuestion.toString());
            EXPECT_TRUE(erase.StopRequested());
        });
    });
    ExecWhile(erase, [&] {
        EXPECT_EQ(Query(&erase).title, caption);
        EXPECT_EQ(erase.mElapsedTime->text(), QStringLiteral("00:40:00"));
        erase.bbStart->click();  // returns when the run has ended
        EXPECT_TRUE(polled);
        EXPECT_TRUE(WaitUntil([&] { return Query(&erase).title == caption + QStringLiteral(" - Отменено"); }));
        EXPECT_FALSE(erase.bbStart->isHidden());
        EXPECT_TRUE(erase.bbClose->isEnabled());
    });
}
