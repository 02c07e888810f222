// The host protected area dialog, the drive erase and soft-bad creation on
// QEMU's drives, run as the program runs them (their loops on the UI
// thread), and at the very end the erased sectors read back through the
// kernel's own driver.
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <thread>

#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "GuestProcess.h"
#include "GuestQt.h"
#include "common/Int64SpinBox.h"
#include "common/Services.h"
#include "hw/PortIo.h"
#include "info/HPA.h"
#include "ops/Erase.h"
#include "ops/EraseParam.h"
#include "ops/MakeBad.h"
#include "ops/MakeBadParam.h"
#include "ops/OpsRules.h"
#include "select/RadioGroup.h"

#include <QLineEdit>
#include <QPushButton>

using namespace guest;

namespace {

// The erase: 300 sectors of the primary master (a block of 256 and the
// shorter last one), filler A5.  The sectors around it stay as the fresh
// image has them: zeros.
constexpr int64_t kEraseStart = 4096;
constexpr int64_t kEraseEnd = 4396;
constexpr uint8_t kFiller = 0xA5;
bool gErased = false;  // the erase check ran to its end

const DriveInfo* PrimaryMaster(Check& c)
{
    const DriveInfo* d = c.env().At(0, 0);
    c.Expect(d != nullptr, "no drive at the primary master");
    return d;
}

// Identify as the drive answers, with word 82 bit 10 (the host protected
// area feature set) or word 83 bit 10 (48-bit addressing) changed.
int32_t IdentifyReportingHpa(uint8_t* b)
{
    const int32_t r = IdentifyDevice(b);
    b[2 * 82 + 1] |= 0x04;
    return r;
}
int32_t IdentifyAs28Bit(uint8_t* b)
{
    const int32_t r = IdentifyDevice(b);
    b[2 * 83 + 1] &= uint8_t(~0x04);
    return r;
}

std::string Said(const MessageRecorder& m) { return m.Texts().join(QStringLiteral(" | ")).toStdString(); }

}  // namespace

GUEST_CHECK(ops, hpa_dialog_reads_the_native_maximum_and_set_max_is_refused)
{
    EnsureApplication();
    MessageRecorder messages;
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        messages.Clear();
        {
            // QEMU does not report the feature set in word 82: the dialog
            // says so and does not open.
            TfrmHPA f(nullptr);
            c.Note(d.id + ": HPA dialog: " + (f.ShowAllowed ? std::string("opens") : Said(messages)));
            if (!c.Simulated())
                c.ExpectEq(Said(messages), std::string("Устройство не поддерживает HPA!"), d.id + ": refusal");
        }
        // With the feature set reported, the dialog's own commands reach
        // QEMU: READ NATIVE MAX answers, SET MAX is refused.
        messages.Clear();
        TfrmHPA f(nullptr, &IdentifyReportingHpa);
        if (!c.Expect(f.ShowAllowed == 1, d.id + ": the dialog did not open: " + Said(messages)))
            continue;
        const int64_t native = int64_t(d.Sectors() - 1);
        c.ExpectEq(f.eMaxLBA->text().toStdString(), std::to_string(native), d.id + ": native maximum");
        c.ExpectEq(f.speNewMaxLBA->maximum(), native, d.id + ": the field's upper limit");
        c.ExpectEq(f.windowTitle().toStdString(), hpa::Caption(QString::fromStdString(d.model), native).toStdString(),
                   d.id + ": caption");
        f.bbOK->click();  // the native maximum unchanged
        c.Note(d.id + ": SET MAX of the native maximum: " + Said(messages));
        if (!c.Simulated()) {
            c.ExpectEq(Said(messages), std::string("Ошибка установки масимально возможного количества секторов!"),
                       d.id + ": what OK said");
            c.ExpectEq(ata::LastResult().error, ata::kErAbrt, d.id + ": error register of SET MAX");
        }
        c.Expect((SoftReset() & 0xFF) != 0, d.id + ": SoftReset after the dialog (" + LastOutcome() + ")");
    }
}

