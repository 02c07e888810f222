// The host protected area dialog: its field rules, its caption, and what it
// reads from and sends to simulated drives.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "common/Int64SpinBox.h"
#include "common/Services.h"
#include "hw/AtaDefs.h"
#include "info/HPA.h"
#include "support/FakeShell.h"
#include "support/SimFixture.h"

using namespace testsim;

namespace {

constexpr int64_t kSectors = 3000000;

struct HpaBench {
    explicit HpaBench(const sim::DriveSpec& d) : machine(Install(OneChannel(d))) {}
    sim::Drive* Drive() const { return machine->DriveAt(0x1F0, 0); }
    std::shared_ptr<sim::Machine> machine;
    FakeShell shell;
    MessageRecorder messages;
    HelpRecorder help;
};

// Types `text` into the field as the user would, replacing what it holds.
void Type(TfrmHPA& f, const QString& text)
{
    auto* edit = f.speNewMaxLBA->findChild<QLineEdit*>();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

}  // namespace

TEST(HpaRules, FieldValueCaptionAndOk)
{
    const auto corrected = [](int64_t typed) {
        const hpa::FieldValue v = hpa::CorrectedValue(typed, 5860533167);
        return std::pair(v.value, v.beep);
    };
    EXPECT_EQ(corrected(-1), std::pair(int64_t(0), true));
    EXPECT_EQ(corrected(5860533168), std::pair(int64_t(5860533167), true));
    EXPECT_EQ(corrected(5860533167), std::pair(int64_t(5860533167), false));
    EXPECT_EQ(corrected(0), std::pair(int64_t(0), false));

    // Halves go to the even neighbour; the number has digit groups.
    EXPECT_EQ(hpa::Caption("M", 2048 * 1000 + 1023), "HPA - M - 1`000 MB");
    EXPECT_EQ(hpa::Caption("M", 2048 * 1000 + 1024), "HPA - M - 1`000 MB");
    EXPECT_EQ(hpa::Caption("M", 2048 * 1001 + 1024), "HPA - M - 1`002 MB");
    EXPECT_EQ(hpa::Caption("M", 5860533167), "HPA - M - 2`861`588 MB");
    EXPECT_TRUE(hpa::OkEnabled(0, 10) && hpa::OkEnabled(10, 10));
    EXPECT_FALSE(hpa::OkEnabled(11, 10) || hpa::OkEnabled(-1, 10));
}

TEST(HpaWindow, ShowsTheNativeMaximumAndCorrectsTheField)
{
    sim::DriveSpec d = InstantDrive("SIM HPA", kSectors);
    d.hpaSectors = 1000000;  // in use: the dialog still offers the native maximum
    HpaBench b(d);
    TfrmHPA f(&b.shell.window);
    ASSERT_EQ(f.ShowAllowed, 1);
    EXPECT_EQ(f.eMaxLBA->text(), "2999999");
    EXPECT_EQ(f.speNewMaxLBA->maximum(), kSectors - 1);
    EXPECT_EQ(f.speNewMaxLBA->value(), kSectors - 1);
    EXPECT_EQ(f.windowTitle(), "HPA - SIM HPA - 1`465 MB");
    EXPECT_TRUE(f.bbOK->isEnabled());

    const int beeps = BeepCount();
    Type(f, "3000000");  // above the native maximum
    EXPECT_EQ(BeepCount(), beeps + 1);
    EXPECT_EQ(f.speNewMaxLBA->text(), "2999999");
    EXPECT_TRUE(f.bbOK->isEnabled());

    Type(f, "-7");  // "-" alone waits for digits; "-7" is corrected
    EXPECT_EQ(BeepCount(), beeps + 2);
    EXPECT_EQ(f.speNewMaxLBA->text(), "0");
    EXPECT_EQ(f.windowTitle(), "HPA - SIM HPA - 0 MB");
    EXPECT_TRUE(f.bbOK->isEnabled());  // 0 is a valid address

    Type(f, "2049023");
    EXPECT_EQ(BeepCount(), beeps + 2);
    EXPECT_EQ(f.windowTitle(), "HPA - SIM HPA - 1`000 MB");

    Type(f, "");
    EXPECT_FALSE(f.bbOK->isEnabled()) << "an empty field sends nothing";

    f.bbHelp->click();
    EXPECT_EQ(b.help.contexts, std::vector<int>{40});
}

TEST(HpaWindow, OkSendsTheValueAndSaysWhatHappened)
{
    HpaBench b(InstantDrive("SIM HPA", kSectors));
    const auto ok = [&](const QString& typed) {
        b.messages.Clear();
        TfrmHPA f(&b.shell.window);
        if (!typed.isEmpty())
            Type(f, typed);
        f.bbOK->click();
        EXPECT_EQ(f.result(), QDialog::Accepted);  // closed either way
        return b.messages.shown.at(0);
    };
    // The native maximum unchanged is sent as it is.
    EXPECT_EQ(ok({}).kind, MsgKind::Information);
    EXPECT_EQ(b.Drive()->LastTaskfile().command, ata::kCmdSetMaxExt);
    EXPECT_EQ(b.Drive()->LastTaskfile().Lba48Address(), uint64_t(kSectors - 1));
    b.Drive()->PowerCycle();
    EXPECT_EQ(ok("999999").text, "Выключите и снова включите питание накопителя!");
    EXPECT_EQ(b.Drive()->CurrentMaxAddress(), 999999u);
    // A second permanent change in one power cycle is refused.
    const MessageRecorder::Entry refused = ok({});
    EXPECT_EQ(refused.kind, MsgKind::Error);
    EXPECT_EQ(refused.text, "Ошибка установки масимально возможного количества секторов!");
}

TEST(HpaWindow, TwentyEightBitAndHugeDrives)
{
    {
        HpaBench b(InstantDrive("SIM 28", 500000, false));
        TfrmHPA f(&b.shell.window);
        EXPECT_EQ(f.Lba48, 0);
        Type(f, "400000");
        f.bbOK->click();
        EXPECT_EQ(b.Drive()->LastTaskfile().command, ata::kCmdSetMax);
        EXPECT_EQ(b.Drive()->CurrentMaxAddress(), 400000u);
    }
    // Beyond 2^31 sectors the field holds the whole range.
    const int64_t sectors = 5860533168;
    HpaBench b(InstantDrive("SIM HUGE", sectors));
    TfrmHPA f(&b.shell.window);
    EXPECT_EQ(f.eMaxLBA->text(), "5860533167");
    EXPECT_EQ(f.speNewMaxLBA->value(), sectors - 1);
    Type(f, "4294967296");
    EXPECT_EQ(f.windowTitle(), "HPA - SIM HUGE - 2`097`152 MB");
    f.bbOK->click();
    EXPECT_EQ(b.Drive()->CurrentMaxAddress(), 4294967296u);
}

TEST(HpaWindow, FailuresKeepTheDialogClosed)
{
    sim::DriveSpec noHpa = InstantDrive("SIM FAIL", kSectors);
    noHpa.hpaSupported = false;
    const auto said = [](HpaBench& b) {
        b.messages.Clear();
        TfrmHPA f(&b.shell.window);
        EXPECT_EQ(f.ShowAllowed, 0);
        EXPECT_EQ(b.messages.shown.size(), 1u);
        EXPECT_EQ(b.messages.shown.at(0).kind, MsgKind::Error);
        return b.messages.shown.at(0).text;
    };
    {
        HpaBench b(noHpa);
        EXPECT_EQ(said(b), "Устройство не поддерживает HPA!");
    }
    HpaBench b(InstantDrive("SIM FAIL", kSectors));
    b.Drive()->AddFault({sim::Fault::Kind::Error, ata::kCmdReadNativeMaxExt});
    EXPECT_EQ(said(b), "Ошибка получения масимально возможного количества секторов!");
    b.Drive()->SetAbsent(true);
    EXPECT_EQ(said(b), "Ошибка идентификации устройства!");
}
