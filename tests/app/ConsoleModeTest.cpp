// The program without a window: --identify, --smart and --scan print what the
// windows show, with the exit statuses scripts rely on.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextStream>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "app/CommandLine.h"
#include "app/ConsoleMode.h"
#include "common/DriveContext.h"
#include "common/PortLock.h"
#include "common/TextFile.h"
#include "common/IniFile.h"
#include "info/Pasport.h"
#include "info/Smart.h"
#include "support/FakeShell.h"
#include "support/SimFixture.h"
#include "support/TestFiles.h"
#include "surface/Scan.h"
#include "surface/Int64SpinBox.h"
#include "surface/ScanParam.h"

namespace {

// Everything a FILE* received, as UTF-8 lines.
class Capture {
public:
    Capture() : m_file(std::tmpfile()) {}
    ~Capture() { std::fclose(m_file); }
    std::FILE* file() { return m_file; }
    QStringList Lines()
    {
        std::fflush(m_file);
        std::rewind(m_file);
        QByteArray all;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, m_file)) > 0)
            all.append(buf, qsizetype(n));
        QStringList l = QString::fromUtf8(all).split(QLatin1Char('\n'));
        if (!l.isEmpty() && l.last().isEmpty())
            l.removeLast();
        return l;
    }

private:
    std::FILE* m_file;
};

// A drive whose defects are known: every error class and instant blocks.
sim::DriveSpec DefectDrive()
{
    sim::DriveSpec d = testsim::InstantDrive("CONSOLE DEFECTS", 40000);
    d.failing = {{1000, 1, 0x40, 0}, {9000, 3, 0x10, 0}, {20000, 1, 0x01, 0}, {30000, 1, 0x00, 0}};
    d.softBad = {25000};
    return d;
}

struct ConsoleBench {
    QTemporaryDir dir;
    FakeShell shell;
    std::shared_ptr<sim::Machine> machine;
    explicit ConsoleBench(const sim::DriveSpec& d)
    {
        ResetDriveContext();
        PortLock::SetScope(dir.path());
        machine = testsim::Install(testsim::OneChannel(d));
        Ctx().ExeDir = dir.path() + "/";
        Ctx().BasePort = 0x1F0;
        Ctx().AltPort = 0x3F6;
    }
    ~ConsoleBench()
    {
        ResetDriveContext();
        PortLock::SetScope(QString());
    }
    int Run(const QStringList& args, Capture& out, Capture& err)
    {
        const CommandLineOptions o = ParseCommandLine(args);
        EXPECT_TRUE(o.ok()) << o.errors.join("; ").toStdString();
        ConsoleStreams io;
        io.out = out.file();
        io.err = err.file();
        io.exeDir = dir.path() + "/";
        return RunConsoleCommand(o, io);
    }
};

// Lines whose text depends on the clock.
bool ClockLine(const QString& l)
{
    for (const char* p : {"Старт", "Выполнено", "Отменено", "Общее время", "Минимальная скорость", "Максимальная скорость"})
        if (l.startsWith(QString::fromUtf8(p)))
            return true;
    return false;
}

QStringList WithoutClock(const QStringList& lines)
{
    QStringList out;
    for (const QString& l : lines)
        out << (ClockLine(l) ? l.section(QLatin1Char('.'), 0, 0) : l);
    return out;
}

QStringList ReadReport(const QString& file)
{
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
    const QByteArray b = f.readAll();
    EXPECT_TRUE(b.endsWith("\r\n"));
    QStringList l = DecodeWin1251(b).split(QStringLiteral("\r\n"));
    l.removeLast();
    return l;
}

}  // namespace

