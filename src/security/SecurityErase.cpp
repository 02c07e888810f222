#include "security/SecurityErase.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>
#include <memory>

#include "common/Format.h"
#include "common/Services.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "info/IdentifyReport.h"
#include "security/SecurityDrive.h"
#include "security/SecurityRules.h"
#include "select/RadioGroup.h"

using namespace security;

namespace {

constexpr int kHelpContext = 1050;
constexpr int kPollMs = 100;  // the wait between two passes of the poll


QLineEdit* TimeBox(const char* name, bool bold, QWidget* parent)
{
    auto* e = new QLineEdit(FormatHMS(0), parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->setAlignment(Qt::AlignRight);
    if (bold) {
        QFont f = e->font();
        f.setBold(true);
        e->setFont(f);
    }
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance(kNoEstimate.toString() + QStringLiteral("00")));
    return e;
}

}  // namespace

TfrmSecurityErase::TfrmSecurityErase(QWidget* owner) : LongRunForm(owner)
{
    setObjectName(QStringLiteral("frmSecurityErase"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("SECURITY Erase"));
    BuildUi();
    FormCreate();
}

void TfrmSecurityErase::BuildUi()
{
    rgbEraseType = new RadioGroup(QStringLiteral(" Тип стирания  "),
                                  {QStringLiteral("Обычное стирание"), QStringLiteral("Улучшенное стирание")}, 2, this);
    rgbEraseType->setObjectName(QStringLiteral("rgbEraseType"));
    rgbEraseType->SetItemIndex(0);
    for (int i = 0; i < rgbEraseType->Count(); ++i)
        connect(rgbEraseType->Button(i), &QRadioButton::clicked, this, &TfrmSecurityErase::rgbEraseTypeClick);

    // Display only: the two times stay legible.
    gbTime = new QGroupBox(this);
    gbTime->setObjectName(QStringLiteral("gbTime"));
    Label1 = new QLabel(QStringLiteral("Время выполнения"), gbTime);
    Label1->setObjectName(QStringLiteral("Label1"));
    mTime = TimeBox("mTime", false, gbTime);
    Label2 = new QLabel(QStringLiteral("Оставшееся время"), gbTime);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    mElapsedTime = TimeBox("mElapsedTime", true, gbTime);
    auto* times = new QGridLayout(gbTime);
    times->addWidget(Label1, 0, 0);
    times->addWidget(mTime, 0, 1);
    times->addWidget(Label2, 1, 0);
    times->addWidget(mElapsedTime, 1, 1);

    bbStart = MakeButton("bbStart", QStringLiteral("Start"), this);
    bbStop = MakeButton("bbStop", QStringLiteral("Stop"), this);
    bbClose = MakeButton("bbClose", QStringLiteral("Close"), this);
    bbHelp = MakeButton("bbHelp", QStringLiteral("Help"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(SetRunButtons(bbStart, bbStop, bbClose));  // "Stop" lies over "Start", hidden
    buttons->addWidget(bbClose);
    buttons->addWidget(bbHelp);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(1000);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rgbEraseType);
    layout->addWidget(gbTime);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(bbStart, &QPushButton::clicked, this, &TfrmSecurityErase::bbStartClick);
    connect(bbHelp, &QPushButton::clicked, this, &TfrmSecurityErase::bbHelpClick);
    connect(Timer, &QTimer::timeout, this, &TfrmSecurityErase::TimerTimer);
}

void TfrmSecurityErase::FormCreate()
{
    ata::IdentifyBlock id{};
    m_identified = IdentifyDevice(id.Bytes()) & 0xFF;
    if (!m_identified) {
        id = {};
        ShowError(parentWidget(), info::kIdentifyFailed.toString());
        bbStart->setEnabled(false);
        rgbEraseType->setEnabled(false);
    }
    m_model = TrimIdentifyText(id.Bytes() + 2 * ata::kModelField.firstWord, 2 * ata::kModelField.words);
    setWindowTitle(EraseCaption(false, m_model));
    // The enhanced erase reaches the drive only when the drive has it.
    m_enhancedSupported = EnhancedEraseSupported(id.Word(128));
    rgbEraseType->Button(1)->setEnabled(m_enhancedSupported);
    if (ata::IdentifyBlock::Valid(id.Word(82))) {
        const EraseEstimates e = EstimatesFromIdentify(id);
        m_normalSeconds = e.normal;
        m_enhancedSeconds = e.enhanced;
        m_remainingSeconds = m_normalSeconds;
        mElapsedTime->setText(FormatHMS(m_remainingSeconds));
    }
}

TfrmSecurityErase::~TfrmSecurityErase()
{
    // A drive still erasing (the program quit meanwhile) would not answer
    // before the time-out: it is left alone.
    if (!m_driveErasing)
        RefreshPasswordPanel();
}

void TfrmSecurityErase::rgbEraseTypeClick()
{
    const bool enhanced = rgbEraseType->ItemIndex() == 1;
    m_remainingSeconds = enhanced ? m_enhancedSeconds : m_normalSeconds;
    setWindowTitle(EraseCaption(enhanced, m_model));
    mElapsedTime->setText(FormatHMS(m_remainingSeconds));
}

void TfrmSecurityErase::bbStartClick()
{
    if (Running() || !m_identified)
        return;
    rgbEraseTypeClick();
    m_elapsedSeconds = 0;
    m_eraseFailed = false;
    m_completed = false;
    mTime->setText(FormatHMS(0));
    rgbEraseType->setEnabled(false);
    BeginRun(windowTitle());  // Stop in Start's place, Close disabled
    ShowCaption(kRunningSuffix.toString());

    UiLoopGuard loop(this);
    m_polling = true;
    RunErase(loop);
    if (loop.WindowGone())
        return;  // destroyed outright: nothing of it may be touched
    m_polling = false;
    if (!Running())
        return;  // FinishErase has ended the run
    if (loop.Abandoned()) {
        // The program is quitting or the window going: nothing is asked and
        // nothing more sent.  A drive still erasing ends on its own, and its
        // erase clears the password.
        Timer->stop();
        m_eraseRunning = false;
        EndRun();
        return;
    }
    if (StopRequested()) {
        if (!m_eraseRunning)
            ShowCaption(kCancelled);  // stopped before the first command
        FinishErase();
    }
    // Otherwise an unexpected error stopped the sequence: the window stays
    // as it is until Stop.
}

void TfrmSecurityErase::RunErase(UiLoopGuard& loop)
{
    if (!loop.Pump())
        return;  // pending messages handled once: a stop there sends nothing
    try {
        m_eraseRunning = true;
        m_passwordSet = Send(kErasePassword, 0, 0, ata::kCmdSecSetPassword);
        if (!m_passwordSet)
            return Fail(kSetPasswordFailed);
        SoftReset();
        if (!Send(kErasePassword, 0, 0, ata::kCmdSecErasePrepare))
            return Fail(kPrepareFailed);
        const uint8_t enhanced = m_enhancedSupported && rgbEraseType->ItemIndex() == 1 ? 1 : 0;
        Send(kErasePassword, 0, enhanced, ata::kCmdSecEraseUnit);
        if (ERR() & 0xFF)
            return Fail(kUnitRefused);
        m_driveErasing = true;
        Timer->start();
        emit EraseStarted();
        while (m_eraseRunning && !StopRequested()) {  // a confirmed stop ends it before the next poll
            if ((WaitReady() & 0xFF) == 0) {
                m_driveErasing = false;
                m_eraseRunning = false;
                m_completed = true;
                ShowCaption(kDone);
                return FinishErase();
            }
            if ((WaitReady() & 0xFF) == 255) {
                m_driveErasing = false;
                return Fail(kEraseFailed);
            }
            if (!Wait(loop, kPollMs))
                return;
        }
    } catch (const std::exception&) {
        ShowError(this, kEraseRaised.toString());
        RemovePassword();
    }
}

bool TfrmSecurityErase::Wait(UiLoopGuard& loop, int ms)
{
    const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    QTimer wake;  // ends the wait for events when nothing else comes
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        if (!loop.Pump())
            return false;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return true;
        wake.start(int(left));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void TfrmSecurityErase::Fail(QStringView text)
{
    m_errorText = text.toString();
    m_eraseFailed = true;
    FinishErase();
}

void TfrmSecurityErase::FinishErase()
{
    if (m_eraseRunning) {
        if (m_eraseFailed) {
            ShowCaption(kFailed);
            ShowError(this, m_errorText);
            ExplainRefusal(this, ReadWord128());
        } else {
            ShowCaption(kCancelled);  // Stop, confirmed
        }
        RemovePassword();
    }
    Timer->stop();
    m_passwordSet = false;
    if (m_completed)
        ShowMessage(this, MsgKind::InformationYes, kEraseDone.toString());
    m_eraseFailed = false;
    m_eraseRunning = false;
    m_completed = false;
    rgbEraseType->setEnabled(true);
    EndRun();
}

void TfrmSecurityErase::RemovePassword()
{
    if (!m_passwordSet)
        return;
    if (!(SoftReset() & 0xFF)) {
        ShowError(this, kPasswordLeft.toString());
        return;
    }
    const bool unlocked = Send(kErasePassword, 0, 0, ata::kCmdSecUnlock);
    const bool disabled = Send(kErasePassword, 0, 0, ata::kCmdSecDisablePassword);
    SoftReset();
    m_passwordSet = false;
    if (unlocked && disabled)
        return;
    // A refused request need not mean the password stayed (an erase that
    // ended meanwhile has removed it): the drive says whether it did.
    const std::optional<uint16_t> word128 = ReadWord128();
    if (!word128 || PasswordEnabled(*word128))
        ShowError(this, kPasswordLeft.toString());
}

bool TfrmSecurityErase::ConfirmStop()
{
    // Before the first command, and after a failure already told, there is
    // nothing of the drive's to abort.
    if (!m_eraseRunning || m_eraseFailed)
        return true;
    return AskYesNo(this, kAbortQuestion.toString());
}

void TfrmSecurityErase::StopRun()
{
    // While the sequence polls, it ends the run itself once the loop has
    // left; after an unexpected error nothing polls any more.
    if (!m_polling)
        FinishErase();
}

void TfrmSecurityErase::TimerTimer()
{
    ++m_elapsedSeconds;
    mTime->setText(FormatHMS(m_elapsedSeconds));
    if (m_remainingSeconds > 0)
        --m_remainingSeconds;
    mElapsedTime->setText(FormatHMS(m_remainingSeconds));
}

void TfrmSecurityErase::bbHelpClick() { ShowHelpContext(this, kHelpContext); }

void ShowSecurityErase(QWidget* owner)
{
    const auto form = std::make_unique<TfrmSecurityErase>(owner);
    ExecToolWindow(*form);
}
