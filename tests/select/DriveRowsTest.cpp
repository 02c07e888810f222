// The selection dialog's rows of pass-through drives: after the channels,
// Master/Slave off on them, remembered by path, locked by drive, opened on
// OK with what stands in the way said there.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cerrno>

#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/PortLock.h"
#include "common/Services.h"
#include "hw/PassThrough.h"
#include "hw/PortIo.h"
#include "hw/Transport.h"
#include "select/DriveRows.h"
#include "select/KernelDriver.h"
#include "select/RadioGroup.h"
#include "select/SelectPort.h"
#include "support/FakeSystem.h"
#include "support/SimFixture.h"

namespace {

const QString kPort = "Port";

// A host whose nodes fail as the kernel's do for a user without the rights.
class RefusingHost : public ata::PassThroughHost {
public:
    explicit RefusingHost(int openError, int ioError = 0) : m_open(openError), m_io(ioError) {}
    std::shared_ptr<ata::SgNode> Open(const std::string& path, std::string* why, int* error) override
    {
        struct Node : ata::SgNode {
            int e;
            explicit Node(int e) : e(e) {}
            int Io(sg_io_hdr_t&) override { return e; }
        };
        if (m_open) {
            if (why)
                *why = ata::AccessErrorText(m_open, path);
            if (error)
                *error = m_open;
            return nullptr;
        }
        return std::make_shared<Node>(m_io);
    }
    std::vector<std::string> Drives() const override { return {}; }
    std::string DriveName(const std::string& path) const override { return path; }
    bool Simulated() const override { return false; }

private:
    int m_open, m_io;
};

class DriveRowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetDriveContext();
        ASSERT_TRUE(dir.isValid());
        PortLock::SetScope(dir.path());
        Ctx().IniFile = std::make_unique<IniFile>(dir.filePath("Voran.ini"));
        sim::MachineSpec spec = testsim::OneChannel(testsim::InstantDrive("CHANNEL DRIVE"));
        sim::PciFunctionSpec bridge;  // function 0 of the chipset, so that the scan finds 00:01.1
        bridge.device = 1;
        bridge.vendorId = 0x8086;
        bridge.deviceId = 0x7110;
        bridge.classCode = 0x06;
        bridge.multiFunction = true;
        spec.functions.insert(spec.functions.begin(), bridge);
        spec.passThrough = {testsim::PassThrough("/dev/sda", testsim::InstantDrive("SATA DRIVE")),
                            testsim::PassThrough("/dev/sdb", testsim::InstantDrive("BRIDGE WITHOUT ATA"))};
        spec.passThrough[1].bus = sim::PassThroughBus::UsbWithoutAta;
        machine = sim::InstallMachine(spec);
        SetDriveRowSource([] {
            return std::vector<DriveRow>{PlainDriveRow("/dev/sda", "SATA DRIVE", "SATA"),
                                         PlainDriveRow("/dev/sdb", "BRIDGE WITHOUT ATA", "USB")};
        });
    }
    void TearDown() override
    {
        SetDriveRowSource(nullptr);
        ResetDriveContext();
        PortLock::SetScope(QString());
    }
    IniFile& Ini() { return *Ctx().IniFile; }
    static void Choose(TfrmSelectPort& d, const QString& cell1)
    {
        for (int r = 0; r < d.Grid->rowCount(); ++r)
            if (d.Cell(1, r) == cell1)
                d.Grid->setCurrentCell(r, 0);
    }

    QTemporaryDir dir;
    MessageRecorder messages;
    std::shared_ptr<sim::Machine> machine;
};

}  // namespace

TEST(DriveRowNames, TheKernelsDrivesSayWhereTheySit)
{
    ata::KernelDrive sata;
    sata.path = "/dev/sda";
    sata.model = "QEMU HARDDISK";
    sata.port = "ata3";
    sata.driver = "ahci";
    sata.sata = true;
    const DriveRow a = KernelDriveRow(sata);
    EXPECT_EQ(a.name, "SATA ata3 (ahci): QEMU HARDDISK");
    EXPECT_EQ(a.path, "/dev/sda");
    EXPECT_EQ(a.kind, "SATA");
    EXPECT_EQ(a.Status(), "/dev/sda (SATA ata3)");
    ata::KernelDrive usb = sata;
    usb.bus = ata::DriveBus::Usb;
    usb.port = "2-1";
    usb.driver = "uas";
    EXPECT_EQ(KernelDriveRow(usb).name, "USB 2-1 (uas): QEMU HARDDISK");
    ata::KernelDrive pata = sata;
    pata.sata = false;
    pata.driver.clear();
    EXPECT_EQ(KernelDriveRow(pata).name, "PATA ata3: QEMU HARDDISK");
    EXPECT_EQ(PlainDriveRow("/dev/sdx", "M", "USB").Status(), "/dev/sdx (USB)");
}

