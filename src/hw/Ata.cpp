#include "hw/Ata.h"

#include "common/MonitorControl.h"
#include "hw/AtaDefs.h"
#include "hw/AtaPort.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>
#include <vector>

namespace ata {

namespace {

std::mutex gCommandMutex;  // one command at a time on the channel
std::mutex gStateMutex;    // the connection and the last result
Connection gConn;
Result gLast;
uint8_t gLastError = 0;
// Under gCommandMutex: a command was left running (SECURITY ERASE UNIT), and
// the drive's WRITE LONG ECC length once known (0: not yet).
bool gRunning = false;
uint16_t gEccBytes = 0;

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
    Result r = port::Command(c, rq);
    gRunning = r.ok() && (r.status & kStBsy);
    Remember(r);
    return r;
}

Request IdentifyRequest(uint8_t* block512)
{
    Request rq;
    rq.tf.command = kCmdIdentify;
    rq.tf.device = kDevObsolete | kDevLba;
    rq.protocol = Protocol::PioIn;
    rq.in = block512;
    rq.sectors = 1;
    return rq;
}

// WRITE LONG's ECC length: identify word 22 where it holds one.
uint16_t EccBytesLocked()
{
    if (gEccBytes)
        return gEccBytes;
    IdentifyBlock b{};
    if (!ExecuteLocked(IdentifyRequest(b.Bytes())).ok())
        return kUsualEccBytes;
    const uint16_t w22 = b.Word(22);
    gEccBytes = (w22 >= 1 && w22 <= kMaxEccBytes) ? w22 : kUsualEccBytes;
    return gEccBytes;
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
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    Connection c;
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
        c = gConn;
    }
    gRunning = false;
    gEccBytes = 0;
    port::MaskInterrupts(c);
}

int32_t SoftReset()
{
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    const Result r = port::Reset(CurrentConnection());
    gRunning = false;
    Remember(r);
    return Bool(r);
}

int32_t IdentifyDevice(uint8_t* buffer512)
{
    if (!buffer512)
        return 0;
    IdentifyBlock block{};
    const Result r = Execute(IdentifyRequest(block.Bytes()));
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
        // Control word: bit 0 the identifier (master), bit 8 the level
        // (maximum) of SET PASSWORD, bit 1 the enhanced mode of ERASE UNIT.
        block.control = uint16_t((type ? 0x0001 : 0) |
                                 (command == kCmdSecSetPassword && level ? 0x0100 : 0) |
                                 (command == kCmdSecEraseUnit && level ? 0x0002 : 0));
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
    Result r = LastResult();
    const int32_t state = port::Ready(c, gRunning, r);
    if (state == 255)
        Remember(r);
    return state;
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
    return port::ShowsError(c) ? 1 : 0;
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
    std::lock_guard<std::mutex> cmd(gCommandMutex);
    std::vector<uint8_t> ecc(EccBytesLocked());
    for (size_t i = 0; i < ecc.size(); ++i)
        ecc[i] = kBadEcc[i % sizeof kBadEcc];
    Request rq = SectorCommand(kCmdWriteLong, kCmdWriteLong, lba, 1, false);
    rq.protocol = Protocol::PioOut;
    rq.out = kZeros;
    rq.sectors = 1;
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
