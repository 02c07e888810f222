// The main window: start-up, connections, status bar, menu, minimise
// hand-off.  The selection dialog is answered through StartupSettings.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QApplication>
#include <QTimer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <mutex>

#include "app/ConnectRules.h"
#include "app/Main.h"
#include "app/StatusBar.h"
#include "app/ToolWindows.h"
#include "hw/Ata.h"
#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/PortLock.h"
#include "common/Services.h"
#include "common/Shell.h"
#include "select/RadioGroup.h"
#include "select/SelectPort.h"
#include "sim/SimMachine.h"
#include "support/SimFixture.h"

namespace {

// Passes every access on to the simulated machine and records byte writes.
class RecordingPorts : public PortBackend {
public:
    explicit RecordingPorts(std::shared_ptr<PortBackend> inner) : m_inner(std::move(inner)) {}
    uint8_t In8(uint16_t p) override { return m_inner->In8(p); }
    uint16_t In16(uint16_t p) override { return m_inner->In16(p); }
    uint32_t In32(uint16_t p) override { return m_inner->In32(p); }
    void Out8(uint16_t p, uint8_t v) override
    {
        {
            std::lock_guard<std::mutex> l(m_mutex);
            m_writes.push_back({p, v});
        }
        m_inner->Out8(p, v);
    }
    void Out16(uint16_t p, uint16_t v) override { m_inner->Out16(p, v); }
    void Out32(uint16_t p, uint32_t v) override { m_inner->Out32(p, v); }
    void In16Block(uint16_t p, uint16_t* w, size_t n) override { m_inner->In16Block(p, w, n); }
    void Out16Block(uint16_t p, const uint16_t* w, size_t n) override { m_inner->Out16Block(p, w, n); }
    const char* Kind() const override { return "simulated"; }

    std::vector<std::pair<uint16_t, uint8_t>> Writes()
    {
        std::lock_guard<std::mutex> l(m_mutex);
        return m_writes;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> l(m_mutex);
        m_writes.clear();
    }

private:
    std::shared_ptr<PortBackend> m_inner;
    std::mutex m_mutex;
    std::vector<std::pair<uint16_t, uint8_t>> m_writes;
};

// A dialog answer: the row of `base`, the device, OK.
std::function<void(TfrmSelectPort&)> Pick(const QString& base, int device = 0)
{
    return [=](TfrmSelectPort& d) {
        for (int r = 0; r < d.Grid->rowCount(); ++r)
            if (d.Cell(1, r) == base)
                d.Grid->setCurrentCell(r, 0);
        d.rgbDevice->SetItemIndex(device);
        d.bbOkClick();
    };
}
const std::function<void(TfrmSelectPort&)> Cancel = [](TfrmSelectPort& d) { d.bbCancelClick(); };

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetDriveContext();
        ASSERT_TRUE(tmp.isValid());
        PortLock::SetDirectory(tmp.path());
        exeDir = tmp.path() + "/voran/";
        ASSERT_TRUE(QDir().mkpath(exeDir));
        machine = sim::InstallMachine(testsim::InstantDefaultMachine());
        ports = std::make_shared<RecordingPorts>(machine);
        InstallPortBackend(ports);
        SetToolWindowObserver([this](const QString& name, QWidget*) { opened << name; });
        Ini().WriteInteger("TimeOut", "TimeOut", 1);
    }
    void TearDown() override
    {
        SetToolWindowObserver({});
        ResetDriveContext();
        PortLock::SetDirectory(QString());
    }
    IniFile Ini() { return IniFile(exeDir + "Voran.ini"); }

    // Start-up whose selection dialogs are answered by `answers` in turn.
    StartupSettings Settings()
    {
        StartupSettings s;
        s.exeDir = exeDir;
        s.settleMs = 0;
        s.runSelectDialog = [this](TfrmSelectPort& d) {
            ++dialogs;
            auto answer = answers.empty() ? Cancel : answers.front();
            if (!answers.empty())
                answers.pop_front();
            answer(d);
            return d.result();
        };
        return s;
    }
    void Reconnect(TfrmMain& w, std::function<void(TfrmSelectPort&)> answer)
    {
        answers.push_back(std::move(answer));
        w.mmiSelectport->trigger();
    }
    bool Wrote(uint16_t port, uint8_t value)
    {
        for (auto [p, v] : ports->Writes())
            if (p == port && v == value)
                return true;
        return false;
    }

    QTemporaryDir tmp;
    QString exeDir;
    std::shared_ptr<sim::Machine> machine;
    std::shared_ptr<RecordingPorts> ports;
    std::deque<std::function<void(TfrmSelectPort&)>> answers;
    int dialogs = 0;
    QStringList opened;
    MessageRecorder messages;
};

}  // namespace