TEST(DriveRowNames, TheKernelsRowsComeFromSysfs)
{
    QTemporaryDir dir;
    testsupport::FakeSystem fake(dir.path().toStdString());
    fake.AddAtaDisk("sda", 1, 0, "FROM SYSFS", 100, "8:0");
    SetSysfsRoot(QString::fromStdString(fake.Roots().sys));
    const std::vector<DriveRow> rows = KernelDriveRows();
    SetSysfsRoot(QString());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "SATA ata1 (ahci): FROM SYSFS");
    EXPECT_EQ(rows[0].path, "/dev/sda");
}

TEST_F(DriveRowsTest, DrivesFollowTheChannelsAndMasterSlaveIsOffOnThem)
{
    Ini().WriteBool(kPort, "SlaveEnabled", true);
    TfrmSelectPort d;
    ASSERT_EQ(d.Grid->rowCount(), 4);
    EXPECT_EQ(d.Cell(1, 2), "/dev/sda");
    EXPECT_EQ(d.Cell(0, 2), "SATA: SATA DRIVE");
    EXPECT_EQ(d.Cell(2, 3), "USB");
    EXPECT_FALSE(d.DriveRowAt(0));
    ASSERT_TRUE(d.DriveRowAt(3));
    EXPECT_EQ(d.DriveRowAt(3)->path, "/dev/sdb");
    EXPECT_TRUE(d.rgbDevice->isEnabled());
    d.rgbDevice->SetItemIndex(1);
    Choose(d, "/dev/sda");
    EXPECT_FALSE(d.rgbDevice->isEnabled());
    EXPECT_EQ(d.DeviceIndex(), 0);
    Choose(d, "0170");
    EXPECT_TRUE(d.rgbDevice->isEnabled());
    EXPECT_EQ(d.DeviceIndex(), 1);
}

TEST_F(DriveRowsTest, OkOpensTheDriveRemembersItsPathAndLocksItByName)
{
    Ini().WriteBool(kPort, "SaveDevice", true);
    Ini().WriteInteger(kPort, "LastDevice", 1);
    {
        TfrmSelectPort d;
        Choose(d, "/dev/sda");
        d.bbOkClick();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_TRUE(messages.shown.empty());
        const std::shared_ptr<ata::Transport> t = d.TakeDriveTransport();
        ASSERT_TRUE(t);
        EXPECT_EQ(t->address().path, "/dev/sda");
        EXPECT_EQ(t->Sample(ata::Register::Status), 0x50) << "the probe's IDENTIFY went through";
        std::unique_ptr<PortLock> lock = d.TakePortLock();
        ASSERT_TRUE(lock);
        EXPECT_EQ(lock->PortText(), "/dev/sda");
        EXPECT_EQ(PortLock::TryAcquire("/dev/sda"), nullptr) << "one lock per drive";
        EXPECT_EQ(Ini().ReadString(kPort, "LastPort", ""), "/dev/sda");
        EXPECT_EQ(Ini().ReadInteger(kPort, "LastDevice", 0), 1) << "Master/Slave does not apply: left alone";
    }
    TfrmSelectPort again;
    EXPECT_EQ(again.Cell(1, again.SelectedRow()), "/dev/sda");
    EXPECT_FALSE(again.rgbDevice->isEnabled());
}

TEST_F(DriveRowsTest, ABridgeWithoutAtaOrMissingRightsAreSaidAndTheDialogStays)
{
    TfrmSelectPort d;
    Choose(d, "/dev/sdb");
    d.bbOkClick();
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_FALSE(d.CanClose);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MsgKind::Error);
    EXPECT_TRUE(messages.shown[0].text.contains("не передаёт команды ATA")) << messages.shown[0].text.toStdString();
    EXPECT_NE(PortLock::TryAcquire("/dev/sdb"), nullptr) << "the refused drive is not kept locked";
    EXPECT_FALSE(d.TakeDriveTransport());

    // Not in group disk: the open fails.  In it without CAP_SYS_RAWIO: ATA
    // PASS-THROUGH (16) fails.
    for (const auto& [open, io, expected] :
         {std::tuple{EACCES, 0, "группу disk"}, std::tuple{0, EPERM, "CAP_SYS_RAWIO"}}) {
        ata::InstallPassThroughHost(std::make_shared<RefusingHost>(open, io));
        messages.Clear();
        Choose(d, "/dev/sda");
        d.bbOkClick();
        EXPECT_NE(d.result(), QDialog::Accepted);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].text.contains(QString::fromUtf8(expected))) << messages.shown[0].text.toStdString();
    }
}

TEST_F(DriveRowsTest, WithoutThePortsTheDrivesAloneAreOffered)
{
    InstallPortBackend(nullptr);  // hardware mode, port access refused
    TfrmSelectPort d;
    ASSERT_EQ(d.Grid->rowCount(), 2);
    EXPECT_EQ(d.Cell(1, 0), "/dev/sda");
    EXPECT_TRUE(d.bbOk->isEnabled());
    EXPECT_FALSE(d.rgbDevice->isEnabled());
    d.bbOkClick();
    EXPECT_EQ(d.result(), QDialog::Accepted);
}
