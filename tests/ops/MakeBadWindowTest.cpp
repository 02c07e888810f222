// The soft-bad creation window and its dialog against simulated drives.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <set>

#include "OpsBench.h"
#include "common/Int64SpinBox.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "ops/MakeBad.h"
#include "ops/MakeBadParam.h"
#include "ops/OpsRules.h"
#include "select/RadioGroup.h"

using namespace opstest;

namespace {

constexpr int kRandom = 0;
constexpr int kContinuous = 1;

// The window with its commands recorded; `during(i)` runs just before the
// i-th command, as events of that moment would.
struct SoftBadRun {
    TfrmMakeBAd f;
    std::vector<int64_t> targets;
    std::function<void(int)> during;

    explicit SoftBadRun(QWidget* owner) : f(owner)
    {
        f.MakeBadCommand = [this](int64_t lba) {
            if (during)
                during(int(targets.size()));
            targets.push_back(lba);
            return MakeSoftBad(lba);
        };
    }
    void Start(int64_t start, int64_t end, int kind)
    {
        targets.clear();
        f.ParamDialog = [=](TfrmMakeBadParam& d) {
            d.speStartLBA->setValue(start);
            d.speStopLBA->setValue(end);
            d.rgbKind->SetItemIndex(kind);
            d.bbOk->click();
            return d.result() == QDialog::Accepted;
        };
        f.bbStart->click();
    }
    // Stop asked for during the n-th command: the pass ends after it.
    void StopAt(int n)
    {
        during = [this, n](int i) {
            if (i == n)
                f.RequestStop();
        };
    }
};

}  // namespace

TEST(SoftBadWindow, ContinuousPassMakesEverySectorOfTheRangeInOrder)
{
    Bench b(testsim::InstantDrive("SIM LBA28", 100000, false));
    SoftBadRun r(&b.shell.window);
    r.during = [&](int i) {
        if (i == 0) {
            r.f.TimerTimer();
            EXPECT_EQ(r.f.ElapsedBox->text(), " - - - - - - - ");
            EXPECT_FALSE(r.f.bbClose->isEnabled());
        }
    };
    const int beeps = BeepCount();
    r.Start(100, 105, kContinuous);
    EXPECT_EQ(r.targets, (std::vector<int64_t>{100, 101, 102, 103, 104}));
    EXPECT_EQ(r.f.windowTitle(), "Создание Soft-BadSIM LBA28 - Выполнено");  // no separator
    EXPECT_EQ(r.f.eCurLBA->text(), "105");
    EXPECT_FALSE(r.f.Timer->isActive());
    EXPECT_EQ(BeepCount(), beeps);
    EXPECT_EQ(b.Drive()->State().softBad, (std::set<uint64_t>{100, 101, 102, 103, 104}));

    r.Start(7, 7, kContinuous);
    EXPECT_TRUE(r.targets.empty());
    EXPECT_EQ(r.f.windowTitle(), "Создание Soft-BadSIM LBA28 - Выполнено");

    r.StopAt(2);
    r.Start(200, 300, kContinuous);
    EXPECT_EQ(r.targets, (std::vector<int64_t>{200, 201, 202}));
    EXPECT_EQ(r.f.windowTitle(), "Создание Soft-BadSIM LBA28 - Отменено");
}

TEST(SoftBadWindow, RandomPassCountsOnlySuccessesUntilStopped)
{
    Bench b(testsim::InstantDrive("SIM LBA28", 100000, false));
    b.Drive()->AddFault({sim::Fault::Kind::Error, ata::kCmdWriteLong, ata::kErAbrt, 2});  // the first two
    SoftBadRun r(&b.shell.window);
    const uint64_t resets = b.Drive()->ResetCount();
    const int beeps = BeepCount();
    r.StopAt(5);
    r.Start(50, 50, kRandom);  // start = end: always the start
    EXPECT_EQ(r.targets, std::vector<int64_t>(6, 50));
    EXPECT_EQ(r.f.ElapsedBox->text(), "4");  // repeated sectors count again, failures not
    EXPECT_EQ(r.f.Label15->text(), "Создано Soft-Bad");
    EXPECT_TRUE(r.f.CounterLBA->isHidden());
    EXPECT_EQ(r.f.windowTitle(), "Создание Soft-BadSIM LBA28 - Выполнено");
    EXPECT_EQ(b.Drive()->ResetCount(), resets + 2);
    EXPECT_EQ(BeepCount(), beeps + 2);
    EXPECT_TRUE(b.messages.shown.empty());

    r.StopAt(299);
    r.Start(10, 20, kRandom);
    const std::set<int64_t> seen(r.targets.begin(), r.targets.end());
    EXPECT_EQ(*seen.begin(), 10);
    EXPECT_EQ(*seen.rbegin(), 19);  // the end never

    // A continuous pass afterwards shows the gauge and its label again.
    r.during = {};
    r.Start(30, 31, kContinuous);
    EXPECT_FALSE(r.f.CounterLBA->isHidden());
    EXPECT_EQ(r.f.Label15->text(), "Оставшаеся время");
}

TEST(SoftBadWindow, OnlyTwentyEightBitDrivesReachTheDialog)
{
    Bench b(testsim::InstantDrive("SIM LBA48", 100000, true));
    SoftBadRun r(&b.shell.window);
    bool asked = false;
    r.f.ParamDialog = [&](TfrmMakeBadParam&) { return asked = true; };
    r.f.bbStart->click();
    EXPECT_FALSE(asked);
    ASSERT_EQ(b.messages.shown.size(), 1u);
    EXPECT_EQ(b.messages.shown[0].kind, MsgKind::Information);
    EXPECT_EQ(b.messages.shown[0].text, ops::Lba48Refusal());

    Bench b28(testsim::InstantDrive("SIM LBA28", 100000, false));
    r.f.ParamDialog = [&](TfrmMakeBadParam& d) {
        EXPECT_EQ(d.speStartLBA->maximum(), 99999);
        EXPECT_EQ(d.EndLBA(), 99999);
        EXPECT_TRUE(d.RandomMode());
        d.speStartLBA->setValue(10);
        d.speStopLBA->setValue(9);
        d.bbOk->click();  // refused: the dialog stays open
        d.bbHelp->click();
        d.bbCancel->click();
        return d.result() == QDialog::Accepted;
    };
    r.f.bbStart->click();
    EXPECT_EQ(b28.messages.Texts(), QStringList{"Конец диапазона не может быть меньше начала!"});
    EXPECT_EQ(b28.help.contexts, std::vector<int>{410});
    EXPECT_TRUE(r.targets.empty());
}

TEST(SoftBadWindow, ARandomPassEndsWhenTheProgramEnds)
{
    Bench b(testsim::InstantDrive("SIM LBA28", 100000, false));
    QWidget main;
    main.show();
    SoftBadRun r(&main);
    r.f.show();
    r.during = [&](int i) {
        if (i == 3)
            QTimer::singleShot(0, &r.f, [&] { EXPECT_FALSE(r.f.close()); });  // refused while running
        if (i == 10)
            QTimer::singleShot(0, &main, &QWidget::close);  // the last window: the program ends
    };
    QTimer::singleShot(0, &r.f, [&] { r.Start(0, 1000, kRandom); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_GE(r.targets.size(), 11u);
    EXPECT_LT(r.targets.size(), 30u);
    EXPECT_FALSE(r.f.Running());
}
