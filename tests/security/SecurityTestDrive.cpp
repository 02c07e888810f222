#include "security/SecurityTestDrive.h"

#include "hw/AtaDefs.h"
#include "support/SimFixture.h"

namespace sectest {

void PortRecorder::Out8(uint16_t port, uint8_t value)
{
    if (port == 0x1F7 && value >= ata::kCmdSecSetPassword && value <= ata::kCmdSecDisablePassword) {
        sent.push_back({value, 0, {}});
        m_words = 0;
    }
    m_machine->Out8(port, value);
}

void PortRecorder::Note(uint16_t port, const uint16_t* words, size_t count)
{
    for (size_t i = 0; port == 0x1F0 && !sent.empty() && i < count; ++i, ++m_words) {
        if (m_words == 0)
            sent.back().control = words[i];
        else if (m_words <= 16)
            sent.back().password.append(char(words[i] & 0xFF)).append(char(words[i] >> 8));
        if (m_words == 16)
            while (sent.back().password.endsWith('\0'))
                sent.back().password.chop(1);
    }
}

std::vector<uint8_t> PortRecorder::Opcodes() const
{
    std::vector<uint8_t> out;
    for (const Sent& s : sent)
        out.push_back(s.command);
    return out;
}

Bench::Bench(const sim::DriveSpec& spec)
{
    machine = testsim::Install(testsim::OneChannel(spec));
    ports = std::make_shared<PortRecorder>(machine);
    InstallPortBackend(ports);
}

Bench::~Bench() { InstallPortBackend(machine); }

void Bench::CompleteErase()
{
    machine->ChannelAt(0x1F0)->WriteControl(ata::kCtlSrst | ata::kCtlNien);
    machine->ChannelAt(0x1F0)->WriteControl(ata::kCtlNien);
}

sim::DriveSpec SecurityDrive(double eraseSeconds)
{
    sim::DriveSpec d = testsim::InstantDrive("SECDRIVE", 4096);
    d.eraseWord = 30;
    d.enhancedEraseWord = 35;
    d.eraseScale = eraseSeconds / 3600.0;
    return d;
}

}  // namespace sectest
