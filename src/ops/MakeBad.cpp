#include "ops/MakeBad.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <chrono>

#include "common/Services.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "ops/MakeBadParam.h"
#include "ops/OpsRules.h"

namespace {
const char* const kCaption = "Создание Soft-Bad";
}

TfrmMakeBAd::TfrmMakeBAd(QWidget* owner)
    : TSectorPassForm(owner, "mElapsedTime", QStringLiteral("&Help"), 400),
      MakeBadCommand(&::MakeSoftBad),
      m_random(quint32(std::chrono::steady_clock::now().time_since_epoch().count()))
{
    setObjectName(QStringLiteral("frmMakeBAd"));
    // A fixed dialog without system-menu buttons.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QString::fromUtf8(kCaption));
    ParamDialog = [](TfrmMakeBadParam& d) { return d.exec() == QDialog::Accepted; };
    connect(bbStart, &QPushButton::clicked, this, &TfrmMakeBAd::bbStartClick);
}

void TfrmMakeBAd::bbStartClick()
{
    if (Running())
        return;
    ata::IdentifyBlock id{};
    if (!IdentifyDrive(id))
        return;
    const ops::PassDrive drive = ops::SoftBadDrive(id, m_lba48);
    m_model = drive.model;
    m_lba48 = drive.lba48;
    if (m_lba48) {
        ShowInfo(this, ops::Lba48Refusal());
        return;
    }

    int64_t start = 0, end = 0;
    {
        // Gone before the pass: nothing of the window's may be left on this
        // stack should the window be destroyed while the pass runs.
        TfrmMakeBadParam dlg(this);
        dlg.Setup(drive.lastLba);
        if (!ParamDialog(dlg))
            return;
        start = dlg.StartLBA();
        end = dlg.EndLBA();
        m_randomMode = dlg.RandomMode();
    }
    BeginRun(QString::fromUtf8(kCaption) + m_model);  // no separator
    BeginPass(start, end);
    RunMakeBad();
}

bool TfrmMakeBAd::MakeOne(int64_t lba)
{
    if (MakeBadCommand(lba) & 0xFF)
        return true;
    // A drive the system uses refuses every sector alike (and the layer
    // has said why): the pass ends there.
    if (ops::RefusedAsInUse()) {
        m_refused = true;
        return false;
    }
    SoftReset();
    Beep();
    return false;
}

void TfrmMakeBAd::RunMakeBad()
{
    if (m_randomMode)
        RunRandom();
    else
        RunContinuous();
}

void TfrmMakeBAd::RunRandom()
{
    UiLoopGuard loop(this);
    bool going = loop.Pump();
    Label15->setText(QStringLiteral("Создано Soft-Bad"));
    CounterLBA->hide();
    m_created = 0;
    m_refused = false;
    while (going && !m_refused) {
        const int64_t target = ops::RandomTarget(StartLBA(), EndLBA(), m_random);
        if (MakeOne(target)) {
            eCurLBA->setText(QString::number(target));
            ++m_created;
            ElapsedBox->setText(QString::number(m_created));
        }
        going = loop.Pump();
    }
    if (loop.WindowGone())
        return;
    // Only a stop ends it, and that is its normal end.
    ShowCaption(m_refused ? kFailed : kDone);
    EndRun();
}

void TfrmMakeBAd::RunContinuous()
{
    UiLoopGuard loop(this);
    bool going = loop.Pump();
    // A random pass before hid these.
    Label15->setText(QStringLiteral("Оставшаеся время"));
    CounterLBA->show();
    if (going)
        StartClock();
    m_refused = false;
    for (int64_t lba = StartLBA(); going && lba < EndLBA();) {
        if (!MakeOne(lba) && m_refused)
            break;
        ++lba;  // also after a failure
        ShowCurrent(lba);
        going = loop.Pump();
    }
    if (loop.WindowGone())
        return;
    Timer->stop();
    ShowCaption(m_refused ? kFailed : CurrentLBA() >= EndLBA() ? kDone : kCancelled);
    EndRun();
}

void ShowMakeBadWindow(QWidget* owner)
{
    TfrmMakeBAd form(owner);
    ExecToolWindow(form);
}
