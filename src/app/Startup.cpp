#include "app/Startup.h"

#include <QApplication>

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
