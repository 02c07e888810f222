// The real port instructions.  Only reached when the program was started
// with --hardware (or inside the QEMU test guest): never on a development
// or CI machine.
#include "hw/PortIo.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/io.h>
#include <unistd.h>

namespace {

class X86PortBackend final : public PortBackend {
public:
    uint8_t In8(uint16_t port) override { return inb(port); }
    uint16_t In16(uint16_t port) override { return inw(port); }
    uint32_t In32(uint16_t port) override { return inl(port); }
    void Out8(uint16_t port, uint8_t value) override { outb(value, port); }
    void Out16(uint16_t port, uint16_t value) override { outw(value, port); }
    void Out32(uint16_t port, uint32_t value) override { outl(value, port); }
    void In16Block(uint16_t port, uint16_t* words, size_t count) override { insw(port, words, count); }
    void Out16Block(uint16_t port, const uint16_t* words, size_t count) override { outsw(port, words, count); }
    const char* Kind() const override { return "x86"; }
};

bool HasRawIoCapability()
{
    std::ifstream st("/proc/self/status");
    std::string line;
    while (std::getline(st, line)) {
        if (line.rfind("CapEff:", 0) == 0) {
            std::istringstream in(line.substr(7));
            unsigned long long caps = 0;
            in >> std::hex >> caps;
            return (caps >> 17) & 1ULL;  // CAP_SYS_RAWIO
        }
    }
    return geteuid() == 0;
}

std::string LockdownMode()
{
    std::ifstream f("/sys/kernel/security/lockdown");
    std::string text;
    std::getline(f, text);
    const auto b = text.find('[');
    const auto e = text.find(']');
    if (b == std::string::npos || e == std::string::npos || e <= b)
        return {};
    std::string mode = text.substr(b + 1, e - b - 1);
    return mode == "none" ? std::string() : mode;
}

}  // namespace

std::shared_ptr<PortBackend> OpenX86PortBackend(std::string* why)
{
    if (iopl(3) == 0)
        return std::make_shared<X86PortBackend>();
    const int err = errno;
    std::string reason;
    if (geteuid() != 0 && !HasRawIoCapability()) {
        reason = "программа запущена не от имени root и не имеет права CAP_SYS_RAWIO";
    } else if (!HasRawIoCapability()) {
        reason = "у процесса нет права CAP_SYS_RAWIO";
    } else if (const std::string mode = LockdownMode(); !mode.empty()) {
        reason = "ядро работает в режиме блокировки (lockdown: " + mode + "), доступ к портам запрещён";
    } else {
        reason = std::string("ядро отказало в доступе: ") + std::strerror(err);
    }
    if (why)
        *why = "Нет доступа к портам ввода-вывода: " + reason + ".";
    return nullptr;
}
