#pragma once
// The options of the voran command.  Options are described by one table
// (name, value, help text, how it changes CommandLineOptions), so a new
// option is one new entry and one new field.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

enum class MachineChoice {
    DefaultSimulated,  // no option: the built-in simulated machine
    SimulatedFile,     // --sim FILE
    Hardware,          // --hardware: the real x86 ports
};

struct CommandLineOptions {
    MachineChoice machine = MachineChoice::DefaultSimulated;
    QString simFile;
    bool help = false;
    bool version = false;
    // Commands without a window.
    QString channel;  // --channel BASE[:CONTROL], as the selection dialog's columns show ports
    // --device NAME: a drive the kernel owns, through ATA pass-through: a
    // device node of this machine (real hardware), or with --sim a
    // pass-through drive of the simulated machine.
    QString device;
    bool RealDevice() const { return !device.isEmpty() && machine != MachineChoice::SimulatedFile; }
    bool slave = false;
    bool identify = false;
    bool smart = false;
    bool scan = false;
    std::optional<int64_t> scanStart;  // --scan START [END]
    std::optional<int64_t> scanEnd;
    QString output;  // --output FILE
    bool force = false;
    bool list = false;  // --list: every drive of this mode, one line each
    bool ConsoleCommand() const { return identify || smart || scan; }
    // Runs without a window: a console command or --list.
    bool Windowless() const { return ConsoleCommand() || list; }
    // Options of the Qt toolkit (-platform, -style ...) with their values:
    // the only arguments the window's QApplication is given.  Console mode
    // gives Qt none.
    QStringList toolkitArgs;
    // Problems found, one sentence each; nothing is started when there are any.
    QStringList errors;

    bool ok() const { return errors.isEmpty(); }
};

struct OptionDef {
    QString name;       // "--sim"
    QString valueName;  // "FILE"; empty for a switch
    QString help;
    // Applies the option; returns an error text, or empty when fine.
    std::function<QString(CommandLineOptions&, const QString& value)> apply;
    // Up to this many plain arguments right after the option belong to it
    // ("--scan 0 1000"); each is handed to takePositional with its index.
    int positionals = 0;
    std::function<QString(CommandLineOptions&, const QString& value, int index)> takePositional = nullptr;
};

// The table of the program's options, in the order --help lists them.
const std::vector<OptionDef>& CommandLineOptionTable();

// Parses the arguments after the program name.  "--name VALUE" and
// "--name=VALUE" are both accepted; a VALUE that starts with "-" can only be
// given in the second form.
CommandLineOptions ParseCommandLine(const QStringList& args);

QString UsageText();
QString VersionText();
