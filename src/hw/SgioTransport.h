#pragma once
// A drive that a kernel ATA driver owns (AHCI, or a USB bridge that passes
// ATA through), reached with ATA PASS-THROUGH (16) over SG_IO.
//
// Registers come back only in sense data: CK_COND is set on non-data
// commands whose registers the layer reads back (READ NATIVE MAX), never on
// data commands; errors bring them anyway.  Sample() gives the registers of
// the last command (a success without registers reads as status 50h, and
// nothing before the first command reads as 0), so the monitor never sends a
// command of its own.
//
// Every command carries its own SG_IO time-out: the connection's, or the
// request's own (SECURITY ERASE UNIT: from the drive's estimate).  SECURITY
// ERASE UNIT runs on a thread of its own: Execute returns once the drive
// has had a moment to refuse it, Ready() then reports busy until it ends,
// and a command sent meanwhile waits at most the connection's time-out for
// it before it gives up as a time-out without reaching the drive.
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "hw/PassThrough.h"
#include "hw/SgioCdb.h"
#include "hw/Transport.h"

namespace ata {

class SgioTransport : public Transport {
public:
    SgioTransport(std::shared_ptr<SgNode> node, std::string path);
    ~SgioTransport() override;

    void Select() override {}
    void Configure(uint16_t timeOutSeconds) override;
    Result Execute(const Request& request) override;
    Result Reset() override;
    int32_t Ready(Result& r) override;
    bool ShowsError() override;
    uint8_t Sample(Register r) override;
    Caps caps() const override { return Caps{false, true}; }
    Address address() const override;

    // How long Execute gives SECURITY ERASE UNIT to be refused before it
    // counts as running (tests shorten it).
    void SetStartGrace(std::chrono::milliseconds grace) { m_grace = grace; }

private:
    struct Flight;
    Result Run(const Request& rq, std::vector<uint8_t>& scratch);
    Result StartInFlight(const Request& rq);
    // Waits up to `limit` for the command in flight; true when none is left.
    bool Land(std::chrono::milliseconds limit);
    void Remember(const Result& r);

    std::shared_ptr<SgNode> m_node;
    std::string m_path;
    uint16_t m_timeOut = 10;
    std::chrono::milliseconds m_grace{300};
    // Status (low byte) and error (high byte) of the last command, for
    // Sample() from any thread.
    std::atomic<uint16_t> m_regs{0};
    std::shared_ptr<Flight> m_flight;
    std::vector<uint8_t> m_scratch;  // data-out assembled for the kernel
};

// One SCSI command through a node and what came back: for what the layer does
// not send itself (the control mode page, checks that look at raw sense).
struct SgExchange {
    int err = 0;  // the ioctl's errno, 0 when it ran
    sg_io_hdr_t h{};  // as the ioctl left it (its pointers are stale once returned)
    std::array<uint8_t, 64> sense{};
    sgio::Reply reply() const;
};
SgExchange SendCdb(SgNode& node, const sgio::Cdb& cdb, int direction = SG_DXFER_NONE, void* data = nullptr,
                   uint32_t bytes = 0, uint32_t timeoutMs = 10000);

// Sets or clears D_SENSE in the control mode page of the drive behind
// `node` (MODE SENSE (10), then MODE SELECT (10) of page 0Ah), so that the
// kernel reports errors in descriptor format with every register.  False
// with the reason when it cannot.
bool SetDescriptorSense(SgNode& node, bool on, std::string* why);

}  // namespace ata
