#include "sim/SimPassThrough.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "hw/AtaDefs.h"
#include "hw/SgioCdb.h"
#include "sim/SimMachine.h"

namespace sim {

using namespace ata;
namespace sg = ata::sgio;

namespace {

// The drive's own channel; no port of the machine reaches it.
constexpr uint16_t kBase = 0x1F0;
constexpr uint16_t kAlt = 0x3F6;

constexpr uint8_t kAscInvalidField = 0x24;
constexpr uint8_t kAscInvalidOpcode = 0x20;
constexpr uint8_t kAscInvalidParameter = 0x26;

// Commands that move several sectors per DRQ block.
bool MultipleCommand(uint8_t cmd) { return cmd == 0xC4 || cmd == 0xC5 || cmd == 0x29 || cmd == 0x39 || cmd == 0xCE; }

// The sense key, ASC and ASCQ the kernel gives an ATA error (its table,
// for the error bits the drive model sets).
void SenseOfError(uint8_t error, uint8_t& key, uint8_t& asc, uint8_t& ascq)
{
    key = sg::kKeyAborted;
    asc = ascq = 0;
    if (error & (kErUnc | kErBbk)) {
        key = sg::kKeyMedium;
        asc = 0x11;
        ascq = 0x04;
    } else if (error & kErIdnf) {
        key = sg::kKeyIllegalRequest;
        asc = 0x21;
    } else if (error & kErAmnf) {
        key = sg::kKeyMedium;
        asc = 0x13;
    }
}

void CheckCondition(sg_io_hdr_t& h, const uint8_t* sense, size_t length)
{
    h.status = sg::kScsiCheckCondition;
    h.masked_status = sg::kScsiCheckCondition >> 1;
    h.driver_status = sg::kDriverSense;
    const size_t n = std::min<size_t>(length, h.mx_sb_len);
    if (h.sbp && n)
        std::memcpy(h.sbp, sense, n);
    h.sb_len_wr = uint8_t(h.sbp ? n : 0);
}

uint32_t Sectors(const Taskfile& tf)
{
    const uint32_t n = tf.ext ? (uint32_t(tf.countHob) << 8 | tf.count) : tf.count;
    return n ? n : (tf.ext ? 65536 : 256);
}

}  // namespace

// ---- the drive's registers -------------------------------------------------------

uint8_t PassThroughDrive::Registers::In8(uint16_t port)
{
    std::lock_guard<std::mutex> l(m_lock);
    if (port == kAlt)
        return m_channel.ReadAlt();
    return m_channel.Read8(uint16_t(port - kBase));
}

uint16_t PassThroughDrive::Registers::In16(uint16_t port)
{
    std::lock_guard<std::mutex> l(m_lock);
    return m_channel.Read16(uint16_t(port - kBase));
}

void PassThroughDrive::Registers::Out8(uint16_t port, uint8_t value)
{
    std::lock_guard<std::mutex> l(m_lock);
    if (port == kAlt)
        m_channel.WriteControl(value);
    else
        m_channel.Write8(uint16_t(port - kBase), value);
}

void PassThroughDrive::Registers::Out16(uint16_t port, uint16_t value)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_channel.Write16(uint16_t(port - kBase), value);
}

void PassThroughDrive::Registers::In16Block(uint16_t, uint16_t* words, size_t count)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_channel.ReadData(words, count);
}

void PassThroughDrive::Registers::Out16Block(uint16_t, const uint16_t* words, size_t count)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_channel.WriteData(words, count);
}

// ---- the drive ----------------------------------------------------------------------

PassThroughDrive::PassThroughDrive(const PassThroughSpec& spec, std::mutex& machineLock)
    : m_spec(spec),
      m_channel(std::make_unique<Channel>(kBase, kAlt, std::make_unique<Drive>(spec.drive), nullptr)),
      m_registers(*m_channel, machineLock),
      m_host(kBase, kAlt, 0, &m_registers),
      m_dsense(spec.sense == SenseLayout::Descriptor)
{
    m_host.Configure(1);
}

PassThroughDrive::~PassThroughDrive() = default;

Drive* PassThroughDrive::Model() { return m_channel->DriveAt(0); }

int PassThroughDrive::Io(sg_io_hdr_t& h)
{
    if (h.interface_id != 'S' || !h.cmdp || h.cmd_len < 6)
        return EINVAL;
    std::lock_guard<std::mutex> serial(m_serial);
    ++m_requests;
    h.status = h.masked_status = h.msg_status = 0;
    h.host_status = h.driver_status = 0;
    h.sb_len_wr = 0;
    h.resid = 0;
    h.info = 0;
    const auto t0 = std::chrono::steady_clock::now();
    int err = 0;
    switch (h.cmdp[0]) {
    case sg::kOpAta16:
    case sg::kOpAta12: err = Ata(h); break;
    case sg::kOpModeSense10: err = ModeSense(h); break;
    case sg::kOpModeSelect10: err = ModeSelect(h); break;
    default: err = Illegal(h, kAscInvalidOpcode, 0, 0); break;
    }
    h.duration = unsigned(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
                              .count());
    return err;
}

