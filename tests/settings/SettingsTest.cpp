// The settings dialog: what it shows of Voran.ini, what OK writes and
// applies (and in which order), a write the file system refuses, and the
// spin edits' limits.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/ConnectRules.h"
#include "common/Clock.h"
#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/Services.h"
#include "monitor/MonitorTestSupport.h"
#include "select/RadioGroup.h"
#include "settings/Settings.h"
#include "support/FakeShell.h"
#include "support/SimFixture.h"
#include "support/TestFiles.h"

using settings::Values;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Every key as the file holds it, "Section/Key=value" in file order.
QStringList Keys(const QString& path)
{
    QStringList keys;
    QString section;
    for (const QByteArray& raw : ReadAll(path).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith('['))
            section = line.mid(1, line.indexOf(']') - 1);
        else if (!line.isEmpty())
            keys << section + '/' + line;
    }
    return keys;
}

// A set of values unlike every default.
Values Changed()
{
    Values v;
    v.slaveEnabled = true;
    v.savePort = false;
    v.saveDevice = true;
    v.autoDetect = true;
    v.timeOut = 60;
    v.monitorPeriod = 100;
    v.rawFormat = 0;
    v.stopError = false;
    v.command = 0;
    v.adres = 0;
    v.line = 4;
    return v;
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetDriveContext();
        ini = dir.filePath("Voran.ini");
        Ctx().IniFile = std::make_unique<IniFile>(ini);
        Ctx().BasePort = 0x1F0;
        Ctx().AltPort = 0x3F6;
        Ctx().TimeOut = 10;
        Ctx().MonitorPeriod = 35;
        Ctx().CounterFrequency = CounterFrequency();
    }
    void TearDown() override { ResetDriveContext(); }

    // The effects replaced by a log of what happened, with the file as it
    // was at that moment.
    void Record(TfrmSettings& f)
    {
        f.Effects.reinitLibrary = [this] { log << "init"; fileAtInit = ReadAll(ini); };
        f.Effects.setMonitorPeriod = [this](int ms) { log << QString("period %1").arg(ms); };
    }

    QTemporaryDir dir;
    QString ini;
    MessageRecorder messages;
    FakeShell shell;
    QStringList log;
    QByteArray fileAtInit;
};

}  // namespace

TEST_F(Settings, WithoutAFileTheDialogShowsItsOwnDefaults)
{
    EXPECT_EQ(settings::Load(nullptr), Values{});
    EXPECT_EQ(settings::Load(Ctx().IniFile.get()), Values{});

    TfrmSettings f;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Параметры"));
    EXPECT_FALSE(f.chbSlaveEnabled->isChecked());
    EXPECT_TRUE(f.chbSavePort->isChecked());
    EXPECT_FALSE(f.chbSaveDevice->isChecked());
    EXPECT_FALSE(f.chbAutoDetect->isChecked());
    EXPECT_EQ(f.speTimeOut->value(), 5);
    EXPECT_EQ(f.speMonitor->value(), 25);
    EXPECT_EQ(f.rgbSMART->ItemIndex(), 1);
    EXPECT_EQ(f.rgbSMART->Button(1)->text(), QStringLiteral("DEC"));
    EXPECT_EQ(f.cbCommand->currentText(), QStringLiteral("Verify"));
    EXPECT_EQ(f.cbAdres->currentText(), QStringLiteral("Случайны выбор"));
    EXPECT_TRUE(f.chbSeekError->isChecked());
    EXPECT_EQ(f.speLine->value(), 2);
    EXPECT_FALSE(QFile::exists(ini)) << "opening writes nothing";
}

