#include "surface/Scan.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QValueAxis>
#include <algorithm>

#include "common/Clock.h"
#include "common/DriveContext.h"
#include "common/Format.h"
#include "common/Services.h"
#include "common/Shell.h"
#include "common/TextFile.h"
#include "common/WindowPlace.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "info/IdentifyReport.h"
#include "surface/ScanMapView.h"
#include "surface/ScanParam.h"
#include "surface/ScanReportModel.h"
#include "surface/ScanThread.h"

using namespace scan;
using ata::IdentifyBlock;

namespace {

const char* const kCaption = "Проверка поверхности";
// The scan says who cancelled it.
const QString kCancelledByUser = QStringLiteral(" - Отменено пользователем");
const QString kPaused = QStringLiteral(" - Пауза");

}  // namespace

// ---- construction ------------------------------------------------------------

TfrmScan::TfrmScan(QWidget* owner) : LongRunForm(owner)
{
    setObjectName(QStringLiteral("frmScan"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(kCaption));

    RangeDialog = [](TfrmScanParam& d) { return d.exec() == QDialog::Accepted; };
    SaveDialog = AskReportFile;

    m_reportModel = new ReportListModel(&m_report, this);
    BuildUi();
    FormCreate();
    // Below the main window, at the right edge of the screen (frames
    // included, so that it leaves the main window's status bar in view).
    PlaceByFrame(this, [this](const QSize& frame) {
        const QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
        const QRect g = scr ? scr->availableGeometry() : QRect(0, 0, 1024, 768);
        int top = g.top();
        if (Shell* s = MainShell())
            if (QWidget* w = s->Window(); w && w->isVisible())
                top = FrameOf(w).bottom() + 1;
        // Kept on the screen when it is too low for both.
        top = std::max(g.top(), std::min(top, g.bottom() + 1 - frame.height()));
        return QPoint(std::max(g.left(), g.right() + 1 - frame.width()), top);
    });
}

TfrmScan::~TfrmScan()
{
    // Closing is refused while a run goes on, but the owner may still take
    // the window down (the application ends): the worker must not report
    // to a window that no longer exists.
    if (TScanThread* w = m_runWorker.data())
        w->DetachSink();
}

void TfrmScan::FormCreate()
{
    m_runPage = kGraphTab;

    // The security level of the drive goes to the main window.
    IdentifyBlock id{};
    QString level;
    if (IdentifyDevice(id.Bytes()) & 0xFF)
        level = info::PasswordLevel(id.Word(128));
    SetMainStatusPanel(4, level);

    m_lastStartLba = 0;
    m_lastStopLba = 0;

    int line = 2;
    if (Ctx().IniFile)
        line = Ctx().IniFile->ReadInteger(QStringLiteral("Scan"), QStringLiteral("Line"), 2);
    QPen pen(QColor(0, 0, 255));
    pen.setWidth(std::max(0, line));
    Series1->setPen(pen);

    PageControl->setCurrentIndex(kGraphTab);
    // Before the first run the three find commands are enabled.
    for (QAction* a : {mi50ms, miUnc, miError})
        a->setEnabled(true);
}

// ---- helpers -------------------------------------------------------------------

QString TfrmScan::StatusPanel(int i) const { return Panels[size_t(i)]->text(); }

void TfrmScan::SetPanel(int i, const QString& text) { Panels[size_t(i)]->setText(text); }

QString TfrmScan::CounterText(BlockClass c) const { return CounterEdits[c]->text(); }

TScanThread* TfrmScan::Worker() const { return m_worker.data(); }

int TfrmScan::ProgressPosition() const { return Counter->value(); }

void TfrmScan::SetTabsEnabled(bool on) { PageControl->tabBar()->setEnabled(on); }

void TfrmScan::ScheduleRefresh()
{
    if (!m_refresh->isActive())
        m_refresh->start();
}

void TfrmScan::ShowCounters()
{
    for (int c = 0; c < kClassCount; ++c) {
        if (m_countsShown[c] != m_counts.count[c]) {
            m_countsShown[c] = m_counts.count[c];
            CounterEdits[c]->setText(QString::number(m_counts.count[c]));
        }
    }
}

void TfrmScan::RefreshView()
{
    m_refresh->stop();
    if (m_blockShown) {
        m_blockShown = false;
        Counter->setValue(scan::ProgressPosition(m_shownLba, m_startLba, m_stopLba, kProgressSteps));
        SetPanel(0, QStringLiteral("Обработано LBA: ") + QString::number(m_shownLba));
    }
    ShowCounters();
    m_reportModel->Sync();
    Grid->MapChanged();
    if (m_mapFollow) {
        m_mapFollow = false;
        Grid->EnsureVisible(m_map.Current().row);
    }
}

// ---- run control ---------------------------------------------------------------

void TfrmScan::bbStartClick()
{
    m_pausedTicks = 0;
    m_pauseTick = 0;

    IdentifyBlock id{};
    if (!(IdentifyDevice(id.Bytes()) & 0xFF)) {
        ShowError(this, QStringLiteral("Ошибка идентификации устройства!"));
        return;
    }
    const ScanDrive drive = DriveFromIdentify(id, m_lba48);
    m_driveModel = drive.text.model;
    m_driveSerial = drive.text.serial;
    m_driveFirmware = drive.text.firmware;
    m_lba48 = drive.lba48;
    m_maxLba = std::max<int64_t>(drive.maxLba, 0);

    TfrmScanParam dlg(this);
    // The end is exclusive: offering the capacity itself lets a whole-drive
    // run verify the last sector too.
    dlg.Setup(m_maxLba + 1, m_lastStartLba, m_lastStopLba);
    if (!RangeDialog(dlg))
        return;

    SetPanel(2, m_lba48 ? QStringLiteral(" LBA48") : QStringLiteral(" LBA28"));
    BeginRun(QStringLiteral("Проверка поверхности (верификация) - ") + TrimControl(m_driveModel));
    bbSave->setEnabled(false);
    bbPause->setEnabled(true);
    bbPause->setText(QStringLiteral("Пауза"));

    m_startLba = m_lastStartLba = dlg.StartLBA();
    m_stopLba = m_lastStopLba = dlg.StopLBA();

    Series1->clear();
    m_minSpeed.reset();
    m_maxSpeed.reset();
    AxisX->setRange(0, double(m_maxLba));

    m_report.clear();
    m_reportModel->Reset();
    SetTabsEnabled(false);
    if (PageControl->currentIndex() == kReportTab)
        PageControl->setCurrentIndex(kGraphTab);
    m_runPage = PageControl->currentIndex();

    RunScan();
}

void TfrmScan::RunScan()
{
    SetPanel(3, QStringLiteral("Оставшееся время: "));
    Counter->setValue(0);
    m_shownLba = m_startLba;

    ScanDriveText drive{m_driveModel, m_driveFirmware, m_driveSerial};
    auto* worker = new TScanThread(m_lba48, m_startLba, m_stopLba, this, drive);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    m_worker = worker;
    m_runWorker = worker;
    m_startTick = GetTickCount();
    StartWorker(worker);
}

void TfrmScan::StartWorker(TScanThread* worker) { worker->start(QThread::TimeCriticalPriority); }

void TfrmScan::bbPauseClick()
{
    TScanThread* w = m_worker.data();
    if (!w)
        return;
    if (!w->Suspended()) {
        bbPause->setText(QStringLiteral("Продолжить"));
        w->SetPauseRequest(true);
        RefreshView();
        UpdateFindItems();
        Grid->setEnabled(true);
        SetTabsEnabled(true);
        m_pauseTick = GetTickCount();
        Timer->stop();
        ShowCaption(kPaused);
    } else {
        bbPause->setText(QStringLiteral("Пауза"));
        Grid->setEnabled(false);
        SetTabsEnabled(false);
        PageControl->setCurrentIndex(m_runPage);
        w->SetPauseRequest(false);
        w->Resume();
        ShowCaption();
        m_pausedTicks += GetTickCount() - m_pauseTick;
        Timer->start();
    }
}

void TfrmScan::bbStopClick() { RequestStop(); }

void TfrmScan::StopRun()
{
    Timer->stop();
    bbPause->setEnabled(false);
    SetTabsEnabled(true);
    if (TScanThread* w = m_worker.data())
        w->RequestStop();  // wakes it when it is suspended
    m_worker = nullptr;
}

// ---- keys ----------------------------------------------------------------------

bool TfrmScan::eventFilter(QObject* watched, QEvent* e)
{
    // Keys of an open popup menu are the menu's own.
    if (e->type() == QEvent::KeyPress && watched->isWidgetType() && !qobject_cast<QMenu*>(watched))
        return FormKeyDown(static_cast<QKeyEvent*>(e));
    return QDialog::eventFilter(watched, e);
}

bool TfrmScan::FormKeyDown(QKeyEvent* e)
{
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    switch (e->key()) {
    case Qt::Key_Escape:
        RequestStop();
        return false;  // passed on
    case Qt::Key_PageUp:
        if (!mi10Down->isEnabled())
            return false;
        mi10DownClick();
        return true;
    case Qt::Key_PageDown:
        if (!mi10Up->isEnabled())
            return false;
        mi10UpClick();
        return true;
    case Qt::Key_End:
        if (!miEnd->isEnabled())
            return false;
        miEndClick();
        return true;
    case Qt::Key_Home:
        if (!miHome->isEnabled())
            return false;
        miHomeClick();
        return true;
    default:
        return false;
    }
}

// ---- the worker's steps ------------------------------------------------------------

void TfrmScan::ScanStarted(const ScanStart& s)
{
    m_counts.Clear();
    for (int c = 0; c < kClassCount; ++c) {
        m_countsShown[c] = 0;
        CounterEdits[c]->setText(QStringLiteral("0"));
    }
    // Paused already when the worker gets here: the caption says so.
    const TScanThread* w = m_worker.data();
    ShowCaption(w && w->PauseRequest() ? kPaused : QString());
    m_report += s.header;
    m_reportModel->Sync();

    Grid->setEnabled(false);
    m_map.Clear();
    m_map.SetCurrent({0, 0});
    Grid->MapChanged();
    Grid->EnsureVisible(0);

    Counter->setValue(0);
    Timer->start();
}

void TfrmScan::ShowBlock(const ScanBlock& b)
{
    // Only recorded here; RefreshView puts it on screen a few dozen times a
    // second, which no eye can tell from every block.
    m_shownLba = b.lba;
    m_blockShown = true;
    m_counts.Add(b.cls);
    if (!b.reportLine.isEmpty())
        m_report.append(b.reportLine);
    m_map.Append(b.cls);
    if (m_map.CellCount() % ScanMap::kColumns == 0) {
        // A new, empty row becomes the current row: the view follows.
        m_map.SetCurrentRow(m_map.LastRow());
        m_mapFollow = true;
    }
    ScheduleRefresh();
}

void TfrmScan::AddPoint(const ScanPoint& p)
{
    if (p.axisMaximum > 0) {
        AxisY->setMax(p.axisMaximum);
        AxisY->setLabelFormat(p.axisMaximum >= 10 ? QStringLiteral("%.0f") : QStringLiteral("%.1f"));
    }
    Series1->append(double(p.lba), p.speed);
    m_minSpeed = m_minSpeed ? std::min(*m_minSpeed, p.speed) : p.speed;
    m_maxSpeed = m_maxSpeed ? std::max(*m_maxSpeed, p.speed) : p.speed;
}

void TfrmScan::ScanFinished(const ScanEnd& e)
{
    RefreshView();
    if (e.cancelled) {
        ShowCaption(kCancelledByUser);
    } else {
        ShowCaption(kDone);
        Counter->setValue(kProgressSteps);
    }
    m_report += e.summary;
    m_reportModel->Sync();
    UpdateFindItems();
    SetTabsEnabled(true);
}

void TfrmScan::EndOfRun(const ScanEnd& e)
{
    RefreshView();
    if (e.started) {
        SetPanel(3, QStringLiteral("Время выполнения: ") + FormatElapsed(e.stopTime, e.startTime));
    } else {
        // Stopped before the first block: no header, no summary.
        ShowCaption(kCancelledByUser);
        SetPanel(3, QString());
        SetTabsEnabled(true);
    }
    bbSave->setEnabled(true);
    Grid->setEnabled(true);
    bbPause->setEnabled(false);
    Timer->stop();
    m_worker = nullptr;
    m_runWorker = nullptr;
    EndRun();
}

// ---- timer ---------------------------------------------------------------------

void TfrmScan::TimerTimer()
{
    const uint32_t elapsed = GetTickCount() - m_startTick - m_pausedTicks;
    const std::optional<int64_t> s = RemainingSeconds(m_msPerLba, elapsed, m_shownLba, m_startLba, m_stopLba);
    if (!s)
        return;
    SetPanel(3, RemainingText(*s));
    SetPanel(4, FormatSpeed(m_minSpeed.value_or(0.0)));
    SetPanel(5, FormatSpeed(m_maxSpeed.value_or(0.0)));
}

// ---- pages and map -------------------------------------------------------------------

void TfrmScan::PageControlChange(int index)
{
    if (index == kMapTab && Grid->isEnabled())
        Grid->setFocus();
}

void TfrmScan::GridSelectCell(int64_t row, int col)
{
    if (m_map.Empty(row, col))
        return;
    const int64_t lba = m_startLba + (row * ScanMap::kColumns + col) * kBlockSectors;
    SetPanel(1, QStringLiteral("Текущий LBA: ") + QString::number(lba));
}

void TfrmScan::UpdateFindItems()
{
    const auto& n = m_counts.count;
    mi50ms->setEnabled(n[kT150] + n[kT500] + n[kT1000] > 0);
    miUnc->setEnabled(n[kUNC] > 0);
    miError->setEnabled(n[kAMNF] + n[kT0NF] + n[kABRT] + n[kIDNF] + n[kBBK] + n[kTime] > 0);
}

void TfrmScan::Navigate(void (ScanMap::*move)())
{
    RefreshView();
    (m_map.*move)();
    Grid->SelectCell(m_map.Current());
}

void TfrmScan::FindNext(ScanMap::Find what)
{
    RefreshView();
    m_map.FindNext(what);
    Grid->SelectCell(m_map.Current());
}

void TfrmScan::miHomeClick() { Navigate(&ScanMap::Home); }
void TfrmScan::miEndClick() { Navigate(&ScanMap::End); }
void TfrmScan::mi10UpClick() { Navigate(&ScanMap::Forward10); }
void TfrmScan::mi10DownClick() { Navigate(&ScanMap::Back10); }
void TfrmScan::mi50msClick() { FindNext(ScanMap::Find::Slow); }
void TfrmScan::miUncClick() { FindNext(ScanMap::Find::Unc); }
void TfrmScan::miErrorClick() { FindNext(ScanMap::Find::Error); }

// ---- help and saving --------------------------------------------------------------

void TfrmScan::BitBtn1Click() { ShowHelpContext(this, 100); }

void TfrmScan::bbSaveClick()
{
    const QString dir = Ctx().ExeDir + QStringLiteral("Log");
    const QDateTime now = QDateTime::currentDateTime();
    const QString proposed = SaveFileName(TrimControl(m_driveModel), ShortDateText(now), now.time());
    const QString file = SaveDialog(this, dir, proposed);
    if (file.isEmpty())
        return;
    QString why;
    if (!WriteReportFile(file, m_report, &why))
        ShowError(this, QStringLiteral("Не удалось сохранить отчет в файл %1: %2").arg(file, why));
}

// ---- entry point -------------------------------------------------------------------

void ShowScanWindow(QWidget* owner)
{
    TfrmScan form(owner);
    ExecToolWindow(form);
}
