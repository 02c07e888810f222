#include "GuestCheck.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <ostream>

#include "common/Clock.h"
#include "hw/Ata.h"
#include "hw/PassThrough.h"
#include "hw/PortIo.h"

#include <stdexcept>

namespace guest {

namespace {

// One record per line, fields separated by tabs: keep both out of texts.
std::string OneLine(std::string s)
{
    for (char& ch : s)
        if (ch == '\t' || ch == '\n' || ch == '\r')
            ch = ' ';
    return s;
}

}  // namespace

Check::Check(const Env& env, std::string group, std::string name)
    : m_env(env), m_group(std::move(group)), m_name(std::move(name))
{
}

void Check::Connect(const DriveInfo& d) const
{
    if (m_env.sata) {
        std::string why;
        std::shared_ptr<ata::Transport> t = ata::OpenPassThrough(d.node, &why);
        if (!t)
            throw std::runtime_error(d.id + ": " + why);
        ata::Connect(t, m_env.timeOutSeconds, CounterFrequency(), nullptr);
        return;
    }
    InitDLL(d.Base(), d.Alt(), uint8_t(d.unit), m_env.timeOutSeconds, CounterFrequency(), nullptr);
    PortWrite(uint16_t(d.Base() + 6), d.unit ? 0xF0 : 0xE0);
}

bool Check::Expect(bool ok, const std::string& what)
{
    if (!ok)
        m_failures.push_back(OneLine(what));
    return ok;
}

void Check::Note(const std::string& what) { m_notes.push_back(OneLine(what)); }
void Check::Bench(const std::string& what) { m_benches.push_back(OneLine(what)); }

std::string Check::Hex(uint64_t v, int digits)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%0*llX", digits, static_cast<unsigned long long>(v));
    return buf;
}

std::vector<CheckEntry>& Registry()
{
    static std::vector<CheckEntry> checks;
    return checks;
}

RunSummary RunChecks(const Env& env, const std::string& filter, std::ostream& out)
{
    RunSummary sum;
    // Registration order, the checks that must come last at the end.
    std::vector<const CheckEntry*> order;
    for (const CheckEntry& e : Registry())
        order.push_back(&e);
    std::stable_partition(order.begin(), order.end(), [](const CheckEntry* e) { return !e->last; });
    for (const CheckEntry* entry : order) {
        const CheckEntry& e = *entry;
        const std::string full = e.group + "." + e.name;
        if (full.compare(0, filter.size(), filter) != 0 || (e.group.rfind("sata_", 0) == 0) != env.sata)
            continue;
        Check c(env, e.group, e.name);
        const auto t0 = std::chrono::steady_clock::now();
        try {
            e.fn(c);
        } catch (const std::exception& ex) {
            c.Expect(false, std::string("exception: ") + ex.what());
        } catch (...) {
            c.Expect(false, "unknown exception");
        }
        for (const std::string& n : c.notes())
            out << "NOTE\t" << e.group << '\t' << e.name << '\t' << n << '\n';
        for (const std::string& b : c.benches())
            out << "BENCH\t" << e.group << '\t' << e.name << '\t' << b << '\n';
        for (const std::string& f : c.failures())
            out << "FAIL\t" << e.group << '\t' << e.name << '\t' << f << '\n';
        const bool ok = c.failures().empty();
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
        out << "CHECK\t" << e.group << '\t' << e.name << '\t' << (ok ? "PASS" : "FAIL") << "\tms=" << ms << '\n';
        out.flush();
        ++sum.run;
        sum.failed += ok ? 0 : 1;
    }
    return sum;
}

}  // namespace guest
