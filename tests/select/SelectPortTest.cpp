// The selection dialog and the manual entry dialog: preselection from the
// configuration file, OK and its lock, cancel, manual rows, and the kernel
// driver question of the hardware mode.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <iostream>
#include <string>

#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/PortLock.h"
#include "common/Services.h"
#include "select/AddPort.h"
#include "select/KernelDriver.h"
#include "select/RadioGroup.h"
#include "select/SelectPort.h"
#include "sim/SimMachine.h"

namespace {

const QString kPort = "Port";
const QString kTaken = "Данный порт уже занят! Выберите другой!";

class SelectPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetDriveContext();
        ASSERT_TRUE(dir.isValid());
        PortLock::SetDirectory(dir.path());
        Ctx().IniFile = std::make_unique<IniFile>(dir.filePath("Voran.ini"));
        sim::InstallMachine(sim::DefaultMachineSpec());
        SetKernelDriverCheck(false);
    }
    void TearDown() override
    {
        ResetDriveContext();
        PortLock::SetDirectory(QString());
        SetKernelDriverCheck(false);
        SetSysfsRoot(QString());
    }
    IniFile& Ini() { return *Ctx().IniFile; }
    static int RowOf(const TfrmSelectPort& d, const QString& base)
    {
        for (int r = 0; r < d.Grid->rowCount(); ++r)
            if (d.Cell(1, r) == base)
                return r;
        return -1;
    }
    static void Choose(TfrmSelectPort& d, const QString& base)
    {
        const int r = RowOf(d, base);
        ASSERT_GE(r, 0) << base.toStdString();
        d.Grid->setCurrentCell(r, 0);
    }

    QTemporaryDir dir;
    MessageRecorder messages;
};

}  // namespace

TEST_F(SelectPortTest, DefaultsPreselectTheSecondaryLegacyChannelAndMaster)
{
    // SlaveEnabled is off: the stored device does not count.
    Ini().WriteBool(kPort, "SaveDevice", true);
    Ini().WriteInteger(kPort, "LastDevice", 1);
    TfrmSelectPort d;
    EXPECT_EQ(d.windowTitle(), "Выберите порт");
    EXPECT_EQ(d.Grid->rowCount(), 6);
    EXPECT_FALSE(d.GridEmpty);
    EXPECT_TRUE(d.bbOk->isEnabled());
    EXPECT_EQ(d.Cell(1, d.SelectedRow()), "0170") << "LastPort defaults to 0170";
    EXPECT_FALSE(d.rgbDevice->isEnabled());
    EXPECT_EQ(d.DeviceIndex(), 0);
    EXPECT_FALSE(d.CanClose);
}

TEST_F(SelectPortTest, StoredPortAndDeviceAreRestoredOnlyWhenAllowed)
{
    Ini().WriteString(kPort, "LastPort", "D800");
    Ini().WriteBool(kPort, "SlaveEnabled", true);
    Ini().WriteBool(kPort, "SaveDevice", true);
    Ini().WriteInteger(kPort, "LastDevice", 1);
    {
        TfrmSelectPort d;
        EXPECT_EQ(d.Cell(1, d.SelectedRow()), "D800");
        EXPECT_TRUE(d.rgbDevice->isEnabled());
        EXPECT_EQ(d.DeviceIndex(), 1);
    }
    Ini().WriteString(kPort, "LastPort", "d800");
    {
        TfrmSelectPort d;
        EXPECT_EQ(d.SelectedRow(), 0) << "the comparison is exact; no match keeps the first row";
    }
    Ini().WriteString(kPort, "LastPort", "D800");
    Ini().WriteBool(kPort, "SavePort", false);
    Ini().WriteBool(kPort, "SaveDevice", false);
    {
        TfrmSelectPort d;
        EXPECT_EQ(d.SelectedRow(), 0);
        EXPECT_TRUE(d.rgbDevice->isEnabled());
        EXPECT_EQ(d.DeviceIndex(), 0);
    }
}

