#include "app/Main.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

#include "app/About.h"
#include "app/ConnectRules.h"
#include "app/MonitorLink.h"
#include "app/RefusalBox.h"
#include "app/StatusBar.h"
#include "app/ToolWindows.h"
#include "common/Clock.h"
#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/PortLock.h"
#include "common/Services.h"
#include "common/WindowPlace.h"
#include "hw/Ata.h"
#include "hw/AtaPort.h"
#include "select/DriveRows.h"
#include "select/SelectPort.h"

namespace {
constexpr int kPanelWidths[6] = {250, 50, 180, 40, 40, 40};
constexpr int kOwnerDrawnPanel = 4;
}  // namespace

TfrmMain::TfrmMain(StartupSettings settings) : m_settings(std::move(settings))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("VORAN  2.0"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    auto* central = new QWidget(this);
    auto* registers = new QWidget(central);
    registers->setFixedSize(603, 60);
    StatusReg = CreateStatusRegView(registers);
    StatusReg->setGeometry(4, 0, 295, 56);
    ErrorReg = CreateErrorRegView(registers);
    ErrorReg->setGeometry(304, 0, 295, 56);

    StatusBar = new TStatusBar(central);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    {
        // The fixed texts of panels 1, 3, 4 (bold) and 5 must be readable
        // whole in this font; the controller and model panels give way.
        QFont bold = StatusBar->font();
        bold.setBold(true);
        const QFontMetrics normal(StatusBar->font());
        const QFontMetrics boldMetrics(bold);
        const std::vector<int> widths = FitPanelWidths(
            {std::begin(kPanelWidths), std::end(kPanelWidths)},
            {{}, {QStringLiteral("Master"), QStringLiteral("Slave"), QStringLiteral("SATA"), QStringLiteral("PATA"),
                  QStringLiteral("USB")},
             {}, {QStringLiteral("LBA48"), QStringLiteral("LBA28")}, {QStringLiteral("High"), QStringLiteral("Max")},
             {QStringLiteral("HPA")}},
            {&normal, &normal, &normal, &normal, &boldMetrics, &normal}, {0, 2});
        for (int i = 0; i < 6; ++i)
            StatusBar->AddPanel(widths[size_t(i)], i == kOwnerDrawnPanel);
    }
    StatusBar->OnDrawPanel = [this](TStatusBar* bar, int panel, QPainter& canvas, const QRect& rect) {
        StatusBarDrawPanel(bar, panel, canvas, rect);
    };

    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(registers);
    layout->addWidget(StatusBar);
    setCentralWidget(central);

    BuildMenu();
    setFixedSize(sizeHint());
    SetMainShell(this);
    InstallRefusalBox(this);
}

TfrmMain::~TfrmMain()
{
    if (MainShell() == this)
        SetMainShell(nullptr);
    RemoveRefusalBox();
    StopMonitor(m_monitor);
}

QAction* TfrmMain::AddItem(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                           void (TfrmMain::*handler)())
{
    auto* a = new QAction(caption, this);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty())
        a->setShortcut(key);
    if (handler)
        connect(a, &QAction::triggered, this, handler);
    menu->addAction(a);
    return a;
}

