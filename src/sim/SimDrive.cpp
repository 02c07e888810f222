#include "sim/SimDrive.h"

#include "hw/AtaDefs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sim {

using namespace ata;

namespace {

constexpr uint8_t kReady = kStDrdy | kStDsc;
constexpr uint8_t kBusyStatus = kStBsy | kStDrdy | kStDsc;
constexpr size_t kLogLength = 64;
constexpr double kResetMs = 1.0;
constexpr double kNonMediaMs = 0.05;

std::vector<SmartAttributeSpec> StandardAttributes()
{
    return {
        {1, 0x000F, 100, 100, 6, 0},
        {3, 0x0003, 97, 97, 0, 0},
        {4, 0x0032, 100, 100, 20, 1842},
        {5, 0x0033, 100, 100, 36, 0},
        {7, 0x000F, 86, 60, 30, 0},
        {9, 0x0032, 91, 91, 0, 8123},
        {10, 0x0013, 100, 100, 97, 0},
        {12, 0x0032, 100, 100, 20, 1790},
        {194, 0x0022, 64, 45, 0, 0},
        {197, 0x0012, 100, 100, 0, 0},
        {198, 0x0010, 100, 100, 0, 0},
        {199, 0x003E, 200, 200, 0, 0},
    };
}

void PutText(std::vector<uint8_t>& id, TextField f, const std::string& text)
{
    // ATA strings: blank padded, two characters a word, the first in the
    // high byte.
    for (int i = 0; i < f.words * 2; ++i) {
        const char c = i < int(text.size()) ? text[i] : ' ';
        const int word = f.firstWord + i / 2;
        id[2 * word + ((i % 2) ? 0 : 1)] = uint8_t(c);
    }
}

void PutWord(std::vector<uint8_t>& id, int word, uint16_t v)
{
    id[2 * word] = uint8_t(v);
    id[2 * word + 1] = uint8_t(v >> 8);
}

std::array<uint8_t, 32> PasswordBytes(const std::string& s)
{
    std::array<uint8_t, 32> a{};
    std::memcpy(a.data(), s.data(), std::min<size_t>(s.size(), 32));
    return a;
}

}  // namespace

Drive::Drive(const DriveSpec& spec) : m_spec(spec), m_born(Clock::now())
{
    if (m_spec.sectors == 0)
        m_spec.sectors = 1;
    m_attributes = spec.attributes.empty() ? StandardAttributes() : spec.attributes;
    m_state.smartEnabled = spec.smart == SmartMode::On;
    m_state.securityEnabled = spec.security.supported && !spec.security.userPassword.empty();
    m_state.levelMax = spec.security.levelMax;
    m_state.user = PasswordBytes(spec.security.userPassword);
    m_state.master = PasswordBytes(spec.security.masterPassword);
    m_state.maxAddress = (spec.hpaSectors && spec.hpaSectors < spec.sectors ? spec.hpaSectors : spec.sectors) - 1;
    m_state.softBad.insert(spec.softBad.begin(), spec.softBad.end());
    PowerCycle();
}

void Drive::LoadState(const PersistentState& s)
{
    m_state = s;
    if (m_state.maxAddress > NativeMaxAddress())
        m_state.maxAddress = NativeMaxAddress();
    PowerCycle();
}

void Drive::PowerCycle()
{
    m_phase = Phase::Idle;
    m_afterBusy = nullptr;
    m_status = kReady;
    m_error = 0x01;
    m_currentMax = m_state.maxAddress;
    m_locked = m_state.securityEnabled;
    m_frozen = m_spec.security.frozen;
    m_attempts = 0;
    m_expired = false;
    m_erasePrepared = false;
    m_eraseRunning = false;
    m_nativeMaxJustRead = false;
}

void Drive::StateChanged()
{
    if (m_onStateChange)
        m_onStateChange();
}

int Drive::Temperature() const
{
    if (m_fixedTemperature)
        return *m_fixedTemperature;
    const double t = std::chrono::duration<double>(Clock::now() - m_born).count();
    const double v = m_spec.temperature + 3.0 * std::sin(t / 40.0) + 1.5 * std::sin(t / 7.0);
    return int(std::lround(v));
}