TEST_F(SelectPortTest, OkStoresTheChoiceAndHoldsTheNewPort)
{
    Ini().WriteBool(kPort, "SlaveEnabled", true);
    Ini().WriteBool(kPort, "SaveDevice", true);
    TfrmSelectPort d;
    Choose(d, "D000");
    d.rgbDevice->SetItemIndex(1);
    d.bbOk->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(d.CanClose);
    EXPECT_EQ(Ini().ReadString(kPort, "LastPort", ""), "D000");
    EXPECT_EQ(Ini().ReadInteger(kPort, "LastDevice", -1), 1);
    auto lock = d.TakePortLock();
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(lock->PortText(), "D000");
    EXPECT_EQ(PortLock::TryAcquire("D000"), nullptr) << "the port is marked as taken";

    // Without SavePort nothing is remembered.
    QFile::remove(Ini().FileName());
    Ini().WriteBool(kPort, "SavePort", false);
    TfrmSelectPort d2;
    Choose(d2, "C000");
    d2.bbOkClick();
    EXPECT_EQ(d2.result(), QDialog::Accepted);
    EXPECT_FALSE(Ini().ValueExists(kPort, "LastPort"));
    EXPECT_FALSE(Ini().ValueExists(kPort, "LastDevice"));
}

TEST_F(SelectPortTest, CancelClosesButTheWindowCannotBeClosedBeforeAButton)
{
    TfrmSelectPort d;
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_FALSE(d.close()) << "closing is refused while CanClose is false";
    EXPECT_TRUE(d.isVisible());
    QTest::keyClick(&d, Qt::Key_Escape);  // the cancel button
    EXPECT_TRUE(d.CanClose);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(Ini().ValueExists(kPort, "LastPort"));
}

TEST_F(SelectPortTest, WithinOneProcessTheHeldPortCanBeChosenAgain)
{
    Ctx().PortMutex = PortLock::TryAcquire("0170");
    ASSERT_NE(Ctx().PortMutex, nullptr);
    {
        TfrmSelectPort d;
        Choose(d, "0170");
        d.bbOkClick();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(d.TakePortLock(), nullptr) << "the lock already held is kept";
    }
    TfrmSelectPort d;
    Choose(d, "01F0");
    d.bbOkClick();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(PortLock::TryAcquire("0170"), nullptr) << "the previous port stays taken until the new connection";
    auto lock = d.TakePortLock();
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(lock->PortText(), "01F0");
}

TEST_F(SelectPortTest, PortHeldByAnotherRunningCopyIsRefused)
{
    QProcess other;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    other.setProcessEnvironment(env);
    other.start(QStringLiteral(VORAN_PORT_HOLDER), {dir.path()});
    ASSERT_TRUE(other.waitForStarted());
    QByteArray out;
    while (!out.contains("HELD") && other.waitForReadyRead(30000))
        out += other.readAllStandardOutput();
    ASSERT_TRUE(out.contains("HELD")) << out.toStdString();

    Ctx().PortMutex = PortLock::TryAcquire("0170");  // this copy's previous choice
    TfrmSelectPort d;
    Choose(d, "01F0");
    d.bbOkClick();
    EXPECT_NE(d.result(), QDialog::Accepted) << "the dialog stays open";
    EXPECT_FALSE(d.CanClose);
    EXPECT_EQ(messages.Texts(), QStringList{kTaken});
    EXPECT_EQ(messages.shown.back().kind, MsgKind::Error);
    EXPECT_FALSE(Ini().ValueExists(kPort, "LastPort"));
    ASSERT_NE(Ctx().PortMutex, nullptr);
    EXPECT_EQ(Ctx().PortMutex->PortText(), "0170") << "the previous port is not given up";

    // The same port typed differently is the same lock.
    d.runAddPort = [](TfrmAddPort& a) {
        a.ePortName->setText("hand");
        a.eBaseAdr->setText("1f0");
        a.eAltAdr->setText("3f6");
        a.bbOkClick();
        return a.result();
    };
    d.bbAddPortClick();
    d.bbOkClick();
    EXPECT_EQ(messages.Texts().size(), 2);

    other.closeWriteChannel();
    ASSERT_TRUE(other.waitForFinished(30000));
    EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardOutput().toStdString();
    Choose(d, "01F0");
    d.bbOkClick();
    EXPECT_EQ(d.result(), QDialog::Accepted) << "free again once the other copy has ended";
}

