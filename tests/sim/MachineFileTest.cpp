// Machine files and their .state files: what is refused (with the key and
// the value at fault), what is warned about, and that a failed save keeps
// the old state.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>

#include "common/SafeFile.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "hw/PassThrough.h"
#include "sim/JsonFields.h"
#include "sim/SimMachine.h"
#include "sim/SimState.h"
#include "support/SimFixture.h"

using namespace testsim;

namespace {

// A machine of one compatibility-mode controller whose primary master has
// `driveKeys` after its model.
std::string WithDrive(const std::string& driveKeys)
{
    return R"({"pci":[{"address":"00:01.0","id":"8086:7110","class":"0601","multiFunction":true},
                      {"address":"00:01.1","id":"8086:7111","class":"0101","progIf":"80",
                       "primary":{"master":{"model":"M",)" +
           driveKeys + "}}}]}";
}

std::string ParseError(const std::string& json)
{
    std::string error;
    EXPECT_FALSE(sim::ParseMachineSpec(json, &error)) << json;
    return error;
}

QByteArray ReadAll(const QString& f)
{
    QFile in(f);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

}  // namespace

TEST(MachineFile, NumbersAreReadExactlyOrRefused)
{
    QString why;
    using sim::json::Unsigned;
    const uint64_t big = sim::json::kSectorLimit - 1;
    EXPECT_EQ(Unsigned(QJsonValue(2000000), 1, big, &why), 2000000u);
    EXPECT_EQ(Unsigned(QJsonValue("0x1000000"), 1, big, &why), 0x1000000u);
    EXPECT_EQ(Unsigned(QJsonValue("10"), 1, big, &why), 10u) << "decimal";
    EXPECT_EQ(Unsigned(QJsonValue("0"), 0, big, &why), 0u);
    EXPECT_EQ(Unsigned(QJsonValue(double(big)), 1, big, &why), big);
    for (const QJsonValue& bad :
         {QJsonValue("010"), QJsonValue(" 5"), QJsonValue("5 "), QJsonValue("+5"), QJsonValue("-5"), QJsonValue(1.5),
          QJsonValue(-1), QJsonValue(1e300), QJsonValue(double(1ULL << 48)), QJsonValue("281474976710656"),
          QJsonValue("99999999999999999999999"), QJsonValue("0x"), QJsonValue("0x1g"), QJsonValue(true), QJsonValue()})
        EXPECT_FALSE(Unsigned(bad, 1, big, &why)) << sim::json::ValueText(bad).toStdString();
    EXPECT_EQ(sim::json::Hex(QJsonValue("203F"), 0xFFFF, &why), 0x203Fu);
    EXPECT_FALSE(sim::json::Hex(QJsonValue(40), 0xFF, &why)) << "a number in a hexadecimal key is ambiguous";
    EXPECT_FALSE(sim::json::Hex(QJsonValue("100"), 0xFF, &why));
}

TEST(MachineFile, EveryFaultIsRefusedNamingTheKeyAndTheValue)
{
    struct Case {
        std::string json;
        std::vector<std::string> said;  // parts of the message
    };
    const std::string at = "pci[1].primary.master.";
    const Case cases[] = {
        {WithDrive(R"("sectors":1000,"softBad":["x"])"), {at + "softBad[0]", "\"x\""}},
        {WithDrive(R"("sectors":"010")"), {at + "sectors", "\"010\"", "ведущих нулей"}},
        {WithDrive(R"("sectors":1000.5)"), {at + "sectors", "1000.5", "дробной"}},
        {WithDrive(R"("sectors":1e300)"), {at + "sectors", "1e+300"}},
        {WithDrive(R"("sectors":281474976710656)"), {at + "sectors", "281474976710656", "281474976710655"}},
        {WithDrive(R"("sectors":-8)"), {at + "sectors", "-8"}},
        {WithDrive(R"("sectors":1000,"security":"yes")"), {at + "security", "\"yes\""}},
        {WithDrive(R"("sectors":1000,"attributes":{})"), {at + "attributes", "{}"}},
        {WithDrive(R"("sectors":1000,"aam":"x")"), {at + "aam", "\"x\""}},
        {WithDrive(R"("sectors":1000,"lba48":"no")"), {at + "lba48", "\"no\""}},
        {WithDrive(R"("sectors":1000,"sector":5)"), {at + "sector", "неизвестный ключ"}},
        {WithDrive(R"("sectors":1000,"hpaSectors":2000)"), {at + "hpaSectors", "2000"}},
        {WithDrive(R"("sectors":1000,"softBad":[1000])"), {at + "softBad", "1000"}},
        {WithDrive(R"("sectors":1000,"failing":[{"first":5,"error":40}])"), {at + "failing[0].error", "40"}},
        {WithDrive(R"("sectors":1000,"attributes":[{"id":1,"value":300}])"), {at + "attributes[0].value", "300"}},
        {WithDrive(R"("sectors":1000,"model":")" + std::string(41, 'X') + "\""), {at + "model"}},
        {WithDrive(R"("sectors":1000,"security":{"password":"toolong-toolong-toolong-toolong-x"})"),
         {at + "security.password"}},
        {R"({"pci":[{"address":"00:02.0","id":"1095:3112","class":"0180"},
                    {"address":"00:02.0","id":"8086:7111","class":"0101"}]})",
         {"pci[1]", "00:02.0", "pci[0]"}},
        {R"({"pci":[{"address":"00:01.1","id":"8086:7111","class":"0101"},
                    {"address":"00:02.1","id":"8086:7111","class":"0101"}]})",
         {"pci[1]", "01F0", "pci[0].primary"}},
        {R"({"pci":[{"address":"00:02.0","id":"1095:3112","class":"0180","bars":["1F0001"]}]})",
         {"pci[0].bars[0]", "\"1F0001\"", "FFFF"}},
        {R"({"pci":[{"address":"00:20.0","id":"1095:3112","class":"0180"}]})", {"pci[0].address", "\"00:20.0\""}},
        {R"({"pci":[{"address":"00:02.0","id":"1095","class":"0180"}]})", {"pci[0].id", "\"1095\""}},
        {R"({"pci":[{"address":"00:02.0","id":"1095:3112"}]})", {"pci[0]", "\"class\""}},
        {R"({"pci":{}})", {"pci", "{}"}},
        {R"([{"pci":[]}])", {"объектом"}},
        {"{", {"JSON", "строка 1"}},
    };
    for (const Case& c : cases) {
        const std::string error = ParseError(c.json);
        for (const std::string& part : c.said)
            EXPECT_NE(error.find(part), std::string::npos) << "message: " << error << "\nexpected: " << part;
    }
}

