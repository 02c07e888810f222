#include <QAction>
#include <QChart>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListView>
#include <QRegularExpression>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <gtest/gtest.h>
#include <unistd.h>

#include "ScanTestDrive.h"
#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/TextFile.h"
#include "support/SimFixture.h"
#include "surface/Int64SpinBox.h"
#include "surface/Scan.h"
#include "surface/ScanMapView.h"
#include "surface/ScanParam.h"
#include "surface/ScanThread.h"

using namespace scan;
using namespace scantest;

namespace {

// The scan window with a way to act on the worker before it starts.
class TestScanForm : public TfrmScan {
public:
    std::function<void(TScanThread*)> beforeStart;

protected:
    void StartWorker(TScanThread* w) override
    {
        if (beforeStart)
            beforeStart(w);
        TfrmScan::StartWorker(w);
    }
};

struct Offered {
    int64_t start = -1, stop = -1, max = -1;
};

// Answers the range dialog with OK for [start, stop) and notes what it
// offered.
void AnswerRange(TfrmScan& f, int64_t start, int64_t stop, Offered* offered = nullptr)
{
    f.RangeDialog = [=](TfrmScanParam& d) {
        if (offered)
            *offered = {d.StartLBA(), d.StopLBA(), d.speStopLBA->maximum()};
        d.speStartLBA->setValue(start);
        d.speStopLBA->setValue(stop);
        d.bbOk->click();
        return d.result() == QDialog::Accepted;
    };
}

// Presses "Config" and lets the run go to its end.
bool RunToEnd(TfrmScan& f)
{
    QSignalSpy ended(&f, &TfrmScan::RunEnded);
    f.bbStart->click();
    if (!f.Running())
        return ended.count() > 0;
    return ended.count() > 0 || ended.wait(120000);
}

QString MapCodes(const ScanMap& m)
{
    QString s;
    for (int64_t i = 0; i < m.CellCount(); ++i)
        s += m.Code(i / 40, int(i % 40));
    return s;
}

bool IdleButtons(const TfrmScan& f)
{
    return !f.bbStart->isHidden() && f.bbStop->isHidden() && f.bbStop->isEnabled() && f.bbClose->isEnabled() &&
           f.bbSave->isEnabled() && !f.bbPause->isEnabled() && !f.Timer->isActive() && f.Grid->isEnabled();
}

}  // namespace

