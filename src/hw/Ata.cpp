#include "hw/Ata.h"

#include "common/MonitorControl.h"
#include "hw/AtaDefs.h"
#include "hw/PortIo.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace ata {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::mutex gCommandMutex;  // one command at a time on the channel
std::mutex gStateMutex;    // the connection and the last result
Connection gConn;
Result gLast;
uint8_t gLastError = 0;

// How long SECURITY ERASE UNIT may take to refuse its data before we take it
// as running.
constexpr auto kEraseStartGrace = 300ms;
// SRST: the bit is held at least 5 us, and the drive gets 2 ms before BSY is
// looked at.
constexpr auto kSrstHold = 10us;
constexpr auto kSrstSettle = 2ms;

inline void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

enum class WaitResult { Ok, Timeout, NoDevice };

class Channel {
public:
    explicit Channel(const Connection& c, Clock::time_point deadline)
        : m_c(c), m_ports(Ports()), m_deadline(deadline)
    {
    }

    uint8_t Alt() { return m_ports.In8(m_c.altPort); }
    uint8_t Reg(uint16_t off) { return m_ports.In8(uint16_t(m_c.basePort + off)); }
    void SetReg(uint16_t off, uint8_t v) { m_ports.Out8(uint16_t(m_c.basePort + off), v); }
    void SetControl(uint8_t v) { m_ports.Out8(m_c.altPort, v); }

    // The 400 ns the drive may take to show a new status.
    void Settle()
    {
        for (int i = 0; i < 4; ++i)
            (void)Alt();
    }

    // Polls the alternate status until (status & mask) == value.  0xFF means
    // nothing drives the bus.
    WaitResult WaitStatus(uint8_t mask, uint8_t value, uint8_t& status,
                          Clock::time_point* when = nullptr,
                          Clock::time_point deadline = Clock::time_point::max())
    {
        if (deadline == Clock::time_point::max())
            deadline = m_deadline;
        for (unsigned spins = 0;; ++spins) {
            status = Alt();
            const Clock::time_point now = Clock::now();
            if (status == 0xFF)
                return WaitResult::NoDevice;
            if ((status & mask) == value) {
                if (when)
                    *when = now;
                return WaitResult::Ok;
            }
            if (now >= deadline)
                return WaitResult::Timeout;
            if (spins < 200)
                CpuRelax();
            else if (spins < 2000)
                std::this_thread::sleep_for(10us);
            else
                std::this_thread::sleep_for(200us);
        }
    }

    uint8_t DeviceBits() const { return uint8_t(kDevObsolete | kDevLba | (m_c.device ? kDevSlave : 0)); }

    const Connection& conn() const { return m_c; }
    Clock::time_point deadline() const { return m_deadline; }
    PortBackend& ports() { return m_ports; }

private:
    Connection m_c;
    PortBackend& m_ports;
    Clock::time_point m_deadline;
};

Outcome FromWait(WaitResult w)
{
    return w == WaitResult::NoDevice ? Outcome::NoDevice : Outcome::Timeout;
}

// Reads the status register (clearing a pending interrupt) and classifies
// the end of a command.
Outcome Finish(Channel& ch, Result& r)
{
    r.status = ch.Reg(kRegStatus);
    if (r.status == 0xFF)
        return Outcome::NoDevice;
    if (r.status & (kStErr | kStDf)) {
        r.error = ch.Reg(kRegError);
        return Outcome::DeviceError;
    }
    return Outcome::Ok;
}

// Waits for the drive to ask for or offer a sector: BSY clear with DRQ, or
// an error.  The first BSY clear is the command's completion time for the
// timing.
Outcome WaitData(Channel& ch, Result& r, Clock::time_point* firstClear)
{
    uint8_t st = 0;
    WaitResult w = ch.WaitStatus(kStBsy, 0, st, firstClear);
    if (w != WaitResult::Ok)
        return FromWait(w);
    if (!(st & (kStDrq | kStErr | kStDf))) {
        // DRQ should come with BSY clear; allow it to come late, within the
        // time-out, before calling it a time-out.
        w = ch.WaitStatus(kStBsy | kStDrq, kStDrq, st);
        if (w != WaitResult::Ok) {
            r.status = st;
            if (w == WaitResult::Timeout && (st & (kStErr | kStDf)) && !(st & kStBsy))
                return Finish(ch, r);
            return FromWait(w);
        }
    }
    if (st & (kStErr | kStDf))
        return Finish(ch, r);
    return Outcome::Ok;
}

