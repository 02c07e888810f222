// Discovery of the drives a kernel driver owns, and the guard of a drive the
// system uses, on fake sysfs and /proc trees.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "hw/InUseGuard.h"
#include "hw/KernelDrives.h"
#include "support/FakeSystem.h"
#include "support/SimFixture.h"

using testsupport::FakeSystem;

namespace {

struct Tree {
    QTemporaryDir dir;
    FakeSystem fake{dir.path().toStdString()};
};

}  // namespace

TEST(KernelDrives, ListsLibataAndUsbDisksInKernelOrderAndLeavesTheRestOut)
{
    Tree t;
    t.fake.AddAtaDisk("sdb", 2, 0, "VORAN Q35 SECOND DRIVE WITH A LONG MODEL", 2000, "8:16", "0000:00:1f.2", "ahci",
                      true, "sg1");
    t.fake.AddAtaDisk("sda", 1, 1, "PATA SLAVE", 1000, "8:0", "0000:00:01.1", "ata_piix", false);
    t.fake.AddUsbDisk("sdaa", "2-1", "uas", "Samsung", "Portable SSD T5", 3000, "65:160");
    t.fake.AddUsbDisk("sdc", "2-2", "usb-storage", "Generic", "Card Reader", 0, "8:32");  // no medium
    t.fake.AddNvme("nvme0n1");
    t.fake.AddPartition("sdb", "sdb1", "8:17");

    const auto drives = ata::FindKernelDrives(t.fake.Roots());
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].name, "sda");
    EXPECT_EQ(drives[0].path, t.fake.Roots().dev + "/sda");
    EXPECT_EQ(drives[0].model, "PATA SLAVE");  // from devN.T of its SCSI target
    EXPECT_EQ(drives[0].driver, "ata_piix");
    EXPECT_EQ(drives[0].port, "ata1");
    EXPECT_FALSE(drives[0].sata);
    EXPECT_EQ(drives[1].name, "sdb");
    EXPECT_EQ(drives[1].model, "VORAN Q35 SECOND DRIVE WITH A LONG MODEL");  // in full, not the SCSI 16
    EXPECT_TRUE(drives[1].sata);
    EXPECT_EQ(drives[1].sgNode, t.fake.Roots().dev + "/sg1");
    EXPECT_EQ(drives[1].majMin, "8:16");
    EXPECT_EQ(drives[1].sectors, 2000u);
    EXPECT_EQ(drives[2].name, "sdaa");
    EXPECT_EQ(drives[2].bus, ata::DriveBus::Usb);
    EXPECT_EQ(drives[2].model, "Samsung Portable SSD T5");
    EXPECT_EQ(drives[2].port, "2-1");
    EXPECT_EQ(drives[2].driver, "uas");
}

TEST(KernelDrives, ModelFromTheIdentifyWordsOfSysfs)
{
    EXPECT_EQ(ata::ModelFromIdText(FakeSystem::IdText("  QEMU HARDDISK  ")), "QEMU HARDDISK");
    EXPECT_EQ(ata::ModelFromIdText(""), "");
    EXPECT_EQ(ata::ModelFromIdText("0040 3fff zz"), "");
    EXPECT_EQ(ata::ModelFromIdText("0040 3fff"), "");  // not 256 words
}

TEST(KernelDrives, NodesLeadToTheirWholeDisk)
{
    Tree t;
    t.fake.AddAtaDisk("sda", 1, 0, "ONE", 1000, "8:0", "0000:00:1f.2", "ahci", true, "sg0");
    t.fake.AddPartition("sda", "sda1", "8:1");
    const std::string dev = t.fake.Roots().dev;
    EXPECT_EQ(ata::DiskOfNode(dev + "/sda", t.fake.Roots()), "sda");
    EXPECT_EQ(ata::DiskOfNode(dev + "/sg0", t.fake.Roots()), "sda");
    EXPECT_FALSE(ata::DiskOfNode(dev + "/sda1", t.fake.Roots()));
    EXPECT_FALSE(ata::DiskOfNode(dev + "/sdz", t.fake.Roots()));
    EXPECT_FALSE(ata::DiskOfNode("/elsewhere/sda", t.fake.Roots()));
}

// ---- what holds a disk ------------------------------------------------------------

