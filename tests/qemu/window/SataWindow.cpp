// voran_qemu_window: the program's windows on the q35 guest's own X server,
// against a drive on QEMU's AHCI controller.
//
//   run-desktop.sh voran_qemu_window --node /dev/sdX --model MODEL --out DIR
//
// Starts as `voran --hardware` does (the kernel's drives, their selection
// rows from sysfs, the in-use guard), selects the drive in the selection
// dialog, and opens the identify report (F2), the SMART table (F9) and a
// surface scan (F4) with the keys sent through the X server, as a user
// would.  Each window is photographed from the X server into DIR as a PNG
// once it is on the screen.  Prints one line per failed expectation; exit
// status 0 when there was none, 1 otherwise, 3 outside the q35 test guest
// (it opens a real disk).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "GuestEnv.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "common/IniFile.h"
#include "common/Services.h"
#include "common/WindowPlace.h"
#include "desktop/Desktop.h"
#include "info/Pasport.h"
#include "info/Smart.h"
#include "monitor/KVStatusReg.h"
#include "select/RadioGroup.h"
#include "select/SelectPort.h"
#include "surface/Int64SpinBox.h"
#include "surface/Scan.h"
#include "surface/ScanParam.h"

namespace {

std::vector<std::string> gFailures;
QString gOut;

bool Expect(bool ok, const std::string& what)
{
    if (!ok) {
        gFailures.push_back(what);
        std::printf("FAIL %s\n", what.c_str());
        std::fflush(stdout);
    }
    return ok;
}

// What the run is doing, with the time since start (a run that hangs shows
// where).
QElapsedTimer gClock;
void Step(const char* what)
{
    std::printf("STEP %6.1f s  %s\n", double(gClock.elapsed()) / 1000.0, what);
    std::fflush(stdout);
}

// The window with its frame as the X server shows it, once it has painted
// itself there.
void Shot(const QString& name, QWidget* window)
{
    window->repaint();
    QCoreApplication::processEvents();
    const QRect f = desktop::Query(window).frame;
    const QPixmap p = QGuiApplication::primaryScreen()->grabWindow(0, f.x(), f.y(), f.width(), f.height());
    const QString file = gOut + QLatin1Char('/') + name + QStringLiteral(".png");
    if (Expect(!p.isNull() && p.save(file), "screenshot " + file.toStdString()))
        std::printf("SHOT %s\n", file.toStdString().c_str());
}

bool OnScreen(QWidget* w)
{
    const desktop::XWindow x = desktop::Query(w);
    return w->isVisible() && x.viewable && x.managed && !BeingPlaced(w);
}

// Runs `user` once a modal window of type W is on the screen; the window's
// own modal loop is running then, as when the user acts in it.
template <class W>
void WhenModal(std::function<void(W&)> user)
{
    auto* t = new QTimer(qApp);
    t->setInterval(20);
    QObject::connect(t, &QTimer::timeout, [t, user] {
        auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
        if (!w || !OnScreen(w))
            return;
        t->stop();
        t->deleteLater();
        user(*w);
    });
    t->start();
}

// Presses `key` in the main window through the X server and waits until
// `done` says the window it opens has been dealt with.
bool Key(TfrmMain& main, const char* key, const bool& done, int limitMs)
{
    desktop::Activate(&main);
    desktop::WaitUntil([&] { return QApplication::activeWindow() == &main; });
    desktop::PressKeys(QString::fromLatin1(key));
    return Expect(desktop::WaitUntil([&] { return done; }, limitMs), std::string(key) + ": the window did not come and go");
}

}  // namespace