void ReadBack(Channel& ch, const Request& rq, Result& r)
{
    Taskfile& t = r.regs;
    t.count = ch.Reg(kRegCount);
    t.lbaLow = ch.Reg(kRegLbaLow);
    t.lbaMid = ch.Reg(kRegLbaMid);
    t.lbaHigh = ch.Reg(kRegLbaHigh);
    t.device = ch.Reg(kRegDevice);
    t.ext = rq.tf.ext;
    if (rq.tf.ext) {
        ch.SetControl(kCtlHob | kCtlNien);
        t.countHob = ch.Reg(kRegCount);
        t.lbaLowHob = ch.Reg(kRegLbaLow);
        t.lbaMidHob = ch.Reg(kRegLbaMid);
        t.lbaHighHob = ch.Reg(kRegLbaHigh);
        ch.SetControl(kCtlNien);
    }
}

Result Run(const Connection& conn, const Request& rq)
{
    Result r;
    if (!conn.initialised) {
        r.outcome = Outcome::NotInitialised;
        return r;
    }
    const bool dataIn = rq.protocol == Protocol::PioIn;
    const bool dataOut = rq.protocol == Protocol::PioOut || rq.protocol == Protocol::PioOutStart;
    if ((dataIn && (!rq.in || rq.sectors == 0)) || (dataOut && (!rq.out || rq.sectors == 0))) {
        r.outcome = Outcome::InvalidArgument;
        return r;
    }

    Channel ch(conn, Clock::now() + std::chrono::seconds(std::max<uint16_t>(conn.timeOutSeconds, 1)));

    // Select the device and wait until it can take a command.
    const uint8_t dev = uint8_t(ch.DeviceBits() | (rq.tf.ext ? 0 : (rq.tf.device & 0x0F)));
    ch.SetReg(kRegDevice, dev);
    ch.Settle();
    uint8_t st = 0;
    WaitResult w = ch.WaitStatus(kStBsy | kStDrq, 0, st);
    r.status = st;
    if (w != WaitResult::Ok) {
        r.outcome = FromWait(w);
        return r;
    }
    if (st == 0x00) {
        // Nothing sets DRDY: no drive behind this device number.
        r.outcome = Outcome::NoDevice;
        return r;
    }
    if (!(st & kStDrdy)) {
        w = ch.WaitStatus(kStBsy | kStDrdy, kStDrdy, st);
        r.status = st;
        if (w != WaitResult::Ok) {
            r.outcome = FromWait(w);
            return r;
        }
    }

    // The taskfile: high-order bytes first for the 48-bit form.
    const Taskfile& t = rq.tf;
    if (t.ext) {
        ch.SetReg(kRegFeature, t.featureHob);
        ch.SetReg(kRegFeature, t.feature);
        ch.SetReg(kRegCount, t.countHob);
        ch.SetReg(kRegCount, t.count);
        ch.SetReg(kRegLbaLow, t.lbaLowHob);
        ch.SetReg(kRegLbaLow, t.lbaLow);
        ch.SetReg(kRegLbaMid, t.lbaMidHob);
        ch.SetReg(kRegLbaMid, t.lbaMid);
        ch.SetReg(kRegLbaHigh, t.lbaHighHob);
        ch.SetReg(kRegLbaHigh, t.lbaHigh);
    } else {
        ch.SetReg(kRegFeature, t.feature);
        ch.SetReg(kRegCount, t.count);
        ch.SetReg(kRegLbaLow, t.lbaLow);
        ch.SetReg(kRegLbaMid, t.lbaMid);
        ch.SetReg(kRegLbaHigh, t.lbaHigh);
    }
    ch.SetReg(kRegDevice, dev);
    ch.SetReg(kRegCommand, t.command);
    const Clock::time_point t0 = Clock::now();
    ch.Settle();

    Clock::time_point t1{};
    Outcome o = Outcome::Ok;
    switch (rq.protocol) {
    case Protocol::NonData: {
        w = ch.WaitStatus(kStBsy, 0, st, &t1);
        o = (w == WaitResult::Ok) ? Finish(ch, r) : FromWait(w);
        break;
    }
    case Protocol::PioIn: {
        for (uint32_t s = 0; s < rq.sectors && o == Outcome::Ok; ++s) {
            o = WaitData(ch, r, s == 0 ? &t1 : nullptr);
            if (o != Outcome::Ok)
                break;
            (void)ch.Reg(kRegStatus);
            ch.ports().In16Block(conn.basePort, reinterpret_cast<uint16_t*>(rq.in + s * kSectorSize),
                                 kSectorSize / 2);
        }
        if (o == Outcome::Ok) {
            ch.Settle();
            w = ch.WaitStatus(kStBsy, 0, st);
            if (w != WaitResult::Ok)
                o = FromWait(w);
            else if (st & kStDrq)
                o = Outcome::ProtocolError;  // the drive has more to give than asked for
            else
                o = Finish(ch, r);
        }
        break;
    }
    case Protocol::PioOut:
    case Protocol::PioOutStart: {
        for (uint32_t s = 0; s < rq.sectors && o == Outcome::Ok; ++s) {
            o = WaitData(ch, r, nullptr);
            if (o != Outcome::Ok)
                break;
            const uint8_t* src = rq.repeatOut ? rq.out : rq.out + s * kSectorSize;
            ch.ports().Out16Block(conn.basePort, reinterpret_cast<const uint16_t*>(src), kSectorSize / 2);
            if (s + 1 == rq.sectors)
                for (uint32_t b = 0; b < rq.trailingCount; ++b)
                    ch.ports().Out8(conn.basePort, rq.trailingBytes[b]);
        }
        if (o != Outcome::Ok)
            break;
        ch.Settle();
        if (rq.protocol == Protocol::PioOutStart) {
            const auto grace = std::min(ch.deadline(), Clock::now() + kEraseStartGrace);
            w = ch.WaitStatus(kStBsy, 0, st, &t1, grace);
            if (w == WaitResult::Timeout && (st & kStBsy)) {
                r.status = st;
                o = Outcome::Ok;  // accepted and running
                break;
            }
            o = (w == WaitResult::Ok) ? Finish(ch, r) : FromWait(w);
        } else {
            w = ch.WaitStatus(kStBsy, 0, st, &t1);
            if (w != WaitResult::Ok)
                o = FromWait(w);
            else if (st & kStDrq)
                o = Outcome::ProtocolError;
            else
                o = Finish(ch, r);
        }
        break;
    }
    }

    if (o == Outcome::Timeout || o == Outcome::NoDevice)
        r.status = ch.Alt();
    if (t1 != Clock::time_point{})
        r.micros = std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count();
    if (o == Outcome::Ok && rq.readBack)
        ReadBack(ch, rq, r);
    r.outcome = o;
    return r;
}

