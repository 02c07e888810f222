#pragma once
// The main window: the register rows, the status bar, the main menu, and the
// start of every drive connection.
#include <QMainWindow>
#include <QPointer>
#include <functional>

#include "common/Shell.h"

class QAction;
class QMenu;
class TfrmSelectPort;
class TStatusBar;

// What start-up takes from its surroundings, so that tests can stand in.
struct StartupSettings {
    QString exeDir;         // empty: the directory of the executable
    bool simulated = true;  // the title says so
    int settleMs = 100;     // pause after InitDLL
    // Runs the selection dialog and returns its result; empty: exec().
    std::function<int(TfrmSelectPort&)> runSelectDialog;
};

class TfrmMain : public QMainWindow, public Shell {
    Q_OBJECT
public:
    explicit TfrmMain(StartupSettings settings = {});
    ~TfrmMain() override;

    // The start-up sequence; may end with the program asked to terminate.
    void FormCreate();
    // Runs the selection dialog and, on OK, (re)starts the connection.
    // Returns true when a new connection was made.
    bool ConnectDrive(bool FirstStart);
    void AppRestore();
    void StatusBarDrawPanel(TStatusBar* bar, int panel, QPainter& canvas, const QRect& rect);

    // True when the first selection was cancelled: the program ends without
    // showing this window.
    bool TerminateRequested() const { return m_terminate; }

    // Shell
    void SetStatusPanel(int index, const QString& text) override;
    QString StatusPanel(int index) const override;
    MonitorControl* MonitorThread() const override { return m_monitor; }
    QString Caption() const override { return windowTitle(); }
    QWidget* Window() override { return this; }
    void SetMinimizedForm(QWidget* form) override { m_minimizedForm = form; }
    QWidget* MinimizedForm() const override { return m_minimizedForm; }
    void MinimizeApplication() override;

    // Components.
    QWidget* StatusReg;
    QWidget* ErrorReg;
    TStatusBar* StatusBar;
    QMenuBar* MainMenu;
    QMenu* mmiATA;
    QAction* mmiIdentifyDevice;
    QAction* mmiSoftReset;
    QMenu* mmiSMART;
    QAction* mmiSMARTShow;
    QAction* mmiSMARTEnabled;
    QAction* mmiSMARTDisabled;
    QMenu* mmiSecurity;
    QAction* mmiSetPwd;
    QAction* mmiUnlockDevice;
    QAction* mmiDisPwd;
    QAction* mmiSecirityErase;
    QAction* mmiDisPwdAfterSecurityErase;
    QAction* mmiHPA;
    QAction* mmiExit;
    QMenu* mmiTest;
    QAction* mmiScanSurface;
    QAction* mmiDefectoscop;
    QAction* mmiSeekTest;
    QMenu* mmiOperation;
    QAction* mmiMakeSoftBad;
    QAction* mmiEraseHDD;
    QMenu* mmiService;
    QAction* mmiSelectport;
    QAction* mmiSettings;
    QMenu* mmiHelp;
    QAction* mmiVoranHelp;
    QAction* mmiAbout;

    // Menu handlers.
    void mmiIdentifyDeviceClick();
    void mmiSoftResetClick();
    void mmiSMARTShowClick();
    void mmiSMARTEnabledClick();
    void mmiSMARTDisabledClick();
    void mmiSetPwdClick();
    void mmiUnlockDeviceClick();
    void mmiDisPwdClick();
    void mmiSecirityEraseClick();
    void mmiHPAClick();
    void mmiExitClick();
    void mmiScanSurfaceClick();
    void mmiDefectoscopClick();
    void mmiSeekTestClick();
    void mmiMakeSoftBadClick();
    void mmiEraseHDDClick();
    void mmiSelectportClick();
    void mmiSettingsClick();
    void mmiVoranHelpClick();
    void mmiAboutClick();

protected:
    void changeEvent(QEvent* event) override;

private:
    void BuildMenu();
    QAction* AddItem(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                     void (TfrmMain::*handler)());
    void IdentifyOnConnect(QString& security, QWidget* boxParent);

    StartupSettings m_settings;
    MonitorControl* m_monitor = nullptr;
    QPointer<QWidget> m_minimizedForm;
    bool m_terminate = false;
};
