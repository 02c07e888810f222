// The layer's own cost per command in the guest, on each transport: the
// time of a command through the ATA layer less the time spent in the
// transport's system calls (SG_IO) or port accesses, median of many
// commands.  Figures only (BENCH records), no verdict but that the commands
// work; compare the two paths only with each other.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "hw/PassThrough.h"
#include "hw/PortIo.h"
#include "hw/SgioTransport.h"

using namespace guest;

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Time spent below the layer during the current command.
struct Below {
    Clock::duration spent{};
    uint64_t calls = 0;
};

class TimedNode : public ata::SgNode {
public:
    TimedNode(std::shared_ptr<ata::SgNode> inner, Below& below) : m_inner(std::move(inner)), m_below(below) {}
    int Io(sg_io_hdr_t& h) override
    {
        const auto t0 = Clock::now();
        const int r = m_inner->Io(h);
        m_below.spent += Clock::now() - t0;
        ++m_below.calls;
        return r;
    }

private:
    std::shared_ptr<ata::SgNode> m_inner;
    Below& m_below;
};

class TimedPorts : public PortBackend {
    template <class F>
    auto Timed(F f) -> decltype(f())
    {
        const auto t0 = Clock::now();
        auto r = f();
        m_below.spent += Clock::now() - t0;
        ++m_below.calls;
        return r;
    }

public:
    TimedPorts(std::shared_ptr<PortBackend> inner, Below& below) : m_inner(std::move(inner)), m_below(below) {}
    uint8_t In8(uint16_t p) override { return Timed([&] { return m_inner->In8(p); }); }
    uint16_t In16(uint16_t p) override { return Timed([&] { return m_inner->In16(p); }); }
    uint32_t In32(uint16_t p) override { return Timed([&] { return m_inner->In32(p); }); }
    void Out8(uint16_t p, uint8_t v) override { Timed([&] { m_inner->Out8(p, v); return 0; }); }
    void Out16(uint16_t p, uint16_t v) override { Timed([&] { m_inner->Out16(p, v); return 0; }); }
    void Out32(uint16_t p, uint32_t v) override { Timed([&] { m_inner->Out32(p, v); return 0; }); }
    void In16Block(uint16_t p, uint16_t* w, size_t n) override { Timed([&] { m_inner->In16Block(p, w, n); return 0; }); }
    void Out16Block(uint16_t p, const uint16_t* w, size_t n) override
    {
        Timed([&] { m_inner->Out16Block(p, w, n); return 0; });
    }
    const char* Kind() const override { return m_inner->Kind(); }

private:
    std::shared_ptr<PortBackend> m_inner;
    Below& m_below;
};

// Runs `command` `n` times; the medians of the whole and of the layer's part.
void Measure(Check& c, Below& below, const std::string& what, int n, const std::function<bool(int)>& command)
{
    std::vector<double> total, layer;
    uint64_t calls = 0;
    for (int i = 0; i < n; ++i) {
        below = Below{};
        const auto t0 = Clock::now();
        const bool ok = command(i);
        if (!c.Expect(ok, what + " failed (" + LastOutcome() + ")"))
            return;
        const double t = Micros(Clock::now() - t0);
        total.push_back(t);
        layer.push_back(t - Micros(below.spent));
        calls = below.calls;
    }
    char line[256];
    std::snprintf(line, sizeof line, "%s: %.1f us a command, the layer's own %.1f us, %llu calls below it (median of %d)",
                  what.c_str(), Median(total), Median(layer), static_cast<unsigned long long>(calls), n);
    c.Bench(line);
}

void MeasureCommands(Check& c, const DriveInfo& d, Below& below, const std::string& path)
{
    // Away from the sectors other checks write to.
    constexpr int64_t kFrom = 4000000;
    ata::IdentifyBlock b{};
    Measure(c, below, path + " " + d.id + " READ VERIFY SECTORS EXT, 1 sector", 2000,
            [](int i) { return VerifySectors(kFrom + int64_t(i) * 977, 1, 1) >= 0; });
    Measure(c, below, path + " " + d.id + " READ VERIFY SECTORS EXT, 256 sectors", 500,
            [](int i) { return VerifySectors(kFrom + int64_t(i) * 256, 256, 1) >= 0; });
    Measure(c, below, path + " " + d.id + " IDENTIFY DEVICE", 500, [&](int) { return (IdentifyDevice(b.Bytes()) & 0xFF) != 0; });
}

}  // namespace

GUEST_CHECK(bench, port_transport_cost_per_command)
{
    const DriveInfo& d = c.Drives().front();
    Below below;
    const std::shared_ptr<PortBackend> real = CurrentPortBackend();
    InstallPortBackend(std::make_shared<TimedPorts>(real, below));
    c.Connect(d);
    MeasureCommands(c, d, below, "ports");
    InstallPortBackend(real);
    c.Connect(d);
}

GUEST_CHECK(sata_bench, sgio_transport_cost_per_command)
{
    const DriveInfo& d = c.Drives().front();
    std::string why;
    std::shared_ptr<ata::SgNode> node = ata::CurrentPassThroughHost()->Open(d.node, &why);
    if (!c.Expect(node != nullptr, d.id + ": " + why))
        return;
    Below below;
    ata::Connect(std::make_shared<ata::SgioTransport>(std::make_shared<TimedNode>(node, below), d.node),
                 c.env().timeOutSeconds, 0, nullptr);
    MeasureCommands(c, d, below, "SG_IO");
}
