// What the register monitor samples: the alternate status port, and the
// error register when the status shows ERR.  Reading either must not
// disturb the drive; the monitor thread shows both on its lamps.
#include <QPointer>
#include <QWidget>

#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "GuestQt.h"
#include "common/Clock.h"
#include "hw/PortIo.h"
#include "monitor/KVErrorReg.h"
#include "monitor/KVStatusReg.h"
#include "monitor/Monitor.h"

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

// The program's monitor thread on QEMU's channel: the lamps show the idle
// status, an aborted command (status with ERR, error register ABRT) and the
// status after the soft reset.
GUEST_CHECK(monitor, thread_lamps_follow_the_drive)
{
    EnsureApplication();
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        QWidget window;
        auto* status = new TKVStatusReg(&window);
        auto* error = new TKVErrorReg(&window);
        status->SetRegValue(0xFF);
        error->SetRegValue(0xFF);
        QPointer<TMonitorThread> monitor = new TMonitorThread(d.Base(), d.Alt(), uint8_t(d.unit), 1, status, error);
        InitDLL(d.Base(), d.Alt(), uint8_t(d.unit), c.env().timeOutSeconds, CounterFrequency(), monitor);

        auto shows = [&](uint8_t st, uint8_t er) {
            return PumpUntil([&] { return status->RegValue() == st && error->RegValue() == er; });
        };
        const uint8_t ready = PortRead(d.Alt());
        c.Expect(shows(ready, 0), d.id + ": lamps of the idle drive: status " + Check::Hex(status->RegValue()) +
                                      ", error " + Check::Hex(error->RegValue()));
        SecurityAction("voran", 0, 0, ata::kCmdSecSetPassword);
        const uint8_t failed = PortRead(d.Alt());
        c.Expect(shows(failed, ata::kErAbrt), d.id + ": lamps after the refused command: status " +
                                                  Check::Hex(status->RegValue()) + ", error " +
                                                  Check::Hex(error->RegValue()) + ", drive status " + Check::Hex(failed));
        c.Expect((SoftReset() & 0xFF) != 0, d.id + ": SoftReset (" + LastOutcome() + ")");
        c.Expect(shows(PortRead(d.Alt()), 0), d.id + ": lamps after the reset: status " +
                                                  Check::Hex(status->RegValue()) + ", error " +
                                                  Check::Hex(error->RegValue()));
        const TMonitorThread::Counters n = monitor->Stats();
        c.Expect(n.samples > 0 && n.updates >= 3, d.id + ": samples " + std::to_string(n.samples) + ", updates " +
                                                      std::to_string(n.updates));
        monitor->RequestStop();
        c.Expect(PumpUntil([&] { return monitor.isNull(); }), d.id + ": the monitor thread did not end");
        c.Connect(d);
    }
}
