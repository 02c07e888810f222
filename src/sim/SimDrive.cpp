// The simulated drive's bus side, its timing and its PIO data phases.
#include "sim/SimDrive.h"

#include "hw/AtaDefs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace sim {

using namespace ata;

namespace {

constexpr uint8_t kReady = kStDrdy | kStDsc;
constexpr double kResetMs = 1.0;

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
    m_nativeMaxRead = NativeMaxRead::None;
    m_setMaxKept = false;
    m_latent = false;
    m_intrq = false;
    m_interruptsMasked = false;
    m_floatUntil = {};
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

// ---- timing -------------------------------------------------------------------

// A busy time of 0 (m_busyUntil unset) is over without a look at the clock.
void Drive::AdvanceBusy()
{
    Clock::time_point now{};
    while (m_phase == Phase::Busy) {
        if (m_busyUntil != Clock::time_point{}) {
            if (now == Clock::time_point{})
                now = Clock::now();
            if (now < m_busyUntil)
                break;
        }
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
    m_status = m_busyStatus;
    m_busyUntil = ms > 0 ? Clock::now() + std::chrono::nanoseconds(int64_t(ms * 1e6)) : Clock::time_point{};
    if (m_floatUntil != Clock::time_point{})
        m_busyUntil = std::max(m_busyUntil, m_floatUntil);
    m_afterBusy = std::move(then);
    Advance();
}

void Drive::Done()
{
    m_phase = Phase::Idle;
    m_status = kReady;
    CheckRule(false);
    RaiseInterrupt();
}

void Drive::Fail(uint8_t error, uint64_t errorLba, bool scripted)
{
    m_phase = Phase::Idle;
    m_error = error;
    m_status = kReady | kStErr;
    if (errorLba != UINT64_MAX)
        SetResultLba(errorLba, m_lastTaskfile.ext);
    CheckRule(scripted);
    RaiseInterrupt();
}

void Drive::AbortSoon()
{
    Busy(Ms(0.05), [this] { Abort(); });
}

// Every command ends with ERR set exactly when the error register is not 0;
// only a scripted fault may break that on purpose.
void Drive::CheckRule(bool scripted)
{
    const bool err = m_status & kStErr;
    if (err == (m_error != 0) || scripted || m_scriptedEnd)
        return;
    ++m_ruleBreaks;
    std::fprintf(stderr, "sim drive %s: command %02X ended with status %02X and error %02X\n",
                 m_spec.model.c_str(), m_lastTaskfile.command, m_status, m_error);
}

void Drive::RaiseInterrupt()
{
    if (m_intrq)
        return;
    m_intrq = true;
    if (!m_interruptsMasked)
        ++m_interrupts;
}

// Called before the drive's state changes for a command or a block: until
// the latency has passed the host sees the status it saw before.  The time
// is the bus's: it passes as the host uses the channel, one kBusCycleNs an
// access, so that the model is the same on a fast machine and a loaded one.
void Drive::StartLatency()
{
    if (m_spec.statusLatencyNs <= 0)
        return;
    if (!m_latent)
        m_shownStatus = Visible();
    m_latent = true;
    m_latentSinceCycle = BusNow();
}

bool Drive::StillLatent()
{
    const double ns = m_spec.statusLatencyNs;
    if (double(BusNow() - m_latentSinceCycle) * kBusCycleNs >= ns)
        m_latent = false;
    return m_latent;
}

// ---- bus side -------------------------------------------------------------------

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

bool Drive::AcceptsSelect()
{
    if (m_stuckStatus)
        return !(*m_stuckStatus & (kStBsy | kStDrq));
    Advance();
    return m_phase == Phase::Idle && !Latent();
}

uint8_t Drive::ReadRegister(uint8_t reg, bool hob)
{
    if (m_absent)
        return 0xFF;
    Advance();
    if (m_phase == Phase::Busy || m_phase == Phase::Stuck || m_phase == Phase::Reset)
        return m_busyStatus;  // registers are not valid while BSY is set
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

uint8_t Drive::Status(bool acknowledge)
{
    if (m_absent)
        return 0xFF;
    if (m_stuckStatus)
        return *m_stuckStatus;
    Advance();
    if (Latent())
        return m_shownStatus;
    if (acknowledge)
        m_intrq = false;
    return Visible();
}

uint8_t Drive::Visible() const
{
    switch (m_phase) {
    case Phase::Busy:
        if (m_floatUntil != Clock::time_point{} && Clock::now() < m_floatUntil)
            return 0xFF;
        return m_busyStatus;
    case Phase::Stuck: return m_busyStatus;
    case Phase::Reset: return kStBsy;
    default: return m_status;
    }
}

void Drive::WriteControl(uint8_t control)
{
    m_interruptsMasked = control & kCtlNien;
    const bool srst = control & kCtlSrst;
    if (srst) {
        if (m_phase == Phase::Reset)
            return;
        ++m_resets;
        m_phase = Phase::Reset;
        m_afterBusy = nullptr;
        m_latent = false;
        m_intrq = false;
        m_floatUntil = {};
        if (m_eraseRunning) {
            // A reset does not stop a security erase on real drives either;
            // here it simply completes it at once.
            FinishErase();
        }
        return;
    }
    if (m_phase != Phase::Reset)
        return;
    Busy(Ms(kResetMs), [this] {
        m_count[0] = 1;
        m_lbaLow[0] = 1;
        m_lbaMid[0] = 0;
        m_lbaHigh[0] = 0;
        m_device = 0;
        m_error = 0x01;  // diagnostic code: no error
        m_status = kReady;
        m_nativeMaxRead = NativeMaxRead::None;
        m_erasePrepared = false;
    });
}

// ---- PIO data-in ------------------------------------------------------------------

bool Drive::TakeExtraBlock()
{
    const bool extra = m_extraBlock;
    m_extraBlock = false;
    return extra;
}

void Drive::SendData(std::vector<uint8_t> data, double firstMs, double perSectorMs)
{
    m_buffer = std::move(data);
    m_pos = 0;
    m_perSectorMs = perSectorMs;
    Busy(firstMs, [this] {
        m_phase = Phase::DataIn;
        m_status = kReady | kStDrq;
        RaiseInterrupt();
    });
}

uint16_t Drive::ReadData16()
{
    if (m_absent)
        return 0xFFFF;
    Advance();
    if (Latent() || m_phase != Phase::DataIn || m_pos + 2 > m_buffer.size())
        return 0xFFFF;
    const uint16_t w = uint16_t(m_buffer[m_pos] | (m_buffer[m_pos + 1] << 8));
    m_pos += 2;
    if (m_pos % kSectorSize == 0)
        DataInSectorComplete();
    return w;
}

uint8_t Drive::ReadData8() { return uint8_t(ReadData16()); }

size_t Drive::DataInRun(size_t max)
{
    Advance();
    if (m_absent || Latent() || m_phase != Phase::DataIn || m_pos + 2 > m_buffer.size())
        return 0;
    const size_t sectorEnd = std::min(m_buffer.size(), (m_pos / kSectorSize + 1) * kSectorSize);
    return std::min(max, (sectorEnd - m_pos) / 2);
}

void Drive::ReadDataRun(uint16_t* words, size_t run)
{
    for (size_t i = 0; i < run; ++i, m_pos += 2)
        words[i] = uint16_t(m_buffer[m_pos] | (m_buffer[m_pos + 1] << 8));
    if (m_pos % kSectorSize == 0)
        DataInSectorComplete();
}

void Drive::DataInSectorComplete()
{
    StartLatency();
    if (m_pos >= m_buffer.size()) {
        if (!TakeExtraBlock()) {
            m_phase = Phase::Idle;
            m_status = kReady;
            CheckRule(false);
            return;
        }
        m_buffer.resize(m_buffer.size() + kSectorSize, 0);  // one block more than the command carries
    }
    Busy(m_perSectorMs, [this] {
        m_phase = Phase::DataIn;
        m_status = kReady | kStDrq;
        RaiseInterrupt();
    });
}

// ---- PIO data-out -----------------------------------------------------------------

void Drive::ReceiveData(uint32_t sectors, uint32_t trailingBytes, OnSectorOut onSector, std::function<void()> onDone)
{
    m_outSectors = sectors;
    m_outIndex = 0;
    m_outTrailing = trailingBytes;
    m_onSectorOut = std::move(onSector);
    m_onOutDone = std::move(onDone);
    m_buffer.assign(kSectorSize + trailingBytes, 0);
    m_pos = 0;
    // The first block is asked for without an interrupt.
    Busy(Ms(0.01), [this] {
        m_phase = Phase::DataOut;
        m_status = kReady | kStDrq;
    });
}

size_t Drive::DataOutExpected() const
{
    return kSectorSize + ((m_outIndex + 1 == m_outSectors) ? m_outTrailing : 0);
}

void Drive::DataOutSectorComplete()
{
    StartLatency();
    const uint32_t index = m_outIndex++;
    m_pos = 0;
    double ms = 0;
    if (index < m_outSectors && m_onSectorOut) {
        ms = m_onSectorOut(index, m_buffer.data(), m_buffer.data() + kSectorSize);
        if (ms < 0) {
            // The drive refused the data: the command ends with the error.
            const uint8_t e = m_error;
            m_onOutDone = nullptr;
            Busy(Ms(0.05), [this, e] { Fail(e); });
            return;
        }
    }
    if (m_outIndex < m_outSectors || (m_outIndex == m_outSectors && TakeExtraBlock())) {
        Busy(ms, [this] {
            m_phase = Phase::DataOut;
            m_status = kReady | kStDrq;
            RaiseInterrupt();
        });
        return;
    }
    auto done = std::move(m_onOutDone);
    m_onOutDone = nullptr;
    Busy(ms, [this, done] {
        Done();
        if (done)
            done();
    });
}

void Drive::WriteData16(uint16_t value)
{
    if (m_absent)
        return;
    Advance();
    if (Latent() || m_phase != Phase::DataOut)
        return;
    if (m_pos < kSectorSize) {
        m_buffer[m_pos++] = uint8_t(value);
        m_buffer[m_pos++] = uint8_t(value >> 8);
    } else {
        m_buffer[m_pos++] = uint8_t(value);  // trailing bytes: only the low byte counts
    }
    if (m_pos >= DataOutExpected())
        DataOutSectorComplete();
}

size_t Drive::DataOutRun(size_t max)
{
    Advance();
    if (m_absent || Latent() || m_phase != Phase::DataOut || m_pos >= kSectorSize)
        return 0;
    return std::min(max, (kSectorSize - m_pos) / 2);
}

void Drive::WriteDataRun(const uint16_t* words, size_t run)
{
    for (size_t i = 0; i < run; ++i) {
        m_buffer[m_pos++] = uint8_t(words[i]);
        m_buffer[m_pos++] = uint8_t(words[i] >> 8);
    }
    if (m_pos >= DataOutExpected())
        DataOutSectorComplete();
}

void Drive::WriteData8(uint8_t value)
{
    if (m_absent)
        return;
    Advance();
    if (Latent() || m_phase != Phase::DataOut)
        return;
    m_buffer[m_pos++] = value;
    if (m_pos >= DataOutExpected())
        DataOutSectorComplete();
}

}  // namespace sim