TEST(ScanWindow, OpensIdleAndWritesTheSecurityLevel)
{
    sim::DriveSpec d = testsim::InstantDrive("LOCKED MAX");
    d.security.userPassword = "secret";
    d.security.levelMax = true;
    Bench bench(d);
    bench.Drive()->PowerCycle();
    TfrmScan f;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Проверка поверхности"));
    EXPECT_TRUE(IdleButtons(f));
    EXPECT_EQ(f.bbStart->text(), QStringLiteral("Config"));
    EXPECT_EQ(f.bbPause->text(), QStringLiteral("Пауза"));
    EXPECT_EQ(f.PageControl->currentIndex(), int(TfrmScan::kGraphTab));
    EXPECT_EQ(f.PageControl->tabPosition(), QTabWidget::South);
    EXPECT_EQ(f.RunPage(), 1);
    EXPECT_TRUE(f.mi50ms->isEnabled() && f.miUnc->isEnabled() && f.miError->isEnabled());
    EXPECT_EQ(f.mi50ms->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
    EXPECT_EQ(f.miHome->text(), QStringLiteral("в начало "));
    EXPECT_EQ(bench.shell.panels[4], QStringLiteral("Max"));
    for (int c = 0; c < kClassCount; ++c)
        EXPECT_EQ(f.CounterText(BlockClass(c)), QStringLiteral("0"));
    EXPECT_EQ(f.findChild<QLineEdit*>(QStringLiteral("eUNC")), f.CounterEdits[kUNC]);
    EXPECT_EQ(f.AxisY->max(), 100);
    EXPECT_EQ(f.AxisX->titleText(), QStringLiteral("LBA"));
    EXPECT_EQ(f.AxisY->titleText(), QStringLiteral("МБ/с"));
    EXPECT_EQ(f.Series1->pen().width(), 2);
    EXPECT_FALSE(f.Graf->legend()->isVisible());
    EXPECT_TRUE(f.FormCloseQuery());
}

TEST(ScanWindow, AFailedIdentifyStartsNothing)
{
    Bench bench(testsim::InstantDrive());
    TfrmScan f;
    bench.Drive()->SetAbsent(true);
    bool asked = false;
    f.RangeDialog = [&](TfrmScanParam&) { return asked = true; };
    f.bbStart->click();
    EXPECT_FALSE(asked);
    EXPECT_FALSE(f.Running());
    EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Ошибка идентификации устройства!")});
    EXPECT_EQ(bench.messages.shown[0].kind, MsgKind::Error);
}

TEST(ScanWindow, RangeDialogOffersTheWholeDriveIn64Bits)
{
    // 2^33 sectors: past what 32-bit fields can hold.
    Bench bench(testsim::InstantDrive("BIG", uint64_t(1) << 33));
    TfrmScan f;
    Offered offered;
    bool cancelled = false;
    f.RangeDialog = [&](TfrmScanParam& d) {
        offered = {d.StartLBA(), d.StopLBA(), d.speStopLBA->maximum()};
        d.bbCancel->click();
        cancelled = d.result() == QDialog::Rejected;
        return false;
    };
    f.bbStart->click();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(offered.start, 0);
    // The end is exclusive: the capacity itself, so the last sector is verified too.
    EXPECT_EQ(offered.stop, int64_t(1) << 33);
    EXPECT_EQ(offered.max, int64_t(1) << 33);
    EXPECT_FALSE(f.Running());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Проверка поверхности"));  // cancel changes nothing

    // The dialog refuses an end not above the start, and accepts typed
    // 64-bit values.
    TfrmScanParam d;
    d.Setup((int64_t(1) << 40), 0, 0);
    d.speStartLBA->setValue(5000000000LL);
    d.speStopLBA->setValue(5000000000LL);
    d.bbOk->click();
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_EQ(bench.messages.Texts().value(0), QStringLiteral("Конец диапазона не может быть меньше начала!"));
    d.speStopLBA->findChild<QLineEdit*>()->setText(QStringLiteral("6000000000"));
    EXPECT_EQ(d.StopLBA(), 6000000000LL);
    d.speStartLBA->findChild<QLineEdit*>()->setText(QStringLiteral("99999999999999999999"));
    EXPECT_EQ(d.StartLBA(), int64_t(1) << 40);  // held within the limit
    d.speStartLBA->findChild<QLineEdit*>()->setText(QStringLiteral("12"));
    d.bbOk->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    d.bbHelp->click();
    EXPECT_EQ(bench.help.contexts, std::vector<int>{110});

    // A last range above the highest LBA is not offered again.
    TfrmScanParam e;
    e.Setup(1000, 2000, 5000);
    EXPECT_EQ(e.StartLBA(), 1000);
    EXPECT_EQ(e.StopLBA(), 1000);
}

TEST(ScanWindow, WholeScanOfADriveWithEveryClass)
{
    Bench bench(EveryClassDrive());
    TestScanForm f;
    f.show();
    f.beforeStart = [](TScanThread* w) { w->SetVerifyFunction(&ModelledVerify); };
    Offered offered;
    AnswerRange(f, 0, 15459, &offered);
    const int beeps = BeepCount();
    QSignalSpy started(&f, &TfrmScan::RunEnded);
    ASSERT_TRUE(RunToEnd(f));
    EXPECT_EQ(offered.stop, 15460);  // the capacity: the end is exclusive

    const QString base = QStringLiteral("Проверка поверхности (верификация) - SIMDISK EVERY CLASS");
    EXPECT_EQ(f.BaseCaption(), base);
    EXPECT_EQ(f.windowTitle(), base + QStringLiteral(" - Выполнено"));
    EXPECT_TRUE(IdleButtons(f));
    EXPECT_EQ(BeepCount(), beeps + 1);
    EXPECT_TRUE(f.Lba48());
    EXPECT_EQ(f.StatusPanel(2), QStringLiteral(" LBA48"));
    EXPECT_TRUE(f.StatusPanel(3).startsWith(QStringLiteral("Время выполнения: 00:00:0")));
    EXPECT_EQ(f.StatusPanel(0), QStringLiteral("Обработано LBA: 15360"));
    EXPECT_EQ(f.ProgressPosition(), TfrmScan::kProgressSteps);
    EXPECT_TRUE(f.PageControl->tabBar()->isEnabled());

    // Counters, map and report.
    const char* expected[kClassCount] = {"39", "1", "1", "2", "2", "2", "2", "1", "1", "3", "3", "2", "2"};
    for (int c = 0; c < kClassCount; ++c)
        EXPECT_EQ(f.CounterText(BlockClass(c)), QString::fromLatin1(expected[c])) << CounterName(BlockClass(c));
    EXPECT_EQ(MapCodes(f.Map()), QString::fromLatin1(kEveryClassMap));
    EXPECT_EQ(f.Map().RowCount(), 2);
    const QStringList report = f.ReportLines();
    ASSERT_EQ(report.size(), 7 + 18 + 9);
    EXPECT_EQ(report[1], QStringLiteral("Model: SIMDISK EVERY CLASS FW: EC1.0"));
    EXPECT_EQ(report.mid(7, 18), EveryClassReportLines());
    EXPECT_EQ(report[7 + 18 + 5], QStringLiteral("Предупреждений.............4"));
    EXPECT_EQ(report[7 + 18 + 6], QStringLiteral("Ошибок.....................14"));
    EXPECT_EQ(f.lbError->model()->rowCount(), report.size());
    // Find items follow the counters.
    EXPECT_TRUE(f.mi50ms->isEnabled() && f.miUnc->isEnabled() && f.miError->isEnabled());

    // Find commands over the map: "> 50мс" from the start, then "Error".
    f.miHomeClick();
    f.mi50msClick();
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{0, 7}));
    EXPECT_EQ(f.StatusPanel(1), QStringLiteral("Текущий LBA: 1792"));
    f.miErrorClick();
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{0, 20}));
    f.miUncClick();
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{0, 28}));
    f.miUncClick();  // the next one, not the same
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{0, 38}));
    f.miUncClick();
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{1, 0}));
    EXPECT_EQ(f.StatusPanel(1), QStringLiteral("Текущий LBA: 10240"));
    f.mi50msClick();
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{1, 20}));  // the short last block
    f.miUncClick();  // nothing left: last row, column kept
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{1, 20}));

    // The map draws class colours, and error codes in yellow.
    f.PageControl->setCurrentIndex(TfrmScan::kMapTab);
    f.Grid->resize(460, 200);
    f.Grid->EnsureVisible(0);
    QImage img(f.Grid->viewport()->size(), QImage::Format_RGB32);
    f.Grid->viewport()->render(&img);
    auto pixel = [&](int64_t row, int col, int dx, int dy) {
        const QRect r = f.Grid->CellRect(row, col);
        return QColor(img.pixel(r.left() + dx, r.top() + dy));
    };
    auto yellowIn = [&](int64_t row, int col) {
        const QRect r = f.Grid->CellRect(row, col);
        int n = 0;
        for (int y = r.top() + 1; y < r.bottom(); ++y)
            for (int x = r.left() + 1; x < r.right(); ++x)
                n += QColor(img.pixel(x, y)) == QColor(255, 255, 0);
        return n;
    };
    EXPECT_EQ(pixel(0, 0, 1, 1), QColor(229, 229, 229));
    EXPECT_EQ(pixel(0, 3, 1, 1), QColor(199, 199, 199));
    EXPECT_EQ(pixel(0, 5, 1, 1), QColor(145, 145, 145));
    EXPECT_EQ(pixel(0, 7, 1, 1), QColor(0, 255, 0));
    EXPECT_EQ(pixel(0, 9, 1, 1), QColor(255, 128, 0));
    EXPECT_EQ(pixel(0, 11, 1, 1), QColor(255, 0, 0));
    EXPECT_EQ(pixel(0, 20, 1, 1), QColor(0, 0, 255));
    EXPECT_GT(yellowIn(0, 20), 3);
    EXPECT_EQ(yellowIn(0, 11), 0);
}

