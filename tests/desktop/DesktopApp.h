#pragma once
// The program as a user starts it, for desktop checks: the built-in
// simulated machine, a program directory of its own (Voran.ini, Log/), and
// the main window connected through the selection dialog.
#include <QDialog>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "app/Main.h"
#include "common/Services.h"

namespace sim {
class Machine;
}

class DesktopApp {
public:
    struct Options {
        bool instant = true;  // the drives answer at once (timeScale 0)
        QString port = QStringLiteral("0170");  // the row chosen in the selection dialog
        bool autoDetect = false;                 // "AutoDetect" in Voran.ini
        // Runs the selection dialog; empty: choose `port` and press OK.
        std::function<int(TfrmSelectPort&)> selectDialog;
    };
    DesktopApp() : DesktopApp(Options{}) {}
    explicit DesktopApp(const Options& options);
    ~DesktopApp();

    TfrmMain& Main() { return *m_main; }
    QString ExeDir() const { return m_exeDir; }
    // Waits until the main window is on the screen, framed by the manager
    // and in its place.
    bool WaitShown();

    HelpRecorder help;

private:
    QTemporaryDir m_dir;
    QString m_exeDir;
    std::shared_ptr<sim::Machine> m_machine;
    std::unique_ptr<TfrmMain> m_main;
};

// Shows `dialog` modally as the program does (ExecToolWindow) and, once it
// is on the screen in its place, runs `user` from inside its modal loop, as the user
// acting meanwhile.  The dialog is closed afterwards if it is still open.
// Returns the dialog's result.
int ExecWhile(QDialog& dialog, const std::function<void()>& user);
