// The drive erase window and its dialog against simulated drives.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "OpsBench.h"
#include "common/Int64SpinBox.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "hw/InUseGuard.h"
#include "ops/Erase.h"
#include "ops/EraseParam.h"
#include "ops/OpsRules.h"
#include "select/RadioGroup.h"

using namespace opstest;

namespace {

// The erase window with its commands recorded; `during(i)` runs just
// before the i-th command, as events of that moment would.
struct EraseRun {
    TfrmErase f;
    std::vector<Call> calls;
    std::vector<uint8_t> flags;  // lba48, random, filler of the last command
    std::function<void(int)> during;

    explicit EraseRun(QWidget* owner) : f(owner)
    {
        f.EraseCommand = [this](int64_t lba, int64_t count, uint8_t lba48, uint8_t random, uint8_t filler) {
            if (during)
                during(int(calls.size()));
            calls.push_back({lba, count});
            flags = {lba48, random, filler};
            return EraseSector(lba, count, lba48, random, filler);
        };
    }
    // "Config" answered with whatever `more` sets and [start, end).
    void Start(int64_t start, int64_t end, const std::function<void(TfrmEraseParam&)>& more = {})
    {
        f.ParamDialog = [=](TfrmEraseParam& d) {
            if (more)
                more(d);
            d.speLBA1->setValue(start);
            d.speLBA2->setValue(end);
            d.bbOk->click();
            return d.result() == QDialog::Accepted;
        };
        f.bbStart->click();
    }
};

void FixedFiller(TfrmEraseParam& d, const QString& hex)
{
    d.rgbRandomPatern->Button(1)->click();
    d.ePatern->setText(hex);
}

bool Idle(const TfrmErase& f)
{
    return !f.Running() && !f.bbStart->isHidden() && f.bbStop->isHidden() && f.bbClose->isEnabled() &&
           !f.Timer->isActive();
}

bool Filled(sim::Drive* d, uint64_t lba, uint8_t v)
{
    const auto s = d->ReadSector(lba);
    return std::all_of(s.begin(), s.end(), [v](uint8_t b) { return b == v; });
}

}  // namespace

TEST(EraseWindow, WritesTheFillerOverTheRangeAndNothingElse)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 5000));
    EraseRun r(&b.shell.window);
    const int beeps = BeepCount();
    r.during = [&](int i) {
        if (i == 0) {
            EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE");
            EXPECT_FALSE(r.f.bbClose->isEnabled());
            r.f.TimerTimer();
            EXPECT_EQ(r.f.ElapsedBox->text(), " - - - - - - - ");  // nothing written yet
        } else if (i == 1) {
            r.f.TimerTimer();
            EXPECT_TRUE(QRegularExpression("^ \\d\\d:\\d\\d:\\d\\d$").match(r.f.ElapsedBox->text()).hasMatch());
        }
    };
    r.Start(1000, 1600, [](TfrmEraseParam& d) {
        // The whole drive offered, 256-sector blocks and a random filler.
        EXPECT_EQ(d.speLBA2->maximum(), 4999);
        EXPECT_EQ(d.EndLBA(), 4999);
        EXPECT_FALSE(d.ePatern->isEnabled());
        FixedFiller(d, "a5");
    });
    EXPECT_EQ(r.calls, (std::vector<Call>{{1000, 256}, {1256, 256}, {1512, 88}}));
    EXPECT_EQ(r.flags, (std::vector<uint8_t>{1, 0, 0xA5}));
    EXPECT_TRUE(Idle(r.f));
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Выполнено");
    EXPECT_EQ(BeepCount(), beeps + 1);
    EXPECT_EQ(r.f.CounterLBA->value(), r.f.CounterLBA->maximum());
    EXPECT_TRUE(b.messages.shown.empty());
    for (uint64_t lba : {1000u, 1255u, 1256u, 1599u})
        EXPECT_TRUE(Filled(b.Drive(), lba, 0xA5)) << lba;
    for (uint64_t lba : {0u, 999u, 1600u, 4999u})
        EXPECT_TRUE(b.Drive()->SectorUntouched(lba)) << lba;
    r.f.bbHelp->click();
    EXPECT_EQ(b.help.contexts, std::vector<int>{300});
}