void TfrmMain::BuildMenu()
{
    MainMenu = menuBar();
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    auto submenu = [this](const char* name, const QString& caption) {
        QMenu* m = MainMenu->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };
    const QKeySequence none;

    mmiATA = submenu("mmiATA", QStringLiteral("ATA"));
    mmiIdentifyDevice = AddItem(mmiATA, "mmiIdentifyDevice", QStringLiteral("Идентификация устройства..."),
                                QKeySequence(Qt::Key_F2), &TfrmMain::mmiIdentifyDeviceClick);
    mmiSoftReset = AddItem(mmiATA, "mmiSoftReset", QStringLiteral("Программный сброс"), QKeySequence(Qt::Key_F3),
                           &TfrmMain::mmiSoftResetClick);
    mmiSMART = mmiATA->addMenu(QStringLiteral("SMART"));
    mmiSMART->setObjectName(QStringLiteral("mmiSMART"));
    mmiSMARTShow = AddItem(mmiSMART, "mmiSMARTShow", QStringLiteral("Показать SMART..."), QKeySequence(Qt::Key_F9),
                           &TfrmMain::mmiSMARTShowClick);
    mmiSMART->addSeparator();
    mmiSMARTEnabled = AddItem(mmiSMART, "mmiSMARTEnabled", QStringLiteral("Включить SMART"), none,
                              &TfrmMain::mmiSMARTEnabledClick);
    mmiSMARTDisabled = AddItem(mmiSMART, "mmiSMARTDisabled", QStringLiteral("Отключить SMART"), none,
                               &TfrmMain::mmiSMARTDisabledClick);
    mmiSecurity = mmiATA->addMenu(QStringLiteral("Security"));
    mmiSecurity->setObjectName(QStringLiteral("mmiSecurity"));
    mmiSetPwd = AddItem(mmiSecurity, "mmiSetPwd", QStringLiteral("Установить пароль..."), none,
                        &TfrmMain::mmiSetPwdClick);
    mmiSecurity->addSeparator();
    mmiUnlockDevice = AddItem(mmiSecurity, "mmiUnlockDevice", QStringLiteral("Разблокировать устройство..."), none,
                              &TfrmMain::mmiUnlockDeviceClick);
    mmiDisPwd = AddItem(mmiSecurity, "mmiDisPwd", QStringLiteral("Снять пароль..."), none, &TfrmMain::mmiDisPwdClick);
    mmiSecurity->addSeparator();
    mmiSecirityErase = AddItem(mmiSecurity, "mmiSecirityErase", QStringLiteral("Защитное стирание..."), none,
                               &TfrmMain::mmiSecirityEraseClick);
    mmiDisPwdAfterSecurityErase = AddItem(mmiSecurity, "mmiDisPwdAfterSecurityErase",
                                          QStringLiteral("DisPwd After Security Erase"), none, nullptr);
    mmiHPA = AddItem(mmiATA, "mmiHPA", QStringLiteral("HPA"), none, &TfrmMain::mmiHPAClick);
    mmiATA->addSeparator();
    mmiExit = AddItem(mmiATA, "mmiExit", QStringLiteral("Выход"), none, &TfrmMain::mmiExitClick);

    mmiTest = submenu("mmiTest", QStringLiteral("Тесты"));
    mmiScanSurface = AddItem(mmiTest, "mmiScanSurface", QStringLiteral("Проверка поверхности..."),
                             QKeySequence(Qt::Key_F4), &TfrmMain::mmiScanSurfaceClick);
    mmiDefectoscop = AddItem(mmiTest, "mmiDefectoscop", QStringLiteral("Дефектоскоп..."), QKeySequence(Qt::Key_F5),
                             &TfrmMain::mmiDefectoscopClick);
    mmiDefectoscop->setVisible(false);
    // A hidden item keeps its shortcut: only the enabled flag counts.  Qt
    // switches the shortcut of an invisible action off, so the window
    // carries it; trigger() still ignores an item disabled on purpose.
    auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
    f5->setObjectName(QStringLiteral("mmiDefectoscopShortcut"));
    connect(f5, &QShortcut::activated, mmiDefectoscop, &QAction::trigger);
    mmiSeekTest = AddItem(mmiTest, "mmiSeekTest", QStringLiteral("Стресс-тест"), QKeySequence(Qt::Key_F6),
                          &TfrmMain::mmiSeekTestClick);

    mmiOperation = submenu("mmiOperation", QStringLiteral("Операции"));
    mmiMakeSoftBad = AddItem(mmiOperation, "mmiMakeSoftBad", QStringLiteral("Создать Soft-Bad..."), none,
                             &TfrmMain::mmiMakeSoftBadClick);
    mmiOperation->addSeparator();
    mmiEraseHDD = AddItem(mmiOperation, "mmiEraseHDD", QStringLiteral("Стереть HDD..."), none,
                          &TfrmMain::mmiEraseHDDClick);

    mmiService = submenu("mmiService", QStringLiteral("Сервис"));
    mmiSelectport = AddItem(mmiService, "mmiSelectport", QStringLiteral("Выбрать порт..."),
                            QKeySequence(Qt::SHIFT | Qt::Key_F3), &TfrmMain::mmiSelectportClick);
    mmiService->addSeparator();
    mmiSettings = AddItem(mmiService, "mmiSettings", QStringLiteral("Параметры..."), QKeySequence(Qt::Key_F12),
                          &TfrmMain::mmiSettingsClick);

    mmiHelp = submenu("mmiHelp", QStringLiteral("Помощь"));
    mmiVoranHelp = AddItem(mmiHelp, "mmiVoranHelp", QStringLiteral("Справка"), QKeySequence(Qt::Key_F1),
                           &TfrmMain::mmiVoranHelpClick);
    mmiHelp->addSeparator();
    mmiAbout = AddItem(mmiHelp, "mmiAbout", QStringLiteral("О программе..."), none, &TfrmMain::mmiAboutClick);
}