TEST_F(MainWindowTest, StartUpWithoutConfigurationFile)
{
    QFile::remove(exeDir + "Voran.ini");
    answers = {Pick("0170")};
    TfrmMain w(Settings());
    w.FormCreate();

    EXPECT_FALSE(w.TerminateRequested());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), VersionTitle() + kSimulatedMarker);
    EXPECT_TRUE(w.windowTitle().startsWith("Voran  2.0.0.10"));
    EXPECT_EQ(w.Caption(), w.windowTitle());
    EXPECT_EQ(MainShell(), &w);

    const DriveContext& c = Ctx();
    EXPECT_EQ(c.ExeDir, exeDir);
    EXPECT_EQ(HelpFile(), exeDir + "Help/Voran.html");
    EXPECT_TRUE(QDir(exeDir + "Log").exists());
    ASSERT_NE(c.IniFile, nullptr);
    EXPECT_EQ(c.IniFile->FileName(), exeDir + "Voran.ini");
    EXPECT_GT(c.CounterFrequency, 0);
    EXPECT_EQ(c.TimeOut, 10);
    EXPECT_EQ(c.MonitorPeriod, 35);

    EXPECT_EQ(c.BasePort, 0x170);
    EXPECT_EQ(c.AltPort, 0x376);
    EXPECT_EQ(c.Device, 0);
    ASSERT_NE(c.PortMutex, nullptr);
    EXPECT_EQ(c.PortMutex->PortText(), "0170");
    EXPECT_EQ(w.StatusPanel(0), "OnBoard Intel i82371AB/MB, Secondary Channel");
    EXPECT_EQ(w.StatusPanel(1), "Master");
    EXPECT_EQ(w.StatusPanel(5), "");
    EXPECT_EQ(ata::CurrentConnection().basePort, 0x170);
    EXPECT_EQ(ata::CurrentConnection().timeOutSeconds, 10);

    // Top-right corner of the screen, fixed size, no maximise button.
    const QRect g = w.screen()->geometry();
    EXPECT_EQ(w.frameGeometry().top(), g.top());
    EXPECT_EQ(w.frameGeometry().right(), g.right());
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST_F(MainWindowTest, EnterInTheRealSelectionDialogShowsTheFilledMainWindow)
{
    Ini().WriteBool("Port", "AutoDetect", true);
    StartupSettings s = Settings();
    s.runSelectDialog = nullptr;  // the dialog runs modally as in the program
    int presses = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (auto* d = qobject_cast<TfrmSelectPort*>(QApplication::activeModalWidget())) {
            ++presses;
            QTest::keyClick(d->focusWidget() ? d->focusWidget() : d, Qt::Key_Return);
        }
    });
    user.start(0);
    TfrmMain w(s);
    w.FormCreate();
    user.stop();
    EXPECT_EQ(presses, 1);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.StatusPanel(0), "OnBoard Intel i82371AB/MB, Secondary Channel");
    EXPECT_EQ(w.StatusPanel(1), "Master");
    EXPECT_EQ(w.StatusPanel(2), "SIMDISK SD-6000X DEFECTS");
    EXPECT_EQ(w.StatusPanel(3), "LBA48");
}

