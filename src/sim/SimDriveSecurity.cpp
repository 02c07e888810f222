// The simulated drive's security feature set: passwords, lock and unlock,
// freeze, and the erase that takes its time and really clears the data.
#include "sim/SimDrive.h"

#include "hw/AtaDefs.h"

#include <cstring>

namespace sim {

using namespace ata;

namespace {

constexpr double kNonMediaMs = 0.05;

}  // namespace

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

bool Drive::FailErase(uint8_t error)
{
    Advance();
    if (!m_eraseRunning || m_phase != Phase::Busy)
        return false;
    m_afterBusy = nullptr;
    m_eraseRunning = false;
    Fail(error, UINT64_MAX, true);
    return true;
}

void Drive::CmdSecurityFreezeLock()
{
    Busy(Ms(kNonMediaMs), [this] {
        if (m_locked) {
            Abort();
            return;
        }
        m_frozen = true;
        Done();
    });
}

void Drive::CmdSecurityErasePrepare()
{
    Busy(Ms(kNonMediaMs), [this] {
        if (m_frozen) {
            Abort();
            return;
        }
        Done();
        m_erasePrepared = true;
    });
}

// The commands with a 512-byte block: SET PASSWORD, UNLOCK, ERASE UNIT and
// DISABLE PASSWORD.
void Drive::CmdSecurityBlock()
{
    const uint8_t cmd = m_lastTaskfile.command;
    if (cmd == kCmdSecEraseUnit && !m_preparedForErase) {
        AbortSoon();
        return;
    }
    ReceiveData(1, 0,
                [this, cmd](uint32_t, const uint8_t* data, const uint8_t*) -> double {
                    ata::SecurityBlock b;
                    std::memcpy(&b, data, sizeof b);
                    uint8_t error = 0;
                    const double busy = SecurityCommand(cmd, b, error);
                    if (error) {
                        // End the command at once with the error.
                        m_onOutDone = nullptr;
                        m_error = error;
                        return -1;
                    }
                    return busy;
                },
                [this, cmd] {
                    if (cmd == kCmdSecEraseUnit && m_eraseRunning)
                        FinishErase();
                });
}

// Carries out a security command on its data block; returns how long the
// drive stays busy, or sets `error`.
double Drive::SecurityCommand(uint8_t cmd, const ata::SecurityBlock& b, uint8_t& error)
{
    const bool master = b.control & 0x0001;
    const bool levelMax = b.control & 0x0100;
    const bool enhanced = b.control & 0x0002;
    switch (cmd) {
    case kCmdSecSetPassword:
        if (m_locked || m_frozen) {
            error = kErAbrt;
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
        if (m_frozen || m_expired || !m_state.securityEnabled || (master && m_state.levelMax)) {
            error = kErAbrt;
        } else if (PasswordMatches(b.password, master)) {
            m_locked = false;
            m_attempts = 0;
        } else {
            error = kErAbrt;
            if (++m_attempts >= 5)
                m_expired = true;
        }
        break;
    case kCmdSecDisablePassword:
        if (m_locked || m_frozen || !m_state.securityEnabled || (master && m_state.levelMax)) {
            error = kErAbrt;
        } else if (PasswordMatches(b.password, master)) {
            m_state.securityEnabled = false;
            m_state.user.fill(0);
            StateChanged();
        } else {
            error = kErAbrt;
        }
        break;
    case kCmdSecEraseUnit: {
        const bool ok = master ? PasswordMatches(b.password, true)
                               : (m_state.securityEnabled && PasswordMatches(b.password, false));
        if (m_frozen || m_expired || !ok) {
            error = kErAbrt;
            if (!ok && ++m_attempts >= 5)
                m_expired = true;
            break;
        }
        const uint16_t word = enhanced ? m_spec.enhancedEraseWord : m_spec.eraseWord;
        const double minutes = word == 0 ? 1 : (word >= 255 ? 508 : word * 2.0);
        m_eraseRunning = true;
        return minutes * 60000.0 * m_spec.eraseScale;
    }
    default:
        error = kErAbrt;
    }
    return Ms(0.1);
}

}  // namespace sim
