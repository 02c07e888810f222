// The q35 run, the program's side of the kernel's drives: the selection rows
// found through sysfs and the dialog that opens them, voran --list, what a
// user without the rights is told, and the guard that keeps writes off a
// drive the system has mounted.
#include <QDialog>
#include <QTimer>
#include <QLineEdit>
#include <QTableWidget>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sstream>
#include <unistd.h>

#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "GuestProcess.h"
#include "GuestQt.h"
#include "app/RefusalBox.h"
#include "common/DriveContext.h"
#include "common/Int64SpinBox.h"
#include "common/PortLock.h"
#include "common/Services.h"
#include "hw/InUseGuard.h"
#include "hw/KernelDrives.h"
#include "hw/Transport.h"
#include "ops/Erase.h"
#include "ops/EraseParam.h"
#include "security/Password.h"
#include "security/SecurityErase.h"
#include "select/DriveRows.h"
#include "select/RadioGroup.h"
#include "select/SelectPort.h"

using namespace guest;

namespace {

bool Has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

std::string ReadLine(const std::string& path)
{
    std::ifstream f(path);
    std::string s;
    std::getline(f, s);
    return s;
}

const ata::KernelDrive* Found(const std::vector<ata::KernelDrive>& found, const DriveInfo& d)
{
    for (const ata::KernelDrive& k : found)
        if (k.path == d.node)
            return &k;
    return nullptr;
}

// What udev does on a real system and the guest's devtmpfs does not: the
// disk nodes belong to group disk, mode 0660.
void NodeAsUdevMakesIt(const std::string& node)
{
    if (const group* g = ::getgrnam("disk")) {
        (void)!::chown(node.c_str(), 0, g->gr_gid);
        ::chmod(node.c_str(), 0660);
    }
}

// `sectors` sectors from `lba`, read past the page cache.
std::vector<uint8_t> ReadDirect(const std::string& node, uint64_t lba, size_t sectors)
{
    std::vector<uint8_t> out;
    const int fd = ::open(node.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
    if (fd < 0)
        return out;
    void* buf = nullptr;
    if (::posix_memalign(&buf, 4096, sectors * 512) == 0) {
        if (::pread(fd, buf, sectors * 512, off_t(lba * 512)) == ssize_t(sectors * 512))
            out.assign(static_cast<uint8_t*>(buf), static_cast<uint8_t*>(buf) + sectors * 512);
        std::free(buf);
    }
    ::close(fd);
    return out;
}

// Writes sector 0 past the cache and has the kernel read the partition
// table again.
bool WriteSector0(const std::string& node, const uint8_t* sector)
{
    const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::pwrite(fd, sector, 512, 0) == 512 && ::fsync(fd) == 0;
    ::ioctl(fd, BLKFLSBUF);
    ok = ::ioctl(fd, BLKRRPART) == 0 && ok;
    ::close(fd);
    return ok;
}

// A partition table with one Linux partition [start, start + count).
bool WritePartitionTable(const std::string& node, uint32_t start, uint32_t count)
{
    uint8_t mbr[512] = {};
    uint8_t* e = mbr + 446;
    e[4] = 0x83;
    std::memcpy(e + 8, &start, 4);
    std::memcpy(e + 12, &count, 4);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    return WriteSector0(node, mbr);
}

// Shows `window` modally, as the main menu does, runs `user` inside its
// loop, and closes it.
void Modal(QDialog& window, const std::function<void()>& user)
{
    QTimer::singleShot(0, &window, [&] {
        user();
        PumpUntil([] { return true; });
        window.done(QDialog::Rejected);
    });
    window.exec();
}

}  // namespace

// ---- the selection rows ----------------------------------------------------------

GUEST_CHECK(sata_select, sysfs_gives_every_ahci_drive_with_its_model_and_port)
{
    if (c.Simulated()) {
        c.Note("sata_select: sysfs is the guest's; not run on the simulated mirror");
        return;
    }
    const std::vector<ata::KernelDrive> found = ata::FindKernelDrives();
    c.ExpectEq(found.size(), c.Drives().size(), "drives found through sysfs");
    for (const DriveInfo& d : c.Drives()) {
        const ata::KernelDrive* k = Found(found, d);
        if (!c.Expect(k != nullptr, d.id + ": " + d.node + " is not among the drives found"))
            continue;
        c.ExpectEq(k->model, d.model, d.id + ": model (in full, from sysfs's IDENTIFY words)");
        c.ExpectEq(k->sectors, d.Sectors(), d.id + ": sectors");
        c.ExpectEq(k->driver, std::string("ahci"), d.id + ": driver");
        c.Expect(k->bus == ata::DriveBus::Ata && k->sata, d.id + ": a SATA drive of libata");
        c.ExpectEq(ReadLine("/sys/class/ata_port/" + k->port + "/port_no"), std::to_string(d.bus + 1),
                   d.id + ": " + k->port + " is AHCI port " + std::to_string(d.bus));
        c.Expect(!k->sgNode.empty(), d.id + ": its sg node");
        c.ExpectEq(KernelDriveRow(*k).name.toStdString(), "SATA " + k->port + " (ahci): " + d.model,
                   d.id + ": the row's name");
    }
}

GUEST_CHECK(sata_select, the_dialog_offers_and_opens_every_drive)
{
    if (c.Simulated())
        return;
    EnsureApplication();
    ResetDriveContext();
    Ctx().TimeOut = c.env().timeOutSeconds;
    PortLock::SetScope(QStringLiteral("voran-guest-select"));
    SetDriveRowSource(KernelDriveRows);
    MessageRecorder messages;
    {
        TfrmSelectPort dlg;  // no port access here: the drives alone
        c.ExpectEq(dlg.Grid->rowCount(), int(c.Drives().size()), "rows of the dialog");
        for (const DriveInfo& d : c.Drives()) {
            const QString node = QString::fromStdString(d.node);
            int row = -1;
            for (int r = 0; r < dlg.Grid->rowCount(); ++r)
                if (dlg.Cell(1, r) == node)
                    row = r;
            if (!c.Expect(row >= 0, d.id + ": no row for " + d.node))
                continue;
            dlg.Grid->setCurrentCell(row, 0);
            c.Expect(dlg.Cell(0, row).endsWith(QStringLiteral(" (ahci): ") + QString::fromStdString(d.model)),
                     d.id + ": row name " + dlg.Cell(0, row).toStdString());
            c.ExpectEq(dlg.Cell(2, row).toStdString(), std::string("SATA"), d.id + ": kind");
            c.Expect(!dlg.rgbDevice->isEnabled(), d.id + ": Master/Slave is off");
            dlg.setResult(0);
            dlg.bbOkClick();
            c.ExpectEq(dlg.result(), int(QDialog::Accepted), d.id + ": OK (" + messages.Texts().join(' ').toStdString() + ")");
            const std::shared_ptr<ata::Transport> t = dlg.TakeDriveTransport();
            c.Expect(t && t->address().path == d.node, d.id + ": the opened drive");
            c.ExpectEq(t ? t->Sample(ata::Register::Status) : 0, uint8_t(0x50), d.id + ": the probe's status");
            const std::unique_ptr<PortLock> lock = dlg.TakePortLock();
            c.Expect(lock && lock->PortText() == node, d.id + ": locked by its node");
        }
    }
    c.Expect(messages.shown.empty(), "no message: " + messages.Texts().join(' ').toStdString());
    SetDriveRowSource(nullptr);
    PortLock::SetScope(QString());
}

GUEST_CHECK(sata_select, list_names_every_drive)
{
    if (c.Simulated())
        return;
    const ProcessResult r = RunProgram({"voran", "--hardware", "--list"});
    c.ExpectEq(r.exitCode, 0, "exit status of --list (" + r.output + ")");
    for (const DriveInfo& d : c.Drives()) {
        bool line = false;
        std::istringstream in(r.output);
        for (std::string l; std::getline(in, l);)
            line = line || (l.rfind(d.node + " ", 0) == 0 && Has(l, " SATA ") && Has(l, d.model) && Has(l, "(ahci)"));
        c.Expect(line, d.id + ": its line in --list: " + r.output);
    }
}

// ---- what a user without the rights is told --------------------------------------

GUEST_CHECK(sata_access, the_command_line_says_what_is_missing)
{
    if (c.Simulated())
        return;
    const DriveInfo& d = c.Drives().front();
    NodeAsUdevMakesIt(d.node);
    const std::string voran = ProgramDir() + "/voran";
    auto as = [&](const std::string& groups) {
        return RunProgram({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", groups, "--", voran, "--device", d.node,
                           "--identify"},
                          {"HOME=/tmp"});
    };
    ProcessResult r = as("--clear-groups");
    c.ExpectEq(r.exitCode, 3, "outside group disk: exit status (" + r.output + ")");
    c.Expect(Has(r.output, "не входит в группу disk"), "outside group disk: " + r.output);
    r = as("--groups=disk");
    c.ExpectEq(r.exitCode, 3, "in group disk: exit status (" + r.output + ")");
    c.Expect(Has(r.output, "CAP_SYS_RAWIO"), "in group disk without CAP_SYS_RAWIO: " + r.output);
    c.Note("in group disk without CAP_SYS_RAWIO, --identify says: " + r.output);
}

GUEST_CHECK(sata_access, the_selection_says_what_is_missing)
{
    if (c.Simulated())
        return;
    const DriveInfo& d = c.Drives().front();
    NodeAsUdevMakesIt(d.node);
    const DriveRow row = PlainDriveRow(QString::fromStdString(d.node), QString::fromStdString(d.model), "SATA");
    // The dialog's opening of the row (OK), in a process with the user's rights.
    auto openAs = [&](bool inGroupDisk) -> std::string {
        int fds[2];
        if (::pipe(fds) != 0)
            return "no pipe";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            const group* g = ::getgrnam("disk");
            const gid_t disk = g ? g->gr_gid : 6;
            if (::setgroups(inGroupDisk ? 1 : 0, &disk) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                ::setresuid(65534, 65534, 65534) != 0)
                ::_exit(2);
            QString why;
            const std::string text = OpenDriveRow(row, 5, &why) ? std::string("opened") : why.toStdString();
            (void)!::write(fds[1], text.data(), text.size());
            ::_exit(0);
        }
        ::close(fds[1]);
        std::string text;
        char buf[1024];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
            text.append(buf, size_t(n));
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return text;
    };
    const std::string outside = openAs(false), member = openAs(true);
    c.Expect(Has(outside, "не входит в группу disk"), "outside group disk: " + outside);
    c.Expect(Has(member, "CAP_SYS_RAWIO"), "in group disk without CAP_SYS_RAWIO: " + member);
}

