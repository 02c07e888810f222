#pragma once
// The guard of a drive the system may be using.  A drive reached through the
// kernel's pass-through can carry mounted file systems, swap or
// device-mapper volumes, and the kernel lets a command that writes to it or
// changes its state through all the same.  So before such a command the
// command layer asks the connection's guard: a drive in use is refused, with
// a sentence that names what holds it; a drive that is free is opened
// exclusively (O_EXCL on the whole disk) and held so until the connection
// ends, so that nothing can mount it while the program works on it.
// Reading commands never ask.
//
// The sentence of a refusal reaches the user through the reporter the
// program installs (a message box, or standard error without a window); the
// command itself fails with Outcome::InUse.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hw/AtaTypes.h"
#include "hw/KernelDrives.h"
#include "hw/Transport.h"

namespace ata {

// Commands that write to the medium or change what the drive shows of it:
// the write commands (WRITE LONG and WRITE UNCORRECTABLE included), SET MAX
// and its siblings, the security commands that set, use or remove a
// password for an erase (SET PASSWORD, ERASE PREPARE, ERASE UNIT, DISABLE
// PASSWORD), DATA SET MANAGEMENT, SANITIZE and DOWNLOAD MICROCODE.
bool ChangesDrive(const Taskfile& tf);

// One line of /proc/self/mountinfo as far as the guard needs it.
struct MountEntry {
    std::string majMin;      // field 3
    std::string mountPoint;  // field 5, octal escapes undone
    std::string source;      // the field after the file system type
};
std::vector<MountEntry> ParseMountInfo(const std::string& text);
// The file names of /proc/swaps (escapes undone), without the header.
std::vector<std::string> ParseSwaps(const std::string& text);

// What holds the whole disk `disk` ("sdb") or one of its partitions, one
// sentence each: "раздел sdb1 смонтирован в /mnt/data", "раздел sdb2
// используется для подкачки", "раздел sdb3 занят device-mapper (dm-0,
// vg-data)".  Empty when nothing is known to hold it.
std::vector<std::string> DiskUsers(const std::string& disk, const SystemRoots& roots = CurrentSystemRoots());

// The guard of one connection.
class WriteGuard {
public:
    virtual ~WriteGuard() = default;
    // Before a command that changes the drive: true when it may go on (the
    // drive is held from now on), false with the sentence for the user.
    virtual bool Claim(std::string* why) = 0;
};

// The guard of the pass-through drive at `path` (/dev/sdX or /dev/sgN).
class InUseGuard : public WriteGuard {
public:
    explicit InUseGuard(std::string path, SystemRoots roots = CurrentSystemRoots());
    ~InUseGuard() override;
    bool Claim(std::string* why) override;
    bool Holding() const { return m_fd >= 0; }
    // Opens the whole disk exclusively: an fd, or -errno.  Tests replace it.
    std::function<int(const std::string& diskPath)> openExclusive;

private:
    std::string m_path;
    SystemRoots m_roots;
    int m_fd = -1;
};

// The guard for a connection's transport: an InUseGuard for a drive of the
// kernel's pass-through, none for a channel's ports or a simulated drive.
// The program installs the choice at start (the kernel's drives exist only
// in hardware mode); tests install their own.  Default: no guard at all.
using WriteGuardFactory = std::function<std::shared_ptr<WriteGuard>(const Address& address)>;
void SetWriteGuardFactory(WriteGuardFactory factory);
std::shared_ptr<WriteGuard> MakeWriteGuard(const Address& address);
// The factory of hardware mode: InUseGuard for every pass-through address.
std::shared_ptr<WriteGuard> KernelWriteGuard(const Address& address);

// Where the sentence of a refusal goes; called on the thread of the refused
// command, inside the command layer, so it must not wait for anything (post
// a message box, write a line).  Null: nowhere.
using RefusalReporter = std::function<void(const std::string& sentence)>;
void SetRefusalReporter(RefusalReporter reporter);

// The command layer's question before `request` is sent through a
// connection guarded by `guard` (may be null): Ok to go on, or a result
// with Outcome::InUse after the sentence went to the reporter.
Result GuardCommand(WriteGuard* guard, const Request& request);
// The sentence of the last refusal in this process (for the command line
// and for tests); empty before the first.
std::string LastRefusal();

}  // namespace ata
