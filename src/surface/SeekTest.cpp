#include "surface/SeekTest.h"
#include "surface/LineChart.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <chrono>

#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/Services.h"
#include "hw/Ata.h"
#include "info/IdentifyReport.h"
#include "info/SmartData.h"
#include "select/RadioGroup.h"
#include "surface/Int64SpinBox.h"

using namespace stress;

namespace {

const QString kSection = QStringLiteral("StressTest");
constexpr int kHelpContext = 200;
constexpr int kChartWidth = 345;

QLineEdit* ResultBox(const char* name, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);  // display only
    e->setMinimumWidth(90);
    e->setMaximumWidth(110);
    return e;
}

void SetTextColour(QWidget* w, QPalette::ColorRole role, const QColor& colour)
{
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

void SetTextIfChanged(QLineEdit* e, const QString& text)
{
    if (e->text() != text)
        e->setText(text);
}

}  // namespace

// ---- construction ------------------------------------------------------------

TfrmSeekTest::TfrmSeekTest(QWidget* owner) : LongRunForm(owner)
{
    setObjectName(QStringLiteral("frmSeekTest"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(kCaption);
    BuildUi();
    FormCreate();
    // The user's choice of command sets the range limits (FormCreate has
    // done so for the configured one).
    for (int i = 0; i < rgbCommand->Count(); ++i)
        connect(rgbCommand->Button(i), &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rgbCommandClick();
        });
}

TfrmSeekTest::~TfrmSeekTest()
{
    // SMART back off when this window switched it on.
    if (m_smartUsable && m_smartSwitchedOn && !(SetSMARTEnabled(0) & 0xFF))
        ShowError(parentWidget(), info::kSmartDisableFailed.toString());
}

void TfrmSeekTest::BuildUi()
{
    // Range.
    gbDiapazon = new QGroupBox(QStringLiteral(" Границы диапазона "), this);
    gbDiapazon->setObjectName(QStringLiteral("gbDiapazon"));
    speLBA1 = new Int64SpinBox(gbDiapazon);
    speLBA1->setObjectName(QStringLiteral("speLBA1"));
    speLBA2 = new Int64SpinBox(gbDiapazon);
    speLBA2->setObjectName(QStringLiteral("speLBA2"));
    speLBA1->setRange(0, 0);
    speLBA2->setRange(0, 0);
    auto* range = new QFormLayout(gbDiapazon);
    range->addRow(new QLabel(QStringLiteral("Начальный LBA"), gbDiapazon), speLBA1);
    range->addRow(new QLabel(QStringLiteral("Конечный LBA"), gbDiapazon), speLBA2);

    rgbKind = new RadioGroup(QStringLiteral(" Адресация "),
                             {QStringLiteral("Границы диапазона "), QStringLiteral("Случайный выбор")}, 1, this);
    rgbKind->setObjectName(QStringLiteral("rgbKind"));
    rgbCommand = new RadioGroup(QStringLiteral(" Тип проверки  "), {QStringLiteral("Seek"), QStringLiteral("Verify")},
                                2, this);
    rgbCommand->setObjectName(QStringLiteral("rgbCommand"));

    // Results: display only (read-only boxes that take no focus, so that
    // their colours stay readable).
    GroupBox2 = new QGroupBox(QStringLiteral(" Результаты "), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    mTemperature = ResultBox("mTemperature", GroupBox2);
    mTime = ResultBox("mTime", GroupBox2);
    mMinTime = ResultBox("mMinTime", GroupBox2);
    mAvgTime = ResultBox("mAvgTime", GroupBox2);
    mMaxTime = ResultBox("mMaxTime", GroupBox2);
    mError = ResultBox("mError", GroupBox2);
    QFont bold = mAvgTime->font();
    bold.setBold(true);
    mAvgTime->setFont(bold);
    SetTextColour(mError, QPalette::Text, Qt::red);
    auto* avgLabel = new QLabel(QStringLiteral("Среднее время"), GroupBox2);
    avgLabel->setFont(bold);
    lError = new QLabel(QStringLiteral("Количество ошибок"), GroupBox2);
    lError->setObjectName(QStringLiteral("lError"));
    auto* results = new QFormLayout(GroupBox2);
    results->addRow(new QLabel(QStringLiteral("Температура HDD"), GroupBox2), mTemperature);
    results->addRow(new QLabel(QStringLiteral("Время работы теста"), GroupBox2), mTime);
    results->addRow(new QLabel(QStringLiteral("Минимальное время "), GroupBox2), mMinTime);
    results->addRow(avgLabel, mAvgTime);
    results->addRow(new QLabel(QStringLiteral("Максимальное время"), GroupBox2), mMaxTime);
    results->addRow(lError, mError);

    chbCheckTemp = new QCheckBox(QStringLiteral("Контролировать температуру HDD"), this);
    chbCheckTemp->setObjectName(QStringLiteral("chbCheckTemp"));
    chbCheckTemp->setChecked(true);

    // Temperature chart.
    const LineChart chart = MakeLineChart(this, QColor(255, 0, 0), 2, {}, {}, kInitialAxisMaximum);
    Graf = chart.chart;
    Series1 = chart.series;
    AxisX = chart.axisX;
    AxisY = chart.axisY;
    GrafView = chart.view;
    GrafView->setFrameShape(QFrame::NoFrame);
    GrafView->setFixedWidth(kChartWidth);

    // Buttons.
    bbStart = new QPushButton(QStringLiteral("Start"), this);
    bbStart->setObjectName(QStringLiteral("bbStart"));
    bbStop = new QPushButton(QStringLiteral("Stop"), this);
    bbStop->setObjectName(QStringLiteral("bbStop"));
    bbClose = new QPushButton(QStringLiteral("Close"), this);
    bbClose->setObjectName(QStringLiteral("bbClose"));
    bbHelp = new QPushButton(QStringLiteral("Help"), this);
    bbHelp->setObjectName(QStringLiteral("bbHelp"));
    for (QPushButton* b : {bbStart, bbStop, bbClose, bbHelp})
        b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bbHelp);
    buttons->addWidget(bbClose);
    buttons->addWidget(SetRunButtons(bbStart, bbStop, bbClose));  // bbStop lies exactly over bbStart

    Timer = new QTimer(this);
    Timer->setInterval(1000);

    // Layout: the settings and results on the left, the chart on the right
    // (the window narrows when the chart is hidden).
    auto* left = new QVBoxLayout;
    left->addWidget(gbDiapazon);
    left->addWidget(rgbKind);
    left->addWidget(rgbCommand);
    left->addWidget(GroupBox2);
    left->addWidget(chbCheckTemp);
    left->addStretch(1);
    auto* middle = new QHBoxLayout;
    middle->addLayout(left);
    middle->addWidget(GrafView);
    auto* top = new QVBoxLayout(this);
    top->addLayout(middle);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(bbStart, &QPushButton::clicked, this, &TfrmSeekTest::bbStartClick);
    connect(bbHelp, &QPushButton::clicked, this, &TfrmSeekTest::bbHelpClick);
    connect(chbCheckTemp, &QCheckBox::toggled, this, &TfrmSeekTest::chbCheckTempClick);
    connect(Timer, &QTimer::timeout, this, &TfrmSeekTest::TimerTimer);
}

void TfrmSeekTest::FormCreate()
{
    m_sample = 0;
    if (IniFile* ini = Ctx().IniFile.get()) {
        m_stopOnError = ini->ReadBool(kSection, QStringLiteral("StopError"), true);
        rgbKind->SetItemIndex(ini->ReadInteger(kSection, QStringLiteral("Adres"), 1));
        rgbCommand->SetItemIndex(ini->ReadInteger(kSection, QStringLiteral("Command"), 1));
    } else {
        rgbKind->SetItemIndex(1);
        rgbCommand->SetItemIndex(1);
    }
    m_random.seed(uint64_t(std::chrono::system_clock::now().time_since_epoch().count()));

    ata::IdentifyBlock id{};
    if (!(IdentifyDevice(id.Bytes()) & 0xFF)) {
        ShowError(this, info::kIdentifyFailed.toString());
        bbStart->setEnabled(false);
        rgbKind->setEnabled(false);
        gbDiapazon->setEnabled(false);
        return;
    }
    m_identified = true;
    m_drive = DriveFromIdentify(id);
    rgbCommandClick();

    m_smartUsable = m_drive.smartUsable;
    if (m_drive.smartSwitchOn) {
        m_smartSwitchedOn = true;
        if (!(SetSMARTEnabled(1) & 0xFF))
            m_smartUsable = false;
    }
    setWindowTitle(RunCaption(m_drive.model));
}

Command TfrmSeekTest::CommandChoice() const
{
    return rgbCommand->ItemIndex() == int(Command::Seek) ? Command::Seek : Command::Verify;
}

Addressing TfrmSeekTest::AddressingChoice() const
{
    return rgbKind->ItemIndex() == int(Addressing::Range) ? Addressing::Range : Addressing::Random;
}

void TfrmSeekTest::rgbCommandClick()
{
    const Command command = CommandChoice();
    if (SeekLimitedTo28Bit(m_drive, command))
        ShowInfo(this, kSeekNeedsLba28);
    const int64_t limit = RangeLimit(m_drive, command);
    speLBA1->setRange(0, limit);  // the start keeps its value within the limit
    speLBA2->setRange(0, limit);
    speLBA2->setValue(limit);
}

// ---- the run -------------------------------------------------------------------

void TfrmSeekTest::SetInputsEnabled(bool on)
{
    gbDiapazon->setEnabled(on);
    rgbKind->setEnabled(on);
    rgbCommand->setEnabled(on);
}

void TfrmSeekTest::bbStartClick()
{
    if (Running() || !m_identified)
        return;
    const int64_t start = speLBA1->value();
    const int64_t end = speLBA2->value();
    if (!RangeAccepted(start, end)) {
        ShowError(this, kRangeReversed);
        return;
    }

    m_commandsAllowed = true;
    m_elapsed = 0;
    m_sample = 0;
    ClearChart();
    mTemperature->setText(ReadTemperature());
    m_ticks = 0;

    SetInputsEnabled(false);
    m_startLba = start;
    m_endLba = end;
    m_failedStop = false;
    m_stats = TimeStats{};
    BeginRun(RunCaption(m_drive.model));  // Stop in Start's place, Close disabled
    mTime->setText(ElapsedText(0));
    Timer->start();

    UiLoopGuard loop(this);
    if (loop.Pump())
        RunTest(loop);
    if (loop.WindowGone())
        return;  // destroyed outright: nothing of it may be touched
    Timer->stop();
    SetInputsEnabled(true);
    ShowCaption((m_failedStop ? kFailed : QString()) + kCancelled);
    EndRun();
}

void TfrmSeekTest::RunTest(UiLoopGuard& loop)
{
    mTemperature->setText(ReadTemperature());
    m_axesAutomatic = true;
    FitAxes();
    TestLoop(loop, CommandChoice());
}

void TfrmSeekTest::TestLoop(UiLoopGuard& loop, Command command)
{
    Targets targets(AddressingChoice(), command, m_startLba, m_endLba, m_random());
    for (;;) {
        if (!m_commandsAllowed) {
            RequestStop();
            return;
        }
        const int64_t lba = targets.Next();
        const int32_t result = command == Command::Seek ? SeekLBA(lba) : VerifySectors(lba, 1, m_drive.lba48);
        if (result >= 0) {
            m_stats.AddSuccess(result);
            ShowTimes();
        } else {
            Beep();
            m_stats.AddFailure();
            ShowErrorCount();
            if (m_stopOnError) {
                m_failedStop = true;
                ShowCaption(kFailed);
                bbStopClick();
            }
            SoftReset();
        }
        emit CommandDone(lba, result);
        if (!loop.Pump())
            return;
    }
}

void TfrmSeekTest::ShowTimes()
{
    SetTextIfChanged(mMinTime, CommandTimeText(m_stats.minimum));
    SetTextIfChanged(mMaxTime, CommandTimeText(m_stats.maximum));
    SetTextIfChanged(mAvgTime, CommandTimeText(m_stats.average));
}

void TfrmSeekTest::ShowErrorCount()
{
    if (!m_errorRed) {
        // Red for the rest of the window's life; the count stays readable.
        m_errorRed = true;
        SetTextColour(lError, QPalette::WindowText, Qt::red);
        QPalette p = mError->palette();
        p.setColor(QPalette::Base, Qt::red);
        p.setColor(QPalette::Text, Qt::white);
        mError->setPalette(p);
    }
    mError->setText(QString::number(m_stats.errors));
}

void TfrmSeekTest::bbStopClick() { RequestStop(); }

void TfrmSeekTest::StopRun() { Timer->stop(); }

void TfrmSeekTest::TimerTimer()
{
    ++m_elapsed;
    mTime->setText(ElapsedText(m_elapsed));
    if (!chbCheckTemp->isChecked()) {
        mTemperature->setText(kDisabled);
        return;
    }
    if (TemperatureDue(m_ticks)) {
        // No command may start while the drive reads its attributes.
        m_commandsAllowed = false;
        mTemperature->setText(ReadTemperature());
        m_commandsAllowed = true;
    }
}

// ---- temperature -------------------------------------------------------------------

QString TfrmSeekTest::ReadTemperature()
{
    bool read = false;
    if (m_smartUsable)
        read = info::ReadSmartAttributes(m_smartData) & 0xFF;
    const TemperatureReading t = TemperatureFrom(m_smartUsable, read, m_smartData);
    if (t.resetDrive)
        SoftReset();
    if (t.degrees)
        AddChartPoint(m_sample++, *t.degrees);
    return t.text;
}

void TfrmSeekTest::ClearChart()
{
    Series1->clear();
    m_highestX = 0;
    m_highestY = 0;
}

void TfrmSeekTest::AddChartPoint(int x, int degrees)
{
    Series1->append(x, degrees);
    m_highestX = std::max(m_highestX, double(x));
    m_highestY = std::max(m_highestY, double(degrees));
    FitAxes();
}

void TfrmSeekTest::FitAxes()
{
    // Before the first run the axes keep their fixed range.
    if (!m_axesAutomatic)
        return;
    // Rounded up to a scale with round ticks.
    for (auto [axis, highest] : {std::pair{AxisX, m_highestX}, std::pair{AxisY, m_highestY}}) {
        axis->setRange(0, AutomaticMaximum(highest));
        axis->applyNiceNumbers();
    }
}

void TfrmSeekTest::chbCheckTempClick()
{
    if (chbCheckTemp->isChecked()) {
        m_sample = 0;
        ClearChart();
        GrafView->show();
    } else {
        GrafView->hide();
    }
}

void TfrmSeekTest::bbHelpClick() { ShowHelpContext(this, kHelpContext); }

// ---- entry point -------------------------------------------------------------------

void ShowSeekTest(QWidget* owner)
{
    TfrmSeekTest form(owner);
    ExecToolWindow(form);
}
