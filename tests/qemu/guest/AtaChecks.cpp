// The ATA command layer against QEMU's ide-hd drives: every value QEMU was
// given must come back exactly, every command QEMU carries out must succeed,
// and a refused command must leave the channel usable after a soft reset.
#include <chrono>
#include <numeric>
#include <set>

#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "hw/PortIo.h"

using namespace guest;

namespace {

bool ChecksumOk(const uint8_t* sector)
{
    return uint8_t(std::accumulate(sector, sector + 512, 0u)) == 0;
}

std::string Words(const ata::IdentifyBlock& b, std::initializer_list<int> words)
{
    std::string s;
    for (int w : words)
        s += "w" + std::to_string(w) + "=" + Check::Hex(b.Word(w), 4).substr(2) + " ";
    return s;
}

}  // namespace

// ---- identify --------------------------------------------------------------

GUEST_CHECK(identify, model_serial_firmware_and_capacity)
{
    for (const DriveInfo& d : c.Drives()) {
        ata::IdentifyBlock b;
        if (!Identify(c, d, b))
            continue;
        ExpectIdentity(c, d, b);
        c.Expect(b.Lba48(), d.id + ": word 83 does not report 48-bit addressing");
        c.ExpectEq(uint64_t(b.Sectors28()), std::min<uint64_t>(d.Sectors(), 0x0FFFFFFF), d.id + ": words 60-61");
        c.ExpectEq(b.Sectors48(), d.Sectors(), d.id + ": words 100-103");
        c.Note(d.id + ": " + Words(b, {0, 47, 49, 53, 59, 80, 81, 82, 83, 84, 85, 86, 87, 88, 93, 128, 255}));
    }
}

GUEST_CHECK(identify, slave_and_master_answer_separately)
{
    for (const DriveInfo& d : c.Drives()) {
        if (d.unit != 1 || !c.env().At(d.bus, 0))
            continue;
        ata::IdentifyBlock slave, master;
        if (!Identify(c, d, slave) || !Identify(c, *c.env().At(d.bus, 0), master))
            continue;
        c.Expect(IdentifyText(slave, ata::kModelField) != IdentifyText(master, ata::kModelField),
                 d.id + ": the slave answered with the master's identity");
    }
}

GUEST_CHECK(identify, absent_device_is_reported_as_missing)
{
    for (auto [bus, unit] : c.env().EmptyPositions()) {
        DriveInfo absent;
        absent.id = std::string(bus ? "secondary" : "primary") + (unit ? " slave" : " master");
        absent.bus = bus;
        absent.unit = unit;
        c.Connect(absent);
        uint8_t buf[512];
        std::fill(std::begin(buf), std::end(buf), uint8_t(0xAB));
        const auto t0 = std::chrono::steady_clock::now();
        c.ExpectEq(IdentifyDevice(buf) & 0xFF, 0, absent.id + ": IdentifyDevice on an empty position");
        const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        // Status 0x00 says at once that nothing is there: no waiting for the time-out.
        c.Expect(waited < c.env().timeOutSeconds / 2.0,
                 absent.id + ": took " + std::to_string(waited) + " s to find nothing there");
        c.ExpectEq(std::string(ata::OutcomeName(ata::LastResult().outcome)), std::string("no device"),
                   absent.id + ": outcome");
        c.ExpectEq(buf[0], uint8_t(0xAB), absent.id + ": buffer left alone");
        const uint16_t base = absent.Base();
        c.Note(absent.id + ": status " + Check::Hex(PortRead(uint16_t(base + 7))) + ", alt " +
               Check::Hex(PortRead(absent.Alt())) + ", error " + Check::Hex(PortRead(uint16_t(base + 1))) +
               ", count " + Check::Hex(PortRead(uint16_t(base + 2))) + ", device " +
               Check::Hex(PortRead(uint16_t(base + 6))) + ", data " + Check::Hex(Ports().In16(base), 4));
    }
}

// ---- SMART -------------------------------------------------------------------