void TfrmMain::FormCreate()
{
    DriveContext& ctx = Ctx();
    // 1. Title (the application's title follows it).
    QString caption = VersionTitle();
    if (m_settings.simulated)
        caption += QString::fromUtf8(kSimulatedMarker);
    // Only the title: an application display name would be added by Qt to
    // the title of every window.
    setWindowTitle(caption);
    // 2. The restore hook is changeEvent().
    // 3. Top-right corner of the screen, frame included (when it is shown).
    PlaceByFrame(this, [this](const QSize& frame) {
        const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        const QRect g = s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
        return QPoint(g.right() + 1 - frame.width(), g.top());
    });
    // 4. ExeDir.
    QString dir = m_settings.exeDir.isEmpty() ? ExecutableDir() : m_settings.exeDir;
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    ctx.ExeDir = dir;
    // 5. Help file.
    SetHelpFile(dir + QStringLiteral("Help/Voran.html"));
    // 6. Log directory, with any missing parents.
    const QString logDir = dir + QStringLiteral("Log");
    if (!QDir(logDir).exists() && !QDir().mkpath(logDir))
        ShowError(nullptr, QStringLiteral("Не удалось создать каталог отчётов %1.\nОтчёты сохранить не получится.")
                               .arg(QDir::toNativeSeparators(logDir)));
    // 7. Configuration file.
    ctx.IniFile = std::make_unique<IniFile>(dir + QStringLiteral("Voran.ini"));
    // 8, 9. Counter frequency and time-outs.
    ctx.CounterFrequency = ::CounterFrequency();
    const StartupTimeouts t = ReadStartupTimeouts(ctx.IniFile.get());
    ctx.TimeOut = t.timeOut;
    ctx.MonitorPeriod = t.monitorPeriod;
    // 10. The first connection.
    ConnectDrive(true);
}

bool TfrmMain::ConnectDrive(bool FirstStart)
{
    DriveContext& ctx = Ctx();
    for (;;) {
        TfrmSelectPort dlg(this);
        dlg.FirstStart = FirstStart;
        const int result = m_settings.runSelectDialog ? m_settings.runSelectDialog(dlg) : dlg.exec();
        if (result != QDialog::Accepted) {
            if (FirstStart)
                m_terminate = true;  // the program ends without a window
            return false;
        }

        // Boxes about this choice belong to the dialog while the main window
        // is not on the screen yet (centred on it, not on an invisible window).
        QWidget* boxParent = isVisible() ? static_cast<QWidget*>(this) : &dlg;
        const int row = dlg.SelectedRow();
        const DriveRow* drive = dlg.DriveRowAt(row);
        std::shared_ptr<ata::Transport> transport = dlg.TakeDriveTransport();
        ChannelPorts ports;
        QString why;
        if (drive && !transport)  // confirmed without the dialog's OK (a test's)
            transport = OpenDriveRow(*drive, ctx.TimeOut, &why);
        if (drive ? !transport : !ChannelPortsFromTexts(dlg.Cell(1, row), dlg.Cell(2, row), ports, &why)) {
            ShowApplicationError(boxParent, why);
            if (FirstStart)
                continue;  // a program without any window helps nobody: ask again
            return false;  // the current connection goes on
        }

        // The new port is now this process's; the previous one is given up.
        if (std::unique_ptr<PortLock> lock = dlg.TakePortLock())
            ctx.PortMutex = std::move(lock);
        if (drive) {
            // A drive of the kernel's pass-through: no ports, no master or
            // slave; the status bar names the drive and its kind.
            ctx.BasePort = 0;
            ctx.AltPort = 0;
            ctx.Device = 0;
            SetStatusPanel(0, drive->Status());
            SetStatusPanel(1, drive->kind);
        } else {
            ctx.BasePort = ports.base;
            ctx.AltPort = ports.alt;
            ctx.Device = uint8_t(dlg.DeviceIndex());
            SetStatusPanel(0, dlg.Cell(0, row));
            SetStatusPanel(1, ctx.Device == 1 ? QStringLiteral("Slave") : QStringLiteral("Master"));
            transport = std::make_shared<ata::PortTransport>(ctx.BasePort, ctx.AltPort, ctx.Device);
            transport->Select();
        }

        StopMonitor(m_monitor);
        m_monitor = StartMonitor(transport, ctx.MonitorPeriod, StatusReg, ErrorReg);
        ata::Connect(transport, ctx.TimeOut, ctx.CounterFrequency, m_monitor);
        if (m_settings.settleMs > 0)
            QThread::msleep(ulong(m_settings.settleMs));

        QString security;
        if (ctx.IniFile && ctx.IniFile->ReadBool(QStringLiteral("Port"), QStringLiteral("AutoDetect"), false))
            IdentifyOnConnect(security, boxParent);
        SetStatusPanel(2, ctx.Model);
        SetStatusPanel(3, ctx.LbaMode);
        SetStatusPanel(4, security);
        SetStatusPanel(5, QString());
        show();
        return true;
    }
}

