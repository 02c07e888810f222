// The simulated machine as a whole: the default machine's drives, machine
// files, the state file, SRST and the 48-bit register pairs.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <set>

#include "common/Clock.h"
#include "common/Format.h"
#include "hw/Ata.h"
#include "hw/PassThrough.h"
#include "hw/AtaDefs.h"
#include "hw/PortIo.h"
#include "sim/SimMachine.h"
#include "support/SimFixture.h"

using namespace testsim;

namespace {

ata::IdentifyBlock Identify()
{
    ata::IdentifyBlock b{};
    EXPECT_NE(IdentifyDevice(b.Bytes()) & 0xFF, 0);
    return b;
}

// Class of one block as the surface scan sorts failed blocks.
char ErrorCode(uint8_t e)
{
    if (e & 0x01) return 'A';
    if (e & 0x02) return '0';
    if (e & 0x04) return '!';
    if (e & 0x10) return 'S';
    if (e & 0x40) return 'X';
    if (e & 0x80) return 'B';
    return '?';
}

}  // namespace

TEST(DefaultMachine, HasTheDrivesItPromises)
{
    auto spec = sim::DefaultMachineSpec();
    auto m = sim::InstallMachine(spec);
    struct Expect {
        uint16_t base, alt;
        uint8_t dev;
        const char* model;
        bool lba48;
    };
    const Expect drives[] = {
        {0x1F0, 0x3F6, 0, "SIMDISK SD-8000 HEALTHY", true},
        {0x1F0, 0x3F6, 1, "SIMDISK SD-4000L LBA28", false},
        {0x170, 0x376, 0, "SIMDISK SD-6000X DEFECTS", true},
        {0x170, 0x376, 1, "SIMDISK SD-6000H HPA", true},
        {0xD000, 0xD402, 0, "SIMDISK SD-3000T HUGE", true},
        {0xD000, 0xD402, 1, "SIMDISK SD-2000S LOCKED", true},
        {0xD800, 0xDC02, 0, "SIMDISK SD-1000N NOSMART", true},
        {0xC000, 0xC402, 0, "SIMDISK SD-5000M MAXLOCK", true},
    };
    for (const Expect& e : drives) {
        InitDLL(e.base, e.alt, e.dev, 1, CounterFrequency(), nullptr);
        const ata::IdentifyBlock b = Identify();
        EXPECT_EQ(TrimIdentifyText(b.Bytes() + 54, 40), e.model);
        EXPECT_EQ(b.Lba48(), e.lba48) << e.model;
    }
    InitDLL(0xD000, 0xD402, 0, 1, CounterFrequency(), nullptr);
    EXPECT_GT(Identify().Sectors48(), 1ULL << 32);
    InitDLL(0x170, 0x376, 1, 1, CounterFrequency(), nullptr);
    {
        const ata::IdentifyBlock b = Identify();
        int64_t native = 0;
        ASSERT_NE(GetMaxHPA(&native, 1) & 0xFF, 0);
        EXPECT_LT(int64_t(b.Sectors48()) - 1, native) << "host protected area in use";
        EXPECT_EQ(b.w[85] & 1, 0) << "SMART switched off";
        EXPECT_EQ(b.w[82] & 1, 1);
    }
    InitDLL(0xD800, 0xDC02, 0, 1, CounterFrequency(), nullptr);
    EXPECT_EQ(Identify().w[82] & 1, 0) << "no SMART";
    InitDLL(0xD000, 0xD402, 1, 1, CounterFrequency(), nullptr);
    EXPECT_EQ(Identify().w[128] & 0x0107, 0x0007) << "locked, high";
    InitDLL(0xC000, 0xC402, 0, 1, CounterFrequency(), nullptr);
    EXPECT_EQ(Identify().w[128] & 0x0107, 0x0107) << "locked, maximum";
    InitDLL(0xC800, 0xCC02, 0, 1, CounterFrequency(), nullptr);
    uint8_t buf[512];
    EXPECT_EQ(IdentifyDevice(buf) & 0xFF, 0) << "empty channel";

    // And one drive behind the kernel's SATA driver.
    EXPECT_EQ(m->Drives(), std::vector<std::string>{"/dev/sda"});
    std::string why;
    ata::Connect(ata::OpenPassThrough("/dev/sda", &why), 1, CounterFrequency(), nullptr);
    EXPECT_EQ(TrimIdentifyText(Identify().Bytes() + 54, 40), "SIMDISK SD-7000A AHCI") << why;
}