TEST(ScanWindow, TwoRunsInOneWindow)
{
    Bench bench(testsim::InstantDrive("TWICE", 1 << 16));
    TfrmScan f;
    AnswerRange(f, 256, 40 * 256 + 256);  // 40 blocks: a full row, then an empty one
    ASSERT_TRUE(RunToEnd(f));
    EXPECT_EQ(f.Map().CellCount(), 40);
    EXPECT_EQ(f.Map().RowCount(), 2);
    EXPECT_TRUE(f.Map().Empty(1, 0));
    const QStringList first = f.ReportLines();
    EXPECT_EQ(first.size(), 7 + 9);

    // "в конец" lands on the empty last row and leaves panel 1 as it was.
    f.miHomeClick();
    EXPECT_EQ(f.StatusPanel(1), QStringLiteral("Текущий LBA: 256"));
    f.Grid->SelectCell({0, 39});
    EXPECT_EQ(f.StatusPanel(1), QStringLiteral("Текущий LBA: ") + QString::number(256 + 39 * 256));
    f.miEndClick();
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{1, 0}));
    EXPECT_EQ(f.StatusPanel(1), QStringLiteral("Текущий LBA: ") + QString::number(256 + 39 * 256));
    // Only UNC-free, error-free, fast blocks: the find items say so.
    EXPECT_FALSE(f.miUnc->isEnabled());
    EXPECT_FALSE(f.miError->isEnabled());

    f.SetMsPerLBA(0.5f);
    f.Series1->append(1, 1);  // the second start must empty the graph
    Offered offered;
    AnswerRange(f, 0, 2 * 256, &offered);
    ASSERT_TRUE(RunToEnd(f));
    EXPECT_EQ(offered.start, 256);  // the first run's range is offered again
    EXPECT_EQ(offered.stop, 40 * 256 + 256);
    EXPECT_EQ(f.MsPerLBA(), 0.5f);  // not reset between runs
    const QStringList second = f.ReportLines();
    EXPECT_EQ(second.size(), 7 + 9);  // the first report is gone
    EXPECT_EQ(second[3], QStringLiteral("Начальный LBA.............0"));
    EXPECT_EQ(f.Series1->count(), 0);  // an instant drive plots no point
    EXPECT_EQ(f.Map().CellCount(), 2);
    EXPECT_EQ(f.AxisX->max(), double((1 << 16) - 1));  // the whole drive, not the range
}

