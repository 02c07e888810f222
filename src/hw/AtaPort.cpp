// The ATA register protocol through the port layer, as the standard orders
// it for a host that polls: device selection, taskfile, PIO data phases,
// completion, SRST; and the port transport over it.
#include "hw/AtaPort.h"

#include "hw/AtaDefs.h"
#include "hw/PortIo.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

namespace ata {

namespace port {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The settle time (400 ns) after a command, a device selection or a PIO
// block, before the status means anything: a register access takes at least
// 100 ns on an ATA bus, so four ignored reads of the alternate status.
constexpr int kSettleReads = 4;
// SRST is held at least 5 us; the drive gets 2 ms before BSY is looked at.
constexpr auto kSrstHold = 10us;
constexpr auto kSrstSettle = 2ms;
// How long SECURITY ERASE UNIT may take to refuse its data before we take it
// as running.
constexpr auto kEraseStartGrace = 300ms;
// A drive that still asks for bytes after a sector and this many trailing
// bytes is reset.
constexpr uint32_t kMaxTrailingBytes = 256;

inline void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

inline bool NotBusy(uint8_t st) { return !(st & kStBsy); }

// One channel's registers, and the time-out of the command that uses them.
class Bus {
public:
    Bus(PortBackend& ports, const Connection& c) : m_c(c), m_ports(ports) {}

    uint8_t Alt() { return m_ports.In8(m_c.altPort); }
    uint8_t Reg(uint16_t off) { return m_ports.In8(uint16_t(m_c.basePort + off)); }
    void SetReg(uint16_t off, uint8_t v) { m_ports.Out8(uint16_t(m_c.basePort + off), v); }
    void SetControl(uint8_t v) { m_ports.Out8(m_c.altPort, v); }
    PortBackend& ports() { return m_ports; }
    const Connection& conn() const { return m_c; }
    uint8_t DeviceBits() const { return uint8_t(kDevObsolete | kDevLba | (m_c.device ? kDevSlave : 0)); }

    void Settle()
    {
        for (int i = 0; i < kSettleReads; ++i)
            (void)Alt();
    }

    // The command's time-out runs from its first wait that is not over at once.
    Clock::time_point Deadline()
    {
        if (m_deadline == Clock::time_point{})
            m_deadline = Clock::now() + std::chrono::seconds(std::max<uint16_t>(m_c.timeOutSeconds, 1));
        return m_deadline;
    }

