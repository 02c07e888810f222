// The program and the drives of the kernel's pass-through: the main window
// connected to such a row, the guard's refusal reaching the user once, and
// voran --list.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/DriveList.h"
#include "app/Main.h"
#include "app/RefusalBox.h"
#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/PortLock.h"
#include "common/Services.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "hw/InUseGuard.h"
#include "hw/PortIo.h"
#include "monitor/KVStatusReg.h"
#include "select/DriveRows.h"
#include "select/SelectPort.h"
#include "support/SimFixture.h"

namespace {

// Everything a FILE* received, as UTF-8 text.
struct Capture {
    std::FILE* f = std::tmpfile();
    ~Capture() { std::fclose(f); }
    QString Text()
    {
        std::fflush(f);
        std::rewind(f);
        QByteArray all;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            all.append(buf, qsizetype(n));
        return QString::fromUtf8(all);
    }
};

class PassThroughApp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetDriveContext();
        ASSERT_TRUE(tmp.isValid());
        PortLock::SetScope(tmp.path());
        exeDir = tmp.path() + "/voran/";
        ASSERT_TRUE(QDir().mkpath(exeDir));
        IniFile(exeDir + "Voran.ini").WriteInteger("TimeOut", "TimeOut", 1);
        sim::MachineSpec spec = testsim::InstantDefaultMachine();
        spec.passThrough = {testsim::PassThrough("/dev/sda", testsim::InstantDrive("PASS THROUGH DRIVE")),
                            testsim::PassThrough("/dev/sdb", testsim::InstantDrive("USB DRIVE"))};
        spec.passThrough[1].bus = sim::PassThroughBus::Usb;
        machine = sim::InstallMachine(spec);
        SetDriveRowSource([] {
            return std::vector<DriveRow>{PlainDriveRow("/dev/sda", "PASS THROUGH DRIVE", "SATA"),
                                         PlainDriveRow("/dev/sdb", "USB DRIVE", "USB")};
        });
    }
    void TearDown() override
    {
        SetDriveRowSource(nullptr);
        ata::SetWriteGuardFactory(nullptr);
        ResetDriveContext();
        PortLock::SetScope(QString());
    }
    StartupSettings Settings(const QString& row)
    {
        StartupSettings s;
        s.exeDir = exeDir;
        s.settleMs = 0;
        s.runSelectDialog = [row](TfrmSelectPort& d) {
            for (int r = 0; r < d.Grid->rowCount(); ++r)
                if (d.Cell(1, r) == row)
                    d.Grid->setCurrentCell(r, 0);
            d.bbOkClick();
            return d.result();
        };
        return s;
    }

    QTemporaryDir tmp;
    QString exeDir;
    std::shared_ptr<sim::Machine> machine;
    MessageRecorder messages;
};

struct RefusingGuard : ata::WriteGuard {
    bool Claim(std::string* why) override
    {
        *why = "Диск /dev/sda используется системой: раздел sda1 смонтирован в /mnt";
        return false;
    }
};

}  // namespace

TEST_F(PassThroughApp, TheMainWindowConnectsToADriveRowAndShowsIt)
{
    IniFile(exeDir + "Voran.ini").WriteBool("Port", "AutoDetect", true);
    TfrmMain w(Settings("/dev/sdb"));
    w.FormCreate();
    ASSERT_FALSE(w.TerminateRequested());
    EXPECT_TRUE(messages.shown.empty()) << messages.Texts().join('\n').toStdString();
    EXPECT_EQ(w.StatusPanel(0), "/dev/sdb (USB)");
    EXPECT_EQ(w.StatusPanel(1), "USB");
    EXPECT_EQ(w.StatusPanel(2), "USB DRIVE");
    EXPECT_EQ(ata::CurrentConnection().path, "/dev/sdb");
    EXPECT_EQ(Ctx().BasePort, 0);
    ASSERT_NE(Ctx().PortMutex, nullptr);
    EXPECT_EQ(Ctx().PortMutex->PortText(), "/dev/sdb");
    // The lamps: the status the identify returned (a success without
    // registers reads as 50h), with no command of the monitor's own.
    auto* status = qobject_cast<TKVStatusReg*>(w.StatusReg);
    const uint64_t requests = machine->PassThroughAt("/dev/sdb")->Requests();
    // (The limit only turns a hang into a failure.)
    const QDeadlineTimer limit(30000);
    while (status->RegValue() != 0x50 && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(status->RegValue(), 0x50);
    EXPECT_EQ(machine->PassThroughAt("/dev/sdb")->Requests(), requests);

    // SET MAX on such a drive is refused by the guard: the command fails and
    // one box says why, however often the refusal repeats.
    ata::SetWriteGuardFactory([](const ata::Address&) { return std::make_shared<RefusingGuard>(); });
    w.mmiSelectport->trigger();  // the same row again: a new connection with its guard
    EXPECT_EQ(SetMaxHPA(1000, 1) & 0xFF, 0);
    EXPECT_EQ(ata::LastResult().outcome, ata::Outcome::InUse);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(EraseSector(0, 1, 1, 0, 0) & 0xFF, 0);
    EXPECT_GE(VerifySectors(0, 1, 1), 0) << "reading goes on";
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MsgKind::Error);
    EXPECT_TRUE(messages.shown[0].text.contains("смонтирован в /mnt"));
}

