// The rules of a connection: port cells, device select, identify at
// connection time, start-up time-outs, the title.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstring>

#include "app/ConnectRules.h"
#include "info/IdentifyReport.h"
#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/Version.h"

TEST(ConnectRules, AltPortIsTheCellOnLegacyChannelsAndControlBlockPlusTwoElsewhere)
{
    ChannelPorts p;
    QString why;
    ASSERT_TRUE(ChannelPortsFromTexts("01F0", "03F6", p, &why));
    EXPECT_EQ(p.base, 0x1F0);
    EXPECT_EQ(p.alt, 0x3F6);
    ASSERT_TRUE(ChannelPortsFromTexts("0170", "0376", p, &why));
    EXPECT_EQ(p.alt, 0x376);
    ASSERT_TRUE(ChannelPortsFromTexts("D000", "CC00", p, &why));
    EXPECT_EQ(p.base, 0xD000);
    EXPECT_EQ(p.alt, 0xCC02);
    ASSERT_TRUE(ChannelPortsFromTexts(" 1e8 ", "3ee", p, &why)) << "hand-typed text";
    EXPECT_EQ(p.base, 0x1E8);
    EXPECT_EQ(p.alt, 0x3F0);
}

TEST(ConnectRules, CellsThatAreNoPortAreRefusedWithAReason)
{
    const ChannelPorts before{0x1234, 0x5678};
    for (auto [base, ctl] : std::vector<std::pair<QString, QString>>{
             {"", ""}, {"01F0", ""}, {"XYZ", "03F6"}, {"10000", "03F6"}, {"0000", "0000"},
             {"FFFA", "0000"}, {"D000", "FFFE"}}) {
        ChannelPorts p = before;
        QString why;
        EXPECT_FALSE(ChannelPortsFromTexts(base, ctl, p, &why)) << base.toStdString() << "/" << ctl.toStdString();
        EXPECT_FALSE(why.isEmpty());
        EXPECT_EQ(p.base, before.base) << "nothing is changed";
    }
}

TEST(ConnectRules, DeviceSelectAndPasswordLevel)
{
    EXPECT_EQ(DeviceSelectByte(0), 0xE0);
    EXPECT_EQ(DeviceSelectByte(1), 0xF0);
    EXPECT_EQ(info::PasswordLevel(0x0103), "Max");
    EXPECT_EQ(info::PasswordLevel(0x0003), "High");
    EXPECT_EQ(info::PasswordLevel(0x0001), "");
    EXPECT_EQ(info::PasswordLevel(0x0101), "");
    EXPECT_EQ(info::PasswordLevel(0x0102), "") << "enabled but not supported";
}

TEST(ConnectRules, IdentifyGivesModelAddressingAndSecurity)
{
    ata::IdentifyBlock b{};
    const char model[] = "  SIMDISK TEST MODEL";
    std::memset(b.Bytes() + 54, ' ', 40);
    std::memcpy(b.Bytes() + 54, model, std::strlen(model));
    b.w[83] = 0x4400;
    b.w[128] = 0x0003;
    ConnectIdentity id = DecodeConnectIdentify(b, "");
    EXPECT_EQ(id.model, "SIMDISK TEST MODEL");
    EXPECT_EQ(id.lbaMode, "LBA48");
    EXPECT_EQ(id.security, "High");

    b.w[83] = 0x4000;
    EXPECT_EQ(DecodeConnectIdentify(b, "LBA48").lbaMode, "LBA28");
    b.w[83] = 0xFFFF;
    EXPECT_EQ(DecodeConnectIdentify(b, "LBA48").lbaMode, "LBA48") << "an invalid word keeps the old mode";
    b.w[83] = 0x0000;
    EXPECT_EQ(DecodeConnectIdentify(b, "").lbaMode, "");
    b.w[128] = 0x0103;
    EXPECT_EQ(DecodeConnectIdentify(b, "").security, "Max");
}

TEST(ConnectRules, StartupTimeoutsDefaultToTenSecondsAnd35ms)
{
    EXPECT_EQ(ReadStartupTimeouts(nullptr).timeOut, 10);
    QTemporaryDir dir;
    IniFile ini(dir.filePath("Voran.ini"));
    StartupTimeouts t = ReadStartupTimeouts(&ini);
    EXPECT_EQ(t.timeOut, 10);
    EXPECT_EQ(t.monitorPeriod, 35);
    ini.WriteString("TimeOut", "TimeOut", "0x20");
    ini.WriteInteger("TimeOut", "MonitorPeriod", 80);
    t = ReadStartupTimeouts(&ini);
    EXPECT_EQ(t.timeOut, 32);
    EXPECT_EQ(t.monitorPeriod, 80);
    ini.WriteInteger("TimeOut", "TimeOut", 0);
    ini.WriteInteger("TimeOut", "MonitorPeriod", 70000);
    t = ReadStartupTimeouts(&ini);
    EXPECT_EQ(t.timeOut, 10) << "no usable time: the default";
    EXPECT_EQ(t.monitorPeriod, 35);
}

TEST(ConnectRules, TitleFromTheVersionRecord)
{
    ResetDriveContext();
    EXPECT_EQ(VersionTitle(), "Voran  2.0.0.10");
    EXPECT_EQ(Ctx().ProductName, "Voran");
    EXPECT_EQ(Ctx().FileVersion, "2.0.0.10");

    ResetDriveContext();
    SetVersionLookupEnabled(false);
    EXPECT_EQ(VersionTitle(), "Voran 2.0");
    EXPECT_TRUE(Ctx().FileVersion.isEmpty());
    SetVersionLookupEnabled(true);
    ResetDriveContext();
}