TEST_F(Settings, StoredValuesAreReadThroughTheLimits)
{
    WriteAll(ini,
             "[Port]\nSlaveEnabled=5\nSavePort=0\nSaveDevice=-1\nAutoDetect=x\n"
             "[TimeOut]\nTimeOut=0x20\nMonitorPeriod=1000\n"
             "[SMART]\nRawFormat=0\n[StressTest]\nStopError=0\nCommand=7\nAdres=-3\n[Scan]\nLine=wide\n");
    Values expected;
    expected.slaveEnabled = true;  // any integer but 0
    expected.savePort = false;
    expected.saveDevice = true;
    expected.autoDetect = false;  // not a number: the default
    expected.timeOut = 32;        // hexadecimal
    expected.monitorPeriod = 500;
    expected.rawFormat = 0;
    expected.stopError = false;
    expected.command = 1;         // the nearest item
    expected.adres = 0;
    expected.line = 2;            // not a number: the default
    EXPECT_EQ(settings::Load(Ctx().IniFile.get()), expected);

    WriteAll(ini, "[TimeOut]\nTimeOut=0\nMonitorPeriod=3\n[Scan]\nLine=9\n");
    TfrmSettings f;
    EXPECT_EQ(f.speTimeOut->value(), 1);
    EXPECT_EQ(f.speMonitor->value(), 10);
    EXPECT_EQ(f.speLine->value(), 5);
    EXPECT_EQ(f.ControlValues().timeOut, 1);
}

TEST_F(Settings, OkWritesEveryKeyInOrderAndCancelWritesNone)
{
    {
        TfrmSettings f;
        Record(f);
        f.bbCancel->click();
        EXPECT_EQ(f.result(), QDialog::Rejected);
        EXPECT_FALSE(QFile::exists(ini));
        EXPECT_TRUE(log.isEmpty());
    }
    {
        // Unchanged values are written too.
        TfrmSettings f;
        Record(f);
        f.bbOk->click();
        EXPECT_EQ(f.result(), QDialog::Accepted);
        EXPECT_EQ(Keys(ini), QStringList({"Port/SlaveEnabled=0", "Port/SavePort=1", "Port/SaveDevice=0",
                                          "Port/AutoDetect=0", "TimeOut/TimeOut=5", "TimeOut/MonitorPeriod=25",
                                          "SMART/RawFormat=1", "StressTest/StopError=1", "StressTest/Command=1",
                                          "StressTest/Adres=1", "Scan/Line=2"}));
        // The library is initialised again once "TimeOut" is written, the
        // monitor gets its period once "MonitorPeriod" is.
        EXPECT_EQ(log, QStringList({"init", "period 25"}));
        EXPECT_TRUE(fileAtInit.contains("TimeOut=5") && !fileAtInit.contains("MonitorPeriod"));
    }
    log.clear();
    {
        TfrmSettings f;
        Record(f);
        f.SetControlValues(Changed());
        f.bbOk->click();
        EXPECT_EQ(settings::Load(Ctx().IniFile.get()), Changed());
        EXPECT_EQ(Keys(ini).size(), 11);
        EXPECT_EQ(log, QStringList({"init", "period 100"}));
        EXPECT_TRUE(messages.shown.empty());
    }
    // Cancel after changes leaves the file as it is.
    const QByteArray before = ReadAll(ini);
    TfrmSettings f;
    f.SetControlValues(Values{});
    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_EQ(f.result(), QDialog::Rejected);
    EXPECT_EQ(ReadAll(ini), before);
}