TEST_F(MainWindowTest, StartUpReadsTheTimeOutsAndCreatesLogWithParents)
{
    exeDir += "deeper/still/";
    ASSERT_TRUE(QDir().mkpath(exeDir));
    Ini().WriteInteger("TimeOut", "TimeOut", 20);
    Ini().WriteString("TimeOut", "MonitorPeriod", "0x32");
    answers = {Pick("01F0")};
    StartupSettings s = Settings();
    s.simulated = false;
    TfrmMain w(s);
    w.FormCreate();
    EXPECT_EQ(Ctx().TimeOut, 20);
    EXPECT_EQ(Ctx().MonitorPeriod, 50);
    EXPECT_EQ(w.windowTitle(), "Voran  2.0.0.10") << "real ports: the title carries no marker";
    EXPECT_TRUE(QDir(exeDir + "Log").exists());
}

TEST_F(MainWindowTest, CancelAtTheFirstStartEndsTheProgramWithoutAWindow)
{
    answers = {Cancel};
    TfrmMain w(Settings());
    int shows = 0;
    struct Counter : QObject {
        int* n;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Show)
                ++*n;
            return false;
        }
    } counter;
    counter.n = &shows;
    w.installEventFilter(&counter);
    w.FormCreate();
    EXPECT_TRUE(w.TerminateRequested());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(shows, 0);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(Ctx().BasePort, 0);
    EXPECT_TRUE(ports->Writes().empty()) << "nothing was sent to any drive";
}

TEST_F(MainWindowTest, CancelFromSelectPortChangesNothing)
{
    answers = {Pick("01F0")};
    TfrmMain w(Settings());
    w.FormCreate();
    const PortLock* lock = Ctx().PortMutex.get();
    const QStringList panels = {w.StatusPanel(0), w.StatusPanel(1), w.StatusPanel(2), w.StatusPanel(3)};
    ports->Clear();

    Reconnect(w, Cancel);
    EXPECT_EQ(dialogs, 2);
    EXPECT_FALSE(w.TerminateRequested());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(Ctx().BasePort, 0x1F0);
    EXPECT_EQ(Ctx().AltPort, 0x3F6);
    EXPECT_EQ(Ctx().PortMutex.get(), lock);
    EXPECT_EQ(QStringList({w.StatusPanel(0), w.StatusPanel(1), w.StatusPanel(2), w.StatusPanel(3)}), panels);
    EXPECT_TRUE(ports->Writes().empty());
}

TEST_F(MainWindowTest, PortsDeviceSelectAndTheLockOfEachConnection)
{
    Ini().WriteBool("Port", "SlaveEnabled", true);
    answers = {Pick("01F0", 0)};
    TfrmMain w(Settings());
    w.FormCreate();
    EXPECT_EQ(Ctx().AltPort, 0x3F6);
    EXPECT_TRUE(Wrote(0x1F6, 0xE0)) << "master selected with LBA bit";

    ports->Clear();
    Reconnect(w, Pick("D000", 1));
    EXPECT_EQ(Ctx().BasePort, 0xD000);
    EXPECT_EQ(Ctx().AltPort, 0xD402) << "control block base + 2";
    EXPECT_EQ(Ctx().Device, 1);
    EXPECT_TRUE(Wrote(0xD006, 0xF0)) << "slave selected";
    EXPECT_EQ(w.StatusPanel(0), "OnBoard Promise Ultra 133TX2, Primary Channel");
    EXPECT_EQ(w.StatusPanel(1), "Slave");
    EXPECT_EQ(ata::CurrentConnection().altPort, 0xD402);
    EXPECT_EQ(ata::CurrentConnection().device, 1);
    EXPECT_EQ(Ctx().PortMutex->PortText(), "D000");
    EXPECT_NE(PortLock::TryAcquire("01F0"), nullptr) << "the previous port was given up";

    // The same port again within this process.
    Reconnect(w, Pick("D000", 0));
    EXPECT_EQ(Ctx().Device, 0);
    EXPECT_EQ(Ctx().PortMutex->PortText(), "D000");
}

