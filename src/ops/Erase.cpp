#include "ops/Erase.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "common/Services.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "ops/EraseParam.h"
#include "ops/OpsRules.h"

namespace {
const char* const kCaption = "Стирание накопителя";
}

TfrmErase::TfrmErase(QWidget* owner)
    : TSectorPassForm(owner, "eElapsedTime", QStringLiteral("Help"), 300), EraseCommand(&::EraseSector)
{
    setObjectName(QStringLiteral("frmErase"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(kCaption));
    ParamDialog = [](TfrmEraseParam& d) { return d.exec() == QDialog::Accepted; };
    connect(bbStart, &QPushButton::clicked, this, &TfrmErase::bbStartClick);
}

void TfrmErase::bbStartClick()
{
    if (Running())
        return;
    ata::IdentifyBlock id{};
    if (!IdentifyDrive(id))
        return;
    const ops::PassDrive drive = ops::EraseDrive(id, m_lba48);
    m_model = drive.model;
    m_lba48 = drive.lba48;

    {
        // Gone before the pass: nothing of the window's may be left on this
        // stack should the window be destroyed while the pass runs.
        TfrmEraseParam dlg(this);
        dlg.Setup(drive.lastLba);
        if (!ParamDialog(dlg))
            return;
        const std::optional<uint8_t> filler = dlg.FillerByte();
        if (!filler)  // an answer that did not go through the dialog's OK
            return;
        m_sectorsPerCommand = dlg.SectorsPerCommand();
        m_randomFill = dlg.RandomFiller();
        m_fillByte = *filler;
        BeginPass(dlg.StartLBA(), dlg.EndLBA());
    }
    BeginRun(QString::fromUtf8(kCaption) + QStringLiteral(": ") + m_model);
    RunEraseLoop();
}

void TfrmErase::RunEraseLoop()
{
    UiLoopGuard loop(this);
    bool going = loop.Pump();
    if (going)
        StartClock();
    bool refused = false;
    for (int64_t lba = CurrentLBA(); going && lba < EndLBA();) {
        const int64_t count = ops::EraseCount(lba, EndLBA(), m_sectorsPerCommand);
        if (!(EraseCommand(lba, count, m_lba48, m_randomFill, m_fillByte) & 0xFF)) {
            // A drive the system uses refuses every block alike (and the
            // layer has said why): the pass ends there, written nowhere.
            if (ops::RefusedAsInUse()) {
                refused = true;
                break;
            }
            SoftReset();
            Beep();
        }
        lba += count;  // a failed block counts as done
        ShowCurrent(lba);
        going = loop.Pump();
    }
    if (loop.WindowGone())
        return;
    Timer->stop();
    // The range done (also when Stop came with its last block) or not.
    const bool completed = !refused && CurrentLBA() >= EndLBA();
    ShowCaption(refused ? kFailed : completed ? kDone : kCancelled);
    if (completed && !loop.Abandoned())
        Beep();
    EndRun();
    if (m_closeAfterPass && !loop.Abandoned()) {
        m_closeAfterPass = false;
        close();
    }
}

void TfrmErase::closeEvent(QCloseEvent* e)
{
    if (Running())
        m_closeAfterPass = true;
    TSectorPassForm::closeEvent(e);
}

void ShowEraseWindow(QWidget* owner)
{
    TfrmErase form(owner);
    ExecToolWindow(form);
}
