// The q35 run: the program's window on an X server inside the guest (Xvfb
// and openbox of this machine's root), selecting a drive on QEMU's AHCI
// controller and showing its identify report, SMART table and a surface
// scan.  voran_qemu_window does the work; the screenshots come back beside
// the results (out/screens/).
#include <filesystem>
#include <fstream>

#include "GuestCheck.h"
#include "GuestProcess.h"

using namespace guest;

namespace {

// The folder of the results file this run writes (--out), which the host
// reads back; empty without one.
std::string ResultsDir()
{
    std::ifstream f("/proc/self/cmdline");
    std::vector<std::string> args;
    for (std::string a; std::getline(f, a, '\0');)
        args.push_back(a);
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--out")
            return std::filesystem::path(args[i + 1]).parent_path().string();
    return {};
}

}  // namespace

GUEST_CHECK(sata_window, the_program_selects_an_ahci_drive_and_shows_it)
{
    const std::string results = ResultsDir();
    if (c.Simulated() || results.empty()) {
        c.Note("sata_window: needs the guest's X server and disks; not run on the simulated mirror");
        return;
    }
    const DriveInfo* d = &c.Drives().front();
    for (const DriveInfo& x : c.Drives())
        if (x.Sectors() < d->Sectors())
            d = &x;
    const std::string screens = results + "/screens";
    const std::string runtime = "/tmp/voran-window-runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    // Bounded, so that a window that hangs fails this check, not the run.
    const ProcessResult r = RunProgram({"/usr/bin/timeout", "-k", "5", "60", "/bin/bash",
                                        VORAN_SOURCE_DIR "/tests/desktop/run-desktop.sh", VORAN_QEMU_WINDOW,
                                        "--node", d->node, "--model", d->model, "--out", screens},
                                       {"HOME=/tmp", "TMPDIR=/tmp", "XDG_RUNTIME_DIR=" + runtime,
                                        "VORAN_DESKTOP_SCREEN=1024x768x24"});
    c.ExpectEq(r.exitCode, 0, d->id + ": the window run: " + r.output);
    for (const char* shot : {"1-select", "2-main", "3-identify", "4-smart", "5-scan"}) {
        const std::string file = screens + "/" + shot + ".png";
        std::error_code ec;
        c.Expect(std::filesystem::file_size(file, ec) > 0 && !ec, d->id + ": screenshot " + file);
    }
    c.Note(d->id + ": screenshots of the window in out/screens/; the run: " + r.output);
}
