// Cost of one command through the ATA layer against an instant simulated
// drive: VerifySectors, IdentifyDevice and a 16-sector EraseSector, alone and
// with two other threads reading the status port the whole time (as the
// monitor and a second reader would), and the port accesses each one takes
// (calls of the port layer; a block transfer of the data register is one);
// then the same commands through the pass-through transport, against the
// simulated stand-in for the kernel (whose own work is in the figure: the
// transport's cost in a real guest is measured by the q35 run of the QEMU
// suite, tests/qemu).
//
//   bench_ata [seconds per case]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "common/Clock.h"
#include "hw/Ata.h"
#include "hw/PassThrough.h"
#include "hw/PortIo.h"
#include "sim/SimMachine.h"

namespace {

using Clock = std::chrono::steady_clock;

double MicrosPerCall(const std::function<void()>& call, double seconds)
{
    // Warm up, then count calls over the period.
    for (int i = 0; i < 1000; ++i)
        call();
    const auto t0 = Clock::now();
    const auto end = t0 + std::chrono::duration<double>(seconds);
    uint64_t n = 0;
    while (Clock::now() < end) {
        for (int i = 0; i < 100; ++i)
            call();
        n += 100;
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / double(n);
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    sim::DriveSpec d;
    d.model = "BENCH INSTANT";
    d.sectors = 1ULL << 32;
    d.timeScale = 0;
    sim::MachineSpec spec = sim::OneControllerMachine(d);
    spec.passThrough = {{"/dev/sda", sim::SenseLayout::Fixed, sim::PassThroughBus::Sata, d}};
    auto machine = sim::InstallMachine(spec);
    InitDLL(0x1F0, 0x3F6, 0, 10, CounterFrequency(), nullptr);

    int64_t lba = 0;
    auto verify = [&] {
        if (VerifySectors(lba, 256, 1) < 0)
            std::abort();
        lba = (lba + 256) % (1LL << 31);
    };
    uint8_t buf[512];
    auto identify = [&] {
        if ((IdentifyDevice(buf) & 0xFF) == 0)
            std::abort();
    };
    auto erase = [&] {
        if ((EraseSector(lba, 16, 1, 0, 0xE5) & 0xFF) == 0)
            std::abort();
        lba = (lba + 16) % (1LL << 31);
    };
    auto accesses = [&](const std::function<void()>& call) {
        const uint64_t before = machine->PortAccessCount();
        call();
        return machine->PortAccessCount() - before;
    };

    const double v0 = MicrosPerCall(verify, seconds);
    const double i0 = MicrosPerCall(identify, seconds);
    const double e0 = MicrosPerCall(erase, seconds);

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> reads{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 2; ++t)
        readers.emplace_back([&] {
            uint64_t n = 0;
            while (!stop.load(std::memory_order_relaxed)) {
                (void)PortRead(0x3F6);
                ++n;
            }
            reads += n;
        });
    const auto tr = Clock::now();
    const double v2 = MicrosPerCall(verify, seconds);
    const double i2 = MicrosPerCall(identify, seconds);
    const double e2 = MicrosPerCall(erase, seconds);
    stop = true;
    for (auto& t : readers)
        t.join();
    const double readRate = double(reads) / std::chrono::duration<double>(Clock::now() - tr).count();

    std::printf("VerifySectors (256 sectors): %.2f us alone, %.2f us with two status readers\n", v0, v2);
    std::printf("IdentifyDevice:              %.2f us alone, %.2f us with two status readers\n", i0, i2);
    std::printf("EraseSector (16 sectors):    %.2f us alone, %.2f us with two status readers\n", e0, e2);
    std::printf("port accesses: VerifySectors %llu, IdentifyDevice %llu, EraseSector %llu\n",
                (unsigned long long)accesses(verify), (unsigned long long)accesses(identify),
                (unsigned long long)accesses(erase));
    std::printf("status readers: %.0f reads/s together\n", readRate);

    std::string why;
    ata::Connect(ata::OpenPassThrough("/dev/sda", &why), 10, CounterFrequency(), nullptr);
    std::printf("pass-through stand-in: VerifySectors %.2f us, IdentifyDevice %.2f us, EraseSector %.2f us\n",
                MicrosPerCall(verify, seconds), MicrosPerCall(identify, seconds), MicrosPerCall(erase, seconds));
    return 0;
}
