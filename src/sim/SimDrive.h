#pragma once
// One simulated ATA drive: its register file, the command set the program
// uses and a behaviour model (timing, defects, SMART, host protected area,
// security).  The channel calls the bus side with the machine lock held.
//
// Commands go through one entry point (WriteCommand) and a table of handlers
// with flags; see SimDriveCommands.cpp.  The rest lives in SimDrive.cpp (bus
// side, data phases, timing), SimDriveIdentify.cpp (IDENTIFY and SMART) and
// SimDriveSecurity.cpp.
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
        BsyStuck,        // BSY is set and never clears (until a reset)
        DrqMissing,      // the data phase never asks for data: no DRQ, no ERR
        Error,           // the command ends with ERR and `error` in the error register
        DeviceFault,     // the command ends with DF, and with ERR when `error` is not 0
        ExtraDrq,        // after its last block the command asks for one block more
        FloatWhileBusy,  // for the first millisecond of the command BSY reads as 0xFF
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

// One register access on an IDE bus takes at least this long; the status
// latency of a drive is measured in such accesses.
constexpr double kBusCycleNs = 100.0;

class Drive {
public:
    explicit Drive(const DriveSpec& spec);

    // ---- bus side -------------------------------------------------------
    void LatchRegister(uint8_t reg, uint8_t value);  // registers 1-5 (both devices latch)
    void LatchDevice(uint8_t value);
    uint8_t ReadRegister(uint8_t reg, bool hob);     // registers 1-6
    // The status register (`acknowledge`: the read also clears a pending
    // interrupt) or the alternate status (false).
    uint8_t Status(bool acknowledge = false);
    void WriteCommand(uint8_t command);
    uint16_t ReadData16();
    uint8_t ReadData8();
    void WriteData16(uint16_t value);
    void WriteData8(uint8_t value);
    // Runs of data words the drive takes at once (up to `max`; 0: word by
    // word), each word one bus cycle the caller has counted.
    size_t DataInRun(size_t max);
    void ReadDataRun(uint16_t* words, size_t run);
    size_t DataOutRun(size_t max);
    void WriteDataRun(const uint16_t* words, size_t run);
    // The device control register: SRST and nIEN.
    void WriteControl(uint8_t control);
    uint8_t LatchedDevice() const { return m_device; }
    // False while BSY or DRQ is set: the device register may not be written
    // then, and the drive does not take such a write.
    bool AcceptsSelect();
    // The bus clock of the channel (register accesses so far).
    void SetBusClock(const uint64_t* cycles) { m_busClock = cycles; }

    // ---- test and inspection side ----------------------------------------
    const DriveSpec& Spec() const { return m_spec; }
    void AddFault(const Fault& f) { m_faults.push_back(f); }
    void ClearFaults() { m_faults.clear(); }
    void SetAbsent(bool absent) { m_absent = absent; }
    bool Absent() const { return m_absent; }
    // A drive whose status reads `status` whatever it is asked, resets
    // included (nullopt: the drive works again).
    void SetStuckStatus(std::optional<uint8_t> status) { m_stuckStatus = status; }
    // A security erase in progress fails: the drive gives up and ends the
    // command with ERR and `error`, leaving its data and its password as
    // they are.  False when no erase is running.
    bool FailErase(uint8_t error = ata::kErAbrt);
    // Power off and on: security locks again when enabled, volatile settings
    // are lost.
    void PowerCycle();
    // The taskfile of the last command written, as the drive latched it.
    const ata::Taskfile& LastTaskfile() const { return m_lastTaskfile; }
    uint64_t CommandCount() const { return m_commandCount; }
    std::vector<uint8_t> CommandLog() const { return {m_log.begin(), m_log.end()}; }
    // Soft resets (SRST) the drive has seen.
    uint64_t ResetCount() const { return m_resets; }
    // Interrupts the drive raised while nIEN let them through.
    uint64_t InterruptsRaised() const { return m_interrupts; }
    // Commands that ended with ERR and a zero error register or the other
    // way round, without a script asking for it: a fault of the model.
    uint64_t RuleBreaks() const { return m_ruleBreaks; }
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
    // What READ NATIVE MAX ADDRESS left for a following SET MAX ADDRESS.
    enum class NativeMaxRead { None, Lba28, Lba48 };
    using OnSectorOut = std::function<double(uint32_t index, const uint8_t* data, const uint8_t* trailing)>;

    // ---- command table (SimDriveCommands.cpp) ----
    enum Flag : uint16_t {
        kExt = 1 << 0,        // the 48-bit form: refused without 48-bit addressing
        kMedia = 1 << 1,      // touches the media: refused while security locks the drive
        kHpa = 1 << 2,        // host protected area feature set
        kSmart = 1 << 3,      // SMART feature set
        kSecurity = 1 << 4,   // security feature set
    };
    struct Command {
        void (Drive::*handler)() = nullptr;
        uint16_t flags = 0;
    };
    static const std::array<Command, 256>& Table();
    bool Refused(uint16_t flags) const;
    bool RunFault(const Fault& f);

