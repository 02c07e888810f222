#include "hw/Ata.h"

#include "common/MonitorControl.h"
#include "hw/AtaDefs.h"
#include "hw/AtaPort.h"
#include "hw/InUseGuard.h"
#include "hw/Transport.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>
#include <vector>

namespace ata {

namespace {

std::mutex gCommandMutex;  // one command at a time on the connection
std::mutex gStateMutex;    // the connection and the last result
// Written under both mutexes; read under either.
std::shared_ptr<Transport> gTransport;
Connection gConn;
Result gLast;
uint8_t gLastError = 0;
// Under gCommandMutex: the drive's WRITE LONG ECC length once known (0: not
// yet), and its security erase estimates (identify words 89 and 90) from the
// last identify.
uint16_t gEccBytes = 0;
uint16_t gEraseWord[2] = {0, 0};
// Under gCommandMutex: the guard of a drive the system may be using, asked
// before every command that writes or changes the drive (InUseGuard.h).
std::shared_ptr<WriteGuard> gGuard;

// The ECC length identify word 22 may give; 4 is the usual one.
constexpr uint16_t kMaxEccBytes = 64;
constexpr uint16_t kUsualEccBytes = 4;

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

Taskfile SectorTaskfile(uint8_t cmd28, uint8_t cmd48, int64_t lba, int64_t count, bool lba48)
{
    return lba48 ? Taskfile::Lba48(cmd48, uint64_t(lba), uint32_t(count))
                 : Taskfile::Lba28(cmd28, uint64_t(lba), uint32_t(count));
}

Taskfile SmartTaskfile(uint8_t feature)
{
    Taskfile tf;
    tf.command = kCmdSmart;
    tf.feature = feature;
    tf.lbaMid = kSmartKeyMid;
    tf.lbaHigh = kSmartKeyHigh;
    return tf;
}

Result NotConnected()
{
    Result r;
    r.outcome = Outcome::NotInitialised;
    return r;
}

Result ExecuteLocked(const Request& rq)
{
    Result r = gTransport ? GuardCommand(gGuard.get(), rq) : NotConnected();
    if (r.ok())
        r = gTransport->Execute(rq);
    Remember(r);
    return r;
}

Taskfile IdentifyTaskfile()
{
    Taskfile tf;
    tf.command = kCmdIdentify;
    tf.device = kDevObsolete | kDevLba;
    return tf;
}

// An identify; the erase estimates are kept for SECURITY ERASE UNIT.
Result IdentifyLocked(IdentifyBlock& b)
{
    const Result r = ExecuteLocked(Request::In(IdentifyTaskfile(), b.Bytes(), 1));
    if (r.ok()) {
        gEraseWord[0] = b.Word(89);
        gEraseWord[1] = b.Word(90);
    }
    return r;
}

// WRITE LONG's ECC length: identify word 22 where it holds one.
uint16_t EccBytesLocked()
{
    if (gEccBytes)
        return gEccBytes;
    IdentifyBlock b{};
    if (!IdentifyLocked(b).ok())
        return kUsualEccBytes;
    const uint16_t w22 = b.Word(22);
    gEccBytes = (w22 >= 1 && w22 <= kMaxEccBytes) ? w22 : kUsualEccBytes;
    return gEccBytes;
}

Result ReadNativeMax(bool lba48)
{
    Request rq = Request::NonData(lba48 ? Taskfile::Lba48(kCmdReadNativeMaxExt, 0, 0)
                                        : Taskfile::Lba28(kCmdReadNativeMax, 0, 0));
    rq.readBack = true;
    return ExecuteLocked(rq);
}

// The count of a data command's taskfile: the sectors it moves (256 in the
// 28-bit form and 65536 in the 48-bit form are written as 0).
void SetCount(Taskfile& tf, uint32_t sectors)
{
    tf.count = uint8_t(sectors);
    tf.countHob = tf.ext ? uint8_t(sectors >> 8) : 0;
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

Request Request::NonData(const Taskfile& tf)
{
    Request rq;
    rq.tf = tf;
    return rq;
}

Request Request::In(const Taskfile& tf, uint8_t* buffer, uint32_t sectors)
{
    Request rq;
    rq.tf = tf;
    SetCount(rq.tf, sectors);
    rq.protocol = Protocol::PioIn;
    rq.in = buffer;
    rq.sectors = sectors;
    return rq;
}

Request Request::Out(const Taskfile& tf, const uint8_t* buffer, uint32_t sectors, bool repeat)
{
    Request rq;
    rq.tf = tf;
    SetCount(rq.tf, sectors);
    rq.protocol = Protocol::PioOut;
    rq.out = buffer;
    rq.sectors = sectors;
    rq.repeatOut = repeat;
    return rq;
}

uint32_t EraseTimeoutSeconds(uint16_t word)
{
    constexpr uint32_t kHour = 3600, kWeek = 7 * 24 * kHour;
    uint32_t minutes = 0;
    if (word & 0x8000)
        minutes = (word & 0x7FFF) == 0x7FFF ? 0 : uint32_t(word & 0x7FFF) * 2;  // extended format
    else if ((word & 0xFF) != 0xFF)
        minutes = uint32_t(word & 0xFF) * 2;
    if (minutes == 0)
        return kWeek;
    return std::max(kHour, 2 * 60 * minutes);
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
    case Outcome::Refused: return "refused by the kernel";
    case Outcome::InUse: return "the drive is in use by the system";
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
    case Outcome::Refused: return -7;
    case Outcome::InUse: return -8;
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

void Connect(std::shared_ptr<Transport> transport, uint16_t timeOutSeconds, int64_t counterFrequency,
             MonitorControl* monitor)
{
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    if (transport)
        transport->Configure(timeOutSeconds);
    Connection c;
    if (transport) {
        const Address a = transport->address();
        c.basePort = a.basePort;
        c.altPort = a.altPort;
        c.device = a.device;
        c.path = a.path;
        c.initialised = true;
    }
    c.timeOutSeconds = timeOutSeconds;
    c.counterFrequency = counterFrequency;
    c.monitor = monitor;
    // The same drive keeps its guard, and what the guard holds.
    if (transport != gTransport)
        gGuard = transport ? MakeWriteGuard(transport->address()) : nullptr;
    {
        std::lock_guard<std::mutex> l(gStateMutex);
        gTransport = std::move(transport);
        gConn = c;
        gLast = Result{};
        gLastError = 0;
    }
    gEccBytes = 0;
    gEraseWord[0] = gEraseWord[1] = 0;
}

std::shared_ptr<Transport> CurrentTransport()
{
    std::lock_guard<std::mutex> l(gStateMutex);
    return gTransport;
}

uint8_t SampleRegister(Register r)
{
    const std::shared_ptr<Transport> t = CurrentTransport();
    return t ? t->Sample(r) : 0;
}

void ForgetMonitor(MonitorControl* monitor)
{
    std::lock_guard<std::mutex> l(gStateMutex);
    if (gConn.monitor == monitor)
        gConn.monitor = nullptr;
}

}  // namespace ata

using namespace ata;

void InitDLL(uint16_t basePort, uint16_t altPort, uint8_t device, uint16_t timeOutSeconds,
             int64_t counterFrequency, MonitorControl* monitorThread)
{
    std::shared_ptr<Transport> t = CurrentTransport();
    // A pass-through drive has no ports: base port 0 keeps it.
    if (!(basePort == 0 && t && !t->address().path.empty()))
        t = std::make_shared<PortTransport>(basePort, altPort, device);
    Connect(std::move(t), timeOutSeconds, counterFrequency, monitorThread);
}

int32_t SoftReset()
{
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    const Result r = gTransport ? gTransport->Reset() : NotConnected();
    Remember(r);
    return Bool(r);
}

int32_t IdentifyDevice(uint8_t* buffer512)
{
    if (!buffer512)
        return 0;
    IdentifyBlock block{};
    Result r;
    {
        std::lock_guard<std::mutex> cmd(gCommandMutex);
        r = IdentifyLocked(block);
    }
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
    return Bool(Execute(Request::NonData(SmartTaskfile(enable ? kSmartEnable : kSmartDisable))));
}

static int32_t SmartRead(uint8_t feature, uint8_t* buffer512)
{
    if (!buffer512)
        return 0;
    uint8_t tmp[kSectorSize];
    const Result r = Execute(Request::In(SmartTaskfile(feature), tmp, 1));
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
    // Count bit 0 (value volatile) set: the new maximum survives power-off.
    return Bool(ExecuteLocked(Request::NonData(ext ? Taskfile::Lba48(kCmdSetMaxExt, uint64_t(newMaxAddress), 1)
                                                   : Taskfile::Lba28(kCmdSetMax, uint64_t(newMaxAddress), 1))));
}

int32_t SecurityAction(const char* password, uint8_t type, uint8_t level, uint8_t command)
{
    Taskfile tf;
    tf.command = command;
    tf.device = kDevObsolete | kDevLba;
    Request rq;
    SecurityBlock block{};
    switch (command) {
    case kCmdSecErasePrepare:
    case kCmdSecFreezeLock:
        rq = Request::NonData(tf);
        break;
    case kCmdSecSetPassword:
    case kCmdSecUnlock:
    case kCmdSecDisablePassword:
    case kCmdSecEraseUnit: {
        // Control word: bit 0 the identifier (master), bit 8 the level
        // (maximum) of SET PASSWORD, bit 1 the enhanced mode of ERASE UNIT.
        block.control = uint16_t((type ? 0x0001 : 0) |
                                 (command == kCmdSecSetPassword && level ? 0x0100 : 0) |
                                 (command == kCmdSecEraseUnit && level ? 0x0002 : 0));
        if (password)
            std::memcpy(block.password, password, strnlen(password, sizeof block.password));
        rq = Request::Out(tf, reinterpret_cast<const uint8_t*>(&block), 1);
        break;
    }
    default:
        Remember(Invalid());
        return 0;
    }
    int32_t ok = 0;
    {
        std::lock_guard<std::mutex> cmd(gCommandMutex);
        if (command == kCmdSecEraseUnit) {
            // It runs for as long as the drive's estimate says; a transport
            // that waits for its end needs that as the time-out.
            rq.protocol = Protocol::PioOutStart;
            rq.timeoutSeconds = EraseTimeoutSeconds(gEraseWord[level ? 1 : 0]);
        }
        ok = Bool(ExecuteLocked(rq));
    }
    std::memset(&block, 0, sizeof block);  // do not leave the password lying around
    return ok;
}

int32_t WaitReady()
{
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    if (!gTransport)
        return 255;
    Result r = LastResult();
    const int32_t state = gTransport->Ready(r);
    if (state == 255)
        Remember(r);
    return state;
}

int32_t ERR()
{
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    const Result last = LastResult();
    if (!last.ok() || !gTransport)
        return 1;
    return gTransport->ShowsError() ? 1 : 0;
}

int32_t VerifySectors(int64_t lba, int64_t count, uint8_t lba48)
{
    if (!RangeFits(lba, count, lba48 != 0)) {
        Remember(Invalid());
        return TimedFailureCode(Outcome::InvalidArgument);
    }
    return Timed(Execute(Request::NonData(SectorTaskfile(kCmdVerify, kCmdVerifyExt, lba, count, lba48 != 0))));
}

int32_t SeekLBA(int64_t lba)
{
    if (lba < 0 || uint64_t(lba) >= kMaxLba28) {
        Remember(Invalid());
        return TimedFailureCode(Outcome::InvalidArgument);
    }
    return Timed(Execute(Request::NonData(Taskfile::Lba28(kCmdSeek, uint64_t(lba), 0))));
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
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    std::vector<uint8_t> ecc(EccBytesLocked());
    for (size_t i = 0; i < ecc.size(); ++i)
        ecc[i] = kBadEcc[i % sizeof kBadEcc];
    Request rq = Request::Out(Taskfile::Lba28(kCmdWriteLong, uint64_t(lba), 1), kZeros, 1);
    rq.trailingBytes = ecc.data();
    rq.trailingCount = uint32_t(ecc.size());
    return Bool(ExecuteLocked(rq));
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
    return Bool(Execute(Request::Out(SectorTaskfile(kCmdWriteSectors, kCmdWriteSectorsExt, lba, count, lba48 != 0),
                                     sector, uint32_t(count), true)));
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