void Remember(const Result& r)
{
    std::lock_guard<std::mutex> l(gStateMutex);
    gLast = r;
    if (r.outcome == Outcome::DeviceError)
        gLastError = r.error;
}

int32_t Bool(const Result& r) { return r.ok() ? 1 : 0; }

int32_t Timed(const Result& r)
{
    if (!r.ok())
        return TimedFailureCode(r.outcome);
    const int64_t us = std::max<int64_t>(r.micros, 0);
    return static_cast<int32_t>(std::min<int64_t>(us, std::numeric_limits<int32_t>::max()));
}

Result Invalid()
{
    Result r;
    r.outcome = Outcome::InvalidArgument;
    return r;
}

// Both addressing forms of the sector commands.
bool RangeFits(int64_t lba, int64_t count, bool lba48)
{
    if (lba < 0 || count < 1 || count > 256)
        return false;
    const uint64_t end = uint64_t(lba) + uint64_t(count);
    return end <= (lba48 ? kMaxLba48 : kMaxLba28);
}

Request SectorCommand(uint8_t cmd28, uint8_t cmd48, int64_t lba, int64_t count, bool lba48)
{
    Request rq;
    rq.tf = lba48 ? Taskfile::Lba48(cmd48, uint64_t(lba), uint32_t(count))
                  : Taskfile::Lba28(cmd28, uint64_t(lba), uint32_t(count));
    return rq;
}

Request SmartRequest(uint8_t feature)
{
    Request rq;
    rq.tf.command = kCmdSmart;
    rq.tf.feature = feature;
    rq.tf.lbaMid = kSmartKeyMid;
    rq.tf.lbaHigh = kSmartKeyHigh;
    return rq;
}

Result ExecuteLocked(const Request& rq)
{
    Connection c;
    {
        std::lock_guard<std::mutex> l(gStateMutex);
        c = gConn;
    }
    Result r = Run(c, rq);
    Remember(r);
    return r;
}

