#include "surface/Scan.h"

#include "common/Fonts.h"
#include "info/IdentifyReport.h"

#include "common/Clock.h"
#include "common/DriveContext.h"
#include "common/Format.h"
#include "common/Services.h"
#include "common/Shell.h"
#include "common/WindowPlace.h"
#include "common/TextFile.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "surface/ScanMapView.h"
#include "surface/ScanParam.h"
#include "surface/ScanThread.h"

#include <algorithm>
#include <QAbstractListModel>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

using namespace scan;
using ata::IdentifyBlock;

// The report list shows the window's report lines; rows are announced in
// batches when the display is refreshed.
class ReportListModel : public QAbstractListModel {
public:
    explicit ReportListModel(const QStringList* lines, QObject* parent) : QAbstractListModel(parent), m_lines(lines) {}

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows)
            return {};
        return m_lines->at(index.row());
    }
    // The lines were emptied (call after clearing them).
    void Reset()
    {
        beginResetModel();
        m_rows = 0;
        endResetModel();
    }
    // Lines were appended.
    void Sync()
    {
        const int n = int(m_lines->size());
        if (n == m_rows)
            return;
        if (n < m_rows) {
            beginResetModel();
            m_rows = n;
            endResetModel();
            return;
        }
        beginInsertRows({}, m_rows, n - 1);
        m_rows = n;
        endInsertRows();
    }

private:
    const QStringList* m_lines;
    int m_rows = 0;
};

