#pragma once
// ATA PASS-THROUGH as the SCSI layer carries it: the CDB made from a
// request, and the command's outcome and registers read from what SG_IO
// returns (SCSI status, host and driver status, sense data).  Pure functions,
// no system calls.
//
// The registers come back in sense data: the ATA Status Return descriptor
// (descriptor format: always after CK_COND, and for errors once D_SENSE is
// set), or fixed format for errors, in the layout of kernels before 6.10
// (error at byte 8, status 9, device 10, count 11, the extend flag at 16, LBA
// 7:0 at 17, VALID clear) or of 6.10 and later (the information field, bytes
// 3-6: error, status, device, count; bytes 8-11: flags and LBA 23:0; VALID
// set).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "hw/AtaTypes.h"

namespace ata::sgio {

constexpr uint8_t kOpAta16 = 0x85;
constexpr uint8_t kOpAta12 = 0xA1;
constexpr uint8_t kOpModeSense10 = 0x5A;
constexpr uint8_t kOpModeSelect10 = 0x55;

// The protocol field of the CDB.
constexpr uint8_t kProtoNonData = 3;
constexpr uint8_t kProtoPioIn = 4;
constexpr uint8_t kProtoPioOut = 5;

// SCSI status, sense keys and the host/driver codes SG_IO reports.
constexpr uint8_t kScsiGood = 0x00;
constexpr uint8_t kScsiCheckCondition = 0x02;
constexpr uint8_t kKeyNoSense = 0x0;
constexpr uint8_t kKeyRecovered = 0x1;
constexpr uint8_t kKeyMedium = 0x3;
constexpr uint8_t kKeyIllegalRequest = 0x5;
constexpr uint8_t kKeyAborted = 0xB;
constexpr uint16_t kDidOk = 0x00;
constexpr uint16_t kDidNoConnect = 0x01;
constexpr uint16_t kDidBusBusy = 0x02;
constexpr uint16_t kDidTimeOut = 0x03;
constexpr uint16_t kDidBadTarget = 0x04;
constexpr uint16_t kDidAbort = 0x05;
constexpr uint16_t kDidError = 0x07;
constexpr uint16_t kDriverTimeout = 0x06;  // low nibble of driver_status
constexpr uint16_t kDriverSense = 0x08;

struct Cdb {
    std::array<uint8_t, 16> bytes{};
    uint8_t length = 0;
    const uint8_t* data() const { return bytes.data(); }
};

// ATA PASS-THROUGH (16) of a request.  `ckCond` asks for the registers
// after success too (only for non-data commands: a PIO data-in command with
// CK_COND comes back as an error on some hosts).  The transfer length is the
// taskfile's count in 512-byte blocks.
Cdb Ata16(const Request& rq, bool ckCond);
// ATA PASS-THROUGH (12): 28-bit taskfiles only (nullopt for a 48-bit one).
std::optional<Cdb> Ata12(const Request& rq, bool ckCond);

// What an ATA PASS-THROUGH CDB asks for, as the kernel reads it.
struct AtaCdb {
    Taskfile tf;
    uint8_t protocol = 0;
    uint8_t multipleCount = 0;
    bool ckCond = false;
    bool dirIn = false;      // T_DIR
    bool blocks = false;     // BYT_BLOK
    uint8_t tLength = 0;     // T_LENGTH: 0 none, 2 the count field, ...
};
std::optional<AtaCdb> ParseAtaCdb(const uint8_t* cdb, size_t length);

// Sense data as far as the outcome needs it.
struct Sense {
    bool present = false;
    bool descriptor = false;
    uint8_t key = 0, asc = 0, ascq = 0;
    // Registers found: an ATA Status Return descriptor, or fixed format of
    // either layout.  `fullLba`: all 48 bits of the LBA are there.
    bool registers = false;
    bool fullLba = false;
    uint8_t status = 0, error = 0;
    Taskfile regs;
};
Sense ParseSense(const uint8_t* sense, size_t length);

// What one SG_IO returned.
struct Reply {
    uint8_t scsiStatus = 0;     // status (not masked_status)
    uint16_t hostStatus = 0;
    uint16_t driverStatus = 0;
    const uint8_t* sense = nullptr;
    size_t senseLength = 0;     // sb_len_wr
};

// The outcome and registers of a command:
//   done                 GOOD, or sense with registers and neither ERR nor DF;
//                        a success without registers reads as status 50h
//   device error         registers with ERR or DF (whatever the sense key)
//   refused              ILLEGAL REQUEST without such registers: the kernel
//                        (24/00) or a bridge (20/00) never sent it
//   time-out             the host's or driver's time-out, or ABORTED COMMAND
//                        without ERR (the kernel gave up on the command and
//                        reset the link)
//   no device            the host lost the target
//   protocol error       anything else
// `rq` says whether registers were read back (readBack) and the addressing
// form.  `micros` is left to the caller.
Result Interpret(const Reply& reply, const Request& rq);

// The sense key, ASC and ASCQ of a refused command packed for Result.osError
// (negative, so that it is never taken for an errno).
constexpr int SenseCode(uint8_t key, uint8_t asc, uint8_t ascq)
{
    return -((int(key) << 16) | (int(asc) << 8) | int(ascq));
}

// MODE SENSE (10) of the control mode page (0Ah), block descriptors left out,
// and MODE SELECT (10) of `paramLength` bytes of parameter list (PF set).
Cdb ModeSenseControl(uint16_t allocation);
Cdb ModeSelect10(uint16_t paramLength);
// The D_SENSE bit of the control mode page: byte 2, bit 2.
constexpr uint8_t kDSenseBit = 0x04;

}  // namespace ata::sgio
