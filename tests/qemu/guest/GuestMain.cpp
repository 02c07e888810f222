// voran_qemu_guest: runs the hardware-path checks.
//
//   voran_qemu_guest --hardware-in-guest --drives FILE [--out FILE] [--only PREFIX]
//       inside the QEMU guest that tests/qemu/run-guest.sh boots: opens the
//       x86 port backend and talks to QEMU's emulated IDE controller.  It
//       refuses to start anywhere else (see InsideTestGuest).
//   voran_qemu_guest --sata-in-guest --drives FILE [--out FILE] [--only PREFIX]
//       inside the q35 guest: the "sata_" checks against the drives on
//       QEMU's AHCI controller, through the kernel's ahci driver and ATA
//       pass-through.  Refuses to start anywhere else (InsideSataTestGuest)
//       and talks to no disk but those of that controller.
//   voran_qemu_guest --sim [--sata] --drives FILE [--out FILE] [--only PREFIX]
//       the same checks against a simulated machine laid out like QEMU's,
//       on any machine; shows where our simulated drive answers otherwise.
//   voran_qemu_guest --list
//   voran_qemu_guest --where
//       says whether this is the test guest (never touches a port).
//
// Results: one tab-separated record a line (START, NOTE, FAIL, CHECK, END),
// to --out and to standard output.  Exit code 0 when every check passed,
// 1 when one failed, 2 for a usage error, 3 when the port backend was
// refused.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "GuestCheck.h"
#include "GuestEnv.h"
#include "hw/AtaDefs.h"
#include "hw/PassThrough.h"
#include "hw/PortIo.h"
#include "sim/SimMachine.h"

namespace {

double Uptime()
{
    std::ifstream f("/proc/uptime");
    double s = -1;
    f >> s;
    return s;
}

// Writes every record to standard output and, when given, to a file.
class Tee : public std::streambuf {
public:
    Tee(std::streambuf* a, std::streambuf* b) : m_a(a), m_b(b) {}

protected:
    int overflow(int ch) override
    {
        if (ch == EOF)
            return 0;
        const int ra = m_a->sputc(char(ch));
        const int rb = m_b ? m_b->sputc(char(ch)) : ra;
        return (ra == EOF || rb == EOF) ? EOF : ch;
    }
    int sync() override
    {
        const int ra = m_a->pubsync();
        const int rb = m_b ? m_b->pubsync() : 0;
        return (ra == 0 && rb == 0) ? 0 : -1;
    }

private:
    std::streambuf* m_a;
    std::streambuf* m_b;
};

int Usage(const char* why)
{
    std::cerr << "voran_qemu_guest: " << why << "\n"
              << "usage: voran_qemu_guest (--hardware-in-guest | --sata-in-guest | --sim [--sata]) --drives FILE\n"
              << "                        [--out FILE] [--only PREFIX]\n"
              << "       voran_qemu_guest --list | --where\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    bool hardware = false, simulated = false, sata = false, list = false, where = false;
    std::string drivesFile, outFile, only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc)
                return false;
            into = argv[++i];
            return true;
        };
        if (a == "--hardware-in-guest")
            hardware = true;
        else if (a == "--sata-in-guest")
            hardware = sata = true;
        else if (a == "--sata")
            sata = true;
        else if (a == "--sim")
            simulated = true;
        else if (a == "--list")
            list = true;
        else if (a == "--where")
            where = true;
        else if ((a == "--drives" && value(drivesFile)) || (a == "--out" && value(outFile)) ||
                 (a == "--only" && value(only)))
            continue;
        else
            return Usage(("unknown or incomplete argument " + a).c_str());
    }
    if (list) {
        for (const guest::CheckEntry& e : guest::Registry())
            std::cout << e.group << '.' << e.name << '\n';
        return 0;
    }
    if (where) {
        std::string why;
        if (guest::InsideTestGuest(&why)) {
            std::cout << "inside the test guest\n";
            return 0;
        }
        std::cout << "not inside the test guest: " << why << "\n";
        return 1;
    }
    if (hardware == simulated)
        return Usage("give exactly one of --hardware-in-guest, --sata-in-guest and --sim");
    if (drivesFile.empty())
        return Usage("--drives is missing");

    std::string error;
    auto drives = guest::LoadDrives(drivesFile, &error, sata ? 5 : 1);
    if (!drives)
        return Usage(error.c_str());

    guest::Env env;
    env.drives = *drives;
    env.simulated = simulated;
    env.sata = sata;

    std::shared_ptr<sim::Machine> machine;
    std::string setupProblem;
    if (hardware && sata) {
        // The kernel's disks: only inside the q35 test guest, only those of
        // QEMU's AHCI function.
        std::string why;
        if (!guest::InsideSataTestGuest(&why)) {
            std::cerr << "voran_qemu_guest: refusing to send pass-through commands outside the q35 test guest: "
                      << why << "\n";
            return 3;
        }
        ata::InstallPassThroughHost(ata::KernelPassThroughHost());
        if (!guest::FindSataNodes(env.drives, 30, &why))
            setupProblem = why;
    } else if (sata) {
        machine = sim::InstallMachine(guest::SataMirrorMachine(env.drives));
        // As QEMU's drives: SET MAX is refused.
        for (const auto& p : machine->PassThroughDrives())
            for (uint8_t op : {ata::kCmdSetMax, ata::kCmdSetMaxExt})
                p->Model()->AddFault({sim::Fault::Kind::Error, op, ata::kErAbrt, -1});
    } else if (hardware) {
        // The real port instructions: only inside the test guest.
        std::string why;
        if (!guest::InsideTestGuest(&why)) {
            std::cerr << "voran_qemu_guest: refusing to touch I/O ports outside the QEMU test guest: " << why
                      << "\n";
            return 3;
        }
        auto backend = OpenX86PortBackend(&why);
        if (!backend) {
            std::cerr << "voran_qemu_guest: " << why << "\n";
            return 3;
        }
        InstallPortBackend(backend);
    } else {
        machine = sim::InstallMachine(guest::MirrorMachine(env.drives));
    }

    std::ofstream file;
    if (!outFile.empty()) {
        file.open(outFile, std::ios::trunc);
        if (!file)
            return Usage(("cannot write " + outFile).c_str());
    }
    Tee tee(std::cout.rdbuf(), file.is_open() ? file.rdbuf() : nullptr);
    std::ostream out(&tee);

    out << "START\t" << (hardware ? "qemu" : "sim") << '\t' << (sata ? "sg_io" : Ports().Kind())
        << "\tuptime=" << Uptime() << '\n';
    for (const guest::DriveInfo& d : env.drives)
        if (sata)
            out << "NOTE\tsetup\tnodes\t" << d.id << " on port " << d.bus << ": " << d.node << '\n';
    if (!setupProblem.empty())
        out << "FAIL\tsata_setup\tnodes\t" << setupProblem << "\nCHECK\tsata_setup\tnodes\tFAIL\tms=0\n";
    out.flush();
    const guest::RunSummary sum = guest::RunChecks(env, only, out);
    out << "END\tchecks=" << sum.run << "\tfailed=" << sum.failed << "\tuptime=" << Uptime() << '\n';
    out.flush();
    return (sum.failed || sum.run == 0) ? 1 : 0;
}
