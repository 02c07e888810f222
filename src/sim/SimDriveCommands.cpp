// The simulated drive's command table and its one entry point, and the media
// and host protected area commands.
#include "sim/SimDrive.h"

#include "hw/AtaDefs.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace sim {

using namespace ata;

namespace {

constexpr size_t kLogLength = 64;
constexpr double kNonMediaMs = 0.05;
constexpr double kIdnfMs = 2.0;
constexpr auto kFloatTime = std::chrono::milliseconds(1);

}  // namespace

const std::array<Drive::Command, 256>& Drive::Table()
{
    static const std::array<Command, 256> table = [] {
        std::array<Command, 256> t{};
        t[kCmdReadSectors] = {&Drive::CmdRead, kMedia};
        t[kCmdReadSectorsExt] = {&Drive::CmdReadExt, kExt | kMedia};
        t[kCmdReadNativeMaxExt] = {&Drive::CmdReadNativeMaxExt, kExt | kHpa};
        t[kCmdWriteSectors] = {&Drive::CmdWrite, kMedia};
        t[kCmdWriteLong] = {&Drive::CmdWriteLong, kMedia};
        t[kCmdWriteSectorsExt] = {&Drive::CmdWriteExt, kExt | kMedia};
        t[kCmdSetMaxExt] = {&Drive::CmdSetMaxExt, kExt | kHpa | kMedia};
        t[kCmdVerify] = {&Drive::CmdVerify, kMedia};
        t[kCmdVerifyExt] = {&Drive::CmdVerifyExt, kExt | kMedia};
        t[kCmdSeek] = {&Drive::CmdSeek, kMedia};
        t[kCmdSmart] = {&Drive::CmdSmart, kSmart};
        t[kCmdIdentify] = {&Drive::CmdIdentify, 0};
        t[kCmdSecSetPassword] = {&Drive::CmdSecurityBlock, kSecurity};
        t[kCmdSecUnlock] = {&Drive::CmdSecurityBlock, kSecurity};
        t[kCmdSecErasePrepare] = {&Drive::CmdSecurityErasePrepare, kSecurity};
        t[kCmdSecEraseUnit] = {&Drive::CmdSecurityBlock, kSecurity};
        t[kCmdSecFreezeLock] = {&Drive::CmdSecurityFreezeLock, kSecurity};
        t[kCmdSecDisablePassword] = {&Drive::CmdSecurityBlock, kSecurity};
        t[kCmdReadNativeMax] = {&Drive::CmdReadNativeMax, kHpa};
        t[kCmdSetMax] = {&Drive::CmdSetMax, kHpa | kMedia};
        return t;
    }();
    return table;
}

bool Drive::Refused(uint16_t flags) const
{
    return ((flags & kExt) && !m_spec.lba48) || ((flags & kMedia) && m_locked) ||
           ((flags & kHpa) && !m_spec.hpaSupported) || ((flags & kSmart) && m_spec.smart == SmartMode::Unsupported) ||
           ((flags & kSecurity) && !m_spec.security.supported);
}

