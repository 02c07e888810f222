// The drive erase window on a real desktop: its titles as the window manager
// shows them, a pass that goes on while the window is minimised into the
// main window, and the close box (Alt+F4) that waits for the pass to end.
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>

#include "desktop/Desktop.h"
#include "common/Int64SpinBox.h"
#include "desktop/DesktopApp.h"
#include "hw/Ata.h"
#include "ops/Erase.h"
#include "ops/EraseParam.h"

using desktop::Query;
using desktop::WaitUntil;

class OpsDesktop : public DesktopTest {};

TEST_F(OpsDesktop, AnErasePassSurvivesMinimiseRestoreAndTheCloseBox)
{
    DesktopApp::Options options;
    options.port = QStringLiteral("01F0");  // SIMDISK SD-8000 HEALTHY
    DesktopApp app(options);
    TfrmMain& main = app.Main();
    ASSERT_TRUE(app.WaitShown());
    const QString caption = QStringLiteral("Стирание накопителя: SIMDISK SD-8000 HEALTHY");

    TfrmErase erase(&main);
    QSignalSpy finished(&erase, &QDialog::finished);
    int commands = 0;
    int hiddenAt = -1;
    enum { Running, Hidden, Restored, CloseAsked, Stopped } step = Running;
    erase.ParamDialog = [](TfrmEraseParam& d) {
        d.speLBA1->setValue(0);
        d.speLBA2->setValue(16000000);  // far more than the checks take
        d.bbOk->click();
        return d.result() == QDialog::Accepted;
    };
    // The user's part, between two blocks of the pass.
    erase.EraseCommand = [&](int64_t lba, int64_t count, uint8_t lba48, uint8_t random, uint8_t filler) {
        ++commands;
        if (step == Running && commands == 20) {
            EXPECT_EQ(Query(&erase).title, caption);
            desktop::Minimise(&erase);
            EXPECT_TRUE(WaitUntil(
                [&] { return !Query(&erase).viewable && Query(&main).iconic && main.MinimizedForm() == &erase; }));
            hiddenAt = commands;
            step = Hidden;
        } else if (step == Hidden && commands == hiddenAt + 100) {
            desktop::Activate(&main);  // the application's task bar entry
            EXPECT_TRUE(WaitUntil([&] {
                return Query(&erase).viewable && !Query(&main).iconic && QApplication::activeModalWidget() == &erase;
            }));
            EXPECT_EQ(main.MinimizedForm(), nullptr);
            step = Restored;
        } else if (step == Restored) {
            desktop::Activate(&erase);
            EXPECT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &erase; }));
            desktop::PressKeys(QStringLiteral("alt+F4"));  // the window manager's close
            step = CloseAsked;
            hiddenAt = commands;
        } else if (step == CloseAsked && commands == hiddenAt + 50) {
            EXPECT_TRUE(erase.isVisible() && Query(&erase).viewable && finished.isEmpty()) << "the pass goes on";
            erase.bbStop->click();
            step = Stopped;
        }
        return EraseSector(lba, count, lba48, random, filler);
    };

    ExecWhile(erase, [&] {
        EXPECT_EQ(Query(&erase).title, QStringLiteral("Стирание накопителя"));
        erase.bbStart->click();  // returns when the pass has ended
    });
    EXPECT_EQ(step, Stopped);
    EXPECT_EQ(erase.windowTitle(), caption + QStringLiteral(" - Отменено"));
    EXPECT_EQ(finished.count(), 1) << "closed by the close box once the pass had ended";
}