int PassThroughDrive::Ata(sg_io_hdr_t& h)
{
    if (m_spec.bus == PassThroughBus::UsbWithoutAta)
        return Illegal(h, kAscInvalidOpcode, 0, 0);
    const auto a = sg::ParseAtaCdb(h.cmdp, h.cmd_len);
    if (!a)
        return Illegal(h, kAscInvalidField, 0, 0);
    const uint8_t cmd = a->tf.command;
    const uint32_t bytes = h.dxfer_direction == SG_DXFER_NONE ? 0 : h.dxfer_len;
    // What the kernel refuses before anything reaches the drive.
    if (a->protocol != sg::kProtoNonData && a->protocol != sg::kProtoPioIn && a->protocol != sg::kProtoPioOut)
        return Illegal(h, kAscInvalidField, 0, 1);
    if (a->multipleCount && !MultipleCommand(cmd))
        return Illegal(h, kAscInvalidField, 0, 1);
    if ((cmd == 0xEF && a->tf.feature == 0x03) || (cmd >= 0x5C && cmd <= 0x5F))
        return Illegal(h, kAscInvalidField, 0, uint8_t(h.cmd_len == 16 ? 14 : 9));
    if (bytes && a->tLength == 0)
        return Illegal(h, kAscInvalidField, 0, 2);
    const bool in = a->protocol == sg::kProtoPioIn, out = a->protocol == sg::kProtoPioOut;
    if ((in && (h.dxfer_direction != SG_DXFER_FROM_DEV || !a->dirIn)) ||
        (out && (h.dxfer_direction != SG_DXFER_TO_DEV || a->dirIn)) || (!in && !out && bytes) ||
        ((in || out) && (!bytes || !h.dxferp)))
        return Illegal(h, kAscInvalidField, 0, 2);

    Request rq;
    rq.tf = a->tf;
    if (in || out) {
        // The drive moves what the taskfile's count says; a buffer of another
        // size breaks the PIO state machine (WRITE LONG: one sector and its
        // ECC bytes, the buffer's length).
        const bool writeLong = cmd == kCmdWriteLong;
        const uint32_t sectors = Sectors(a->tf);
        const bool fits = writeLong ? (sectors == 1 && bytes > kSectorSize) : (bytes == sectors * kSectorSize);
        if (!fits) {
            const Taskfile regs = ReadRegisters(a->tf.ext);
            return Sense(h, sg::kKeyAborted, 0x47, 0, regs, kStDrdy | kStDrq, 0, true);
        }
        rq.protocol = in ? Protocol::PioIn : Protocol::PioOut;
        rq.sectors = writeLong ? 1 : sectors;
        if (in)
            rq.in = static_cast<uint8_t*>(h.dxferp);
        else
            rq.out = static_cast<const uint8_t*>(h.dxferp);
        if (writeLong) {
            rq.trailingBytes = static_cast<const uint8_t*>(h.dxferp) + kSectorSize;
            rq.trailingCount = bytes - kSectorSize;
        }
    }
    m_host.Configure(uint16_t(std::clamp<unsigned>((h.timeout + 999) / 1000, 1, 65535)));
    const Result r = m_host.Execute(rq);
    switch (r.outcome) {
    case Outcome::Ok:
        if (!a->ckCond)
            return 0;
        // Always in descriptor format: ATA PASS-THROUGH INFORMATION AVAILABLE.
        return Sense(h, sg::kKeyRecovered, 0x00, 0x1D, ReadRegisters(a->tf.ext), r.status, 0, true);
    case Outcome::DeviceError: {
        uint8_t key, asc, ascq;
        SenseOfError(r.error, key, asc, ascq);
        return Sense(h, key, asc, ascq, ReadRegisters(a->tf.ext), r.status, r.error, m_dsense.load());
    }
    case Outcome::NoDevice: h.host_status = sg::kDidNoConnect; return 0;
    default:
        // The kernel gives up on the command, resets the link and says only
        // that it was aborted.
        (void)m_host.Reset();
        return Sense(h, sg::kKeyAborted, 0, 0, Taskfile{}, kStDrdy, 0, m_dsense.load());
    }
}

Taskfile PassThroughDrive::ReadRegisters(bool ext)
{
    Taskfile t;
    t.ext = ext;
    t.count = m_registers.In8(kBase + kRegCount);
    t.lbaLow = m_registers.In8(kBase + kRegLbaLow);
    t.lbaMid = m_registers.In8(kBase + kRegLbaMid);
    t.lbaHigh = m_registers.In8(kBase + kRegLbaHigh);
    t.device = m_registers.In8(kBase + kRegDevice);
    if (ext) {
        m_registers.Out8(kAlt, kCtlHob | kCtlNien);
        t.countHob = m_registers.In8(kBase + kRegCount);
        t.lbaLowHob = m_registers.In8(kBase + kRegLbaLow);
        t.lbaMidHob = m_registers.In8(kBase + kRegLbaMid);
        t.lbaHighHob = m_registers.In8(kBase + kRegLbaHigh);
        m_registers.Out8(kAlt, kCtlNien);
    }
    return t;
}

