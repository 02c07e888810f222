// CPU cost of an idle register monitor: the drive's status does not change,
// so every period costs one port read and one pause, and the UI thread has
// nothing to do.  The monitor thread's own CPU time (CLOCK_THREAD_CPUTIME_ID,
// read inside the thread at each pause) over a few seconds of wall time is
// reported as a share of one core, for 10 ms and 35 ms, on the simulated
// machine and on a bare port backend that only returns a constant (the cost
// of the monitor itself, as with a real inb).
//
//   bench_monitor [seconds per run, default 5]
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "hw/PortIo.h"
#include "monitor/KVErrorReg.h"
#include "monitor/KVStatusReg.h"
#include "monitor/Monitor.h"
#include "sim/SimMachine.h"
#include "sim/SimSpec.h"

namespace {

int64_t Nanos(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t ProcessCpuNanos()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    auto ns = [](const timeval& t) { return int64_t(t.tv_sec) * 1000000000 + int64_t(t.tv_usec) * 1000; };
    return ns(ru.ru_utime) + ns(ru.ru_stime);
}

// A port backend that answers an idle drive's status and nothing else.
class ConstantPorts : public PortBackend {
public:
    uint8_t In8(uint16_t) override { return 0x50; }
    uint16_t In16(uint16_t) override { return 0x50; }
    uint32_t In32(uint16_t) override { return 0x50; }
    void Out8(uint16_t, uint8_t) override {}
    void Out16(uint16_t, uint16_t) override {}
    void Out32(uint16_t, uint32_t) override {}
    const char* Kind() const override { return "constant"; }
};

// Notes the thread's CPU time and the wall time at every pause.
class MeasuredMonitor : public TMonitorThread {
public:
    MeasuredMonitor(uint16_t period, TKVStatusReg* s, TKVErrorReg* e)
        : TMonitorThread(0x1F0, 0x3F6, 0, period, s, e, DeferredStart::Yes)
    {
        start();
    }
    std::atomic<int64_t> cpu{0}, wall{0};
    std::atomic<uint64_t> naps{0};

protected:
    void Nap(int ms) override
    {
        cpu.store(Nanos(CLOCK_THREAD_CPUTIME_ID));
        wall.store(Nanos(CLOCK_MONOTONIC));
        ++naps;
        TMonitorThread::Nap(ms);
    }
};

void RunEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Measure(const char* backend, int period, int seconds, TKVStatusReg* s, TKVErrorReg* e)
{
    auto* m = new MeasuredMonitor(uint16_t(period), s, e);
    RunEventLoopFor(300);  // first sample shown, thread settled
    const int64_t cpu0 = m->cpu.load(), wall0 = m->wall.load(), proc0 = ProcessCpuNanos();
    const uint64_t naps0 = m->naps.load();
    const int64_t procWall0 = Nanos(CLOCK_MONOTONIC);
    RunEventLoopFor(seconds * 1000);
    const int64_t cpu1 = m->cpu.load(), wall1 = m->wall.load(), proc1 = ProcessCpuNanos();
    const uint64_t naps1 = m->naps.load();
    const int64_t procWall1 = Nanos(CLOCK_MONOTONIC);
    const uint64_t handOffs = m->Stats().handOffs;
    m->RequestStop();  // frees itself
    RunEventLoopFor(50);

    const double share = wall1 > wall0 ? double(cpu1 - cpu0) / double(wall1 - wall0) : 0;
    const double procShare = double(proc1 - proc0) / double(procWall1 - procWall0);
    const double samplesPerSec = wall1 > wall0 ? double(naps1 - naps0) * 1e9 / double(wall1 - wall0) : 0;
    const double usPerSample = naps1 > naps0 ? double(cpu1 - cpu0) / 1000.0 / double(naps1 - naps0) : 0;
    std::printf("%-10s %4d ms  %7.1f samples/s  %6.2f us CPU/sample  monitor thread %7.4f %% of a core"
                "  (whole process %7.4f %%, hand-offs %llu)\n",
                backend, period, samplesPerSec, usPerSample, share * 100.0, procShare * 100.0,
                static_cast<unsigned long long>(handOffs));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    QWidget window;
    auto* status = new TKVStatusReg(&window);
    auto* error = new TKVErrorReg(&window);
    error->move(300, 0);

    std::printf("Idle register monitor, %d s per run (status constant, no hand-offs after the first)\n",
                seconds);
    sim::InstallMachine(sim::DefaultMachineSpec());
    for (int period : {10, 35})
        Measure("simulated", period, seconds, status, error);
    InstallPortBackend(std::make_shared<ConstantPorts>());
    for (int period : {10, 35})
        Measure("constant", period, seconds, status, error);
    return 0;
}
