// The drive erase window and its dialog against simulated drives.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QLineEdit>
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
#include "ops/Erase.h"
#include "ops/EraseParam.h"
#include "ops/OpsRules.h"
#include "select/RadioGroup.h"

using namespace opstest;

namespace {

// The erase window with its commands recorded; `during(i)` runs just
// before the i-th command (0-based), as events of that moment would.
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
    // "Config" answered with [start, end) and whatever `more` sets.
    void Start(int64_t start, int64_t end, const std::function<void(TfrmEraseParam&)>& more = {})
    {
        f.ParamDialog = [=](TfrmEraseParam& d) {
            d.speLBA1->setValue(start);
            d.speLBA2->setValue(end);
            if (more)
                more(d);
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

}  // namespace

TEST(EraseWindow, OpensIdleAndOffersTheWholeDrive)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 5000));
    TfrmErase f(&b.shell.window);
    EXPECT_EQ(f.windowTitle(), "Стирание накопителя");
    EXPECT_TRUE(Idle(f));
    EXPECT_EQ(f.bbStart->text(), "Config");
    EXPECT_EQ(f.bbStop->text(), "Stop");
    EXPECT_EQ(f.bbClose->text(), "Close");
    EXPECT_EQ(f.Label1->text(), "Текущий LBA");
    EXPECT_EQ(f.Label15->text(), "Оставшаеся время");
    EXPECT_EQ(f.findChild<QLineEdit*>("eElapsedTime"), f.ElapsedBox);
    EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);

    bool asked = false;
    f.ParamDialog = [&](TfrmEraseParam& d) {
        asked = true;
        EXPECT_EQ(d.windowTitle(), "Стирание накопителя");
        EXPECT_EQ(d.speLBA1->maximum(), 4999);
        EXPECT_EQ(d.speLBA2->maximum(), 4999);
        EXPECT_EQ(d.speLBA2->value(), 4999);
        EXPECT_EQ(d.speLBA1->value(), 0);
        EXPECT_EQ(d.SectorsPerCommand(), 256);
        EXPECT_TRUE(d.RandomFiller());
        EXPECT_EQ(d.ePatern->text(), "FF");
        EXPECT_FALSE(d.ePatern->isEnabled());
        EXPECT_EQ(d.N1->text(), "Случайно");
        EXPECT_EQ(d.rgbCountSector->title(), " Блоками по ");
        EXPECT_EQ(d.rgbRandomPatern->Button(1)->text(), "Заполнитель ");
        d.bbHelp->click();
        d.bbCancel->click();
        return false;
    };
    f.bbStart->click();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(Idle(f));
    EXPECT_EQ(f.windowTitle(), "Стирание накопителя");
    f.bbHelp->click();
    EXPECT_EQ(b.help.contexts, (std::vector<int>{310, 300}));
}

TEST(EraseWindow, WritesTheFillerOverTheRangeAndNothingElse)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 5000));
    EraseRun r(&b.shell.window);
    QSignalSpy ended(&r.f, &LongRunForm::RunEnded);
    const int beeps = BeepCount();
    r.during = [&](int i) {
        if (i == 0) {
            EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE");
            EXPECT_TRUE(r.f.bbStart->isHidden());
            EXPECT_FALSE(r.f.bbClose->isEnabled());
            EXPECT_TRUE(r.f.Timer->isActive());
            r.f.TimerTimer();
            EXPECT_EQ(r.f.ElapsedBox->text(), " - - - - - - - ");  // nothing written yet
        }
        if (i == 1) {
            EXPECT_EQ(r.f.eCurLBA->text(), "1256");
            r.f.TimerTimer();
            EXPECT_TRUE(QRegularExpression("^ \\d\\d:\\d\\d:\\d\\d$").match(r.f.ElapsedBox->text()).hasMatch())
                << r.f.ElapsedBox->text().toStdString();
        }
    };
    r.Start(1000, 1600, [](TfrmEraseParam& d) { FixedFiller(d, "a5"); });

    EXPECT_EQ(r.calls, (std::vector<Call>{{1000, 256}, {1256, 256}, {1512, 88}}));
    EXPECT_EQ(r.flags, (std::vector<uint8_t>{1, 0, 0xA5}));
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(Idle(r.f));
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Выполнено");
    EXPECT_EQ(BeepCount(), beeps + 1);
    EXPECT_EQ(r.f.eCurLBA->text(), "1600");
    EXPECT_EQ(r.f.CounterLBA->value(), r.f.CounterLBA->maximum());
    EXPECT_TRUE(b.messages.shown.empty());

    sim::Drive* d = b.Drive();
    for (uint64_t lba : {1000u, 1255u, 1256u, 1599u}) {
        const auto s = d->ReadSector(lba);
        EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](uint8_t v) { return v == 0xA5; })) << lba;
    }
    for (uint64_t lba : {0u, 999u, 1600u, 4999u})
        EXPECT_TRUE(d->SectorUntouched(lba)) << lba;
}

