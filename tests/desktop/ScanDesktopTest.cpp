// The surface scan window on a real desktop.
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>

#include "common/Shell.h"
#include "desktop/Desktop.h"
#include "desktop/DesktopApp.h"
#include "surface/Int64SpinBox.h"
#include "surface/Scan.h"
#include "surface/ScanParam.h"

using desktop::Query;
using desktop::WaitUntil;

namespace {

class ScanDesktop : public DesktopTest {};

// The range dialog answered with OK for [start, stop).
void AnswerRange(TfrmScan& f, int64_t start, int64_t stop)
{
    f.RangeDialog = [=](TfrmScanParam& d) {
        d.speStartLBA->setValue(start);
        d.speStopLBA->setValue(stop);
        d.bbOk->click();
        return d.result() == QDialog::Accepted;
    };
}

}  // namespace

TEST_F(ScanDesktop, MinimisingARunningScanHidesItAndRestoringTheApplicationBringsItBack)
{
    DesktopApp::Options slow;
    slow.instant = false;  // a whole-drive run takes a minute
    DesktopApp app(slow);
    TfrmMain& main = app.Main();
    ASSERT_TRUE(app.WaitShown());
    TfrmScan scan(&main);
    AnswerRange(scan, 0, 10000000);
    ExecWhile(scan, [&] {
        scan.bbStart->click();
        ASSERT_TRUE(scan.Running());

        desktop::Minimise(&scan);  // the title bar's button
        EXPECT_TRUE(WaitUntil([&] {
            return !scan.isVisible() && !Query(&scan).viewable && Query(&main).iconic &&
                   main.MinimizedForm() == &scan;
        })) << "scan viewable " << Query(&scan).viewable << ", main iconic " << Query(&main).iconic;
        // It stays so: nothing brings either window back by itself.
        EXPECT_FALSE(WaitUntil([&] { return scan.isVisible() || Query(&scan).viewable || !Query(&main).iconic; },
                               1000));
        EXPECT_TRUE(scan.Running());

        desktop::Activate(&main);  // the task bar entry of the application
        EXPECT_TRUE(WaitUntil([&] {
            const desktop::XWindow s = Query(&scan);
            return s.viewable && !s.iconic && !Query(&main).iconic && scan.isVisible() &&
                   !(scan.windowState() & Qt::WindowMinimized) && QApplication::activeModalWidget() == &scan;
        }));
        EXPECT_EQ(main.MinimizedForm(), nullptr);

        // A second round trip works the same way.
        desktop::Minimise(&scan);
        EXPECT_TRUE(WaitUntil([&] { return !Query(&scan).viewable && Query(&main).iconic; }));
        desktop::Activate(&main);
        EXPECT_TRUE(WaitUntil([&] { return Query(&scan).viewable && !Query(&main).iconic; }));

        QSignalSpy ended(&scan, &LongRunForm::RunEnded);
        scan.bbStop->click();
        EXPECT_TRUE(ended.count() > 0 || ended.wait(10000));
    });
}
