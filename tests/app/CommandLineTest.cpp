// The command line and the choice of the machine.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/CommandLine.h"
#include "app/Startup.h"
#include "hw/PortIo.h"

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