TEST(InUse, MountInfoAndSwapsAreReadWithTheirEscapes)
{
    const auto m = ata::ParseMountInfo(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 0:45 / /mnt/my\\040disk rw - btrfs /dev/sdb2 rw,space_cache\n"
        "garbage\n");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].majMin, "8:1");
    EXPECT_EQ(m[0].source, "/dev/sda1");
    EXPECT_EQ(m[1].mountPoint, "/mnt/my disk");
    EXPECT_EQ(m[1].source, "/dev/sdb2");
    const auto s = ata::ParseSwaps("Filename Type Size Used Priority\n/dev/sdb3 partition 100 0 -2\n/swap\\040file file 1 0 -3\n");
    EXPECT_EQ(s, (std::vector<std::string>{"/dev/sdb3", "/swap file"}));
}

TEST(InUse, NamesMountsSwapAndDeviceMapperOfTheDiskAndItsPartitions)
{
    Tree t;
    t.fake.AddAtaDisk("sdb", 2, 0, "TWO", 1000, "8:16");
    for (const char* p : {"sdb1", "sdb2", "sdb3", "sdb4"})
        t.fake.AddPartition("sdb", p, std::string("8:") + std::to_string(16 + (p[3] - '0')));
    t.fake.AddAtaDisk("sdc", 3, 0, "OTHER", 1000, "8:32");
    t.fake.AddPartition("sdc", "sdc1", "8:33");
    const ata::SystemRoots roots = t.fake.Roots();
    EXPECT_TRUE(ata::DiskUsers("sdb", roots).empty());

    t.fake.Mount("8:17", "/mnt/data", "/dev/sdb1");
    t.fake.Mount("8:17", "/srv/bind", "/dev/sdb1");
    t.fake.Mount("0:45", "/mnt/btrfs", "/dev/sdb4", "btrfs");  // an anonymous device: found by its source
    t.fake.Mount("8:33", "/other", "/dev/sdc1");              // another disk's
    t.fake.Swap("/dev/sdb2");
    t.fake.Holder("sdb3", "dm-0", "vg-data");
    EXPECT_EQ(ata::DiskUsers("sdb", roots),
              (std::vector<std::string>{"раздел sdb1 смонтирован в /mnt/data, /srv/bind",
                                        "раздел sdb2 используется для подкачки",
                                        "раздел sdb3 занят device-mapper (dm-0, vg-data)",
                                        "раздел sdb4 смонтирован в /mnt/btrfs"}));
    EXPECT_EQ(ata::DiskUsers("sdc", roots), std::vector<std::string>{"раздел sdc1 смонтирован в /other"});
}

// ---- the guard --------------------------------------------------------------------

TEST(InUse, TheGuardRefusesADiskInUseAndHoldsAFreeOneExclusively)
{
    Tree t;
    t.fake.AddAtaDisk("sda", 1, 0, "ONE", 1000, "8:0", "0000:00:1f.2", "ahci", true, "sg0");
    t.fake.AddPartition("sda", "sda1", "8:1");
    t.fake.AddAtaDisk("sdb", 2, 0, "TWO", 1000, "8:16");
    t.fake.Mount("8:1", "/mnt/a", "/dev/sda1");
    const std::string dev = t.fake.Roots().dev;
    std::vector<std::string> opened;
    auto opener = [&](const std::string& p) {
        opened.push_back(p);
        return ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    };

    // Named by its sg node, the disk is the one checked and refused.
    ata::InUseGuard busy(dev + "/sg0", t.fake.Roots());
    busy.openExclusive = opener;
    std::string why;
    EXPECT_FALSE(busy.Claim(&why));
    EXPECT_NE(why.find("Диск " + dev + "/sda используется системой: раздел sda1 смонтирован в /mnt/a"), std::string::npos)
        << why;
    EXPECT_TRUE(opened.empty());

    ata::InUseGuard free(dev + "/sdb", t.fake.Roots());
    free.openExclusive = opener;
    EXPECT_TRUE(free.Claim(&why));
    EXPECT_TRUE(free.Holding());
    EXPECT_TRUE(free.Claim(&why));  // held: not opened again
    EXPECT_EQ(opened, std::vector<std::string>{dev + "/sdb"});

    // Busy without a holder this program can see; or not to be opened at all.
    ata::InUseGuard hidden(dev + "/sdb", t.fake.Roots());
    hidden.openExclusive = [](const std::string&) { return -EBUSY; };
    EXPECT_FALSE(hidden.Claim(&why));
    EXPECT_NE(why.find("держит открытым монопольно другая программа"), std::string::npos) << why;
    hidden.openExclusive = [](const std::string&) { return -EACCES; };
    EXPECT_FALSE(hidden.Claim(&why));
    EXPECT_NE(why.find("нет прав доступа"), std::string::npos) << why;
    EXPECT_FALSE(ata::InUseGuard("/dev/../etc/passwd", t.fake.Roots()).Claim(&why));
}

