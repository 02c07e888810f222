// What the register monitor samples: the alternate status port, and the
// error register when the status shows ERR.  Reading either must not
// disturb the drive.
#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "hw/PortIo.h"

using namespace guest;

GUEST_CHECK(monitor, alternate_status_of_an_idle_drive)
{
    for (const DriveInfo& d : c.Drives()) {
        ata::IdentifyBlock b;
        if (!Identify(c, d, b))
            continue;
        const uint8_t first = PortRead(d.Alt());
        c.ExpectEq(uint8_t(first & (ata::kStBsy | ata::kStDrdy | ata::kStDf | ata::kStDrq | ata::kStErr)),
                   ata::kStDrdy, d.id + ": alternate status of the idle drive " + Check::Hex(first));
        int changed = 0;
        for (int i = 0; i < 2000; ++i)
            changed += PortRead(d.Alt()) != first;
        c.ExpectEq(changed, 0, d.id + ": samples that differ from the first");
        c.ExpectEq(PortRead(uint16_t(d.Base() + 7)), first, d.id + ": status register");
        c.Note(d.id + ": idle alternate status " + Check::Hex(first));
    }
}

GUEST_CHECK(monitor, sampling_keeps_an_error_visible)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        SecurityAction("voran", 0, 0, ata::kCmdSecSetPassword);
        for (int i = 0; i < 100; ++i) {
            const uint8_t st = PortRead(d.Alt());
            if (!c.Expect(st & ata::kStErr, d.id + ": sample " + std::to_string(i) + " lost ERR: " + Check::Hex(st)))
                break;
            if (!c.Expect(PortRead(uint16_t(d.Base() + 1)) == ata::kErAbrt,
                          d.id + ": error register changed under sampling"))
                break;
        }
        c.Expect((SoftReset() & 0xFF) != 0, d.id + ": SoftReset (" + LastOutcome() + ")");
        c.Expect(!(PortRead(d.Alt()) & ata::kStErr), d.id + ": ERR still set after the reset");
    }
}