    // Polls the alternate status until `done` holds (true) or the deadline
    // passes (false); `st` is the status last read, `when` the time of the
    // read that satisfied `done`.
    template <class Done>
    bool Poll(Done done, uint8_t& st, Clock::time_point* when = nullptr, Clock::time_point deadline = {})
    {
        for (unsigned spins = 0;; ++spins) {
            st = Alt();
            if (done(st)) {
                if (when)
                    *when = Clock::now();
                return true;
            }
            if (Clock::now() >= (deadline == Clock::time_point{} ? Deadline() : deadline))
                return false;
            if (spins < 200)
                CpuRelax();
            else if (spins < 2000)
                std::this_thread::sleep_for(10us);
            else
                std::this_thread::sleep_for(200us);
        }
    }

private:
    const Connection& m_c;
    PortBackend& m_ports;
    Clock::time_point m_deadline{};
};

// A wait that ran out: all ones the whole time is nothing on the bus.
Outcome TimedOut(uint8_t st) { return st == 0xFF ? Outcome::NoDevice : Outcome::Timeout; }

// Reads the status register (which also clears a pending interrupt) and
// judges the end of a command.
Outcome Finish(Bus& bus, Result& r)
{
    r.status = bus.Reg(kRegStatus);
    if (Floating(r.status))
        return Outcome::NoDevice;
    if (r.status & (kStErr | kStDf)) {
        r.error = bus.Reg(kRegError);
        return Outcome::DeviceError;
    }
    return Outcome::Ok;
}

// The device selection protocol: the channel must be idle (BSY and DRQ
// clear) before the device register is written, and the selected device
// idle and ready after it.  Before a command all ones (or 0x7F) is a bus
// nothing drives, and 0x00 a device that is not there.
Outcome SelectDevice(Bus& bus, uint8_t device, Result& r)
{
    uint8_t st = bus.Alt();
    r.status = st;
    if (Floating(st))
        return Outcome::NoDevice;
    if (st & kStBsy) {
        // The device selected now is busy: wait for it (its other bits mean
        // nothing until then).
        if (!bus.Poll(NotBusy, st)) {
            r.status = st;
            return TimedOut(st);
        }
        r.status = st;
        if (Floating(st))
            return Outcome::NoDevice;
    }
    if (st & kStDrq)
        return Outcome::ProtocolError;  // a data phase nobody serves: only a reset ends it
    bus.SetReg(kRegDevice, device);
    bus.Settle();
    const bool done = bus.Poll([](uint8_t s) { return NotBusy(s) || Floating(s); }, st);
    r.status = st;
    if (!done)
        return TimedOut(st);
    if (Floating(st) || st == 0x00)
        return Outcome::NoDevice;
    if (st & kStDrq)
        return Outcome::ProtocolError;
    if (!(st & kStDrdy)) {
        const bool ready = bus.Poll([](uint8_t s) { return (s & (kStBsy | kStDrdy)) == kStDrdy || Floating(s); }, st);
        r.status = st;
        if (!ready)
            return TimedOut(st);
        if (Floating(st))
            return Outcome::NoDevice;
    }
    return Outcome::Ok;
}

void WriteTaskfile(Bus& bus, const Taskfile& t)
{
    // Each register takes the high-order byte first in the 48-bit form.  The
    // device register was written by the selection.
    const uint16_t regs[] = {kRegFeature, kRegCount, kRegLbaLow, kRegLbaMid, kRegLbaHigh};
    const uint8_t high[] = {t.featureHob, t.countHob, t.lbaLowHob, t.lbaMidHob, t.lbaHighHob};
    const uint8_t low[] = {t.feature, t.count, t.lbaLow, t.lbaMid, t.lbaHigh};
    for (size_t i = 0; i < std::size(regs); ++i) {
        if (t.ext)
            bus.SetReg(regs[i], high[i]);
        bus.SetReg(regs[i], low[i]);
    }
    bus.SetReg(kRegCommand, t.command);
}

// Block: the drive offers or asks for a block (BSY clear, DRQ set) or ends
// the command with ERR or DF.  BSY clear with neither is a DRQ still to come.
Outcome AwaitBlock(Bus& bus, Result& r, Clock::time_point* when)
{
    uint8_t st = 0;
    const bool done = bus.Poll([](uint8_t s) { return NotBusy(s) && (s & (kStDrq | kStErr | kStDf)); }, st, when);
    r.status = st;
    if (!done)
        return TimedOut(st);
    if (st & (kStErr | kStDf))
        return Finish(bus, r);
    return Outcome::Ok;
}

void MoveBlock(Bus& bus, const Request& rq, uint32_t s)
{
    const uint16_t data = bus.conn().basePort;
    if (rq.protocol == Protocol::PioIn) {
        (void)bus.Reg(kRegStatus);  // acknowledges the block's interrupt
        bus.ports().In16Block(data, reinterpret_cast<uint16_t*>(rq.in + s * kSectorSize), kSectorSize / 2);
    } else {
        const uint8_t* src = rq.repeatOut ? rq.out : rq.out + s * kSectorSize;
        bus.ports().Out16Block(data, reinterpret_cast<const uint16_t*>(src), kSectorSize / 2);
    }
}

// Trailing: bytes one at a time after the last block, as long as the drive
// asks for them.  A drive that wants fewer than the request carries gets
// fewer; one that wants more gets the last byte again, up to a bound.
Outcome SendTrailing(Bus& bus, const Request& rq, Result& r)
{
    for (uint32_t sent = 0;; ++sent) {
        bus.Settle();
        uint8_t st = 0;
        const bool done = bus.Poll(NotBusy, st);
        r.status = st;
        if (!done)
            return TimedOut(st);
        if (!(st & kStDrq) || (st & (kStErr | kStDf)))
            return Outcome::Ok;
        if (sent == kMaxTrailingBytes) {
            (void)Reset(bus.ports(), bus.conn());  // do not leave the drive in the middle of its data phase
            return Outcome::ProtocolError;
        }
        bus.ports().Out8(bus.conn().basePort, rq.trailingBytes[std::min(sent, rq.trailingCount - 1)]);
    }
}

// End: BSY clear without DRQ.  A drive that still asks for or offers data
// broke the protocol.  SECURITY ERASE UNIT counts as started when it is still
// busy after its grace time.
Outcome AwaitEnd(Bus& bus, const Request& rq, Result& r, Clock::time_point* when)
{
    uint8_t st = 0;
    bool done = false;
    if (rq.protocol == Protocol::PioOutStart) {
        done = bus.Poll(NotBusy, st, when, std::min(bus.Deadline(), Clock::now() + kEraseStartGrace));
        if (!done) {
            r.status = st;
            return Outcome::Ok;  // accepted and running
        }
    } else {
        done = bus.Poll(NotBusy, st, when);
    }
    r.status = st;
    if (!done)
        return TimedOut(st);
    if (st & (kStErr | kStDf))
        return Finish(bus, r);
    if (st & kStDrq)
        return Outcome::ProtocolError;
    return Finish(bus, r);
}

void ReadBack(Bus& bus, const Request& rq, Result& r)
{
    Taskfile& t = r.regs;
    t.count = bus.Reg(kRegCount);
    t.lbaLow = bus.Reg(kRegLbaLow);
    t.lbaMid = bus.Reg(kRegLbaMid);
    t.lbaHigh = bus.Reg(kRegLbaHigh);
    t.device = bus.Reg(kRegDevice);
    t.ext = rq.tf.ext;
    if (rq.tf.ext) {
        bus.SetControl(kCtlHob | kCtlNien);
        t.countHob = bus.Reg(kRegCount);
        t.lbaLowHob = bus.Reg(kRegLbaLow);
        t.lbaMidHob = bus.Reg(kRegLbaMid);
        t.lbaHighHob = bus.Reg(kRegLbaHigh);
        bus.SetControl(kCtlNien);
    }
}

}  // namespace

// A command, state by state; each names the status it waits for:
//   select    the channel idle, our device written, our device idle and ready
//   issue     the taskfile and the command written, the settle time
//   block     BSY clear with DRQ (a block to move) or with ERR/DF (refused)
//   move      one block moved, the settle time, back to `block` while blocks remain
//   trailing  bytes after the last block while the drive asks (WRITE LONG)
//   end       BSY clear without DRQ; ERR or DF is a device error
Result Command(PortBackend& ports, const Connection& c, const Request& rq)
{
    Result r;
    if (!c.initialised) {
        r.outcome = Outcome::NotInitialised;
        return r;
    }
    const bool dataIn = rq.protocol == Protocol::PioIn;
    const bool dataOut = rq.protocol == Protocol::PioOut || rq.protocol == Protocol::PioOutStart;
    if ((dataIn && (!rq.in || rq.sectors == 0)) || (dataOut && (!rq.out || rq.sectors == 0)) ||
        (rq.trailingCount && (!dataOut || !rq.trailingBytes))) {
        r.outcome = Outcome::InvalidArgument;
        return r;
    }

    Bus bus(ports, c);
    const uint8_t device = uint8_t(bus.DeviceBits() | (rq.tf.ext ? 0 : (rq.tf.device & 0x0F)));
    Outcome o = SelectDevice(bus, device, r);
    if (o != Outcome::Ok) {
        r.outcome = o;
        return r;
    }
    WriteTaskfile(bus, rq.tf);
    const Clock::time_point t0 = Clock::now();
    bus.Settle();

    // The time of the command: to its first block for data-in, to its end
    // otherwise.
    Clock::time_point t1{};
    const uint32_t blocks = (dataIn || dataOut) ? rq.sectors : 0;
    for (uint32_t s = 0; s < blocks && o == Outcome::Ok; ++s) {
        if (s > 0)
            bus.Settle();
        o = AwaitBlock(bus, r, (dataIn && s == 0) ? &t1 : nullptr);
        if (o == Outcome::Ok)
            MoveBlock(bus, rq, s);
    }
    if (o == Outcome::Ok && rq.trailingCount)
        o = SendTrailing(bus, rq, r);
    else if (o == Outcome::Ok && blocks > 0)
        bus.Settle();
    if (o == Outcome::Ok)
        o = AwaitEnd(bus, rq, r, dataIn ? nullptr : &t1);

    if (t1 != Clock::time_point{})
        r.micros = std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count();
    if (o == Outcome::Ok && rq.readBack)
        ReadBack(bus, rq, r);
    r.outcome = o;
    return r;
}

Result Reset(PortBackend& ports, const Connection& c)
{
    Result r;
    if (!c.initialised) {
        r.outcome = Outcome::NotInitialised;
        return r;
    }
    Bus bus(ports, c);
    uint8_t st = bus.Alt();
    r.status = st;
    if (Floating(st)) {
        r.outcome = Outcome::NoDevice;
        return r;
    }
    bus.SetControl(kCtlSrst | kCtlNien);
    std::this_thread::sleep_for(kSrstHold);
    bus.SetControl(kCtlNien);
    std::this_thread::sleep_for(kSrstSettle);
    // Device 0 is selected now; while BSY is set all ones means nothing.
    if (!bus.Poll(NotBusy, st)) {
        r.status = st;
        r.outcome = TimedOut(st);
        return r;
    }
    Outcome o = SelectDevice(bus, bus.DeviceBits(), r);
    if (o == Outcome::Ok && (r.status & kStDf)) {
        r.error = bus.Reg(kRegError);
        o = Outcome::DeviceError;
    }
    r.outcome = o;
    return r;
}

int32_t Ready(PortBackend& ports, const Connection& c, bool& running, Result& r)
{
    Bus bus(ports, c);
    const uint8_t st = bus.Alt();
    r.status = st;
    if (st & kStBsy) {
        if (st != 0xFF || running)
            return 1;
        r.outcome = Outcome::NoDevice;
        return 255;
    }
    running = false;
    if (Floating(st) || st == 0x00) {
        r.outcome = Outcome::NoDevice;
        return 255;
    }
    if (st & (kStErr | kStDf)) {
        r.outcome = Outcome::DeviceError;
        r.error = bus.Reg(kRegError);
        return 255;
    }
    if (st & kStDrq) {
        r.outcome = Outcome::ProtocolError;
        return 255;
    }
    return (st & kStDrdy) ? 0 : 2;
}

}  // namespace port