// ---- bus side ---------------------------------------------------------------

void Drive::Advance()
{
    if (m_phase != Phase::Busy)
        return;
    const Clock::time_point now = Clock::now();
    while (m_phase == Phase::Busy && now >= m_busyUntil) {
        m_phase = Phase::Idle;
        auto f = std::move(m_afterBusy);
        m_afterBusy = nullptr;
        if (f)
            f();
    }
}

void Drive::Busy(double ms, std::function<void()> then)
{
    m_phase = Phase::Busy;
    m_status = kBusyStatus;
    m_busyUntil = Clock::now() + std::chrono::nanoseconds(int64_t(std::max(0.0, ms) * 1e6));
    m_afterBusy = std::move(then);
    Advance();
}

void Drive::Done()
{
    m_phase = Phase::Idle;
    m_error = 0;
    m_status = kReady;
}

void Drive::Fail(uint8_t error, uint64_t errorLba)
{
    // An error byte of 0 still means the command failed: ERR is set.
    m_phase = Phase::Idle;
    m_error = error;
    m_status = kReady | kStErr;
    if (errorLba != UINT64_MAX)
        SetResultLba(errorLba, m_lastTaskfile.ext);
}

void Drive::LatchRegister(uint8_t reg, uint8_t value)
{
    uint8_t* r = nullptr;
    switch (reg) {
    case kRegFeature: r = m_feature; break;
    case kRegCount: r = m_count; break;
    case kRegLbaLow: r = m_lbaLow; break;
    case kRegLbaMid: r = m_lbaMid; break;
    case kRegLbaHigh: r = m_lbaHigh; break;
    default: return;
    }
    r[1] = r[0];
    r[0] = value;
}

void Drive::LatchDevice(uint8_t value) { m_device = value; }

uint8_t Drive::ReadRegister(uint8_t reg, bool hob)
{
    if (m_absent)
        return 0xFF;
    Advance();
    if (m_phase == Phase::Busy || m_phase == Phase::Stuck || m_phase == Phase::Reset)
        return kBusyStatus;  // registers are not valid while BSY is set
    const int i = hob ? 1 : 0;
    switch (reg) {
    case kRegError: return m_error;
    case kRegCount: return m_count[i];
    case kRegLbaLow: return m_lbaLow[i];
    case kRegLbaMid: return m_lbaMid[i];
    case kRegLbaHigh: return m_lbaHigh[i];
    case kRegDevice: return m_device;
    default: return 0xFF;
    }
}

uint8_t Drive::Status()
{
    if (m_absent)
        return 0xFF;
    Advance();
    switch (m_phase) {
    case Phase::Busy:
    case Phase::Stuck: return kBusyStatus;
    case Phase::Reset: return kStBsy;
    default: return m_status;
    }
}

void Drive::SetReset(bool asserted)
{
    if (asserted) {
        m_phase = Phase::Reset;
        m_afterBusy = nullptr;
        if (m_eraseRunning) {
            // A reset does not stop a security erase on real drives either;
            // here it simply completes it at once.
            FinishErase();
        }
        return;
    }
    if (m_phase != Phase::Reset)
        return;
    Busy(kResetMs * m_spec.timeScale, [this] {
        m_count[0] = 1;
        m_lbaLow[0] = 1;
        m_lbaMid[0] = 0;
        m_lbaHigh[0] = 0;
        m_device = 0;
        m_error = 0x01;  // diagnostic code: no error
        m_status = kReady;
        m_nativeMaxJustRead = false;
        m_erasePrepared = false;
    });
}

const Fault* Drive::TakeFault(uint8_t cmd)
{
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->opcode != 0 && it->opcode != cmd)
            continue;
        static thread_local Fault taken;
        taken = *it;
        if (it->times > 0 && --it->times == 0)
            m_faults.erase(it);
        return &taken;
    }
    return nullptr;
}

