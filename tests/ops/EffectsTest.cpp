// What the three windows change on a drive, seen afterwards: erased sectors
// read back as the filler and heal soft-bad ones, and on a machine file the
// program's next start (its command line) sees the new maximum in the
// identify report and the soft-bad sectors in a surface scan.
#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include "common/Clock.h"
#include "common/Int64SpinBox.h"
#include "common/Services.h"
#include "hw/Ata.h"
#include "info/HPA.h"
#include "info/IdentifyReport.h"
#include "ops/Erase.h"
#include "ops/EraseParam.h"
#include "ops/MakeBad.h"
#include "ops/MakeBadParam.h"
#include "select/RadioGroup.h"
#include "sim/SimMachine.h"
#include "support/FakeShell.h"
#include "surface/ScanRules.h"

namespace {

const char* kMachine = R"({"pci":[
  {"address":"00:01.0","id":"8086:7110","class":"0601","multiFunction":true},
  {"address":"00:01.1","id":"8086:7111","class":"0101","progIf":"80",
   "primary":{"master":{"model":"EFFECTS LBA28","sectors":1000000,"lba48":false,"timeScale":0}}}]})";

// A machine file in a folder of its own, loaded as the program loads it
// (its drives' changes kept in FILE.state), the ATA layer on 01F0 master.
struct MachineFile {
    QTemporaryDir dir;
    QString file = dir.filePath("m.json");
    std::shared_ptr<sim::Machine> machine;
    FakeShell shell;
    MessageRecorder messages;

    MachineFile()
    {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kMachine);
        f.close();
        std::string why;
        const auto spec = sim::LoadMachineSpec(file.toStdString(), &why);
        EXPECT_TRUE(spec) << why;
        machine = sim::InstallMachine(*spec);
        EXPECT_TRUE(machine->AttachStateFile((file + ".state").toStdString(), &why)) << why;
        InitDLL(0x1F0, 0x3F6, 0, 1, CounterFrequency(), nullptr);
    }
    sim::Drive* Drive() const { return machine->DriveAt(0x1F0, 0); }

    // The program started again on the same file.
    int Voran(const QStringList& args, QString* out)
    {
        QProcess p;
        p.start(QStringLiteral(VORAN_BINARY), QStringList{"--sim", file, "--channel", "01F0"} + args);
        EXPECT_TRUE(p.waitForFinished(60000));
        *out = QString::fromUtf8(p.readAllStandardOutput()) + QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
};

}  // namespace

TEST(Effects, ANewMaximumShowsInTheIdentifyReportAtTheNextStart)
{
    MachineFile m;
    {
        TfrmHPA f(&m.shell.window);
        ASSERT_EQ(f.ShowAllowed, 1);
        f.speNewMaxLBA->setValue(599999);
        f.bbOK->click();
        EXPECT_EQ(m.messages.Texts(), QStringList{"Выключите и снова включите питание накопителя!"});
    }
    QString out;
    EXPECT_EQ(m.Voran({"--identify"}, &out), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(info::label::CurrentSectors.toString() + "600`000")) << out.toStdString();
    EXPECT_TRUE(out.contains(info::label::MaxSectors.toString() + "1`000`000")) << out.toStdString();
}

TEST(Effects, SoftBadSectorsFailAScanAndAnEraseHealsThem)
{
    MachineFile m;
    TfrmMakeBAd softBad(&m.shell.window);
    softBad.ParamDialog = [](TfrmMakeBadParam& d) {
        d.speStartLBA->setValue(5000);
        d.speStopLBA->setValue(5003);
        d.rgbKind->SetItemIndex(1);  // "Непрерывно"
        d.bbOk->click();
        return d.result() == QDialog::Accepted;
    };
    softBad.bbStart->click();
    ASSERT_EQ(m.Drive()->State().softBad.size(), 3u);

    // The command line's scan at the next start: one UNC block.
    QString out;
    EXPECT_EQ(m.Voran({"--scan", "4864", "5376"}, &out), 1) << out.toStdString();
    EXPECT_TRUE(out.contains(scan::ReportLine(scan::kUNC, 4864))) << out.toStdString();
    EXPECT_FALSE(out.contains(scan::ReportLine(scan::kUNC, 5120))) << out.toStdString();

    // Erasing the sectors writes them again: they verify once more.
    TfrmErase erase(&m.shell.window);
    erase.ParamDialog = [](TfrmEraseParam& d) {
        d.speLBA1->setValue(4990);
        d.speLBA2->setValue(5010);
        d.rgbRandomPatern->Button(1)->click();
        d.ePatern->setText("5A");
        d.bbOk->click();
        return d.result() == QDialog::Accepted;
    };
    erase.bbStart->click();
    EXPECT_TRUE(m.Drive()->State().softBad.empty());
    EXPECT_GE(VerifySectors(4864, 256, 0), 0);
    const auto sector = m.Drive()->ReadSector(5001);
    EXPECT_TRUE(std::all_of(sector.begin(), sector.end(), [](uint8_t v) { return v == 0x5A; }));
    EXPECT_EQ(m.Voran({"--scan", "4864", "5376"}, &out), 0) << out.toStdString();
}
