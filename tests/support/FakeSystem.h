#pragma once
// A fake sysfs, /proc and /dev under a temporary folder, laid out as Linux
// lays out the disks of libata and USB bridges (symbolic links into the
// device tree included), for the tests of drive discovery and of the in-use
// guard.  Nothing here touches the system's own trees.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "hw/KernelDrives.h"

namespace testsupport {

class FakeSystem {
public:
    explicit FakeSystem(const std::string& root) : m_root(root)
    {
        for (const char* d : {"sys/class/block", "sys/class/ata_device", "sys/class/ata_link",
                              "sys/class/scsi_generic", "proc/self", "dev"})
            std::filesystem::create_directories(m_root / d);
        Write("proc/self/mountinfo", "");
        Write("proc/swaps", "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n");
    }

    ata::SystemRoots Roots() const
    {
        return {(m_root / "sys").string(), (m_root / "proc").string(), (m_root / "dev").string()};
    }

    // A disk on port ataN of a PCI controller; `target` is its SCSI target
    // (the device number on a PATA channel).
    void AddAtaDisk(const std::string& name, int ataN, int target, const std::string& model, uint64_t sectors,
                    const std::string& majMin, const std::string& pci = "0000:00:1f.2",
                    const std::string& driver = "ahci", bool sata = true, const std::string& sg = "")
    {
        const std::string n = std::to_string(ataN);
        const std::string host = "host" + std::to_string(ataN - 1);
        const std::string addr = std::to_string(ataN - 1) + ":0:" + std::to_string(target) + ":0";
        const std::string pciDir = "sys/devices/pci0000:00/" + pci;
        Link(pciDir + "/driver", "../../../bus/pci/drivers/" + driver);
        const std::string dev = pciDir + "/ata" + n + "/" + host + "/target" + std::to_string(ataN - 1) + ":0:" +
                                std::to_string(target) + "/" + addr;
        AddScsiDisk(dev, name, sectors, majMin, "ATA", model.substr(0, 16), sg);
        Write("sys/class/ata_device/dev" + n + "." + std::to_string(target) + "/id", IdText(model));
        Write("sys/class/ata_link/link" + n + "/sata_spd", sata ? "3.0 Gbps\n" : "<unknown>\n");
    }

    void AddUsbDisk(const std::string& name, const std::string& usbPort, const std::string& driver,
                    const std::string& vendor, const std::string& product, uint64_t sectors, const std::string& majMin)
    {
        const std::string iface = "sys/devices/pci0000:00/0000:00:14.0/usb2/" + usbPort + "/" + usbPort + ":1.0";
        Link(iface + "/driver", "../../../../../../bus/usb/drivers/" + driver);
        AddScsiDisk(iface + "/host6/target6:0:0/6:0:0:0", name, sectors, majMin, vendor, product, "");
    }

    // A block device that is no ATA drive (NVMe).
    void AddNvme(const std::string& name)
    {
        const std::string dir = "sys/devices/pci0000:00/0000:00:1d.0/nvme/nvme0/" + name;
        Write(dir + "/size", "1000\n");
        Write(dir + "/dev", "259:0\n");
        Link("sys/class/block/" + name, "../../devices/pci0000:00/0000:00:1d.0/nvme/nvme0/" + name);
    }

    void AddPartition(const std::string& disk, const std::string& part, const std::string& majMin)
    {
        const std::filesystem::path dir = std::filesystem::canonical(m_root / "sys/class/block" / disk) / part;
        std::filesystem::create_directories(dir / "holders");
        Put(dir / "partition", "1\n");
        Put(dir / "dev", majMin + "\n");
        Put(dir / "size", "100\n");
        std::filesystem::create_symlink(dir, m_root / "sys/class/block" / part);
        Touch("dev/" + part);
    }

    void Mount(const std::string& majMin, const std::string& mountPoint, const std::string& source,
               const std::string& type = "ext4")
    {
        Append("proc/self/mountinfo", "36 25 " + majMin + " / " + mountPoint + " rw,relatime shared:1 - " + type + " " +
                                          source + " rw\n");
    }

    void Swap(const std::string& file) { Append("proc/swaps", file + "\tpartition\t1048572\t0\t-2\n"); }

    // `holder` (dm-0, md127) holds the block device `of`.
    void Holder(const std::string& of, const std::string& holder, const std::string& dmName = "")
    {
        const std::filesystem::path h = m_root / "sys/class/block" / of / "holders" / holder;
        std::filesystem::create_directories(h.parent_path());
        Put(h, "");
        if (!dmName.empty())
            Write("sys/devices/virtual/block/" + holder + "/dm/name", dmName + "\n");
        if (!std::filesystem::exists(m_root / "sys/class/block" / holder))
            Link("sys/class/block/" + holder, "../../devices/virtual/block/" + holder);
    }

    // The IDENTIFY words as libata shows them, the model in words 27-46.
    static std::string IdText(const std::string& model)
    {
        uint16_t w[256] = {};
        std::string m = model;
        m.resize(40, ' ');
        for (int i = 0; i < 20; ++i)
            w[27 + i] = uint16_t((uint8_t(m[size_t(2 * i)]) << 8) | uint8_t(m[size_t(2 * i + 1)]));
        std::string s;
        char buf[8];
        for (int i = 0; i < 256; ++i) {
            std::snprintf(buf, sizeof buf, "%04x%c", w[i], (i + 1) % 8 ? ' ' : '\n');
            s += buf;
        }
        return s;
    }

    std::filesystem::path Path(const std::string& rel) const { return m_root / rel; }

private:
    void AddScsiDisk(const std::string& devDir, const std::string& name, uint64_t sectors, const std::string& majMin,
                     const std::string& vendor, const std::string& product, const std::string& sg)
    {
        Write(devDir + "/type", "0\n");
        Write(devDir + "/vendor", vendor + "\n");
        Write(devDir + "/model", product + "\n");
        const std::string block = devDir + "/block/" + name;
        Write(block + "/size", std::to_string(sectors) + "\n");
        Write(block + "/dev", majMin + "\n");
        std::filesystem::create_directories(m_root / block / "holders");
        Link(block + "/device", "../../../" + devDir.substr(devDir.rfind('/') + 1));
        Link("sys/class/block/" + name, "../../" + block.substr(4));
        Touch("dev/" + name);
        if (!sg.empty()) {
            Link(devDir + "/scsi_generic/" + sg + "/device", "../../../" + devDir.substr(devDir.rfind('/') + 1));
            Link("sys/class/scsi_generic/" + sg, "../../" + devDir.substr(4) + "/scsi_generic/" + sg);
            Touch("dev/" + sg);
        }
    }
    void Put(const std::filesystem::path& p, const std::string& text)
    {
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p) << text;
    }
    void Write(const std::string& rel, const std::string& text) { Put(m_root / rel, text); }
    void Append(const std::string& rel, const std::string& text) { std::ofstream(m_root / rel, std::ios::app) << text; }
    void Touch(const std::string& rel) { Put(m_root / rel, ""); }
    void Link(const std::string& rel, const std::string& target)
    {
        const std::filesystem::path p = m_root / rel;
        std::filesystem::create_directories(p.parent_path());
        if (!std::filesystem::is_symlink(p))
            std::filesystem::create_symlink(target, p);
    }

    std::filesystem::path m_root;
};

}  // namespace testsupport
