// The settings dialog: what it shows of Voran.ini, what OK writes and
// applies and in which order, a refused write, and the spin edits' limits.
#include <QComboBox>
#include <QDir>
#include <QFile>
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

// A set of values unlike every default.
const Values kChanged{true, false, true, true, 60, 100, 0, false, 0, 0, 4};

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
    void WriteAll(const QByteArray& text)
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    // The effects replaced by a log, with the file as it was at "init".
    void Record(TfrmSettings& f)
    {
        f.Effects.reinitLibrary = [this] { log << "init"; atInit = ReadAll(ini); };
        f.Effects.setMonitorPeriod = [this](int ms) { log << QString("period %1").arg(ms); };
    }

    QTemporaryDir dir;
    QString ini;
    MessageRecorder messages;
    FakeShell shell;
    QStringList log;
    QByteArray atInit;
};

}  // namespace

TEST_F(Settings, WithoutAFileTheDialogsOwnDefaultsAndStoredValuesThroughTheLimits)
{
    TfrmSettings f;
    EXPECT_EQ(f.ControlValues(), Values{});
    EXPECT_EQ(f.rgbSMART->Button(f.rgbSMART->ItemIndex())->text(), "DEC");
    EXPECT_EQ(f.cbCommand->currentText(), "Verify");
    EXPECT_EQ(f.cbAdres->currentText(), QStringLiteral("Случайны выбор"));
    EXPECT_FALSE(QFile::exists(ini)) << "opening writes nothing";

    WriteAll("[Port]\nSlaveEnabled=5\nSavePort=0\nSaveDevice=-1\nAutoDetect=x\n[TimeOut]\nTimeOut=0x20\n"
             "MonitorPeriod=1000\n[SMART]\nRawFormat=0\n[StressTest]\nStopError=0\nCommand=7\nAdres=-3\n"
             "[Scan]\nLine=wide\n");
    // Not a number: the default; out of the limits: the nearest limit or item.
    EXPECT_EQ(settings::Load(Ctx().IniFile.get()), (Values{true, false, true, false, 32, 500, 0, false, 1, 0, 2}));
    WriteAll("[TimeOut]\nTimeOut=0\nMonitorPeriod=3\n[Scan]\nLine=9\n");
    TfrmSettings g;
    EXPECT_EQ(g.speTimeOut->value(), 1);
    EXPECT_EQ(g.speMonitor->value(), 10);
    EXPECT_EQ(g.speLine->value(), 5);
}

TEST_F(Settings, OkWritesEveryKeyInOrderAndCancelWritesNone)
{
    TfrmSettings cancelled;
    Record(cancelled);
    cancelled.SetControlValues(kChanged);
    cancelled.bbCancel->click();
    EXPECT_FALSE(QFile::exists(ini));
    EXPECT_TRUE(log.isEmpty());

    TfrmSettings f;  // nothing changed: written all the same
    Record(f);
    f.bbOk->click();
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_EQ(ReadAll(ini).toStdString(),
              "[Port]\nSlaveEnabled=0\nSavePort=1\nSaveDevice=0\nAutoDetect=0\n\n[TimeOut]\nTimeOut=5\n"
              "MonitorPeriod=25\n\n[SMART]\nRawFormat=1\n\n[StressTest]\nStopError=1\nCommand=1\nAdres=1\n\n"
              "[Scan]\nLine=2\n");
    // The library again once "TimeOut" is written, the monitor's period
    // once "MonitorPeriod" is.
    EXPECT_EQ(log, QStringList({"init", "period 25"}));
    EXPECT_TRUE(atInit.endsWith("TimeOut=5\n"));

    TfrmSettings g;
    g.SetControlValues(kChanged);
    g.bbOk->click();
    EXPECT_EQ(settings::Load(Ctx().IniFile.get()), kChanged);
    const QByteArray before = ReadAll(ini);
    TfrmSettings h;
    h.SetControlValues(Values{});
    QTest::keyClick(&h, Qt::Key_Escape);
    EXPECT_EQ(ReadAll(ini), before);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Settings, TheMonitorPeriodCountsAtOnceTheTimeOutAtTheNextStart)
{
    auto machine = testsim::Install(testsim::OneChannel(testsim::InstantDrive()));
    QPointer<TMonitorThread> monitor = new TMonitorThread(0x1F0, 0x3F6, 0, 35, nullptr, nullptr);
    shell.monitor = monitor.data();

    TfrmSettings f;
    f.SetControlValues(kChanged);
    f.bbOk->click();
    EXPECT_EQ(monitor->Period.load(), 100);
    EXPECT_EQ(Ctx().MonitorPeriod, 35);
    const ata::Connection c = ata::CurrentConnection();
    EXPECT_EQ(c.timeOutSeconds, 10) << "the time-out read at start";
    EXPECT_EQ(c.monitor, monitor.data());
    EXPECT_EQ(c.altPort, 0x3F6);
    const StartupTimeouts next = ReadStartupTimeouts(Ctx().IniFile.get());
    EXPECT_EQ(next.timeOut, 60);
    EXPECT_EQ(next.monitorPeriod, 100);

    InitDLL(0x1F0, 0x3F6, 0, 1, Ctx().CounterFrequency, nullptr);
    EXPECT_TRUE(monitortest::StopAndReap(monitor));
}

TEST_F(Settings, ARefusedWriteStopsTheLaterKeysAndTheDialogStillCloses)
{
    // The file once "TimeOut" is written; the next key would grow it past
    // what the file system allows.
    QTemporaryDir scratchDir;
    IniFile scratch(scratchDir.filePath("Voran.ini"));
    QByteArray upToTimeOut;
    settings::Store(scratch, kChanged, {[&] { upToTimeOut = ReadAll(scratch.FileName()); }, {}});

    TfrmSettings f;
    Record(f);
    f.SetControlValues(kChanged);
    f.show();
    {
        testsupport::FileSizeLimit full(upToTimeOut.size());
        f.bbOk->click();
    }
    EXPECT_EQ(messages.Texts(), QStringList{"Unable to write to " + ini});
    EXPECT_EQ(messages.shown.at(0).kind, MsgKind::Error);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(log, QStringList{"init"});
    EXPECT_EQ(ReadAll(ini), upToTimeOut) << "the keys before, none after, the file whole";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"Voran.ini"});
}

TEST_F(Settings, SpinEditsComeIntoTheirLimitsWhenTheyLoseTheFocus)
{
    TfrmSettings f;
    auto type = [](QSpinBox* s, const QString& text, bool leave = true) {
        QLineEdit* edit = s->findChild<QLineEdit*>();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        if (leave)
            QCoreApplication::sendEvent(s, &out);
        return s->value();
    };
    EXPECT_EQ(type(f.speTimeOut, "0"), 1);
    EXPECT_EQ(type(f.speTimeOut, ""), 1) << "no number: the lower limit";
    EXPECT_EQ(type(f.speTimeOut, "999"), 99) << "a digit past the limit is not taken";
    EXPECT_EQ(type(f.speMonitor, "7"), 10);
    EXPECT_EQ(type(f.speLine, "0"), 1);
    f.speLine->setValue(12);
    EXPECT_EQ(f.speLine->value(), 5);
    // A text still being typed when OK is pressed counts as on leaving.
    type(f.speMonitor, "3", false);
    f.bbOk->click();
    EXPECT_EQ(settings::Load(Ctx().IniFile.get()).monitorPeriod, 10);
}
