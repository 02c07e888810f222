// The surface scan window on a real desktop.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QRegularExpression>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "common/Shell.h"
#include "common/WindowPlace.h"
#include "desktop/Desktop.h"
#include "desktop/DesktopApp.h"
#include "surface/Int64SpinBox.h"
#include "surface/Scan.h"
#include "surface/ScanMapView.h"
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

// The built-in machine at its modelled speed: a long run lasts a minute.
DesktopApp::Options Slow()
{
    DesktopApp::Options o;
    o.instant = false;
    return o;
}

// Presses "Config" and waits for the end of the run.
bool RunToEnd(TfrmScan& f)
{
    QSignalSpy ended(&f, &LongRunForm::RunEnded);
    f.bbStart->click();
    return ended.count() > 0 || ended.wait(60000);
}

// The darkest pixel of an area: the text drawn in it.
int DarkestGrey(const QImage& img, const QRect& r)
{
    int darkest = 255;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            darkest = std::min(darkest, qGray(img.pixel(x, y)));
    return darkest;
}

int CountColour(const QImage& img, const QRect& r, const QColor& c, int tolerance = 0)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p(img.pixel(x, y));
            n += std::abs(p.red() - c.red()) <= tolerance && std::abs(p.green() - c.green()) <= tolerance &&
                 std::abs(p.blue() - c.blue()) <= tolerance;
        }
    return n;
}

QRect In(QWidget* w, QWidget* window) { return QRect(w->mapTo(window, QPoint(0, 0)), w->size()); }

}  // namespace

TEST_F(ScanDesktop, TitlePlaceCountersAndSaveOfAFinishedScan)
{
    DesktopApp app;
    TfrmMain& main = app.Main();
    ASSERT_TRUE(app.WaitShown());
    TfrmScan scan(&main);
    AnswerRange(scan, 0, 100 * 256);
    ExecWhile(scan, [&] {
        // Below the main window's frame, at the right edge of the screen.
        const QRect screen = desktop::Screen();
        EXPECT_TRUE(WaitUntil([&] {
            const QRect s = Query(&scan).frame, m = Query(&main).frame;
            return s.top() == m.bottom() + 1 && s.right() == screen.right() && m.right() == screen.right();
        })) << "scan frame " << Query(&scan).frame.x() << "," << Query(&scan).frame.y() << " "
            << Query(&scan).frame.width() << " wide, main frame " << Query(&main).frame.x() << ".."
            << Query(&main).frame.right() << "," << Query(&main).frame.bottom();
        EXPECT_EQ(Query(&scan).title, QStringLiteral("Проверка поверхности"));

        ASSERT_TRUE(RunToEnd(scan));
        const QString done = QStringLiteral("Проверка поверхности (верификация) - SIMDISK SD-6000X DEFECTS - Выполнено");
        EXPECT_TRUE(WaitUntil([&] { return Query(&scan).title == done; })) << Query(&scan).title.toStdString();

        // The counters: display only, yet legible, in an enabled panel.
        EXPECT_TRUE(scan.CounterPanel->isEnabled());
        const QImage img = desktop::Grab(&scan);
        for (QLineEdit* e : scan.CounterEdits) {
            EXPECT_TRUE(e->isReadOnly() && e->isEnabled()) << e->objectName().toStdString();
            if (e != scan.CounterEdits[scan::kT150]) {  // black text, not the grey of a disabled field
                EXPECT_LT(DarkestGrey(img, In(e, &scan).adjusted(2, 2, -2, -2)), 60) << e->objectName().toStdString();
            }
        }
        EXPECT_GT(CountColour(img, In(scan.CounterEdits[scan::kT150], &scan), QColor(0, 128, 0), 40), 0);

        // A real save through the dialog: the proposed name, Enter.
        QString proposed;
        QTimer::singleShot(0, &scan, [&] {
            QFileDialog* dlg = nullptr;
            ASSERT_TRUE(WaitUntil([&] {
                dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                return dlg && QApplication::activeWindow() == dlg && Query(dlg).viewable;
            }));
            EXPECT_EQ(Query(dlg).title, QStringLiteral("Введите имя файла"));
            // Qt's own texts of the dialog speak Russian too.
            for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
                const QLabel* label = dlg->findChild<QLabel*>(QString::fromLatin1(name));
                ASSERT_NE(label, nullptr) << name;
                EXPECT_TRUE(label->text().contains(QRegularExpression(QStringLiteral("[А-Яа-я]"))))
                    << name << ": " << label->text().toStdString();
            }
            for (const QPushButton* b : dlg->findChildren<QPushButton*>())
                EXPECT_FALSE(b->text().contains(QRegularExpression(QStringLiteral("^&?(Save|Cancel)$"))))
                    << b->text().toStdString();
            if (!qEnvironmentVariableIsEmpty("VORAN_SHOT_DIR"))
                desktop::Grab(dlg).save(qEnvironmentVariable("VORAN_SHOT_DIR") + QStringLiteral("/save-dialog.png"));
            proposed = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            desktop::PressKeys(QStringLiteral("Return"));
        });
        scan.bbSave->click();
        ASSERT_FALSE(proposed.isEmpty());
        EXPECT_TRUE(proposed.startsWith(QStringLiteral("Scan - SIMDISK SD-6000X DEFECTS - "))) << proposed.toStdString();
        const QStringList files = QDir(app.ExeDir() + QStringLiteral("Log")).entryList(QDir::Files);
        EXPECT_EQ(files, QStringList{proposed + QStringLiteral(".txt")});
    });
}

