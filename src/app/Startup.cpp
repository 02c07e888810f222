#include "app/Startup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <sys/stat.h>

#include "app/ConsoleMode.h"
#include "app/HelpViewer.h"
#include "common/PortLock.h"
#include "common/Services.h"
#include "hw/PassThrough.h"
#include "hw/PortIo.h"
#include "select/KernelDriver.h"
#include "sim/SimMachine.h"
#include "sim/SimSpec.h"

namespace {

// Copies on one machine file share its drives (and its .state file); copies
// on different files share nothing, and their port locks say so.
QString MachineFileScope(const QString& file)
{
    struct stat st {};
    if (::stat(QFile::encodeName(file).constData(), &st) == 0)
        return QStringLiteral("sim-%1-%2").arg(qulonglong(st.st_dev)).arg(qulonglong(st.st_ino));
    return QStringLiteral("sim-") + QFileInfo(file).absoluteFilePath();
}

}  // namespace

MachineSetup SetUpMachine(const CommandLineOptions& options)
{
    MachineSetup m;
    ata::InstallPassThroughHost(nullptr);
    if (options.RealDevice()) {
        // A drive named on the command line is this machine's: the kernel
        // reaches it, and no port is needed.
        ata::InstallPassThroughHost(ata::KernelPassThroughHost());
        PortLock::SetScope(QString());
        m.simulated = false;
        m.ok = true;
        m.exitStatus = 0;
        return m;
    }
    switch (options.machine) {
    case MachineChoice::DefaultSimulated:
        m.backend = sim::InstallMachine(sim::DefaultMachineSpec());
        PortLock::SetScope(QStringLiteral("sim"));
        break;
    case MachineChoice::SimulatedFile: {
        std::string why;
        std::vector<std::string> warnings;
        const std::optional<sim::MachineSpec> spec =
            sim::LoadMachineSpec(options.simFile.toStdString(), &why, &warnings);
        for (const std::string& w : warnings)
            m.warnings << QStringLiteral("файл машины %1: %2").arg(options.simFile, QString::fromStdString(w));
        if (!spec) {
            m.error = QStringLiteral("файл машины %1: %2").arg(options.simFile, QString::fromStdString(why));
            m.exitStatus = kExitUsage;
            return m;
        }
        auto machine = sim::InstallMachine(*spec);
        const QString stateFile = options.simFile + QStringLiteral(".state");
        std::string warning;
        if (!machine->AttachStateFile(stateFile.toStdString(), &why, &warning)) {
            InstallPortBackend(nullptr);
            ata::InstallPassThroughHost(nullptr);
            m.error = QStringLiteral("файл состояния %1: %2").arg(stateFile, QString::fromStdString(why));
            m.exitStatus = kExitUsage;
            return m;
        }
        if (!warning.empty())
            m.warnings << QStringLiteral("файл состояния %1: %2").arg(stateFile, QString::fromStdString(warning));
        PortLock::SetScope(MachineFileScope(options.simFile));
        m.backend = machine;
        break;
    }
    case MachineChoice::Hardware: {
        std::string why;
        m.backend = OpenX86PortBackend(&why);
        if (!m.backend) {
            m.error = QString::fromStdString(why);
            m.exitStatus = options.ConsoleCommand() ? kExitDrive : 1;
            return m;
        }
        InstallPortBackend(m.backend);
        // The kernel's drives are this machine's too.
        ata::InstallPassThroughHost(ata::KernelPassThroughHost());
        m.simulated = false;
        SetKernelDriverCheck(true);
        // The real channels: one name for every user and environment.
        PortLock::SetScope(QString());
        break;
    }
    }
    m.ok = true;
    m.exitStatus = 0;
    return m;
}

bool ReportMachineSetup(const MachineSetup& m, bool window)
{
    QStringList lines = m.warnings;
    if (!m.ok)
        lines << m.error;
    for (const QString& l : lines)
        std::fprintf(stderr, "voran: %s\n", l.toLocal8Bit().constData());
    // Started from a desktop launcher, nobody sees standard error.
    if (window) {
        for (const QString& w : m.warnings)
            ShowMessage(nullptr, MsgKind::Warning, w);
        if (!m.ok)
            ShowError(nullptr, m.error);
    }
    return m.ok;
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