TEST_F(MainWindowTest, AutoDetectFillsModelModeAndPasswordLevel)
{
    Ini().WriteBool("Port", "SlaveEnabled", true);
    Ini().WriteBool("Port", "AutoDetect", true);
    answers = {Pick("01F0", 0)};
    TfrmMain w(Settings());
    w.FormCreate();
    EXPECT_EQ(w.StatusPanel(2), "SIMDISK SD-8000 HEALTHY");
    EXPECT_EQ(w.StatusPanel(3), "LBA48");
    EXPECT_EQ(w.StatusPanel(4), "");
    EXPECT_EQ(Ctx().Model, "SIMDISK SD-8000 HEALTHY");

    Reconnect(w, Pick("01F0", 1));
    EXPECT_EQ(w.StatusPanel(2), "SIMDISK SD-4000L LBA28");
    EXPECT_EQ(w.StatusPanel(3), "LBA28");

    Reconnect(w, Pick("D000", 1));
    EXPECT_EQ(w.StatusPanel(2), "SIMDISK SD-2000S LOCKED");
    EXPECT_EQ(w.StatusPanel(4), "High");

    Reconnect(w, Pick("C000", 0));
    EXPECT_EQ(w.StatusPanel(4), "Max");
    EXPECT_TRUE(messages.shown.empty());

    // Panel 4 is drawn in bold pure red, centred.
    const TStatusBar* bar = w.StatusBar;
    const QImage img = w.StatusBar->grab().toImage();
    const QRect r = bar->PanelRect(4);
    int red = 0, leftmost = r.right(), rightmost = r.left();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = img.pixelColor(x * img.devicePixelRatio(), y * img.devicePixelRatio());
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80) {
                ++red;
                leftmost = std::min(leftmost, x);
                rightmost = std::max(rightmost, x);
            }
        }
    EXPECT_GT(red, 5) << "the password level is drawn in red";
    EXPECT_LE(std::abs((leftmost - r.left()) - (r.right() - rightmost)), 3) << "centred";

    // Without AutoDetect panel 4 is emptied; model and mode stay.
    Ctx().IniFile->WriteBool("Port", "AutoDetect", false);
    Reconnect(w, Pick("0170", 0));
    EXPECT_EQ(w.StatusPanel(4), "");
    EXPECT_EQ(w.StatusPanel(2), "SIMDISK SD-5000M MAXLOCK");
    EXPECT_EQ(w.StatusPanel(3), "LBA48");
    EXPECT_EQ(w.StatusPanel(5), "");
}

TEST_F(MainWindowTest, FailedIdentificationKeepsTheConnectionWithoutDriveData)
{
    Ini().WriteBool("Port", "AutoDetect", true);
    answers = {Pick("01F0")};
    TfrmMain w(Settings());
    w.FormCreate();
    ASSERT_EQ(w.StatusPanel(2), "SIMDISK SD-8000 HEALTHY");

    Reconnect(w, Pick("C800"));  // a channel without drives
    EXPECT_EQ(messages.Texts(), QStringList{"Ошибка идентификации устройства!"});
    EXPECT_EQ(messages.shown[0].kind, MsgKind::Error);
    EXPECT_EQ(Ctx().BasePort, 0xC800);
    EXPECT_EQ(Ctx().Model, "");
    EXPECT_EQ(Ctx().LbaMode, "");
    EXPECT_EQ(w.StatusPanel(2), "");
    EXPECT_EQ(w.StatusPanel(3), "");
    EXPECT_EQ(ata::CurrentConnection().basePort, 0xC800) << "the connection is made all the same";
}