Result ReadNativeMax(bool lba48)
{
    Request rq;
    rq.tf = lba48 ? Taskfile::Lba48(kCmdReadNativeMaxExt, 0, 0) : Taskfile::Lba28(kCmdReadNativeMax, 0, 0);
    rq.readBack = true;
    return ExecuteLocked(rq);
}

uint8_t RandomByte()
{
    static std::mutex m;
    static std::mt19937 gen{std::random_device{}()};
    std::lock_guard<std::mutex> l(m);
    return uint8_t(gen() & 0xFF);
}

}  // namespace

Taskfile Taskfile::Lba28(uint8_t command, uint64_t lba, uint32_t count, uint8_t feature)
{
    Taskfile t;
    t.command = command;
    t.feature = feature;
    t.count = uint8_t(count & 0xFF);  // 256 is written as 0
    t.lbaLow = uint8_t(lba);
    t.lbaMid = uint8_t(lba >> 8);
    t.lbaHigh = uint8_t(lba >> 16);
    t.device = uint8_t(kDevObsolete | kDevLba | ((lba >> 24) & 0x0F));
    return t;
}

Taskfile Taskfile::Lba48(uint8_t command, uint64_t lba, uint32_t count, uint16_t feature)
{
    Taskfile t;
    t.ext = true;
    t.command = command;
    t.feature = uint8_t(feature);
    t.featureHob = uint8_t(feature >> 8);
    t.count = uint8_t(count);        // 65536 would be 0/0
    t.countHob = uint8_t(count >> 8);
    t.lbaLow = uint8_t(lba);
    t.lbaMid = uint8_t(lba >> 8);
    t.lbaHigh = uint8_t(lba >> 16);
    t.lbaLowHob = uint8_t(lba >> 24);
    t.lbaMidHob = uint8_t(lba >> 32);
    t.lbaHighHob = uint8_t(lba >> 40);
    t.device = uint8_t(kDevObsolete | kDevLba);
    return t;
}

uint64_t Taskfile::Lba28Address() const
{
    return uint64_t(lbaLow) | (uint64_t(lbaMid) << 8) | (uint64_t(lbaHigh) << 16) |
           (uint64_t(device & 0x0F) << 24);
}

uint64_t Taskfile::Lba48Address() const
{
    return uint64_t(lbaLow) | (uint64_t(lbaMid) << 8) | (uint64_t(lbaHigh) << 16) |
           (uint64_t(lbaLowHob) << 24) | (uint64_t(lbaMidHob) << 32) | (uint64_t(lbaHighHob) << 40);
}

const char* OutcomeName(Outcome o)
{
    switch (o) {
    case Outcome::Ok: return "ok";
    case Outcome::DeviceError: return "device error";
    case Outcome::Timeout: return "time-out";
    case Outcome::NoDevice: return "no device";
    case Outcome::ProtocolError: return "protocol error";
    case Outcome::NotInitialised: return "not initialised";
    case Outcome::InvalidArgument: return "invalid argument";
    }
    return "?";
}

int32_t TimedFailureCode(Outcome o)
{
    switch (o) {
    case Outcome::Ok: return 0;
    case Outcome::DeviceError: return -1;
    case Outcome::Timeout: return -2;
    case Outcome::NoDevice: return -3;
    case Outcome::ProtocolError: return -4;
    case Outcome::NotInitialised: return -5;
    case Outcome::InvalidArgument: return -6;
    }
    return -1;
}

Result Execute(const Request& request)
{
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    return ExecuteLocked(request);
}

Result LastResult()
{
    std::lock_guard<std::mutex> l(gStateMutex);
    return gLast;
}

uint8_t LastErrorRegister()
{
    std::lock_guard<std::mutex> l(gStateMutex);
    return gLastError;
}

Connection CurrentConnection()
{
    std::lock_guard<std::mutex> l(gStateMutex);
    return gConn;
}

}  // namespace ata

using namespace ata;

void InitDLL(uint16_t basePort, uint16_t altPort, uint8_t device, uint16_t timeOutSeconds,
             int64_t counterFrequency, MonitorControl* monitorThread)
{
    std::lock_guard<std::mutex> l(gStateMutex);
    gConn.basePort = basePort;
    gConn.altPort = altPort;
    gConn.device = device ? 1 : 0;
    gConn.timeOutSeconds = timeOutSeconds;
    gConn.counterFrequency = counterFrequency;
    gConn.monitor = monitorThread;
    gConn.initialised = true;
    gLast = Result{};
    gLastError = 0;
}