TEST(EraseWindow, OneSectorCommandsRandomFillerEmptyRangeAndAFailedBlock)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 5000, false));
    EraseRun r(&b.shell.window);
    r.Start(10, 13, [](TfrmEraseParam& d) { d.rgbCountSector->Button(1)->click(); });
    EXPECT_EQ(r.calls, (std::vector<Call>{{10, 1}, {11, 1}, {12, 1}}));
    // 28-bit, random filler, and the field's "FF" passed all the same.
    EXPECT_EQ(r.flags, (std::vector<uint8_t>{0, 1, 0xFF}));

    r.calls.clear();
    int beeps = BeepCount();
    r.Start(70, 70);
    EXPECT_TRUE(r.calls.empty());
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Выполнено");
    EXPECT_EQ(BeepCount(), beeps + 1);

    // A refused block: reset, beep, counted as done, no message.
    b.Drive()->AddFault({sim::Fault::Kind::Error, ata::kCmdWriteSectors, ata::kErAbrt, 1});
    const uint64_t resets = b.Drive()->ResetCount();
    r.calls.clear();
    beeps = BeepCount();
    r.Start(0, 600, [](TfrmEraseParam& d) { FixedFiller(d, "00"); });
    EXPECT_EQ(r.calls, (std::vector<Call>{{0, 256}, {256, 256}, {512, 88}}));
    EXPECT_EQ(b.Drive()->ResetCount(), resets + 1);
    EXPECT_EQ(BeepCount(), beeps + 2);  // the failure and the end
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Выполнено");
    EXPECT_TRUE(b.Drive()->SectorUntouched(0));
    EXPECT_TRUE(Filled(b.Drive(), 256, 0x00));
    EXPECT_TRUE(b.messages.shown.empty());
}

TEST(EraseWindow, StopAndTheCloseBoxThatWaitsForTheEnd)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 5000));
    EraseRun r(&b.shell.window);
    r.f.show();
    QSignalSpy finished(&r.f, &QDialog::finished);
    const int beeps = BeepCount();
    r.during = [&](int i) {
        if (i == 1)
            r.f.bbStop->click();
    };
    r.Start(0, 4000);
    EXPECT_EQ(r.calls.size(), 2u);  // the block in progress is finished
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Отменено");
    EXPECT_EQ(BeepCount(), beeps);
    EXPECT_TRUE(Idle(r.f));
    EXPECT_TRUE(b.Drive()->SectorUntouched(512));

    r.calls.clear();
    r.during = [&](int i) {
        if (i == 1)
            QTimer::singleShot(0, &r.f, [&] { EXPECT_FALSE(r.f.close()); });
        if (i == 3) {
            EXPECT_TRUE(r.f.isVisible() && finished.isEmpty());  // the pass goes on
        }
    };
    r.Start(0, 1024);
    EXPECT_EQ(r.calls.size(), 4u);
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Выполнено");
    EXPECT_EQ(finished.count(), 1);  // ...and then the window closes
}

TEST(EraseWindow, RangesBeyond32BitsAndAFailedIdentify)
{
    const int64_t sectors = 5860533168;
    const int64_t at = 4294967296 + 7;
    Bench b(testsim::InstantDrive("SIM HUGE", sectors));
    EraseRun r(&b.shell.window);
    r.Start(at, at + 300, [&](TfrmEraseParam& d) { EXPECT_EQ(d.speLBA2->maximum(), sectors - 1); });
    EXPECT_EQ(r.calls, (std::vector<Call>{{at, 256}, {at + 256, 44}}));
    EXPECT_FALSE(b.Drive()->SectorUntouched(uint64_t(at + 299)));
    EXPECT_TRUE(b.Drive()->SectorUntouched(uint64_t(at + 300)));

    b.Drive()->SetAbsent(true);
    bool asked = false;
    r.f.ParamDialog = [&](TfrmEraseParam&) { return asked = true; };
    r.f.bbStart->click();
    EXPECT_FALSE(asked);
    EXPECT_EQ(b.messages.Texts(), QStringList{"Ошибка идентификации устройства!"});
}