// ---- the port transport ------------------------------------------------------------

PortTransport::PortTransport(uint16_t basePort, uint16_t altPort, uint8_t device, PortBackend* ports)
    : m_ports(ports)
{
    m_c.basePort = basePort;
    m_c.altPort = altPort;
    m_c.device = device ? 1 : 0;
    m_c.initialised = true;
}

PortBackend& PortTransport::Ports() const { return m_ports ? *m_ports : ::Ports(); }

void PortTransport::Select()
{
    Ports().Out8(uint16_t(m_c.basePort + kRegDevice), uint8_t(kDevObsolete | kDevLba | (m_c.device ? kDevSlave : 0)));
}

void PortTransport::Configure(uint16_t timeOutSeconds)
{
    m_c.timeOutSeconds = timeOutSeconds;
    m_running = false;
    // We poll: the drive must not leave an interrupt pending for anyone.
    if (m_c.altPort && (m_ports || HavePortBackend()))
        Ports().Out8(m_c.altPort, kCtlNien);
}

Result PortTransport::Execute(const Request& request)
{
    const Result r = port::Command(Ports(), m_c, request);
    m_running = r.ok() && (r.status & kStBsy);
    return r;
}

Result PortTransport::Reset()
{
    m_running = false;
    return port::Reset(Ports(), m_c);
}

int32_t PortTransport::Ready(Result& r) { return port::Ready(Ports(), m_c, m_running, r); }

bool PortTransport::ShowsError()
{
    const uint8_t st = Ports().In8(m_c.altPort);
    return !(st & kStBsy) && (st & (kStErr | kStDf));
}

uint8_t PortTransport::Sample(Register r)
{
    switch (r) {
    case Register::AltStatus: return Ports().In8(m_c.altPort);
    case Register::Status: return Ports().In8(uint16_t(m_c.basePort + kRegStatus));
    case Register::Error: return Ports().In8(uint16_t(m_c.basePort + kRegError));
    }
    return 0xFF;
}

Address PortTransport::address() const
{
    Address a;
    a.basePort = m_c.basePort;
    a.altPort = m_c.altPort;
    a.device = m_c.device;
    return a;
}

}  // namespace ata