TEST(RefusalBursts, OneBoxPerBurstOfRefusals)
{
    using namespace std::chrono_literals;
    RefusalBursts b(3s);
    const auto t0 = RefusalBursts::Clock::time_point{} + 100s;
    const quintptr eraseWindow = 1, passwordDialog = 2;
    EXPECT_TRUE(b.Show("A", eraseWindow, t0));
    EXPECT_FALSE(b.Show("A", eraseWindow, t0 + 10s)) << "the box is still open";
    b.Closed(t0 + 20s);
    EXPECT_FALSE(b.Show("A", eraseWindow, t0 + 21s)) << "the loop that was waiting goes on";
    EXPECT_FALSE(b.Show("A", eraseWindow, t0 + 23s)) << "and on: each refusal extends the burst";
    EXPECT_TRUE(b.Show("B", eraseWindow, t0 + 23500ms)) << "another reason is news";
    b.Closed(t0 + 24s);
    EXPECT_TRUE(b.Show("B", passwordDialog, t0 + 24500ms)) << "so is another window";
    b.Closed(t0 + 25s);
    EXPECT_TRUE(b.Show("B", passwordDialog, t0 + 30s)) << "a new attempt after a quiet spell";
}

// ---- voran --list ---------------------------------------------------------------

TEST(DriveListLines, AlignedColumnsWithoutTrailingBlanks)
{
    const QStringList l = DriveListLines({{"01F0", "Master", "LONGER MODEL", "chan"},
                                          {"D000:D400", "Slave", "M", "chan2"},
                                          {"/dev/sda", "SATA", "X", ""}});
    EXPECT_EQ(l, (QStringList{"01F0       Master  LONGER MODEL  chan", "D000:D400  Slave   M             chan2",
                              "/dev/sda   SATA    X"}));
}

TEST_F(PassThroughApp, ListNamesEveryDeviceOfEveryChannelAndEveryDrive)
{
    Capture out, err;
    ConsoleStreams io;
    io.out = out.f;
    io.err = err.f;
    io.exeDir = exeDir;
    EXPECT_EQ(RunDriveList(io, QString()), kExitOk);
    const QStringList lines = out.Text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 10) << out.Text().toStdString();
    EXPECT_TRUE(lines[0].startsWith("01F0       Master  SIMDISK SD-8000 HEALTHY")) << lines[0].toStdString();
    EXPECT_TRUE(lines[4].startsWith("D000:D400  Master  SIMDISK SD-3000T HUGE")) << lines[4].toStdString();
    EXPECT_TRUE(lines[8].startsWith("/dev/sda   SATA    PASS THROUGH DRIVE"));
    EXPECT_TRUE(lines[9].startsWith("/dev/sdb   USB     USB DRIVE"));
    EXPECT_EQ(err.Text(), "");
    EXPECT_FALSE(ata::CurrentConnection().initialised) << "the probes leave no connection behind";

    // Ports refused: said once, the drives still listed.
    InstallPortBackend(nullptr);
    Capture out2, err2;
    io.out = out2.f;
    io.err = err2.f;
    EXPECT_EQ(RunDriveList(io, "нет прав на порты"), kExitOk);
    EXPECT_EQ(out2.Text().split('\n', Qt::SkipEmptyParts).size(), 2);
    EXPECT_EQ(err2.Text().count("нет прав на порты"), 1);
}

TEST(ListOption, StandsAloneAndNeedsNoChannel)
{
    const CommandLineOptions o = ParseCommandLine({"--hardware", "--list"});
    EXPECT_TRUE(o.ok());
    EXPECT_TRUE(o.list);
    EXPECT_TRUE(o.Windowless());
    EXPECT_FALSE(o.ConsoleCommand());
    EXPECT_FALSE(ParseCommandLine({"--list", "--identify", "--channel", "01F0"}).ok());
    EXPECT_FALSE(ParseCommandLine({"--list", "--channel", "01F0"}).ok());
    EXPECT_TRUE(UsageText().contains("--list"));
}
