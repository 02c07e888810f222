// bench_scan: how many blocks a second the surface scan gets through.
//
//   pipeline     the worker, the synchronous hand-off and the scan window
//                (offscreen), as the user runs it
//   engine only  the same worker and hand-offs with a window interface that
//                does nothing
//
// Both verify 1,048,576 blocks (2^28 sectors) of a simulated drive that
// answers at once, so everything measured is the program's own cost and the
// simulator's.  Afterwards the map of a drive of more than 2^32 sectors is
// filled through the window and its navigation and find commands are timed.
//
// Options: --blocks N (blocks per run), --rounds N (best of N, default 2),
//          --huge (also scan the whole 2^32+ sector drive through the window),
//          --pipeline-only, --engine-only (for profiling one of them).
#include <functional>
#include <QApplication>
#include <QEventLoop>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

#include "common/Clock.h"
#include "common/DriveContext.h"
#include "common/MonitorControl.h"
#include "common/Services.h"
#include "common/Shell.h"
#include "common/UiCall.h"
#include "hw/Ata.h"
#include "sim/SimMachine.h"
#include "surface/Int64SpinBox.h"
#include "surface/Scan.h"
#include "surface/ScanMapView.h"
#include "surface/ScanParam.h"
#include "surface/ScanThread.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

class IdleMonitor : public MonitorControl {
public:
    void Pause() override {}
    void Resume() override {}
};

// The main window as far as the scan needs it.
class BenchShell : public Shell {
public:
    void SetStatusPanel(int, const QString&) override {}
    QString StatusPanel(int) const override { return {}; }
    MonitorControl* MonitorThread() const override { return const_cast<IdleMonitor*>(&monitor); }
    QString Caption() const override { return {}; }
    QWidget* Window() override { return nullptr; }
    void SetMinimizedForm(QWidget*) override {}
    QWidget* MinimizedForm() const override { return nullptr; }
    void MinimizeApplication() override {}
    IdleMonitor monitor;
};

class NullSink : public ScanSink {
public:
    void ScanStarted(const ScanStart&) override {}
    void ShowBlock(const ScanBlock&) override {}
    void AddPoint(const ScanPoint&) override {}
    void ScanFinished(const ScanEnd&) override {}
    void EndOfRun(const ScanEnd&) override {}
};

sim::MachineSpec Machine(uint64_t sectors)
{
    sim::DriveSpec d;
    d.model = "BENCH INSTANT DRIVE";
    d.serial = "BENCH0001";
    d.firmware = "B1.0";
    d.sectors = sectors;
    d.lba48 = true;
    d.timeScale = 0;
    return sim::OneControllerMachine(d);
}

std::shared_ptr<sim::Machine> Install(uint64_t sectors)
{
    auto m = sim::InstallMachine(Machine(sectors));
    InitDLL(0x1F0, 0x3F6, 0, 5, CounterFrequency(), nullptr);
    Ctx().BasePort = 0x1F0;
    Ctx().AltPort = 0x3F6;
    return m;
}

struct Run {
    int64_t blocks = 0;
    double seconds = 0;
    double rate() const { return seconds > 0 ? double(blocks) / seconds : 0; }
};

Run Pipeline(TfrmScan& form, int64_t sectors)
{
    form.RangeDialog = [sectors](TfrmScanParam& d) {
        d.speStartLBA->setValue(0);
        d.speStopLBA->setValue(sectors);
        return true;
    };
    QEventLoop loop;
    QObject::connect(&form, &TfrmScan::RunEnded, &loop, &QEventLoop::quit);
    const auto t0 = Clock::now();
    form.bbStartClick();
    if (form.Running())
        loop.exec();
    const auto t1 = Clock::now();
    return {form.Map().CellCount(), Seconds(t0, t1)};
}

