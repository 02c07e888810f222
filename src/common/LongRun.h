#pragma once
// What every long-running window shares (surface scan, stress test, drive
// erase, soft-bad creation, security erase), and the guard of the loops some
// of them run on the UI thread.
//
// LongRunForm, the base of such a window:
//  - the start button ("Start" or "Config") and "Stop" share one place, only
//    one of them shown: SetRunButtons() puts them there;
//  - "Close" is disabled while a run goes on, and the title-bar close is
//    refused; when idle both finish the window like any dialog;
//  - Esc asks for a stop while a run goes on, and never closes the window;
//  - the caption: BeginRun() shows the run's base caption, ShowCaption()
//    adds " - Выполнено", " - Отменено", " - Ошибка" (or a suffix of the
//    window's own) to it;
//  - minimising hands the window to the main window: it hides, the whole
//    application is minimised, and restoring the application shows it again
//    (Shell's MinimizedForm); under a window manager too.
//
//   class TfrmErase : public LongRunForm {
//       TfrmErase(QWidget* owner) : LongRunForm(owner) {
//           ...  layout->addWidget(SetRunButtons(bbStart, bbStop, bbClose));
//       }
//       void bbStartClick() {
//           BeginRun(QStringLiteral("Стирание - ") + model);
//           ... the run ...
//           ShowCaption(failed ? kFailed : StopRequested() ? kCancelled : kDone);
//           EndRun();
//       }
//       void StopRun() override { ... what else a stop means here ... }
//   };
//
// Show such a window with ExecToolWindow(): QDialog::exec() would return
// when the window hides itself into the main window.
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

class QPushButton;

class LongRunForm : public QDialog {
    Q_OBJECT
public:
    // Caption suffixes at the end of a run.
    static const QString kDone;       // " - Выполнено"
    static const QString kCancelled;  // " - Отменено"
    static const QString kFailed;     // " - Ошибка"

    bool Running() const { return m_running; }  // from BeginRun to EndRun
    bool StopRequested() const { return m_stopRequested; }
    QString BaseCaption() const { return m_baseCaption; }
    // The window may be closed: no run goes on.
    bool FormCloseQuery() const { return !m_running; }

    // "Stop" (the button, Esc): while a run goes on and no stop has been
    // asked for yet, and ConfirmStop() agrees, disables "Stop", marks the
    // stop request and calls StopRun().
    void RequestStop();

signals:
    // EndRun() has run: the window is idle again.
    void RunEnded();

protected:
    explicit LongRunForm(QWidget* owner = nullptr);

    // Puts `start` and `stop` in one place, sized for the wider of the two,
    // with "Stop" hidden; returns that place for the window's layout.
    // `close` closes the idle window.  Stop's click is RequestStop().
    QWidget* SetRunButtons(QPushButton* start, QPushButton* stop, QPushButton* close);

    // A run begins: the caption becomes `baseCaption`, the start button
    // hides, "Stop" shows (enabled), "Close" is disabled.
    void BeginRun(const QString& baseCaption);
    // Caption := the base caption + `suffix` (empty: the base caption alone).
    void ShowCaption(const QString& suffix = {});
    // The run is over: the start button comes back, "Stop" hides, "Close"
    // is enabled, RunEnded() is emitted.  The caption is left as it is.
    void EndRun();

    // The window's own part of a stop (a worker to tell, a timer to stop).
    virtual void StopRun() {}
    // Asked by RequestStop() before anything changes, for a window whose
    // stop must be confirmed: false leaves the run going as if Stop had not
    // been pressed.
    virtual bool ConfirmStop() { return true; }

    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void changeEvent(QEvent* e) override;
    void reject() override;  // Esc never closes the window

private:
    QPointer<QPushButton> m_start;
    QPointer<QPushButton> m_stop;
    QPointer<QPushButton> m_close;
    QString m_baseCaption;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_confirming = false;  // ConfirmStop() is asking
};

// A named push button that Enter never presses (a dialog's other buttons
// stay out of the way of its default one; a start button must be pressed).
QPushButton* MakeButton(const char* objectName, const QString& text, QWidget* parent);

// Gives a button the width of the widest of `texts`, so that changing its
// text ("Пауза" / "Продолжить") never moves the layout.
void FitButtonTexts(QPushButton* button, const QStringList& texts);

// Shows a tool window modally until it is finished (done(), accept(),
// reject(), the close box) and returns its result.  Unlike QDialog::exec()
// it survives the minimise hand-off: a window hidden into the main window's
// MinimizedForm stays open and comes back modal when the application is
// restored.  It returns early when the window is destroyed or the
// application quits.
int ExecToolWindow(QDialog& window);

// The guard of a loop that runs on the UI thread and lets pending events run
// after every command.  Whatever those events do (Stop, Esc, a timer, a
// minimise, a close request, the main window closing, the application
// quitting), the loop's window stays alive while the loop runs, and the loop
// learns when it has to end:
//
//   void TfrmErase::bbStartClick() {
//       BeginRun(...);
//       UiLoopGuard loop(this);
//       for (int64_t lba = start; lba < stop; lba += n) {
//           ... one command ...
//           if (!loop.Pump())
//               break;               // stop asked, application quitting, window gone
//       }
//       if (loop.WindowGone())
//           return;                  // destroyed outright: touch nothing of it
//       ShowCaption(...); EndRun();
//       if (!loop.Abandoned())
//           ShowInfo(this, ...);     // boxes only for a user still there
//   }
//
// While a guard lives, a deleteLater() of its window (WA_DeleteOnClose
// included) is held back, and done when the last guard of the window is
// gone.  A window deleted outright (its owner destroyed) cannot be held: the
// next Pump() returns false and WindowGone() says so.  Guards may nest.
// The application quitting is quit() or the last main window closing
// (QCoreApplication::exit() called directly is not seen).  Qt does not quit
// while a window without an owner refuses to close; tool windows have the
// main window as owner.  UI thread only.
class UiLoopGuard : public QObject {
public:
    explicit UiLoopGuard(LongRunForm* window);
    ~UiLoopGuard() override;
    UiLoopGuard(const UiLoopGuard&) = delete;
    UiLoopGuard& operator=(const UiLoopGuard&) = delete;

    // Lets the pending events run.  False when the loop must end: a stop
    // was asked for, the application is quitting, or the window is gone.
    bool Pump();

    bool WindowGone() const { return m_window.isNull(); }
    bool QuitRequested() const { return m_quit; }
    // The window is gone, going (its deletion is held back) or the
    // application is quitting: end without asking the user anything.
    bool Abandoned() const;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QPointer<LongRunForm> m_window;
    QObject* m_key;  // the window, as the registry of held deletions knows it
    bool m_quit = false;
    bool m_quitSeen = false;
};