void Drive::WriteCommand(uint8_t cmd)
{
    if (m_absent)
        return;
    Advance();
    if (m_phase == Phase::Busy || m_phase == Phase::Stuck || m_phase == Phase::Reset)
        return;  // a drive ignores commands while busy

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
    t.ext = cmd == kCmdReadSectorsExt || cmd == kCmdWriteSectorsExt || cmd == kCmdVerifyExt ||
            cmd == kCmdReadNativeMaxExt || cmd == kCmdSetMaxExt;
    ++m_commandCount;
    m_log.push_back(cmd);
    if (m_log.size() > kLogLength)
        m_log.pop_front();
    m_buffer.clear();
    m_pos = 0;

    const bool nativeMaxJustRead = m_nativeMaxJustRead;
    m_nativeMaxJustRead = false;
    const bool erasePrepared = m_erasePrepared;
    m_erasePrepared = false;

    if (const Fault* f = TakeFault(cmd)) {
        switch (f->kind) {
        case Fault::Kind::BsyStuck:
            m_phase = Phase::Stuck;
            return;
        case Fault::Kind::DrqMissing:
            Busy(kNonMediaMs * m_spec.timeScale, [this] {
                m_phase = Phase::Idle;
                m_status = kReady;  // neither DRQ nor ERR: the data never comes
            });
            return;
        case Fault::Kind::Error: {
            const uint8_t e = f->error;
            Busy(kNonMediaMs * m_spec.timeScale, [this, e] { Fail(e); });
            return;
        }
        }
    }

    if (cmd == kCmdSetMax || cmd == kCmdSetMaxExt) {
        if (!nativeMaxJustRead) {
            Busy(kNonMediaMs * m_spec.timeScale, [this] { Abort(); });
            return;
        }
    }
    if (cmd == kCmdSecEraseUnit && !erasePrepared) {
        Busy(kNonMediaMs * m_spec.timeScale, [this] { Abort(); });
        return;
    }
    Execute(cmd);
}

void Drive::Execute(uint8_t cmd)
{
    switch (cmd) {
    case kCmdIdentify: CmdIdentify(); return;
    case kCmdVerify: CmdVerify(false); return;
    case kCmdVerifyExt: CmdVerify(true); return;
    case kCmdReadSectors: CmdRead(false); return;
    case kCmdReadSectorsExt: CmdRead(true); return;
    case kCmdWriteSectors: CmdWrite(false); return;
    case kCmdWriteSectorsExt: CmdWrite(true); return;
    case kCmdWriteLong: CmdWriteLong(); return;
    case kCmdSeek: CmdSeek(); return;
    case kCmdSmart: CmdSmart(); return;
    case kCmdReadNativeMax: CmdReadNativeMax(false); return;
    case kCmdReadNativeMaxExt: CmdReadNativeMax(true); return;
    case kCmdSetMax: CmdSetMax(false); return;
    case kCmdSetMaxExt: CmdSetMax(true); return;
    case kCmdSecSetPassword:
    case kCmdSecUnlock:
    case kCmdSecErasePrepare:
    case kCmdSecEraseUnit:
    case kCmdSecFreezeLock:
    case kCmdSecDisablePassword: CmdSecurity(cmd); return;
    default:
        Busy(kNonMediaMs * m_spec.timeScale, [this] { Abort(); });
        return;
    }
}

void Drive::SendData(std::vector<uint8_t> data, double firstMs, double perSectorMs)
{
    m_buffer = std::move(data);
    m_pos = 0;
    m_perSectorMs = perSectorMs;
    Busy(firstMs, [this] {
        m_phase = Phase::DataIn;
        m_status = kReady | kStDrq;
    });
}

uint16_t Drive::ReadData16()
{
    if (m_absent)
        return 0xFFFF;
    Advance();
    if (m_phase != Phase::DataIn || m_pos + 2 > m_buffer.size())
        return 0xFFFF;
    const uint16_t w = uint16_t(m_buffer[m_pos] | (m_buffer[m_pos + 1] << 8));
    m_pos += 2;
    if (m_pos % kSectorSize == 0) {
        if (m_pos >= m_buffer.size())
            Done();
        else
            Busy(m_perSectorMs, [this] {
                m_phase = Phase::DataIn;
                m_status = kReady | kStDrq;
            });
    }
    return w;
}

