// The scan window's widgets and their layout (TfrmScan::BuildUi); the
// window's behaviour is in Scan.cpp.
#include "surface/Scan.h"
#include "surface/LineChart.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "common/Fonts.h"
#include "surface/ScanMapView.h"
#include "surface/ScanReportModel.h"

using namespace scan;

namespace {

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
    // The line width comes from the configuration when the window is created.
    const LineChart chart = MakeLineChart(tshGraf, QColor(0, 0, 255), 2, QStringLiteral("LBA"), QStringLiteral("МБ/с"));
    Graf = chart.chart;
    Series1 = chart.series;
    AxisX = chart.axisX;
    AxisY = chart.axisY;
    GrafView = chart.view;
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
