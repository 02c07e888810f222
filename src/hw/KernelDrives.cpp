#include "hw/KernelDrives.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace ata {

namespace {

std::mutex gRootsMutex;
SystemRoots gRoots;

// A small sysfs attribute without its trailing newline; empty when missing.
std::string ReadAttr(const fs::path& p)
{
    std::ifstream f(p);
    if (!f)
        return {};
    std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20)
        --e;
    return s.substr(b, e - b);
}

// The last part of a symbolic link's target ("ahci" of .../drivers/ahci).
std::string LinkName(const fs::path& link)
{
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

const std::regex kAtaPort(R"(ata(\d+))");
const std::regex kPciFunction(R"([0-9a-f]{4}:[0-9a-f]{2}:[0-9a-f]{2}\.[0-7])");
const std::regex kUsbInterface(R"((\d+-[\d.]+):\d+\.\d+)");
const std::regex kScsiAddress(R"(\d+:\d+:(\d+):\d+)");

// What the place of a disk in the device tree says about it.
struct Placement {
    bool found = false;
    DriveBus bus = DriveBus::Ata;
    std::string port;      // ataN or the USB port
    std::string driver;
    std::string ataNumber; // N of ataN
    std::string target;    // T of the SCSI address H:C:T:L
};

Placement Place(const fs::path& devicePath)
{
    Placement p;
    fs::path prefix;
    std::string pciDriver;
    for (const fs::path& part : devicePath) {
        prefix /= part;
        const std::string s = part.string();
        std::smatch m;
        if (std::regex_match(s, kPciFunction)) {
            pciDriver = LinkName(prefix / "driver");
        } else if (std::regex_match(s, m, kAtaPort) && !p.found) {
            p.found = true;
            p.bus = DriveBus::Ata;
            p.port = s;
            p.ataNumber = m[1];
            p.driver = pciDriver;
        } else if (std::regex_match(s, m, kUsbInterface) && !p.found) {
            p.found = true;
            p.bus = DriveBus::Usb;
            p.port = m[1];
            p.driver = LinkName(prefix / "driver");
        } else if (std::regex_match(s, m, kScsiAddress)) {
            p.target = m[1];
        }
    }
    return p;
}

// The model of a libata disk from its IDENTIFY data, which sysfs keeps in
// full (the SCSI model is cut to 16 characters).
std::string AtaModel(const fs::path& sys, const Placement& p)
{
    const fs::path devices = sys / "class" / "ata_device";
    const std::string exact = "dev" + p.ataNumber + "." + p.target;
    std::string model = ModelFromIdText(ReadAttr(devices / exact / "id"));
    if (!model.empty())
        return model;
    // A port with a single device (SATA behind a port multiplier names it
    // otherwise): that one.
    std::error_code ec;
    std::vector<fs::path> candidates;
    for (const auto& e : fs::directory_iterator(devices, ec)) {
        const std::string n = e.path().filename().string();
        if (n.rfind("dev" + p.ataNumber + ".", 0) == 0)
            candidates.push_back(e.path());
    }
    if (candidates.size() == 1)
        model = ModelFromIdText(ReadAttr(candidates.front() / "id"));
    return model;
}

std::string JoinNonEmpty(const std::string& a, const std::string& b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    return a + " " + b;
}

bool KernelOrder(const KernelDrive& a, const KernelDrive& b)
{
    if (a.name.size() != b.name.size())
        return a.name.size() < b.name.size();
    return a.name < b.name;
}

}  // namespace

void SetSystemRoots(const SystemRoots& roots)
{
    std::lock_guard<std::mutex> l(gRootsMutex);
    gRoots = roots;
}

SystemRoots CurrentSystemRoots()
{
    std::lock_guard<std::mutex> l(gRootsMutex);
    return gRoots;
}

std::string ModelFromIdText(const std::string& idText)
{
    std::istringstream in(idText);
    std::vector<uint16_t> words;
    std::string token;
    while (in >> token) {
        if (token.size() > 4 || !std::all_of(token.begin(), token.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            return {};
        words.push_back(uint16_t(std::stoul(token, nullptr, 16)));
    }
    if (words.size() != 256)
        return {};
    std::string text;
    for (int w = 27; w <= 46; ++w) {
        text += char(words[size_t(w)] >> 8);
        text += char(words[size_t(w)] & 0xFF);
    }
    return Trim(text);
}

std::vector<KernelDrive> FindKernelDrives(const SystemRoots& roots)
{
    std::vector<KernelDrive> drives;
    const fs::path sys(roots.sys);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sys / "class" / "block", ec)) {
        const fs::path node = entry.path();
        const std::string name = node.filename().string();
        // Whole disks that the SCSI disk driver shows as direct-access
        // devices (type 0): no partitions, no CD drives.
        if (fs::exists(node / "partition") || ReadAttr(node / "device" / "type") != "0")
            continue;
        std::error_code ec2;
        const fs::path real = fs::canonical(node, ec2);
        if (ec2)
            continue;
        const Placement p = Place(real);
        if (!p.found)
            continue;
        KernelDrive d;
        d.name = name;
        d.path = (fs::path(roots.dev) / name).string();
        d.bus = p.bus;
        d.port = p.port;
        d.driver = p.driver;
        d.majMin = ReadAttr(node / "dev");
        const std::string size = ReadAttr(node / "size");
        d.sectors = size.empty() ? 0 : std::strtoull(size.c_str(), nullptr, 10);
        if (d.sectors == 0)
            continue;  // no medium
        if (p.bus == DriveBus::Ata) {
            d.model = AtaModel(sys, p);
            d.sata = ReadAttr(sys / "class" / "ata_link" / ("link" + p.ataNumber) / "sata_spd").find("Gbps") !=
                     std::string::npos;
        }
        if (d.model.empty())
            d.model = JoinNonEmpty(Trim(ReadAttr(node / "device" / "vendor")), Trim(ReadAttr(node / "device" / "model")));
        for (const auto& sg : fs::directory_iterator(node / "device" / "scsi_generic", ec2)) {
            d.sgNode = (fs::path(roots.dev) / sg.path().filename()).string();
            break;
        }
        drives.push_back(std::move(d));
    }
    std::sort(drives.begin(), drives.end(), KernelOrder);
    return drives;
}

std::optional<std::string> DiskOfNode(const std::string& path, const SystemRoots& roots)
{
    const fs::path p(path);
    if (p.parent_path() != fs::path(roots.dev))
        return std::nullopt;
    const std::string name = p.filename().string();
    const fs::path sys(roots.sys);
    const fs::path block = sys / "class" / "block" / name;
    std::error_code ec;
    if (fs::exists(block, ec)) {
        if (fs::exists(block / "partition", ec))
            return std::nullopt;
        return name;
    }
    // An sg node: the disk of the same SCSI device.
    for (const auto& e : fs::directory_iterator(sys / "class" / "scsi_generic" / name / "device" / "block", ec))
        return e.path().filename().string();
    return std::nullopt;
}

}  // namespace ata