TEST(ConsoleOptions, ScanTakesItsRangeAndTheCombinationsAreChecked)
{
    CommandLineOptions o = ParseCommandLine({"--channel", "0170", "--scan", "100", "2000", "--output", "r.txt"});
    ASSERT_TRUE(o.ok()) << o.errors.join("; ").toStdString();
    EXPECT_TRUE(o.scan);
    EXPECT_EQ(o.scanStart, 100);
    EXPECT_EQ(o.scanEnd, 2000);
    EXPECT_EQ(o.output, "r.txt");
    o = ParseCommandLine({"--scan", "5", "--channel=01F0", "--slave"});
    EXPECT_TRUE(o.ok());
    EXPECT_EQ(o.scanStart, 5);
    EXPECT_FALSE(o.scanEnd);
    EXPECT_TRUE(o.slave);
    o = ParseCommandLine({"--channel", "01F0", "--scan"});
    EXPECT_TRUE(o.ok());
    EXPECT_FALSE(o.scanStart);

    auto errors = [](QStringList a) { return ParseCommandLine(a).errors.size(); };
    EXPECT_EQ(errors({"--scan"}), 1) << "no channel";
    EXPECT_EQ(errors({"--channel", "01F0"}), 1) << "a channel without a command";
    EXPECT_EQ(errors({"--channel", "01F0", "--identify", "--scan"}), 1);
    EXPECT_EQ(errors({"--channel", "01F0", "--scan", "x"}), 1) << "not a sector number";
    EXPECT_EQ(errors({"--channel", "01F0", "--scan", "-5"}), 1) << "-5 is no option either";
    EXPECT_EQ(errors({"--channel", "01F0", "--scan", "10", "10"}), 1) << "end not above start";
    EXPECT_EQ(errors({"--channel", "01F0", "--scan", "1", "2", "3"}), 1) << "a third number";
    EXPECT_EQ(errors({"--channel", "01F0", "--identify", "--output", "f"}), 1);
    EXPECT_EQ(errors({"--force"}), 1);
    EXPECT_TRUE(UsageText().contains("--channel"));
    EXPECT_TRUE(UsageText().contains("130"));
}

TEST(ConsoleOptions, ChannelTextsFollowTheSelectionDialog)
{
    ChannelPorts p;
    QString why;
    ASSERT_TRUE(ParseChannelOption("01F0", p, &why));
    EXPECT_EQ(p.base, 0x1F0);
    EXPECT_EQ(p.alt, 0x3F6);
    ASSERT_TRUE(ParseChannelOption("0170", p, &why));
    EXPECT_EQ(p.alt, 0x376);
    ASSERT_TRUE(ParseChannelOption("CC00:C800", p, &why));
    EXPECT_EQ(p.base, 0xCC00);
    EXPECT_EQ(p.alt, 0xC802) << "the control column's base + 2";
    ASSERT_TRUE(ParseChannelOption("1f0:3f6", p, &why));
    EXPECT_EQ(p.alt, 0x3F6) << "legacy channels take the register itself";
    EXPECT_FALSE(ParseChannelOption("D000", p, &why));
    EXPECT_TRUE(why.contains("BASE:CONTROL"));
    EXPECT_FALSE(ParseChannelOption("zz:C800", p, &why));
    EXPECT_FALSE(ParseChannelOption("0000:0000", p, &why));
}

TEST(ConsoleIdentify, PrintsTheLinesOfTheReportWindow)
{
    auto d = testsim::InstantDrive("CONSOLE IDENTIFY", 123456789);
    d.hpaSectors = 100000000;
    d.security.userPassword = "pw";
    d.security.levelMax = true;
    ConsoleBench bench(d);
    Capture out, err;
    EXPECT_EQ(bench.Run({"--channel", "01F0", "--identify"}, out, err), kExitOk);
    TfrmPasport window(nullptr);
    ASSERT_TRUE(window.ShowAllowed);
    const QStringList shown = window.Memo->toPlainText().split(QLatin1Char('\n'));
    EXPECT_EQ(out.Lines(), shown);
    EXPECT_TRUE(err.Lines().isEmpty());
}

