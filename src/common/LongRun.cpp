#include "common/LongRun.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <unordered_map>

#include "common/Shell.h"

const QString LongRunForm::kDone = QStringLiteral(" - Выполнено");
const QString LongRunForm::kCancelled = QStringLiteral(" - Отменено");
const QString LongRunForm::kFailed = QStringLiteral(" - Ошибка");

// ---- LongRunForm ---------------------------------------------------------------

LongRunForm::LongRunForm(QWidget* owner) : QDialog(owner) {}

QWidget* LongRunForm::SetRunButtons(QPushButton* start, QPushButton* stop, QPushButton* close)
{
    m_start = start;
    m_stop = stop;
    m_close = close;
    auto* place = new QWidget(this);
    place->setObjectName(QStringLiteral("RunButtons"));
    auto* grid = new QGridLayout(place);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(start, 0, 0);
    grid->addWidget(stop, 0, 0);  // exactly over the start button
    const int width = std::max(start->sizeHint().width(), stop->sizeHint().width());
    start->setMinimumWidth(width);
    stop->setMinimumWidth(width);
    stop->hide();
    connect(stop, &QPushButton::clicked, this, &LongRunForm::RequestStop);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    return place;
}

void LongRunForm::BeginRun(const QString& baseCaption)
{
    m_running = true;
    m_stopRequested = false;
    m_baseCaption = baseCaption;
    ShowCaption();
    if (m_start)
        m_start->hide();
    if (m_stop) {
        m_stop->show();
        m_stop->setEnabled(true);
    }
    if (m_close)
        m_close->setEnabled(false);
}

void LongRunForm::ShowCaption(const QString& suffix) { setWindowTitle(m_baseCaption + suffix); }

void LongRunForm::EndRun()
{
    m_running = false;
    if (m_start)
        m_start->show();
    if (m_stop) {
        m_stop->hide();
        m_stop->setEnabled(true);
    }
    if (m_close)
        m_close->setEnabled(true);
    emit RunEnded();
}

void LongRunForm::RequestStop()
{
    if (!m_running || m_stopRequested || m_confirming)
        return;
    m_confirming = true;
    const QPointer<LongRunForm> self(this);
    const bool confirmed = ConfirmStop();  // a question lets events run meanwhile
    if (!self)
        return;  // destroyed while it asked
    m_confirming = false;
    if (!confirmed || !m_running || m_stopRequested)
        return;
    m_stopRequested = true;
    if (m_stop)
        m_stop->setEnabled(false);
    StopRun();
}

void LongRunForm::closeEvent(QCloseEvent* e)
{
    if (!FormCloseQuery()) {
        e->ignore();
        return;
    }
    // Finished like any dialog, so whoever shows it modally sees it end.
    QDialog::done(QDialog::Rejected);
    e->accept();
}

void LongRunForm::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        RequestStop();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void LongRunForm::reject()
{
    // Esc never closes the window; "Close" and the close box do.
}

void LongRunForm::changeEvent(QEvent* e)
{
    QDialog::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(e);
    // Minimised by the user (the window manager, or the system command):
    // the window goes to the main window, which shows it again when the
    // application is restored.  Its own state is not touched here: asking
    // the manager to restore it would restore the whole application with it.
    // With a dialog of its own open over it (a range dialog, a message box)
    // the manager minimises and restores them all together: a hidden owner
    // would leave that dialog minimised for good.
    if (!(windowState() & Qt::WindowMinimized) || (change->oldState() & Qt::WindowMinimized) || !isVisible())
        return;
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this)
        return;
    MinimizeToShell(this);
}

// ---- helpers -----------------------------------------------------------------------

QPushButton* MakeButton(const char* objectName, const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(objectName));
    b->setAutoDefault(false);
    return b;
}

void FitButtonTexts(QPushButton* button, const QStringList& texts)
{
    const QString keep = button->text();
    int width = button->minimumWidth();
    for (const QString& t : texts) {
        button->setText(t);
        width = std::max(width, button->sizeHint().width());
    }
    button->setText(keep);
    button->setMinimumWidth(width);
}

int ExecToolWindow(QDialog& window)
{
    // QDialog::exec() ends its loop whenever the dialog is hidden, so a
    // window minimised into the main window would return from exec() and
    // be destroyed while its work goes on.  This loop ends only when the
    // window is finished (or destroyed, or the application quits).
    QPointer<QDialog> guard(&window);
    QEventLoop loop;
    int result = QDialog::Rejected;
    QObject::connect(&window, &QDialog::finished, &loop, [&](int r) {
        result = r;
        loop.quit();
    });
    QObject::connect(&window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window.setWindowModality(Qt::ApplicationModal);
    window.setResult(0);
    window.show();
    loop.exec(QEventLoop::DialogExec);
    if (guard && guard->isVisible())
        guard->hide();  // the application is quitting
    return result;
}

// ---- UiLoopGuard ---------------------------------------------------------------------

namespace {

// Per window with live guards: how many, and whether its deletion is held.
struct Held {
    int guards = 0;
    bool deletion = false;
};
std::unordered_map<const QObject*, Held> gHeld;

// Deletes a window once control is back in the event loop that asked for
// it, unless a loop of the window runs again by then (it waits once more).
class HeldDeletion : public QObject {
public:
    explicit HeldDeletion(LongRunForm* window) : m_window(window) {}
    ~HeldDeletion() override
    {
        LongRunForm* w = m_window.data();
        if (!w)
            return;
        const auto it = gHeld.find(w);
        if (it != gHeld.end())
            it->second.deletion = true;
        else
            delete w;
    }

private:
    QPointer<LongRunForm> m_window;
};

}  // namespace

UiLoopGuard::UiLoopGuard(LongRunForm* window) : m_window(window), m_key(window)
{
    ++gHeld[m_key].guards;
    // An application filter sees the quit request and the window's events.
    QCoreApplication::instance()->installEventFilter(this);
}

UiLoopGuard::~UiLoopGuard()
{
    const auto it = gHeld.find(m_key);
    if (it == gHeld.end() || --it->second.guards > 0)
        return;
    const bool deletion = it->second.deletion;
    gHeld.erase(it);
    if (deletion && m_window)
        (new HeldDeletion(m_window.data()))->deleteLater();
}

namespace {

// True when the application has been told to quit: a new event loop then
// does not run at all.  (Entering one also drops quit requests still
// waiting in the queue, so it is asked only after a quit was delivered.)
bool ExitRequested()
{
    QEventLoop probe;
    QMetaObject::invokeMethod(&probe, &QEventLoop::quit, Qt::QueuedConnection);
    return probe.exec() == -1;
}

}  // namespace

bool UiLoopGuard::Pump()
{
    if (Abandoned())
        return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (m_quitSeen) {
        // Delivered; Qt refuses it while a window without an owner refuses
        // to close.
        m_quitSeen = false;
        m_quit = ExitRequested();
    }
    return !Abandoned() && !m_window->StopRequested();
}

bool UiLoopGuard::Abandoned() const
{
    if (WindowGone() || m_quit)
        return true;
    const auto it = gHeld.find(m_key);
    return it != gHeld.end() && it->second.deletion;
}

bool UiLoopGuard::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
        m_quitSeen = true;
    } else if (e->type() == QEvent::DeferredDelete && watched == m_window.data()) {
        gHeld[m_key].deletion = true;
        return true;  // held until the last guard of the window is gone
    }
    return QObject::eventFilter(watched, e);
}
