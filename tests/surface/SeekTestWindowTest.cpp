// The stress test window against simulated drives with scripted failures
// and temperatures.  A run goes on until Stop: the tests stop it from the
// window's CommandDone signal after the commands they need.
#include <QApplication>
#include <QCheckBox>
#include <QChartView>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QValueAxis>
#include <functional>
#include <gtest/gtest.h>
#include <set>

#include "ScanTestDrive.h"
#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "select/RadioGroup.h"
#include "support/SimFixture.h"
#include "surface/Int64SpinBox.h"
#include "surface/SeekTest.h"

using namespace stress;

namespace {

// A drive at 01F0 and the stress test's settings in Voran.ini.
class Bench : public scantest::Bench {
public:
    explicit Bench(const sim::DriveSpec& d, int command = 1, int adres = 0, bool stopError = false)
        : scantest::Bench(d)
    {
        Ctx().IniFile = std::make_unique<IniFile>(dir.filePath(QStringLiteral("Voran.ini")));
        Ctx().IniFile->WriteInteger(QStringLiteral("StressTest"), QStringLiteral("Command"), command);
        Ctx().IniFile->WriteInteger(QStringLiteral("StressTest"), QStringLiteral("Adres"), adres);
        Ctx().IniFile->WriteBool(QStringLiteral("StressTest"), QStringLiteral("StopError"), stopError);
    }
    ~Bench() { Ctx().IniFile.reset(); }
    QTemporaryDir dir;
};

// A 28-bit drive of 100000 sectors at 40 degrees.
sim::DriveSpec Drive28(const char* model = "STRESS 28")
{
    sim::DriveSpec d = testsim::InstantDrive(model, 100000, false);
    d.temperature = 40;
    return d;
}

sim::FailRange FailAt(uint64_t lba) { return {lba, 1, 0x40, 0}; }

struct Issued {
    int64_t lba;
    int32_t result;
};

// Start with the range [start, end], Stop after `count` commands (unless
// the run ends first); `each` acts after every command, as the user or the
// timer meanwhile.  Every target must be the LBA the drive received.
std::vector<Issued> RunCommands(TfrmSeekTest& f, sim::Drive* drive, int64_t start, int64_t end, int count,
                                const std::function<void(int)>& each = {})
{
    f.speLBA1->setValue(start);
    f.speLBA2->setValue(end);
    std::vector<Issued> issued;
    const auto c = QObject::connect(&f, &TfrmSeekTest::CommandDone, &f, [&](qint64 lba, int result) {
        EXPECT_EQ(drive->LastTaskfile().Lba28Address(), uint64_t(lba));
        issued.push_back({lba, result});
        if (each)
            each(int(issued.size()) - 1);
        if (int(issued.size()) == count)
            f.bbStopClick();
    });
    f.bbStartClick();
    QObject::disconnect(c);
    return issued;
}

std::vector<int64_t> Lbas(const std::vector<Issued>& v)
{
    std::vector<int64_t> out;
    for (const Issued& i : v)
        out.push_back(i.lba);
    return out;
}

bool Idle(const TfrmSeekTest& f)
{
    return !f.Running() && !f.bbStart->isHidden() && f.bbStop->isHidden() && f.bbClose->isEnabled() &&
           f.gbDiapazon->isEnabled() && f.rgbKind->isEnabled() && f.rgbCommand->isEnabled() && !f.Timer->isActive();
}

}  // namespace

TEST(StressWindow, OpensWithTheDriveLimitsAndConfiguredChoices)
{
    Bench bench(testsim::InstantDrive("STRESS 48", 6000000000ULL, true), 1, 0, true);
    TfrmSeekTest f;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STRESS 48"));
    EXPECT_TRUE(f.AddressingChoice() == Addressing::Range && f.CommandChoice() == Command::Verify && f.StopOnError());
    EXPECT_EQ(f.speLBA2->value(), 6000000000LL - 1);  // 64-bit fields
    EXPECT_TRUE(Idle(f));
    EXPECT_TRUE(bench.messages.Texts().isEmpty());
    // Seek on a 48-bit drive: said, and limited to the 28-bit capacity; the
    // start keeps its value within the limit.
    f.speLBA1->setValue(300000000);
    f.rgbCommand->Button(0)->click();
    EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Данный тест возможен только в режиме адресации LBA28.")});
    EXPECT_EQ(bench.messages.shown[0].kind, MsgKind::Information);
    EXPECT_EQ(f.speLBA1->value(), 0x0FFFFFFF - 1);
    EXPECT_EQ(f.speLBA2->value(), 0x0FFFFFFF - 1);
    f.bbHelp->click();
    EXPECT_EQ(bench.help.contexts, std::vector<int>{200});
}