TEST(ScanWindow, NavigationKeysAndMenuOnAMapOfFiveRows)
{
    Bench bench(testsim::InstantDrive("KEYS", 1 << 16));
    TfrmScan f;
    f.show();
    AnswerRange(f, 0, (4 * 40 + 3) * 256);
    ASSERT_TRUE(RunToEnd(f));
    ASSERT_EQ(f.Map().RowCount(), 5);
    f.PageControl->setCurrentIndex(TfrmScan::kMapTab);
    f.Grid->SelectCell({2, 5});
    QTest::keyClick(f.Grid, Qt::Key_PageDown);  // "10% вперед": 5 div 10 = 0 rows
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{2, 0}));
    QTest::keyClick(f.Grid, Qt::Key_End);
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{4, 0}));
    QTest::keyClick(f.Grid, Qt::Key_Right);
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{4, 1}));
    QTest::keyClick(f.Grid, Qt::Key_Home);
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{0, 0}));
    QTest::keyClick(f.Grid, Qt::Key_Down);
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{1, 0}));
    QTest::keyClick(f.Grid, Qt::Key_PageUp);
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{1, 0}));
    EXPECT_EQ(f.StatusPanel(1), QStringLiteral("Текущий LBA: 10240"));
    // A click on a cell selects it.
    const QRect r = f.Grid->CellRect(3, 10);
    QTest::mouseClick(f.Grid->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{3, 10}));
    EXPECT_EQ(f.StatusPanel(1), QStringLiteral("Текущий LBA: ") + QString::number((3 * 40 + 10) * 256));
}

