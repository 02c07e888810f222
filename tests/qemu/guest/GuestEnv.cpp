#include "GuestEnv.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace guest {

namespace {

std::string Trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool No(std::string* why, const std::string& reason)
{
    if (why)
        *why = reason;
    return false;
}

std::string FirstLine(const std::string& file)
{
    std::ifstream f(file);
    std::string line;
    std::getline(f, line);
    return Trim(line);
}

}  // namespace

const DriveInfo* Env::At(int bus, int unit) const
{
    for (const DriveInfo& d : drives)
        if (d.bus == bus && d.unit == unit)
            return &d;
    return nullptr;
}

std::vector<std::pair<int, int>> Env::EmptyPositions() const
{
    std::vector<std::pair<int, int>> out;
    for (int bus = 0; bus < 2; ++bus)
        for (int unit = 0; unit < 2; ++unit)
            if (!At(bus, unit))
                out.emplace_back(bus, unit);
    return out;
}

std::optional<std::vector<DriveInfo>> LoadDrives(const std::string& fileName, std::string* error, int maxBus)
{
    std::ifstream f(fileName);
    if (!f) {
        if (error)
            *error = "cannot read " + fileName;
        return std::nullopt;
    }
    std::vector<DriveInfo> out;
    std::string line;
    int lineNo = 0;
    while (std::getline(f, line)) {
        ++lineNo;
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        if (Trim(line).empty())
            continue;
        std::vector<std::string> fields;
        std::istringstream in(line);
        std::string field;
        while (std::getline(in, field, '|'))
            fields.push_back(Trim(field));
        auto fail = [&](const std::string& what) {
            if (error)
                *error = fileName + ":" + std::to_string(lineNo) + ": " + what;
            return std::nullopt;
        };
        if (fields.size() != 7)
            return fail("expected 7 fields separated by '|'");
        DriveInfo d;
        d.id = fields[0];
        try {
            d.bus = std::stoi(fields[1]);
            d.unit = std::stoi(fields[2]);
            d.bytes = std::stoull(fields[3]);
        } catch (const std::exception&) {
            return fail("bus, unit and size must be numbers");
        }
        d.model = fields[4];
        d.serial = fields[5];
        d.firmware = fields[6];
        if (d.bus < 0 || d.bus > maxBus || d.unit < 0 || d.unit > (maxBus > 1 ? 0 : 1))
            return fail(maxBus > 1 ? "the port must be 0 to " + std::to_string(maxBus) + " and the unit 0"
                                   : "bus and unit must be 0 or 1");
        if (d.bytes == 0 || d.bytes % 512 != 0)
            return fail("size must be a positive multiple of 512");
        if (d.model.size() > 40 || d.serial.size() > 20 || d.firmware.size() > 8)
            return fail("model, serial and firmware are at most 40, 20 and 8 characters");
        for (const DriveInfo& other : out)
            if (other.bus == d.bus && other.unit == d.unit)
                return fail("two drives at the same position");
        out.push_back(d);
    }
    if (out.empty()) {
        if (error)
            *error = fileName + ": no drives";
        return std::nullopt;
    }
    return out;
}

// What both guests are: QEMU, booted by our script with `token`.
static bool QemuBootedWith(const char* token, std::string* why)
{
    std::ifstream f("/proc/cmdline");
    std::string word;
    bool found = false;
    while (f >> word)
        found |= word == token;
    if (!found)
        return No(why, std::string("the kernel command line has no ") + token);
    if (FirstLine("/sys/class/dmi/id/sys_vendor") != "QEMU")
        return No(why, "the machine does not say it is QEMU (/sys/class/dmi/id/sys_vendor)");
    return true;
}

bool InsideTestGuest(std::string* why)
{
    auto no = [&](const std::string& reason) { return No(why, reason); };
    if (!QemuBootedWith(kGuestToken, why))
        return false;
    const std::string ide = "/sys/bus/pci/devices/0000:00:01.1";
    if (FirstLine(ide + "/vendor") != "0x8086" || FirstLine(ide + "/device") != "0x7010")
        return no("00:01.1 is not QEMU's PIIX3 IDE function (8086:7010)");
    std::error_code ec;
    if (std::filesystem::exists(ide + "/driver", ec))
        return no("a kernel driver owns the IDE function 00:01.1");
    return true;
}

bool InsideSataTestGuest(std::string* why)
{
    auto no = [&](const std::string& reason) { return No(why, reason); };
    if (!QemuBootedWith(kSataGuestToken, why))
        return false;
    const std::string ahci = std::string("/sys/bus/pci/devices/") + kSataFunction;
    if (FirstLine(ahci + "/vendor") != "0x8086" || FirstLine(ahci + "/device") != "0x2922")
        return no("00:1f.2 is not QEMU's ICH9 AHCI function (8086:2922)");
    std::error_code ec;
    if (std::filesystem::read_symlink(ahci + "/driver", ec).filename() != "ahci")
        return no("the kernel's ahci driver does not own 00:1f.2");
    return true;
}

