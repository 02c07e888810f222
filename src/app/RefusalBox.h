#pragma once
// How a command refused by the in-use guard (hw/InUseGuard.h) reaches the
// user of the window: an error box with the guard's sentence, which names
// what holds the drive.  The windows of the writing operations need not know:
// they see a failed command and answer it as they answer any failure (their
// own message, or a beep in a loop), and this box says why.
//
// The box is posted to the UI thread, so it opens where the window lets
// events run (a loop's pump, its own message box) and never inside the
// command layer.  A loop that meets the refusal at every block gets one box:
// refusals while the box is waiting or open, and those of the same window
// that follow each other closely after it, are not shown again.  Another
// window (the operation the user starts next) gets its own box.
#include <QString>
#include <chrono>

class QWidget;

// The rule of one box per burst of refusals.
class RefusalBursts {
public:
    using Clock = std::chrono::steady_clock;
    explicit RefusalBursts(std::chrono::milliseconds quiet = std::chrono::seconds(3)) : m_quiet(quiet) {}
    // A refusal came while `window` was the active modal window (a number
    // of its own for every window; 0: none): true when its box is to be
    // shown now.
    bool Show(const QString& text, quintptr window, Clock::time_point now);
    // The box was closed.
    void Closed(Clock::time_point now);

private:
    std::chrono::milliseconds m_quiet;
    bool m_open = false;
    QString m_text;
    quintptr m_window = 0;
    Clock::time_point m_last{};
};

// Sends the guard's refusals to error boxes over the active window (or
// `fallbackParent`) from now on; RemoveRefusalBox() stops it.
void InstallRefusalBox(QWidget* fallbackParent);
void RemoveRefusalBox();
