#pragma once
// The drives a kernel driver owns and that take ATA commands through the
// kernel's pass-through (SG_IO): disks behind libata (ahci, ata_piix,
// pata_*...) and disks behind USB bridges, found through sysfs.  Nothing
// here opens a device node or sends a command; a few small sysfs files are
// read.  NVMe, virtio, loop, device-mapper and other block devices are not
// ATA drives and are left out, and so are disks without a medium and
// anything that is not a disk (an ATAPI CD drive).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ata {

// Where the system's own trees are; tests point them at fake trees.
struct SystemRoots {
    std::string sys = "/sys";
    std::string proc = "/proc";
    std::string dev = "/dev";
};
void SetSystemRoots(const SystemRoots& roots);
SystemRoots CurrentSystemRoots();

enum class DriveBus {
    Ata,  // a port of a libata host controller (SATA or PATA)
    Usb,  // a USB bridge, which may or may not pass ATA commands through
};

struct KernelDrive {
    std::string name;       // "sda"
    std::string path;       // "/dev/sda"
    std::string model;      // IDENTIFY's model (libata), or the bridge's vendor and product (USB)
    DriveBus bus = DriveBus::Ata;
    bool sata = false;      // the link reports a SATA speed
    std::string port;       // "ata3", or the USB port "2-1"
    std::string driver;     // of the controller or the USB interface: "ahci", "uas", ...
    std::string sgNode;     // "/dev/sg0"; empty without the sg driver
    std::string majMin;     // "8:0"
    uint64_t sectors = 0;   // 512-byte sectors
};

// Every such drive, in the kernel's naming order (sda, sdb, ..., sdz, sdaa).
std::vector<KernelDrive> FindKernelDrives(const SystemRoots& roots = CurrentSystemRoots());

// The whole disk ("sda") a device node stands for: /dev/sda itself, or the
// disk of an sg node (/dev/sg0).  None for a partition, for anything that is
// not a disk of the block layer, and for a path outside the dev root.
std::optional<std::string> DiskOfNode(const std::string& path, const SystemRoots& roots = CurrentSystemRoots());

// The model text of IDENTIFY words 27-46 in the form libata shows them
// (<sys>/class/ata_device/devN.M/id: 256 words in hexadecimal, eight to a
// line), trimmed; empty when the text is not such a list.
std::string ModelFromIdText(const std::string& idText);

}  // namespace ata
