#include "security/SecurityTestDrive.h"

#include <algorithm>

#include "hw/AtaDefs.h"
#include "support/SimFixture.h"

namespace sectest {

namespace {

constexpr uint16_t kData = 0x1F0;
constexpr uint16_t kCommand = 0x1F7;

bool IsSecurity(uint8_t c) { return c >= ata::kCmdSecSetPassword && c <= ata::kCmdSecDisablePassword; }

}  // namespace

void PortRecorder::Out8(uint16_t port, uint8_t value)
{
    if (port == kCommand)
        m_log.push_back({value, {}});
    m_machine->Out8(port, value);
}

void PortRecorder::Out16(uint16_t port, uint16_t value)
{
    if (port == kData && !m_log.empty())
        m_log.back().words.push_back(value);
    m_machine->Out16(port, value);
}

void PortRecorder::Out16Block(uint16_t port, const uint16_t* words, size_t count)
{
    if (port == kData && !m_log.empty())
        m_log.back().words.insert(m_log.back().words.end(), words, words + count);
    m_machine->Out16Block(port, words, count);
}

std::vector<Sent> PortRecorder::Commands() const
{
    std::vector<Sent> out;
    for (const Raw& r : m_log) {
        Sent s;
        s.command = r.command;
        if (r.words.size() >= 17) {
            s.hasBlock = true;
            s.control = r.words[0];
            for (size_t i = 1; i < 17; ++i) {
                s.password.append(char(r.words[i] & 0xFF));
                s.password.append(char(r.words[i] >> 8));
            }
            while (s.password.endsWith('\0'))
                s.password.chop(1);
        }
        out.push_back(s);
    }
    return out;
}

std::vector<Sent> PortRecorder::SecurityCommands() const
{
    std::vector<Sent> all = Commands();
    all.erase(std::remove_if(all.begin(), all.end(), [](const Sent& s) { return !IsSecurity(s.command); }),
              all.end());
    return all;
}

std::vector<uint8_t> PortRecorder::SecurityOpcodes() const
{
    std::vector<uint8_t> out;
    for (const Sent& s : SecurityCommands())
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
    sim::Channel* c = machine->ChannelAt(0x1F0);
    c->WriteControl(ata::kCtlSrst | ata::kCtlNien);
    c->WriteControl(ata::kCtlNien);
}

sim::DriveSpec SecurityDrive(double eraseSeconds)
{
    sim::DriveSpec d = testsim::InstantDrive("SECDRIVE", 4096);
    d.eraseWord = 30;           // one hour, as the drive reports it
    d.enhancedEraseWord = 35;
    d.eraseScale = eraseSeconds / 3600.0;
    return d;
}

}  // namespace sectest
