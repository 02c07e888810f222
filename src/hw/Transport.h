#pragma once
// A transport carries the ATA layer's commands to one drive: through the
// channel's registers (PortTransport, AtaPort.h) or through the kernel's ATA
// pass-through (SgioTransport.h).  The layer holds one per connection, and
// nothing above the layer knows which one it is.
//
// Threads: the layer calls everything but Sample() under its command lock,
// one call at a time.  Sample() may come from any thread at any moment (the
// monitor, the scan worker) and never waits for a command.
#include <cstdint>
#include <string>

#include "hw/AtaTypes.h"

namespace ata {

struct Caps {
    // Sample() reads the drive's registers as they are now; otherwise it
    // gives the registers the drive returned with the last command.
    bool liveRegisters = true;
    // A command that runs for hours (SECURITY ERASE UNIT) stays in flight
    // inside the transport, which waits for its end itself; WaitReady asks
    // the transport, not the drive.
    bool backgroundCommands = false;
};

// Where a transport reaches its drive: the channel's ports and device, or
// the device node of a pass-through drive.
struct Address {
    uint16_t basePort = 0;
    uint16_t altPort = 0;
    uint8_t device = 0;  // 0 master, 1 slave
    std::string path;    // pass-through: "/dev/sda", or the name of a simulated drive
};

class Transport {
public:
    virtual ~Transport() = default;

    // The device select at connection: makes our drive the one the channel
    // answers for.  Nothing to do where the drive is reached by itself.
    virtual void Select() = 0;
    // The connection's settings (InitDLL): the time-out of every command.
    // The port transport also masks the channel's interrupt (nIEN).
    virtual void Configure(uint16_t timeOutSeconds) = 0;

    // One command, from its taskfile to its outcome and registers.
    virtual Result Execute(const Request& request) = 0;
    // SRST on a channel; where the kernel owns the drive there is nothing to
    // reset, only a command in flight to wait for.
    virtual Result Reset() = 0;
    // WaitReady's reading: 0 ready (a command left running has ended), 1
    // busy, 2 not ready yet, 255 failed (`r` then says why; on entry it holds
    // the last result).
    virtual int32_t Ready(Result& r) = 0;
    // ERR(): the drive shows the end of a command with ERR or DF.
    virtual bool ShowsError() = 0;

    // The monitor's and the scan's view of a register (see Caps).
    virtual uint8_t Sample(Register r) = 0;

    virtual Caps caps() const = 0;
    virtual Address address() const = 0;
};

}  // namespace ata
