#pragma once
// What tool windows use of the main window: its status bar panels, the
// register monitor of the current connection, its caption, and the hand-off
// of a minimised long-running window.  The main window implements it; tests
// install a fake.
#include <QString>

class QWidget;
class MonitorControl;

class Shell {
public:
    virtual ~Shell() = default;
    virtual void SetStatusPanel(int index, const QString& text) = 0;
    virtual QString StatusPanel(int index) const = 0;
    // The current connection's monitor thread (may be null).
    virtual MonitorControl* MonitorThread() const = 0;
    virtual QString Caption() const = 0;
    virtual QWidget* Window() = 0;
    // MinimizedForm: the long-running window to show again when the
    // application is restored.
    virtual void SetMinimizedForm(QWidget* form) = 0;
    virtual QWidget* MinimizedForm() const = 0;
    // Minimise the whole application (the main window and what it owns).
    virtual void MinimizeApplication() = 0;
};

// The process's main window; null before it exists.
Shell* MainShell();
void SetMainShell(Shell* shell);

// The minimise hand-off of a long-running tool window: it becomes the
// shell's MinimizedForm, hides, and the application is minimised.  Returns
// false (and does nothing) without a shell.
bool MinimizeToShell(QWidget* form);

// The other half, when the application is restored: shows the handed-off
// window again, no longer minimised, on top.
void ShowMinimizedForm(QWidget* form);

// Writes a status panel of the main window when there is one.
void SetMainStatusPanel(int index, const QString& text);
