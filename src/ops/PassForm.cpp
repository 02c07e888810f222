#include "ops/PassForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "common/Clock.h"
#include "common/Services.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "ops/OpsRules.h"
#include "surface/ScanRules.h"

namespace {

QPushButton* Button(const char* name, const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QLineEdit* Box(const char* name, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(true);
    // Room for the largest LBA and for hundreds of hours.
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("000000000000000")) + 12);
    return e;
}

}  // namespace

TSectorPassForm::TSectorPassForm(QWidget* owner, const char* elapsedName, const QString& helpText, int helpContext)
    : LongRunForm(owner), IdentifyCommand(&::IdentifyDevice), m_helpContext(helpContext)
{
    CounterLBA = new QProgressBar(this);
    CounterLBA->setObjectName(QStringLiteral("CounterLBA"));
    CounterLBA->setRange(0, kGaugeSteps);
    CounterLBA->setValue(0);
    CounterLBA->setTextVisible(false);
    {
        QPalette p = CounterLBA->palette();
        p.setColor(QPalette::Highlight, QColor(0, 0, 128));  // navy
        CounterLBA->setPalette(p);
    }
    Label1 = new QLabel(QStringLiteral("Текущий LBA"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    eCurLBA = Box("eCurLBA", this);
    Label15 = new QLabel(QStringLiteral("Оставшаеся время"), this);
    Label15->setObjectName(QStringLiteral("Label15"));
    ElapsedBox = Box(elapsedName, this);

    bbStart = Button("bbStart", QStringLiteral("Config"), this);
    bbStop = Button("bbStop", QStringLiteral("Stop"), this);
    bbClose = Button("bbClose", QStringLiteral("Close"), this);
    bbHelp = Button("bbHelp", helpText, this);
    connect(bbHelp, &QPushButton::clicked, this, &TSectorPassForm::bbHelpClick);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(1000);
    connect(Timer, &QTimer::timeout, this, &TSectorPassForm::TimerTimer);

    auto* fields = new QGridLayout;
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(eCurLBA, 1, 0);
    fields->addWidget(Label15, 0, 1);
    fields->addWidget(ElapsedBox, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(SetRunButtons(bbStart, bbStop, bbClose));  // "Stop" lies over "Config", hidden
    buttons->addWidget(bbClose);
    buttons->addWidget(bbHelp);
    auto* top = new QVBoxLayout(this);
    top->addWidget(CounterLBA);
    top->addLayout(fields);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);
}

bool TSectorPassForm::IdentifyDrive(ata::IdentifyBlock& id)
{
    if (IdentifyCommand(id.Bytes()) & 0xFF)
        return true;
    ShowError(this, QStringLiteral("Ошибка идентификации устройства!"));
    return false;
}

void TSectorPassForm::BeginPass(int64_t start, int64_t end)
{
    m_startLba = start;
    m_endLba = end;
    m_currentLba = start;
    CounterLBA->setValue(0);
}

void TSectorPassForm::ShowCurrent(int64_t current)
{
    m_currentLba = current;
    CounterLBA->setValue(scan::ProgressPosition(current, m_startLba, m_endLba, kGaugeSteps));
    eCurLBA->setText(QString::number(current));
}

void TSectorPassForm::StartClock()
{
    m_startTick = GetTickCount();
    Timer->start();
}

void TSectorPassForm::TimerTimer()
{
    const uint32_t elapsed = GetTickCount() - m_startTick;
    ElapsedBox->setText(ops::RemainingTimeText(
        scan::RemainingSeconds(m_msPerSector, elapsed, m_currentLba, m_startLba, m_endLba)));
}

void TSectorPassForm::bbHelpClick() { ShowHelpContext(this, m_helpContext); }