// The one entry point of every command: it latches the taskfile, sets BSY,
// clears the error register, applies a scripted fault or the table's
// refusals and runs the handler.  A command ends after its modelled time,
// in Done() or Fail(), where CheckRule() checks that ERR is set exactly when
// the error register is not 0.
void Drive::WriteCommand(uint8_t cmd)
{
    if (m_absent || m_stuckStatus)
        return;
    Advance();
    // Busy, in a reset, or a data transfer in progress: the command is not
    // taken (the standard leaves it undefined; QEMU's drive and real ones
    // ignore it).
    if (m_phase != Phase::Idle || Latent())
        return;

    const Command& entry = Table()[cmd];
    Taskfile& t = m_lastTaskfile;
    t.command = cmd;
    t.feature = m_feature[0];
    t.featureHob = m_feature[1];
    t.count = m_count[0];
    t.countHob = m_count[1];
    t.lbaLow = m_lbaLow[0];
    t.lbaLowHob = m_lbaLow[1];
    t.lbaMid = m_lbaMid[0];
    t.lbaMidHob = m_lbaMid[1];
    t.lbaHigh = m_lbaHigh[0];
    t.lbaHighHob = m_lbaHigh[1];
    t.device = m_device;
    t.ext = entry.flags & kExt;
    ++m_commandCount;
    m_log.push_back(cmd);
    if (m_log.size() > kLogLength)
        m_log.pop_front();

    // What the command before this one left for it.
    m_lastNativeMax = std::exchange(m_nativeMaxRead, NativeMaxRead::None);
    m_preparedForErase = std::exchange(m_erasePrepared, false);

    StartLatency();
    m_intrq = false;
    m_floatUntil = {};
    m_scriptedEnd = false;
    m_extraBlock = false;
    m_buffer.clear();
    m_pos = 0;
    // Every command starts with BSY set and the error register cleared.
    m_phase = Phase::Busy;
    m_busyUntil = {};
    m_afterBusy = nullptr;
    m_status = m_busyStatus;
    m_error = 0;

    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->opcode != 0 && it->opcode != cmd)
            continue;
        const Fault f = *it;
        if (it->times > 0 && --it->times == 0)
            m_faults.erase(it);
        if (RunFault(f))
            return;
        break;
    }
    if (!entry.handler || Refused(entry.flags)) {
        AbortSoon();
        return;
    }
    (this->*entry.handler)();
}

// Starts a scripted fault; true when it takes the command's place, false
// when the command runs on with the fault armed.
bool Drive::RunFault(const Fault& f)
{
    m_scriptedEnd = true;
    switch (f.kind) {
    case Fault::Kind::BsyStuck:
        m_phase = Phase::Stuck;
        return true;
    case Fault::Kind::DrqMissing:
        Busy(Ms(kNonMediaMs), [this] {
            m_phase = Phase::Idle;
            m_status = kStDrdy | kStDsc;  // neither DRQ nor ERR: the data never comes
        });
        return true;
    case Fault::Kind::Error: {
        const uint8_t e = f.error;
        Busy(Ms(kNonMediaMs), [this, e] { Fail(e, UINT64_MAX, true); });
        return true;
    }
    case Fault::Kind::DeviceFault: {
        const uint8_t e = f.error;
        Busy(Ms(kNonMediaMs), [this, e] {
            m_phase = Phase::Idle;
            m_error = e;
            m_status = uint8_t(kStDrdy | kStDf | kStDsc | (e ? kStErr : 0));
            RaiseInterrupt();
        });
        return true;
    }
    case Fault::Kind::ExtraDrq:
        m_scriptedEnd = false;
        m_extraBlock = true;
        return false;
    case Fault::Kind::FloatWhileBusy:
        m_scriptedEnd = false;
        m_floatUntil = Clock::now() + kFloatTime;
        return false;
    }
    return false;
}

// ---- media ---------------------------------------------------------------------------

bool Drive::MediaRange(bool ext, uint64_t& lba, uint64_t& count)
{
    lba = ext ? Lba48() : Lba28();
    count = ext ? Count48() : Count28();
    if (lba + count > m_currentMax + 1) {
        // The sectors up to the end are read before the address is missed.
        const uint64_t at = std::max(lba, m_currentMax + 1);
        const double ms = (lba <= m_currentMax ? MediaMs(lba, at - lba) : 0) + Ms(kIdnfMs);
        Busy(ms, [this, at] { Fail(kErIdnf, at); });
        return false;
    }
    uint64_t where = 0;
    uint8_t error = 0;
    double failMs = 0;
    if (FindFailure(lba, count, where, error, failMs)) {
        const double ms = (where > lba ? MediaMs(lba, where - lba) : 0) + Ms(failMs);
        m_head = where + 1;
        // A failing range may report ERR with an error register of 0.
        Busy(ms, [this, error, where] { Fail(error, where, error == 0); });
        return false;
    }
    return true;
}

void Drive::CmdVerify() { Verify(false); }
void Drive::CmdVerifyExt() { Verify(true); }