Run EngineOnly(int64_t sectors)
{
    NullSink sink;
    TScanThread worker(true, 0, sectors, &sink);
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    const auto t0 = Clock::now();
    worker.start(QThread::TimeCriticalPriority);
    if (!worker.isFinished())
        loop.exec();
    worker.wait();
    const auto t1 = Clock::now();
    return {(worker.CurrentLBA() + 255) / 256, Seconds(t0, t1)};
}

// The two parts of the worker's cost per block, each alone on a thread of
// its own: VerifySectors against the simulated drive, and an empty
// synchronous hand-off to the UI thread.
// Calls per second of `call`, made `count` times on a thread of its own
// while this thread runs its event loop (so hand-offs are answered).
double RateOnOwnThread(int64_t count, const std::function<void(int64_t)>& call)
{
    double rate = 0;
    QThread* t = QThread::create([&] {
        const auto t0 = Clock::now();
        for (int64_t i = 0; i < count; ++i)
            call(i);
        rate = double(count) / Seconds(t0, Clock::now());
    });
    QEventLoop loop;
    QObject::connect(t, &QThread::finished, &loop, &QEventLoop::quit);
    t->start();
    if (!t->isFinished())
        loop.exec();
    t->wait();
    delete t;
    return rate;
}

double VerifyAloneRate(int64_t blocks)
{
    return RateOnOwnThread(blocks, [](int64_t i) { VerifySectors(i * 256, 256, 1); });
}

double HandOffAloneRate(int64_t calls)
{
    return RateOnOwnThread(calls, [](int64_t) { RunOnUiThread([] {}); });
}

template <typename F>
double TimeMs(F f)
{
    const auto t0 = Clock::now();
    f();
    return Seconds(t0, Clock::now()) * 1000;
}