TEST(ScanWindow, PauseContinueAndStopWhilePaused)
{
    Bench bench(testsim::InstantDrive("PAUSE", uint64_t(1) << 28));
    TestScanForm f;
    f.show();
    AnswerRange(f, 0, (int64_t(1) << 28) - 1);
    // Hold the worker before its first block, so the test decides when it
    // is paused.
    f.beforeStart = [](TScanThread* w) { w->SetPauseRequest(true); };
    QSignalSpy ended(&f, &TfrmScan::RunEnded);
    f.bbStart->click();
    ASSERT_TRUE(f.Running());
    TScanThread* w = f.Worker();
    ASSERT_TRUE(w);
    const QString base = f.BaseCaption();
    EXPECT_EQ(f.windowTitle(), base);
    EXPECT_TRUE(f.bbStart->isHidden());
    EXPECT_FALSE(f.bbStop->isHidden());
    EXPECT_FALSE(f.bbClose->isEnabled());
    EXPECT_FALSE(f.bbSave->isEnabled());
    EXPECT_TRUE(f.bbPause->isEnabled());
    EXPECT_FALSE(f.PageControl->tabBar()->isEnabled());
    EXPECT_FALSE(f.FormCloseQuery());
    f.close();
    EXPECT_TRUE(f.isVisible());  // no closing while a run goes on

    QSignalSpy suspended(w, &TScanThread::SuspendedChanged);
    while (!w->Suspended())
        ASSERT_TRUE(suspended.wait(30000));
    // The worker is suspended although the window did not ask: "Пауза"
    // acts on its real state and continues it.
    f.bbPause->click();
    EXPECT_EQ(f.bbPause->text(), QStringLiteral("Пауза"));
    EXPECT_EQ(f.windowTitle(), base);
    EXPECT_FALSE(f.Grid->isEnabled());
    EXPECT_TRUE(f.Timer->isActive());

    // Now pause it for real.
    f.bbPauseClick();
    EXPECT_EQ(f.bbPause->text(), QStringLiteral("Продолжить"));
    EXPECT_EQ(f.windowTitle(), base + QStringLiteral(" - Пауза"));
    EXPECT_TRUE(f.Grid->isEnabled());
    EXPECT_TRUE(f.PageControl->tabBar()->isEnabled());
    EXPECT_FALSE(f.Timer->isActive());
    while (!w->Suspended())
        ASSERT_TRUE(suspended.wait(30000));
    const int64_t shown = f.Map().CellCount();
    EXPECT_GT(shown, 0);

    // Esc stops it; it wakes and ends without another block.
    QTest::keyClick(f.bbPause, Qt::Key_Escape);
    EXPECT_FALSE(f.bbStop->isEnabled());
    EXPECT_FALSE(f.bbPause->isEnabled());  // "Пауза" is off once a stop is asked for
    EXPECT_EQ(f.Worker(), nullptr);
    ASSERT_TRUE(ended.count() > 0 || ended.wait(30000));
    EXPECT_EQ(f.Map().CellCount(), shown);
    EXPECT_EQ(f.windowTitle(), base + QStringLiteral(" - Отменено пользователем"));
    EXPECT_TRUE(f.ReportLines().value(8).startsWith(QStringLiteral("Отменено...................")));
    EXPECT_TRUE(IdleButtons(f));
    EXPECT_TRUE(f.isVisible());  // Esc never closes the window

    // The next run starts with "Пауза" again.
    f.beforeStart = [](TScanThread* w2) { w2->RequestStop(); };
    AnswerRange(f, 0, 1024);
    ASSERT_TRUE(RunToEnd(f));
    EXPECT_EQ(f.bbPause->text(), QStringLiteral("Пауза"));
}

