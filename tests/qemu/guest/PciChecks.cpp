// PCI configuration space and the port selection: what the program finds of
// QEMU's PIIX3 chipset, and that a device-select write reaches the drive.
#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "PciReader.h"
#include "hw/PortIo.h"
#include "select/KernelDriver.h"
#include "select/PciScan.h"

using namespace guest;

GUEST_CHECK(pci, ide_function_in_compatibility_mode)
{
    const std::vector<PciFunction> fns = ScanPciFunctions();
    std::string all;
    for (const PciFunction& f : fns)
        all += f.Address() + "=" + Check::Hex(f.vendorId, 4).substr(2) + ":" + Check::Hex(f.deviceId, 4).substr(2) +
               "/" + Check::Hex(f.classCode).substr(2) + Check::Hex(f.subclass).substr(2) + " ";
    c.Note("functions: " + all);

    const PciFunction* ide = nullptr;
    int storage = 0;
    for (const PciFunction& f : fns) {
        storage += f.classCode == 0x01;
        if (f.vendorId == 0x8086 && f.deviceId == 0x7010)
            ide = &f;
    }
    c.ExpectEq(storage, 1, "mass-storage functions");
    if (!c.Expect(ide != nullptr, "8086:7010 not found"))
        return;
    c.ExpectEq(ide->Address(), std::string("00:01.1"), "address of the IDE function");
    c.ExpectEq(ide->classCode, uint8_t(0x01), "base class");
    c.ExpectEq(ide->subclass, uint8_t(0x01), "subclass");
    c.ExpectEq(ide->progIf, uint8_t(0x80), "programming interface");
    for (int b = 0; b < 4; ++b)
        c.ExpectEq(ide->bars[b], 0u, "BAR" + std::to_string(b) + " of a compatibility-mode controller");
    c.Expect(ide->bars[4] & 1, "BAR4 (bus master) is an I/O BAR");
    c.Note("BAR4 " + Check::Hex(ide->bars[4], 8));

    // Function 1 is found only behind a multi-function function 0.
    bool isaBridge = false;
    for (const PciFunction& f : fns)
        if (f.bus == 0 && f.device == 1 && f.function == 0)
            isaBridge = f.deviceId == 0x7000 && (f.headerType & 0x80);
    c.Expect(isaBridge, "00:01.0 is the multi-function ISA bridge 8086:7000");
}

GUEST_CHECK(select, rows_of_the_chipset_controller)
{
    const std::vector<SelectionRow> rows = SelectionRows();
    c.ExpectEq(rows.size(), size_t(2), "rows");
    if (rows.size() < 2)
        return;
    c.ExpectEq(rows[0].name, std::string("OnBoard Intel i82371SB, Primary Channel"), "row 0 name");
    c.ExpectEq(rows[0].base, std::string("01F0"), "row 0 base");
    c.ExpectEq(rows[0].control, std::string("03F6"), "row 0 control");
    c.ExpectEq(rows[1].name, std::string("OnBoard Intel i82371SB, Secondary Channel"), "row 1 name");
    c.ExpectEq(rows[1].base, std::string("0170"), "row 1 base");
    c.ExpectEq(rows[1].control, std::string("0376"), "row 1 control");
    for (const SelectionRow& r : rows)
        c.ExpectEq(r.function, std::string("0000:00:01.1"), r.name + ": controller function");
}

// Nothing may own the controller while the program works its ports: the
// selection's kernel-driver check must find no driver for either channel.
GUEST_CHECK(select, no_kernel_driver_owns_the_channels)
{
    if (c.Simulated())
        SetSysfsRoot(QStringLiteral("/nonexistent"));  // this machine's own devices are not the mirror's
    const std::vector<ChannelRow> rows = ScanPci();
    for (uint32_t base : {0x1F0u, 0x170u}) {
        const auto fn = ChannelFunction(rows, base);
        if (!c.Expect(fn.has_value(), "no controller function for channel " + Check::Hex(base, 4)))
            continue;
        const auto owner = KernelDriverOfChannel(rows, base);
        c.Expect(!owner, "channel " + Check::Hex(base, 4) + " is owned by " +
                             (owner ? owner->driver.toStdString() : std::string()));
    }
}

// The master is left with ERR (an aborted command) so that its status
// differs from the slave's: the status port then tells which device a bare
// write of 0xE0 / 0xF0 to the device register selected.
GUEST_CHECK(select, device_select_write_reaches_the_slave)
{
    for (int bus = 0; bus < 2; ++bus) {
        const DriveInfo* master = c.env().At(bus, 0);
        if (!master)
            continue;
        const DriveInfo* slave = c.env().At(bus, 1);
        const uint16_t base = master->Base();
        const uint16_t alt = master->Alt();
        const std::string ch = bus ? "secondary" : "primary";

        c.Connect(*master);
        c.Expect((SecurityAction("voran", 0, 0, ata::kCmdSecSetPassword) & 0xFF) == 0,
                 ch + ": SECURITY SET PASSWORD was accepted");
        const uint8_t masterStatus = PortRead(alt);
        c.Expect(masterStatus & ata::kStErr, ch + ": master shows ERR after the refused command, status " +
                                                 Check::Hex(masterStatus));

        PortWrite(uint16_t(base + 6), 0xF0);
        const uint8_t devReg = PortRead(uint16_t(base + 6));
        const uint8_t slaveStatus = PortRead(alt);
        const uint8_t slaveStatus2 = PortRead(uint16_t(base + 7));
        c.Note(ch + " after 0xF0: device register " + Check::Hex(devReg) + ", alt status " + Check::Hex(slaveStatus) +
               ", status " + Check::Hex(slaveStatus2) + ", error " + Check::Hex(PortRead(uint16_t(base + 1))) +
               (slave ? "" : " (no slave)"));
        if (slave) {
            c.ExpectEq(devReg, uint8_t(0xF0), ch + ": device register read back with the slave selected");
            c.ExpectEq(slaveStatus, uint8_t(ata::kStDrdy | ata::kStDsc), ch + ": slave status");
        } else {
            c.Expect(slaveStatus != masterStatus, ch + ": selecting the absent slave still shows the master's status");
            c.Expect(!(slaveStatus & ata::kStDrdy) || slaveStatus == 0xFF,
                     ch + ": the absent slave looks ready, status " + Check::Hex(slaveStatus));
        }

        PortWrite(uint16_t(base + 6), 0xE0);
        c.ExpectEq(PortRead(alt), masterStatus, ch + ": master status again after 0xE0");
        c.ExpectEq(PortRead(uint16_t(base + 6)), uint8_t(0xE0), ch + ": device register after 0xE0");

        c.Expect((SoftReset() & 0xFF) != 0, ch + ": SoftReset after the test (" + LastOutcome() + ")");
    }
}
