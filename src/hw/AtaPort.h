#pragma once
// The ATA register protocol over the port layer: everything that touches a
// channel's registers for the command layer (Ata.cpp) is here, behind the
// port transport.
#include <cstdint>

#include "hw/Ata.h"
#include "hw/Transport.h"

class PortBackend;

namespace ata {

// A drive on an IDE channel, reached through its command block and control
// registers: the register protocol of a host that polls.
class PortTransport : public Transport {
public:
    // `ports`: the backend to use; null for the process's (PortIo.h), taken
    // at every call, so that tests may install another one between cases.
    PortTransport(uint16_t basePort, uint16_t altPort, uint8_t device, PortBackend* ports = nullptr);

    void Select() override;
    void Configure(uint16_t timeOutSeconds) override;
    Result Execute(const Request& request) override;
    Result Reset() override;
    int32_t Ready(Result& r) override;
    bool ShowsError() override;
    uint8_t Sample(Register r) override;
    Caps caps() const override { return Caps{true, false}; }
    Address address() const override;

private:
    PortBackend& Ports() const;

    Connection m_c;
    PortBackend* m_ports;
    // SECURITY ERASE UNIT was left running; cleared once the drive is done.
    bool m_running = false;
};

namespace port {

// One command, from the device selection to its completion, bounded by the
// connection's time-out.
Result Command(PortBackend& ports, const Connection& c, const Request& rq);

// SRST, then our device selected again.  See SoftReset in Ata.h.
Result Reset(PortBackend& ports, const Connection& c);

// WaitReady's reading of the status (see Ata.h for the values).  `running`:
// a command was left running (SECURITY ERASE UNIT); it is cleared once the
// drive has finished.  A failure is described in `r`.
int32_t Ready(PortBackend& ports, const Connection& c, bool& running, Result& r);

// Whether a status byte is what an undriven bus reads.
inline bool Floating(uint8_t status) { return status == 0xFF || status == 0x7F; }

}  // namespace port

}  // namespace ata
