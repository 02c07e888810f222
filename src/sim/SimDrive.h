#pragma once
// One simulated ATA drive: its register file, the command set the program
// uses and a behaviour model (timing, defects, SMART, host protected area,
// security).  The channel calls the bus side with the machine lock held.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hw/AtaDefs.h"
#include "hw/AtaTypes.h"
#include "sim/DataStore.h"
#include "sim/SimSpec.h"

namespace sim {

using Clock = std::chrono::steady_clock;

// A fault a test can script.  opcode 0 matches every command; `times` is how
// many commands it hits (-1: until cleared).
struct Fault {
    enum class Kind {
        BsyStuck,    // BSY is set and never clears (until a reset)
        DrqMissing,  // the data phase never asks for data: no DRQ, no ERR
        Error,       // the command ends with ERR and `error` in the error register
    };
    Kind kind = Kind::Error;
    uint8_t opcode = 0;
    uint8_t error = 0x04;
    int times = -1;
};

// What a drive keeps across power cycles (and, for a machine read from a
// file, across program starts).
struct PersistentState {
    bool smartEnabled = true;
    bool securityEnabled = false;
    bool levelMax = false;
    std::array<uint8_t, 32> user{};
    std::array<uint8_t, 32> master{};
    uint64_t maxAddress = 0;  // current (non-volatile) maximum address
    std::set<uint64_t> softBad;
};

class Drive {
public:
    explicit Drive(const DriveSpec& spec);

    // ---- bus side -------------------------------------------------------
    void LatchRegister(uint8_t reg, uint8_t value);  // registers 1-5 (both devices latch)
    void LatchDevice(uint8_t value);
    uint8_t ReadRegister(uint8_t reg, bool hob);     // registers 1-6
    uint8_t Status();                                // status / alternate status
    void WriteCommand(uint8_t command);
    uint16_t ReadData16();
    uint8_t ReadData8();
    void WriteData16(uint16_t value);
    void WriteData8(uint8_t value);
    void SetReset(bool asserted);
    uint8_t LatchedDevice() const { return m_device; }

    // ---- test and inspection side ----------------------------------------
    const DriveSpec& Spec() const { return m_spec; }
    void AddFault(const Fault& f) { m_faults.push_back(f); }
    void ClearFaults() { m_faults.clear(); }
    void SetAbsent(bool absent) { m_absent = absent; }
    bool Absent() const { return m_absent; }
    // Power off and on: security locks again when enabled, volatile settings
    // are lost.
    void PowerCycle();
    // The taskfile of the last command written, as the drive latched it.
    const ata::Taskfile& LastTaskfile() const { return m_lastTaskfile; }
    uint64_t CommandCount() const { return m_commandCount; }
    std::vector<uint8_t> CommandLog() const { return {m_log.begin(), m_log.end()}; }
    DataStore::Sector ReadSector(uint64_t lba) const { return m_data.Read(lba); }
    bool SectorUntouched(uint64_t lba) const { return m_data.Untouched(lba); }
    const DataStore& Data() const { return m_data; }
    bool Locked() const { return m_locked; }
    bool Frozen() const { return m_frozen; }
    int UnlockAttempts() const { return m_attempts; }
    uint64_t CurrentMaxAddress() const { return m_currentMax; }
    uint64_t NativeMaxAddress() const { return m_spec.sectors - 1; }
    const PersistentState& State() const { return m_state; }
    void LoadState(const PersistentState& s);
    // Called after every change of the persistent state.
    void SetStateListener(std::function<void()> f) { m_onStateChange = std::move(f); }
    int Temperature() const;
    // Tests: attribute 194 reports exactly `degrees` instead of moving
    // around the spec's temperature; nullopt lets it move again.
    void SetFixedTemperature(std::optional<int> degrees) { m_fixedTemperature = degrees; }
    bool EraseRunning() const { return m_eraseRunning; }

private:
    enum class Phase { Idle, Busy, DataIn, DataOut, Reset, Stuck };