GUEST_CHECK(ops, erase_writes_a_fixed_filler_over_a_small_range)
{
    EnsureApplication();
    MessageRecorder messages;
    const DriveInfo* d = PrimaryMaster(c);
    if (!d)
        return;
    c.Connect(*d);
    TfrmErase f(nullptr);
    std::vector<std::string> blocks;  // "first+count"
    int failed = 0;
    f.EraseCommand = [&](int64_t lba, int64_t count, uint8_t lba48, uint8_t random, uint8_t filler) {
        blocks.push_back(std::to_string(lba) + "+" + std::to_string(count));
        const int32_t r = EraseSector(lba, count, lba48, random, filler);
        if (!(r & 0xFF)) {
            ++failed;
            c.Expect(false, d->id + ": EraseSector(" + std::to_string(lba) + ") failed (" + LastOutcome() + ")");
        }
        return r;
    };
    f.ParamDialog = [](TfrmEraseParam& p) {
        p.speLBA1->setValue(kEraseStart);
        p.speLBA2->setValue(kEraseEnd);
        p.rgbRandomPatern->Button(1)->click();
        p.ePatern->setText(HexText(kFiller, 2));
        p.bbOk->click();
        return p.result() == QDialog::Accepted;
    };
    const int beeps = BeepCount();
    f.bbStart->click();  // returns when the pass has ended
    c.Expect(messages.shown.empty(), d->id + ": messages: " + Said(messages));
    c.ExpectEq(blocks, (std::vector<std::string>{"4096+256", "4352+44"}), d->id + ": blocks");
    c.ExpectEq(f.windowTitle().toStdString(), "Стирание накопителя: " + d->model + " - Выполнено", d->id + ": caption");
    c.ExpectEq(BeepCount() - beeps, 1, d->id + ": beeps (the end of the pass)");
    c.Expect(VerifySectors(kEraseStart, 256, 1) >= 0 && VerifySectors(kEraseStart + 256, 44, 1) >= 0,
             d->id + ": the erased range verifies (" + LastOutcome() + ")");
    gErased = failed == 0 && blocks.size() == 2;
}

GUEST_CHECK(ops, soft_bad_refused_by_qemu_is_survived_with_a_reset_and_a_beep)
{
    EnsureApplication();
    MessageRecorder messages;
    const DriveInfo* d = PrimaryMaster(c);
    if (!d)
        return;
    c.Connect(*d);
    TfrmMakeBAd f(nullptr);
    bool asked = false;
    f.ParamDialog = [&](TfrmMakeBadParam&) { return asked = true; };
    f.bbStart->click();
    // QEMU's word 83 always says 48-bit: the window refuses the drive.
    c.Expect(!asked, d->id + ": a 48-bit drive reached the dialog");
    c.ExpectEq(Said(messages), ops::Lba48Refusal().toStdString(), d->id + ": refusal");

    // Taken for a 28-bit drive, the pass reaches QEMU, which refuses WRITE
    // LONG; every refusal is answered by a reset (the next command finds
    // ERR clear) and a beep, and the pass goes on.
    f.IdentifyCommand = &IdentifyAs28Bit;
    f.ParamDialog = [](TfrmMakeBadParam& p) {
        p.speStartLBA->setValue(2000);
        p.speStopLBA->setValue(2003);
        p.rgbKind->SetItemIndex(1);
        p.bbOk->click();
        return p.result() == QDialog::Accepted;
    };
    std::vector<int64_t> sent;
    std::vector<std::string> results;
    f.MakeBadCommand = [&](int64_t lba) {
        const uint8_t before = PortRead(d->Alt());
        c.Expect(!(before & ata::kStErr), d->id + ": ERR still set before sector " + std::to_string(lba));
        sent.push_back(lba);
        const int32_t r = MakeSoftBad(lba);
        results.push_back((r & 0xFF) ? "done" : LastOutcome());
        return r;
    };
    messages.Clear();
    const int beeps = BeepCount();
    f.bbStart->click();
    c.ExpectEq(sent, (std::vector<int64_t>{2000, 2001, 2002}), d->id + ": sectors sent");
    c.Note(d->id + ": WRITE LONG in the soft-bad window: " + (results.empty() ? std::string() : results.front()));
    if (!c.Simulated()) {
        for (const std::string& r : results)
            c.ExpectEq(r, std::string("device error, status 0x41, error 0x04"), d->id + ": WRITE LONG");
        c.ExpectEq(BeepCount() - beeps, 3, d->id + ": beeps");
    }
    c.Expect(messages.shown.empty(), d->id + ": messages: " + Said(messages));
    c.ExpectEq(f.windowTitle().toStdString(), "Создание Soft-Bad" + d->model + " - Выполнено", d->id + ": caption");
    ata::IdentifyBlock b;
    if (Identify(c, *d, b))
        c.ExpectEq(IdentifyText(b, ata::kModelField), d->model, d->id + ": the drive answers afterwards");
}