TEST(EraseWindow, OneSectorCommandsRandomFillerAndAnEmptyRange)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 5000, false));
    EraseRun r(&b.shell.window);
    r.Start(10, 13, [](TfrmEraseParam& d) { d.rgbCountSector->Button(1)->click(); });
    EXPECT_EQ(r.calls, (std::vector<Call>{{10, 1}, {11, 1}, {12, 1}}));
    // 28-bit, random filler, and the field's "FF" passed all the same.
    EXPECT_EQ(r.flags, (std::vector<uint8_t>{0, 1, 0xFF}));
    EXPECT_FALSE(b.Drive()->SectorUntouched(12));

    r.calls.clear();
    const int beeps = BeepCount();
    r.Start(70, 70);
    EXPECT_TRUE(r.calls.empty());
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Выполнено");
    EXPECT_EQ(BeepCount(), beeps + 1);
    EXPECT_TRUE(Idle(r.f));
}

TEST(EraseWindow, StopAndEscEndThePassAfterTheBlockInProgress)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 5000));
    EraseRun r(&b.shell.window);
    r.f.show();
    r.during = [&](int i) {
        if (i == 1)
            r.f.bbStop->click();
    };
    const int beeps = BeepCount();
    r.Start(0, 4000);
    EXPECT_EQ(r.calls.size(), 2u);
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Отменено");
    EXPECT_EQ(BeepCount(), beeps);
    EXPECT_TRUE(Idle(r.f));
    EXPECT_FALSE(b.Drive()->SectorUntouched(511));
    EXPECT_TRUE(b.Drive()->SectorUntouched(512));

    r.calls.clear();
    r.during = [&](int i) {
        if (i == 2)
            QCoreApplication::postEvent(r.f.bbClose, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    };
    r.Start(0, 4000);
    EXPECT_EQ(r.calls.size(), 3u);
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Отменено");
    EXPECT_TRUE(r.f.isVisible());
}

TEST(EraseWindow, TheCloseBoxWaitsForThePassToEnd)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 5000));
    EraseRun r(&b.shell.window);
    r.f.show();
    QSignalSpy finished(&r.f, &QDialog::finished);
    r.during = [&](int i) {
        if (i == 1)
            QTimer::singleShot(0, &r.f, [&] { EXPECT_FALSE(r.f.close()); });
        if (i == 3) {
            EXPECT_TRUE(r.f.isVisible() && finished.isEmpty()) << "the pass goes on";
        }
    };
    r.Start(0, 1024);
    EXPECT_EQ(r.calls.size(), 4u);
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Выполнено");
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(r.f.isVisible());
}

TEST(EraseWindow, AFailedBlockIsResetBeepedAndCountedAsDone)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 5000));
    b.Drive()->AddFault({sim::Fault::Kind::Error, ata::kCmdWriteSectorsExt, ata::kErAbrt, 1});
    EraseRun r(&b.shell.window);
    const uint64_t resets = b.Drive()->ResetCount();
    const int beeps = BeepCount();
    r.Start(0, 600, [](TfrmEraseParam& d) { FixedFiller(d, "00"); });
    EXPECT_EQ(r.calls, (std::vector<Call>{{0, 256}, {256, 256}, {512, 88}}));
    EXPECT_EQ(b.Drive()->ResetCount(), resets + 1);
    EXPECT_EQ(BeepCount(), beeps + 2);  // the failure and the end
    EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Выполнено");
    EXPECT_TRUE(b.messages.shown.empty());
    EXPECT_TRUE(b.Drive()->SectorUntouched(0));
    EXPECT_FALSE(b.Drive()->SectorUntouched(256));
}

TEST(EraseWindow, RangesBeyond32BitsAndAFailedIdentify)
{
    const int64_t sectors = 5860533168;
    Bench b(testsim::InstantDrive("SIM HUGE", sectors));
    EraseRun r(&b.shell.window);
    int64_t offered = 0;
    const int64_t at = 4294967296 + 7;
    r.f.ParamDialog = [&](TfrmEraseParam& d) {
        offered = d.speLBA2->value();
        d.speLBA1->setValue(at);
        d.speLBA2->setValue(at + 300);
        d.bbOk->click();
        return true;
    };
    r.f.bbStart->click();
    EXPECT_EQ(offered, sectors - 1);
    EXPECT_EQ(r.calls, (std::vector<Call>{{at, 256}, {at + 256, 44}}));
    EXPECT_FALSE(b.Drive()->SectorUntouched(uint64_t(at + 299)));
    EXPECT_TRUE(b.Drive()->SectorUntouched(uint64_t(at + 300)));

    b.Drive()->SetAbsent(true);
    r.calls.clear();
    bool asked = false;
    r.f.ParamDialog = [&](TfrmEraseParam&) { return asked = true; };
    r.f.bbStart->click();
    EXPECT_FALSE(asked);
    EXPECT_TRUE(r.calls.empty());
    EXPECT_EQ(b.messages.Texts(), QStringList{"Ошибка идентификации устройства!"});
}