TEST(ScanWindow, AStopBeforeTheFirstBlockReturnsToIdle)
{
    Bench bench(testsim::InstantDrive("EARLY", 1 << 16));
    TestScanForm f;
    f.beforeStart = [](TScanThread* w) { w->RequestStop(); };
    AnswerRange(f, 0, 1 << 16);
    const int beeps = BeepCount();
    ASSERT_TRUE(RunToEnd(f));
    EXPECT_TRUE(IdleButtons(f));
    EXPECT_FALSE(f.Running());
    EXPECT_EQ(f.windowTitle(), f.BaseCaption() + QStringLiteral(" - Отменено пользователем"));
    EXPECT_TRUE(f.ReportLines().isEmpty());  // no header, no summary
    EXPECT_TRUE(f.PageControl->tabBar()->isEnabled());
    EXPECT_EQ(BeepCount(), beeps);
    EXPECT_TRUE(f.FormCloseQuery());
}

TEST(ScanWindow, SavesTheReportAsWindows1251WithCrLf)
{
    Bench bench(testsim::InstantDrive("SAVE/ME", 1 << 16));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TfrmScan f;
    AnswerRange(f, 0, 512);
    ASSERT_TRUE(RunToEnd(f));

    QString proposed, startDir;
    const QString file = dir.filePath(QStringLiteral("report.txt"));
    f.SaveDialog = [&](QWidget*, const QString& d, const QString& name) {
        startDir = d;
        proposed = name;
        return file;
    };
    f.bbSaveClick();
    EXPECT_TRUE(startDir.endsWith(QStringLiteral("Log")));
    EXPECT_TRUE(proposed.startsWith(QStringLiteral("Scan - SAVE.ME - ")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("_\\d\\d\\.\\d\\d\\.\\d\\d$")).match(proposed).hasMatch()) << proposed.toStdString();
    EXPECT_FALSE(proposed.contains(QLatin1Char('/')));
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    in.close();
    EXPECT_EQ(bytes, ReportBytes(f.ReportLines()));
    EXPECT_TRUE(bytes.contains("\r\n"));
    EXPECT_TRUE(bytes.contains(EncodeWin1251(QStringLiteral("Начальный LBA"))));
    EXPECT_EQ(bytes.count("\r\n"), f.ReportLines().size());
    EXPECT_TRUE(bench.messages.shown.empty());

    // A failed save says so, and the report stays in the window.
    f.SaveDialog = [&](QWidget*, const QString&, const QString&) { return dir.path(); };  // a directory
    f.bbSaveClick();
    ASSERT_EQ(bench.messages.shown.size(), 1u);
    EXPECT_EQ(bench.messages.shown[0].kind, MsgKind::Error);
    EXPECT_TRUE(bench.messages.shown[0].text.contains(dir.path()));
    EXPECT_FALSE(f.ReportLines().isEmpty());
    if (::geteuid() != 0) {
        // An unwritable folder leaves the existing file as it was (root
        // writes anyway).
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        f.SaveDialog = [&](QWidget*, const QString&, const QString&) { return file; };
        AnswerRange(f, 0, 256);
        ASSERT_TRUE(RunToEnd(f));
        f.bbSaveClick();
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(bench.messages.shown.size(), 2u);
        QFile again(file);
        ASSERT_TRUE(again.open(QIODevice::ReadOnly));
        EXPECT_EQ(again.readAll(), bytes);
    }
    // Cancelling writes nothing.
    f.SaveDialog = [](QWidget*, const QString&, const QString&) { return QString(); };
    const size_t boxes = bench.messages.shown.size();
    f.bbSaveClick();
    EXPECT_EQ(bench.messages.shown.size(), boxes);

    f.BitBtn1->click();
    EXPECT_EQ(bench.help.contexts, std::vector<int>{100});
}

