// The command line and the choice of the machine.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/CommandLine.h"
#include "app/Startup.h"
#include "common/PortLock.h"
#include "common/Services.h"
#include "hw/PortIo.h"
#include "select/PciScan.h"

TEST(CommandLine, MachineChoiceAndTheInformationalOptions)
{
    CommandLineOptions o = ParseCommandLine({});
    EXPECT_TRUE(o.ok());
    EXPECT_EQ(o.machine, MachineChoice::DefaultSimulated);
    EXPECT_FALSE(o.help || o.version);

    o = ParseCommandLine({"--sim", "/tmp/m.json"});
    EXPECT_TRUE(o.ok());
    EXPECT_EQ(o.machine, MachineChoice::SimulatedFile);
    EXPECT_EQ(o.simFile, "/tmp/m.json");
    o = ParseCommandLine({"--sim=m.json"});
    EXPECT_EQ(o.simFile, "m.json");

    o = ParseCommandLine({"--hardware"});
    EXPECT_TRUE(o.ok());
    EXPECT_EQ(o.machine, MachineChoice::Hardware);

    o = ParseCommandLine({"--help", "--version"});
    EXPECT_TRUE(o.ok());
    EXPECT_TRUE(o.help);
    EXPECT_TRUE(o.version);

    // Options of the toolkit are left for it.
    o = ParseCommandLine({"-platform", "offscreen", "--sim", "f", "-reverse"});
    EXPECT_TRUE(o.ok()) << o.errors.join("; ").toStdString();
    EXPECT_EQ(o.toolkitArgs, QStringList({"-platform", "offscreen", "-reverse"}));
}

TEST(CommandLine, MistakesAreReportedOneByOne)
{
    auto errors = [](QStringList args) { return ParseCommandLine(args).errors; };
    EXPECT_EQ(errors({"--bogus"}).size(), 1);
    EXPECT_TRUE(errors({"--bogus"})[0].contains("--bogus"));
    EXPECT_TRUE(errors({"--sim"})[0].contains("--sim")) << "a value is missing";
    EXPECT_EQ(errors({"--sim="}).size(), 1) << "an empty file name";
    EXPECT_EQ(errors({"--sim", "a", "--hardware"}).size(), 1) << "two machines";
    EXPECT_EQ(errors({"--hardware", "--hardware"}).size(), 1);
    EXPECT_EQ(errors({"--help=yes"}).size(), 1) << "a switch takes no value";
    EXPECT_EQ(errors({"stray"}).size(), 1);
    EXPECT_EQ(errors({"--bogus", "stray", "--sim"}).size(), 3);
}

TEST(CommandLine, OptionsOfTheToolkitNeverSwallowOurs)
{
    auto errors = [](QStringList args) { return ParseCommandLine(args).errors; };
    // Qt would take "--identify" for the platform's name and abort, or
    // "--scan" for a style and open a window.
    EXPECT_EQ(errors({"-platform", "--identify", "--channel", "01F0"}).size(), 1);
    EXPECT_TRUE(errors({"-platform", "--identify", "--channel", "01F0"})[0].contains("-platform"));
    EXPECT_EQ(errors({"-style", "--scan", "--channel", "01F0"}).size(), 1);
    EXPECT_EQ(errors({"-style"}).size(), 1) << "a value is missing";
    EXPECT_EQ(errors({"--sim", "--identify"}).size(), 2) << "no file name, and --identify without a channel";
    CommandLineOptions o = ParseCommandLine({"--sim=-odd-name.json"});
    EXPECT_TRUE(o.ok());
    EXPECT_EQ(o.simFile, "-odd-name.json") << "a value that starts with - is given with =";
    o = ParseCommandLine({"-style", "fusion", "--channel", "01F0", "--identify"});
    EXPECT_TRUE(o.ok());
    EXPECT_TRUE(o.identify);
    EXPECT_EQ(o.toolkitArgs, QStringList({"-style", "fusion"}));

    // Sector numbers are decimal digits and nothing else.
    for (const char* bad : {" 5", "5 ", "+5", "0x10", "1e3", "", "99999999999999999999"})
        EXPECT_FALSE(ParseCommandLine({"--channel", "01F0", "--scan", bad}).ok()) << bad;
    EXPECT_EQ(ParseCommandLine({"--channel", "01F0", "--scan", "007"}).scanStart, 7);
}

TEST(CommandLine, HelpListsEveryOptionOfTheTable)
{
    const QString usage = UsageText();
    for (const OptionDef& d : CommandLineOptionTable()) {
        EXPECT_TRUE(usage.contains(d.name)) << d.name.toStdString();
        EXPECT_FALSE(d.help.isEmpty());
    }
    EXPECT_EQ(VersionText(), "Voran 2.0.0.10\n");
}

