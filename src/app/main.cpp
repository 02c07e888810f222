// voran: the program's entry point.  The machine (simulated or the real
// ports) is chosen here once, before any window exists.
#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

#include "app/CommandLine.h"
#include "app/ConsoleMode.h"
#include "app/Startup.h"

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const CommandLineOptions options = ParseCommandLine(args);
    if (!options.ok()) {
        for (const QString& e : options.errors)
            std::fprintf(stderr, "voran: %s\n", e.toLocal8Bit().constData());
        std::fputs("Справка: voran --help\n", stderr);
        return 2;
    }
    if (options.help) {
        std::fputs(UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(VersionText().toLocal8Bit().constData(), stdout);
        return 0;
    }

    const MachineSetup machine = SetUpMachine(options);
    if (!machine.ok) {
        std::fprintf(stderr, "voran: %s\n", machine.error.toLocal8Bit().constData());
        if (options.ConsoleCommand())
            return options.machine == MachineChoice::Hardware ? kExitDrive : kExitUsage;
        return 1;
    }

    if (options.ConsoleCommand()) {
        // No window and no display needed.
        QCoreApplication app(argc, argv);
        ConsoleStreams io;
        io.progress = ::isatty(STDERR_FILENO) != 0;
        return RunConsoleCommand(options, io);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("voran"));
    QString why;
    if (!InstallQtTranslations(&why))
        std::fprintf(stderr, "voran: %s\n", why.toLocal8Bit().constData());
    StartupSettings settings;
    settings.simulated = machine.simulated;
    return RunShell(settings);
}