TEST(ConsoleIdentify, AMissingDriveIsAChannelFailure)
{
    ConsoleBench bench(testsim::InstantDrive());
    Capture out, err;
    EXPECT_EQ(bench.Run({"--channel", "01F0", "--slave", "--identify"}, out, err), kExitDrive);
    EXPECT_TRUE(out.Lines().isEmpty());
    EXPECT_TRUE(err.Lines().value(0).contains(QStringLiteral("Ошибка идентификации устройства!")));
}

TEST(ConsoleSmart, PrintsTheViewersTableLeavesSmartOffAndFailsWithTheMessage)
{
    auto d = testsim::InstantDrive("CONSOLE SMART");
    d.smart = sim::SmartMode::Off;
    d.attributes = {{1, 0x0F, 72, 60, 6, 84213}, {190, 0x22, 45, 40, -1, 47}};
    ConsoleBench bench(d);
    Capture out, err;
    EXPECT_EQ(bench.Run({"--channel", "01F0", "--smart"}, out, err), kExitOk);
    EXPECT_TRUE(err.Lines().isEmpty());
    EXPECT_FALSE(bench.machine->DriveAt(0x1F0, 0)->State().smartEnabled) << "off again after the reading";
    {
        TfrmSMART window(nullptr);
        ASSERT_TRUE(window.ShowAllowed);
        EXPECT_EQ(out.Lines(), window.ReportLines(QDateTime::currentDateTime()).mid(6)) << "border to border";
    }
    // --output: the same lines in Windows-1251, raw values as Voran.ini asks.
    IniFile(bench.dir.filePath("Voran.ini")).WriteInteger("SMART", "RawFormat", 0);
    const QString file = bench.dir.filePath("smart.txt");
    Capture o2, e2;
    EXPECT_EQ(bench.Run({"--channel", "01F0", "--smart", "--output", file}, o2, e2), kExitOk);
    QStringList hex = out.Lines();
    hex[3].replace("             84213 |", "      0000000148F5 |");
    hex[4].replace("                47 |", "      00000000002F |");
    EXPECT_EQ(ReadReport(file), hex);

    bench.machine->DriveAt(0x1F0, 0)->AddFault({sim::Fault::Kind::Error, ata::kCmdSmart, 0x04, 1});
    Capture o3, e3;
    EXPECT_EQ(bench.Run({"--channel", "01F0", "--smart"}, o3, e3), kExitDrive);
    EXPECT_TRUE(o3.Lines().isEmpty());
    EXPECT_TRUE(e3.Lines().value(0).startsWith(QStringLiteral("voran: Ошибка включения SMART! (")));

    EXPECT_EQ(ParseCommandLine({"--smart"}).errors,
              QStringList{"--smart: не указан канал (--channel BASE[:CONTROL]) или диск (--device УСТРОЙСТВО)"});
    EXPECT_EQ(ParseCommandLine({"--channel", "1F0", "--smart", "--identify"}).errors.size(), 1);
}