long PeakRssMb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetBeepSilent(true);

    int64_t blocks = 1048576;
    int rounds = 2;
    bool huge = false;
    bool pipelineOnly = false, engineOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--blocks") && i + 1 < argc)
            blocks = std::atoll(argv[++i]);
        else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--huge"))
            huge = true;
        else if (!std::strcmp(argv[i], "--pipeline-only"))
            pipelineOnly = true;
        else if (!std::strcmp(argv[i], "--engine-only"))
            engineOnly = true;
    }
    const int64_t sectors = blocks * 256;

    BenchShell shell;
    SetMainShell(&shell);
    auto machine = Install(uint64_t(sectors) + 1);  // highest LBA = sectors

    TfrmScan form;
    form.show();
    QApplication::processEvents();

    EngineOnly(65536 * 256);  // warm-up
    Run bestPipe, bestEngine;
    for (int r = 0; r < rounds; ++r) {
        const Run p = engineOnly ? Run{} : Pipeline(form, sectors);
        std::printf("round %d: pipeline %lld blocks in %.2f s = %.0f blocks/s\n", r + 1, (long long)p.blocks,
                    p.seconds, p.rate());
        std::fflush(stdout);
        const Run e = pipelineOnly ? Run{} : EngineOnly(sectors);
        std::printf("round %d: engine only %lld blocks in %.2f s = %.0f blocks/s\n", r + 1, (long long)e.blocks,
                    e.seconds, e.rate());
        std::fflush(stdout);
        if (p.rate() > bestPipe.rate())
            bestPipe = p;
        if (e.rate() > bestEngine.rate())
            bestEngine = e;
    }
    const double mapMb = double(form.Map().MemoryBytes()) / (1 << 20);
    const double verifyRate = VerifyAloneRate(std::min<int64_t>(blocks, 262144));
    const double handRate = HandOffAloneRate(std::min<int64_t>(blocks, 262144));
    std::printf("parts: VerifySectors alone %.0f blocks/s (%.2f us), empty hand-off alone %.0f/s (%.2f us),"
                " engine only %.2f us/block, pipeline %.2f us/block\n",
                verifyRate, 1e6 / verifyRate, handRate, 1e6 / handRate, 1e6 / bestEngine.rate(),
                1e6 / bestPipe.rate());

    // One display refresh during a run (what the window does every 40 ms):
    // counters, progress, panel 0, the map, and the repaint that follows.
    {
        ScanStart s;
        s.startLba = 0;
        s.stopLba = int64_t(200) * 2000 * 256;
        form.ScanStarted(s);
        ScanBlock b;
        b.count = 256;
        double total = 0;
        int64_t n = 0;
        for (int r = 0; r < 200; ++r) {
            for (int i = 0; i < 2000; ++i, ++n) {
                b.lba = n * 256;
                b.cls = (n % 997 == 0) ? scan::kT15 : scan::kT5;
                form.ShowBlock(b);
            }
            total += TimeMs([&] {
                form.RefreshView();
                QApplication::processEvents();
            });
        }
        std::printf("display refresh: %.3f ms each (%.1f%% of a %d ms interval)\n", total / 200,
                    total / 200 / 40 * 100, 40);
        form.Timer->stop();
    }

    // The window's own share of a block: ShowBlock called directly.
    {
        const int64_t big = ((int64_t(1) << 32) + (int64_t(1) << 30)) / 256;  // 2^32 + 2^30 sectors
        ScanStart s;
        s.startLba = 0;
        s.stopLba = big * 256;
        form.ScanStarted(s);
        ScanBlock b;
        b.count = 256;
        const double ms = TimeMs([&] {
            for (int64_t i = 0; i < big; ++i) {
                b.lba = i * 256;
                b.cls = (i == big - 100) ? scan::kUNC : scan::kT5;
                b.reportLine = (i == big - 100) ? scan::ReportLine(b.cls, b.lba) : QString();
                form.ShowBlock(b);
            }
            form.RefreshView();
        });
        std::printf("window alone: %lld blocks through ShowBlock in %.0f ms = %.1f ns/block, map %.1f MB\n",
                    (long long)big, ms, ms * 1e6 / double(big), double(form.Map().MemoryBytes()) / (1 << 20));
        form.Timer->stop();
        form.Grid->setEnabled(true);
        form.PageControl->setCurrentIndex(TfrmScan::kMapTab);
        QApplication::processEvents();
        std::printf("map of %lld rows: home %.2f ms, end %.2f ms, 10%% forward %.2f ms, find UNC %.2f ms,"
                    " find Error over the whole map %.2f ms, scroll+paint %.2f ms\n",
                    (long long)form.Map().RowCount(), TimeMs([&] { form.miHomeClick(); }),
                    TimeMs([&] { form.miEndClick(); }), TimeMs([&] { form.mi10UpClick(); }),
                    TimeMs([&] {
                        form.miHomeClick();
                        form.miUncClick();
                    }),
                    TimeMs([&] {
                        form.miHomeClick();
                        form.miErrorClick();
                    }),
                    TimeMs([&] {
                        form.Grid->verticalScrollBar()->setValue(form.Grid->verticalScrollBar()->maximum() / 2);
                        form.Grid->viewport()->repaint();
                    }));
    }

    if (huge) {
        // The whole drive of more than 2^32 sectors through the window.
        const int64_t hugeSectors = (int64_t(1) << 32) + (int64_t(1) << 30);
        machine.reset();
        machine = Install(uint64_t(hugeSectors) + 1);
        TfrmScan hugeForm;
        hugeForm.show();
        const Run h = Pipeline(hugeForm, hugeSectors);
        std::printf("huge drive: %lld blocks in %.1f s = %.0f blocks/s, map %.1f MB, peak RSS %ld MB\n",
                    (long long)h.blocks, h.seconds, h.rate(), double(hugeForm.Map().MemoryBytes()) / (1 << 20),
                    PeakRssMb());
    }

    std::printf("peak RSS %ld MB\n", PeakRssMb());
    std::printf("pipeline: %.0f blocks/s, engine only: %.0f blocks/s, map: %.1f MB\n", bestPipe.rate(),
                bestEngine.rate(), mapMb);
    SetMainShell(nullptr);
    return 0;
}