int32_t SoftReset()
{
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    const Connection c = CurrentConnection();
    Result r;
    if (!c.initialised) {
        r.outcome = Outcome::NotInitialised;
        Remember(r);
        return 0;
    }
    Channel ch(c, Clock::now() + std::chrono::seconds(std::max<uint16_t>(c.timeOutSeconds, 1)));
    ch.SetControl(kCtlSrst | kCtlNien);
    std::this_thread::sleep_for(kSrstHold);
    ch.SetControl(kCtlNien);
    std::this_thread::sleep_for(kSrstSettle);
    uint8_t st = 0;
    WaitResult w = ch.WaitStatus(kStBsy, 0, st);
    if (w == WaitResult::Ok) {
        // The reset selects device 0; select ours again.
        ch.SetReg(kRegDevice, ch.DeviceBits());
        ch.Settle();
        w = ch.WaitStatus(kStBsy, 0, st);
    }
    r.status = st;
    if (w != WaitResult::Ok)
        r.outcome = FromWait(w);
    else
        r.outcome = (st == 0x00) ? Outcome::NoDevice : Outcome::Ok;
    Remember(r);
    return Bool(r);
}

int32_t IdentifyDevice(uint8_t* buffer512)
{
    if (!buffer512)
        return 0;
    IdentifyBlock block{};
    Request rq;
    rq.tf.command = kCmdIdentify;
    rq.tf.device = kDevObsolete | kDevLba;
    rq.protocol = Protocol::PioIn;
    rq.in = block.Bytes();
    rq.sectors = 1;
    const Result r = Execute(rq);
    if (!r.ok())
        return 0;
    uint8_t* b = block.Bytes();
    SwapTextField(b, kSerialField);
    SwapTextField(b, kFirmwareField);
    SwapTextField(b, kModelField);
    std::memcpy(buffer512, b, kSectorSize);
    return 1;
}

int32_t SetSMARTEnabled(uint8_t enable)
{
    return Bool(Execute(SmartRequest(enable ? kSmartEnable : kSmartDisable)));
}

static int32_t SmartRead(uint8_t feature, uint8_t* buffer512)
{
    if (!buffer512)
        return 0;
    uint8_t tmp[kSectorSize];
    Request rq = SmartRequest(feature);
    rq.tf.count = 1;
    rq.protocol = Protocol::PioIn;
    rq.in = tmp;
    rq.sectors = 1;
    const Result r = Execute(rq);
    if (!r.ok())
        return 0;
    std::memcpy(buffer512, tmp, kSectorSize);
    return 1;
}

int32_t GetSMARTAttributes(uint8_t* buffer512) { return SmartRead(kSmartReadData, buffer512); }
int32_t GetSMARTThresholds(uint8_t* buffer512) { return SmartRead(kSmartReadThresholds, buffer512); }

int32_t GetMaxHPA(int64_t* nativeMaxAddress, uint8_t lba48)
{
    if (!nativeMaxAddress)
        return 0;
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    const Result r = ReadNativeMax(lba48 != 0);
    if (!r.ok())
        return 0;
    *nativeMaxAddress = int64_t(lba48 ? r.regs.Lba48Address() : r.regs.Lba28Address());
    return 1;
}

int32_t SetMaxHPA(int64_t newMaxAddress, uint8_t lba48)
{
    const bool ext = lba48 != 0;
    if (newMaxAddress < 0 || uint64_t(newMaxAddress) >= (ext ? kMaxLba48 : kMaxLba28)) {
        Remember(Invalid());
        return 0;
    }
    // SET MAX must directly follow READ NATIVE MAX: keep both under one lock.
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    Result r = ReadNativeMax(ext);
    if (!r.ok())
        return 0;
    Request rq;
    // Count bit 0 (value volatile) set: the new maximum survives power-off.
    rq.tf = ext ? Taskfile::Lba48(kCmdSetMaxExt, uint64_t(newMaxAddress), 1)
                : Taskfile::Lba28(kCmdSetMax, uint64_t(newMaxAddress), 1);
    return Bool(ExecuteLocked(rq));
}