// The same drive on a channel and behind the kernel's pass-through gives the
// same reports and exit statuses.
TEST(ConsoleDevice, ReportsEqualThoseOfTheSameDriveOnAChannel)
{
    ConsoleBench bench(DefectDrive());
    sim::MachineSpec spec = testsim::OneChannel(DefectDrive());
    spec.passThrough = {testsim::PassThrough("/dev/sdc", DefectDrive(), sim::SenseLayout::Fixed610)};
    bench.machine = sim::InstallMachine(spec);
    for (const QStringList& command : {QStringList{"--identify"}, QStringList{"--smart"},
                                       QStringList{"--scan", "0", "35000"}}) {
        Capture o1, e1, o2, e2;
        const int onChannel = bench.Run(QStringList{"--channel", "01F0"} + command, o1, e1);
        const int onDevice = bench.Run(QStringList{"--device", "/dev/sdc"} + command, o2, e2);
        EXPECT_EQ(onDevice, onChannel) << command.join(' ').toStdString();
        EXPECT_EQ(WithoutClock(o2.Lines()), WithoutClock(o1.Lines())) << command.join(' ').toStdString();
        EXPECT_TRUE(e2.Lines().isEmpty()) << e2.Lines().join('\n').toStdString();
    }
    EXPECT_GT(bench.machine->PassThroughAt("/dev/sdc")->Requests(), 100u);
    EXPECT_EQ(ata::CurrentConnection().path, "/dev/sdc");

    auto errors = [](QStringList a) { return ParseCommandLine(a).errors.size(); };
    EXPECT_EQ(errors({"--device", "/dev/sdc"}), 1) << "a device without a command";
    EXPECT_EQ(errors({"--device", "/dev/sdc", "--channel", "01F0", "--smart"}), 1);
    EXPECT_EQ(errors({"--device", "/dev/sdc", "--slave", "--smart"}), 1);
    EXPECT_TRUE(ParseCommandLine({"--device", "/dev/sdc", "--scan"}).RealDevice());
    EXPECT_FALSE(ParseCommandLine({"--sim", "m.json", "--device", "/dev/sdc", "--scan"}).RealDevice());
}

TEST(ConsoleScan, ReportEqualsTheWindowsSavedReportLineForLine)
{
    ConsoleBench bench(DefectDrive());
    const QString saved = bench.dir.filePath("window.txt");
    {
        TfrmScan window(nullptr);
        window.RangeDialog = [](TfrmScanParam& d) {
            d.speStartLBA->setValue(512);
            d.speStopLBA->setValue(35000);
            d.bbOk->click();
            return d.result() == QDialog::Accepted;
        };
        QSignalSpy ended(&window, &TfrmScan::RunEnded);
        window.bbStart->click();
        ASSERT_TRUE(ended.count() > 0 || ended.wait(60000));
        window.SaveDialog = [&](QWidget*, const QString&, const QString&) { return saved; };
        window.bbSave->click();
    }
    const QStringList fromWindow = ReadReport(saved);

    const QString file = bench.dir.filePath("console.txt");
    Capture out, err;
    EXPECT_EQ(bench.Run({"--channel", "01F0", "--scan", "512", "35000", "--output", file}, out, err), kExitFindings);
    EXPECT_TRUE(out.Lines().isEmpty()) << "with --output the report goes to the file only";
    const QStringList fromConsole = ReadReport(file);
    EXPECT_EQ(WithoutClock(fromConsole), WithoutClock(fromWindow));
    EXPECT_EQ(fromConsole.size(), 7 + 5 + 9);
    EXPECT_TRUE(fromConsole.contains("     Error UNC    : 768"));
    EXPECT_TRUE(fromConsole.contains("     Error UNC    : 24832")) << "the soft-bad sector";

    // Without --output the same lines go to standard output in UTF-8.
    Capture out2, err2;
    EXPECT_EQ(bench.Run({"--channel", "01F0", "--scan", "512", "35000"}, out2, err2), kExitFindings);
    EXPECT_EQ(WithoutClock(out2.Lines()), WithoutClock(fromWindow));
    EXPECT_TRUE(err2.Lines().isEmpty()) << "no progress line when standard error is not a terminal";
}

TEST(ConsoleScan, CleanRangeDefaultEndAndRangeChecks)
{
    ConsoleBench bench(testsim::InstantDrive("CLEAN", 3000));
    Capture out, err;
    EXPECT_EQ(bench.Run({"--channel", "01F0", "--scan"}, out, err), kExitOk);
    EXPECT_TRUE(out.Lines().contains(QStringLiteral("Конечный LBA..............3000"))) << "the whole drive, last sector included";
    EXPECT_TRUE(out.Lines().contains(QStringLiteral("Последний проверенный LBA..3000")));
    Capture o2, e2;
    EXPECT_EQ(bench.Run({"--channel", "01F0", "--scan", "0", "3001"}, o2, e2), kExitUsage);
    EXPECT_TRUE(o2.Lines().isEmpty());
    Capture o3, e3;
    EXPECT_EQ(bench.Run({"--channel", "01F0", "--scan", "0", "1000", "--output",
                         bench.dir.filePath("no/such/dir/r.txt")},
                        o3, e3),
              kExitOutput);
    EXPECT_FALSE(e3.Lines().isEmpty());
}