TEST(MachineFile, FunctionsThePciScanCannotFindAreWarnedAbout)
{
    std::string error;
    std::vector<std::string> warnings;
    // Function 1 alone, as the README's first example had it.
    ASSERT_TRUE(sim::ParseMachineSpec(R"({"pci":[{"address":"00:01.1","id":"8086:7111","class":"0101",
        "primary":{"master":{"model":"A","sectors":100}}}]})", &error, &warnings)) << error;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("00:01.1"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("00:01.0"), std::string::npos) << "says what to add";
    // Function 0 there, but without the multi-function bit.
    ASSERT_TRUE(sim::ParseMachineSpec(R"({"pci":[{"address":"00:01.0","id":"8086:7110","class":"0601"},
        {"address":"00:01.1","id":"8086:7111","class":"0101"}]})", &error, &warnings)) << error;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("multiFunction"), std::string::npos) << warnings[0];
    // Drives where nothing can reach them.
    ASSERT_TRUE(sim::ParseMachineSpec(R"({"pci":[{"address":"00:02.0","id":"1095:3112","class":"0180",
        "primary":{"master":{"model":"A","sectors":100}}},
        {"address":"00:03.0","id":"8086:1234","class":"0200","secondary":{"slave":{"model":"B","sectors":100}}}]})",
                                        &error, &warnings)) << error;
    EXPECT_EQ(warnings.size(), 2u);
    // The built-in machine has nothing to warn about.
    ASSERT_TRUE(sim::ParseMachineSpec(WithDrive(R"("sectors":"0x1000","softBad":["4095"])"), &error, &warnings));
    EXPECT_TRUE(warnings.empty());
}

TEST(MachineFile, AFileIsReadUpToALimit)
{
    std::string error;
    EXPECT_FALSE(sim::LoadMachineSpec("/dev/zero", &error));
    EXPECT_NE(error.find("больше"), std::string::npos) << error;
}

TEST(StateFile, JunkIsRefusedNotGuessed)
{
    auto m = Install(OneChannel(InstantDrive("STATE", 100000)));
    const sim::DriveLookup lookup = [&](uint16_t base, int device) { return m->DriveAt(base, device); };
    const std::pair<QByteArray, std::string> cases[] = {
        {R"({"01F0:master":{"maxAddress":"junk"}})", "01F0:master.maxAddress = \"junk\""},
        {R"({"01F0:master":{"maxAddress":"100000"}})", "99999"},
        {R"({"01F0:master":{"softBad":["5","x"]}})", "softBad[1]"},
        {R"({"01F0:master":{"user":"00"}})", "01F0:master.user"},
        {R"({"01F0:master":{"smartEnabled":1}})", "smartEnabled = 1"},
        {R"({"01F0:master":{"colour":"red"}})", "неизвестный ключ"},
        {R"({"01F0:master":[]})", "01F0:master = []"},
        {R"({"first drive":{}})", "first drive"},
        {R"([1,2])", "не список"},
        {"", "JSON"},
    };
    for (const auto& [json, said] : cases) {
        std::string error;
        EXPECT_FALSE(sim::ParseMachineState(json, lookup, &error)) << json.toStdString();
        EXPECT_NE(error.find(said), std::string::npos) << error << "\nexpected: " << said;
    }
    std::string error;
    const auto ok = sim::ParseMachineState(R"({"01F0:master":{"maxAddress":"49999","softBad":["7"]},
                                               "D000:slave":{"maxAddress":"1"}})",
                                           lookup, &error);
    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(ok->size(), 1u) << "a drive the machine no longer has is skipped";
    EXPECT_EQ(ok->front().second.maxAddress, 49999u);
}