GUEST_CHECK(smart, attributes_and_thresholds)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        ata::SmartData data{};
        ata::SmartThresholds thr{};
        if (!c.Expect((GetSMARTAttributes(reinterpret_cast<uint8_t*>(&data)) & 0xFF) != 0,
                      d.id + ": GetSMARTAttributes (" + LastOutcome() + ")") ||
            !c.Expect((GetSMARTThresholds(reinterpret_cast<uint8_t*>(&thr)) & 0xFF) != 0,
                      d.id + ": GetSMARTThresholds (" + LastOutcome() + ")"))
            continue;
        c.Expect(ChecksumOk(reinterpret_cast<const uint8_t*>(&data)), d.id + ": attribute sector checksum");
        c.Expect(ChecksumOk(reinterpret_cast<const uint8_t*>(&thr)), d.id + ": threshold sector checksum");
        std::set<int> ids;
        std::string list;
        for (int i = 0; i < 30; ++i) {
            const ata::SmartAttribute& a = data.attr[i];
            if (!a.id)
                continue;
            ids.insert(a.id);
            list += std::to_string(a.id) + ":" + std::to_string(a.value) + "/" + std::to_string(a.worst) + "/" +
                    std::to_string(thr.entry[i].threshold) + " ";
            c.ExpectEq(int(thr.entry[i].id), int(a.id), d.id + ": threshold entry " + std::to_string(i));
        }
        c.ExpectEq(ids, (std::set<int>{1, 3, 4, 5, 9, 12, 190}), d.id + ": attribute ids");
        c.Note(d.id + ": revision " + std::to_string(data.revision) + "/" + std::to_string(thr.revision) +
               ", id:value/worst/threshold " + list);
    }
}

GUEST_CHECK(smart, switched_off_and_on)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        uint8_t buf[512];
        if (!c.Expect((SetSMARTEnabled(0) & 0xFF) != 0, d.id + ": SMART DISABLE (" + LastOutcome() + ")"))
            continue;
        c.ExpectEq(GetSMARTAttributes(buf) & 0xFF, 0, d.id + ": attributes read while SMART is off");
        const ata::Result refused = ata::LastResult();
        c.ExpectEq(refused.error, ata::kErAbrt, d.id + ": error register of the refused read");

        ata::IdentifyBlock b{};
        IdentifyDevice(b.Bytes());
        const int again = SetSMARTEnabled(0) & 0xFF;
        c.Note(d.id + " while off: word 85 bit 0 = " + std::to_string(b.Word(85) & 1) +
               ", a second DISABLE " + (again ? "succeeds" : "fails (" + LastOutcome() + ")"));

        c.Expect((SetSMARTEnabled(1) & 0xFF) != 0, d.id + ": SMART ENABLE (" + LastOutcome() + ")");
        c.Expect((GetSMARTAttributes(buf) & 0xFF) != 0, d.id + ": attributes after SMART ENABLE (" + LastOutcome() + ")");
    }
}

// ---- verify and seek -----------------------------------------------------------

GUEST_CHECK(verify, lba28_ranges)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        const uint64_t top = Reach28(d);
        for (auto [lba, count] : {std::pair<uint64_t, int>{0, 256}, {12345, 1}, {top / 2, 17}, {top - 256, 256}}) {
            const int32_t us = VerifySectors(int64_t(lba), count, 0);
            c.Expect(us >= 0, d.id + ": VerifySectors(" + std::to_string(lba) + ", " + std::to_string(count) +
                                  ", 28-bit) = " + std::to_string(us) + " (" + LastOutcome() + ")");
        }
    }
}

GUEST_CHECK(verify, lba48_ranges)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        std::vector<std::pair<uint64_t, int>> ranges{{0, 256}, {d.Sectors() - 256, 256}, {d.Sectors() - 1, 1}};
        if (d.Above28Bit()) {
            ranges.push_back({ata::kMaxLba28 - 128, 256});  // across the 28-bit limit
            ranges.push_back({ata::kMaxLba28, 1});
        }
        for (auto [lba, count] : ranges) {
            const int32_t us = VerifySectors(int64_t(lba), count, 1);
            c.Expect(us >= 0, d.id + ": VerifySectors(" + std::to_string(lba) + ", " + std::to_string(count) +
                                  ", 48-bit) = " + std::to_string(us) + " (" + LastOutcome() + ")");
        }
        const int32_t beyond = VerifySectors(int64_t(d.Sectors()), 1, 1);
        c.Note(d.id + ": verify of the sector after the last: " +
               (beyond >= 0 ? "succeeds" : "fails (" + LastOutcome() + ")"));
    }
}