// ---- the real program ---------------------------------------------------------------

namespace {

struct Program {
    QTemporaryDir dir;
    QString machine;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    explicit Program(const QString& json)
    {
        machine = dir.filePath("m.json");
        QFile f(machine);
        f.open(QIODevice::WriteOnly);
        f.write(json.toUtf8());
        // Its port locks belong to this machine file alone.
    }
    void Start(QProcess& p, QStringList args)
    {
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VORAN_BINARY), QStringList{"--sim", machine} + args);
        ASSERT_TRUE(p.waitForStarted());
    }
    // Through the shell, for redirections and pipes: $VORAN and $MACHINE
    // stand for the program and the machine file.
    int Shell(const QString& script, QString* err = nullptr)
    {
        QProcess p;
        QProcessEnvironment e = env;
        e.insert("VORAN", QStringLiteral(VORAN_BINARY));
        e.insert("MACHINE", machine);
        p.setProcessEnvironment(e);
        p.start("bash", {"-c", script});
        EXPECT_TRUE(p.waitForFinished(60000));
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    int Run(QStringList args, QString* out = nullptr, QString* err = nullptr)
    {
        QProcess p;
        Start(p, args);
        EXPECT_TRUE(p.waitForFinished(60000));
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput());
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
};

const char* kMachine = R"({"pci":[{"address":"00:01.1","id":"8086:7111","class":"0101","progIf":"80",
  "primary":{"master":{"model":"EXIT CODES","sectors":100000,"timeScale":0,
                       "failing":[{"first":50000,"count":1,"error":"40","ms":0}]}},
  "secondary":{"master":{"model":"SLOW ONE","sectors":2000000,"zones":[{"to":1,"ms":2}]}}}]})";

}  // namespace

TEST(ConsoleProgram, ExitStatuses)
{
    Program prog(kMachine);
    QString out, err;
    EXPECT_EQ(prog.Run({"--channel", "01F0", "--identify"}, &out), 0);
    EXPECT_TRUE(out.startsWith(QStringLiteral("Модель.......................... EXIT CODES\n")));
    EXPECT_EQ(prog.Run({"--channel", "01F0", "--scan", "0", "40000"}), 0);
    EXPECT_EQ(prog.Run({"--channel", "01F0", "--scan", "40000", "60000"}, &out), 1);
    EXPECT_TRUE(out.contains("     Error UNC    : 49984")) << "the block from 40000 + 39 x 256 holds sector 50000";
    EXPECT_EQ(prog.Run({"--channel", "01F0", "--scan", "x"}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains("--scan"));
    EXPECT_EQ(prog.Run({"--channel", "D000", "--identify"}), 2);
    EXPECT_EQ(prog.Run({"--channel", "01F0", "--slave", "--identify"}, nullptr, &err), 3);
    EXPECT_TRUE(err.contains(QStringLiteral("Ошибка идентификации устройства!")));
    EXPECT_EQ(prog.Run({"--channel", "C000:C400", "--identify"}), 3) << "nothing at these ports";
}

TEST(ConsoleDevice, AnUnknownDriveOrANodeThatIsNoDiskIsRefused)
{
    Program prog(R"({"pci":[],"passThrough":[{"name":"/dev/sda","drive":{"model":"PT","sectors":1000,"timeScale":0}}]})");
    QString out, err;
    EXPECT_EQ(prog.Run({"--device", "/dev/sda", "--identify"}, &out), 0);
    EXPECT_TRUE(out.startsWith(QStringLiteral("Модель.......................... PT\n")));
    EXPECT_EQ(prog.Run({"--device", "/dev/sdb", "--identify"}, nullptr, &err), 3);
    EXPECT_TRUE(err.contains("/dev/sda")) << "the drives there are: " << err.toStdString();

    // Without --sim a named device is this machine's: a node that is not a
    // disk is refused before any command goes to it.
    QProcess p;
    p.start(QStringLiteral(VORAN_BINARY), {"--device", "/dev/null", "--identify"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 3);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("не диск")));
}

