#pragma once
// The ATA command layer: the 19 functions every window calls, over one
// primitive that executes a taskfile through the port layer.
//
// Results: functions that say success or failure return a 32-bit value whose
// low byte is non-zero on success.  Timed commands (VerifySectors, SeekLBA)
// return the microseconds from the command write to BSY clear, or a negative
// value on failure (see ata::Outcome for which one).
#include <cstdint>

#include "hw/AtaTypes.h"

class MonitorControl;

// Sets nIEN on the channel: the layer polls, and no interrupt may be left
// pending for a kernel driver or the BIOS.
void InitDLL(uint16_t basePort, uint16_t altPort, uint8_t device, uint16_t timeOutSeconds,
             int64_t counterFrequency, MonitorControl* monitorThread);
// SRST, then our device selected again.  Succeeds when the drive is ready
// (BSY clear, DRDY set) without a pending data request or a device fault;
// otherwise LastResult() says why: no device (the bus floats before the
// reset, or reads 0x00 after it), time-out (BSY or DRDY never came), protocol
// error (DRQ still set), device error (DF).
int32_t SoftReset();
int32_t IdentifyDevice(uint8_t* buffer512);
int32_t SetSMARTEnabled(uint8_t enable);
int32_t GetSMARTAttributes(uint8_t* buffer512);
int32_t GetSMARTThresholds(uint8_t* buffer512);
int32_t GetMaxHPA(int64_t* nativeMaxAddress, uint8_t lba48);
int32_t SetMaxHPA(int64_t newMaxAddress, uint8_t lba48);
// Security commands (F1 set password, F2 unlock, F3 erase prepare, F4 erase
// unit, F5 freeze lock, F6 disable password).  `type` 1 is the master
// password; `level` 1 is the maximum level with F1, and the enhanced erase
// mode with F4; other commands ignore it.
int32_t SecurityAction(const char* password, uint8_t type, uint8_t level, uint8_t command);
// The drive's state now: 0 ready (the command left running has ended), 1
// busy, 2 not ready yet (BSY and DRDY clear), 255 failed: no device, ERR or
// DF, or a data request nobody serves (LastResult() says which).
int32_t WaitReady();
int32_t ERR();
int32_t VerifySectors(int64_t lba, int64_t count, uint8_t lba48);
int32_t SeekLBA(int64_t lba);
int32_t MakeSoftBad(int64_t lba);
int32_t EraseSector(int64_t lba, int64_t count, uint8_t lba48, uint8_t randomFill, uint8_t fillByte);
void MonitorPause();
void MonitorContinue();
// The layer keeps the error register byte of the last failed command for
// ERR() and for diagnostics; ClearErrorReg() forgets it and SetErrorReg()
// records the byte a caller read from the drive itself.  Neither touches
// the drive.
void ClearErrorReg();
void SetErrorReg(uint8_t value);

namespace ata {

// What the last command did, in full (for messages and the command line).
Result LastResult();
uint8_t LastErrorRegister();

// The primitive: select the device, write the taskfile, run the data phase,
// wait for completion, all bounded by the time-out.  Thread-safe: commands
// from several threads are carried out one after the other.
Result Execute(const Request& request);

// The settings InitDLL received.
struct Connection {
    uint16_t basePort = 0;
    uint16_t altPort = 0;
    uint8_t device = 0;
    uint16_t timeOutSeconds = 10;
    int64_t counterFrequency = 0;
    MonitorControl* monitor = nullptr;
    bool initialised = false;
};
Connection CurrentConnection();

// Negative results of the timed commands, by outcome.
int32_t TimedFailureCode(Outcome o);

}  // namespace ata