// A completed VERIFY leaves the address and count in the registers; reading
// them back (the high-order bytes with HOB) shows what reached the drive.
GUEST_CHECK(verify, taskfile_reaches_the_drive)
{
    struct Case {
        uint64_t lba;
        int count;
        bool ext;
    };
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        const uint16_t b = d.Base();
        std::vector<Case> cases{{0x0ABCDE1, 17, false}, {Reach28(d) - 1, 1, false}, {0x0876543, 256, false},
                                {d.Sectors() - 200, 200, true}, {0x0123456, 256, true}};
        if (d.Above28Bit())
            cases.push_back({(d.Sectors() - 1) & ~0xFFFFull, 1, true});
        for (const Case& k : cases) {
            const std::string what = d.id + ": VERIFY" + (k.ext ? " EXT " : " ") + std::to_string(k.lba) + "+" +
                                     std::to_string(k.count);
            if (!c.Expect(VerifySectors(int64_t(k.lba), k.count, k.ext) >= 0, what + " (" + LastOutcome() + ")"))
                continue;
            uint64_t lba = uint64_t(PortRead(uint16_t(b + 3))) | (uint64_t(PortRead(uint16_t(b + 4))) << 8) |
                           (uint64_t(PortRead(uint16_t(b + 5))) << 16);
            uint32_t count = PortRead(uint16_t(b + 2));
            if (k.ext) {
                PortWrite(d.Alt(), ata::kCtlHob | ata::kCtlNien);
                lba |= (uint64_t(PortRead(uint16_t(b + 3))) << 24) | (uint64_t(PortRead(uint16_t(b + 4))) << 32) |
                       (uint64_t(PortRead(uint16_t(b + 5))) << 40);
                count |= uint32_t(PortRead(uint16_t(b + 2))) << 8;
                PortWrite(d.Alt(), ata::kCtlNien);
            } else {
                lba |= uint64_t(PortRead(uint16_t(b + 6)) & 0x0F) << 24;
            }
            c.ExpectEq(lba, k.lba, what + ": address in the registers");
            c.ExpectEq(count, uint32_t(k.ext ? k.count : (k.count & 0xFF)), what + ": count in the registers");
        }
    }
}

// Several PIO blocks in one command: every block waits for its own status.
GUEST_CHECK(verify, multi_block_write_then_verify)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        const int64_t lba = int64_t(d.Sectors() / 2);
        for (uint8_t lba48 : {uint8_t(0), uint8_t(1)}) {
            const int64_t at = lba48 ? lba : std::min<int64_t>(lba, int64_t(Reach28(d)) - 300);
            c.Expect((EraseSector(at, 200, lba48, 0, 0xA5) & 0xFF) != 0,
                     d.id + ": EraseSector of 200 sectors, " + (lba48 ? "48" : "28") + "-bit (" + LastOutcome() + ")");
            c.Expect(VerifySectors(at, 200, lba48) >= 0, d.id + ": VerifySectors after the write (" + LastOutcome() + ")");
        }
        const int soft = MakeSoftBad(1000) & 0xFF;
        c.Note(d.id + ": WRITE LONG " + (soft ? std::string("succeeds") : "fails (" + LastOutcome() + ")"));
        c.Expect(VerifySectors(0, 1, 1) >= 0, d.id + ": the channel works after WRITE LONG (" + LastOutcome() + ")");
    }
}

GUEST_CHECK(seek, first_and_last_reachable_sector)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        for (uint64_t lba : {uint64_t(0), Reach28(d) - 1, Reach28(d) / 3}) {
            const int32_t us = SeekLBA(int64_t(lba));
            c.Expect(us >= 0, d.id + ": SeekLBA(" + std::to_string(lba) + ") = " + std::to_string(us) + " (" +
                                  LastOutcome() + ")");
        }
    }
}

// ---- host protected area ------------------------------------------------------------