TEST(EraseWindow, AnOwnerDestroyedMidPassEndsItUntouched)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 100000));
    auto* owner = new QWidget;
    QPointer<TfrmErase> gone = new TfrmErase(owner);
    int calls = 0;
    gone->EraseCommand = [&](int64_t lba, int64_t count, uint8_t lba48, uint8_t random, uint8_t filler) {
        if (++calls == 3)
            QTimer::singleShot(0, owner, [owner] { delete owner; });
        return EraseSector(lba, count, lba48, random, filler);
    };
    gone->ParamDialog = [](TfrmEraseParam& d) { return d.bbOk->click(), d.result() == QDialog::Accepted; };
    gone->bbStart->click();
    EXPECT_TRUE(gone.isNull());
    EXPECT_LT(calls, 10);
}

TEST(EraseParam, RangeFillerFieldAndRandomFiller)
{
    MessageRecorder messages;
    TfrmEraseParam d;
    d.Setup(1000);
    d.speLBA1->setValue(500);
    d.speLBA2->setValue(499);
    d.bbOk->click();
    EXPECT_EQ(messages.Texts(), QStringList{"Конец диапазона не может быть меньше начала!"});
    d.speLBA2->setValue(500);  // end = start: an empty range is fine
    d.ePatern->clear();        // an empty filler is refused whichever filler is chosen
    messages.Clear();
    d.bbOk->click();
    EXPECT_EQ(messages.Texts(), QStringList{QString::fromUtf8(ops::kFillerMissing)});
    EXPECT_EQ(d.result(), 0);

    d.rgbRandomPatern->Button(1)->click();
    EXPECT_TRUE(d.ePatern->isEnabled());
    const int beeps = BeepCount();
    QTest::keyClicks(d.ePatern, "g-c3");  // other keys are swallowed with a beep
    EXPECT_EQ(BeepCount(), beeps + 2);
    EXPECT_EQ(d.ePatern->text(), "C3");  // shown in upper case
    d.ePatern->clear();
    d.ePatern->insert("zz");  // pasted text is held to the digits too
    EXPECT_EQ(d.ePatern->text(), "");
    d.N1->trigger();  // "Случайно"
    EXPECT_LT(ops::ParseFiller(d.ePatern->text()).value_or(0xFF), 0xFF);
    d.bbOk->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    d.bbHelp->click();
}

// A drive the system uses (a mounted pass-through disk) refuses every write:
// the pass ends at the first refusal instead of beeping through the range,
// and does not call itself done.
TEST(EraseWindow, ADriveInUseEndsThePassAtTheFirstRefusal)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 5000, false));
    struct Busy : ata::WriteGuard {
        bool Claim(std::string* why) override
        {
            *why = "Диск используется системой";
            return false;
        }
    };
    ata::SetWriteGuardFactory([](const ata::Address&) { return std::make_shared<Busy>(); });
    ata::SetRefusalReporter([](const std::string&) {});
    InitDLL(0x1F0, 0x3F6, 0, 1, 0, nullptr);  // a connection with its guard
    EraseRun r(&b.shell.window);
    const int beeps = BeepCount();
    r.Start(0, 600, [](TfrmEraseParam& d) { FixedFiller(d, "00"); });
    EXPECT_EQ(r.calls, (std::vector<Call>{{0, 256}}));
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Ошибка");
    EXPECT_EQ(BeepCount(), beeps);
    EXPECT_TRUE(b.Drive()->SectorUntouched(0));
    ata::SetWriteGuardFactory(nullptr);
    ata::SetRefusalReporter(nullptr);
}
