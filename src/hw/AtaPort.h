#pragma once
// The ATA register protocol over the port layer: everything that touches a
// channel's registers for the command layer (Ata.cpp) is here, so that
// another way of reaching a drive can stand beside it.
#include <cstdint>

#include "hw/Ata.h"

namespace ata::port {

// One command, from the device selection to its completion, bounded by the
// connection's time-out.
Result Command(const Connection& c, const Request& rq);

// SRST, then our device selected again.  See SoftReset in Ata.h.
Result Reset(const Connection& c);

// WaitReady's reading of the status (see Ata.h for the values).  `running`:
// a command was left running (SECURITY ERASE UNIT); it is cleared once the
// drive has finished.  A failure is described in `r`.
int32_t Ready(const Connection& c, bool& running, Result& r);

// Whether the drive shows the end of a command with ERR or DF now.
bool ShowsError(const Connection& c);

// Sets nIEN in the device control register: we poll, so the drive must not
// leave an interrupt pending for anyone.
void MaskInterrupts(const Connection& c);

// Whether a status byte is what an undriven bus reads.
inline bool Floating(uint8_t status) { return status == 0xFF || status == 0x7F; }

}  // namespace ata::port