void TfrmMain::IdentifyOnConnect(QString& security, QWidget* boxParent)
{
    DriveContext& ctx = Ctx();
    SoftReset();
    ata::IdentifyBlock block{};
    if (IdentifyDevice(block.Bytes()) & 0xFF) {
        const ConnectIdentity id = DecodeConnectIdentify(block, ctx.LbaMode);
        ctx.Model = id.model;
        ctx.LbaMode = id.lbaMode;
        security = id.security;
    } else {
        ctx.Model.clear();
        ctx.LbaMode.clear();
        ShowError(boxParent, QStringLiteral("Ошибка идентификации устройства!"));
    }
}

void TfrmMain::SetStatusPanel(int index, const QString& text) { StatusBar->SetPanelText(index, text); }
QString TfrmMain::StatusPanel(int index) const { return StatusBar->PanelText(index); }

void TfrmMain::StatusBarDrawPanel(TStatusBar* bar, int panel, QPainter& canvas, const QRect& rect)
{
    QFont f = bar->font();
    f.setBold(true);
    canvas.setFont(f);
    canvas.setPen(QColor(255, 0, 0));
    const QString text = bar->PanelText(panel);
    const QFontMetrics fm(f);
    const int w = fm.horizontalAdvance(text);
    const int x = rect.left() + (rect.width() - w) / 2;
    canvas.drawText(x, rect.top() + fm.ascent(), text);
}

void TfrmMain::MinimizeApplication() { setWindowState((windowState() & ~Qt::WindowActive) | Qt::WindowMinimized); }

void TfrmMain::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        const auto* e = static_cast<QWindowStateChangeEvent*>(event);
        if ((e->oldState() & Qt::WindowMinimized) && !(windowState() & Qt::WindowMinimized))
            AppRestore();
    }
    QMainWindow::changeEvent(event);
}

void TfrmMain::AppRestore()
{
    if (QWidget* form = m_minimizedForm) {
        m_minimizedForm = nullptr;
        ShowMinimizedForm(form);
    }
}

// ---- Menu ------------------------------------------------------------------

void TfrmMain::mmiIdentifyDeviceClick() { RunIdentifyReport(this); }
void TfrmMain::mmiSoftResetClick() { SoftReset(); }
void TfrmMain::mmiSMARTShowClick() { RunSmartViewer(this); }

void TfrmMain::mmiSMARTEnabledClick()
{
    if (SetSMARTEnabled(1) & 0xFF)
        ShowInfo(this, QStringLiteral("SMART успешно включен!"));
    else
        ShowError(this, QStringLiteral("Ошибка включения SMART!"));
}

void TfrmMain::mmiSMARTDisabledClick()
{
    if (SetSMARTEnabled(0) & 0xFF)
        ShowInfo(this, QStringLiteral("SMART успешно отключен!"));
    else
        ShowError(this, QStringLiteral("Ошибка отключения SMART!"));
}

void TfrmMain::mmiSetPwdClick() { RunPasswordDialog(this, 0xF1); }
void TfrmMain::mmiUnlockDeviceClick() { RunPasswordDialog(this, 0xF2); }
void TfrmMain::mmiDisPwdClick() { RunPasswordDialog(this, 0xF6); }
void TfrmMain::mmiSecirityEraseClick() { RunSecurityErase(this); }
void TfrmMain::mmiHPAClick() { RunHpa(this); }
void TfrmMain::mmiExitClick() { close(); }
void TfrmMain::mmiScanSurfaceClick() { RunSurfaceScan(this); }
void TfrmMain::mmiDefectoscopClick() { RunDefectScope(this); }
void TfrmMain::mmiSeekTestClick() { RunStressTest(this); }
void TfrmMain::mmiMakeSoftBadClick() { RunSoftBad(this); }
void TfrmMain::mmiEraseHDDClick() { RunDriveErase(this); }
void TfrmMain::mmiSelectportClick() { ConnectDrive(false); }
void TfrmMain::mmiSettingsClick() { RunSettings(this); }
void TfrmMain::mmiVoranHelpClick() { ShowHelpContents(this); }

void TfrmMain::mmiAboutClick()
{
    TfrmAbout about(this);
    about.exec();
}