TEST_F(SelectPortTest, NoControllerLeavesOneEmptyRowThatADoubleClickStillConfirms)
{
    sim::InstallMachine(sim::MachineSpec{});
    TfrmSelectPort d;
    EXPECT_EQ(d.Grid->rowCount(), 1);
    EXPECT_TRUE(d.GridEmpty);
    EXPECT_FALSE(d.bbOk->isEnabled());
    EXPECT_TRUE(d.rgbDevice->isEnabled());
    EXPECT_EQ(d.DeviceIndex(), 0);

    const QRect cell = d.Grid->visualRect(d.Grid->model()->index(0, 0));
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    QTest::mouseDClick(d.Grid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(Ini().ValueExists(kPort, "LastPort"));
    EXPECT_EQ(Ini().ReadString(kPort, "LastPort", "x"), "");
}

TEST_F(SelectPortTest, ManualRowsReplaceTheEmptyRowOrAreAppended)
{
    auto enter = [](QString name, QString base, QString alt) {
        return [=](TfrmAddPort& a) {
            a.ePortName->setText(name);
            a.eBaseAdr->setText(base);
            a.eAltAdr->setText(alt);
            a.bbOkClick();
            return a.result();
        };
    };
    {
        TfrmSelectPort d;
        d.runAddPort = enter("  My card  ", " 1080 ", "1084");
        d.bbAddPortClick();
        ASSERT_EQ(d.Grid->rowCount(), 7);
        EXPECT_EQ(d.SelectedRow(), 6);
        EXPECT_EQ(d.Cell(0, 6), "My card");
        EXPECT_EQ(d.Cell(1, 6), "1080");
        EXPECT_EQ(d.Cell(2, 6), "1084");
        d.runAddPort = [](TfrmAddPort&) { return int(QDialog::Rejected); };  // cancelled: nothing added
        d.bbAddPortClick();
        EXPECT_EQ(d.Grid->rowCount(), 7);
    }
    sim::InstallMachine(sim::MachineSpec{});
    TfrmSelectPort d;
    d.runAddPort = enter("Card", "E800", "EC00");
    d.bbAddPortClick();
    ASSERT_EQ(d.Grid->rowCount(), 1) << "the empty starting row is used";
    EXPECT_FALSE(d.GridEmpty);
    EXPECT_EQ(d.Cell(1, 0), "E800");
    EXPECT_FALSE(d.bbOk->isEnabled()) << "a manual row does not enable OK";
    d.bbAddPortClick();
    EXPECT_EQ(d.Grid->rowCount(), 2);
    EXPECT_EQ(d.SelectedRow(), 1);
}

TEST_F(SelectPortTest, ManualEntryAcceptsOnlyHexadecimalAddresses)
{
    TfrmAddPort a;
    EXPECT_EQ(a.windowTitle(), "Введите параметры контроллера");
    EXPECT_FALSE(a.bbOk->isEnabled());
    a.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&a));

    const int beeps = BeepCount();
    a.eBaseAdr->setFocus();
    QTest::keyClicks(a.eBaseAdr, "1g7Fz0");
    EXPECT_EQ(a.eBaseAdr->text(), "17F0");
    EXPECT_EQ(BeepCount() - beeps, 2) << "each refused key beeps";
    QTest::keyClick(a.eBaseAdr, Qt::Key_Backspace);
    EXPECT_EQ(a.eBaseAdr->text(), "17F");
    QTest::keyClicks(a.ePortName, "x!y");  // the name takes anything
    EXPECT_EQ(a.ePortName->text(), "x!y");

    EXPECT_FALSE(a.bbOk->isEnabled());
    a.eAltAdr->setText("   ");
    EXPECT_FALSE(a.bbOk->isEnabled()) << "blank fields do not count";
    a.eAltAdr->setText("3F6");
    EXPECT_TRUE(a.bbOk->isEnabled());

    // Text that arrives by pasting is checked on OK.
    for (const QString bad : {"3G6", "10000", "0", "$3F6"}) {
        messages.Clear();
        a.eAltAdr->setText(bad);
        a.bbOkClick();
        EXPECT_NE(a.result(), QDialog::Accepted) << bad.toStdString();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].kind, MsgKind::Error);
        EXPECT_TRUE(messages.shown[0].text.contains(bad)) << messages.shown[0].text.toStdString();
    }
    a.eAltAdr->setText("3f6");
    a.bbOkClick();
    EXPECT_EQ(a.result(), QDialog::Accepted);
}

