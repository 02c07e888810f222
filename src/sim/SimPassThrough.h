#pragma once
// The simulated machine's stand-in for the kernel's SATA stack: a drive
// model behind an SG_IO interface.  It takes ATA PASS-THROUGH (16) and (12)
// as the kernel does (refusing what the kernel refuses: protocols other than
// non-data and PIO, SET FEATURES 03h, TRUSTED SEND/RECEIVE, a MULTIPLE_COUNT
// on a command that is not a multiple one, T_LENGTH 0 with data, a data
// direction the CDB does not ask for), runs the taskfile on the drive
// through the same register protocol the port transport speaks, and answers
// with SCSI status and sense data in the layout its spec gives: fixed format
// of kernels before 6.10 or of 6.10 and later, descriptor format once
// D_SENSE is set (MODE SELECT (10) of the control mode page), descriptor
// format always for CK_COND.  A command the drive does not finish within the
// request's time-out ends, after a reset, as ABORTED COMMAND with status 40h,
// as the kernel's does.
#include <scsi/sg.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "hw/AtaPort.h"
#include "hw/PortIo.h"
#include "sim/SimDrive.h"
#include "sim/SimSpec.h"

namespace sim {

class Channel;

class PassThroughDrive {
public:
    // `machineLock` is held around every register access of the drive, as
    // the machine's own ports are.
    PassThroughDrive(const PassThroughSpec& spec, std::mutex& machineLock);
    ~PassThroughDrive();

    const std::string& Name() const { return m_spec.name; }
    const PassThroughSpec& Spec() const { return m_spec; }
    Drive* Model();
    // Errors come in descriptor format (D_SENSE set).
    bool DescriptorSense() const { return m_dsense.load(); }
    // SG_IO requests answered so far.
    uint64_t Requests() const { return m_requests.load(); }

    // One SG_IO request, as the ioctl would answer it: 0 or an errno.  Any
    // thread; requests to one drive are carried out one after the other.
    int Io(sg_io_hdr_t& h);

private:
    // The drive's registers, as the kernel's ATA driver reaches them.
    class Registers : public PortBackend {
    public:
        Registers(Channel& channel, std::mutex& lock) : m_channel(channel), m_lock(lock) {}
        uint8_t In8(uint16_t port) override;
        uint16_t In16(uint16_t port) override;
        uint32_t In32(uint16_t port) override { return In16(port); }
        void Out8(uint16_t port, uint8_t value) override;
        void Out16(uint16_t port, uint16_t value) override;
        void Out32(uint16_t port, uint32_t value) override { Out16(port, uint16_t(value)); }
        void In16Block(uint16_t port, uint16_t* words, size_t count) override;
        void Out16Block(uint16_t port, const uint16_t* words, size_t count) override;
        const char* Kind() const override { return "simulated"; }

    private:
        Channel& m_channel;
        std::mutex& m_lock;
    };

    int Ata(sg_io_hdr_t& h);
    int ModeSense(sg_io_hdr_t& h);
    int ModeSelect(sg_io_hdr_t& h);
    // CHECK CONDITION with this sense: ILLEGAL REQUEST and the CDB byte at
    // fault, or an ATA outcome with its registers.
    int Illegal(sg_io_hdr_t& h, uint8_t asc, uint8_t ascq, uint8_t field);
    int Sense(sg_io_hdr_t& h, uint8_t key, uint8_t asc, uint8_t ascq, const ata::Taskfile& regs, uint8_t status,
              uint8_t error, bool descriptor);
    ata::Taskfile ReadRegisters(bool ext);
    std::array<uint8_t, 12> ControlPage() const;

    PassThroughSpec m_spec;
    std::unique_ptr<Channel> m_channel;
    Registers m_registers;
    ata::PortTransport m_host;  // the kernel's side of the register protocol
    std::mutex m_serial;        // one request at a time
    std::atomic<bool> m_dsense{false};
    std::atomic<uint64_t> m_requests{0};
};

}  // namespace sim
