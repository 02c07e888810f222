#include "surface/Defectoscop.h"
#include "surface/LineChart.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <memory>

#include "common/DriveContext.h"
#include "common/Format.h"
#include "common/Services.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "select/RadioGroup.h"
#include "surface/Int64SpinBox.h"
#include "surface/ScanRules.h"

namespace defect {

bool MaximumLevel(uint16_t word128) { return (word128 & 0x0103) == 0x0103; }

ScopeDrive FromIdentify(const ata::IdentifyBlock& id, bool lba48)
{
    // The same model text, addressing and highest LBA as the surface scan.
    const scan::ScanDrive d = scan::DriveFromIdentify(id, lba48);
    ScopeDrive s;
    s.refused = MaximumLevel(id.Word(128));
    s.model = d.text.model;
    s.caption = QStringLiteral("Дефектоскоп: ") + TrimControl(d.text.model);
    s.lba48 = d.lba48;
    s.maxLba = d.maxLba;
    return s;
}

}  // namespace defect

namespace {

const char* const kCaption = "Дефектоскоп";
// The fields' own values before a drive is known: 32-bit fields.
constexpr int64_t kResourceStart = 320000000;
constexpr int64_t kFieldMaximum = std::numeric_limits<int32_t>::max();

QPushButton* Button(const char* name, const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

Int64SpinBox* LbaField(const char* name, int64_t value, QWidget* parent)
{
    auto* s = new Int64SpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(0, kFieldMaximum);
    s->setValue(value);
    return s;
}

}  // namespace

TfrmDefectoscop::TfrmDefectoscop(QWidget* owner) : LongRunForm(owner)
{
    setObjectName(QStringLiteral("frmDefectoscop"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(kCaption));
    BuildUi();
    FormCreate();
}

void TfrmDefectoscop::BuildUi()
{
    // The graph panel: a progress bar and a chart, disabled.
    pGraf = new QWidget(this);
    pGraf->setObjectName(QStringLiteral("pGraf"));
    Counter = new QProgressBar(pGraf);
    Counter->setObjectName(QStringLiteral("Counter"));
    Counter->setRange(0, 100);
    Counter->setValue(0);
    {
        QPalette p = Counter->palette();
        p.setColor(QPalette::Highlight, QColor(0, 0, 128));  // navy
        Counter->setPalette(p);
    }
    const LineChart chart = MakeLineChart(pGraf, QColor(255, 0, 0), 2);
    Graf = chart.chart;
    Series1 = chart.series;
    GrafView = chart.view;
    GrafView->setMinimumHeight(180);
    auto* grafLayout = new QVBoxLayout(pGraf);
    grafLayout->setContentsMargins(0, 0, 0, 0);
    grafLayout->addWidget(Counter);
    grafLayout->addWidget(GrafView, 1);
    pGraf->setEnabled(false);

    // The settings panel.
    pSettings = new QWidget(this);
    pSettings->setObjectName(QStringLiteral("pSettings"));
    gbDiapazon = new QGroupBox(QStringLiteral(" Диапазон сканирования  "), pSettings);
    gbDiapazon->setObjectName(QStringLiteral("gbDiapazon"));
    speStartLBA = LbaField("speStartLBA", kResourceStart, gbDiapazon);
    speStopLBA = LbaField("speStopLBA", 0, gbDiapazon);
    auto* rangeLayout = new QFormLayout(gbDiapazon);
    rangeLayout->addRow(QStringLiteral("Начальный LBA"), speStartLBA);
    rangeLayout->addRow(QStringLiteral("Конечный LBA"), speStopLBA);

    rgbDirect = new RadioGroup(QStringLiteral(" Направление "), {QStringLiteral("Вперед"), QStringLiteral("Назад")}, 1,
                               pSettings);
    rgbDirect->setObjectName(QStringLiteral("rgbDirect"));
    rgbKesh = new RadioGroup(QStringLiteral("Упреждающее чтение"),
                             {QStringLiteral("Включено"), QStringLiteral("Отключено")}, 1, pSettings);
    rgbKesh->setObjectName(QStringLiteral("rgbKesh"));

    gbUnStable = new QGroupBox(QStringLiteral(" Нестабильные сектора  "), pSettings);
    gbUnStable->setObjectName(QStringLiteral("gbUnStable"));
    speTimeOut = new QSpinBox(gbUnStable);
    speTimeOut->setObjectName(QStringLiteral("speTimeOut"));
    speTimeOut->setRange(15, 150000);
    speTimeOut->setValue(1000);
    speTimeOut->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    chbWriteSector = new QCheckBox(QStringLiteral("Производить запись в сектор"), gbUnStable);
    chbWriteSector->setObjectName(QStringLiteral("chbWriteSector"));
    auto* unstableLayout = new QFormLayout(gbUnStable);
    unstableLayout->addRow(QStringLiteral("Время верификации, мс"), speTimeOut);
    unstableLayout->addRow(chbWriteSector);

    auto* modes = new QVBoxLayout;
    modes->addWidget(rgbDirect);
    modes->addWidget(rgbKesh);
    auto* settingsLayout = new QHBoxLayout(pSettings);
    settingsLayout->setContentsMargins(0, 0, 0, 0);
    settingsLayout->addWidget(gbDiapazon);
    settingsLayout->addLayout(modes);
    settingsLayout->addWidget(gbUnStable);

    // The report, disabled.
    gbReport = new QGroupBox(QStringLiteral(" Отчет "), this);
    gbReport->setObjectName(QStringLiteral("gbReport"));
    lbError = new QListWidget(gbReport);
    lbError->setObjectName(QStringLiteral("lbError"));
    bbSave = Button("bbSave", QStringLiteral("Сохранить"), gbReport);
    bbSave->setEnabled(false);
    auto* reportLayout = new QVBoxLayout(gbReport);
    reportLayout->addWidget(lbError, 1);
    auto* saveRow = new QHBoxLayout;
    saveRow->addStretch(1);
    saveRow->addWidget(bbSave);
    reportLayout->addLayout(saveRow);
    gbReport->setEnabled(false);

    // Buttons.
    bbPause = Button("bbPause", QStringLiteral("Пауза"), this);
    bbPause->setEnabled(false);
    bbHelp = Button("bbHelp", QStringLiteral("Help"), this);
    bbStart = Button("bbStart", QStringLiteral("Start"), this);
    bbStop = Button("bbStop", QStringLiteral("Stop"), this);
    bbClose = Button("bbClose", QStringLiteral("Close"), this);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(SetRunButtons(bbStart, bbStop, bbClose));  // "Stop" lies over "Start", hidden
    buttons->addWidget(bbPause);
    buttons->addWidget(bbClose);
    buttons->addWidget(bbHelp);
    buttons->addStretch(1);

    // Status bar: four panels, empty.
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    const char* const samples[4] = {"000000000000", "Дефектов: 000000000", "Предупреждений: 000000000",
                                    "Оставшееся время: 000:00:00"};
    for (size_t i = 0; i < Panels.size(); ++i) {
        auto* l = new QLabel(StatusBar);
        l->setObjectName(QStringLiteral("Panel%1").arg(i));
        l->setFrameShape(QFrame::StyledPanel);
        l->setFrameShadow(QFrame::Sunken);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QString::fromUtf8(samples[i])) + 12);
        StatusBar->addWidget(l, 1);
        Panels[i] = l;
    }

