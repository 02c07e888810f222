#include "sim/SimMachine.h"

#include "hw/AtaDefs.h"

#include <algorithm>
#include <cerrno>

namespace sim {

using namespace ata;

// ---- channel -------------------------------------------------------------------

Channel::Channel(uint16_t base, uint16_t control, std::unique_ptr<Drive> master, std::unique_ptr<Drive> slave,
                 uint8_t floatingBus)
    : m_base(base), m_alt(control), m_floating(floatingBus)
{
    m_drive[0] = std::move(master);
    m_drive[1] = std::move(slave);
    for (auto& d : m_drive)
        if (d)
            d->SetBusClock(&m_cycles);
}

Drive* Channel::Present(int device)
{
    Drive* d = m_drive[device & 1].get();
    return d && !d->Absent() ? d : nullptr;
}

uint8_t Channel::ReadStatus(bool acknowledge)
{
    if (Drive* d = Present(m_selected))
        return d->Status(acknowledge);
    // Nothing answers for a missing device: a floating bus on an empty
    // channel, and zeros when the other device answers for it.
    return Present(m_selected ^ 1) ? 0x00 : m_floating;
}

uint8_t Channel::Read8(uint16_t offset)
{
    ++m_cycles;
    if (offset == kRegStatus)
        return ReadStatus(true);
    Drive* d = Present(m_selected);
    if (!d) {
        // The device register is latched by both devices and reads back.
        Drive* other = Present(m_selected ^ 1);
        if (!other)
            return m_floating;
        return offset == kRegDevice ? other->LatchedDevice() : 0x00;
    }
    if (offset == kRegData)
        return d->ReadData8();
    return d->ReadRegister(uint8_t(offset), (m_control & kCtlHob) != 0);
}

uint16_t Channel::Read16(uint16_t offset)
{
    if (offset != kRegData)
        return uint16_t(Read8(offset) | 0xFF00);
    ++m_cycles;
    if (Drive* d = Present(m_selected))
        return d->ReadData16();
    return Present(m_selected ^ 1) ? 0x0000 : uint16_t(m_floating | (m_floating << 8));
}

void Channel::Write8(uint16_t offset, uint8_t v)
{
    ++m_cycles;
    if (offset != kRegData && offset != kRegCommand)
        m_control &= uint8_t(~kCtlHob);  // a register write clears HOB
    switch (offset) {
    case kRegData:
        if (Drive* d = Present(m_selected))
            d->WriteData8(v);
        return;
    case kRegDevice:
        // The device register may only be written while BSY and DRQ are
        // clear; a drive busy with a command does not take the write.
        if (Drive* d = Present(m_selected); d && !d->AcceptsSelect()) {
            ++m_selectsWhileBusy;
            return;
        }
        m_selected = (v & kDevSlave) ? 1 : 0;
        for (auto& d : m_drive)
            if (d)
                d->LatchDevice(v);
        return;
    case kRegCommand:
        if (Drive* d = Present(m_selected))
            d->WriteCommand(v);
        return;
    default:
        for (auto& d : m_drive)
            if (d)
                d->LatchRegister(uint8_t(offset), v);
        return;
    }
}

void Channel::Write16(uint16_t offset, uint16_t v)
{
    if (offset == kRegData) {
        ++m_cycles;
        if (Drive* d = Present(m_selected))
            d->WriteData16(v);
        return;
    }
    Write8(offset, uint8_t(v));
}

// Repeated accesses of the data register: every word is a bus cycle, and
// the runs a drive can take at once are copied in one piece.
void Channel::ReadData(uint16_t* words, size_t count)
{
    for (size_t i = 0; i < count;) {
        Drive* d = Present(m_selected);
        const size_t run = d ? d->DataInRun(count - i) : 0;
        if (run == 0) {
            words[i++] = Read16(kRegData);
            continue;
        }
        m_cycles += run;
        d->ReadDataRun(words + i, run);
        i += run;
    }
}

void Channel::WriteData(const uint16_t* words, size_t count)
{
    for (size_t i = 0; i < count;) {
        Drive* d = Present(m_selected);
        const size_t run = d ? d->DataOutRun(count - i) : 0;
        if (run == 0) {
            Write16(kRegData, words[i++]);
            continue;
        }
        m_cycles += run;
        d->WriteDataRun(words + i, run);
        i += run;
    }
}

uint8_t Channel::ReadAlt()
{
    ++m_cycles;
    return ReadStatus(false);
}

void Channel::WriteControl(uint8_t v)
{
    ++m_cycles;
    const bool wasReset = m_control & kCtlSrst;
    m_control = v;
    for (auto& d : m_drive)
        if (d)
            d->WriteControl(v);
    if (wasReset && !(v & kCtlSrst))
        m_selected = 0;  // the reset selects device 0
}

// ---- machine ------------------------------------------------------------------------

std::array<std::pair<uint16_t, uint16_t>, 2> ChannelPorts(const PciFunctionSpec& f)
{
    auto io = [&](int bar) -> uint16_t { return (f.bars[bar] & 1) ? uint16_t(f.bars[bar] & ~3u) : 0; };
    std::array<std::pair<uint16_t, uint16_t>, 2> p{};
    if (f.subclass == 0x01) {
        p[0] = (f.progIf & 0x01) ? std::make_pair(io(0), uint16_t(io(1) ? io(1) + 2 : 0))
                                 : std::make_pair(uint16_t(0x1F0), uint16_t(0x3F6));
        p[1] = (f.progIf & 0x04) ? std::make_pair(io(2), uint16_t(io(3) ? io(3) + 2 : 0))
                                 : std::make_pair(uint16_t(0x170), uint16_t(0x376));
    } else {
        p[0] = {io(0), uint16_t(io(1) ? io(1) + 2 : 0)};
        p[1] = {io(2), uint16_t(io(3) ? io(3) + 2 : 0)};
    }
    for (auto& c : p)
        if (!c.first || !c.second)
            c = {0, 0};
    return p;
}

Machine::Machine(const MachineSpec& spec) : m_routes(65536)
{
    for (const PciFunctionSpec& f : spec.functions) {
        PciFunction pf{f.bus, f.device, f.function, {}};
        auto& c = pf.config;
        c[0x00] = uint8_t(f.vendorId);
        c[0x01] = uint8_t(f.vendorId >> 8);
        c[0x02] = uint8_t(f.deviceId);
        c[0x03] = uint8_t(f.deviceId >> 8);
        c[0x04] = 0x05;  // I/O space and bus master enabled
        c[0x06] = 0x80;
        c[0x07] = 0x02;
        c[0x08] = f.revision;
        c[0x09] = f.progIf;
        c[0x0A] = f.subclass;
        c[0x0B] = f.classCode;
        c[0x0E] = f.multiFunction ? 0x80 : 0x00;
        for (int b = 0; b < 6; ++b)
            for (int i = 0; i < 4; ++i)
                c[0x10 + 4 * b + i] = uint8_t(f.bars[b] >> (8 * i));
        c[0x2C] = c[0x00];
        c[0x2D] = c[0x01];
        c[0x3C] = 14;
        c[0x3D] = 1;
        m_pci.push_back(pf);

        if (f.classCode != 0x01)
            continue;
        const auto ports = ChannelPorts(f);
        for (int ch = 0; ch < 2; ++ch) {
            const ChannelSpec& cs = f.channels[ch];
            if (!ports[ch].first)
                continue;
            auto master = cs.master ? std::make_unique<Drive>(*cs.master) : nullptr;
            auto slave = cs.slave ? std::make_unique<Drive>(*cs.slave) : nullptr;
            auto channel = std::make_unique<Channel>(ports[ch].first, ports[ch].second, std::move(master),
                                                     std::move(slave), cs.floatingBus);
            for (int r = 0; r < 8; ++r)
                m_routes[uint16_t(ports[ch].first + r)] = Route{channel.get(), int16_t(r)};
            m_routes[ports[ch].second] = Route{channel.get(), 8};
            for (int d = 0; d < 2; ++d)
                if (Drive* drv = channel->DriveAt(d))
                    drv->SetStateListener([this] {
                        // Called with the machine lock held (from a port access).
                        SaveStateLocked();
                    });
            m_channels.push_back(std::move(channel));
        }
    }
    for (const PassThroughSpec& p : spec.passThrough) {
        m_passThrough.push_back(std::make_unique<PassThroughDrive>(p, m_mutex));
        // Called with the machine lock held (from a register access).
        m_passThrough.back()->Model()->SetStateListener([this] { SaveStateLocked(); });
    }
}

Machine::~Machine() = default;

uint32_t Machine::PciRead32(uint32_t address) const
{
    if (!(address & 0x80000000u))
        return 0xFFFFFFFFu;
    const uint8_t bus = uint8_t(address >> 16);
    const uint8_t dev = uint8_t((address >> 11) & 0x1F);
    const uint8_t fn = uint8_t((address >> 8) & 0x07);
    const uint8_t off = uint8_t(address & 0xFC);
    for (const PciFunction& f : m_pci) {
        if (f.bus == bus && f.device == dev && f.function == fn) {
            return uint32_t(f.config[off]) | (uint32_t(f.config[off + 1]) << 8) |
                   (uint32_t(f.config[off + 2]) << 16) | (uint32_t(f.config[off + 3]) << 24);
        }
    }
    return 0xFFFFFFFFu;
}

uint8_t Machine::In8(uint16_t port)
{
    std::lock_guard<std::mutex> l(m_mutex);
    ++m_accesses;
    if (port >= 0xCFC && port <= 0xCFF)
        return uint8_t(PciRead32(m_cf8) >> (8 * (port - 0xCFC)));
    const Route& r = m_routes[port];
    if (!r.channel)
        return 0xFF;
    return r.offset == 8 ? r.channel->ReadAlt() : r.channel->Read8(uint16_t(r.offset));
}

uint16_t Machine::In16(uint16_t port)
{
    std::lock_guard<std::mutex> l(m_mutex);
    ++m_accesses;
    if (port == 0xCFC || port == 0xCFE)
        return uint16_t(PciRead32(m_cf8) >> (8 * (port - 0xCFC)));
    const Route& r = m_routes[port];
    if (!r.channel)
        return 0xFFFF;
    return r.offset == 8 ? uint16_t(r.channel->ReadAlt() | 0xFF00) : r.channel->Read16(uint16_t(r.offset));
}

uint32_t Machine::In32(uint16_t port)
{
    std::lock_guard<std::mutex> l(m_mutex);
    ++m_accesses;
    if (port == 0xCF8)
        return m_cf8;
    if (port == 0xCFC)
        return PciRead32(m_cf8);
    const Route& r = m_routes[port];
    if (!r.channel)
        return 0xFFFFFFFFu;
    if (r.offset == kRegData) {
        const uint32_t lo = r.channel->Read16(0);
        const uint32_t hi = r.channel->Read16(0);
        return lo | (hi << 16);
    }
    return 0xFFFFFF00u | (r.offset == 8 ? r.channel->ReadAlt() : r.channel->Read8(uint16_t(r.offset)));
}

void Machine::Out8(uint16_t port, uint8_t value)
{
    std::lock_guard<std::mutex> l(m_mutex);
    ++m_accesses;
    const Route& r = m_routes[port];
    if (!r.channel)
        return;
    if (r.offset == 8)
        r.channel->WriteControl(value);
    else
        r.channel->Write8(uint16_t(r.offset), value);
}

void Machine::Out16(uint16_t port, uint16_t value)
{
    std::lock_guard<std::mutex> l(m_mutex);
    ++m_accesses;
    const Route& r = m_routes[port];
    if (!r.channel)
        return;
    if (r.offset == 8)
        r.channel->WriteControl(uint8_t(value));
    else
        r.channel->Write16(uint16_t(r.offset), value);
}

void Machine::Out32(uint16_t port, uint32_t value)
{
    std::lock_guard<std::mutex> l(m_mutex);
    ++m_accesses;
    if (port == 0xCF8) {
        m_cf8 = value;
        return;
    }
    if (port == 0xCFC)
        return;  // configuration space is read-only here
    const Route& r = m_routes[port];
    if (!r.channel)
        return;
    if (r.offset == kRegData) {
        r.channel->Write16(0, uint16_t(value));
        r.channel->Write16(0, uint16_t(value >> 16));
    } else if (r.offset == 8) {
        r.channel->WriteControl(uint8_t(value));
    } else {
        r.channel->Write8(uint16_t(r.offset), uint8_t(value));
    }
}

void Machine::In16Block(uint16_t port, uint16_t* words, size_t count)
{
    std::lock_guard<std::mutex> l(m_mutex);
    ++m_accesses;
    const Route& r = m_routes[port];
    if (r.channel && r.offset == kRegData)
        r.channel->ReadData(words, count);
    else
        std::fill_n(words, count, uint16_t(0xFFFF));
}

void Machine::Out16Block(uint16_t port, const uint16_t* words, size_t count)
{
    std::lock_guard<std::mutex> l(m_mutex);
    ++m_accesses;
    const Route& r = m_routes[port];
    if (r.channel && r.offset == kRegData)
        r.channel->WriteData(words, count);
}

Drive* Machine::DriveAt(uint16_t basePort, int device)
{
    Channel* c = ChannelAt(basePort);
    return c ? c->DriveAt(device) : nullptr;
}

Channel* Machine::ChannelAt(uint16_t basePort)
{
    for (auto& c : m_channels)
        if (c->Base() == basePort)
            return c.get();
    return nullptr;
}

void Machine::PowerCycle()
{
    std::lock_guard<std::mutex> l(m_mutex);
    for (auto& c : m_channels)
        for (int d = 0; d < 2; ++d)
            if (Drive* drv = c->DriveAt(d))
                drv->PowerCycle();
    for (auto& p : m_passThrough)
        p->Model()->PowerCycle();
}

PassThroughDrive* Machine::PassThroughAt(const std::string& name)
{
    for (auto& p : m_passThrough)
        if (p->Name() == name)
            return p.get();
    return nullptr;
}

namespace {

class SimNode : public ata::SgNode {
public:
    SimNode(std::shared_ptr<Machine> machine, PassThroughDrive* drive) : m_machine(std::move(machine)), m_drive(drive) {}
    int Io(sg_io_hdr_t& h) override { return m_drive->Io(h); }

private:
    std::shared_ptr<Machine> m_machine;
    PassThroughDrive* m_drive;
};

}  // namespace

std::shared_ptr<ata::SgNode> Machine::Open(const std::string& path, std::string* why, int* error)
{
    if (PassThroughDrive* d = PassThroughAt(path))
        return std::make_shared<SimNode>(weak_from_this().lock(), d);
    if (error)
        *error = ENOENT;
    if (why) {
        std::string known;
        for (const std::string& n : Drives())
            known += (known.empty() ? "" : ", ") + n;
        *why = path + ": на симулированной машине нет такого диска" +
               (known.empty() ? std::string(" (дисков за ядром у неё нет)") : " (есть: " + known + ")");
    }
    return nullptr;
}

std::vector<std::string> Machine::Drives() const
{
    std::vector<std::string> names;
    for (const auto& p : m_passThrough)
        names.push_back(p->Name());
    return names;
}

std::shared_ptr<Machine> InstallMachine(const MachineSpec& spec)
{
    auto m = std::make_shared<Machine>(spec);
    InstallPortBackend(m);
    ata::InstallPassThroughHost(m);
    return m;
}

}  // namespace sim