TEST(Startup, SimulatedMachinesAreInstalledAndAFileKeepsItsState)
{
    MachineSetup m = SetUpMachine(ParseCommandLine({}));
    ASSERT_TRUE(m.ok);
    EXPECT_TRUE(m.simulated);
    EXPECT_EQ(std::string(Ports().Kind()), "simulated");

    QTemporaryDir dir;
    const QString file = dir.filePath("machine.json");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"({ "pci": [ { "address": "00:01.1", "id": "8086:7111", "class": "0101", "progIf": "80",
                 "primary": { "master": { "model": "FILE DRIVE", "sectors": 100000 } } } ] })");
    f.close();
    m = SetUpMachine(ParseCommandLine({"--sim", file}));
    ASSERT_TRUE(m.ok) << m.error.toStdString();
    EXPECT_TRUE(m.simulated);
    EXPECT_TRUE(QFile::exists(file + ".state")) << "changes are kept beside the file";

    // A broken description or state file stops the start with the reason.
    QFile broken(dir.filePath("broken.json"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("{ not json");
    broken.close();
    m = SetUpMachine(ParseCommandLine({"--sim", broken.fileName()}));
    EXPECT_FALSE(m.ok);
    EXPECT_TRUE(m.error.contains("broken.json")) << m.error.toStdString();

    QFile state(file + ".state");
    ASSERT_TRUE(state.open(QIODevice::WriteOnly | QIODevice::Truncate));
    state.write("garbage");
    state.close();
    m = SetUpMachine(ParseCommandLine({"--sim", file}));
    EXPECT_FALSE(m.ok);
    EXPECT_TRUE(m.error.contains(".state")) << m.error.toStdString();

    m = SetUpMachine(ParseCommandLine({"--sim", dir.filePath("missing.json")}));
    EXPECT_FALSE(m.ok);
    EXPECT_TRUE(m.error.contains("missing.json"));
}

TEST(Startup, TheReadmeExampleMachineShowsItsController)
{
    QFile readme(QStringLiteral(VORAN_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const int from = text.indexOf("```json\n");
    ASSERT_GE(from, 0);
    const int to = text.indexOf("```", from + 8);
    QTemporaryDir dir;
    QFile f(dir.filePath("example.json"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.mid(from + 8, to - from - 8).toUtf8());
    f.close();
    const MachineSetup m = SetUpMachine(ParseCommandLine({"--sim", f.fileName()}));
    ASSERT_TRUE(m.ok) << m.error.toStdString();
    EXPECT_TRUE(m.warnings.isEmpty()) << m.warnings.join("; ").toStdString();
    const std::vector<ChannelRow> rows = ScanPci();
    ASSERT_EQ(rows.size(), 2u) << "the controller's two channels are found";
    EXPECT_EQ(rows[0].basePort, "01F0");
    PortLock::SetScope(QString());
}

TEST(Startup, FaultsAreRefusedWithStatus2AndAWindowShowsThemToo)
{
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    // Valid, but the controller would not be found: a warning.
    const QString lone = write("lone.json", R"({"pci":[{"address":"00:01.1","id":"8086:7111","class":"0101",
        "primary":{"master":{"model":"A","sectors":100}}}]})");
    MachineSetup m = SetUpMachine(ParseCommandLine({"--sim", lone}));
    ASSERT_TRUE(m.ok);
    ASSERT_EQ(m.warnings.size(), 1);
    EXPECT_TRUE(m.warnings[0].contains("lone.json"));
    MessageRecorder boxes;
    EXPECT_TRUE(ReportMachineSetup(m, true));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MsgKind::Warning);

    // A refused file: the file, the key and the value, status 2.
    const QString octal = write("octal.json", R"({"pci":[{"address":"00:01.1","id":"8086:7111","class":"0101",
        "primary":{"master":{"model":"A","sectors":"010"}}}]})");
    m = SetUpMachine(ParseCommandLine({"--sim", octal}));
    EXPECT_FALSE(m.ok);
    EXPECT_EQ(m.exitStatus, 2);
    EXPECT_TRUE(m.error.contains("octal.json")) << m.error.toStdString();
    EXPECT_TRUE(m.error.contains("pci[0].primary.master.sectors = \"010\"")) << m.error.toStdString();
    boxes.Clear();
    EXPECT_FALSE(ReportMachineSetup(m, true));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MsgKind::Error);
    EXPECT_EQ(boxes.shown[0].text, m.error);
    boxes.Clear();
    EXPECT_FALSE(ReportMachineSetup(m, false));
    EXPECT_TRUE(boxes.shown.empty()) << "no window, no box";
    PortLock::SetScope(QString());
}
