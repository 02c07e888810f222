#include "hw/InUseGuard.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <unistd.h>

#include "common/SafeFile.h"
#include "hw/AtaDefs.h"

namespace fs = std::filesystem;

namespace ata {

namespace {

std::mutex gMutex;  // the factory, the reporter and the last refusal
WriteGuardFactory gFactory;
RefusalReporter gReporter;
std::string gLastRefusal;

std::string ReadFile(const fs::path& p)
{
    std::ifstream f(p);
    if (!f)
        return {};
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string FirstLine(const fs::path& p)
{
    std::string s = ReadFile(p);
    const size_t nl = s.find('\n');
    return nl == std::string::npos ? s : s.substr(0, nl);
}

// The kernel writes blanks, tabs, newlines and backslashes of a path in
// these two files as \ooo.
std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const std::string oct = s.substr(i + 1, 3);
            if (oct.find_first_not_of("01234567") == std::string::npos) {
                out += char(std::stoi(oct, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> f;
    std::string w;
    while (in >> w)
        f.push_back(w);
    return f;
}

// The block device name a path of the dev tree leads to ("sdb1" of
// /dev/disk/by-uuid/...); empty for anything else.
std::string DeviceNameOf(const std::string& path, const SystemRoots& roots)
{
    static const std::string kDev = "/dev/";
    if (path.rfind(kDev, 0) != 0)
        return {};
    const fs::path p = fs::path(roots.dev) / path.substr(kDev.size());
    std::error_code ec;
    const fs::path real = fs::canonical(p, ec);
    return (ec ? p : real).filename().string();
}

struct BlockDev {
    std::string name;
    std::string majMin;
    bool partition = false;
};

std::string Subject(const BlockDev& d) { return (d.partition ? "раздел " : "диск ") + d.name; }

std::string Join(const std::vector<std::string>& parts, const std::string& sep)
{
    std::string s;
    for (const std::string& p : parts)
        s += (s.empty() ? "" : sep) + p;
    return s;
}

}  // namespace

bool ChangesDrive(const Taskfile& tf)
{
    switch (tf.command) {
    case 0x06:  // DATA SET MANAGEMENT (TRIM)
    case 0x07:  // DATA SET MANAGEMENT XL
    case 0x30: case 0x31: case 0x32: case 0x33: case 0x34: case 0x35: case 0x36: case 0x37:  // writes, WRITE LONG, SET MAX EXT
    case 0x38: case 0x39: case 0x3A: case 0x3B: case 0x3C: case 0x3D: case 0x3E:            // writes
    case 0x44:  // ZERO EXT
    case 0x45:  // WRITE UNCORRECTABLE EXT
    case 0x61:  // WRITE FPDMA QUEUED
    case 0x92: case 0x93:  // DOWNLOAD MICROCODE
    case 0xB4:  // SANITIZE DEVICE
    case 0xC0:  // CFA ERASE SECTORS
    case 0xC5: case 0xCA: case 0xCB: case 0xCC: case 0xCD: case 0xCE:  // writes
    case kCmdSecSetPassword:
    case kCmdSecErasePrepare:
    case kCmdSecEraseUnit:
    case kCmdSecDisablePassword:
    case kCmdSetMax:  // and its password, lock and freeze forms
        return true;
    case 0xB1:  // DEVICE CONFIGURATION RESTORE and SET change the capacity
        return tf.feature == 0xC0 || tf.feature == 0xC3;
    default:
        return false;
    }
}

std::vector<MountEntry> ParseMountInfo(const std::string& text)
{
    std::vector<MountEntry> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = Fields(line);
        // id parent maj:min root mount-point options [optional...] - type source super-options
        size_t dash = 6;
        while (dash < f.size() && f[dash] != "-")
            ++dash;
        if (dash + 2 >= f.size())
            continue;
        MountEntry e;
        e.majMin = f[2];
        e.mountPoint = Unescape(f[4]);
        e.source = Unescape(f[dash + 2]);
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<std::string> ParseSwaps(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (header) {
            header = false;
            continue;
        }
        const std::vector<std::string> f = Fields(line);
        if (!f.empty())
            out.push_back(Unescape(f[0]));
    }
    return out;
}

std::vector<std::string> DiskUsers(const std::string& disk, const SystemRoots& roots)
{
    const fs::path sysDisk = fs::path(roots.sys) / "class" / "block" / disk;
    std::vector<BlockDev> devs{{disk, FirstLine(sysDisk / "dev"), false}};
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(sysDisk, ec))
        if (fs::exists(e.path() / "partition"))
            devs.push_back({e.path().filename().string(), FirstLine(e.path() / "dev"), true});
    std::sort(devs.begin() + 1, devs.end(), [](const BlockDev& a, const BlockDev& b) {
        return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
    });

    const std::vector<MountEntry> mounts = ParseMountInfo(ReadFile(fs::path(roots.proc) / "self" / "mountinfo"));
    const std::vector<std::string> swaps = ParseSwaps(ReadFile(fs::path(roots.proc) / "swaps"));

    std::vector<std::string> users;
    for (const BlockDev& d : devs) {
        std::vector<std::string> points;
        for (const MountEntry& m : mounts) {
            const bool ours = (!d.majMin.empty() && m.majMin == d.majMin) || DeviceNameOf(m.source, roots) == d.name;
            if (ours && std::find(points.begin(), points.end(), m.mountPoint) == points.end())
                points.push_back(m.mountPoint);
        }
        if (!points.empty())
            users.push_back(Subject(d) + " смонтирован в " + Join(points, ", "));
        for (const std::string& s : swaps)
            if (DeviceNameOf(s, roots) == d.name) {
                users.push_back(Subject(d) + " используется для подкачки");
                break;
            }
        const fs::path holders = (d.partition ? sysDisk / d.name : sysDisk) / "holders";
        for (const auto& h : fs::directory_iterator(holders, ec)) {
            const std::string name = h.path().filename().string();
            const fs::path sysHolder = fs::path(roots.sys) / "class" / "block" / name;
            const std::string dmName = FirstLine(sysHolder / "dm" / "name");
            if (!dmName.empty() || name.rfind("dm-", 0) == 0)
                users.push_back(Subject(d) + " занят device-mapper (" + name + (dmName.empty() ? "" : ", " + dmName) + ")");
            else if (name.rfind("md", 0) == 0)
                users.push_back(Subject(d) + " входит в программный RAID " + name);
            else
                users.push_back(Subject(d) + " занят устройством " + name);
        }
    }
    return users;
}

// ---- the guard -----------------------------------------------------------------

InUseGuard::InUseGuard(std::string path, SystemRoots roots) : m_path(std::move(path)), m_roots(std::move(roots))
{
    openExclusive = [](const std::string& diskPath) {
        const int fd = ::open(diskPath.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC | O_NONBLOCK);
        return fd >= 0 ? fd : -errno;
    };
}

InUseGuard::~InUseGuard()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InUseGuard::Claim(std::string* why)
{
    if (m_fd >= 0)
        return true;
    auto refuse = [why](std::string text) {
        if (why)
            *why = std::move(text);
        return false;
    };
    const std::optional<std::string> disk = DiskOfNode(m_path, m_roots);
    if (!disk)
        return refuse("Не удалось определить, какому диску принадлежит " + m_path +
                      ", и проверить, не используется ли он системой. Команды, которые пишут на диск или меняют "
                      "его состояние, не выполнены.");
    const std::string diskPath = (fs::path(m_roots.dev) / *disk).string();
    const std::vector<std::string> users = DiskUsers(*disk, m_roots);
    if (!users.empty())
        return refuse("Диск " + diskPath + " используется системой: " + Join(users, "; ") +
                      ".\nКоманды, которые пишут на диск или меняют его состояние, для него запрещены. "
                      "Отмонтируйте его разделы, отключите на нём подкачку и тома и повторите.");
    const int fd = openExclusive(diskPath);
    if (fd == -EBUSY)
        return refuse("Диск " + diskPath + " занят: его держит открытым монопольно другая программа, или он "
                      "смонтирован там, где эта программа его не видит.\nКоманды, которые пишут на диск или "
                      "меняют его состояние, для него запрещены, пока он занят.");
    if (fd < 0)
        return refuse("Не удалось открыть диск " + diskPath + " монопольно (" + ErrnoText(-fd).toStdString() +
                      "), поэтому нельзя убедиться, что система его не использует. Команды, которые пишут на "
                      "диск или меняют его состояние, не выполнены.");
    m_fd = fd;
    return true;
}

// ---- the command layer's side ----------------------------------------------------

void SetWriteGuardFactory(WriteGuardFactory factory)
{
    std::lock_guard<std::mutex> l(gMutex);
    gFactory = std::move(factory);
}

std::shared_ptr<WriteGuard> MakeWriteGuard(const Address& address)
{
    WriteGuardFactory f;
    {
        std::lock_guard<std::mutex> l(gMutex);
        f = gFactory;
    }
    return f ? f(address) : nullptr;
}

std::shared_ptr<WriteGuard> KernelWriteGuard(const Address& address)
{
    if (address.path.empty())
        return nullptr;
    return std::make_shared<InUseGuard>(address.path);
}

void SetRefusalReporter(RefusalReporter reporter)
{
    std::lock_guard<std::mutex> l(gMutex);
    gReporter = std::move(reporter);
}

std::string LastRefusal()
{
    std::lock_guard<std::mutex> l(gMutex);
    return gLastRefusal;
}

Result GuardCommand(WriteGuard* guard, const Request& request)
{
    Result r;
    r.outcome = Outcome::Ok;
    std::string why;
    if (!guard || !ChangesDrive(request.tf) || guard->Claim(&why))
        return r;
    r.outcome = Outcome::InUse;
    r.osError = EBUSY;
    RefusalReporter report;
    {
        std::lock_guard<std::mutex> l(gMutex);
        gLastRefusal = why;
        report = gReporter;
    }
    if (report)
        report(why);
    return r;
}

}  // namespace ata
