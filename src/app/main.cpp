// voran: the program's entry point.  The machine (simulated or the real
// ports) is chosen here once, before any window exists.
#include <QApplication>
#include <cstdio>

#include "app/CommandLine.h"
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
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("voran"));
    StartupSettings settings;
    settings.simulated = machine.simulated;
    return RunShell(settings);
}
