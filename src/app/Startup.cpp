#include "app/Startup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/HelpViewer.h"
#include "hw/PortIo.h"
#include "select/KernelDriver.h"
#include "sim/SimMachine.h"
#include "sim/SimSpec.h"

MachineSetup SetUpMachine(const CommandLineOptions& options)
{
    MachineSetup m;
    switch (options.machine) {
    case MachineChoice::DefaultSimulated:
        m.backend = sim::InstallMachine(sim::DefaultMachineSpec());
        break;
    case MachineChoice::SimulatedFile: {
        std::string why;
        const std::optional<sim::MachineSpec> spec = sim::LoadMachineSpec(options.simFile.toStdString(), &why);
        if (!spec) {
            m.error = QStringLiteral("файл машины %1: %2").arg(options.simFile, QString::fromStdString(why));
            return m;
        }
        auto machine = sim::InstallMachine(*spec);
        const std::string stateFile = (options.simFile + QStringLiteral(".state")).toStdString();
        if (!machine->AttachStateFile(stateFile, &why)) {
            InstallPortBackend(nullptr);
            m.error = QStringLiteral("файл состояния %1: %2")
                          .arg(QString::fromStdString(stateFile), QString::fromStdString(why));
            return m;
        }
        m.backend = machine;
        break;
    }
    case MachineChoice::Hardware: {
        std::string why;
        m.backend = OpenX86PortBackend(&why);
        if (!m.backend) {
            m.error = QString::fromStdString(why);
            return m;
        }
        InstallPortBackend(m.backend);
        m.simulated = false;
        SetKernelDriverCheck(true);
        break;
    }
    }
    m.ok = true;
    return m;
}

bool InstallQtTranslations(QString* why)
{
    // One catalogue for the whole process; it lives as long as the program.
    static QTranslator* translator = nullptr;
    if (translator)
        return true;
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* t = new QTranslator(QCoreApplication::instance());
    // "qt_ru" is the meta catalogue that pulls in qtbase_ru and the others.
    if (!t->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qt"), QStringLiteral("_"), dir)) {
        delete t;
        if (why)
            *why = QStringLiteral("нет русского перевода Qt (qt_ru.qm) в %1: установите пакет qt6-translations-l10n")
                       .arg(dir);
        return false;
    }
    QCoreApplication::installTranslator(t);
    translator = t;
    return true;
}

int RunShell(const StartupSettings& settings)
{
    AppHelpService help;
    SetHelpService(&help);
    int status = 0;
    {
        TfrmMain main(settings);
        main.FormCreate();
        if (!main.TerminateRequested())
            status = QApplication::exec();
    }
    SetHelpService(nullptr);
    return status;
}
