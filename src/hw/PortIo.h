#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Byte, word and double-word access to I/O ports.  The process chooses one
// backend at start: the x86 instructions (only with --hardware) or the
// simulated machine.
class PortBackend {
public:
    virtual ~PortBackend() = default;
    virtual uint8_t In8(uint16_t port) = 0;
    virtual uint16_t In16(uint16_t port) = 0;
    virtual uint32_t In32(uint16_t port) = 0;
    virtual void Out8(uint16_t port, uint8_t value) = 0;
    virtual void Out16(uint16_t port, uint16_t value) = 0;
    virtual void Out32(uint16_t port, uint32_t value) = 0;
    // Repeated word transfers of one port (the PIO data register).
    virtual void In16Block(uint16_t port, uint16_t* words, size_t count);
    virtual void Out16Block(uint16_t port, const uint16_t* words, size_t count);
    // "x86" or "simulated": shown to the user, never used for decisions.
    virtual const char* Kind() const = 0;
};

// Installs the process-wide backend.  The program does this once at start;
// tests may install another between cases while no thread uses the ports.
void InstallPortBackend(std::shared_ptr<PortBackend> backend);
std::shared_ptr<PortBackend> CurrentPortBackend();
bool HavePortBackend();
PortBackend& Ports();

// The two byte operations the callers above the ATA layer use.
uint8_t PortRead(uint16_t port);
void PortWrite(uint16_t port, uint8_t value);

// Direct x86 port access.  Open() asks the kernel for I/O privilege; when it
// is refused it returns null and explains why (not root, no CAP_SYS_RAWIO,
// kernel lockdown) in `why`.
std::shared_ptr<PortBackend> OpenX86PortBackend(std::string* why);