TEST_F(MainWindowTest, AConversionFailureAsksAgainAtTheFirstStartOnly)
{
    sim::InstallMachine(sim::MachineSpec{});  // no controller at all
    answers = {[](TfrmSelectPort& d) { d.GridDblClick(); }, Cancel};
    {
        TfrmMain w(Settings());
        w.FormCreate();
        EXPECT_EQ(dialogs, 2) << "the dialog came again";
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].kind, MsgKind::Error);
        EXPECT_TRUE(w.TerminateRequested());
        EXPECT_FALSE(w.isVisible());
    }

    InstallPortBackend(ports);
    messages.Clear();
    dialogs = 0;
    answers = {Pick("0170")};
    TfrmMain w(Settings());
    w.FormCreate();
    Reconnect(w, [](TfrmSelectPort& d) {
        d.Grid->item(2, 1)->setText("Q000");  // a cell that reads as no port
        d.Grid->setCurrentCell(2, 0);
        d.bbOkClick();
    });
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(Ctx().BasePort, 0x170) << "the current connection goes on";
    EXPECT_EQ(Ctx().PortMutex->PortText(), "0170");
}

TEST_F(MainWindowTest, MenuCaptionsShortcutsAndWindows)
{
    answers = {Pick("01F0")};
    TfrmMain w(Settings());
    w.FormCreate();

    struct Item {
        QAction* action;
        const char* caption;
        QKeySequence key;
        const char* opens;
    };
    const std::vector<Item> items = {
        {w.mmiIdentifyDevice, "Идентификация устройства...", Qt::Key_F2, "IdentifyReport"},
        {w.mmiSoftReset, "Программный сброс", Qt::Key_F3, nullptr},
        {w.mmiSMARTShow, "Показать SMART...", Qt::Key_F9, "SmartViewer"},
        {w.mmiSMARTEnabled, "Включить SMART", {}, nullptr},
        {w.mmiSMARTDisabled, "Отключить SMART", {}, nullptr},
        {w.mmiSetPwd, "Установить пароль...", {}, "Password F1"},
        {w.mmiUnlockDevice, "Разблокировать устройство...", {}, "Password F2"},
        {w.mmiDisPwd, "Снять пароль...", {}, "Password F6"},
        {w.mmiSecirityErase, "Защитное стирание...", {}, "SecurityErase"},
        {w.mmiDisPwdAfterSecurityErase, "DisPwd After Security Erase", {}, nullptr},
        {w.mmiHPA, "HPA", {}, "Hpa"},
        {w.mmiScanSurface, "Проверка поверхности...", Qt::Key_F4, "SurfaceScan"},
        {w.mmiDefectoscop, "Дефектоскоп...", Qt::Key_F5, "DefectScope"},
        {w.mmiSeekTest, "Стресс-тест", Qt::Key_F6, "StressTest"},
        {w.mmiMakeSoftBad, "Создать Soft-Bad...", {}, "SoftBad"},
        {w.mmiEraseHDD, "Стереть HDD...", {}, "DriveErase"},
        {w.mmiSelectport, "Выбрать порт...", QKeySequence(Qt::SHIFT | Qt::Key_F3), nullptr},
        {w.mmiSettings, "Параметры...", Qt::Key_F12, "Settings"},
        {w.mmiVoranHelp, "Справка", Qt::Key_F1, nullptr},
        {w.mmiAbout, "О программе...", {}, nullptr},
        {w.mmiExit, "Выход", {}, nullptr},
    };
    for (const Item& i : items) {
        EXPECT_EQ(i.action->text(), QString::fromUtf8(i.caption));
        EXPECT_EQ(i.action->shortcut(), i.key) << i.caption;
        EXPECT_EQ(i.action->isVisible(), i.action != w.mmiDefectoscop) << i.caption;
        if (i.opens) {
            opened.clear();
            i.action->trigger();
            EXPECT_EQ(opened, QStringList{i.opens}) << i.caption;
        }
    }
    QStringList top;
    for (QAction* a : w.MainMenu->actions())
        top << a->text();
    EXPECT_EQ(top, QStringList({"ATA", "Тесты", "Операции", "Сервис", "Помощь"}));
    QStringList ata;
    for (QAction* a : w.mmiATA->actions())
        ata << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(ata, QStringList({"Идентификация устройства...", "Программный сброс", "SMART", "Security", "HPA",
                                "-", "Выход"}));

    // F1 opens the contents of the help.
    HelpRecorder help;
    w.mmiVoranHelp->trigger();
    EXPECT_EQ(help.contexts, std::vector<int>{0});

    opened.clear();
    w.mmiDisPwdAfterSecurityErase->trigger();
    EXPECT_TRUE(opened.isEmpty()) << "no action";

    w.mmiExit->trigger();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, ShortcutsFireAlsoForTheHiddenDefectScopeItem)
{
    answers = {Pick("01F0")};
    TfrmMain w(Settings());
    w.FormCreate();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_FALSE(w.mmiDefectoscop->isVisible());

    QTest::keyClick(&w, Qt::Key_F5);
    EXPECT_EQ(opened, QStringList{"DefectScope"});
    QTest::keyClick(&w, Qt::Key_F4);
    QTest::keyClick(&w, Qt::Key_F2);
    EXPECT_EQ(opened, QStringList({"DefectScope", "SurfaceScan", "IdentifyReport"}));

    // Only the enabled flag counts.
    w.mmiDefectoscop->setEnabled(false);
    QTest::keyClick(&w, Qt::Key_F5);
    EXPECT_EQ(opened.size(), 3);

    // F3: a software reset through the device control register.
    ports->Clear();
    QTest::keyClick(&w, Qt::Key_F3);
    bool srst = false;
    for (auto [p, v] : ports->Writes())
        srst |= p == 0x3F6 && (v & 0x04);
    EXPECT_TRUE(srst);
}