TEST_F(Settings, TheMonitorPeriodCountsAtOnceTheTimeOutAtTheNextStart)
{
    auto machine = testsim::Install(testsim::OneChannel(testsim::InstantDrive()));
    QPointer<TMonitorThread> monitor = new TMonitorThread(0x1F0, 0x3F6, 0, 35, nullptr, nullptr);
    shell.monitor = monitor.data();
    InitDLL(0x1F0, 0x3F6, 0, 10, Ctx().CounterFrequency, monitor.data());

    TfrmSettings f;
    Values v = f.ControlValues();
    v.timeOut = 60;
    v.monitorPeriod = 100;
    f.SetControlValues(v);
    f.bbOk->click();

    EXPECT_EQ(monitor->Period.load(), 100);
    EXPECT_EQ(Ctx().MonitorPeriod, 35);
    const ata::Connection c = ata::CurrentConnection();
    EXPECT_TRUE(c.initialised);
    EXPECT_EQ(c.timeOutSeconds, 10) << "the time-out read at start";
    EXPECT_EQ(c.basePort, 0x1F0);
    EXPECT_EQ(c.altPort, 0x3F6);
    EXPECT_EQ(c.monitor, monitor.data());
    EXPECT_EQ(Ctx().TimeOut, 10);
    // What the next start reads.
    const StartupTimeouts next = ReadStartupTimeouts(Ctx().IniFile.get());
    EXPECT_EQ(next.timeOut, 60);
    EXPECT_EQ(next.monitorPeriod, 100);

    InitDLL(0x1F0, 0x3F6, 0, 1, Ctx().CounterFrequency, nullptr);
    EXPECT_TRUE(monitortest::StopAndReap(monitor));
}

TEST_F(Settings, ARefusedWriteStopsTheLaterKeysAndTheDialogStillCloses)
{
    // The file as it is once "TimeOut" is written: the next key makes it
    // grow past what the file system allows.
    QTemporaryDir scratchDir;
    IniFile scratch(scratchDir.filePath("Voran.ini"));
    QByteArray upToTimeOut;
    settings::Effects probe;
    probe.reinitLibrary = [&] { upToTimeOut = ReadAll(scratch.FileName()); };
    settings::Store(scratch, Changed(), probe);
    ASSERT_FALSE(upToTimeOut.isEmpty());

    TfrmSettings f;
    Record(f);
    f.SetControlValues(Changed());
    f.show();
    {
        testsupport::FileSizeLimit full(upToTimeOut.size());
        f.bbOk->click();
    }
    EXPECT_EQ(messages.Texts(), QStringList{"Unable to write to " + ini});
    EXPECT_EQ(messages.shown.at(0).kind, MsgKind::Error);
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(log, QStringList{"init"}) << "no period for a key that was not written";
    EXPECT_EQ(ReadAll(ini), upToTimeOut) << "every key before, none after, the file whole";
    EXPECT_EQ(dir.path() + "/Voran.ini", QFileInfo(ini).filePath());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"Voran.ini"}) << "no temporary file left";
}

TEST_F(Settings, SpinEditsComeIntoTheirLimitsWhenTheyLoseTheFocus)
{
    TfrmSettings f;
    auto type = [](QSpinBox* s, const QString& text) {
        QLineEdit* edit = s->findChild<QLineEdit*>();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(s, &out);
        return s->value();
    };
    EXPECT_EQ(type(f.speTimeOut, "0"), 1);
    EXPECT_EQ(type(f.speTimeOut, ""), 1) << "no number: the lower limit";
    EXPECT_EQ(type(f.speTimeOut, "150"), 150);
    EXPECT_EQ(type(f.speTimeOut, "999"), 99) << "a digit past the limit is not taken";
    EXPECT_EQ(type(f.speMonitor, "7"), 10);
    EXPECT_EQ(type(f.speMonitor, "500"), 500);
    EXPECT_EQ(type(f.speLine, "0"), 1);
    EXPECT_EQ(f.speTimeOut->text(), QStringLiteral("99"));

    // Values set from outside are held within the limits too.
    f.speLine->setValue(12);
    EXPECT_EQ(f.speLine->value(), 5);
    // A text still being typed when OK is pressed counts as on leaving.
    QLineEdit* edit = f.speMonitor->findChild<QLineEdit*>();
    edit->selectAll();
    QTest::keyClicks(edit, "3");
    f.bbOk->click();
    EXPECT_EQ(settings::Load(Ctx().IniFile.get()).monitorPeriod, 10);
}