namespace {

// The AHCI port of a disk: its sysfs path runs through 00:1f.2 and ataN,
// and /sys/class/ata_port/ataN/port_no is the port + 1.  -1 otherwise.
int AhciPort(const std::string& disk)
{
    std::error_code ec;
    const std::string path = std::filesystem::canonical("/sys/class/block/" + disk, ec).string();
    if (ec || path.find(std::string("/") + kSataFunction + "/") == std::string::npos)
        return -1;
    const auto at = path.find("/ata");
    if (at == std::string::npos)
        return -1;
    const std::string port = path.substr(at + 1, path.find('/', at + 1) - at - 1);
    const std::string number = FirstLine("/sys/class/ata_port/" + port + "/port_no");
    return number.empty() ? -1 : std::atoi(number.c_str()) - 1;
}

}  // namespace

// A drive as QEMU's ide-hd answers: no security feature set, SMART on with
// its seven attributes (thresholds and raw values as QEMU reports them).
static sim::DriveSpec QemuDrive(const DriveInfo& d)
{
    sim::DriveSpec s;
    s.model = d.model;
    s.serial = d.serial;
    s.firmware = d.firmware;
    s.sectors = d.Sectors();
    s.timeScale = 0;
    s.security.supported = false;
    s.attributes = {{1, 0x0003, 100, 100, 6, 0},    {3, 0x0003, 100, 100, 0, 16},
                    {4, 0x0002, 100, 100, 20, 100}, {5, 0x0003, 100, 100, 36, 0},
                    {9, 0x0003, 100, 100, 0, 1},    {12, 0x0003, 100, 100, 0, 0},
                    {190, 0x0003, 69, 69, 50, 0x1F1F001FULL}};
    return s;
}

bool FindSataNodes(std::vector<DriveInfo>& drives, int limit, std::string* why)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(limit);
    for (;;) {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator("/sys/class/block", ec)) {
            const std::string name = e.path().filename().string();
            if (name.rfind("sd", 0) != 0 || std::filesystem::exists(e.path() / "partition", ec))
                continue;
            const int port = AhciPort(name);
            for (DriveInfo& d : drives)
                if (d.bus == port)
                    d.node = "/dev/" + name;
        }
        std::string missing;
        for (const DriveInfo& d : drives)
            if (d.node.empty() || !std::filesystem::exists(d.node, ec))
                missing += " " + d.id;
        if (missing.empty())
            return true;
        if (std::chrono::steady_clock::now() > end) {
            if (why)
                *why = "no disk node for" + missing;
            return false;
        }
        // The kernel probes the ports on its own time; sysfs has no event to wait on.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

sim::MachineSpec SataMirrorMachine(std::vector<DriveInfo>& drives)
{
    sim::MachineSpec m;
    std::vector<DriveInfo*> byPort;
    for (DriveInfo& d : drives)
        byPort.push_back(&d);
    std::sort(byPort.begin(), byPort.end(), [](const DriveInfo* a, const DriveInfo* b) { return a->bus < b->bus; });
    for (size_t i = 0; i < byPort.size(); ++i) {
        DriveInfo& d = *byPort[i];
        d.node = std::string("/dev/sd") + char('a' + i);
        sim::PassThroughSpec p;
        p.name = d.node;
        p.sense = sim::SenseLayout::Fixed;  // kernel 6.1
        p.drive = QemuDrive(d);
        m.passThrough.push_back(p);
    }
    return m;
}

sim::MachineSpec MirrorMachine(const std::vector<DriveInfo>& drives)
{
    sim::MachineSpec m;
    auto fn = [](uint8_t dev, uint8_t func, uint16_t id, uint8_t cls, uint8_t sub) {
        sim::PciFunctionSpec f;
        f.device = dev;
        f.function = func;
        f.vendorId = 0x8086;
        f.deviceId = id;
        f.classCode = cls;
        f.subclass = sub;
        return f;
    };
    m.functions.push_back(fn(0, 0, 0x1237, 0x06, 0x00));
    auto isa = fn(1, 0, 0x7000, 0x06, 0x01);
    isa.multiFunction = true;
    m.functions.push_back(isa);
    auto ide = fn(1, 1, 0x7010, 0x01, 0x01);
    ide.progIf = 0x80;
    ide.bars[4] = 0xC041;
    for (const DriveInfo& d : drives) {
        const sim::DriveSpec s = QemuDrive(d);
        auto& ch = ide.channels[d.bus];
        (d.unit == 0 ? ch.master : ch.slave) = s;
    }
    m.functions.push_back(ide);
    m.functions.push_back(fn(1, 3, 0x7113, 0x06, 0x80));
    return m;
}

}  // namespace guest