int PassThroughDrive::Sense(sg_io_hdr_t& h, uint8_t key, uint8_t asc, uint8_t ascq, const Taskfile& t, uint8_t status,
                            uint8_t error, bool descriptor)
{
    uint8_t s[32] = {};
    size_t n = 0;
    if (descriptor) {
        const uint8_t d[] = {0x72, key, asc, ascq, 0, 0, 0, 14, 0x09, 0x0C, uint8_t(t.ext ? 1 : 0), error,
                             t.countHob, t.count, t.lbaLowHob, t.lbaLow, t.lbaMidHob, t.lbaMid, t.lbaHighHob,
                             t.lbaHigh, t.device, status};
        n = sizeof d;
        std::memcpy(s, d, n);
    } else if (m_spec.sense == SenseLayout::Fixed610) {
        n = 18;
        s[0] = 0xF0;  // VALID: the information field holds the registers
        s[2] = key;
        s[3] = error;
        s[4] = status;
        s[5] = t.device;
        s[6] = t.count;
        s[7] = 10;
        s[8] = uint8_t((t.ext ? 0x80 : 0) | (t.countHob ? 0x40 : 0) |
                       ((t.lbaLowHob | t.lbaMidHob | t.lbaHighHob) ? 0x20 : 0));
        s[9] = t.lbaLow;
        s[10] = t.lbaMid;
        s[11] = t.lbaHigh;
        s[12] = asc;
        s[13] = ascq;
    } else {
        // Before 6.10 the registers went from byte 8 on, past the end of an
        // 18-byte sense for most of the LBA.
        n = 18;
        s[0] = 0x70;
        s[2] = key;
        s[7] = 10;
        s[8] = error;
        s[9] = status;
        s[10] = t.device;
        s[11] = t.count;
        s[12] = asc;
        s[13] = ascq;
        s[16] = t.ext ? 0x80 : 0;
        s[17] = t.lbaLow;
    }
    CheckCondition(h, s, n);
    return 0;
}

int PassThroughDrive::Illegal(sg_io_hdr_t& h, uint8_t asc, uint8_t ascq, uint8_t field)
{
    uint8_t s[18] = {};
    size_t n = 0;
    if (m_dsense.load()) {
        const uint8_t d[] = {0x72, sg::kKeyIllegalRequest, asc, ascq, 0, 0, 0, 8, 0x02, 0x06, 0, 0, 0xC0, 0, field, 0};
        n = sizeof d;
        std::memcpy(s, d, n);
    } else {
        n = 18;
        s[0] = 0x70;
        s[2] = sg::kKeyIllegalRequest;
        s[7] = 10;
        s[12] = asc;
        s[13] = ascq;
        s[15] = 0xC0;  // SKSV, in the CDB
        s[17] = field;
    }
    CheckCondition(h, s, n);
    return 0;
}

std::array<uint8_t, 12> PassThroughDrive::ControlPage() const
{
    return {0x0A, 10, uint8_t(0x02 | (m_dsense.load() ? sg::kDSenseBit : 0)), 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 30};
}

int PassThroughDrive::ModeSense(sg_io_hdr_t& h)
{
    if (h.cmd_len < 10 || (h.cmdp[2] & 0x3F) != 0x0A || (h.cmdp[2] & 0xC0) != 0)
        return Illegal(h, kAscInvalidField, 0, 2);
    const auto page = ControlPage();
    uint8_t data[8 + 12] = {};
    data[1] = sizeof data - 2;
    std::copy(page.begin(), page.end(), data + 8);
    const size_t allocation = size_t(h.cmdp[7] << 8 | h.cmdp[8]);
    const size_t n = std::min({allocation, size_t(h.dxfer_len), sizeof data});
    if (h.dxfer_direction != SG_DXFER_FROM_DEV || !h.dxferp)
        return Illegal(h, kAscInvalidField, 0, 7);
    std::memcpy(h.dxferp, data, n);
    h.resid = int(h.dxfer_len - n);
    return 0;
}

int PassThroughDrive::ModeSelect(sg_io_hdr_t& h)
{
    const size_t length = h.cmd_len >= 10 ? size_t(h.cmdp[7] << 8 | h.cmdp[8]) : 0;
    if (length != 20 || h.dxfer_direction != SG_DXFER_TO_DEV || h.dxfer_len < length || !h.dxferp)
        return Illegal(h, kAscInvalidField, 0, 7);
    const auto* p = static_cast<const uint8_t*>(h.dxferp);
    if (p[0] || p[1] || p[6] || p[7])  // mode data length reserved, no block descriptors
        return Illegal(h, kAscInvalidParameter, 0, 0);
    const uint8_t* page = p + 8;
    const auto now = ControlPage();
    // Only D_SENSE may change.
    for (size_t i = 0; i < now.size(); ++i) {
        const uint8_t mask = i == 2 ? uint8_t(~sg::kDSenseBit) : 0xFF;
        if ((page[i] & mask) != (now[i] & mask))
            return Illegal(h, kAscInvalidParameter, 0, uint8_t(8 + i));
    }
    m_dsense.store((page[2] & sg::kDSenseBit) != 0);
    return 0;
}

}  // namespace sim