TEST_F(MainWindowTest, SmartOnAndOffReportTheirOutcome)
{
    answers = {Pick("01F0")};
    TfrmMain w(Settings());
    w.FormCreate();
    w.mmiSMARTEnabled->trigger();
    w.mmiSMARTDisabled->trigger();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].kind, MsgKind::Information);
    EXPECT_EQ(messages.shown[0].text, "SMART успешно включен!");
    EXPECT_EQ(messages.shown[1].kind, MsgKind::Information);
    EXPECT_EQ(messages.shown[1].text, "SMART успешно отключен!");
    EXPECT_FALSE(machine->DriveAt(0x1F0, 0)->State().smartEnabled);

    messages.Clear();
    Reconnect(w, Pick("D800"));  // a drive without SMART
    w.mmiSMARTEnabled->trigger();
    w.mmiSMARTDisabled->trigger();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].kind, MsgKind::Error);
    EXPECT_EQ(messages.shown[0].text, "Ошибка включения SMART!");
    EXPECT_EQ(messages.shown[1].kind, MsgKind::Error);
    EXPECT_EQ(messages.shown[1].text, "Ошибка отключения SMART!");
}

TEST_F(MainWindowTest, MinimisedToolWindowComesBackOnceWithTheApplication)
{
    answers = {Pick("01F0")};
    TfrmMain w(Settings());
    w.FormCreate();
    QWidget tool(&w, Qt::Window);
    tool.show();

    ASSERT_TRUE(MinimizeToShell(&tool));
    EXPECT_FALSE(tool.isVisible());
    EXPECT_EQ(w.MinimizedForm(), &tool);
    EXPECT_TRUE(w.windowState() & Qt::WindowMinimized);

    w.setWindowState(w.windowState() & ~Qt::WindowMinimized);  // restored from the task bar
    EXPECT_TRUE(tool.isVisible());
    EXPECT_EQ(w.MinimizedForm(), nullptr);

    tool.hide();
    w.MinimizeApplication();
    w.setWindowState(w.windowState() & ~Qt::WindowMinimized);
    EXPECT_FALSE(tool.isVisible()) << "a second restore shows nothing extra";

    // A form that went away meanwhile is not touched.
    {
        QWidget gone(&w, Qt::Window);
        gone.show();
        MinimizeToShell(&gone);
    }
    w.setWindowState(w.windowState() & ~Qt::WindowMinimized);
    EXPECT_EQ(w.MinimizedForm(), nullptr);
}

