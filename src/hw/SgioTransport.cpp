#include "hw/SgioTransport.h"

#include "hw/AtaDefs.h"
#include "hw/SgioCdb.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>

namespace ata {

namespace {

using Clock = std::chrono::steady_clock;

uint32_t TimeoutMs(const Request& rq, uint16_t connectionSeconds)
{
    const uint64_t s = rq.timeoutSeconds ? rq.timeoutSeconds : std::max<uint16_t>(connectionSeconds, 1);
    return uint32_t(std::min<uint64_t>(s * 1000, std::numeric_limits<uint32_t>::max()));
}

// SG_IO itself failed: nothing reached the drive, or we do not know.
Result SystemFailure(int err)
{
    Result r;
    r.osError = err;
    switch (err) {
    case EPERM:
    case EACCES:
    case ENOTTY:
    case EINVAL:
    case ENOSYS: r.outcome = Outcome::Refused; break;
    case ENODEV:
    case ENXIO:
    case ENOENT: r.outcome = Outcome::NoDevice; break;
    default: r.outcome = Outcome::ProtocolError; break;
    }
    return r;
}

int Direction(Protocol p)
{
    switch (p) {
    case Protocol::PioIn: return SG_DXFER_FROM_DEV;
    case Protocol::PioOut:
    case Protocol::PioOutStart: return SG_DXFER_TO_DEV;
    case Protocol::NonData: break;
    }
    return SG_DXFER_NONE;
}

// One ATA command: its CDB, its SG_IO, its outcome.  CK_COND only where the
// registers of a non-data command are read back.
Result Submit(SgNode& node, const Request& rq, uint8_t* data, uint32_t bytes, uint32_t timeoutMs)
{
    const bool ckCond = rq.readBack && rq.protocol == Protocol::NonData;
    const auto t0 = Clock::now();
    const SgExchange x = SendCdb(node, sgio::Ata16(rq, ckCond), Direction(rq.protocol), data, bytes, timeoutMs);
    const auto t1 = Clock::now();
    Result r = x.err ? SystemFailure(x.err) : sgio::Interpret(x.reply(), rq);
    r.micros = std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count();
    return r;
}

bool Malformed(const Request& rq)
{
    const bool in = rq.protocol == Protocol::PioIn;
    const bool out = rq.protocol == Protocol::PioOut || rq.protocol == Protocol::PioOutStart;
    return (in && (!rq.in || rq.sectors == 0)) || (out && (!rq.out || rq.sectors == 0)) ||
           (rq.trailingCount && (!out || !rq.trailingBytes)) || (!in && !out && rq.sectors);
}

// The bytes a data-out command sends, as the kernel needs them in one piece:
// a repeated sector spread out, trailing bytes (WRITE LONG's ECC) after it.
void Assemble(const Request& rq, std::vector<uint8_t>& buffer)
{
    buffer.resize(rq.DataBytes());
    for (uint32_t s = 0; s < rq.sectors; ++s)
        std::memcpy(buffer.data() + s * kSectorSize, rq.out + (rq.repeatOut ? 0 : s * kSectorSize), kSectorSize);
    if (rq.trailingCount)
        std::memcpy(buffer.data() + rq.sectors * kSectorSize, rq.trailingBytes, rq.trailingCount);
}

Result With(Outcome o, uint8_t status = 0)
{
    Result r;
    r.outcome = o;
    r.status = status;
    return r;
}

}  // namespace

struct SgioTransport::Flight {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    Result result;
    Request rq;
    std::vector<uint8_t> data;
};

SgioTransport::SgioTransport(std::shared_ptr<SgNode> node, std::string path)
    : m_node(std::move(node)), m_path(std::move(path))
{
}

// A command still in flight keeps its node and its data on its own thread
// and ends there.
SgioTransport::~SgioTransport() = default;

void SgioTransport::Configure(uint16_t timeOutSeconds) { m_timeOut = timeOutSeconds; }

Address SgioTransport::address() const
{
    Address a;
    a.path = m_path;
    return a;
}

void SgioTransport::Remember(const Result& r)
{
    switch (r.outcome) {
    case Outcome::Ok:
    case Outcome::DeviceError: break;
    case Outcome::Timeout:
        if (r.status)
            break;
        return;
    default: return;  // the drive never saw it, or said nothing
    }
    m_regs.store(uint16_t(r.status | (r.error << 8)));
}

Result SgioTransport::Run(const Request& rq, std::vector<uint8_t>& scratch)
{
    if (Malformed(rq))
        return With(Outcome::InvalidArgument);
    uint8_t* data = nullptr;
    if (rq.protocol == Protocol::PioIn) {
        data = rq.in;
    } else if (rq.protocol != Protocol::NonData) {
        if (rq.repeatOut || rq.trailingCount) {
            Assemble(rq, scratch);
            data = scratch.data();
        } else {
            data = const_cast<uint8_t*>(rq.out);
        }
    }
    const Result r = Submit(*m_node, rq, data, data ? rq.DataBytes() : 0, TimeoutMs(rq, m_timeOut));
    Remember(r);
    return r;
}

bool SgioTransport::Land(std::chrono::milliseconds limit)
{
    if (!m_flight)
        return true;
    Result r;
    {
        std::unique_lock<std::mutex> l(m_flight->mutex);
        if (!m_flight->cv.wait_for(l, limit, [&] { return m_flight->done; }))
            return false;
        r = m_flight->result;
    }
    m_flight.reset();
    Remember(r);
    return true;
}

Result SgioTransport::StartInFlight(const Request& rq)
{
    auto f = std::make_shared<Flight>();
    f->rq = rq;
    Assemble(rq, f->data);
    f->rq.out = f->data.data();
    f->rq.repeatOut = false;
    f->rq.trailingBytes = nullptr;
    f->rq.trailingCount = 0;
    f->rq.sectors = uint32_t(f->data.size() / kSectorSize);
    const uint32_t ms = TimeoutMs(rq, m_timeOut);
    std::thread([f, node = m_node, ms] {
        const Result r = Submit(*node, f->rq, f->data.data(), uint32_t(f->data.size()), ms);
        std::fill(f->data.begin(), f->data.end(), uint8_t(0));  // the password goes
        {
            std::lock_guard<std::mutex> l(f->mutex);
            f->result = r;
            f->done = true;
        }
        f->cv.notify_all();
    }).detach();

    std::unique_lock<std::mutex> l(f->mutex);
    if (f->cv.wait_for(l, m_grace, [&] { return f->done; })) {
        const Result r = f->result;
        l.unlock();
        Remember(r);
        return r;
    }
    l.unlock();
    m_flight = std::move(f);
    m_regs.store(kStBsy);
    return With(Outcome::Ok, kStBsy);  // accepted and running
}

Result SgioTransport::Execute(const Request& rq)
{
    // The drive is busy with the command in flight; the kernel would queue
    // this one behind it for hours.
    if (!Land(std::chrono::seconds(std::max<uint16_t>(m_timeOut, 1))))
        return With(Outcome::Timeout, kStBsy);
    if (rq.protocol == Protocol::PioOutStart) {
        if (Malformed(rq))
            return With(Outcome::InvalidArgument);
        return StartInFlight(rq);
    }
    return Run(rq, m_scratch);
}

Result SgioTransport::Reset()
{
    if (!Land(std::chrono::seconds(std::max<uint16_t>(m_timeOut, 1))))
        return With(Outcome::Timeout, kStBsy);
    return With(Outcome::Ok, kStDrdy | kStDsc);
}

int32_t SgioTransport::Ready(Result& r)
{
    if (m_flight) {
        std::unique_lock<std::mutex> l(m_flight->mutex);
        if (!m_flight->done) {
            r.status = kStBsy;
            return 1;
        }
        l.unlock();
        const Result done = m_flight->result;
        m_flight.reset();
        Remember(done);
        if (done.ok())
            return 0;
        r = done;
        return 255;
    }
    const uint16_t regs = m_regs.load();
    r.status = uint8_t(regs);
    if (regs & (kStErr | kStDf)) {
        r.outcome = Outcome::DeviceError;
        r.error = uint8_t(regs >> 8);
        return 255;
    }
    return 0;
}

bool SgioTransport::ShowsError()
{
    const uint8_t st = uint8_t(m_regs.load());
    return !(st & kStBsy) && (st & (kStErr | kStDf));
}

uint8_t SgioTransport::Sample(Register r)
{
    const uint16_t regs = m_regs.load();
    return r == Register::Error ? uint8_t(regs >> 8) : uint8_t(regs);
}

sgio::Reply SgExchange::reply() const
{
    sgio::Reply r;
    r.scsiStatus = h.status;
    r.hostStatus = h.host_status;
    r.driverStatus = h.driver_status;
    r.sense = sense.data();
    r.senseLength = std::min<size_t>(h.sb_len_wr, sense.size());
    return r;
}

SgExchange SendCdb(SgNode& node, const sgio::Cdb& cdb, int direction, void* data, uint32_t bytes, uint32_t timeoutMs)
{
    SgExchange x;
    sg_io_hdr_t& h = x.h;
    h.interface_id = 'S';
    h.dxfer_direction = direction;
    h.cmd_len = cdb.length;
    h.cmdp = const_cast<unsigned char*>(cdb.data());
    h.mx_sb_len = uint8_t(x.sense.size());
    h.sbp = x.sense.data();
    h.dxfer_len = bytes;
    h.dxferp = bytes ? data : nullptr;
    h.timeout = timeoutMs;
    x.err = node.Io(h);
    return x;
}

bool SetDescriptorSense(SgNode& node, bool on, std::string* why)
{
    auto fail = [&](const std::string& what) {
        if (why)
            *why = what;
        return false;
    };
    // What MODE SENSE gives: the 8-byte header of the (10) form, no block
    // descriptors, the control mode page (0Ah, 10 bytes after its header).
    constexpr size_t kHeader = 8, kPage = 12;
    uint8_t data[64] = {};
    auto ran = [&](const char* what, const SgExchange& x) {
        if (x.err)
            return fail(std::string(what) + ": " + std::strerror(x.err));
        if (x.h.status == sgio::kScsiGood && !x.h.host_status && !(x.h.driver_status & 0x0F))
            return true;
        const sgio::Sense s = sgio::ParseSense(x.sense.data(), x.h.sb_len_wr);
        return fail(std::string(what) + " refused (status " + std::to_string(x.h.status) + ", sense " +
                    std::to_string(s.key) + "/" + std::to_string(s.asc) + "/" + std::to_string(s.ascq) + ")");
    };
    if (!ran("MODE SENSE", SendCdb(node, sgio::ModeSenseControl(sizeof data), SG_DXFER_FROM_DEV, data, sizeof data)))
        return false;
    const size_t descriptors = size_t(data[6] << 8 | data[7]);
    const uint8_t* page = data + kHeader + descriptors;
    if (kHeader + descriptors + kPage > sizeof data || (page[0] & 0x3F) != 0x0A || page[1] != kPage - 2)
        return fail("MODE SENSE: no control mode page");

    uint8_t param[kHeader + kPage] = {};
    std::memcpy(param + kHeader, page, kPage);
    param[kHeader] &= 0x3F;  // PS is not ours to send back
    param[kHeader + 2] = uint8_t(on ? (page[2] | sgio::kDSenseBit) : (page[2] & ~sgio::kDSenseBit));
    return ran("MODE SELECT", SendCdb(node, sgio::ModeSelect10(sizeof param), SG_DXFER_TO_DEV, param, sizeof param));
}

}  // namespace ata
