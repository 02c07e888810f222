#include <gtest/gtest.h>

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "common/IniFile.h"

namespace {
QByteArray ReadAll(const QString& f)
{
    QFile in(f);
    in.open(QIODevice::ReadOnly);
    return in.readAll();
}
void WriteAll(const QString& f, const QByteArray& b)
{
    QFile out(f);
    out.open(QIODevice::WriteOnly);
    out.write(b);
}
}  // namespace

TEST(IniFile, MissingFileAndKeysGiveTheReadersDefault)
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("Voran.ini"));
    EXPECT_EQ(ini.ReadInteger("TimeOut", "TimeOut", 10), 10);
    EXPECT_EQ(ini.ReadInteger("TimeOut", "TimeOut", 5), 5);
    EXPECT_TRUE(ini.ReadBool("Port", "SavePort", true));
    EXPECT_EQ(ini.ReadString("Port", "LastPort", "0170"), "0170");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("Voran.ini"))) << "reading creates nothing";
}

TEST(IniFile, IntegersDecimalHexAndJunk)
{
    QTemporaryDir dir;
    const QString f = dir.filePath("a.ini");
    WriteAll(f, "[TimeOut]\nTimeOut=0x20\nMonitorPeriod=abc\nA= 42 \nB=0X1f\nC=-7\nD=12abc\nE=\nF=99999999999\n");
    IniFile ini(f);
    EXPECT_EQ(ini.ReadInteger("TimeOut", "TimeOut", 5), 32);
    EXPECT_EQ(ini.ReadInteger("TimeOut", "MonitorPeriod", 25), 25);
    EXPECT_EQ(ini.ReadInteger("TimeOut", "A", 0), 42);
    EXPECT_EQ(ini.ReadInteger("TimeOut", "B", 0), 31);
    EXPECT_EQ(ini.ReadInteger("TimeOut", "C", 0), -7);
    EXPECT_EQ(ini.ReadInteger("TimeOut", "D", 3), 3);
    EXPECT_EQ(ini.ReadInteger("TimeOut", "E", 4), 4);
    EXPECT_EQ(ini.ReadInteger("TimeOut", "F", 6), 6);
    // Hexadecimal is a 32-bit pattern, a sign negates it in 32 bits (the
    // lowest value once overflowed; found by fuzz_ini).
    int v = 0;
    ASSERT_TRUE(IniFile::ParseInteger("0xFFFFFFFF", v));
    EXPECT_EQ(v, -1);
    ASSERT_TRUE(IniFile::ParseInteger("-0x80000000", v));
    EXPECT_EQ(v, INT32_MIN);
    ASSERT_TRUE(IniFile::ParseInteger("-0x10", v));
    EXPECT_EQ(v, -16);
}

TEST(IniFile, NamesAreCaseInsensitiveAndBooleansAnyNonZero)
{
    QTemporaryDir dir;
    const QString f = dir.filePath("a.ini");
    WriteAll(f, "[port]\r\nsaveport=0\r\nSLAVEENABLED=7\r\n");
    IniFile ini(f);
    EXPECT_FALSE(ini.ReadBool("Port", "SavePort", true));
    EXPECT_TRUE(ini.ReadBool("PORT", "SlaveEnabled", false));
    ini.WriteBool("Port", "SAVEPORT", true);
    EXPECT_TRUE(ini.ReadBool("Port", "SavePort", false));
    EXPECT_EQ(ReadAll(f).count("aveport") + ReadAll(f).count("AVEPORT"), 1) << "replaced, not added";
}

TEST(IniFile, WritesDecimalAndBooleansAsOneOrZeroAndKeepsOtherLines)
{
    QTemporaryDir dir;
    const QString f = dir.filePath("a.ini");
    WriteAll(f, "; comment\n[Scan]\nLine=3\n\n[Port]\nLastPort=01F0\n");
    IniFile ini(f);
    ini.WriteInteger("TimeOut", "TimeOut", 0x20);
    ini.WriteBool("Port", "AutoDetect", true);
    ini.WriteBool("Port", "SaveDevice", false);
    ini.WriteString("Scan", "Line", "5");
    const QByteArray b = ReadAll(f);
    EXPECT_TRUE(b.contains("; comment"));
    EXPECT_TRUE(b.contains("TimeOut=32"));
    EXPECT_TRUE(b.contains("AutoDetect=1"));
    EXPECT_TRUE(b.contains("SaveDevice=0"));
    EXPECT_TRUE(b.contains("Line=5"));
    EXPECT_FALSE(b.contains("Line=3"));
    EXPECT_EQ(ini.ReadString("Port", "LastPort", ""), "01F0");
    // The new key went into its own section.
    EXPECT_LT(b.indexOf("[Port]"), b.indexOf("AutoDetect=1"));
}

TEST(IniFile, TextsAreReadUpTo2047Characters)
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("a.ini"));
    ini.WriteString("S", "K", QString(3000, 'x'));
    EXPECT_EQ(ini.ReadString("S", "K", "").length(), 2047);
}

TEST(IniFile, JunkAndALastLineWithoutEnd)
{
    QTemporaryDir dir;
    const QString f = dir.filePath("a.ini");
    QByteArray junk;
    junk.append('\0').append("\x01\xff\xfe garbage\n[Port]\n\x07").append('\0');
    junk.append("=zz\nLastPort=0170\n[TimeOut]\nTimeOut=15");  // no final newline
    WriteAll(f, junk);
    IniFile ini(f);
    EXPECT_EQ(ini.ReadString("Port", "LastPort", ""), "0170");
    EXPECT_EQ(ini.ReadInteger("TimeOut", "TimeOut", 10), 15);
    ini.WriteInteger("TimeOut", "MonitorPeriod", 40);
    EXPECT_EQ(ini.ReadInteger("TimeOut", "TimeOut", 10), 15);
    EXPECT_EQ(ini.ReadInteger("TimeOut", "MonitorPeriod", 35), 40);
}

TEST(IniFile, AFileThatCannotBeWrittenRaisesUnableToWrite)
{
    QTemporaryDir dir;
    const QString sub = dir.filePath("ro");
    ASSERT_TRUE(QDir().mkpath(sub));
    const QString f = sub + "/Voran.ini";
    WriteAll(f, "[Port]\nSavePort=1\n");
    ASSERT_EQ(::chmod(QFile::encodeName(sub).constData(), 0555), 0);
    IniFile ini(f);
    if (::geteuid() == 0) {
        // root writes anyway; use a path whose directory is missing instead.
        IniFile missing(dir.filePath("none/Voran.ini"));
        try {
            missing.WriteBool("Port", "SavePort", false);
            FAIL() << "no error";
        } catch (const IniWriteError& e) {
            EXPECT_EQ(e.message(), "Unable to write to " + dir.filePath("none/Voran.ini"));
        }
    } else {
        EXPECT_THROW(ini.WriteBool("Port", "SavePort", false), IniWriteError);
        EXPECT_TRUE(ini.ReadBool("Port", "SavePort", false)) << "old file intact";
    }
    ::chmod(QFile::encodeName(sub).constData(), 0755);
}

TEST(IniFile, EveryReadSeesTheFileAsItIsNow)
{
    QTemporaryDir dir;
    const QString f = dir.filePath("a.ini");
    IniFile ini(f);
    ini.WriteInteger("Scan", "Line", 2);
    WriteAll(f, "[Scan]\nLine=4\n");  // changed behind its back
    EXPECT_EQ(ini.ReadInteger("Scan", "Line", 1), 4);
}
