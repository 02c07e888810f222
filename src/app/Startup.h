#pragma once
// Program start: the machine the process works on (chosen once, before any
// window) and the run of the main window.
#include <QString>
#include <QStringList>
#include <memory>

#include "app/CommandLine.h"
#include "app/Main.h"

class PortBackend;

struct MachineSetup {
    bool ok = false;
    bool simulated = true;
    QString error;         // why the machine could not be set up
    QStringList warnings;  // what works, but not as the user may think
    // Hardware mode without access to the I/O ports: why.  The drives of the
    // kernel's pass-through are still there; the channels are not.
    QString portRefusal;
    int exitStatus = 1;    // of the program when it cannot go on
    std::shared_ptr<PortBackend> backend;
};

// Installs the port backend the options ask for: the built-in simulated
// machine, a machine file (its drives' changes kept in FILE + ".state"), or
// the real ports.  With real ports the kernel driver check is switched on,
// and the kernel's pass-through drives come in (found through sysfs, guarded
// against writes while the system uses them); the ports being refused then
// ends only a command that needs a channel.  Also names the machine the port
// locks belong to.  A faulty machine or state file is refused with exit
// status 2.
MachineSetup SetUpMachine(const CommandLineOptions& options);

// Says what the set-up found on standard error and, for a window, in
// message boxes too.  Returns whether the program can go on.
bool ReportMachineSetup(const MachineSetup& setup, bool window);

// Loads Qt's own Russian texts (Debian's qt6-translations-l10n), so that the
// standard dialogs and buttons speak the program's language.  Returns false,
// with the reason, when the catalogue cannot be loaded.
bool InstallQtTranslations(QString* why = nullptr);

// Runs the main window until the program ends; needs the QApplication.
// Returns the exit status (0 also when the first selection is cancelled).
int RunShell(const StartupSettings& settings);
