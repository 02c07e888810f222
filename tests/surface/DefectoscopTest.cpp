// The defect scope window: what it takes from the identify data, the
// refusal of a drive locked at the maximum level, and its inert controls.
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <gtest/gtest.h>

#include "ScanTestDrive.h"
#include "common/DriveContext.h"
#include "hw/AtaDefs.h"
#include "support/SimFixture.h"
#include "surface/Defectoscop.h"
#include "surface/Int64SpinBox.h"

using scantest::Bench;

namespace {

sim::DriveSpec Locked(bool levelMax)
{
    sim::DriveSpec d = testsim::InstantDrive(levelMax ? "LOCKED MAX" : "LOCKED HIGH");
    d.security.userPassword = "secret";
    d.security.levelMax = levelMax;
    return d;
}

class DefectScope : public ::testing::Test {
protected:
    void SetUp() override { ResetDriveContext(); }
    void TearDown() override { ResetDriveContext(); }
};

}  // namespace

TEST_F(DefectScope, IdentifyRules)
{
    EXPECT_TRUE(defect::MaximumLevel(0x0103));
    EXPECT_TRUE(defect::MaximumLevel(0x0107));   // locked too
    EXPECT_FALSE(defect::MaximumLevel(0x0003));  // high level
    EXPECT_FALSE(defect::MaximumLevel(0x0101));  // not enabled

    ata::IdentifyBlock id{};
    std::memcpy(id.Bytes() + 54, "  PADDED MODEL                          ", 40);
    id.w[83] = 0x4400;
    id.w[60] = 1000;
    id.w[100] = 0x789A, id.w[101] = 0x3456, id.w[102] = 0x12;
    defect::ScopeDrive d = defect::FromIdentify(id, false);
    EXPECT_EQ(d.model, QStringLiteral("  PADDED MODEL").leftJustified(40, ' '));
    EXPECT_EQ(d.caption, QStringLiteral("Дефектоскоп: PADDED MODEL"));
    EXPECT_TRUE(d.lba48);
    EXPECT_EQ(d.maxLba, 0x123456789AULL - 1);
    id.w[83] = 0x4000;  // 28-bit: words 60-61
    EXPECT_EQ(defect::FromIdentify(id, true).maxLba, 999);
    id.w[83] = 0xFFFF;  // says nothing: the mode is kept
    EXPECT_TRUE(defect::FromIdentify(id, true).lba48);
}

TEST_F(DefectScope, OpensWithTheDrivesRangeAndItsModelUntrimmed)
{
    const int64_t maxLba = (int64_t(6) << 30) - 1;  // past 32 bits
    Bench bench(testsim::InstantDrive("SCOPE DRIVE", uint64_t(maxLba) + 1, true));
    TfrmDefectoscop f;
    EXPECT_TRUE(f.ShowAllowed());
    EXPECT_TRUE(bench.messages.shown.empty());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Дефектоскоп: SCOPE DRIVE"));
    EXPECT_EQ(Ctx().Model, QStringLiteral("SCOPE DRIVE").leftJustified(40, ' '));
    EXPECT_EQ(f.MaxLBA(), maxLba);
    EXPECT_EQ(f.speStartLBA->value(), 0);
    EXPECT_EQ(f.speStopLBA->value(), maxLba);
    for (Int64SpinBox* s : {f.speStartLBA, f.speStopLBA}) {
        EXPECT_EQ(s->minimum(), 0);
        EXPECT_EQ(s->maximum(), maxLba);
    }
    EXPECT_EQ(bench.shell.panels, QStringList(6)) << "the main window is left alone";
}

TEST_F(DefectScope, OnlyAPasswordAtTheMaximumLevelIsRefused)
{
    {
        Bench bench(Locked(false));
        bench.Drive()->PowerCycle();
        EXPECT_TRUE(TfrmDefectoscop().ShowAllowed());
        EXPECT_TRUE(bench.messages.shown.empty());
    }
    Bench bench(Locked(true));
    bench.Drive()->PowerCycle();
    QWidget owner;
    QTimer::singleShot(0, &owner, [&] {
        if (auto* w = owner.findChild<TfrmDefectoscop*>()) {
            ADD_FAILURE() << "shown";
            w->bbClose->click();
        }
    });
    ShowDefectScope(&owner);
    EXPECT_EQ(owner.findChild<TfrmDefectoscop*>(), nullptr);
    EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Накопитель защищен паролем!\nОперация отменена!")});
    EXPECT_EQ(bench.messages.shown.at(0).kind, MsgKind::Error);
    // The rest of the set-up was still done.
    EXPECT_EQ(Ctx().Model, QStringLiteral("LOCKED MAX").leftJustified(40, ' '));
}

TEST_F(DefectScope, AFailedIdentifyLeavesTheFieldsOwnValues)
{
    Bench bench(testsim::InstantDrive());
    bench.Drive()->SetAbsent(true);
    Ctx().Model = QStringLiteral("EARLIER");
    TfrmDefectoscop f;
    EXPECT_TRUE(f.ShowAllowed());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Дефектоскоп"));
    EXPECT_EQ(f.speStartLBA->value(), 320000000);
    EXPECT_EQ(f.speStopLBA->value(), 0);
    EXPECT_EQ(Ctx().Model, QStringLiteral("EARLIER"));
    EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Ошибка идентификации устройства!")});
}

TEST_F(DefectScope, StartOnlySetsTheStatusTextsAndEverythingElseIsInert)
{
    Bench bench(testsim::InstantDrive("INERT"));
    TfrmDefectoscop f;
    f.show();
    for (int round = 0; round < 2; ++round) {
        f.bbStart->click();
        EXPECT_EQ(QStringList({f.StatusPanel(0), f.StatusPanel(1), f.StatusPanel(2), f.StatusPanel(3)}),
                  QStringList({"", QStringLiteral("Дефектов: 0"), QStringLiteral("Предупреждений: 0"),
                               QStringLiteral("Оставшееся время: ")}));
        EXPECT_FALSE(f.Running());
        EXPECT_FALSE(f.bbStop->isVisible());
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Дефектоскоп: INERT"));
    }
    EXPECT_FALSE(f.pGraf->isEnabled() || f.gbReport->isEnabled() || f.bbSave->isEnabled() || f.bbPause->isEnabled());
    f.bbHelp->click();
    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_TRUE(f.isVisible()) << "Esc does nothing";
    EXPECT_TRUE(bench.help.contexts.empty());
    EXPECT_TRUE(bench.messages.shown.empty());
    f.bbClose->click();
    EXPECT_FALSE(f.isVisible());
}
