#include "hw/SgioCdb.h"

#include "hw/AtaDefs.h"

#include <algorithm>

namespace ata::sgio {

namespace {

// Byte 2 of the CDB: CK_COND (5), T_DIR (3), BYT_BLOK (2), T_LENGTH (1:0).
constexpr uint8_t kCkCond = 0x20;
constexpr uint8_t kTDirIn = 0x08;
constexpr uint8_t kBytBlok = 0x04;
constexpr uint8_t kTLengthCount = 0x02;

uint8_t ProtocolOf(const Request& rq)
{
    switch (rq.protocol) {
    case Protocol::PioIn: return kProtoPioIn;
    case Protocol::PioOut:
    case Protocol::PioOutStart: return kProtoPioOut;
    case Protocol::NonData: break;
    }
    return kProtoNonData;
}

uint8_t Flags(const Request& rq, bool ckCond)
{
    switch (rq.protocol) {
    case Protocol::PioIn: return kTDirIn | kBytBlok | kTLengthCount;
    case Protocol::PioOut:
    case Protocol::PioOutStart: return kBytBlok | kTLengthCount;
    case Protocol::NonData: break;
    }
    return uint8_t(kBytBlok | (ckCond ? kCkCond : 0));
}

// The device register as the CDB carries it: LBA addressing, and LBA 27:24
// of a 28-bit command (the master/slave bit is the kernel's business).
uint8_t DeviceByte(const Taskfile& tf) { return uint8_t(kDevLba | (tf.ext ? 0 : (tf.device & 0x0F))); }

// Registers of an ATA Status Return descriptor (code 09h, 12 bytes after
// its two-byte header).
void ReadStatusReturn(const uint8_t* d, Sense& s)
{
    s.registers = true;
    s.fullLba = true;
    s.regs.ext = (d[2] & 0x01) != 0;
    s.error = d[3];
    s.regs.countHob = d[4];
    s.regs.count = d[5];
    s.regs.lbaLowHob = d[6];
    s.regs.lbaLow = d[7];
    s.regs.lbaMidHob = d[8];
    s.regs.lbaMid = d[9];
    s.regs.lbaHighHob = d[10];
    s.regs.lbaHigh = d[11];
    s.regs.device = d[12];
    s.status = d[13];
}

Result Only(Outcome o)
{
    Result r;
    r.outcome = o;
    return r;
}

}  // namespace

Cdb Ata16(const Request& rq, bool ckCond)
{
    const Taskfile& t = rq.tf;
    Cdb c;
    c.length = 16;
    auto& b = c.bytes;
    b[0] = kOpAta16;
    b[1] = uint8_t((ProtocolOf(rq) << 1) | (t.ext ? 1 : 0));
    b[2] = Flags(rq, ckCond);
    b[3] = t.ext ? t.featureHob : 0;
    b[4] = t.feature;
    b[5] = t.ext ? t.countHob : 0;
    b[6] = t.count;
    b[7] = t.ext ? t.lbaLowHob : 0;
    b[8] = t.lbaLow;
    b[9] = t.ext ? t.lbaMidHob : 0;
    b[10] = t.lbaMid;
    b[11] = t.ext ? t.lbaHighHob : 0;
    b[12] = t.lbaHigh;
    b[13] = DeviceByte(t);
    b[14] = t.command;
    b[15] = 0;
    return c;
}

std::optional<Cdb> Ata12(const Request& rq, bool ckCond)
{
    const Taskfile& t = rq.tf;
    if (t.ext)
        return std::nullopt;
    Cdb c;
    c.length = 12;
    auto& b = c.bytes;
    b[0] = kOpAta12;
    b[1] = uint8_t(ProtocolOf(rq) << 1);
    b[2] = Flags(rq, ckCond);
    b[3] = t.feature;
    b[4] = t.count;
    b[5] = t.lbaLow;
    b[6] = t.lbaMid;
    b[7] = t.lbaHigh;
    b[8] = DeviceByte(t);
    b[9] = t.command;
    return c;
}

std::optional<AtaCdb> ParseAtaCdb(const uint8_t* b, size_t length)
{
    AtaCdb a;
    Taskfile& t = a.tf;
    if (length == 16 && b[0] == kOpAta16) {
        t.ext = (b[1] & 0x01) != 0;
        t.feature = b[4];
        t.count = b[6];
        t.lbaLow = b[8];
        t.lbaMid = b[10];
        t.lbaHigh = b[12];
        if (t.ext) {
            t.featureHob = b[3];
            t.countHob = b[5];
            t.lbaLowHob = b[7];
            t.lbaMidHob = b[9];
            t.lbaHighHob = b[11];
        }
        t.device = b[13];
        t.command = b[14];
    } else if (length == 12 && b[0] == kOpAta12) {
        t.feature = b[3];
        t.count = b[4];
        t.lbaLow = b[5];
        t.lbaMid = b[6];
        t.lbaHigh = b[7];
        t.device = b[8];
        t.command = b[9];
    } else {
        return std::nullopt;
    }
    a.multipleCount = uint8_t(b[1] >> 5);
    a.protocol = uint8_t((b[1] >> 1) & 0x0F);
    a.ckCond = (b[2] & kCkCond) != 0;
    a.dirIn = (b[2] & kTDirIn) != 0;
    a.blocks = (b[2] & kBytBlok) != 0;
    a.tLength = uint8_t(b[2] & 0x03);
    return a;
}

Sense ParseSense(const uint8_t* p, size_t n)
{
    Sense s;
    if (!p || n < 2)
        return s;
    const uint8_t code = p[0] & 0x7F;
    if (code == 0x72 || code == 0x73) {
        if (n < 4)
            return s;
        s.present = true;
        s.descriptor = true;
        s.key = p[1] & 0x0F;
        s.asc = p[2];
        s.ascq = p[3];
        // Descriptors follow the 8-byte header, as long as the additional
        // length (byte 7) and the buffer both say.
        const size_t end = n >= 8 ? std::min(n, size_t(8) + p[7]) : 0;
        for (size_t i = 8; i + 2 <= end;) {
            const size_t len = size_t(p[i + 1]) + 2;
            if (p[i] == 0x09 && p[i + 1] >= 0x0C && i + 14 <= end) {
                ReadStatusReturn(p + i, s);
                break;
            }
            i += len;
        }
        return s;
    }
    if (code == 0x70 || code == 0x71) {
        if (n < 14)
            return s;
        s.present = true;
        s.key = p[2] & 0x0F;
        s.asc = p[12];
        s.ascq = p[13];
        const bool valid = (p[0] & 0x80) != 0;
        if (valid) {
            // Kernel 6.10 and later: the standard places.
            s.registers = true;
            s.error = p[3];
            s.status = p[4];
            s.regs.device = p[5];
            s.regs.count = p[6];
            s.regs.ext = (p[8] & 0x80) != 0;
            s.regs.lbaLow = p[9];
            s.regs.lbaMid = p[10];
            s.regs.lbaHigh = p[11];
        } else if (n >= 18) {
            // Before 6.10: from byte 8 on; LBA 23:8 did not fit.
            s.registers = true;
            s.error = p[8];
            s.status = p[9];
            s.regs.device = p[10];
            s.regs.count = p[11];
            s.regs.ext = (p[16] & 0x80) != 0;
            s.regs.lbaLow = p[17];
        }
    }
    return s;
}

Result Interpret(const Reply& reply, const Request& rq)
{
    switch (reply.hostStatus) {
    case kDidOk: break;
    case kDidNoConnect:
    case kDidBadTarget: return Only(Outcome::NoDevice);
    case kDidTimeOut:
    case kDidAbort: return Only(Outcome::Timeout);
    default: return Only(Outcome::ProtocolError);
    }
    if ((reply.driverStatus & 0x0F) == kDriverTimeout)
        return Only(Outcome::Timeout);

    const Sense s = reply.senseLength ? ParseSense(reply.sense, reply.senseLength) : Sense{};
    Result r;
    if (s.registers) {
        r.status = s.status;
        r.error = s.error;
        r.regs = s.regs;
        r.regs.ext = rq.tf.ext;
        if (!rq.readBack || !s.fullLba)
            r.regs = Taskfile{};
    }
    if (reply.scsiStatus == kScsiGood && !s.present) {
        r.outcome = Outcome::Ok;
        r.status = kStDrdy | kStDsc;  // done, registers not returned
        return r;
    }
    if (s.registers && (s.status & (kStErr | kStDf))) {
        r.outcome = Outcome::DeviceError;
        return r;
    }
    if (s.present && s.key == kKeyIllegalRequest) {
        r = Result{};
        r.outcome = Outcome::Refused;
        r.osError = SenseCode(s.key, s.asc, s.ascq);
        return r;
    }
    if (s.registers && (s.key == kKeyRecovered || s.key == kKeyNoSense)) {
        r.outcome = Outcome::Ok;
        return r;
    }
    if (s.present && s.key == kKeyAborted) {
        r.outcome = Outcome::Timeout;
        return r;
    }
    if (reply.scsiStatus == kScsiGood) {
        r.outcome = Outcome::Ok;
        if (!s.registers)
            r.status = kStDrdy | kStDsc;
        return r;
    }
    r.outcome = Outcome::ProtocolError;
    return r;
}

Cdb ModeSenseControl(uint16_t allocation)
{
    Cdb c;
    c.length = 10;
    c.bytes[0] = kOpModeSense10;
    c.bytes[1] = 0x08;  // DBD: no block descriptors
    c.bytes[2] = 0x0A;  // current values of the control mode page
    c.bytes[7] = uint8_t(allocation >> 8);
    c.bytes[8] = uint8_t(allocation);
    return c;
}

Cdb ModeSelect10(uint16_t paramLength)
{
    Cdb c;
    c.length = 10;
    c.bytes[0] = kOpModeSelect10;
    c.bytes[1] = 0x10;  // PF: the page format of the standard
    c.bytes[7] = uint8_t(paramLength >> 8);
    c.bytes[8] = uint8_t(paramLength);
    return c;
}

}  // namespace ata::sgio
