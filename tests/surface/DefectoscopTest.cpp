// The defect scope window: what it takes from the identify data, its
// refusal of a drive locked at the maximum level, and its inert controls.
#include <QChart>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <gtest/gtest.h>

#include "ScanTestDrive.h"
#include "common/DriveContext.h"
#include "hw/AtaDefs.h"
#include "select/RadioGroup.h"
#include "support/SimFixture.h"
#include "surface/Defectoscop.h"
#include "surface/Int64SpinBox.h"

using scantest::Bench;

namespace {

const QString kRefused = QStringLiteral("Накопитель защищен паролем!\nОперация отменена!");

sim::DriveSpec Locked(bool levelMax)
{
    sim::DriveSpec d = testsim::InstantDrive(levelMax ? "LOCKED MAX" : "LOCKED HIGH");
    d.security.userPassword = "secret";
    d.security.levelMax = levelMax;
    return d;
}

// Identify data with a model, word 83 and the two capacities.
ata::IdentifyBlock Identify(const char* model, uint16_t word83, uint32_t sectors28, uint64_t sectors48)
{
    ata::IdentifyBlock id{};
    QByteArray text = QByteArray(model).leftJustified(40, ' ');
    std::memcpy(id.Bytes() + 54, text.constData(), 40);
    id.w[83] = word83;
    id.w[60] = uint16_t(sectors28);
    id.w[61] = uint16_t(sectors28 >> 16);
    for (int i = 0; i < 4; ++i)
        id.w[100 + i] = uint16_t(sectors48 >> (16 * i));
    return id;
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
    EXPECT_TRUE(defect::MaximumLevel(0x0107));  // locked too
    EXPECT_FALSE(defect::MaximumLevel(0x0003)); // high level
    EXPECT_FALSE(defect::MaximumLevel(0x0101)); // not enabled
    EXPECT_FALSE(defect::MaximumLevel(0x0102)); // not supported

    ata::IdentifyBlock id = Identify("  PADDED MODEL", 0x4400, 1000, 0x123456789AULL);
    defect::ScopeDrive d = defect::FromIdentify(id, false);
    EXPECT_EQ(d.model, QStringLiteral("  PADDED MODEL").leftJustified(40, ' '));
    EXPECT_EQ(d.caption, QStringLiteral("Дефектоскоп: PADDED MODEL"));
    EXPECT_TRUE(d.lba48);
    EXPECT_EQ(d.maxLba, 0x123456789AULL - 1);
    EXPECT_FALSE(d.refused);

    id.w[83] = 0x4000;  // 28-bit
    EXPECT_EQ(defect::FromIdentify(id, true).maxLba, 999);
    id.w[83] = 0xFFFF;  // says nothing: the mode is kept
    EXPECT_TRUE(defect::FromIdentify(id, true).lba48);
    EXPECT_FALSE(defect::FromIdentify(id, false).lba48);
    id.w[128] = 0x0103;
    EXPECT_TRUE(defect::FromIdentify(id, false).refused);
}

TEST_F(DefectScope, OpensWithTheDrivesRangeAndItsModelUntrimmed)
{
    Bench bench(testsim::InstantDrive("SCOPE DRIVE", uint64_t(6) << 30, true));  // past 32 bits
    TfrmDefectoscop f;
    EXPECT_TRUE(f.ShowAllowed());
    EXPECT_TRUE(bench.messages.shown.empty());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Дефектоскоп: SCOPE DRIVE"));
    EXPECT_EQ(Ctx().Model, QStringLiteral("SCOPE DRIVE").leftJustified(40, ' '));
    const int64_t maxLba = (int64_t(6) << 30) - 1;
    EXPECT_TRUE(f.Lba48());
    EXPECT_EQ(f.MaxLBA(), maxLba);
    EXPECT_EQ(f.speStartLBA->value(), 0);
    EXPECT_EQ(f.speStopLBA->value(), maxLba);
    for (Int64SpinBox* s : {f.speStartLBA, f.speStopLBA}) {
        EXPECT_EQ(s->minimum(), 0);
        EXPECT_EQ(s->maximum(), maxLba);
        s->setValue(maxLba + 10);
        EXPECT_EQ(s->value(), maxLba);
        s->setValue(-1);
        EXPECT_EQ(s->value(), 0);
    }
    // Nothing of the main window changes.
    EXPECT_EQ(bench.shell.panels, QStringList(6));
}

TEST_F(DefectScope, A28BitDriveOffersWords60And61)
{
    Bench bench(testsim::InstantDrive("SMALL", 70000, false));
    TfrmDefectoscop f;
    EXPECT_FALSE(f.Lba48());
    EXPECT_EQ(f.speStopLBA->value(), 69999);
    EXPECT_EQ(f.speStartLBA->maximum(), 69999);
}

TEST_F(DefectScope, OnlyAPasswordAtTheMaximumLevelIsRefused)
{
    {
        Bench bench(Locked(false));
        bench.Drive()->PowerCycle();
        TfrmDefectoscop f;
        EXPECT_TRUE(f.ShowAllowed());
        EXPECT_TRUE(bench.messages.shown.empty());
    }
    Bench bench(Locked(true));
    bench.Drive()->PowerCycle();
    TfrmDefectoscop f;
    EXPECT_FALSE(f.ShowAllowed());
    ASSERT_EQ(bench.messages.Texts(), QStringList{kRefused});
    EXPECT_EQ(bench.messages.shown[0].kind, MsgKind::Error);
    // The rest of the set-up still happens.
    EXPECT_EQ(Ctx().Model, QStringLiteral("LOCKED MAX").leftJustified(40, ' '));
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Дефектоскоп: LOCKED MAX"));
    EXPECT_EQ(f.speStopLBA->value(), (1 << 20) - 1);

    // The menu's entry point never shows such a window.
    QWidget owner;
    bool shown = false;
    QTimer::singleShot(0, &owner, [&] {
        if (auto* w = owner.findChild<TfrmDefectoscop*>()) {
            shown = w->isVisible();
            w->bbClose->click();
        }
    });
    ShowDefectScope(&owner);
    EXPECT_FALSE(shown);
    EXPECT_EQ(owner.findChild<TfrmDefectoscop*>(), nullptr);
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
    EXPECT_EQ(f.speStopLBA->maximum(), INT32_MAX);
    EXPECT_EQ(Ctx().Model, QStringLiteral("EARLIER"));
    EXPECT_EQ(bench.messages.Texts(), QStringList{QStringLiteral("Ошибка идентификации устройства!")});
}

TEST_F(DefectScope, StartOnlySetsTheStatusTextsAndEverythingElseIsInert)
{
    Bench bench(testsim::InstantDrive("INERT"));
    TfrmDefectoscop f;
    f.show();
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(f.StatusPanel(i).isEmpty());
    for (int round = 0; round < 2; ++round) {
        f.bbStart->click();
        EXPECT_EQ(f.StatusPanel(0), QString());
        EXPECT_EQ(f.StatusPanel(1), QStringLiteral("Дефектов: 0"));
        EXPECT_EQ(f.StatusPanel(2), QStringLiteral("Предупреждений: 0"));
        EXPECT_EQ(f.StatusPanel(3), QStringLiteral("Оставшееся время: "));
        EXPECT_FALSE(f.Running());
        EXPECT_TRUE(f.bbStart->isVisible());
        EXPECT_FALSE(f.bbStop->isVisible());
        EXPECT_TRUE(f.bbClose->isEnabled());
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Дефектоскоп: INERT"));
    }
    // The resource's settings, none of them acting.
    EXPECT_FALSE(f.pGraf->isEnabled());
    EXPECT_FALSE(f.gbReport->isEnabled());
    EXPECT_FALSE(f.bbSave->isEnabled());
    EXPECT_FALSE(f.bbPause->isEnabled());
    EXPECT_FALSE(f.Timer->isActive());
    EXPECT_EQ(f.Series1->color(), QColor(255, 0, 0));
    EXPECT_FALSE(f.Graf->legend()->isVisible());
    EXPECT_EQ(f.rgbDirect->ItemIndex(), 0);
    EXPECT_EQ(f.rgbKesh->ItemIndex(), 0);
    EXPECT_EQ(f.speTimeOut->value(), 1000);
    EXPECT_EQ(f.speTimeOut->minimum(), 15);
    EXPECT_EQ(f.speTimeOut->maximum(), 150000);
    EXPECT_FALSE(f.chbWriteSector->isChecked());

    f.rgbDirect->SetItemIndex(1);
    f.chbWriteSector->setChecked(true);
    f.bbHelp->click();
    QTest::keyClick(&f, Qt::Key_Escape);
    f.bbStart->click();
    EXPECT_TRUE(f.isVisible()) << "Esc does not close it";
    EXPECT_TRUE(bench.help.contexts.empty());
    EXPECT_TRUE(bench.messages.shown.empty());
    EXPECT_TRUE(f.StatusPanel(0).isEmpty());

    QSignalSpy finished(&f, &QDialog::finished);
    f.bbClose->click();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(f.isVisible());
}

TEST_F(DefectScope, MinimisingHandsTheWindowToTheMainWindow)
{
    Bench bench(testsim::InstantDrive());
    TfrmDefectoscop f;
    f.show();
    f.setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(bench.shell.minimized, &f);
    EXPECT_EQ(bench.shell.minimizeCount, 1);
    EXPECT_TRUE(f.isHidden());
    ShowMinimizedForm(&f);
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.windowState() & Qt::WindowMinimized);
}