TEST_F(MainWindowTest, AModalToolWindowStaysOpenWhileMinimisedAndComesBackModal)
{
    answers = {Pick("01F0")};
    TfrmMain w(Settings());
    w.FormCreate();
    QDialog tool(&w);
    // The user's part, one step each time the event loop turns.
    int step = 0;
    bool hiddenWhileMinimised = false, modalAgain = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (step > 2)
            return;  // the loop may turn once more before ExecToolWindow returns
        switch (step) {
        case 0:
            if (!tool.isVisible())
                return;
            MinimizeToShell(&tool);  // the system minimise command of the tool window
            break;
        case 1:
            hiddenWhileMinimised = !tool.isVisible() && (w.windowState() & Qt::WindowMinimized);
            w.setWindowState(w.windowState() & ~Qt::WindowMinimized);  // restored from the task bar
            break;
        case 2:
            modalAgain = tool.isVisible() && QApplication::activeModalWidget() == &tool;
            tool.accept();
            break;
        }
        ++step;
    });
    user.start(0);
    const int result = ExecToolWindow(tool);
    user.stop();
    EXPECT_EQ(step, 3);
    EXPECT_TRUE(hiddenWhileMinimised);
    EXPECT_TRUE(modalAgain);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_FALSE(tool.isVisible());
}

TEST(StatusBarWidths, FixedTextsFitAndTheFreeTextPanelsGiveWay)
{
    QFont f;
    f.setPixelSize(20);  // far bigger than the design's font
    const QFontMetrics m(f);
    const std::vector<int> w =
        FitPanelWidths({250, 50, 180, 40}, {{}, {"Master"}, {}, {"LBA48"}}, {&m, &m, &m, &m}, {0, 2});
    EXPECT_GE(w[1], m.horizontalAdvance("Master") + 3);
    EXPECT_GE(w[3], m.horizontalAdvance("LBA48") + 3);
    EXPECT_EQ(w[0] + w[1] + w[2] + w[3], 520);
    EXPECT_EQ(w[0], 250) << "the model panel gives way first";
    f.setPixelSize(4);  // small enough: the design stands
    const QFontMetrics s(f);
    EXPECT_EQ(FitPanelWidths({250, 50, 180, 40}, {{}, {"Master"}, {}, {"LBA48"}}, {&s, &s, &s, &s}, {0, 2}),
              (std::vector<int>{250, 50, 180, 40}));
}

TEST_F(MainWindowTest, StatusBarHasSixCentredPanels)
{
    TfrmMain w(Settings());
    ASSERT_EQ(w.StatusBar->PanelCount(), 6);
    // The design widths, unless the font needs more for a fixed text; the
    // bar keeps its width.
    const int widths[] = {250, 50, 180, 40, 40, 40};
    int total = 0;
    for (int i = 0; i < 6; ++i) {
        EXPECT_GE(w.StatusBar->PanelAt(i).width, i == 0 || i == 2 ? widths[i] / 2 : widths[i]);
        EXPECT_EQ(w.StatusBar->PanelAt(i).ownerDraw, i == 4);
        total += w.StatusBar->PanelAt(i).width;
    }
    EXPECT_EQ(total, 600);
    w.SetStatusPanel(3, QStringLiteral("LBA48"));
    w.SetStatusPanel(1, QStringLiteral("Master"));
    EXPECT_EQ(w.StatusBar->DisplayedText(3), QStringLiteral("LBA48"));
    EXPECT_EQ(w.StatusBar->DisplayedText(1), QStringLiteral("Master"));
    EXPECT_EQ(w.StatusReg->objectName(), "StatusReg");
    EXPECT_EQ(w.StatusReg->geometry(), QRect(4, 0, 295, 56));
    EXPECT_EQ(w.ErrorReg->objectName(), "ErrorReg");
    EXPECT_EQ(w.ErrorReg->geometry(), QRect(304, 0, 295, 56));
    EXPECT_EQ(w.MonitorThread(), nullptr);
}
