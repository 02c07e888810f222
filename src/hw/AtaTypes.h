#pragma once
#include <cstddef>
#include <cstdint>

namespace ata {

// The command block as the host writes it; for 48-bit commands the *Hob
// fields are the high-order ("previous") bytes written first.
struct Taskfile {
    uint8_t feature = 0;
    uint8_t count = 0;
    uint8_t lbaLow = 0;
    uint8_t lbaMid = 0;
    uint8_t lbaHigh = 0;
    uint8_t device = 0;
    uint8_t command = 0;
    uint8_t featureHob = 0;
    uint8_t countHob = 0;
    uint8_t lbaLowHob = 0;
    uint8_t lbaMidHob = 0;
    uint8_t lbaHighHob = 0;
    bool ext = false;

    // 28-bit LBA form: bits 24-27 go to the device register.
    static Taskfile Lba28(uint8_t command, uint64_t lba, uint32_t count, uint8_t feature = 0);
    // 48-bit form.
    static Taskfile Lba48(uint8_t command, uint64_t lba, uint32_t count, uint16_t feature = 0);

    uint64_t Lba28Address() const;  // from low/mid/high and device bits 0-3
    uint64_t Lba48Address() const;
};

enum class Protocol {
    NonData,
    PioIn,
    PioOut,
    // PIO data-out whose command then runs for long (SECURITY ERASE UNIT): the
    // call returns once the data is taken and the drive has had a moment to
    // refuse it, without waiting for the end.
    PioOutStart,
};

enum class Outcome {
    Ok,
    DeviceError,      // the drive ended the command with ERR (or DF)
    Timeout,          // BSY or DRQ did not come within the time-out
    NoDevice,         // before the command the bus floats (0xFF, 0x7F) or the device reads 0x00
    ProtocolError,    // a data request where none is due: after the last block, or left
                      // pending from an earlier command (only a reset ends it)
    NotInitialised,   // no InitDLL yet
    InvalidArgument,  // count or address outside what the command can carry
    Refused,          // the kernel refused the command (or the access to the drive) and
                      // never sent it: osError or the sense data say why
    InUse,            // not sent: it would write to or change a drive the system uses
                      // (mounted, swap, device-mapper); InUseGuard.h
};

// One command.  Build it with NonData, In or Out: they set the data
// direction, the sector count in the taskfile and the size of the buffer
// together, so that a transport that takes the transfer length from the
// taskfile (ATA pass-through) moves what the buffer holds.
struct Request {
    static Request NonData(const Taskfile& tf);
    // PIO data-in of `sectors` × 512 bytes into `buffer`.
    static Request In(const Taskfile& tf, uint8_t* buffer, uint32_t sectors);
    // PIO data-out of `sectors` × 512 bytes from `buffer`; with `repeat` the
    // same 512 bytes for every sector.
    static Request Out(const Taskfile& tf, const uint8_t* buffer, uint32_t sectors, bool repeat = false);

    // The bytes the data phase moves, trailing bytes included.
    uint32_t DataBytes() const { return sectors * 512 + trailingCount; }

    Taskfile tf;
    Protocol protocol = Protocol::NonData;
    uint8_t* in = nullptr;         // PioIn: sectors × 512 bytes
    const uint8_t* out = nullptr;  // PioOut: sectors × 512 bytes
    uint32_t sectors = 0;          // data sectors
    // PioOut only: the same 512 bytes for every sector (out points to one).
    bool repeatOut = false;
    // Bytes written one at a time after the data (WRITE LONG's ECC bytes),
    // as long as the drive asks for them; one that asks for more gets the
    // last byte again.
    const uint8_t* trailingBytes = nullptr;
    uint32_t trailingCount = 0;
    bool readBack = false;         // read the registers back after completion
    // A time-out of its own (seconds) where the command may run longer than
    // the connection's (SECURITY ERASE UNIT on a transport that waits for its
    // end); 0: the connection's.
    uint32_t timeoutSeconds = 0;
};

struct Result {
    Outcome outcome = Outcome::NotInitialised;
    uint8_t status = 0;
    uint8_t error = 0;
    int64_t micros = -1;  // command write to BSY clear
    Taskfile regs;        // registers read back (when asked)
    // Refused, and failures of the system call: the errno (positive), or
    // the sense key, ASC and ASCQ of a refusal (negative, sgio::SenseCode).
    int osError = 0;
    bool ok() const { return outcome == Outcome::Ok; }
};

const char* OutcomeName(Outcome o);

// The registers the lamps and the scan look at outside a command.
enum class Register {
    AltStatus,  // the status without side effects (the monitor)
    Status,     // the status register (a read acknowledges a pending interrupt)
    Error,
};

}  // namespace ata
