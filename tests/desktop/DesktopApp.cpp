#include "desktop/DesktopApp.h"

#include <QDir>
#include <QTableWidget>
#include <QTimer>

#include "app/Startup.h"
#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/LongRun.h"
#include "common/PortLock.h"
#include "common/WindowPlace.h"
#include "desktop/Desktop.h"
#include "select/SelectPort.h"
#include "sim/SimMachine.h"
#include "support/SimFixture.h"

DesktopApp::DesktopApp(const Options& options)
{
    ResetDriveContext();
    InstallQtTranslations();  // as the program does at start
    m_exeDir = m_dir.path() + QStringLiteral("/voran/");
    QDir().mkpath(m_exeDir);
    PortLock::SetDirectory(m_dir.path());
    m_machine = sim::InstallMachine(options.instant ? testsim::InstantDefaultMachine() : sim::DefaultMachineSpec());
    IniFile ini(m_exeDir + QStringLiteral("Voran.ini"));
    ini.WriteInteger(QStringLiteral("TimeOut"), QStringLiteral("TimeOut"), 1);
    ini.WriteBool(QStringLiteral("Port"), QStringLiteral("AutoDetect"), options.autoDetect);

    StartupSettings s;
    s.exeDir = m_exeDir;
    s.settleMs = 0;
    s.runSelectDialog = options.selectDialog;
    if (!s.runSelectDialog) {
        const QString port = options.port;
        s.runSelectDialog = [port](TfrmSelectPort& d) {
            for (int r = 0; r < d.Grid->rowCount(); ++r)
                if (d.Cell(1, r) == port)
                    d.Grid->setCurrentCell(r, 0);
            d.bbOkClick();
            return d.result();
        };
    }
    m_main = std::make_unique<TfrmMain>(s);
    m_main->FormCreate();
}

DesktopApp::~DesktopApp()
{
    m_main.reset();
    ResetDriveContext();
    PortLock::SetDirectory(QString());
}

bool DesktopApp::WaitShown()
{
    return desktop::WaitUntil([this] {
        const desktop::XWindow x = desktop::Query(m_main.get());
        return x.viewable && x.managed && x.frame != x.client && !BeingPlaced(m_main.get());
    });
}

int ExecWhile(QDialog& dialog, const std::function<void()>& user)
{
    QTimer::singleShot(0, &dialog, [&dialog, user] {
        if (desktop::WaitUntil(
                [&] { return dialog.isVisible() && desktop::Query(&dialog).viewable && !BeingPlaced(&dialog); }))
            user();
        else
            ADD_FAILURE() << "the dialog did not come on the screen";
        if (dialog.isVisible())
            dialog.done(QDialog::Rejected);
    });
    return ExecToolWindow(dialog);
}