TEST(InUse, OnlyCommandsThatWriteOrChangeTheDriveAsk)
{
    auto tf = [](uint8_t cmd, uint8_t feature = 0) {
        ata::Taskfile t;
        t.command = cmd;
        t.feature = feature;
        return t;
    };
    for (uint8_t c : {ata::kCmdWriteSectors, ata::kCmdWriteSectorsExt, ata::kCmdWriteLong, ata::kCmdSetMax,
                      ata::kCmdSetMaxExt, ata::kCmdSecSetPassword, ata::kCmdSecErasePrepare, ata::kCmdSecEraseUnit,
                      ata::kCmdSecDisablePassword, uint8_t(0x06), uint8_t(0x45), uint8_t(0xCA), uint8_t(0xB4)})
        EXPECT_TRUE(ata::ChangesDrive(tf(c))) << int(c);
    for (uint8_t c : {ata::kCmdIdentify, ata::kCmdVerify, ata::kCmdVerifyExt, ata::kCmdSeek, ata::kCmdReadNativeMax,
                      ata::kCmdReadNativeMaxExt, ata::kCmdSmart, ata::kCmdSecUnlock, ata::kCmdSecFreezeLock,
                      ata::kCmdReadSectors})
        EXPECT_FALSE(ata::ChangesDrive(tf(c))) << int(c);
    EXPECT_TRUE(ata::ChangesDrive(tf(0xB1, 0xC3)));   // DCO SET
    EXPECT_FALSE(ata::ChangesDrive(tf(0xB1, 0xC2)));  // DCO IDENTIFY
}

// The command layer asks the connection's guard before every command that
// changes the drive, and only then.
TEST(InUse, TheLayerRefusesWritesOfAGuardedConnectionAndReadsStillWork)
{
    struct FakeGuard : ata::WriteGuard {
        int claims = 0;
        bool Claim(std::string* why) override
        {
            ++claims;
            *why = "Диск /dev/sdx используется системой: раздел sdx1 смонтирован в /mnt";
            return false;
        }
    };
    auto guard = std::make_shared<FakeGuard>();
    ata::SetWriteGuardFactory([&](const ata::Address&) { return guard; });
    std::vector<std::string> reported;
    ata::SetRefusalReporter([&](const std::string& s) { reported.push_back(s); });
    auto m = testsim::Install(testsim::OneChannel(testsim::InstantDrive()));

    EXPECT_GE(VerifySectors(0, 256, 1), 0);
    ata::IdentifyBlock b{};
    EXPECT_NE(IdentifyDevice(b.Bytes()) & 0xFF, 0);
    int64_t native = 0;
    EXPECT_NE(GetMaxHPA(&native, 1) & 0xFF, 0);
    EXPECT_EQ(guard->claims, 0);

    const uint64_t before = m->DriveAt(0x1F0, 0)->CommandCount();
    EXPECT_EQ(EraseSector(0, 8, 1, 0, 0xAA) & 0xFF, 0);
    EXPECT_EQ(ata::LastResult().outcome, ata::Outcome::InUse);
    EXPECT_EQ(MakeSoftBad(5) & 0xFF, 0);
    EXPECT_EQ(SetMaxHPA(1000, 1) & 0xFF, 0);
    EXPECT_EQ(SecurityAction("pw", 0, 0, ata::kCmdSecSetPassword) & 0xFF, 0);
    EXPECT_EQ(SecurityAction("pw", 0, 0, ata::kCmdSecEraseUnit) & 0xFF, 0);
    EXPECT_EQ(guard->claims, 5);
    EXPECT_EQ(reported.size(), 5u);
    EXPECT_EQ(ata::LastRefusal(), reported.back());
    // Only SET MAX's READ NATIVE MAX and the ECC length's IDENTIFY reached the drive.
    EXPECT_LE(m->DriveAt(0x1F0, 0)->CommandCount() - before, 2u);
    EXPECT_EQ(ata::TimedFailureCode(ata::Outcome::InUse), -8);

    ata::SetWriteGuardFactory(nullptr);
    ata::SetRefusalReporter(nullptr);
    testsim::Install(testsim::OneChannel(testsim::InstantDrive()));
    EXPECT_NE(EraseSector(0, 8, 1, 0, 0xAA) & 0xFF, 0);  // no guard: written
}