TEST(DefaultMachine, DefectsDriveHasEveryTimeAndErrorClass)
{
    auto spec = sim::DefaultMachineSpec();
    sim::DriveSpec d = *spec.functions[2].channels[1].master;
    ASSERT_EQ(d.model, "SIMDISK SD-6000X DEFECTS");
    // Check the model without waiting for it: the classes follow from the
    // modelled times and error bytes.
    std::set<char> codes;
    for (const sim::FailRange& f : d.failing)
        codes.insert(ErrorCode(f.error));
    EXPECT_EQ(codes, (std::set<char>{'A', '0', '!', 'S', 'X', 'B', '?'}));
    std::set<int> timeClasses;
    auto cls = [](double ms) {
        const int64_t r = RoundHalfEven(ms);
        return r < 5 ? 1 : r < 15 ? 2 : r < 50 ? 3 : r < 150 ? 4 : r < 500 ? 5 : 6;
    };
    for (const sim::Zone& z : d.zones)
        timeClasses.insert(cls(z.msPerBlock));
    for (const sim::SlowRange& s : d.slow)
        timeClasses.insert(cls(1.0 + s.extraMs));
    EXPECT_EQ(timeClasses, (std::set<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(d.softBad.empty());
}

TEST(DefaultMachine, SmallDrivesScanInAMinuteOrTwo)
{
    auto spec = sim::DefaultMachineSpec();
    for (const auto& f : spec.functions)
        for (const auto& ch : f.channels)
            for (const auto& d : {ch.master, ch.slave}) {
                if (!d || d->sectors > (1ULL << 32))
                    continue;
                double ms = 0;
                const double blocks = double(d->sectors) / 256.0;
                double prev = 0;
                for (const sim::Zone& z : d->zones) {
                    ms += (z.endFraction - prev) * blocks * z.msPerBlock;
                    prev = z.endFraction;
                }
                EXPECT_GT(ms, 20000) << d->model;
                EXPECT_LT(ms, 130000) << d->model;
            }
}

TEST(MachineFile, ParsesAndReportsErrorsWithTheirPlace)
{
    std::string error;
    EXPECT_FALSE(sim::ParseMachineSpec("{", &error));
    EXPECT_NE(error.find("JSON"), std::string::npos);
    EXPECT_FALSE(sim::ParseMachineSpec(R"({"pci":[{"address":"00:01.1","id":"8086:7111","class":"0101",
        "primary":{"master":{"model":"X"}}}]})", &error));
    EXPECT_NE(error.find("pci[0].primary.master"), std::string::npos) << error;
    EXPECT_NE(error.find("\"sectors\""), std::string::npos) << error;
    auto ok = sim::ParseMachineSpec(R"({"pci":[{"address":"00:02.0","id":"1095:3112","class":"0180",
        "bars":["A001","A401"],"primary":{"slave":{"model":"ONLY SLAVE","sectors":"0x10000","smart":"off",
        "security":{"password":"p","level":"max"},"failing":[{"first":5,"count":2,"error":"10"}]}}}]})",
                                      &error);
    ASSERT_TRUE(ok) << error;
    const sim::DriveSpec& s = *ok->functions[0].channels[0].slave;
    EXPECT_EQ(s.sectors, 0x10000u);
    EXPECT_EQ(s.smart, sim::SmartMode::Off);
    EXPECT_TRUE(s.security.levelMax);
    EXPECT_EQ(s.failing[0].error, 0x10);
    EXPECT_EQ(sim::ChannelPorts(ok->functions[0])[0], std::make_pair(uint16_t(0xA000), uint16_t(0xA402)));
}

TEST(MachineFile, UserChangesPersistInTheStateFile)
{
    QTemporaryDir dir;
    const std::string state = dir.filePath("m.json.state").toStdString();
    auto spec = OneChannel(InstantDrive("PERSIST", 100000));
    {
        auto m = Install(spec);
        std::string err;
        ASSERT_TRUE(m->AttachStateFile(state, &err)) << err;
        ASSERT_NE(SecurityAction("pw", 0, 1, ata::kCmdSecSetPassword) & 0xFF, 0);
        ASSERT_NE(SetMaxHPA(49999, 1) & 0xFF, 0);
        ASSERT_NE(SetSMARTEnabled(0) & 0xFF, 0);
        ASSERT_NE(MakeSoftBad(1234) & 0xFF, 0);
    }
    // The next start of the program: a new machine from the same description.
    auto m = Install(spec);
    std::string err;
    ASSERT_TRUE(m->AttachStateFile(state, &err)) << err;
    const ata::IdentifyBlock b = Identify();
    EXPECT_EQ(b.w[128] & 0x0107, 0x0107) << "enabled at maximum and locked after the restart";
    EXPECT_EQ(b.Sectors48(), 50000u);
    EXPECT_EQ(b.w[85] & 1, 0);
    ASSERT_NE(SecurityAction("pw", 0, 0, ata::kCmdSecUnlock) & 0xFF, 0);
    EXPECT_LT(VerifySectors(1234, 1, 1), 0);
}

TEST(MachineFile, ACorruptStateFileIsReportedNotIgnored)
{
    QTemporaryDir dir;
    const QString state = dir.filePath("s.state");
    QFile f(state);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{ not json");
    f.close();
    auto m = Install(OneChannel(InstantDrive()));
    std::string err;
    EXPECT_FALSE(m->AttachStateFile(state.toStdString(), &err));
    EXPECT_FALSE(err.empty());
}

TEST(Registers, HobReadsTheHighOrderBytesOfA48BitResult)
{
    auto m = Install(OneChannel(InstantDrive("H", 0x123456789AULL)));
    int64_t native = 0;
    ASSERT_NE(GetMaxHPA(&native, 1) & 0xFF, 0);
    EXPECT_EQ(native, 0x1234567899LL);
    // The same bytes by hand: HOB set in the device control register.
    Ports().Out8(0x3F6, 0x80 | 0x02);
    EXPECT_EQ(PortRead(0x1F3), 0x34);
    EXPECT_EQ(PortRead(0x1F4), 0x12);
    EXPECT_EQ(PortRead(0x1F5), 0x00);
    Ports().Out8(0x3F6, 0x02);
    EXPECT_EQ(PortRead(0x1F3), 0x99);
}

TEST(Registers, SoftResetLeavesTheSignatureAndSelectsTheMaster)
{
    auto m = Install(OneChannel(InstantDrive("M"), InstantDrive("S")));
    PortWrite(0x1F6, 0xF0);
    Ports().Out8(0x3F6, 0x06);
    EXPECT_EQ(PortRead(0x3F6) & 0x80, 0x80) << "BSY while SRST is held";
    Ports().Out8(0x3F6, 0x02);
    EXPECT_EQ(m->ChannelAt(0x1F0)->Selected(), 0);
    EXPECT_EQ(PortRead(0x1F2), 1);
    EXPECT_EQ(PortRead(0x1F3), 1);
    EXPECT_EQ(PortRead(0x1F1), 1) << "diagnostic code";
}