GUEST_CHECK(hpa, native_max_address)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        int64_t max48 = -1, max28 = -1;
        if (c.Expect((GetMaxHPA(&max48, 1) & 0xFF) != 0, d.id + ": GetMaxHPA 48-bit (" + LastOutcome() + ")"))
            c.ExpectEq(max48, int64_t(d.Sectors() - 1), d.id + ": 48-bit native max address");
        if (!c.Expect((GetMaxHPA(&max28, 0) & 0xFF) != 0, d.id + ": GetMaxHPA 28-bit (" + LastOutcome() + ")"))
            continue;
        if (d.Above28Bit())
            c.Note(d.id + ": 28-bit native max of a drive beyond 28 bits = " + Check::Hex(uint64_t(max28), 8) +
                   " (sectors - 1 = " + Check::Hex(d.Sectors() - 1, 8) + ")");
        else
            c.ExpectEq(max28, int64_t(d.Sectors() - 1), d.id + ": 28-bit native max address");
    }
}

// ---- refused commands and the soft reset ------------------------------------------------

GUEST_CHECK(errors, refused_command_then_soft_reset)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        c.ExpectEq(SecurityAction("voran", 0, 0, ata::kCmdSecSetPassword) & 0xFF, 0,
                   d.id + ": SECURITY SET PASSWORD result");
        const ata::Result r = ata::LastResult();
        c.ExpectEq(std::string(ata::OutcomeName(r.outcome)), std::string("device error"), d.id + ": outcome");
        c.Expect(r.status & ata::kStErr, d.id + ": ERR in the status " + Check::Hex(r.status));
        c.ExpectEq(r.error, ata::kErAbrt, d.id + ": error register of the refused command");
        c.ExpectEq(PortRead(uint16_t(d.Base() + 1)), ata::kErAbrt, d.id + ": error register read directly");
        c.ExpectEq(ERR(), 1, d.id + ": ERR()");
        c.ExpectEq(WaitReady(), 255, d.id + ": WaitReady() with ERR");
        c.Note(d.id + ": refused security command: status " + Check::Hex(r.status) + ", error " + Check::Hex(r.error));

        if (!c.Expect((SoftReset() & 0xFF) != 0, d.id + ": SoftReset (" + LastOutcome() + ")"))
            continue;
        const uint8_t st = PortRead(d.Alt());
        const uint8_t diag = PortRead(uint16_t(d.Base() + 1));
        c.ExpectEq(uint8_t(st & (ata::kStBsy | ata::kStDrdy | ata::kStDrq | ata::kStErr)), ata::kStDrdy,
                   d.id + ": status after the reset");
        c.Note(d.id + ": after SoftReset: status " + Check::Hex(st) + ", error (diagnostic) " + Check::Hex(diag) +
               ", count/low/mid/high " + Check::Hex(PortRead(uint16_t(d.Base() + 2))) + "/" +
               Check::Hex(PortRead(uint16_t(d.Base() + 3))) + "/" + Check::Hex(PortRead(uint16_t(d.Base() + 4))) +
               "/" + Check::Hex(PortRead(uint16_t(d.Base() + 5))));

        ata::IdentifyBlock b;
        if (Identify(c, d, b))
            c.ExpectEq(IdentifyText(b, ata::kModelField), d.model, d.id + ": model after the reset");
        c.ExpectEq(ERR(), 0, d.id + ": ERR() after a good command");
        c.ExpectEq(WaitReady(), 0, d.id + ": WaitReady() of the ready drive");
    }
}

GUEST_CHECK(errors, set_max_address)
{
    // Setting the maximum to what it already is changes nothing where it is
    // carried out; QEMU refuses it.
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        const int ok = SetMaxHPA(int64_t(d.Sectors() - 1), 1) & 0xFF;
        c.Note(d.id + ": SET MAX ADDRESS EXT to the native max " +
               (ok ? std::string("succeeds") : "fails (" + LastOutcome() + ")"));
        if (!ok) {
            c.ExpectEq(ata::LastResult().error, ata::kErAbrt, d.id + ": error register of the refused SET MAX");
            c.Expect((SoftReset() & 0xFF) != 0, d.id + ": SoftReset (" + LastOutcome() + ")");
        }
        int64_t max48 = -1;
        c.Expect((GetMaxHPA(&max48, 1) & 0xFF) != 0 && max48 == int64_t(d.Sectors() - 1),
                 d.id + ": native max after SET MAX");
    }
}