TEST_F(ScanDesktop, TheMapFollowsTheScanWhileTheGraphIsShownAndMarksTheCurrentCellInBlack)
{
    DesktopApp app;
    TfrmMain& main = app.Main();
    ASSERT_TRUE(app.WaitShown());
    TfrmScan scan(&main);
    AnswerRange(scan, 0, (60 * 40) * 256);  // 60 full rows: the current cell is the empty one after them
    ExecWhile(scan, [&] {
        ASSERT_EQ(scan.PageControl->currentIndex(), int(TfrmScan::kGraphTab));
        ASSERT_TRUE(RunToEnd(scan));
        ASSERT_EQ(scan.Map().Current(), (scan::ScanMap::Cell{60, 0}));

        // The user opens the map.
        QTabBar* tabs = scan.PageControl->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(TfrmScan::kMapTab).center());
        ScanMapView* map = scan.Grid;
        ASSERT_TRUE(WaitUntil([&] { return map->isVisible() && Query(&scan).viewable; }));
        QImage img;
        EXPECT_TRUE(WaitUntil([&] {
            img = desktop::Grab(&scan);
            const QRect cell = map->CellRect(60, 0).translated(map->viewport()->mapTo(&scan, QPoint(0, 0)));
            return CountColour(img, cell.adjusted(-1, -1, 0, 0), Qt::black) > 20;
        })) << "top row " << map->TopRow() << ", " << map->VisibleRows() << " rows seen";
        EXPECT_EQ(map->VisibleRows(), map->viewport()->height() / ScanMapView::kPitchY);
        EXPECT_LE(map->TopRow(), 60);
        EXPECT_GT(map->TopRow() + map->VisibleRows(), 60);

        // The current cell is marked in black, without the blue of the error
        // classes or the selection colour.
        const QRect cell = map->CellRect(60, 0).translated(map->viewport()->mapTo(&scan, QPoint(0, 0)));
        EXPECT_EQ(CountColour(img, cell, QColor(0, 0, 255)), 0);
        EXPECT_EQ(CountColour(img, cell, scan.palette().color(QPalette::Highlight), 8), 0);
    });
}

TEST_F(ScanDesktop, PauseKeepsTheLayoutAndAStoppedRunSaysSoInItsTitle)
{
    DesktopApp app(Slow());
    ASSERT_TRUE(app.WaitShown());
    TfrmScan scan(&app.Main());
    AnswerRange(scan, 0, 10000000);
    ExecWhile(scan, [&] {
        scan.bbStart->click();
        ASSERT_TRUE(WaitUntil([&] { return scan.Map().CellCount() > 0; }));
        const QRect pause = scan.bbPause->geometry(), close = scan.bbClose->geometry();
        const QRect pages = scan.PageControl->geometry();
        scan.bbPause->click();
        ASSERT_EQ(scan.bbPause->text(), QStringLiteral("Продолжить"));
        EXPECT_TRUE(WaitUntil([&] {
            return Query(&scan).title == scan.BaseCaption() + QStringLiteral(" - Пауза");
        }));
        EXPECT_EQ(scan.bbPause->geometry(), pause);
        EXPECT_EQ(scan.bbClose->geometry(), close);
        EXPECT_EQ(scan.PageControl->geometry(), pages);
        EXPECT_GE(scan.bbPause->width(), scan.bbPause->sizeHint().width());  // the text fits

        QSignalSpy ended(&scan, &LongRunForm::RunEnded);
        desktop::PressKeys(QStringLiteral("Escape"));
        ASSERT_TRUE(ended.count() > 0 || ended.wait(10000));
        EXPECT_TRUE(WaitUntil([&] {
            return Query(&scan).title == scan.BaseCaption() + QStringLiteral(" - Отменено пользователем");
        })) << Query(&scan).title.toStdString();
        EXPECT_TRUE(scan.isVisible());
    });
}

TEST_F(ScanDesktop, MinimisingARunningScanHidesItAndRestoringTheApplicationBringsItBack)
{
    DesktopApp app(Slow());
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

TEST_F(ScanDesktop, MinimisedWithItsRangeDialogOpenTheWholeApplicationComesBack)
{
    DesktopApp app;
    TfrmMain& main = app.Main();
    ASSERT_TRUE(app.WaitShown());
    TfrmScan scan(&main);
    bool cancelled = false;
    scan.RangeDialog = [&](TfrmScanParam& d) {
        QTimer::singleShot(0, &d, [&] {
            ASSERT_TRUE(WaitUntil([&] { return Query(&d).viewable && !BeingPlaced(&d); }));
            desktop::Minimise(&scan);  // the scan window's button, the range dialog open over it
            EXPECT_TRUE(WaitUntil([&] { return !Query(&d).viewable && Query(&main).iconic; }));
            desktop::Activate(&main);
            EXPECT_TRUE(WaitUntil([&] {
                return Query(&d).viewable && Query(&scan).viewable && !Query(&main).iconic &&
                       QApplication::activeModalWidget() == &d;
            })) << "range dialog " << Query(&d).viewable << ", scan " << Query(&scan).viewable;
            d.bbCancel->click();
            cancelled = true;
        });
        return d.exec() == QDialog::Accepted;
    };
    ExecWhile(scan, [&] {
        scan.bbStart->click();
        EXPECT_TRUE(cancelled);
        EXPECT_FALSE(scan.Running());
        EXPECT_EQ(main.MinimizedForm(), nullptr);
    });
}