void Drive::Verify(bool ext)
{
    uint64_t lba = 0, count = 0;
    if (MediaRange(ext, lba, count))
        Busy(MediaMs(lba, count), [this] { Done(); });
}

void Drive::CmdRead() { Read(false); }
void Drive::CmdReadExt() { Read(true); }

void Drive::Read(bool ext)
{
    uint64_t lba = 0, count = 0;
    if (!MediaRange(ext, lba, count))
        return;
    std::vector<uint8_t> data;
    data.reserve(count * kSectorSize);
    for (uint64_t s = lba; s < lba + count; ++s) {
        const DataStore::Sector sec = m_data.Read(s);
        data.insert(data.end(), sec.begin(), sec.end());
    }
    const double ms = MediaMs(lba, count);
    SendData(std::move(data), ms / double(count), ms / double(count));
}

void Drive::CmdWrite() { Write(false); }
void Drive::CmdWriteExt() { Write(true); }

void Drive::Write(bool ext)
{
    const uint64_t lba = ext ? Lba48() : Lba28();
    const uint64_t count = ext ? Count48() : Count28();
    if (lba + count > m_currentMax + 1) {
        Busy(Ms(kIdnfMs), [this, lba] { Fail(kErIdnf, lba); });
        return;
    }
    // Writing needs no readable sector: defects are remapped by the write.
    const double perSector = MediaMs(lba, count) / double(count);
    ReceiveData(uint32_t(count), 0,
                [this, lba, perSector](uint32_t i, const uint8_t* data, const uint8_t*) {
                    m_data.Write(lba + i, data);
                    if (m_state.softBad.erase(lba + i))
                        StateChanged();
                    return perSector;
                },
                nullptr);
}

void Drive::CmdWriteLong()
{
    const uint64_t lba = Lba28();
    if (Count28() != 1 || lba > m_currentMax) {
        AbortSoon();
        return;
    }
    ReceiveData(1, m_spec.eccBytes,
                [this, lba](uint32_t, const uint8_t* data, const uint8_t*) {
                    // The ECC bytes never match what we write: the sector
                    // becomes unreadable until it is written normally.
                    m_data.Write(lba, data);
                    m_state.softBad.insert(lba);
                    StateChanged();
                    return MediaMs(lba, 1) + Ms(8.3);
                },
                nullptr);
}

void Drive::CmdSeek()
{
    const uint64_t lba = Lba28();
    if (lba > m_currentMax) {
        Busy(Ms(kIdnfMs), [this, lba] { Fail(kErIdnf, lba); });
        return;
    }
    double ms = MediaMs(lba, 0);
    if (ms == 0)
        ms = Ms(0.1);
    Busy(ms, [this] { Done(); });
}

// ---- host protected area -------------------------------------------------------------

void Drive::CmdReadNativeMax() { ReadNativeMax(false); }
void Drive::CmdReadNativeMaxExt() { ReadNativeMax(true); }

void Drive::ReadNativeMax(bool ext)
{
    Busy(Ms(kNonMediaMs), [this, ext] {
        const uint64_t native = ext ? NativeMaxAddress() : std::min<uint64_t>(NativeMaxAddress(), kMaxLba28 - 1);
        SetResultLba(native, ext);
        Done();
        m_nativeMaxRead = ext ? NativeMaxRead::Lba48 : NativeMaxRead::Lba28;
    });
}

void Drive::CmdSetMax() { SetMax(false); }
void Drive::CmdSetMaxExt() { SetMax(true); }

void Drive::SetMax(bool ext)
{
    const bool keep = (m_count[0] & 0x01) != 0;
    // SET MAX must directly follow a READ NATIVE MAX of the same form; a
    // drive takes one non-volatile SET MAX per power cycle.
    const NativeMaxRead form = ext ? NativeMaxRead::Lba48 : NativeMaxRead::Lba28;
    if (m_lastNativeMax != form || m_frozen || m_feature[0] != 0 || (keep && m_setMaxKept)) {
        AbortSoon();
        return;
    }
    const uint64_t lba = ext ? Lba48() : Lba28();
    Busy(Ms(kNonMediaMs), [this, lba, keep, ext] {
        if (lba > NativeMaxAddress()) {
            Fail(kErIdnf);
            return;
        }
        m_currentMax = lba;
        if (keep) {
            m_setMaxKept = true;
            m_state.maxAddress = lba;
            StateChanged();
        }
        SetResultLba(lba, ext);
        Done();
    });
}