TEST(StressWindow, AFailedIdentifyOrAStartAboveTheEndRunsNothing)
{
    Bench bench(Drive28(), 1, 0);
    bool ran = false;
    {
        bench.Drive()->SetAbsent(true);
        TfrmSeekTest f;
        bench.Drive()->SetAbsent(false);
        EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Ошибка идентификации устройства!")});
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест"));
        EXPECT_FALSE(f.bbStart->isEnabled() || f.rgbKind->isEnabled() || f.gbDiapazon->isEnabled());
        QObject::connect(&f, &TfrmSeekTest::CommandDone, [&] { ran = true; });
        f.bbStartClick();
    }
    bench.messages.Clear();
    TfrmSeekTest f;
    QObject::connect(&f, &TfrmSeekTest::CommandDone, [&] { ran = true; });
    f.speLBA1->setValue(500);
    f.speLBA2->setValue(499);
    f.bbStart->click();
    EXPECT_FALSE(ran);
    EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Конец диапазона не может быть меньше начала!")});
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STRESS 28"));
    EXPECT_TRUE(Idle(f));
    EXPECT_TRUE(f.mTemperature->text().isEmpty());
}

TEST(StressWindow, TargetsAtTheEndsOrAtRandomNeverAtTheEnd)
{
    sim::DriveSpec d = Drive28();
    d.failing = {FailAt(1003)};  // a command at the end of [1000, 1003] would count an error
    Bench bench(d, 0, 0);
    TfrmSeekTest f;
    f.show();
    // Seek from the end; Esc (in a control) stops at once; no closing meanwhile.
    const auto seeks = RunCommands(f, bench.Drive(), 100, 200, 1000, [&](int i) {
        EXPECT_FALSE(f.close() || f.bbClose->isEnabled() || f.gbDiapazon->isEnabled() || f.rgbCommand->isEnabled());
        if (i == 4)
            QCoreApplication::postEvent(f.chbCheckTemp, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    EXPECT_EQ(Lbas(seeks), (std::vector<int64_t>{200, 100, 200, 100, 200}));
    EXPECT_TRUE(Idle(f));
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STRESS 28 - Отменено"));
    f.rgbCommand->Button(1)->click();
    EXPECT_EQ(Lbas(RunCommands(f, bench.Drive(), 100, 200, 5)), (std::vector<int64_t>{100, 200, 100, 200, 100}));
    // Start = end: every command at that LBA, both commands, both addressings.
    for (int kind : {0, 1})
        for (int command : {0, 1}) {
            f.rgbKind->Button(kind)->click();
            f.rgbCommand->Button(command)->click();
            EXPECT_EQ(Lbas(RunCommands(f, bench.Drive(), 4321, 4321, 6)), std::vector<int64_t>(6, 4321));
        }
    std::set<int64_t> seen;  // random verifies
    for (int64_t lba : Lbas(RunCommands(f, bench.Drive(), 1000, 1003, 600)))
        seen.insert(lba);
    EXPECT_EQ(seen, (std::set<int64_t>{1000, 1001, 1002}));
    EXPECT_EQ(f.Stats().errors, 0);
    EXPECT_TRUE(f.close());
}

TEST(StressWindow, AFailureWithStopOnErrorEndsTheRunWithBothSuffixes)
{
    Bench bench(Drive28("STOPPER"), 0, 0, true);  // seek, range, stop on error
    TfrmSeekTest f;
    const int beeps = BeepCount();
    const std::vector<Issued> issued = RunCommands(f, bench.Drive(), 10, 20, 100, [&](int i) {
        if (i == 1)  // the third seek fails
            bench.Drive()->AddFault({sim::Fault::Kind::Error, 0x70, 0x10, 1});
    });
    ASSERT_EQ(issued.size(), 3u);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STOPPER - Ошибка - Отменено"));
    EXPECT_EQ(f.Stats().errors, 1);
    EXPECT_EQ(f.Stats().commands, 3);
    EXPECT_EQ(f.mError->text(), QStringLiteral("1"));
    EXPECT_TRUE(f.ErrorShownRed());
    EXPECT_EQ(f.lError->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(BeepCount(), beeps + 1);
    EXPECT_TRUE(Idle(f));
    // The soft reset left the drive working.
    for (const Issued& i : RunCommands(f, bench.Drive(), 10, 20, 4))
        EXPECT_GE(i.result, 0);
}

TEST(StressWindow, FailuresLeaveTheTimesAloneButCountInTheAverage)
{
    // Verify, range, going on after errors: the start fails, the end takes
    // at least 2 ms.
    sim::DriveSpec d = Drive28();
    d.failing = {FailAt(500)};
    d.timeScale = 1;
    d.zones = {{1.0, 0}};
    d.trackToTrackMs = d.fullStrokeMs = 0;
    d.rpm = 1e9;
    d.slow = {{900, 1, 2.0}};
    Bench bench(d, 1, 0, false);
    TfrmSeekTest f;
    QStringList before = {QString(), QString(), QString()};
    auto times = [&] { return QStringList{f.mMinTime->text(), f.mAvgTime->text(), f.mMaxTime->text()}; };
    const std::vector<Issued> issued = RunCommands(f, bench.Drive(), 500, 900, 9, [&](int i) {
        if (i % 2 == 0) {  // a failure: no time changes
            EXPECT_EQ(times(), before) << i;
        }
        before = times();
    });
    // The average of the successes, each failure counted as a command.
    uint64_t avg = 0;
    for (uint64_t n = 0; n < issued.size(); ++n)
        if (issued[n].lba != 500)
            avg = (avg * n + uint64_t(issued[n].result)) / (n + 1);
    EXPECT_EQ(f.Stats().average, avg);
    EXPECT_GE(f.Stats().minimum, 2000u);
    EXPECT_EQ(times(), (QStringList{CommandTimeText(f.Stats().minimum), CommandTimeText(f.Stats().average),
                                    CommandTimeText(f.Stats().maximum)}));
    EXPECT_EQ(f.mError->text(), QStringLiteral("5"));

    // A second Start: counters from zero, the old texts until a command
    // changes them, the error display still red.
    const QStringList old = times();
    bench.Drive()->AddFault({sim::Fault::Kind::Error, 0x40, 0x40, 1});
    RunCommands(f, bench.Drive(), 900, 900, 3, [&](int i) {
        if (i == 0) {
            EXPECT_TRUE(f.Stats().commands == 1 && f.Stats().errors == 1);
            EXPECT_EQ(times(), old);
            EXPECT_EQ(f.mError->text(), QStringLiteral("1"));
        }
    });
    EXPECT_TRUE(f.ErrorShownRed());
}

TEST(StressWindow, TemperatureEveryNinthSecondAndTheChart)
{
    Bench bench(Drive28(), 1, 0);
    bench.Drive()->SetFixedTemperature(40);
    TfrmSeekTest f;
    f.show();
    const int wide = f.width();
    int narrow = 0;
    RunCommands(f, bench.Drive(), 0, 99, 60, [&](int i) {
        if (i == 0) {
            EXPECT_TRUE(f.Timer->isActive());
            f.Timer->stop();  // the test ticks it itself, however slow the machine
            EXPECT_EQ(f.mTemperature->text(), QStringLiteral("40°C"));
            ASSERT_EQ(f.Series1->count(), 2);  // Start read it twice
            for (int s = 0; s < 8; ++s)
                f.TimerTimer();
            bench.Drive()->SetFixedTemperature(47);
            EXPECT_EQ(f.Series1->count(), 2);
            f.TimerTimer();  // the ninth second
            EXPECT_EQ(f.mTemperature->text(), QStringLiteral("47°C"));
            ASSERT_EQ(f.Series1->count(), 3);
            EXPECT_EQ(f.Series1->at(2), QPointF(2, 47));
            EXPECT_EQ(f.mTime->text(), QStringLiteral("00:00:09"));
            EXPECT_TRUE(f.AxisY->max() >= 47 && f.AxisY->max() < 60 && f.AxisY->min() == 0);
            f.chbCheckTemp->click();  // off during the run
            EXPECT_TRUE(f.GrafView->isHidden());
            f.TimerTimer();
            EXPECT_EQ(f.mTemperature->text(), QStringLiteral("Disabled"));
        }
        if (i == 1) {
            narrow = f.width();
            f.chbCheckTemp->click();  // on again: a new chart from sample 0
            EXPECT_EQ(f.Series1->count(), 0);
            for (int s = 0; s < 9; ++s)
                f.TimerTimer();
            ASSERT_EQ(f.Series1->count(), 1);
            EXPECT_EQ(f.Series1->at(0), QPointF(0, 47));
        }
    });
    EXPECT_LT(narrow, wide - 200);
    EXPECT_EQ(f.width(), wide);
}

TEST(StressWindow, SmartSwitchedOnForTheWindowAndTemperatureFailures)
{
    {
        sim::DriveSpec d = Drive28();
        d.smart = sim::SmartMode::Off;
        Bench bench(d);
        {
            TfrmSeekTest f;
            EXPECT_TRUE(bench.Drive()->State().smartEnabled);
            bench.Drive()->AddFault({sim::Fault::Kind::Error, 0xB0, 0x04, 2});  // both reads of Start fail
            RunCommands(f, bench.Drive(), 0, 10, 2);
            EXPECT_EQ(f.mTemperature->text(), QStringLiteral("Error"));
            EXPECT_EQ(f.Series1->count(), 0);
            EXPECT_EQ(f.Stats().errors, 0);  // the soft reset left the drive working
        }
        EXPECT_FALSE(bench.Drive()->State().smartEnabled);
        {
            TfrmSeekTest f;
            bench.Drive()->AddFault({sim::Fault::Kind::Error, 0xB0, 0x04, 1});  // switching it off is refused
        }
        EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Ошибка отключения SMART!")});
    }

    for (bool smart : {false, true}) {
        sim::DriveSpec n = Drive28();
        n.smart = smart ? sim::SmartMode::On : sim::SmartMode::Unsupported;
        n.attributes = {{9, 0x0032, 99, 99, 0, 1234}};  // no temperature attribute
        Bench other(n);
        TfrmSeekTest f;
        RunCommands(f, other.Drive(), 0, 10, 1, [&](int) {
            for (int s = 0; s < 9; ++s)
                f.TimerTimer();
        });
        EXPECT_EQ(f.mTemperature->text(), smart ? QString() : QStringLiteral("Not Support"));
        EXPECT_EQ(f.Series1->count(), 0);
    }
}

TEST(StressWindow, TheLoopSurvivesItsWindowDestroyedAndTheMainWindowClosing)
{
    Bench bench(Drive28(), 1, 1);
    auto* owner = new QWidget;
    QPointer<TfrmSeekTest> gone = new TfrmSeekTest(owner);
    int after = 0;
    QObject::connect(gone, &TfrmSeekTest::CommandDone, owner, [&] {
        if (++after == 3)
            QTimer::singleShot(0, [owner] { delete owner; });
    });
    gone->bbStartClick();  // returns once the loop has noticed
    EXPECT_TRUE(gone.isNull());

    QWidget main;
    main.show();
    TfrmSeekTest f(&main);
    f.show();
    size_t commands = 0;
    QTimer::singleShot(0, &f, [&] {
        commands = RunCommands(f, bench.Drive(), 0, 1000, 1000000, [&](int i) {
                       if (i == 10)
                           QTimer::singleShot(0, &main, &QWidget::close);
                   }).size();
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(commands > 10 && commands < 1000000);
    EXPECT_TRUE(Idle(f));
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STRESS 28 - Отменено"));
}