    void Advance();
    void Busy(double ms, std::function<void()> then);
    void Done();
    void Fail(uint8_t error, uint64_t errorLba = UINT64_MAX);
    void Abort() { Fail(ata::kErAbrt); }
    void SendData(std::vector<uint8_t> data, double firstMs, double perSectorMs);
    void ReceiveData(uint32_t sectors, uint32_t trailingBytes,
                     std::function<double(uint32_t, const uint8_t*, const uint8_t*)> onSector,
                     std::function<void()> onDone);
    void DataOutSectorComplete();
    void StateChanged();

    // Checks a sector command's form, lock state, range and defects; on
    // any of them the command is already ended and false returned.
    bool MediaRange(bool ext, uint64_t& lba, uint64_t& count);

    // Commands.
    void Execute(uint8_t cmd);
    void CmdIdentify();
    void CmdVerify(bool ext);
    void CmdRead(bool ext);
    void CmdWrite(bool ext);
    void CmdWriteLong();
    void CmdSeek();
    void CmdSmart();
    void CmdReadNativeMax(bool ext);
    void CmdSetMax(bool ext);
    void CmdSecurity(uint8_t cmd);

    // Helpers.
    uint64_t Lba28() const;
    uint64_t Lba48() const;
    uint32_t Count28() const;
    uint32_t Count48() const;
    void SetResultLba(uint64_t lba, bool ext);
    double MediaMs(uint64_t lba, uint64_t count);
    double ZoneMs(uint64_t lba) const;
    // First failing sector of [lba, lba+count) and its error; false if none.
    bool FindFailure(uint64_t lba, uint64_t count, uint64_t& where, uint8_t& error, double& ms) const;
    std::vector<uint8_t> IdentifyData() const;
    std::vector<uint8_t> SmartData() const;
    std::vector<uint8_t> SmartThresholds() const;
    bool PasswordMatches(const uint8_t* given, bool master) const;
    void FinishErase();
    const Fault* TakeFault(uint8_t cmd);

    DriveSpec m_spec;
    std::vector<SmartAttributeSpec> m_attributes;
    PersistentState m_state;
    std::function<void()> m_onStateChange;
    DataStore m_data;

    // Register file: [0] current, [1] previous (the 48-bit high-order byte).
    uint8_t m_feature[2]{};
    uint8_t m_count[2]{};
    uint8_t m_lbaLow[2]{};
    uint8_t m_lbaMid[2]{};
    uint8_t m_lbaHigh[2]{};
    uint8_t m_device = 0;
    uint8_t m_error = 0x01;
    uint8_t m_status = ata::kStDrdy | ata::kStDsc;

    Phase m_phase = Phase::Idle;
    Clock::time_point m_busyUntil{};
    std::function<void()> m_afterBusy;
    std::vector<uint8_t> m_buffer;
    size_t m_pos = 0;
    double m_perSectorMs = 0;
    // Data-out bookkeeping.
    uint32_t m_outSectors = 0;
    uint32_t m_outIndex = 0;
    uint32_t m_outTrailing = 0;
    std::function<double(uint32_t, const uint8_t*, const uint8_t*)> m_onSectorOut;
    std::function<void()> m_onOutDone;

    std::deque<Fault> m_faults;
    bool m_absent = false;
    ata::Taskfile m_lastTaskfile;
    uint64_t m_commandCount = 0;
    std::deque<uint8_t> m_log;  // last opcodes, newest last

    uint64_t m_head = 0;  // where the heads are (next sequential LBA)
    uint64_t m_currentMax = 0;
    bool m_nativeMaxJustRead = false;
    bool m_locked = false;
    bool m_frozen = false;
    bool m_erasePrepared = false;
    bool m_eraseRunning = false;
    bool m_expired = false;
    int m_attempts = 0;
    Clock::time_point m_born;
    std::optional<int> m_fixedTemperature;
};

}  // namespace sim