// The last thing in the guest: the kernel's driver takes the controller
// (no port check may come after it) and reads the erased sectors.
GUEST_CHECK_LAST(ops, kernel_driver_reads_the_filler_back)
{
    if (c.Simulated()) {
        c.Note("ops: the kernel's driver is loaded in the guest only; not run on the simulated mirror");
        return;
    }
    std::string why;
    if (!c.Expect(InsideTestGuest(&why), "not loading a driver outside the test guest: " + why))
        return;
    const DriveInfo* d = PrimaryMaster(c);
    if (!d || !c.Expect(gErased, "the erase check did not write the range"))
        return;
    const ProcessResult load = RunProgram({"/sbin/modprobe", "-a", "ata_piix", "sd_mod"});
    if (!c.ExpectEq(load.exitCode, 0, "modprobe -a ata_piix sd_mod: " + load.output))
        return;

    // The disk whose size is the primary master's, once the driver has
    // found it.
    std::string disk;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (disk.empty() && std::chrono::steady_clock::now() < deadline) {
        if (DIR* dir = opendir("/sys/block")) {
            while (dirent* e = readdir(dir)) {
                if (std::strncmp(e->d_name, "sd", 2) != 0)
                    continue;
                uint64_t size = 0;
                std::ifstream(std::string("/sys/block/") + e->d_name + "/size") >> size;
                if (size == d->Sectors())
                    disk = e->d_name;
            }
            closedir(dir);
        }
        if (disk.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!c.Expect(!disk.empty(), "no disk of " + std::to_string(d->Sectors()) + " sectors after loading the driver"))
        return;
    std::string model;
    std::getline(std::ifstream("/sys/block/" + disk + "/device/model"), model);
    c.Note("ops: the kernel's disk for " + d->id + ": " + disk + " (" + model + ")");

    // Two sectors on each side of the range, the range itself.
    const int64_t first = kEraseStart - 2, count = kEraseEnd - kEraseStart + 4;
    const ProcessResult dd = RunProgram({"/bin/dd", "if=/dev/" + disk, "bs=512", "skip=" + std::to_string(first),
                                         "count=" + std::to_string(count), "iflag=direct", "status=none"});
    if (!c.ExpectEq(dd.exitCode, 0, "dd of /dev/" + disk) ||
        !c.ExpectEq(dd.output.size(), size_t(count * 512), "bytes read by dd"))
        return;
    for (int64_t i = 0; i < count; ++i) {
        const int64_t lba = first + i;
        const uint8_t want = (lba >= kEraseStart && lba < kEraseEnd) ? kFiller : 0x00;
        const std::string sector = dd.output.substr(size_t(i * 512), 512);
        const size_t wrong = sector.find_first_not_of(char(want));
        c.Expect(wrong == std::string::npos, "sector " + std::to_string(lba) + " byte " + std::to_string(wrong) +
                                                 " is not " + Check::Hex(want));
    }
}