uint8_t Drive::ReadData8() { return uint8_t(ReadData16()); }

void Drive::ReceiveData(uint32_t sectors, uint32_t trailingBytes,
                        std::function<double(uint32_t, const uint8_t*, const uint8_t*)> onSector,
                        std::function<void()> onDone)
{
    m_outSectors = sectors;
    m_outIndex = 0;
    m_outTrailing = trailingBytes;
    m_onSectorOut = std::move(onSector);
    m_onOutDone = std::move(onDone);
    m_buffer.assign(kSectorSize + trailingBytes, 0);
    m_pos = 0;
    Busy(0.01 * m_spec.timeScale, [this] {
        m_phase = Phase::DataOut;
        m_status = kReady | kStDrq;
    });
}

void Drive::DataOutSectorComplete()
{
    const uint32_t index = m_outIndex++;
    const bool last = m_outIndex >= m_outSectors;
    const double ms =
        m_onSectorOut ? m_onSectorOut(index, m_buffer.data(), m_buffer.data() + kSectorSize) : 0;
    m_pos = 0;
    if (ms < 0) {
        // The drive refused the data: the command ends with the error.
        const uint8_t e = m_error;
        m_onOutDone = nullptr;
        Busy(kNonMediaMs * m_spec.timeScale, [this, e] { Fail(e); });
        return;
    }
    if (last) {
        auto done = std::move(m_onOutDone);
        m_onOutDone = nullptr;
        Busy(ms, [this, done] {
            Done();
            if (done)
                done();
        });
    } else {
        Busy(ms, [this] {
            m_phase = Phase::DataOut;
            m_status = kReady | kStDrq;
        });
    }
}

void Drive::WriteData16(uint16_t value)
{
    if (m_absent)
        return;
    Advance();
    if (m_phase != Phase::DataOut)
        return;
    const size_t expected = kSectorSize + ((m_outIndex + 1 == m_outSectors) ? m_outTrailing : 0);
    if (m_pos < kSectorSize) {
        m_buffer[m_pos++] = uint8_t(value);
        m_buffer[m_pos++] = uint8_t(value >> 8);
    } else {
        m_buffer[m_pos++] = uint8_t(value);  // trailing bytes: only the low byte counts
    }
    if (m_pos >= expected)
        DataOutSectorComplete();
}

void Drive::WriteData8(uint8_t value)
{
    if (m_absent)
        return;
    Advance();
    if (m_phase != Phase::DataOut)
        return;
    const size_t expected = kSectorSize + ((m_outIndex + 1 == m_outSectors) ? m_outTrailing : 0);
    m_buffer[m_pos++] = value;
    if (m_pos >= expected)
        DataOutSectorComplete();
}

// ---- helpers -------------------------------------------------------------------

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
    return ms * m_spec.timeScale;
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

// ---- commands ---------------------------------------------------------------------