// ---- helpers -------------------------------------------------------------------------

uint64_t Drive::Lba28() const
{
    return uint64_t(m_lbaLow[0]) | (uint64_t(m_lbaMid[0]) << 8) | (uint64_t(m_lbaHigh[0]) << 16) |
           (uint64_t(m_device & 0x0F) << 24);
}

uint64_t Drive::Lba48() const
{
    return uint64_t(m_lbaLow[0]) | (uint64_t(m_lbaMid[0]) << 8) | (uint64_t(m_lbaHigh[0]) << 16) |
           (uint64_t(m_lbaLow[1]) << 24) | (uint64_t(m_lbaMid[1]) << 32) | (uint64_t(m_lbaHigh[1]) << 40);
}

// A count of 0 stands for 256 sectors (65536 in the 48-bit form).
uint32_t Drive::Count28() const { return m_count[0] ? m_count[0] : 256; }

uint32_t Drive::Count48() const
{
    const uint32_t c = uint32_t(m_count[0]) | (uint32_t(m_count[1]) << 8);
    return c ? c : 65536;
}

void Drive::SetResultLba(uint64_t lba, bool ext)
{
    m_lbaLow[0] = uint8_t(lba);
    m_lbaMid[0] = uint8_t(lba >> 8);
    m_lbaHigh[0] = uint8_t(lba >> 16);
    if (ext) {
        m_lbaLow[1] = uint8_t(lba >> 24);
        m_lbaMid[1] = uint8_t(lba >> 32);
        m_lbaHigh[1] = uint8_t(lba >> 40);
    } else {
        m_device = uint8_t((m_device & 0xF0) | ((lba >> 24) & 0x0F));
    }
}

double Drive::ZoneMs(uint64_t lba) const
{
    if (m_spec.zones.empty())
        return 1.0;
    const double f = double(lba) / double(m_spec.sectors);
    for (const Zone& z : m_spec.zones)
        if (f < z.endFraction)
            return z.msPerBlock;
    return m_spec.zones.back().msPerBlock;
}

double Drive::MediaMs(uint64_t lba, uint64_t count)
{
    double ms = 0;
    if (lba != m_head) {
        const double dist = double(lba > m_head ? lba - m_head : m_head - lba) / double(m_spec.sectors);
        ms += m_spec.trackToTrackMs + (m_spec.fullStrokeMs - m_spec.trackToTrackMs) * std::sqrt(dist);
        // Rotational latency: a deterministic share of one revolution.
        const double rev = 60000.0 / std::max(1.0, m_spec.rpm);
        ms += rev * double((lba * 2654435761ULL) % 1000) / 1000.0;
    }
    ms += ZoneMs(lba) * double(count) / 256.0;
    const uint64_t end = lba + count;
    for (const SlowRange& s : m_spec.slow)
        if (s.first < end && lba < s.first + s.count)
            ms += s.extraMs;
    m_head = end;
    return Ms(ms);
}

bool Drive::FindFailure(uint64_t lba, uint64_t count, uint64_t& where, uint8_t& error, double& ms) const
{
    const uint64_t end = lba + count;
    bool found = false;
    for (const FailRange& f : m_spec.failing) {
        if (f.first < end && lba < f.first + f.count) {
            const uint64_t at = std::max(lba, f.first);
            if (!found || at < where) {
                where = at;
                error = f.error;
                ms = f.ms;
                found = true;
            }
        }
    }
    auto it = m_state.softBad.lower_bound(lba);
    if (it != m_state.softBad.end() && *it < end && (!found || *it < where)) {
        where = *it;
        error = kErUnc;
        ms = 30;
        found = true;
    }
    return found;
}

}  // namespace sim