TEST(EraseParam, RefusesAReversedRangeAndAnEmptyFiller)
{
    MessageRecorder messages;
    TfrmEraseParam d;
    d.Setup(1000);
    d.speLBA1->setValue(500);
    d.speLBA2->setValue(499);
    d.bbOk->click();
    EXPECT_EQ(d.result(), 0);
    EXPECT_EQ(messages.Texts(), QStringList{"Конец диапазона не может быть меньше начала!"});

    d.speLBA2->setValue(500);  // end = start is a valid (empty) range
    d.ePatern->clear();        // emptied, then random chosen again
    messages.Clear();
    d.bbOk->click();
    EXPECT_EQ(d.result(), 0);
    EXPECT_EQ(messages.Texts(), QStringList{QString::fromUtf8(ops::kFillerMissing)});

    d.ePatern->setText("0");
    d.bbOk->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.FillerByte(), uint8_t(0));
}

TEST(EraseParam, FillerFieldTakesHexDigitsOnlyAndRandomNeverGivesFF)
{
    TfrmEraseParam d;
    EXPECT_FALSE(d.ePatern->isEnabled());
    d.rgbRandomPatern->Button(1)->click();
    EXPECT_TRUE(d.ePatern->isEnabled());
    EXPECT_FALSE(d.RandomFiller());

    d.ePatern->clear();
    const int beeps = BeepCount();
    QTest::keyClicks(d.ePatern, "g");
    EXPECT_EQ(BeepCount(), beeps + 1);
    QTest::keyClicks(d.ePatern, "c");
    QTest::keyClicks(d.ePatern, "-");
    QTest::keyClicks(d.ePatern, "3");
    EXPECT_EQ(BeepCount(), beeps + 2);
    EXPECT_EQ(d.ePatern->text(), "C3");  // shown in upper case
    QTest::keyClick(d.ePatern, Qt::Key_Backspace);
    EXPECT_EQ(d.ePatern->text(), "C");
    EXPECT_EQ(BeepCount(), beeps + 2);
    d.ePatern->insert("zz");  // pasted text is held to the digits too
    EXPECT_EQ(d.ePatern->text(), "C");

    for (int i = 0; i < 300; ++i) {
        d.N1->trigger();
        ASSERT_TRUE(QRegularExpression("^[0-9A-F]{2}$").match(d.ePatern->text()).hasMatch());
        ASSERT_NE(d.ePatern->text(), "FF");
    }
    d.rgbRandomPatern->Button(0)->click();
    EXPECT_FALSE(d.ePatern->isEnabled());
}

TEST(EraseWindow, SurvivesItsOwnerGoingAndTheApplicationQuittingMidPass)
{
    Bench b(testsim::InstantDrive("SIM ERASE", 100000));
    {
        auto* owner = new QWidget;
        QPointer<TfrmErase> f = new TfrmErase(owner);
        int calls = 0;
        f->EraseCommand = [&](int64_t lba, int64_t count, uint8_t lba48, uint8_t random, uint8_t filler) {
            if (++calls == 3)
                QTimer::singleShot(0, owner, [owner] { delete owner; });
            return EraseSector(lba, count, lba48, random, filler);
        };
        f->ParamDialog = [](TfrmEraseParam& d) { return d.bbOk->click(), d.result() == QDialog::Accepted; };
        f->bbStart->click();
        EXPECT_TRUE(f.isNull());
        EXPECT_GE(calls, 3);
        EXPECT_LT(calls, 10);
    }
    {
        QWidget main;
        main.show();
        EraseRun r(&main);
        r.f.show();
        r.during = [&](int i) {
            if (i == 5)
                QTimer::singleShot(0, &main, &QWidget::close);  // the program ends
        };
        const int beeps = BeepCount();
        QTimer::singleShot(0, &r.f, [&] { r.Start(0, 99999); });
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_GE(r.calls.size(), 6u);
        EXPECT_LT(r.calls.size(), 20u);
        EXPECT_EQ(r.f.windowTitle(), "Стирание накопителя: SIM ERASE - Отменено");
        EXPECT_EQ(BeepCount(), beeps);
        EXPECT_FALSE(r.f.Running());
    }
}