namespace {

constexpr int kRefreshMs = 40;

const char* const kCaption = "Проверка поверхности";
// The scan says who cancelled it.
const QString kCancelledByUser = QStringLiteral(" - Отменено пользователем");
const QString kPaused = QStringLiteral(" - Пауза");

// Label text of each counter, in class order.
const char* const kCounterLabels[kClassCount] = {
    "<  5мс", "< 15мс", "< 50мс", "<150мс", "<500мс", ">500мс",
    "AMNF", "T0NF", "ABRT", "IDNF", "UNC", "BBK", "Time",
};

void SetTextColour(QWidget* w, QPalette::ColorRole role, const QColor& colour)
{
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

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

void TfrmScan::BuildUi()
{
    Counter = new QProgressBar(this);
    Counter->setObjectName(QStringLiteral("Counter"));
    Counter->setRange(0, kProgressSteps);
    Counter->setValue(0);
    Counter->setFormat(QStringLiteral("%p%"));
    Counter->setTextVisible(true);
    {
        QPalette p = Counter->palette();
        p.setColor(QPalette::Highlight, QColor(0, 0, 128));  // navy
        Counter->setPalette(p);
    }

    // Counters.
    CounterPanel = new QGroupBox(this);
    CounterPanel->setObjectName(QStringLiteral("CounterPanel"));
    auto* cgrid = new QGridLayout(CounterPanel);
    cgrid->setHorizontalSpacing(6);
    cgrid->setVerticalSpacing(2);
    for (int c = 0; c < kClassCount; ++c) {
        // Display only, but legible: read-only fields in an enabled panel.
        auto* edit = new QLineEdit(QStringLiteral("0"), CounterPanel);
        edit->setObjectName(QString::fromLatin1(CounterName(BlockClass(c))));
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
        edit->setAlignment(Qt::AlignRight);
        edit->setMinimumWidth(70);
        edit->setMaximumWidth(110);
        auto* label = new QLabel(QString::fromUtf8(kCounterLabels[c]), CounterPanel);
        label->setBuddy(edit);
        // The class colours: the "<150мс" count in green, the labels of the
        // two slowest classes in orange and red.
        if (c == kT150)
            SetTextColour(edit, QPalette::Text, QColor(0, 128, 0));
        else if (c == kT500)
            SetTextColour(label, QPalette::WindowText, QColor(255, 128, 0));
        else if (c == kT1000)
            SetTextColour(label, QPalette::WindowText, QColor(255, 0, 0));
        CounterEdits[c] = edit;
        // Timing classes on the left; the error classes on the right, Time first.
        const bool error = IsError(BlockClass(c));
        const int row = error ? kTime - c : c;
        const int col = error ? 2 : 0;
        cgrid->addWidget(label, row, col);
        cgrid->addWidget(edit, row, col + 1);
    }
    cgrid->setColumnStretch(4, 1);

    // Buttons.
    bbStart = new QPushButton(QStringLiteral("Config"), this);
    bbStart->setObjectName(QStringLiteral("bbStart"));
    bbStop = new QPushButton(QStringLiteral("Stop"), this);
    bbStop->setObjectName(QStringLiteral("bbStop"));
    bbStop->hide();
    bbPause = new QPushButton(QStringLiteral("Пауза"), this);
    bbPause->setObjectName(QStringLiteral("bbPause"));
    bbPause->setEnabled(false);
    bbClose = new QPushButton(QStringLiteral("Close"), this);
    bbClose->setObjectName(QStringLiteral("bbClose"));
    BitBtn1 = new QPushButton(QStringLiteral("Help"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    for (QPushButton* b : {bbStart, bbStop, bbPause, bbClose, BitBtn1})
        b->setAutoDefault(false);
    // "Продолжить" must not widen the column when it replaces "Пауза".
    FitButtonTexts(bbPause, {QStringLiteral("Пауза"), QStringLiteral("Продолжить")});
    auto* buttons = new QGridLayout;
    buttons->addWidget(SetRunButtons(bbStart, bbStop, bbClose), 0, 0);  // bbStop lies exactly over bbStart
    buttons->addWidget(bbPause, 1, 0);
    buttons->addWidget(bbClose, 2, 0);
    buttons->addWidget(BitBtn1, 3, 0);
    buttons->setRowStretch(4, 1);

    // Pages.
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setTabPosition(QTabWidget::South);

    tshMap = new QWidget;
    tshMap->setObjectName(QStringLiteral("tshMap"));
    Grid = new ScanMapView(&m_map, tshMap);
    Grid->setObjectName(QStringLiteral("Grid"));
    auto* mapLayout = new QVBoxLayout(tshMap);
    mapLayout->setContentsMargins(0, 0, 0, 0);
    mapLayout->addWidget(Grid);

    tshGraf = new QWidget;
    tshGraf->setObjectName(QStringLiteral("tshGraf"));
    Graf = new QChart;
    Graf->setObjectName(QStringLiteral("Graf"));
    Graf->legend()->hide();
    Graf->setTitle(QString());
    Graf->setBackgroundRoundness(0);
    Graf->setDropShadowEnabled(false);
    Graf->setAnimationOptions(QChart::NoAnimation);
    Series1 = new QLineSeries;
    Series1->setObjectName(QStringLiteral("Series1"));
    Graf->addSeries(Series1);
    AxisX = new QValueAxis;
    AxisX->setTitleText(QStringLiteral("LBA"));
    AxisX->setLabelFormat(QStringLiteral("%.0f"));
    AxisX->setRange(0, 100);
    AxisY = new QValueAxis;
    AxisY->setTitleText(QStringLiteral("МБ/с"));
    AxisY->setLabelFormat(QStringLiteral("%.0f"));
    AxisY->setRange(0, 100);
    Graf->addAxis(AxisX, Qt::AlignBottom);
    Graf->addAxis(AxisY, Qt::AlignLeft);
    Series1->attachAxis(AxisX);
    Series1->attachAxis(AxisY);
    GrafView = new QChartView(Graf, tshGraf);
    GrafView->setObjectName(QStringLiteral("GrafView"));
    GrafView->setRenderHint(QPainter::Antialiasing, false);
    auto* grafLayout = new QVBoxLayout(tshGraf);
    grafLayout->setContentsMargins(0, 0, 0, 0);
    grafLayout->addWidget(GrafView);

    tshReport = new QWidget;
    tshReport->setObjectName(QStringLiteral("tshReport"));
    lbError = new QListView(tshReport);
    lbError->setObjectName(QStringLiteral("lbError"));
    lbError->setModel(m_reportModel);
    lbError->setUniformItemSizes(true);
    lbError->setFont(FixedPitchFont());
    lbError->setEditTriggers(QAbstractItemView::NoEditTriggers);
    bbSave = new QPushButton(QStringLiteral("Сохранить"), tshReport);
    bbSave->setObjectName(QStringLiteral("bbSave"));
    bbSave->setAutoDefault(false);
    auto* repLayout = new QVBoxLayout(tshReport);
    repLayout->setContentsMargins(0, 0, 0, 0);
    repLayout->addWidget(lbError, 1);
    auto* saveRow = new QHBoxLayout;
    saveRow->addStretch(1);
    saveRow->addWidget(bbSave);
    repLayout->addLayout(saveRow);

    PageControl->addTab(tshMap, QStringLiteral("Карта"));
    PageControl->addTab(tshGraf, QStringLiteral("График"));
    PageControl->addTab(tshReport, QStringLiteral("Отчет"));

    // Status bar.
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    // Each panel wide enough for its longest usual text (ten-digit LBAs of
    // the largest drives, estimates of 100 hours and more).
    const char* const samples[6] = {"Обработано LBA: 0000000000", "Текущий LBA: 0000000000", " LBA48",
                                    "Оставшееся время: 000:00:00", "000.0 MB/c", "000.0 MB/c"};
    m_statusWidth = 0;
    for (int i = 0; i < 6; ++i) {
        auto* l = new QLabel(StatusBar);
        l->setObjectName(QStringLiteral("Panel%1").arg(i));
        l->setFrameShape(QFrame::StyledPanel);
        l->setFrameShadow(QFrame::Sunken);
        const int w = l->fontMetrics().horizontalAdvance(QString::fromUtf8(samples[i])) + 12;
        l->setMinimumWidth(w);
        StatusBar->addWidget(l, w);
        Panels[i] = l;
        m_statusWidth += w + 6;
    }

    Timer = new QTimer(this);
    Timer->setInterval(1000);
    m_refresh = new QTimer(this);
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(kRefreshMs);

    // Map popup menu.
    ppmAction = new QMenu(this);
    ppmAction->setObjectName(QStringLiteral("ppmAction"));
    miHome = ppmAction->addAction(QStringLiteral("в начало "));
    miEnd = ppmAction->addAction(QStringLiteral("в конец"));
    ppmAction->addSeparator();
    mi10Up = ppmAction->addAction(QStringLiteral("10% вперед"));
    mi10Down = ppmAction->addAction(QStringLiteral("10% назад"));
    ppmAction->addSeparator();
    mi50ms = ppmAction->addAction(QStringLiteral("> 50мс"));
    miUnc = ppmAction->addAction(QStringLiteral("UNC"));
    miError = ppmAction->addAction(QStringLiteral("Error"));
    mi50ms->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    miUnc->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    miError->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    for (QAction* a : {miHome, miEnd, mi10Up, mi10Down, mi50ms, miUnc, miError}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        tshMap->addAction(a);
    }
    Grid->setContextMenuPolicy(Qt::CustomContextMenu);

    // Layout.
    auto* middle = new QHBoxLayout;
    middle->addWidget(CounterPanel, 1);
    middle->addLayout(buttons);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(4, 4, 4, 0);
    top->addWidget(Counter);
    top->addLayout(middle);
    top->addWidget(PageControl, 1);
    top->addWidget(StatusBar);

    // Signals.
    connect(bbStart, &QPushButton::clicked, this, &TfrmScan::bbStartClick);
    connect(bbPause, &QPushButton::clicked, this, &TfrmScan::bbPauseClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmScan::BitBtn1Click);
    connect(bbSave, &QPushButton::clicked, this, &TfrmScan::bbSaveClick);
    connect(Timer, &QTimer::timeout, this, &TfrmScan::TimerTimer);
    connect(m_refresh, &QTimer::timeout, this, &TfrmScan::RefreshView);
    connect(PageControl, &QTabWidget::currentChanged, this, &TfrmScan::PageControlChange);
    connect(Grid, &ScanMapView::CellSelected, this, &TfrmScan::GridSelectCell);
    connect(Grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ppmAction->popup(Grid->mapToGlobal(pos)); });
    connect(miHome, &QAction::triggered, this, &TfrmScan::miHomeClick);
    connect(miEnd, &QAction::triggered, this, &TfrmScan::miEndClick);
    connect(mi10Up, &QAction::triggered, this, &TfrmScan::mi10UpClick);
    connect(mi10Down, &QAction::triggered, this, &TfrmScan::mi10DownClick);
    connect(mi50ms, &QAction::triggered, this, &TfrmScan::mi50msClick);
    connect(miUnc, &QAction::triggered, this, &TfrmScan::miUncClick);
    connect(miError, &QAction::triggered, this, &TfrmScan::miErrorClick);

    // The window sees keys before its controls.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);

    resize(std::max(700, m_statusWidth + 16), 640);
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