std::vector<uint8_t> Drive::IdentifyData() const
{
    std::vector<uint8_t> id(kSectorSize, 0);
    const uint64_t cap = m_currentMax + 1;
    const bool smartOk = m_spec.smart != SmartMode::Unsupported;
    const bool sec = m_spec.security.supported;
    PutWord(id, 0, 0x0040);
    const uint64_t chsSectors = std::min<uint64_t>(cap, 16383ULL * 16 * 63);
    PutWord(id, 1, uint16_t(std::min<uint64_t>(chsSectors / (16 * 63), 16383)));
    PutWord(id, 3, 16);
    PutWord(id, 6, 63);
    PutText(id, kSerialField, m_spec.serial);
    PutText(id, kFirmwareField, m_spec.firmware);
    PutText(id, kModelField, m_spec.model);
    PutWord(id, 47, 0x8010);
    PutWord(id, 49, 0x0300);
    PutWord(id, 50, 0x4000);
    PutWord(id, 53, 0x0007);
    PutWord(id, 54, uint16_t(std::min<uint64_t>(chsSectors / (16 * 63), 16383)));
    PutWord(id, 55, 16);
    PutWord(id, 56, 63);
    PutWord(id, 59, 0x0110);
    const uint32_t cap28 = uint32_t(std::min<uint64_t>(cap, 0x0FFFFFFF));
    PutWord(id, 60, uint16_t(cap28));
    PutWord(id, 61, uint16_t(cap28 >> 16));
    PutWord(id, 63, 0x0407);
    PutWord(id, 64, 0x0003);
    for (int w = 65; w <= 68; ++w)
        PutWord(id, w, 120);
    uint16_t major = 0;
    for (int v = 1; v <= std::clamp(m_spec.ataMajor, 0, 14); ++v)
        major |= uint16_t(1u << v);
    PutWord(id, 80, major);
    PutWord(id, 81, 0x001D);
    const uint16_t w82 = uint16_t(0x4000 | 0x3000 | 0x0060 | 0x0008 | (smartOk ? 0x0001 : 0) |
                                  (sec ? 0x0002 : 0) | (m_spec.hpaSupported ? 0x0400 : 0));
    const uint16_t w83 = uint16_t(0x4000 | 0x1000 | (m_spec.lba48 ? 0x2400 : 0) |
                                  (m_spec.aamSupported ? 0x0200 : 0) | (m_spec.apmSupported ? 0x0008 : 0));
    PutWord(id, 82, w82);
    PutWord(id, 83, w83);
    PutWord(id, 84, uint16_t(0x4000 | (smartOk ? 0x0003 : 0)));
    const uint16_t w85 = uint16_t(0x4000 | 0x3000 | 0x0060 | 0x0008 |
                                  (smartOk && m_state.smartEnabled ? 0x0001 : 0) |
                                  (m_state.securityEnabled ? 0x0002 : 0) |
                                  (m_spec.hpaSupported ? 0x0400 : 0));
    PutWord(id, 85, w85);
    PutWord(id, 86, uint16_t(0x1000 | (m_spec.lba48 ? 0x2400 : 0) | (m_spec.aamSupported ? 0x0200 : 0) |
                             (m_spec.apmSupported ? 0x0008 : 0)));
    PutWord(id, 87, uint16_t(0x4000 | (smartOk ? 0x0003 : 0)));
    PutWord(id, 88, m_spec.udma);
    PutWord(id, 89, sec ? m_spec.eraseWord : 0);
    PutWord(id, 90, sec && m_spec.security.enhancedErase ? m_spec.enhancedEraseWord : 0);
    PutWord(id, 93, 0x600B);
    PutWord(id, 94, uint16_t(m_spec.aamSupported ? (0x8000 | m_spec.aamValue) : 0));
    if (m_spec.lba48) {
        PutWord(id, 100, uint16_t(cap));
        PutWord(id, 101, uint16_t(cap >> 16));
        PutWord(id, 102, uint16_t(cap >> 32));
        PutWord(id, 103, uint16_t(cap >> 48));
    }
    if (sec) {
        uint16_t w128 = 0x0001;
        if (m_state.securityEnabled) w128 |= 0x0002;
        if (m_locked) w128 |= 0x0004;
        if (m_frozen) w128 |= 0x0008;
        if (m_expired) w128 |= 0x0010;
        if (m_spec.security.enhancedErase) w128 |= 0x0020;
        if (m_state.levelMax) w128 |= 0x0100;
        PutWord(id, 128, w128);
    }
    // Integrity word: signature A5h and a checksum over the whole block.
    id[510] = 0xA5;
    uint8_t sum = 0;
    for (int i = 0; i < 511; ++i)
        sum = uint8_t(sum + id[i]);
    id[511] = uint8_t(0 - sum);
    return id;
}

void Drive::CmdIdentify()
{
    SendData(IdentifyData(), m_spec.identifyMs * m_spec.timeScale, 0);
}