TEST(ConsoleProgram, ABusyPortIsRefusedWhateverTheEnvironment)
{
    Program prog(kMachine);
    QProcess first;
    prog.Start(first, {"--channel", "0170", "--scan"});
    QByteArray out;
    while (!out.contains(QStringLiteral("Старт").toUtf8()) && first.waitForReadyRead(30000))
        out += first.readAllStandardOutput();
    ASSERT_TRUE(out.contains(QStringLiteral("Старт").toUtf8())) << "the first copy holds 0170";

    // The second copy runs as through su or sudo: other runtime folders.
    QTemporaryDir elsewhere;
    prog.env.insert("XDG_RUNTIME_DIR", elsewhere.path());
    prog.env.insert("TMPDIR", elsewhere.path());
    QString err;
    EXPECT_EQ(prog.Run({"--channel", "0170", "--identify"}, nullptr, &err), 3);
    EXPECT_TRUE(err.contains(QStringLiteral("Данный порт уже занят!"))) << err.toStdString();
    EXPECT_EQ(prog.Run({"--channel", "01F0", "--identify"}), 0) << "another channel is free";

    ::kill(pid_t(first.processId()), SIGINT);
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(prog.Run({"--channel", "0170", "--identify"}), 0) << "free again once the first copy ended";
}

TEST(ConsoleProgram, OptionsOfTheToolkitAreRefusedOrKeptFromQt)
{
    Program prog(kMachine);
    QString err;
    EXPECT_EQ(prog.Run({"-platform", "--identify", "--channel", "01F0"}, nullptr, &err), 2) << "Qt would abort";
    EXPECT_TRUE(err.contains("-platform")) << err.toStdString();
    EXPECT_EQ(prog.Run({"-style", "--scan", "--channel", "01F0"}), 2) << "Qt would open a window";
    EXPECT_EQ(prog.Run({"--channel", "01F0", "--scan", " 5"}), 2);
    EXPECT_EQ(prog.Run({"--channel", "01F0", "--identify", "--platform", "offscreen"}), 2) << "not ours, not Qt's";
    // A window option is accepted in console mode, and Qt never sees it.
    EXPECT_EQ(prog.Run({"-platform", "no-such-platform", "--channel", "01F0", "--identify"}), 0);
}

