#pragma once
// What the check program knows about the machine it runs on: the drives the
// host attached (read from the same file the host built QEMU's command line
// from), where the guest is, and which port backend is in use.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/SimSpec.h"

namespace guest {

// One drive as the host gave it to QEMU.
struct DriveInfo {
    std::string id;        // short name used in messages ("pm", "sm", ...)
    int bus = 0;           // 0 primary (ide.0), 1 secondary (ide.1); on q35 the AHCI port (ide.N)
    int unit = 0;          // 0 master, 1 slave
    std::string node;      // on q35: the drive's /dev/sdX, found through sysfs
    uint64_t bytes = 0;    // image size
    std::string model;
    std::string serial;
    std::string firmware;

    uint64_t Sectors() const { return bytes / 512; }
    uint16_t Base() const { return bus == 0 ? 0x1F0 : 0x170; }
    uint16_t Alt() const { return bus == 0 ? 0x3F6 : 0x376; }
    bool Above28Bit() const { return Sectors() > 0x0FFFFFFF; }
};

struct Env {
    std::vector<DriveInfo> drives;
    bool simulated = false;  // the simulated mirror on the host, not QEMU
    // The q35 run: the drives are behind the kernel's ahci driver and are
    // reached with ATA pass-through; only the "sata_" groups run.
    bool sata = false;
    uint16_t timeOutSeconds = 5;

    const DriveInfo* At(int bus, int unit) const;
    // Positions (bus, unit) on the two legacy channels with no drive.
    std::vector<std::pair<int, int>> EmptyPositions() const;
};

// Reads the drive list; on failure returns nullopt and says why.
// Format, one drive a line, '#' starts a comment:
//     id | bus | unit | bytes | model | serial | firmware
// `maxBus`: 1 for the PIIX channels, 5 for the AHCI ports of q35.
std::optional<std::vector<DriveInfo>> LoadDrives(const std::string& fileName, std::string* error, int maxBus = 1);

// True only inside the test guest the host scripts boot: the kernel command
// line carries the guest token, the machine is QEMU's, and no kernel driver
// owns its IDE function.  `why` names the first thing that did not hold.
bool InsideTestGuest(std::string* why);

// The kernel command-line token the initramfs boot passes.
constexpr const char* kGuestToken = "voran_qemu_guest=1";

// The same for the q35 guest: its token, QEMU's DMI, and the ICH9 AHCI
// function 00:1f.2 (8086:2922) bound to the kernel's ahci driver.
bool InsideSataTestGuest(std::string* why);
constexpr const char* kSataGuestToken = "voran_qemu_sata=1";
// The PCI function whose disks the q35 checks may talk to.
constexpr const char* kSataFunction = "0000:00:1f.2";

// Fills each drive's node with the /dev/sdX the kernel gave the disk on its
// AHCI port (only disks of kSataFunction count), waiting up to `limit`
// seconds for the kernel to find them.  False, with the drives missing,
// when some never came.
bool FindSataNodes(std::vector<DriveInfo>& drives, int limit, std::string* why);

// A simulated machine with these drives as pass-through drives named
// /dev/sda, /dev/sdb... in port order, answering as QEMU's do (SET MAX and
// the security commands aborted: the caller scripts that on the machine).
sim::MachineSpec SataMirrorMachine(std::vector<DriveInfo>& drives);

// A simulated machine laid out like QEMU's "pc" machine with these drives
// (PIIX3 IDE in compatibility mode), for running the same checks on the
// host without QEMU.
sim::MachineSpec MirrorMachine(const std::vector<DriveInfo>& drives);

}  // namespace guest
