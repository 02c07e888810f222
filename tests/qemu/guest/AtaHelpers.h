#pragma once
// Small helpers the ATA checks share.
#include <string>

#include "GuestCheck.h"
#include "common/Format.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "info/IdentifyReport.h"

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

// The identify texts are what QEMU was given.
inline void ExpectIdentity(Check& c, const DriveInfo& d, const ata::IdentifyBlock& b)
{
    c.ExpectEq(IdentifyText(b, ata::kModelField), d.model, d.id + ": model");
    c.ExpectEq(IdentifyText(b, ata::kSerialField), d.serial, d.id + ": serial");
    c.ExpectEq(IdentifyText(b, ata::kFirmwareField), d.firmware, d.id + ": firmware");
}

// The rows of `voran ... --identify` that say what QEMU was given.
inline void ExpectReportRows(Check& c, const DriveInfo& d, const std::string& output)
{
    auto has = [&](const QStringView label, const std::string& value) {
        return output.find(label.toString().toStdString() + value + "\n") != std::string::npos;
    };
    c.Expect(has(info::label::Model, d.model), d.id + ": model row");
    c.Expect(has(info::label::Serial, d.serial), d.id + ": serial row");
    c.Expect(has(info::label::Firmware, d.firmware), d.id + ": firmware row");
    c.Expect(has(info::label::CurrentSectors, info::GroupedCount(d.Sectors()).toStdString()),
             d.id + ": current sectors row");
}

// The sectors a 28-bit command can reach on the drive.
inline uint64_t Reach28(const DriveInfo& d) { return std::min<uint64_t>(d.Sectors(), ata::kMaxLba28); }

}  // namespace guest