bool Drive::MediaRange(bool ext, uint64_t& lba, uint64_t& count)
{
    if ((ext && !m_spec.lba48) || m_locked) {
        Busy(kNonMediaMs * m_spec.timeScale, [this] { Abort(); });
        return false;
    }
    lba = ext ? Lba48() : Lba28();
    count = ext ? Count48() : Count28();
    if (lba + count > m_currentMax + 1) {
        // The sectors up to the end are read before the address is missed.
        const uint64_t at = std::max(lba, m_currentMax + 1);
        const double ms = (lba <= m_currentMax ? MediaMs(lba, at - lba) : 0) + 2.0 * m_spec.timeScale;
        Busy(ms, [this, at] { Fail(kErIdnf, at); });
        return false;
    }
    uint64_t where = 0;
    uint8_t error = 0;
    double failMs = 0;
    if (FindFailure(lba, count, where, error, failMs)) {
        const double ms = (where > lba ? MediaMs(lba, where - lba) : 0) + failMs * m_spec.timeScale;
        m_head = where + 1;
        Busy(ms, [this, error, where] { Fail(error, where); });
        return false;
    }
    return true;
}

void Drive::CmdVerify(bool ext)
{
    uint64_t lba = 0, count = 0;
    if (MediaRange(ext, lba, count))
        Busy(MediaMs(lba, count), [this] { Done(); });
}

void Drive::CmdRead(bool ext)
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