TEST_F(SelectPortTest, KernelDriverIsNamedBeforeItsChannelIsUsed)
{
    // A sysfs tree where 00:01.1 (the chipset IDE controller) is bound.
    const QString sys = dir.filePath("sys");
    ASSERT_TRUE(QDir().mkpath(sys + "/bus/pci/drivers/ata_piix"));
    ASSERT_TRUE(QDir().mkpath(sys + "/bus/pci/devices/0000:00:01.1"));
    ASSERT_TRUE(QDir().mkpath(sys + "/bus/pci/devices/0000:00:05.0"));
    ASSERT_TRUE(QFile::link("../../../../bus/pci/drivers/ata_piix", sys + "/bus/pci/devices/0000:00:01.1/driver"));
    SetSysfsRoot(sys);
    EXPECT_EQ(PciKernelDriver({0, 1, 1}), "ata_piix");
    EXPECT_EQ(PciKernelDriver({0, 5, 0}), "");
    EXPECT_EQ(PciKernelDriver({0, 9, 0}), "");

    // Only with real ports.
    {
        TfrmSelectPort d;
        Choose(d, "01F0");
        d.bbOkClick();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_TRUE(messages.shown.empty());
    }
    SetKernelDriverCheck(true);
    {
        TfrmSelectPort d;
        Choose(d, "0170");
        messages.answers = {MsgAnswer::No};
        d.bbOkClick();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].kind, MsgKind::Question);
        const QString q = messages.shown[0].text;
        EXPECT_TRUE(q.contains("«ata_piix»")) << q.toStdString();
        EXPECT_TRUE(q.contains("используется ядром")) << q.toStdString();
        EXPECT_TRUE(q.contains("0000:00:01.1")) << q.toStdString();
        EXPECT_NE(d.result(), QDialog::Accepted) << "No keeps the dialog open";
        EXPECT_FALSE(d.CanClose);
        EXPECT_EQ(Ini().ReadString(kPort, "LastPort", ""), "01F0") << "nothing stored";

        messages.answers = {MsgAnswer::Yes};
        d.bbOkClick();
        EXPECT_EQ(d.result(), QDialog::Accepted);
    }
    messages.Clear();
    {
        TfrmSelectPort d;  // a controller without a driver: no question
        Choose(d, "D000");
        d.bbOkClick();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_TRUE(messages.shown.empty());
    }
    {
        TfrmSelectPort d;  // a hand-entered channel of no PCI function: no question
        d.runAddPort = [](TfrmAddPort& a) {
            a.ePortName->setText("ISA card");
            a.eBaseAdr->setText("1E8");
            a.eAltAdr->setText("3EE");
            a.bbOkClick();
            return a.result();
        };
        d.bbAddPortClick();
        d.bbOkClick();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_TRUE(messages.shown.empty());
    }
    {
        TfrmSelectPort d;  // typed by hand, but the port belongs to the bound controller
        d.runAddPort = [](TfrmAddPort& a) {
            a.ePortName->setText("legacy");
            a.eBaseAdr->setText("1f0");
            a.eAltAdr->setText("3f6");
            a.bbOkClick();
            return a.result();
        };
        d.bbAddPortClick();
        d.bbOkClick();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].text.contains("ata_piix"));
    }
}