TEST(StateFile, AFailedSaveKeepsTheOldStateAndAnUnwritableFileIsSaidAtStart)
{
    QTemporaryDir dir;
    const QString state = dir.filePath("m.json.state");
    const auto spec = OneChannel(InstantDrive("PERSIST", 100000));
    std::string error, warning;
    {
        auto m = Install(spec);
        ASSERT_TRUE(m->AttachStateFile(state.toStdString(), &error, &warning)) << error;
        EXPECT_TRUE(warning.empty());
        ASSERT_NE(SetMaxHPA(49999, 1) & 0xFF, 0);
    }
    const QByteArray saved = ReadAll(state);
    ASSERT_TRUE(saved.contains("\"49999\""));

    // The disk is full from now on.
    SetFileWriteHook([](int, const char*, size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    });
    {
        auto m = Install(spec);
        ASSERT_TRUE(m->AttachStateFile(state.toStdString(), &error, &warning)) << error;
        EXPECT_NE(warning.find("на диске нет места"), std::string::npos) << warning;
        ASSERT_NE(SetMaxHPA(29999, 1) & 0xFF, 0) << "the drive works on";
    }
    SetFileWriteHook({});
    EXPECT_EQ(ReadAll(state), saved) << "the old state is whole";

    auto m = Install(spec);
    ASSERT_TRUE(m->AttachStateFile(state.toStdString(), &error, &warning)) << error;
    ata::IdentifyBlock b{};
    ASSERT_NE(IdentifyDevice(b.Bytes()) & 0xFF, 0);
    EXPECT_EQ(b.Sectors48(), 50000u) << "the next start has the last state that was saved";
}

TEST(MachineFile, PassThroughDrivesAreReadStrictlyAndKeepTheirStateByName)
{
    const std::string drive = R"("drive":{"model":"PT","sectors":100000,"timeScale":0})";
    auto machine = [&](const std::string& entries) { return R"({"pci":[],"passThrough":[)" + entries + "]}"; };
    std::string error;
    const auto spec = sim::ParseMachineSpec(
        machine(R"({"name":"/dev/sda","sense":"fixed-6.10","bus":"usb",)" + drive + R"(},{"name":"/dev/sg3",)" +
                drive + "}"),
        &error);
    ASSERT_TRUE(spec) << error;
    ASSERT_EQ(spec->passThrough.size(), 2u);
    EXPECT_EQ(spec->passThrough[0].sense, sim::SenseLayout::Fixed610);
    EXPECT_EQ(spec->passThrough[0].bus, sim::PassThroughBus::Usb);
    EXPECT_EQ(spec->passThrough[1].sense, sim::SenseLayout::Fixed);
    EXPECT_EQ(spec->passThrough[1].drive.model, "PT");

    EXPECT_NE(ParseError(machine(R"({"name":"/dev/sda","sense":"old",)" + drive + "}")).find("passThrough[0].sense"),
              std::string::npos);
    EXPECT_NE(ParseError(machine(R"({"name":"01F0",)" + drive + "}")).find("/dev/sda"), std::string::npos);
    EXPECT_NE(ParseError(machine(R"({"name":"/dev/sda"})")).find("drive"), std::string::npos);
    EXPECT_NE(ParseError(machine(R"({"name":"/dev/sda",)" + drive + R"(},{"name":"/dev/sda",)" + drive + "}"))
                  .find("занято"),
              std::string::npos);

    QTemporaryDir dir;
    const std::string state = dir.filePath("m.json.state").toStdString();
    {
        auto m = sim::InstallMachine(*spec);
        ASSERT_TRUE(m->AttachStateFile(state, &error)) << error;
        ata::Connect(ata::OpenPassThrough("/dev/sg3", &error), 1, 0, nullptr);
        ASSERT_NE(SetMaxHPA(49999, 1) & 0xFF, 0);
    }
    EXPECT_TRUE(ReadAll(QString::fromStdString(state)).contains("pt:/dev/sg3"));
    auto m = sim::InstallMachine(*spec);
    ASSERT_TRUE(m->AttachStateFile(state, &error)) << error;
    EXPECT_EQ(m->PassThroughAt("/dev/sg3")->Model()->CurrentMaxAddress(), 49999u);
    EXPECT_EQ(m->PassThroughAt("/dev/sda")->Model()->CurrentMaxAddress(), 99999u);
}