    // Off, and nothing listens to it.
    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(1000);

    auto* middle = new QHBoxLayout;
    auto* work = new QVBoxLayout;
    work->addWidget(pSettings);
    work->addWidget(gbReport, 1);
    middle->addLayout(work, 1);
    middle->addLayout(buttons);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(4, 4, 4, 0);
    top->addWidget(pGraf, 1);
    top->addLayout(middle, 1);
    top->addWidget(StatusBar);

    connect(bbStart, &QPushButton::clicked, this, &TfrmDefectoscop::bbStartClick);
    resize(std::max(sizeHint().width(), 760), 600);
}

void TfrmDefectoscop::FormCreate()
{
    ata::IdentifyBlock id{};
    if (!(IdentifyDevice(id.Bytes()) & 0xFF)) {
        // The window opens all the same, with the fields' own values.
        ShowError(parentWidget(), QStringLiteral("Ошибка идентификации устройства!"));
        return;
    }
    const defect::ScopeDrive d = defect::FromIdentify(id, m_lba48);
    if (d.refused) {
        ShowError(parentWidget(), QStringLiteral("Накопитель защищен паролем!\nОперация отменена!"));
        m_showAllowed = false;  // closed at once; what follows is still done
    }
    Ctx().Model = d.model;
    setWindowTitle(d.caption);
    m_lba48 = d.lba48;
    m_maxLba = d.maxLba;
    // Both fields run from 0 to the highest LBA (a drive without sectors
    // gives 0 to 0).
    speStopLBA->setRange(0, m_maxLba);
    speStopLBA->setValue(m_maxLba);
    speStartLBA->setRange(0, m_maxLba);
    speStartLBA->setValue(0);
}

void TfrmDefectoscop::bbStartClick()
{
    // No test is run, and the settings are not read.
    Panels[1]->setText(QStringLiteral("Дефектов: 0"));
    Panels[2]->setText(QStringLiteral("Предупреждений: 0"));
    Panels[3]->setText(QStringLiteral("Оставшееся время: "));
}

QString TfrmDefectoscop::StatusPanel(int i) const { return Panels[size_t(i)]->text(); }

void ShowDefectScope(QWidget* owner)
{
    const auto form = std::make_unique<TfrmDefectoscop>(owner);
    if (form->ShowAllowed())
        ExecToolWindow(*form);
}