TEST(ConsoleProgram, AReportThatCannotBeWrittenIsStatus4)
{
    Program prog(kMachine);
    const QString identify = "\"$VORAN\" --sim \"$MACHINE\" --channel 01F0 --identify";
    QString err;
    EXPECT_EQ(prog.Shell(identify + " >/dev/full", &err), 4);
    EXPECT_TRUE(err.contains(QStringLiteral("нет места"))) << err.toStdString();
    EXPECT_EQ(prog.Shell(identify + " >&-", &err), 4) << "standard output closed";
    EXPECT_EQ(prog.Shell("\"$VORAN\" --help >/dev/full"), 4);
    // A reader that goes away after the first line: EPIPE, not a silent
    // death by SIGPIPE, and the scan stops.  Every block fails, so the
    // report is larger than a pipe holds: the program cannot be done before
    // the reader is gone.
    Program failing(R"({"pci":[{"address":"00:01.0","id":"8086:7110","class":"0601","multiFunction":true},
      {"address":"00:01.1","id":"8086:7111","class":"0101","progIf":"80",
       "primary":{"master":{"model":"EVERY BLOCK FAILS","sectors":1000000,"timeScale":0,
                            "failing":[{"first":0,"count":1000000,"error":"40","ms":0}]}}}]})");
    EXPECT_EQ(failing.Shell("\"$VORAN\" --sim \"$MACHINE\" --channel 01F0 --scan | head -n 1 >/dev/null; "
                            "exit ${PIPESTATUS[0]}",
                            &err),
              4);
    EXPECT_TRUE(err.contains(QStringLiteral("читающая сторона"))) << err.toStdString();

    // --output to a device is written in place, and fails there honestly.
    const QString null = testsupport::DeviceLike(prog.dir.path(), "null");
    const QString full = testsupport::DeviceLike(prog.dir.path(), "full");
    ASSERT_FALSE(null.isEmpty() || full.isEmpty());
    EXPECT_EQ(prog.Run({"--channel", "01F0", "--scan", "0", "1000", "--output", null}), 0);
    EXPECT_TRUE(QFileInfo(null).exists() && !QFileInfo(null).isFile()) << "still the device";
    EXPECT_EQ(prog.Run({"--channel", "01F0", "--scan", "0", "1000", "--output", full}, nullptr, &err), 4);
    EXPECT_TRUE(QFileInfo(full).exists() && !QFileInfo(full).isFile());
}

TEST(ConsoleProgram, AFullDiskKeepsTheOldReport)
{
    // Every block of the range fails: a report of a few kilobytes.
    Program prog(R"({"pci":[{"address":"00:01.0","id":"8086:7111","class":"0101","progIf":"80",
      "primary":{"master":{"model":"FULL DISK","sectors":100000,"timeScale":0,
                           "failing":[{"first":40000,"count":20000,"error":"40","ms":0}]}}}]})");
    // The kernel stops the file at 1 KB (the file-size limit, with its
    // signal ignored, as a full disk stops it with ENOSPC): the write fails
    // half-way, and the old report must stay whole.
    prog.env.insert("DIR", prog.dir.path());
    const int status = prog.Shell(
        "printf 'old\\r\\n' > \"$DIR/r.txt\" && trap '' XFSZ && ulimit -f 1 && "
        "\"$VORAN\" --sim \"$MACHINE\" --channel 01F0 --scan 40000 60000 --output \"$DIR/r.txt\"");
    EXPECT_EQ(status, 4);
    QFile seen(prog.dir.filePath("r.txt"));
    ASSERT_TRUE(seen.open(QIODevice::ReadOnly));
    EXPECT_EQ(seen.readAll(), "old\r\n") << "the old report is whole";
    EXPECT_EQ(QDir(prog.dir.path()).entryList({"*.tmp"}, QDir::Files | QDir::Hidden), QStringList())
        << "no temporary file left behind";
}

TEST(ConsoleProgram, CtrlCStopsTheScanAndTheCancelledSummaryIsWritten)
{
    Program prog(kMachine);
    QProcess p;
    prog.Start(p, {"--channel", "0170", "--scan"});
    // Wait for the header: the run has started.
    QByteArray out;
    while (!out.contains(QStringLiteral("Старт").toUtf8()) && p.waitForReadyRead(30000))
        out += p.readAllStandardOutput();
    ASSERT_TRUE(out.contains(QString("Старт").toUtf8()));
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(30000));
    out += p.readAllStandardOutput();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130);
    const QString text = QString::fromUtf8(out);
    EXPECT_TRUE(text.contains(QStringLiteral("Отменено...................")));
    EXPECT_TRUE(text.contains(QStringLiteral("Последний проверенный LBA..")));
    EXPECT_TRUE(text.trimmed().endsWith(QString(60, '*')));
    EXPECT_FALSE(text.contains(QStringLiteral("Последний проверенный LBA..2000000"))) << "stopped early";
}