void Drive::CmdWrite(bool ext)
{
    if ((ext && !m_spec.lba48) || m_locked) {
        Busy(kNonMediaMs * m_spec.timeScale, [this] { Abort(); });
        return;
    }
    const uint64_t lba = ext ? Lba48() : Lba28();
    const uint64_t count = ext ? Count48() : Count28();
    if (lba + count > m_currentMax + 1) {
        Busy(2.0 * m_spec.timeScale, [this, lba] { Fail(kErIdnf, lba); });
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
    if (m_locked || Count28() != 1 || lba > m_currentMax) {
        Busy(kNonMediaMs * m_spec.timeScale, [this] { Abort(); });
        return;
    }
    ReceiveData(1, 4,
                [this, lba](uint32_t, const uint8_t* data, const uint8_t*) {
                    // The ECC bytes never match what we write: the sector
                    // becomes unreadable until it is written normally.
                    m_data.Write(lba, data);
                    m_state.softBad.insert(lba);
                    StateChanged();
                    return MediaMs(lba, 1) + 8.3 * m_spec.timeScale;
                },
                nullptr);
}

void Drive::CmdSeek()
{
    const uint64_t lba = Lba28();
    if (m_locked) {
        Busy(kNonMediaMs * m_spec.timeScale, [this] { Abort(); });
        return;
    }
    if (lba > m_currentMax) {
        Busy(2.0 * m_spec.timeScale, [this, lba] { Fail(kErIdnf, lba); });
        return;
    }
    double ms = MediaMs(lba, 0);
    if (ms == 0)
        ms = 0.1 * m_spec.timeScale;
    Busy(ms, [this] { Done(); });
}

std::vector<uint8_t> Drive::SmartData() const
{
    std::vector<uint8_t> out(kSectorSize, 0);
    auto* d = reinterpret_cast<ata::SmartData*>(out.data());
    d->revision = 0x0010;
    int n = 0;
    for (const SmartAttributeSpec& a : m_attributes) {
        if (n >= 30)
            break;
        SmartAttribute& e = d->attr[n++];
        e.id = a.id;
        e.flags[0] = uint8_t(a.flags);
        e.flags[1] = uint8_t(a.flags >> 8);
        e.value = a.value;
        e.worst = a.worst;
        uint64_t raw = a.raw;
        if (a.id == 194) {
            const int t = std::clamp(Temperature(), 0, 255);
            const uint64_t lo = uint64_t(std::max(0, int(m_spec.temperature) - 18));
            const uint64_t hi = uint64_t(int(m_spec.temperature) + 14);
            raw = uint64_t(t) | (lo << 16) | (hi << 32);
            e.value = uint8_t(std::clamp(100 - t, 1, 253));
        }
        for (int b = 0; b < 6; ++b)
            e.raw[b] = uint8_t(raw >> (8 * b));
    }
    d->offlineStatus = 0x82;
    d->offlineSeconds = 600;
    d->offlineCapability = 0x5B;
    d->smartCapability = 0x0003;
    d->errorLogging = 0x01;
    d->shortTestMinutes = 2;
    d->extendedTestMinutes = 60;
    SetChecksum(out.data());
    return out;
}

std::vector<uint8_t> Drive::SmartThresholds() const
{
    std::vector<uint8_t> out(kSectorSize, 0);
    auto* d = reinterpret_cast<ata::SmartThresholds*>(out.data());
    d->revision = 0x0010;
    int n = 0;
    for (const SmartAttributeSpec& a : m_attributes) {
        if (n >= 30)
            break;
        if (a.threshold < 0)
            continue;
        d->entry[n].id = a.id;
        d->entry[n].threshold = uint8_t(a.threshold);
        ++n;
    }
    SetChecksum(out.data());
    return out;
}

void Drive::CmdSmart()
{
    const double ms = kNonMediaMs * m_spec.timeScale;
    if (m_spec.smart == SmartMode::Unsupported || m_lbaMid[0] != kSmartKeyMid || m_lbaHigh[0] != kSmartKeyHigh) {
        Busy(ms, [this] { Abort(); });
        return;
    }
    switch (m_feature[0]) {
    case kSmartEnable:
    case kSmartDisable: {
        const bool on = m_feature[0] == kSmartEnable;
        // While SMART is off every SMART command but ENABLE is refused.
        if (!on && !m_state.smartEnabled) {
            Busy(ms, [this] { Abort(); });
            return;
        }
        Busy(ms, [this, on] {
            if (m_state.smartEnabled != on) {
                m_state.smartEnabled = on;
                StateChanged();
            }
            Done();
        });
        return;
    }
    case kSmartReadData:
    case kSmartReadThresholds:
        if (!m_state.smartEnabled) {
            Busy(ms, [this] { Abort(); });
            return;
        }
        SendData(m_feature[0] == kSmartReadData ? SmartData() : SmartThresholds(), 1.0 * m_spec.timeScale, 0);
        return;
    case kSmartReturnStatus:
        if (!m_state.smartEnabled) {
            Busy(ms, [this] { Abort(); });
            return;
        }
        Busy(ms, [this] {
            bool failing = false;
            for (const SmartAttributeSpec& a : m_attributes)
                failing |= a.threshold > 0 && a.value <= a.threshold;
            m_lbaMid[0] = failing ? 0xF4 : kSmartKeyMid;
            m_lbaHigh[0] = failing ? 0x2C : kSmartKeyHigh;
            Done();
        });
        return;
    default:
        Busy(ms, [this] { Abort(); });
        return;
    }
}

void Drive::CmdReadNativeMax(bool ext)
{
    const double ms = kNonMediaMs * m_spec.timeScale;
    if (!m_spec.hpaSupported || (ext && !m_spec.lba48)) {
        Busy(ms, [this] { Abort(); });
        return;
    }
    Busy(ms, [this, ext] {
        const uint64_t native = ext ? NativeMaxAddress() : std::min<uint64_t>(NativeMaxAddress(), kMaxLba28 - 1);
        SetResultLba(native, ext);
        Done();
        m_nativeMaxJustRead = true;
    });
}

void Drive::CmdSetMax(bool ext)
{
    const double ms = kNonMediaMs * m_spec.timeScale;
    if (!m_spec.hpaSupported || (ext && !m_spec.lba48) || m_locked || m_frozen || m_feature[0] != 0) {
        Busy(ms, [this] { Abort(); });
        return;
    }
    const uint64_t lba = ext ? Lba48() : Lba28();
    const bool keep = (m_count[0] & 0x01) != 0;
    Busy(ms, [this, lba, keep, ext] {
        if (lba > NativeMaxAddress()) {
            Fail(kErIdnf);
            return;
        }
        m_currentMax = lba;
        if (keep) {
            m_state.maxAddress = lba;
            StateChanged();
        }
        SetResultLba(lba, ext);
        Done();
    });
}

bool Drive::PasswordMatches(const uint8_t* given, bool master) const
{
    const std::array<uint8_t, 32>& stored = master ? m_state.master : m_state.user;
    return std::memcmp(stored.data(), given, 32) == 0;
}

void Drive::FinishErase()
{
    m_data.Fill(0, m_spec.sectors, 0x00);
    m_state.softBad.clear();
    m_state.securityEnabled = false;
    m_state.user.fill(0);
    m_locked = false;
    m_attempts = 0;
    m_eraseRunning = false;
    StateChanged();
}

void Drive::CmdSecurity(uint8_t cmd)
{
    const double ms = kNonMediaMs * m_spec.timeScale;
    if (!m_spec.security.supported) {
        Busy(ms, [this] { Abort(); });
        return;
    }
    switch (cmd) {
    case kCmdSecFreezeLock:
        Busy(ms, [this] {
            if (m_locked) {
                Abort();
                return;
            }
            m_frozen = true;
            Done();
        });
        return;
    case kCmdSecErasePrepare:
        Busy(ms, [this] {
            if (m_frozen) {
                Abort();
                return;
            }
            Done();
            m_erasePrepared = true;
        });
        return;
    default:
        break;
    }
    // The commands with a 512-byte block.
    ReceiveData(1, 0,
                [this, cmd](uint32_t, const uint8_t* data, const uint8_t*) -> double {
                    SecurityBlock b;
                    std::memcpy(&b, data, sizeof b);
                    const bool master = b.control & 0x0001;
                    const bool levelMax = b.control & 0x0100;
                    const bool enhanced = b.control & 0x0002;
                    uint8_t err = 0;
                    double busy = 0.1 * m_spec.timeScale;
                    switch (cmd) {
                    case kCmdSecSetPassword:
                        if (m_locked || m_frozen) {
                            err = kErAbrt;
                        } else if (master) {
                            std::memcpy(m_state.master.data(), b.password, 32);
                            StateChanged();
                        } else {
                            std::memcpy(m_state.user.data(), b.password, 32);
                            m_state.securityEnabled = true;
                            m_state.levelMax = levelMax;
                            StateChanged();
                        }
                        break;
                    case kCmdSecUnlock:
                        if (m_frozen || m_expired || !m_state.securityEnabled ||
                            (master && m_state.levelMax)) {
                            err = kErAbrt;
                        } else if (PasswordMatches(b.password, master)) {
                            m_locked = false;
                            m_attempts = 0;
                        } else {
                            err = kErAbrt;
                            if (++m_attempts >= 5)
                                m_expired = true;
                        }
                        break;
                    case kCmdSecDisablePassword:
                        if (m_locked || m_frozen || !m_state.securityEnabled ||
                            (master && m_state.levelMax)) {
                            err = kErAbrt;
                        } else if (PasswordMatches(b.password, master)) {
                            m_state.securityEnabled = false;
                            m_state.user.fill(0);
                            StateChanged();
                        } else {
                            err = kErAbrt;
                        }
                        break;
                    case kCmdSecEraseUnit: {
                        const bool ok = master ? PasswordMatches(b.password, true)
                                               : (m_state.securityEnabled && PasswordMatches(b.password, false));
                        if (m_frozen || m_expired || !ok) {
                            err = kErAbrt;
                            if (!ok && ++m_attempts >= 5)
                                m_expired = true;
                            break;
                        }
                        const uint16_t word = enhanced ? m_spec.enhancedEraseWord : m_spec.eraseWord;
                        const double minutes = word == 0 ? 1 : (word >= 255 ? 508 : word * 2.0);
                        busy = minutes * 60000.0 * m_spec.eraseScale;
                        m_eraseRunning = true;
                        break;
                    }
                    default:
                        err = kErAbrt;
                    }
                    if (err) {
                        // End the command at once with the error.
                        m_onOutDone = nullptr;
                        m_error = err;
                        return -1;
                    }
                    return busy;
                },
                [this, cmd] {
                    if (cmd == kCmdSecEraseUnit && m_eraseRunning)
                        FinishErase();
                });
}

}  // namespace sim
