#pragma once
// A simulated drive for the security windows' tests, and what crossed the
// ports to it: each security command with its control word and password.
#include <QByteArray>
#include <QString>
#include <memory>
#include <ostream>
#include <vector>

#include "common/Services.h"
#include "hw/PortIo.h"
#include "sim/SimMachine.h"
#include "support/FakeShell.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace sectest {

struct Sent {
    uint8_t command = 0;
    uint16_t control = 0;  // the first word of the data block
    QByteArray password;   // its 32 password bytes, trailing NULs removed
};

// Passes every access on to the machine, noting the security commands
// written to 01F0 and the data block that follows each.
class PortRecorder : public PortBackend {
public:
    explicit PortRecorder(std::shared_ptr<sim::Machine> m) : m_machine(std::move(m)) {}
    uint8_t In8(uint16_t port) override { return m_machine->In8(port); }
    uint16_t In16(uint16_t port) override { return m_machine->In16(port); }
    uint32_t In32(uint16_t port) override { return m_machine->In32(port); }
    void Out8(uint16_t port, uint8_t value) override;
    void Out16(uint16_t port, uint16_t value) override
    {
        Note(port, &value, 1);
        m_machine->Out16(port, value);
    }
    void Out32(uint16_t port, uint32_t value) override { m_machine->Out32(port, value); }
    void In16Block(uint16_t port, uint16_t* words, size_t count) override { m_machine->In16Block(port, words, count); }
    void Out16Block(uint16_t port, const uint16_t* words, size_t count) override
    {
        Note(port, words, count);
        m_machine->Out16Block(port, words, count);
    }
    const char* Kind() const override { return "simulated"; }

    std::vector<Sent> sent;
    std::vector<uint8_t> Opcodes() const;

private:
    void Note(uint16_t port, const uint16_t* words, size_t count);
    std::shared_ptr<sim::Machine> m_machine;
    size_t m_words = 0;  // of the last block so far
};

// One drive on 01F0 master behind a recorder, a fake main window and a
// message recorder.
struct Bench {
    explicit Bench(const sim::DriveSpec& spec);
    ~Bench();
    sim::Drive& drive() { return *machine->DriveAt(0x1F0, 0); }
    // The erase in progress ends now, completed (the simulated drive
    // completes it at a reset of the channel).
    void CompleteErase();

    FakeShell shell;
    MessageRecorder messages;
    std::shared_ptr<sim::Machine> machine;
    std::shared_ptr<PortRecorder> ports;
};

// A drive answering at once, with enhanced erase; words 89/90 say one hour
// and 70 minutes, and its erase takes `eraseSeconds`.
sim::DriveSpec SecurityDrive(double eraseSeconds = 0);

}  // namespace sectest