    // ---- timing and data phases (SimDrive.cpp) ----
    void Advance()
    {
        if (m_phase == Phase::Busy)
            AdvanceBusy();
    }
    void AdvanceBusy();
    void Busy(double ms, std::function<void()> then);
    void Done();
    // Ends the command with ERR and `error`.  `scripted`: a scripted fault
    // may report ERR with an error register of 0.
    void Fail(uint8_t error, uint64_t errorLba = UINT64_MAX, bool scripted = false);
    void Abort() { Fail(ata::kErAbrt); }
    void AbortSoon();
    void CheckRule(bool scripted);
    void RaiseInterrupt();
    void StartLatency();
    bool Latent() { return m_latent && StillLatent(); }
    bool StillLatent();
    uint8_t Visible() const;  // the status as the phase gives it
    uint64_t BusNow() const { return m_busClock ? *m_busClock : 0; }
    bool TakeExtraBlock();
    void SendData(std::vector<uint8_t> data, double firstMs, double perSectorMs);
    void DataInSectorComplete();
    void ReceiveData(uint32_t sectors, uint32_t trailingBytes, OnSectorOut onSector, std::function<void()> onDone);
    void DataOutSectorComplete();
    size_t DataOutExpected() const;
    void StateChanged();

    // ---- media and host protected area (SimDriveCommands.cpp) ----
    // Checks a sector command's range and defects; on either the command is
    // already ended and false returned.
    bool MediaRange(bool ext, uint64_t& lba, uint64_t& count);
    void CmdVerify();
    void CmdVerifyExt();
    void Verify(bool ext);
    void CmdRead();
    void CmdReadExt();
    void Read(bool ext);
    void CmdWrite();
    void CmdWriteExt();
    void Write(bool ext);
    void CmdWriteLong();
    void CmdSeek();
    void CmdReadNativeMax();
    void CmdReadNativeMaxExt();
    void ReadNativeMax(bool ext);
    void CmdSetMax();
    void CmdSetMaxExt();
    void SetMax(bool ext);
    uint64_t Lba28() const;
    uint64_t Lba48() const;
    uint32_t Count28() const;
    uint32_t Count48() const;
    void SetResultLba(uint64_t lba, bool ext);
    double MediaMs(uint64_t lba, uint64_t count);
    double ZoneMs(uint64_t lba) const;
    // First failing sector of [lba, lba+count) and its error; false if none.
    bool FindFailure(uint64_t lba, uint64_t count, uint64_t& where, uint8_t& error, double& ms) const;

    // ---- identify and SMART (SimDriveIdentify.cpp) ----
    void CmdIdentify();
    void CmdSmart();
    std::vector<uint8_t> IdentifyData() const;
    std::vector<uint8_t> SmartData() const;
    std::vector<uint8_t> SmartThresholds() const;

    // ---- security (SimDriveSecurity.cpp) ----
    void CmdSecurityFreezeLock();
    void CmdSecurityErasePrepare();
    void CmdSecurityBlock();
    double SecurityCommand(uint8_t cmd, const ata::SecurityBlock& b, uint8_t& error);
    bool PasswordMatches(const uint8_t* given, bool master) const;
    void FinishErase();

    double Ms(double ms) const { return ms * m_spec.timeScale; }

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
    uint8_t m_busyStatus = ata::kStBsy | ata::kStDrdy | ata::kStDsc;
    Clock::time_point m_floatUntil{};  // FloatWhileBusy: BSY reads 0xFF until then
    bool m_scriptedEnd = false;        // the running command ends as a fault script says
    bool m_extraBlock = false;         // ExtraDrq armed for the running command
    std::vector<uint8_t> m_buffer;
    size_t m_pos = 0;
    double m_perSectorMs = 0;
    // Data-out bookkeeping.
    uint32_t m_outSectors = 0;
    uint32_t m_outIndex = 0;
    uint32_t m_outTrailing = 0;
    OnSectorOut m_onSectorOut;
    std::function<void()> m_onOutDone;

    // Status latency: after a command or a PIO block the drive goes on
    // showing `m_shownStatus` (and takes no data) until the latency has
    // passed on the bus.
    bool m_latent = false;
    uint8_t m_shownStatus = 0;
    uint64_t m_latentSinceCycle = 0;
    const uint64_t* m_busClock = nullptr;

    bool m_interruptsMasked = false;  // nIEN
    bool m_intrq = false;
    uint64_t m_interrupts = 0;
    uint64_t m_resets = 0;
    uint64_t m_ruleBreaks = 0;
    std::optional<uint8_t> m_stuckStatus;

    std::deque<Fault> m_faults;
    bool m_absent = false;
    ata::Taskfile m_lastTaskfile;
    uint64_t m_commandCount = 0;
    std::deque<uint8_t> m_log;  // last opcodes, newest last

    uint64_t m_head = 0;  // where the heads are (next sequential LBA)
    uint64_t m_currentMax = 0;
    NativeMaxRead m_nativeMaxRead = NativeMaxRead::None;
    NativeMaxRead m_lastNativeMax = NativeMaxRead::None;  // as the running command found it
    bool m_preparedForErase = false;                        // likewise for SECURITY ERASE PREPARE
    bool m_setMaxKept = false;  // a non-volatile SET MAX was carried out this power cycle
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
