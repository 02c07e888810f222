#pragma once
// Small helpers the ATA checks share.
#include <string>

#include "GuestCheck.h"
#include "common/Format.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"

namespace guest {

// "device error, status 0x41, error 0x04" for the last command.
inline std::string LastOutcome()
{
    const ata::Result r = ata::LastResult();
    return std::string(ata::OutcomeName(r.outcome)) + ", status " + Check::Hex(r.status) + ", error " +
           Check::Hex(r.error);
}

// Trimmed text of an identify field (the block as IdentifyDevice fills it).
inline std::string IdentifyText(const ata::IdentifyBlock& b, ata::TextField f)
{
    return TrimIdentifyText(b.Bytes() + 2 * f.firstWord, 2 * f.words).toStdString();
}

// Connects to the drive and identifies it; records a failure when it does not answer.
inline bool Identify(Check& c, const DriveInfo& d, ata::IdentifyBlock& b)
{
    c.Connect(d);
    b = {};
    return c.Expect((IdentifyDevice(b.Bytes()) & 0xFF) != 0, d.id + ": IdentifyDevice failed (" + LastOutcome() + ")");
}

// The sectors a 28-bit command can reach on the drive.
inline uint64_t Reach28(const DriveInfo& d) { return std::min<uint64_t>(d.Sectors(), ata::kMaxLba28); }

}  // namespace guest
