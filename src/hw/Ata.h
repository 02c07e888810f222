#pragma once
// The ATA command layer: the 19 functions every window calls, over one
// primitive that executes a taskfile through the port layer.
//
// Results: functions that say success or failure return a 32-bit value whose
// low byte is non-zero on success.  Timed commands (VerifySectors, SeekLBA)
// return the microseconds from the command write to BSY clear, or a negative
// value on failure (see ata::Outcome for which one).
#include <cstdint>
#include <memory>
#include <string>

#include "hw/AtaTypes.h"

class MonitorControl;

namespace ata {
class Transport;
}

// Connects the layer to the drive on a channel (a port transport) and sets
// nIEN there: the layer polls, and no interrupt may be left pending for a
// kernel driver or the BIOS.  With base port 0 while the layer talks to a
// pass-through drive (which has no ports), that connection stays and only
// the time-out, the counter frequency and the monitor change.
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

// The primitive: one command through the connection's transport, bounded
// by the time-out.  Thread-safe: commands from several threads are carried
// out one after the other.
Result Execute(const Request& request);

// Connects the layer to a drive through `transport` (InitDLL is this with a
// port transport): every command goes there from now on.  Null disconnects.
void Connect(std::shared_ptr<Transport> transport, uint16_t timeOutSeconds, int64_t counterFrequency,
             MonitorControl* monitor);
std::shared_ptr<Transport> CurrentTransport();

// A register as the connection's transport shows it (Transport::Sample):
// live on a channel, the last command's on a pass-through drive.  Never
// waits for a command.  0 when not connected.
uint8_t SampleRegister(Register r);

// The monitor is going away: the layer no longer pauses or resumes it.
void ForgetMonitor(MonitorControl* monitor);

// The settings of the connection.
struct Connection {
    uint16_t basePort = 0;
    uint16_t altPort = 0;
    uint8_t device = 0;
    std::string path;  // a pass-through drive's device node; empty on a channel
    uint16_t timeOutSeconds = 10;
    int64_t counterFrequency = 0;
    MonitorControl* monitor = nullptr;
    bool initialised = false;
};
Connection CurrentConnection();

// The SG_IO time-out of SECURITY ERASE UNIT from the drive's estimate
// (identify word 89, or 90 for the enhanced erase): twice the estimate and at
// least an hour; a week when the drive gives none, or only "more than 508
// minutes".
uint32_t EraseTimeoutSeconds(uint16_t estimateWord);

// Negative results of the timed commands, by outcome.
int32_t TimedFailureCode(Outcome o);

}  // namespace ata
