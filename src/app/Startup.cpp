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
#include "hw/InUseGuard.h"
#include "hw/PassThrough.h"
#include "hw/PortIo.h"
#include "select/DriveRows.h"
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

// The rows of the simulated machine's own pass-through drives.
std::vector<DriveRow> SimulatedDriveRows(const std::weak_ptr<sim::Machine>& machine)
{
    std::vector<DriveRow> rows;
    if (const std::shared_ptr<sim::Machine> m = machine.lock())
        for (const auto& d : m->PassThroughDrives())
            rows.push_back(PlainDriveRow(QString::fromStdString(d->Name()), QString::fromStdString(d->Spec().drive.model),
                                         d->Spec().bus == sim::PassThroughBus::Sata ? QStringLiteral("SATA")
                                                                                    : QStringLiteral("USB")));
    return rows;
}

// A simulated machine: its drives alone, and no guard (nothing of this
// machine's is ever opened).
void UseSimulatedDrives(const std::shared_ptr<sim::Machine>& machine)
{
    SetDriveRowSource([w = std::weak_ptr<sim::Machine>(machine)] { return SimulatedDriveRows(w); });
    ata::SetWriteGuardFactory(nullptr);
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
        ata::SetWriteGuardFactory(ata::KernelWriteGuard);
        PortLock::SetScope(QString());
        m.simulated = false;
        m.ok = true;
        m.exitStatus = 0;
        return m;
    }
    switch (options.machine) {
    case MachineChoice::DefaultSimulated: {
        auto machine = sim::InstallMachine(sim::DefaultMachineSpec());
        UseSimulatedDrives(machine);
        m.backend = machine;
        PortLock::SetScope(QStringLiteral("sim"));
        break;
    }
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
        UseSimulatedDrives(machine);
        m.backend = machine;
        break;
    }
    case MachineChoice::Hardware: {
        std::string why;
        m.backend = OpenX86PortBackend(&why);
        m.simulated = false;
        // The kernel's own drives: listed from sysfs, opened for SG_IO, and
        // guarded against writes while the system uses them.
        ata::InstallPassThroughHost(ata::KernelPassThroughHost());
        SetDriveRowSource(KernelDriveRows);
        ata::SetWriteGuardFactory(ata::KernelWriteGuard);
        if (!m.backend) {
            InstallPortBackend(nullptr);
            if (!options.channel.isEmpty()) {
                m.error = QString::fromStdString(why);
                m.exitStatus = kExitDrive;
                return m;
            }
            m.portRefusal = QString::fromStdString(why);
            if (!options.list)
                m.warnings << QStringLiteral("%1\nКаналы IDE недоступны; доступны только диски, которыми управляет ядро.")
                                  .arg(m.portRefusal);
        } else {
            InstallPortBackend(m.backend);
        }
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
