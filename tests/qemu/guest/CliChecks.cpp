// The command line in hardware mode: `voran --hardware --channel ...
// --identify` and `--scan` against QEMU's drives, as a script would run them.
#include <string>

#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "GuestProcess.h"
#include "info/IdentifyReport.h"

using namespace guest;

namespace {

std::vector<std::string> Command(const DriveInfo& d, std::vector<std::string> rest)
{
    std::vector<std::string> argv = {"voran", "--hardware", "--channel", d.bus == 0 ? "01F0" : "0170"};
    if (d.unit == 1)
        argv.push_back("--slave");
    argv.insert(argv.end(), rest.begin(), rest.end());
    return argv;
}

bool Has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

}  // namespace

GUEST_CHECK(cli, identify_prints_the_report)
{
    if (c.Simulated()) {
        c.Note("cli: the command line runs on real ports only; not run on the simulated mirror");
        return;
    }
    for (const DriveInfo& d : c.Drives()) {
        const ProcessResult r = RunProgram(Command(d, {"--identify"}));
        c.ExpectEq(r.exitCode, 0, d.id + ": exit status of --identify (" + r.output + ")");
        ExpectReportRows(c, d, r.output);
    }
}

GUEST_CHECK(cli, scan_reports_a_clean_range)
{
    if (c.Simulated())
        return;
    for (const DriveInfo& d : c.Drives()) {
        // Across 2^28 on the big drive (48-bit commands), from 0 elsewhere.
        const uint64_t start = d.Above28Bit() ? (uint64_t(1) << 28) - 51200 : 0;
        const uint64_t end = start + 102400;
        const ProcessResult r = RunProgram(Command(d, {"--scan", std::to_string(start), std::to_string(end)}));
        c.ExpectEq(r.exitCode, 0, d.id + ": exit status of --scan (" + r.output + ")");
        c.Expect(Has(r.output, "Model: " + d.model + " FW: " + d.firmware + "\n"), d.id + ": report header");
        c.Expect(Has(r.output, "Конечный LBA.............." + std::to_string(end) + "\n"), d.id + ": end of range");
        c.Expect(Has(r.output, "Выполнено..................."), d.id + ": completed");
        c.Expect(Has(r.output, "Последний проверенный LBA.." + std::to_string(end) + "\n"), d.id + ": last LBA");
        c.Expect(Has(r.output, "Ошибок.....................0\n"), d.id + ": no errors");
    }
}