int main(int argc, char** argv)
{
    std::string node, model;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--node")
            node = argv[i + 1];
        else if (a == "--model")
            model = argv[i + 1];
        else if (a == "--out")
            gOut = QString::fromLocal8Bit(argv[i + 1]);
    }
    std::string why;
    if (!guest::InsideSataTestGuest(&why)) {
        std::fprintf(stderr, "voran_qemu_window: refusing to open a disk outside the q35 test guest: %s\n", why.c_str());
        return 3;
    }
    if (node.empty() || gOut.isEmpty()) {
        std::fprintf(stderr, "usage: voran_qemu_window --node /dev/sdX --model MODEL --out DIR\n");
        return 2;
    }
    QDir().mkpath(gOut);
    gClock.start();
    QApplication app(argc, argv);
    Step("application");
    InstallQtTranslations();
    CommandLineOptions options;
    options.machine = MachineChoice::Hardware;
    const MachineSetup machine = SetUpMachine(options);
    if (!Expect(machine.ok, "hardware mode: " + machine.error.toStdString()))
        return 1;

    QTemporaryDir dir;
    const QString exeDir = dir.path() + QStringLiteral("/voran/");
    QDir().mkpath(exeDir);
    {
        IniFile ini(exeDir + QStringLiteral("Voran.ini"));
        ini.WriteString(QStringLiteral("Port"), QStringLiteral("LastPort"), QString::fromStdString(node));
        ini.WriteBool(QStringLiteral("Port"), QStringLiteral("AutoDetect"), true);
        ini.WriteInteger(QStringLiteral("TimeOut"), QStringLiteral("TimeOut"), 5);
    }
    MessageRecorder messages;  // a message box would be a failure here
    const QString qnode = QString::fromStdString(node), qmodel = QString::fromStdString(model);

    StartupSettings s;
    s.exeDir = exeDir;
    s.simulated = false;
    s.settleMs = 0;
    s.runSelectDialog = [&](TfrmSelectPort& d) {
        QTimer::singleShot(0, &d, [&] {
            if (!Expect(desktop::WaitUntil([&] { return OnScreen(&d); }), "the selection dialog came on the screen")) {
                d.bbCancelClick();
                return;
            }
            Expect(d.Cell(1, d.SelectedRow()) == qnode, "the row of " + node + " is chosen (LastPort)");
            Expect(d.Cell(0, d.SelectedRow()).endsWith(QStringLiteral(" (ahci): ") + qmodel),
                   "its name: " + d.Cell(0, d.SelectedRow()).toStdString());
            Expect(!d.rgbDevice->isEnabled(), "Master/Slave is off for it");
            Shot(QStringLiteral("1-select"), &d);
            QTest::mouseClick(d.bbOk, Qt::LeftButton);
        });
        return d.exec();
    };
    TfrmMain main(s);
    Step("selection");
    main.FormCreate();
    Step("main window");
    if (!Expect(!main.TerminateRequested() && desktop::WaitUntil([&] { return OnScreen(&main); }),
                "the main window came on the screen"))
        return 1;
    Expect(main.StatusPanel(0).startsWith(qnode + QStringLiteral(" (SATA ata")), "panel 0: " + main.StatusPanel(0).toStdString());
    Expect(main.StatusPanel(2) == qmodel, "panel 2: " + main.StatusPanel(2).toStdString());
    // The lamps show what the identify of the connection returned.
    const auto* lamps = qobject_cast<TKVStatusReg*>(main.StatusReg);
    Expect(desktop::WaitUntil([&] { return lamps && lamps->RegValue() == 0x50; }),
           "the status lamps show 50h (DRDY DSC) after the identify");
    Shot(QStringLiteral("2-main"), &main);

    bool identified = false;
    WhenModal<TfrmPasport>([&](TfrmPasport& p) {
        Expect(p.Memo->toPlainText().contains(qmodel), "the identify report names " + model);
        Shot(QStringLiteral("3-identify"), &p);
        p.accept();
        identified = true;
    });
    Step("F2");
    Key(main, "F2", identified, 30000);

    bool smart = false;
    WhenModal<TfrmSMART>([&](TfrmSMART& w) {
        Expect(w.Grid->rowCount() > 5, "SMART rows: " + std::to_string(w.Grid->rowCount()));
        Shot(QStringLiteral("4-smart"), &w);
        w.reject();
        smart = true;
    });
    Step("F9");
    Key(main, "F9", smart, 30000);

    bool scanned = false;
    WhenModal<TfrmScan>([&](TfrmScan& w) {
        WhenModal<TfrmScanParam>([&](TfrmScanParam& p) {
            Step("range dialog");
            p.speStopLBA->setValue(std::min<int64_t>(p.speStopLBA->maximum(), 25600));
            QTest::mouseClick(p.bbOk, Qt::LeftButton);
        });
        Step("scan window");
        QTest::mouseClick(w.bbStart, Qt::LeftButton);
        Step("scan started");
        Expect(desktop::WaitUntil([&] { return w.windowTitle().endsWith(QStringLiteral(" - Выполнено")); }, 45000),
               "the scan ended: " + w.windowTitle().toStdString());
        Step("scan ended");
        Shot(QStringLiteral("5-scan"), &w);
        QTest::mouseClick(w.bbClose, Qt::LeftButton);
        scanned = true;
    });
    Step("F4");
    Key(main, "F4", scanned, 60000);

    Expect(messages.shown.empty(), "message boxes: " + messages.Texts().join(QStringLiteral(" | ")).toStdString());
    std::printf("END failures=%zu\n", gFailures.size());
    return gFailures.empty() ? 0 : 1;
}
