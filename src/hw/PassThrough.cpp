#include "hw/PassThrough.h"

#include "hw/SgioCdb.h"
#include "hw/SgioTransport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

namespace ata {

namespace {

std::mutex gHostMutex;
std::shared_ptr<PassThroughHost> gHost;

constexpr unsigned kScsiGenericMajor = 21;

class KernelNode : public SgNode {
public:
    explicit KernelNode(int fd) : m_fd(fd) {}
    ~KernelNode() override { ::close(m_fd); }
    int Io(sg_io_hdr_t& h) override { return ::ioctl(m_fd, SG_IO, &h) == 0 ? 0 : errno; }

private:
    int m_fd;
};

std::string RealPath(const std::string& path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : path;
}

class KernelHost : public PassThroughHost {
public:
    std::shared_ptr<SgNode> Open(const std::string& path, std::string* why, int* error) override
    {
        auto fail = [&](int err, const std::string& text) -> std::shared_ptr<SgNode> {
            if (error)
                *error = err;
            if (why)
                *why = text;
            return nullptr;
        };
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            return fail(err, AccessErrorText(err, path));
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            const int err = errno;
            ::close(fd);
            return fail(err, AccessErrorText(err, path));
        }
        const std::string dev = std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
        std::error_code ec;
        std::string refusal;
        if (S_ISBLK(st.st_mode)) {
            if (std::filesystem::exists("/sys/dev/block/" + dev + "/partition", ec))
                refusal = path + " — раздел диска; нужен весь диск (например, /dev/sda).";
        } else if (!S_ISCHR(st.st_mode) || major(st.st_rdev) != kScsiGenericMajor) {
            refusal = path + " — не диск: нужно блочное устройство диска (/dev/sdX) или его узел /dev/sgN.";
        }
        if (!refusal.empty()) {
            ::close(fd);
            return fail(ENOTTY, refusal);
        }
        return std::make_shared<KernelNode>(fd);
    }

    std::vector<std::string> Drives() const override { return {}; }

    std::string DriveName(const std::string& path) const override
    {
        // /dev/sgN of a disk: the disk's block device.
        const std::string real = RealPath(path);
        const std::string sg = "/dev/sg";
        if (real.rfind(sg, 0) == 0) {
            std::error_code ec;
            const std::string dir = "/sys/class/scsi_generic/" + real.substr(5) + "/device/block";
            for (const auto& e : std::filesystem::directory_iterator(dir, ec))
                return "/dev/" + e.path().filename().string();
        }
        return real;
    }

    bool Simulated() const override { return false; }
};

}  // namespace

void InstallPassThroughHost(std::shared_ptr<PassThroughHost> host)
{
    std::lock_guard<std::mutex> l(gHostMutex);
    gHost = std::move(host);
}

std::shared_ptr<PassThroughHost> CurrentPassThroughHost()
{
    std::lock_guard<std::mutex> l(gHostMutex);
    return gHost;
}

std::shared_ptr<PassThroughHost> KernelPassThroughHost()
{
    static const auto host = std::make_shared<KernelHost>();
    return host;
}

std::shared_ptr<Transport> OpenPassThrough(const std::string& path, std::string* why)
{
    const std::shared_ptr<PassThroughHost> host = CurrentPassThroughHost();
    if (!host) {
        if (why)
            *why = path + ": в этом режиме нет дисков, доступных через ядро (ATA PASS-THROUGH)";
        return nullptr;
    }
    std::shared_ptr<SgNode> node = host->Open(path, why);
    if (!node)
        return nullptr;
    return std::make_shared<SgioTransport>(std::move(node), path);
}

std::string AccessErrorText(int error, const std::string& path)
{
    switch (error) {
    case EACCES:
        return "Нет доступа к " + path +
               ": пользователь не входит в группу disk. Добавьте его в группу (sudo usermod -aG disk ИМЯ, "
               "затем войдите в систему заново) или запустите программу от root.";
    case EPERM:
        return "Ядро не пропускает команды ATA PASS-THROUGH (16) к " + path +
               ": процессу нужна привилегия CAP_SYS_RAWIO (запуск от root или sudo setcap cap_sys_rawio+ep "
               "voran).";
    case ENOENT: return path + ": такого устройства нет.";
    case ENOTTY:
    case EINVAL:
        return path + " не принимает команды ATA PASS-THROUGH (SG_IO): это не диск SATA или SCSI "
                      "(например, NVMe).";
    case ENODEV:
    case ENXIO: return path + ": устройство пропало или не отвечает.";
    case EBUSY: return path + " занят другой программой.";
    default: return path + ": " + std::strerror(error);
    }
}

std::string RefusalText(int osError, const std::string& path)
{
    if (osError > 0)
        return AccessErrorText(osError, path);
    const int code = -osError;
    const int asc = (code >> 8) & 0xFF, ascq = code & 0xFF;
    if (asc == 0x20 && ascq == 0)
        return path + " не передаёт команды ATA: мост USB или контроллер их не поддерживает "
                      "(ILLEGAL REQUEST, 20/00).";
    if (asc == 0x24 && ascq == 0)
        return "Ядро не передало команду накопителю " + path + " (ILLEGAL REQUEST, 24/00: недопустимое поле CDB).";
    char text[64];
    std::snprintf(text, sizeof text, " (код SCSI %X/%02X/%02X).", (code >> 16) & 0xF, asc, ascq);
    return "Команда отвергнута, не дойдя до накопителя " + path + text;
}

}  // namespace ata
