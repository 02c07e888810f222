// voran: the program's entry point.  The machine (simulated or the real
// ports) is chosen here once, before any window exists.
#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "app/CommandLine.h"
#include "app/ConsoleMode.h"
#include "app/DriveList.h"
#include "app/Startup.h"
#include "hw/InUseGuard.h"

namespace {

// The arguments Qt is given: the program name and, for a window, the
// toolkit's own options.  Never ours: Qt would take some of them for its
// own (-platform --identify) or abort on them.
class QtArguments {
public:
    QtArguments(const char* program, const QStringList& toolkit)
    {
        m_storage << QByteArray(program);
        for (const QString& a : toolkit)
            m_storage << a.toLocal8Bit();
        for (QByteArray& b : m_storage)
            m_argv.push_back(b.data());
        m_argv.push_back(nullptr);
        m_argc = int(m_storage.size());
    }
    int& argc() { return m_argc; }
    char** argv() { return m_argv.data(); }

private:
    QByteArrayList m_storage;
    std::vector<char*> m_argv;
    int m_argc = 0;
};

int PrintAndExit(const QString& text)
{
    QString why;
    if (WriteStandardText(stdout, text, &why))
        return kExitOk;
    std::fprintf(stderr, "voran: %s\n", why.toLocal8Bit().constData());
    return kExitOutput;
}

}  // namespace

int main(int argc, char** argv)
{
    PrepareStandardStreams();
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const CommandLineOptions options = ParseCommandLine(args);
    if (!options.ok()) {
        for (const QString& e : options.errors)
            std::fprintf(stderr, "voran: %s\n", e.toLocal8Bit().constData());
        std::fputs("Справка: voran --help\n", stderr);
        return kExitUsage;
    }
    if (options.help)
        return PrintAndExit(UsageText());
    if (options.version)
        return PrintAndExit(VersionText());

    if (options.Windowless()) {
        // No window and no display needed.
        const MachineSetup machine = SetUpMachine(options);
        if (!ReportMachineSetup(machine, false))
            return machine.exitStatus;
        QtArguments qt(argv[0], {});
        QCoreApplication app(qt.argc(), qt.argv());
        ConsoleStreams io;
        io.progress = ::isatty(STDERR_FILENO) != 0;
        // A command refused because the system uses the drive says why.
        ata::SetRefusalReporter([](const std::string& s) { std::fprintf(stderr, "voran: %s\n", s.c_str()); });
        if (options.list)
            return RunDriveList(io, machine.portRefusal);
        return RunConsoleCommand(options, io);
    }

    QtArguments qt(argv[0], options.toolkitArgs);
    QApplication app(qt.argc(), qt.argv());
    QApplication::setApplicationName(QStringLiteral("voran"));
    QString why;
    if (!InstallQtTranslations(&why))
        std::fprintf(stderr, "voran: %s\n", why.toLocal8Bit().constData());
    const MachineSetup machine = SetUpMachine(options);
    if (!ReportMachineSetup(machine, true))
        return machine.exitStatus;
    StartupSettings settings;
    settings.simulated = machine.simulated;
    return RunShell(settings);
}