int32_t SecurityAction(const char* password, uint8_t type, uint8_t level, uint8_t command)
{
    Request rq;
    rq.tf.command = command;
    rq.tf.device = kDevObsolete | kDevLba;
    SecurityBlock block{};
    switch (command) {
    case kCmdSecErasePrepare:
    case kCmdSecFreezeLock:
        rq.protocol = Protocol::NonData;
        break;
    case kCmdSecSetPassword:
    case kCmdSecUnlock:
    case kCmdSecDisablePassword:
    case kCmdSecEraseUnit: {
        block.control = uint16_t((type ? 0x0001 : 0) |
                                 (command == kCmdSecSetPassword && level ? 0x0100 : 0));
        if (password)
            std::memcpy(block.password, password, strnlen(password, sizeof block.password));
        rq.protocol = command == kCmdSecEraseUnit ? Protocol::PioOutStart : Protocol::PioOut;
        rq.out = reinterpret_cast<const uint8_t*>(&block);
        rq.sectors = 1;
        break;
    }
    default:
        Remember(Invalid());
        return 0;
    }
    const int32_t ok = Bool(Execute(rq));
    std::memset(&block, 0, sizeof block);  // do not leave the password lying around
    return ok;
}

int32_t WaitReady()
{
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    const Connection c = CurrentConnection();
    if (!c.initialised)
        return 255;
    const uint8_t st = Ports().In8(c.altPort);
    if (st == 0xFF || st == 0x00)
        return 255;
    if (st & kStBsy)
        return 1;
    if (st & (kStErr | kStDf)) {
        Result r = LastResult();
        r.outcome = Outcome::DeviceError;
        r.status = st;
        r.error = Ports().In8(uint16_t(c.basePort + kRegError));
        Remember(r);
        return 255;
    }
    return 0;
}

int32_t ERR()
{
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    const Result last = LastResult();
    if (!last.ok())
        return 1;
    const Connection c = CurrentConnection();
    if (!c.initialised)
        return 1;
    const uint8_t st = Ports().In8(c.altPort);
    return (!(st & kStBsy) && (st & (kStErr | kStDf))) ? 1 : 0;
}

int32_t VerifySectors(int64_t lba, int64_t count, uint8_t lba48)
{
    if (!RangeFits(lba, count, lba48 != 0)) {
        Remember(Invalid());
        return TimedFailureCode(Outcome::InvalidArgument);
    }
    return Timed(Execute(SectorCommand(kCmdVerify, kCmdVerifyExt, lba, count, lba48 != 0)));
}

int32_t SeekLBA(int64_t lba)
{
    if (lba < 0 || uint64_t(lba) >= kMaxLba28) {
        Remember(Invalid());
        return TimedFailureCode(Outcome::InvalidArgument);
    }
    Request rq;
    rq.tf = Taskfile::Lba28(kCmdSeek, uint64_t(lba), 0);
    return Timed(Execute(rq));
}

int32_t MakeSoftBad(int64_t lba)
{
    if (!RangeFits(lba, 1, false)) {
        Remember(Invalid());
        return 0;
    }
    // WRITE LONG with an ECC that does not match the data: the sector then
    // fails every read and verify until it is written normally again.
    static const uint8_t kZeros[kSectorSize] = {};
    static const uint8_t kBadEcc[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    Request rq = SectorCommand(kCmdWriteLong, kCmdWriteLong, lba, 1, false);
    rq.protocol = Protocol::PioOut;
    rq.out = kZeros;
    rq.sectors = 1;
    rq.trailingBytes = kBadEcc;
    rq.trailingCount = sizeof kBadEcc;
    return Bool(Execute(rq));
}

int32_t EraseSector(int64_t lba, int64_t count, uint8_t lba48, uint8_t randomFill, uint8_t fillByte)
{
    if (!RangeFits(lba, count, lba48 != 0)) {
        Remember(Invalid());
        return 0;
    }
    uint8_t sector[kSectorSize];
    // A random filler is one fresh random byte per command.
    std::memset(sector, randomFill ? RandomByte() : fillByte, sizeof sector);
    Request rq = SectorCommand(kCmdWriteSectors, kCmdWriteSectorsExt, lba, count, lba48 != 0);
    rq.protocol = Protocol::PioOut;
    rq.out = sector;
    rq.repeatOut = true;
    rq.sectors = uint32_t(count);
    return Bool(Execute(rq));
}

void MonitorPause()
{
    const Connection c = CurrentConnection();
    if (c.monitor)
        c.monitor->Pause();
}

void MonitorContinue()
{
    const Connection c = CurrentConnection();
    if (c.monitor)
        c.monitor->Resume();
}

void ClearErrorReg()
{
    std::lock_guard<std::mutex> l(gStateMutex);
    gLastError = 0;
}

void SetErrorReg(uint8_t value)
{
    std::lock_guard<std::mutex> l(gStateMutex);
    gLastError = value;
}
