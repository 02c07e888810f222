#pragma once
// A simulated drive for the security windows' tests, with what the drive
// was sent: every command, and for the security commands with a data block
// the control word and the password, as they crossed the ports.
#include <QByteArray>
#include <QString>
#include <memory>
#include <ostream>
#include <vector>

#include "common/Services.h"
#include "hw/PortIo.h"
#include "sim/SimMachine.h"
#include "support/FakeShell.h"

// Readable QStrings in the tests' failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace sectest {

struct Sent {
    uint8_t command = 0;
    uint16_t control = 0;  // the first word of the data block
    QByteArray password;   // its 32 password bytes, trailing NULs removed
    bool hasBlock = false;
};

// Passes every access on to the machine and notes the commands written to
// the primary channel and the data that follows them.
class PortRecorder : public PortBackend {
public:
    explicit PortRecorder(std::shared_ptr<sim::Machine> machine) : m_machine(std::move(machine)) {}
    uint8_t In8(uint16_t port) override { return m_machine->In8(port); }
    uint16_t In16(uint16_t port) override { return m_machine->In16(port); }
    uint32_t In32(uint16_t port) override { return m_machine->In32(port); }
    void Out8(uint16_t port, uint8_t value) override;
    void Out16(uint16_t port, uint16_t value) override;
    void Out32(uint16_t port, uint32_t value) override { m_machine->Out32(port, value); }
    void In16Block(uint16_t port, uint16_t* words, size_t count) override { m_machine->In16Block(port, words, count); }
    void Out16Block(uint16_t port, const uint16_t* words, size_t count) override;
    const char* Kind() const override { return "simulated"; }

    // The commands so far, data blocks decoded.
    std::vector<Sent> Commands() const;
    // Only the security commands (0xF1 to 0xF6).
    std::vector<Sent> SecurityCommands() const;
    std::vector<uint8_t> SecurityOpcodes() const;
    void Clear() { m_log.clear(); }

private:
    struct Raw {
        uint8_t command;
        std::vector<uint16_t> words;
    };
    std::shared_ptr<sim::Machine> m_machine;
    std::vector<Raw> m_log;
};

// One drive on 01F0 master, installed with a recorder in front of it, a
// fake main window and a message recorder.
struct Bench {
    explicit Bench(const sim::DriveSpec& spec);
    ~Bench();
    sim::Drive& drive() { return *machine->DriveAt(0x1F0, 0); }
    // The drive's erase in progress ends now, completed (the simulated drive
    // completes it at a reset of the channel).
    void CompleteErase();

    FakeShell shell;
    MessageRecorder messages;
    std::shared_ptr<sim::Machine> machine;
    std::shared_ptr<PortRecorder> ports;
};

// A drive answering at once, with enhanced erase and the master password
// "MASTER"; its erase takes `eraseSeconds` (word 89 × eraseScale).
sim::DriveSpec SecurityDrive(double eraseSeconds = 0);

}  // namespace sectest
