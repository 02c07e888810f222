// The stress test window against simulated drives with scripted failures
// and temperatures.  A run ends when Stop is pressed, so every test stops it
// from the window's CommandDone signal after the commands it needs.
#include <QCheckBox>
#include <QChart>
#include <QChartView>
#include <QApplication>
#include <QCoreApplication>
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
#include <set>
#include <gtest/gtest.h>

#include "ScanTestDrive.h"
#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "select/RadioGroup.h"
#include "support/SimFixture.h"
#include "surface/Int64SpinBox.h"
#include "surface/SeekTest.h"

using namespace stress;
using scantest::Bench;

namespace {

constexpr uint64_t kSectors = 100000;  // 28-bit drive: LBAs 0..99999

// A bench whose configuration file holds the stress test's settings.
class StressBench : public Bench {
public:
    explicit StressBench(const sim::DriveSpec& d, int command = 1, int adres = 0, bool stopError = false) : Bench(d)
    {
        Ctx().IniFile = std::make_unique<IniFile>(dir.filePath(QStringLiteral("Voran.ini")));
        Ctx().IniFile->WriteInteger(QStringLiteral("StressTest"), QStringLiteral("Command"), command);
        Ctx().IniFile->WriteInteger(QStringLiteral("StressTest"), QStringLiteral("Adres"), adres);
        Ctx().IniFile->WriteBool(QStringLiteral("StressTest"), QStringLiteral("StopError"), stopError);
    }
    ~StressBench() { Ctx().IniFile.reset(); }
    QTemporaryDir dir;
};

sim::DriveSpec Drive28(const char* model = "STRESS 28")
{
    sim::DriveSpec d = testsim::InstantDrive(model, kSectors, false);
    d.temperature = 40;
    return d;
}

sim::FailRange FailAt(uint64_t lba, uint8_t error = 0x40)
{
    sim::FailRange f;
    f.first = lba;
    f.count = 1;
    f.error = error;
    f.ms = 0;
    return f;
}

struct Issued {
    int64_t lba;
    int32_t result;
    uint64_t driveLba;  // the LBA the drive latched
};

// Presses Start with the range [start, end] and stops after `count`
// commands (or earlier when the run ends by itself); `each` runs after
// every command, as the user or the timer meanwhile.
std::vector<Issued> RunCommands(TfrmSeekTest& f, sim::Drive* drive, int64_t start, int64_t end, int count,
                                const std::function<void(int)>& each = {})
{
    f.speLBA1->setValue(start);
    f.speLBA2->setValue(end);
    std::vector<Issued> issued;
    const auto c = QObject::connect(&f, &TfrmSeekTest::CommandDone, &f, [&](qint64 lba, int result) {
        issued.push_back({lba, result, drive->LastTaskfile().Lba28Address()});
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
    for (const Issued& i : v) {
        EXPECT_EQ(uint64_t(i.lba), i.driveLba) << "the drive got another LBA";
        out.push_back(i.lba);
    }
    return out;
}

bool Idle(const TfrmSeekTest& f)
{
    return !f.Running() && !f.bbStart->isHidden() && f.bbStop->isHidden() && f.bbClose->isEnabled() &&
           f.gbDiapazon->isEnabled() && f.rgbKind->isEnabled() && f.rgbCommand->isEnabled() && !f.Timer->isActive();
}

}  // namespace

TEST(StressWindow, OpensWithTheDriveAndTheConfiguredChoices)
{
    StressBench bench(testsim::InstantDrive("STRESS 48", 6000000000ULL, true), 1, 0, true);
    TfrmSeekTest f;
    EXPECT_TRUE(f.Identified());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STRESS 48"));
    EXPECT_EQ(f.AddressingChoice(), Addressing::Range);
    EXPECT_EQ(f.CommandChoice(), Command::Verify);
    EXPECT_TRUE(f.StopOnError());
    EXPECT_TRUE(bench.messages.Texts().isEmpty());
    // Verify: the whole 48-bit drive, the end field at its last LBA.
    EXPECT_EQ(f.speLBA2->maximum(), 6000000000LL - 1);
    EXPECT_EQ(f.speLBA2->value(), 6000000000LL - 1);
    EXPECT_TRUE(Idle(f));
    EXPECT_TRUE(f.FormCloseQuery());
    EXPECT_TRUE(f.chbCheckTemp->isChecked());
    EXPECT_EQ(f.AxisX->max(), 100);
    EXPECT_EQ(f.AxisY->max(), 100);
    EXPECT_EQ(f.Series1->pen().color(), QColor(Qt::red));
    EXPECT_EQ(f.Series1->pen().width(), 2);
    EXPECT_FALSE(f.Graf->legend()->isVisible());
    EXPECT_TRUE(f.mAvgTime->font().bold());

    // Seek on a 48-bit drive: said, and limited to the 28-bit capacity; the
    // start keeps its value within the new limit.
    f.speLBA1->setValue(300000000);
    f.rgbCommand->Button(0)->click();
    EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Данный тест возможен только в режиме адресации LBA28.")});
    EXPECT_EQ(bench.messages.shown[0].kind, MsgKind::Information);
    EXPECT_EQ(f.speLBA2->value(), 0x0FFFFFFF - 1);
    EXPECT_EQ(f.speLBA1->maximum(), 0x0FFFFFFF - 1);
    EXPECT_EQ(f.speLBA1->value(), 0x0FFFFFFF - 1);
    f.speLBA1->setValue(77);
    f.rgbCommand->Button(1)->click();
    EXPECT_EQ(f.speLBA1->value(), 77);
    EXPECT_EQ(f.speLBA2->value(), 6000000000LL - 1);
    EXPECT_EQ(bench.messages.shown.size(), 1u);

    f.bbHelp->click();
    EXPECT_EQ(bench.help.contexts, std::vector<int>{200});
}

TEST(StressWindow, DefaultsWithoutAConfigurationFile)
{
    Bench bench(Drive28());
    TfrmSeekTest f;
    EXPECT_EQ(f.AddressingChoice(), Addressing::Random);
    EXPECT_EQ(f.CommandChoice(), Command::Verify);
    EXPECT_TRUE(f.StopOnError());
    EXPECT_EQ(f.speLBA2->value(), int64_t(kSectors) - 1);
}

TEST(StressWindow, AFailedIdentifyLeavesTheWindowUnusable)
{
    Bench bench(Drive28());
    bench.Drive()->SetAbsent(true);
    TfrmSeekTest f;
    EXPECT_FALSE(f.Identified());
    EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Ошибка идентификации устройства!")});
    EXPECT_EQ(bench.messages.shown[0].kind, MsgKind::Error);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест"));
    EXPECT_FALSE(f.bbStart->isEnabled());
    EXPECT_FALSE(f.rgbKind->isEnabled());
    EXPECT_FALSE(f.gbDiapazon->isEnabled());
    f.bbStartClick();
    EXPECT_FALSE(f.Running());
}

TEST(StressWindow, RangeAddressingSeeksFromTheEndAndVerifiesFromTheStart)
{
    StressBench bench(Drive28(), 0, 0);
    TfrmSeekTest f;
    EXPECT_EQ(f.speLBA2->value(), int64_t(kSectors) - 1);  // seek: the 28-bit last LBA
    EXPECT_EQ(Lbas(RunCommands(f, bench.Drive(), 100, 200, 5)), (std::vector<int64_t>{200, 100, 200, 100, 200}));
    EXPECT_EQ(f.Stats().commands, 5);
    EXPECT_EQ(f.Stats().errors, 0);
    EXPECT_TRUE(Idle(f));
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STRESS 28 - Отменено"));

    f.rgbCommand->Button(1)->click();
    EXPECT_EQ(Lbas(RunCommands(f, bench.Drive(), 100, 200, 5)), (std::vector<int64_t>{100, 200, 100, 200, 100}));
    // Start = end: every command at that LBA, seek and verify, both addressings.
    for (int kind : {0, 1})
        for (int command : {0, 1}) {
            f.rgbKind->Button(kind)->click();
            f.rgbCommand->Button(command)->click();
            EXPECT_EQ(Lbas(RunCommands(f, bench.Drive(), 4321, 4321, 6)), std::vector<int64_t>(6, 4321))
                << kind << command;
        }
}

TEST(StressWindow, RandomAddressingNeverChoosesTheEndLba)
{
    // The end LBA fails: any command aimed at it would count an error.
    sim::DriveSpec d = Drive28();
    d.failing = {FailAt(1003)};
    StressBench bench(d, 1, 1);
    TfrmSeekTest f;
    const std::vector<Issued> issued = RunCommands(f, bench.Drive(), 1000, 1003, 600);
    std::set<int64_t> seen;
    for (int64_t lba : Lbas(issued))
        seen.insert(lba);
    EXPECT_EQ(seen, (std::set<int64_t>{1000, 1001, 1002}));
    EXPECT_EQ(f.Stats().errors, 0);
    EXPECT_TRUE(f.mError->text().isEmpty());
    EXPECT_EQ(issued.size(), 600u);
}

TEST(StressWindow, AFailureWithStopOnErrorEndsTheRunWithBothSuffixes)
{
    StressBench bench(Drive28("STOPPER"), 0, 0, true);  // seek, range, stop on error
    TfrmSeekTest f;
    const int beeps = BeepCount();
    const std::vector<Issued> issued = RunCommands(f, bench.Drive(), 10, 20, 100, [&](int i) {
        if (i == 1)  // the third seek fails
            bench.Drive()->AddFault({sim::Fault::Kind::Error, 0x70, 0x10, 1});
    });
    ASSERT_EQ(issued.size(), 3u);  // two seeks, then the failed one ends the run
    EXPECT_LT(issued[2].result, 0);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STOPPER - Ошибка - Отменено"));
    EXPECT_EQ(f.Stats().errors, 1);
    EXPECT_EQ(f.Stats().commands, 3);
    EXPECT_EQ(f.mError->text(), QStringLiteral("1"));
    EXPECT_TRUE(f.ErrorShownRed());
    EXPECT_EQ(f.lError->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(BeepCount(), beeps + 1);
    EXPECT_TRUE(Idle(f));
    EXPECT_TRUE(bench.messages.Texts().isEmpty());

    // The soft reset after it left the drive working: the next run goes on.
    const std::vector<Issued> next = RunCommands(f, bench.Drive(), 10, 20, 4);
    ASSERT_EQ(next.size(), 4u);
    for (const Issued& i : next)
        EXPECT_GE(i.result, 0);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STOPPER - Отменено"));
}

TEST(StressWindow, FailuresLeaveTheTimesAloneButCountInTheAverage)
{
    // Verify, range addressing, going on after errors: the start LBA fails,
    // the end LBA is slow enough to measure.
    sim::DriveSpec d = Drive28();
    d.failing = {FailAt(500)};
    d.timeScale = 1;
    d.zones = {{1.0, 0}};
    d.trackToTrackMs = 0;
    d.fullStrokeMs = 0;
    d.rpm = 1e9;
    d.slow = {{900, 1, 2.0}};
    StressBench bench(d, 1, 0, false);
    TfrmSeekTest f;
    QStringList before = {QString(), QString(), QString()};
    const int beeps = BeepCount();
    const std::vector<Issued> issued = RunCommands(f, bench.Drive(), 500, 900, 9, [&](int i) {
        const QStringList now = {f.mMinTime->text(), f.mMaxTime->text(), f.mAvgTime->text()};
        if (i % 2 == 0) {  // a failure at 500: nothing of the times changes
            EXPECT_EQ(now, before) << i;
        }
        before = now;
    });
    ASSERT_EQ(issued.size(), 9u);
    uint32_t avg = 0, lo = TimeStats::kNoMinimum, hi = 0;
    int64_t count = 0;
    for (const Issued& i : issued) {
        if (i.lba == 500) {
            EXPECT_LT(i.result, 0);
        } else {
            ASSERT_GE(i.result, 2000);
            avg = uint32_t((uint64_t(avg) * uint64_t(count) + uint64_t(i.result)) / uint64_t(count + 1));
            lo = std::min(lo, uint32_t(i.result));
            hi = std::max(hi, uint32_t(i.result));
        }
        ++count;
    }
    EXPECT_EQ(f.Stats().errors, 5);
    EXPECT_EQ(f.Stats().commands, 9);
    EXPECT_EQ(f.Stats().average, avg);
    EXPECT_LT(avg, lo);  // the failures pulled it below every real time
    EXPECT_EQ(f.mAvgTime->text(), CommandTimeText(avg));
    EXPECT_EQ(f.mMinTime->text(), CommandTimeText(lo));
    EXPECT_EQ(f.mMaxTime->text(), CommandTimeText(hi));
    EXPECT_EQ(f.mError->text(), QStringLiteral("5"));
    EXPECT_EQ(BeepCount(), beeps + 5);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STRESS 28 - Отменено"));

    // A second Start: the counters start again, the old texts stay until a
    // command changes them, the error display stays red.
    const QStringList old = {f.mMinTime->text(), f.mAvgTime->text(), f.mMaxTime->text(), f.mError->text()};
    bench.Drive()->AddFault({sim::Fault::Kind::Error, 0x40, 0x40, 1});  // the first command at 900 fails
    const std::vector<Issued> second = RunCommands(f, bench.Drive(), 900, 900, 3, [&](int i) {
        if (i == 0) {
            EXPECT_EQ(f.Stats().commands, 1);
            EXPECT_EQ(f.Stats().errors, 1);
            EXPECT_EQ((QStringList{f.mMinTime->text(), f.mAvgTime->text(), f.mMaxTime->text()}), old.mid(0, 3));
            EXPECT_EQ(f.mError->text(), QStringLiteral("1"));
        }
    });
    ASSERT_EQ(second.size(), 3u);
    EXPECT_TRUE(f.ErrorShownRed());
    EXPECT_EQ(f.Stats().commands, 3);
    EXPECT_EQ(f.mMinTime->text(), CommandTimeText(f.Stats().minimum));
}

TEST(StressWindow, TemperatureEveryNinthSecondAndTheChart)
{
    StressBench bench(Drive28(), 1, 0);
    bench.Drive()->SetFixedTemperature(40);
    TfrmSeekTest f;
    f.show();
    const int wide = f.width();
    int narrow = 0;
    RunCommands(f, bench.Drive(), 0, 99, 60, [&](int i) {
        if (i == 0) {
            // Start read it twice: two points before the first command.
            EXPECT_EQ(f.mTemperature->text(), QStringLiteral("40°C"));
            ASSERT_EQ(f.Series1->count(), 2);
            EXPECT_EQ(f.Series1->at(1), QPointF(1, 40));
            EXPECT_EQ(f.mTime->text(), QStringLiteral("00:00:00"));
            EXPECT_TRUE(f.Timer->isActive());
            for (int s = 0; s < 8; ++s)
                f.TimerTimer();
            EXPECT_EQ(f.Series1->count(), 2);
            bench.Drive()->SetFixedTemperature(47);
            f.TimerTimer();  // the ninth second
            EXPECT_EQ(f.mTemperature->text(), QStringLiteral("47°C"));
            EXPECT_EQ(f.Series1->count(), 3);
            EXPECT_EQ(f.Series1->at(2), QPointF(2, 47));
            EXPECT_EQ(f.mTime->text(), QStringLiteral("00:00:09"));
            // The maxima follow the points (rounded up to a nice scale).
            EXPECT_GE(f.AxisX->max(), 2);
            EXPECT_LT(f.AxisX->max(), 5);
            EXPECT_GE(f.AxisY->max(), 47);
            EXPECT_LT(f.AxisY->max(), 60);
            EXPECT_EQ(f.AxisX->min(), 0);
            EXPECT_EQ(f.AxisY->min(), 0);

            f.chbCheckTemp->click();  // off during the run
            EXPECT_TRUE(f.GrafView->isHidden());
            f.TimerTimer();
            EXPECT_EQ(f.mTemperature->text(), QStringLiteral("Disabled"));
        }
        if (i == 1) {
            narrow = f.width();
            f.chbCheckTemp->click();  // on again: a new chart from sample 0
            EXPECT_FALSE(f.GrafView->isHidden());
            EXPECT_EQ(f.Series1->count(), 0);
            EXPECT_EQ(f.ChartSampleNumber(), 0);
            for (int s = 0; s < 9; ++s)
                f.TimerTimer();
            ASSERT_EQ(f.Series1->count(), 1);
            EXPECT_EQ(f.Series1->at(0), QPointF(0, 47));
        }
    });
    EXPECT_LT(narrow, wide - 200);
    EXPECT_EQ(f.width(), wide);
    EXPECT_EQ(f.ElapsedSeconds(), 19);
    EXPECT_EQ(f.mTime->text(), QStringLiteral("00:00:19"));
}

TEST(StressWindow, SmartSwitchedOnForTheWindowAndOffAfterIt)
{
    sim::DriveSpec d = Drive28();
    d.smart = sim::SmartMode::Off;
    StressBench bench(d);
    bench.Drive()->SetFixedTemperature(33);
    {
        TfrmSeekTest f;
        EXPECT_TRUE(f.SmartUsable());
        EXPECT_TRUE(f.SmartSwitchedOnHere());
        EXPECT_TRUE(bench.Drive()->State().smartEnabled);
        RunCommands(f, bench.Drive(), 0, 10, 1);
        EXPECT_EQ(f.mTemperature->text(), QStringLiteral("33°C"));

        // A failed attribute read: "Error", no point, and the drive reset.
        bench.Drive()->AddFault({sim::Fault::Kind::Error, 0xB0, 0x04, 2});
        RunCommands(f, bench.Drive(), 0, 10, 2, [&](int i) {
            if (i == 0) {
                EXPECT_EQ(f.mTemperature->text(), QStringLiteral("Error"));
                EXPECT_EQ(f.Series1->count(), 0);
            }
        });
        EXPECT_EQ(f.Stats().errors, 0);
    }
    EXPECT_FALSE(bench.Drive()->State().smartEnabled);
    EXPECT_TRUE(bench.messages.Texts().isEmpty());

    // Switching it off again refused: said.
    {
        TfrmSeekTest f;
        bench.Drive()->AddFault({sim::Fault::Kind::Error, 0xB0, 0x04, 1});
    }
    EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Ошибка отключения SMART!")});
}

TEST(StressWindow, DrivesWithoutSmartOrWithoutTemperature)
{
    sim::DriveSpec d = Drive28();
    d.smart = sim::SmartMode::Unsupported;
    {
        StressBench bench(d);
        TfrmSeekTest f;
        EXPECT_FALSE(f.SmartUsable());
        RunCommands(f, bench.Drive(), 0, 10, 2, [&](int i) {
            if (i == 0)
                for (int s = 0; s < 9; ++s)
                    f.TimerTimer();
        });
        EXPECT_EQ(f.mTemperature->text(), QStringLiteral("Not Support"));
        EXPECT_EQ(f.Series1->count(), 0);
        EXPECT_EQ(f.Stats().errors, 0);
    }
    d.smart = sim::SmartMode::On;
    d.attributes = {{1, 0x000B, 100, 100, 50, 0}, {9, 0x0032, 99, 99, 0, 1234}};
    StressBench bench(d);
    TfrmSeekTest f;
    RunCommands(f, bench.Drive(), 0, 10, 1);
    EXPECT_TRUE(f.mTemperature->text().isEmpty());
    EXPECT_EQ(f.Series1->count(), 0);
}

TEST(StressWindow, AStartAboveTheEndIsRefusedAndNothingRuns)
{
    StressBench bench(Drive28(), 1, 0);
    TfrmSeekTest f;
    const QString caption = f.windowTitle();
    const uint64_t commands = bench.Drive()->CommandCount();
    bool ran = false;
    QObject::connect(&f, &TfrmSeekTest::CommandDone, &f, [&] { ran = true; });
    f.speLBA1->setValue(500);
    f.speLBA2->setValue(499);
    f.bbStart->click();
    EXPECT_FALSE(ran);
    EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Конец диапазона не может быть меньше начала!")});
    EXPECT_EQ(bench.messages.shown[0].kind, MsgKind::Error);
    EXPECT_EQ(bench.Drive()->CommandCount(), commands);
    EXPECT_EQ(f.windowTitle(), caption);
    EXPECT_TRUE(Idle(f));
    EXPECT_TRUE(f.mTemperature->text().isEmpty());
}

TEST(StressWindow, EscStopsAtOnceAndClosingWaitsForTheEnd)
{
    StressBench bench(Drive28(), 1, 1);
    TfrmSeekTest f;
    f.show();
    const std::vector<Issued> issued = RunCommands(f, bench.Drive(), 0, 1000, 1000, [&](int i) {
        if (i == 0) {
            EXPECT_TRUE(f.bbStart->isHidden());
            EXPECT_FALSE(f.bbStop->isHidden());
            EXPECT_FALSE(f.bbClose->isEnabled());
            EXPECT_FALSE(f.gbDiapazon->isEnabled() || f.rgbKind->isEnabled() || f.rgbCommand->isEnabled());
            EXPECT_FALSE(f.close());  // refused while running
            EXPECT_TRUE(f.isVisible());
        }
        if (i == 3)  // Esc with the check box focused
            QCoreApplication::postEvent(f.chbCheckTemp, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    EXPECT_EQ(issued.size(), 4u);
    EXPECT_TRUE(Idle(f));
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STRESS 28 - Отменено"));
    EXPECT_TRUE(f.isVisible());  // Esc never closes the window
    EXPECT_TRUE(f.close());
}

TEST(StressWindow, TheLoopSurvivesMinimiseAndItsWindowBeingDestroyed)
{
    StressBench bench(Drive28(), 1, 1);
    {
        TfrmSeekTest f;
        f.show();
        RunCommands(f, bench.Drive(), 0, 1000, 20, [&](int i) {
            if (i == 2) {
                f.setWindowState(Qt::WindowMinimized);
                EXPECT_EQ(bench.shell.minimized, &f);
                EXPECT_TRUE(f.isHidden());
            }
            if (i == 10) {
                EXPECT_TRUE(f.Running());  // commands went on meanwhile
                ShowMinimizedForm(&f);
            }
        });
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(f.Stats().commands, 20);
    }

    // The owner goes away in the middle of a run (the program ends).
    auto* owner = new QWidget;
    QPointer<TfrmSeekTest> f = new TfrmSeekTest(owner);
    int after = 0;
    QObject::connect(f, &TfrmSeekTest::CommandDone, owner, [&](qint64, int) {
        if (++after == 3)
            QTimer::singleShot(0, [owner] { delete owner; });
    });
    f->bbStartClick();  // returns once the loop has noticed
    EXPECT_TRUE(f.isNull());
    EXPECT_GE(after, 3);
}

TEST(StressWindow, TheMainWindowClosingMidRunEndsTheRunAndTheProgram)
{
    StressBench bench(Drive28(), 1, 1);
    QWidget main;
    main.show();
    TfrmSeekTest f(&main);
    f.show();
    int commands = 0;
    QTimer::singleShot(0, &f, [&] {
        commands = int(RunCommands(f, bench.Drive(), 0, 1000, 1000000, [&](int i) {
                           if (i == 10)
                               QTimer::singleShot(0, &main, &QWidget::close);
                       }).size());
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_GE(commands, 11);
    EXPECT_LT(commands, 1000000);
    EXPECT_FALSE(f.Running());
    EXPECT_FALSE(f.Timer->isActive());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Стресс-тест: STRESS 28 - Отменено"));
}