// ---- the in-use guard ----------------------------------------------------------------

GUEST_CHECK(sata_guard, a_mounted_partition_keeps_writes_off_the_drive)
{
    if (c.Simulated()) {
        c.Note("sata_guard: mounts a file system; not run on the simulated mirror");
        return;
    }
    const DriveInfo& d = c.Drives().back();
    const std::string part = d.node + "1", mnt = "/tmp/voran-guard";
    constexpr uint32_t kStart = 2048, kCount = 65536;
    if (!c.Expect(WritePartitionTable(d.node, kStart, kCount), d.id + ": partition table (" + std::strerror(errno) + ")"))
        return;
    ProcessResult r = RunProgram({"/sbin/mke2fs", "-q", "-F", part});
    c.ExpectEq(r.exitCode, 0, d.id + ": mke2fs " + part + " (" + r.output + ")");
    RunProgram({"/sbin/modprobe", "ext4"});
    std::filesystem::create_directories(mnt);
    if (!c.Expect(::mount(part.c_str(), mnt.c_str(), "ext4", MS_NOATIME, nullptr) == 0,
                  d.id + ": mount " + part + " (" + std::strerror(errno) + ")"))
        return;
    const std::vector<uint8_t> before = ReadDirect(d.node, kStart, 16);

    std::vector<std::string> refusals;
    ata::SetRefusalReporter([&](const std::string& s) { refusals.push_back(s); });
    ata::SetWriteGuardFactory(ata::KernelWriteGuard);
    c.Connect(d);
    const std::string name = d.node.substr(5) + "1";
    auto refused = [&](int32_t result, const std::string& what) {
        c.ExpectEq(result & 0xFF, 0, d.id + ": " + what + " while mounted");
        c.ExpectEq(std::string(ata::OutcomeName(ata::LastResult().outcome)), std::string("the drive is in use by the system"),
                   d.id + ": " + what + " outcome");
    };
    refused(EraseSector(kStart, 16, 1, 0, 0x00), "EraseSector");
    refused(MakeSoftBad(kStart + 2), "MakeSoftBad");
    refused(SetMaxHPA(int64_t(d.Sectors() - 2), 1), "SET MAX");
    refused(SecurityAction("voran", 0, 0, ata::kCmdSecSetPassword), "SECURITY SET PASSWORD");
    refused(SecurityAction("voran", 0, 0, ata::kCmdSecErasePrepare), "SECURITY ERASE PREPARE");
    refused(SecurityAction("voran", 0, 0, ata::kCmdSecEraseUnit), "SECURITY ERASE UNIT");
    c.Expect(!refusals.empty() && Has(refusals.front(), "раздел " + name + " смонтирован в " + mnt),
             d.id + ": the refusal names the mount: " + (refusals.empty() ? std::string() : refusals.front()));
    if (!refusals.empty())
        c.Note(d.id + ": refused with: " + refusals.front());

    ata::IdentifyBlock b{};
    c.Expect((IdentifyDevice(b.Bytes()) & 0xFF) != 0, d.id + ": identify while mounted (" + LastOutcome() + ")");
    c.Expect(VerifySectors(kStart, 256, 1) >= 0, d.id + ": verify while mounted (" + LastOutcome() + ")");
    int64_t native = 0;
    c.Expect((GetMaxHPA(&native, 1) & 0xFF) != 0 && native == int64_t(d.Sectors() - 1),
             d.id + ": READ NATIVE MAX while mounted (" + LastOutcome() + ")");
    uint8_t smart[512];
    c.Expect((GetSMARTAttributes(smart) & 0xFF) != 0, d.id + ": SMART while mounted (" + LastOutcome() + ")");

    // The erase window as the user runs it over the partition: the first
    // block refused, one box that says why, and the pass ends there as failed.
    EnsureApplication();
    refusals.clear();
    {
        MessageRecorder messages;
        InstallRefusalBox(nullptr);
        TfrmErase erase;
        erase.ParamDialog = [&](TfrmEraseParam& p) {
            p.speLBA1->setValue(kStart);
            p.speLBA2->setValue(kStart + 600);
            p.rgbRandomPatern->SetItemIndex(1);
            p.ePatern->setText(QStringLiteral("AA"));
            return true;
        };
        Modal(erase, [&] {
            erase.bbStartClick();
            PumpUntil([&] { return !messages.shown.empty(); }, std::chrono::seconds(5));
        });
        c.ExpectEq(messages.shown.size(), size_t(1), d.id + ": boxes of the erase window over a mounted partition");
        c.Expect(!messages.shown.empty() && messages.shown[0].text.contains(QString::fromStdString(mnt)),
                 d.id + ": the box names the mount: " + messages.Texts().join(' ').toStdString());
        c.ExpectEq(erase.CurrentLBA(), int64_t(kStart), d.id + ": the erase pass ended at its first refused block");
        c.Expect(erase.windowTitle().endsWith(QStringLiteral(" - Ошибка")),
                 d.id + ": the erase pass is captioned as failed: " + erase.windowTitle().toStdString());

        // The security windows: the window's own failure, and the box that says why.
        auto refusedWindow = [&](const std::string& what, const std::function<void()>& run) {
            messages.Clear();
            run();
            PumpUntil([&] { return messages.shown.size() >= 2; }, std::chrono::seconds(5));
            const QString all = messages.Texts().join(QStringLiteral(" | "));
            c.Expect(messages.shown.size() >= 2 && all.contains(QString::fromStdString(mnt)),
                     d.id + ": " + what + " over a mounted partition: " + all.toStdString());
        };
        refusedWindow("the password dialog (set)", [] {
            TfrmPassword pw;
            pw.PasswordMode = ata::kCmdSecSetPassword;
            Modal(pw, [&] {
                pw.ePwd->setText(QStringLiteral("voran"));
                pw.bbOKClick();
            });
        });
        refusedWindow("the security erase window", [] {
            TfrmSecurityErase se;
            Modal(se, [&] { se.bbStartClick(); });
        });
        RemoveRefusalBox();
    }
    c.Expect(!before.empty() && ReadDirect(d.node, kStart, 16) == before, d.id + ": nothing was written");

    // Unmounted, a write goes through, and from then on the drive is held:
    // nothing can mount it while the program works on it.
    c.Expect(::umount(mnt.c_str()) == 0, d.id + ": umount (" + std::strerror(errno) + ")");
    c.Expect((EraseSector(kStart + kCount - 8, 8, 1, 0, 0x00) & 0xFF) != 0, d.id + ": a write once free (" + LastOutcome() + ")");
    c.Expect(::mount(part.c_str(), mnt.c_str(), "ext4", MS_NOATIME, nullptr) != 0 && errno == EBUSY,
             d.id + ": mounting while the program holds the drive is refused");
    ::umount(mnt.c_str());

    ata::Connect(nullptr, c.env().timeOutSeconds, 0, nullptr);  // the hold ends with the connection
    ata::SetWriteGuardFactory(nullptr);
    ata::SetRefusalReporter(nullptr);
    const uint8_t zero[512] = {};
    c.Expect(WriteSector0(d.node, zero), d.id + ": the partition table taken away again");
}