TEST(ScanWindow, MinimisingHandsTheWindowToTheMainWindow)
{
    Bench bench(testsim::InstantDrive());
    TfrmScan f;
    f.show();
    f.setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(bench.shell.minimized, &f);
    EXPECT_EQ(bench.shell.minimizeCount, 1);
    EXPECT_TRUE(f.isHidden());
    ShowMinimizedForm(&f);  // the application is restored
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.windowState() & Qt::WindowMinimized);
}

TEST(ScanWindow, AWindowDestroyedMidRunLetsTheWorkerEndQuietly)
{
    Bench bench(testsim::InstantDrive("GONE", uint64_t(1) << 28));
    auto* f = new TfrmScan;
    AnswerRange(*f, 0, (int64_t(1) << 28) - 1);
    f->bbStart->click();
    QPointer<TScanThread> w = f->Worker();
    ASSERT_TRUE(w);
    QEventLoop loop;
    QObject::connect(w, &QObject::destroyed, &loop, &QEventLoop::quit);
    delete f;  // as when the owner goes away
    if (w)
        loop.exec();
    EXPECT_TRUE(w.isNull());  // ended and freed itself
}

TEST(ScanWindow, EntryPointShowsTheWindowModallyAndFreesIt)
{
    Bench bench(testsim::InstantDrive());
    QWidget owner;
    QPointer<TfrmScan> seen;
    QTimer::singleShot(0, [&] {
        seen = owner.findChild<TfrmScan*>();
        ASSERT_TRUE(seen);
        EXPECT_TRUE(seen->isVisible());
        EXPECT_EQ(seen->windowModality(), Qt::ApplicationModal);
        seen->bbClose->click();
    });
    ShowScanWindow(&owner);
    EXPECT_TRUE(seen.isNull());

    // Closed by its close box it ends like any dialog.
    TfrmScan f;
    f.show();
    QSignalSpy finished(&f, &QDialog::finished);
    EXPECT_TRUE(f.close());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(owner.findChild<TfrmScan*>(), nullptr);
}

TEST(ScanWindow, LineWidthFromTheConfigurationAndFindShortcuts)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Bench bench(EveryClassDrive());
    Ctx().IniFile = std::make_unique<IniFile>(dir.filePath(QStringLiteral("Voran.ini")));
    Ctx().IniFile->WriteInteger(QStringLiteral("Scan"), QStringLiteral("Line"), 5);
    TestScanForm f;
    Ctx().IniFile.reset();
    EXPECT_EQ(f.Series1->pen().width(), 5);

    f.beforeStart = [](TScanThread* w) { w->SetVerifyFunction(&ModelledVerify); };
    AnswerRange(f, 0, 15459);
    f.show();
    ASSERT_TRUE(RunToEnd(f));
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.PageControl->setCurrentIndex(TfrmScan::kMapTab);
    ASSERT_TRUE(f.Grid->hasFocus());  // the map tab gives the grid the focus
    f.miHomeClick();
    QTest::keyClick(f.Grid, Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{0, 28}));
    QTest::keyClick(f.Grid, Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{0, 38}));
    QTest::keyClick(f.Grid, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{1, 2}));
    QTest::keyClick(f.Grid, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(f.Map().Current(), (ScanMap::Cell{1, 20}));
}
