// The host protected area dialog: its field rules, its caption, and what it
// reads from and sends to simulated drives.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

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
    QTest::keyClicks(edit, text);
}

}  // namespace

TEST(HpaRules, FieldValueCaptionAndOk)
{
    EXPECT_EQ(hpa::CorrectedValue(-1, 100).value, 0);
    EXPECT_TRUE(hpa::CorrectedValue(-1, 100).beep);
    EXPECT_EQ(hpa::CorrectedValue(101, 100).value, 100);
    EXPECT_TRUE(hpa::CorrectedValue(101, 100).beep);
    EXPECT_EQ(hpa::CorrectedValue(0, 100).value, 0);
    EXPECT_FALSE(hpa::CorrectedValue(100, 100).beep);
    // Above 2^32: the field takes the native maximum whole.
    EXPECT_FALSE(hpa::CorrectedValue(5860533167, 5860533167).beep);

    // Halves go to the even neighbour; the number has digit groups.
    EXPECT_EQ(hpa::Caption("M", 2048 * 1000 + 1023), "HPA - M - 1`000 MB");
    EXPECT_EQ(hpa::Caption("M", 2048 * 1000 + 1024), "HPA - M - 1`000 MB");
    EXPECT_EQ(hpa::Caption("M", 2048 * 1001 + 1024), "HPA - M - 1`002 MB");
    EXPECT_EQ(hpa::Caption("M", 0), "HPA - M - 0 MB");
    EXPECT_EQ(hpa::Caption("M", 5860533167), "HPA - M - 2`861`588 MB");

    EXPECT_TRUE(hpa::OkEnabled(0, 10));
    EXPECT_TRUE(hpa::OkEnabled(10, 10));
    EXPECT_FALSE(hpa::OkEnabled(11, 10));
    EXPECT_FALSE(hpa::OkEnabled(-1, 10));
}

TEST(HpaWindow, ShowsTheNativeMaximumAndCorrectsTheField)
{
    sim::DriveSpec d = InstantDrive("SIM HPA", kSectors);
    d.hpaSectors = 1000000;  // in use: the dialog still offers the native maximum
    HpaBench b(d);
    TfrmHPA f(&b.shell.window);
    ASSERT_EQ(f.ShowAllowed, 1) << b.messages.Texts().join(", ").toStdString();
    EXPECT_TRUE(b.messages.shown.empty());
    EXPECT_EQ(f.Lba48, 1);
    EXPECT_EQ(f.NativeMaxAddress, kSectors - 1);
    EXPECT_EQ(f.eMaxLBA->text(), "2999999");
    EXPECT_FALSE(f.Panel1->isEnabled());
    EXPECT_EQ(f.Label1->text(), "Максимальное количество секторов");
    EXPECT_EQ(f.Label2->text(), "Ограничить количество секторов до");
    EXPECT_EQ(f.speNewMaxLBA->maximum(), kSectors - 1);
    EXPECT_EQ(f.speNewMaxLBA->minimum(), 0);
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

    f.speNewMaxLBA->selectAll();
    QTest::keyClick(f.speNewMaxLBA->findChild<QLineEdit*>(), Qt::Key_Backspace);
    EXPECT_FALSE(f.bbOK->isEnabled()) << "an empty field sends nothing";
    f.speNewMaxLBA->stepBy(1);  // stepping never passes the limits
    EXPECT_TRUE(f.bbOK->isEnabled());

    f.bbHelp->click();
    EXPECT_EQ(b.help.contexts, std::vector<int>{40});
}

TEST(HpaWindow, OkSendsTheValueAndSaysWhatHappened)
{
    HpaBench b(InstantDrive("SIM HPA", kSectors));
    {
        // The native maximum unchanged is sent as it is.
        TfrmHPA f(&b.shell.window);
        f.bbOK->click();
        EXPECT_EQ(f.result(), QDialog::Accepted);
        EXPECT_EQ(b.messages.Texts(), QStringList{"Выключите и снова включите питание накопителя!"});
        EXPECT_EQ(b.messages.shown[0].kind, MsgKind::Information);
        const ata::Taskfile& tf = b.Drive()->LastTaskfile();
        EXPECT_EQ(tf.command, ata::kCmdSetMaxExt);
        EXPECT_EQ(tf.Lba48Address(), uint64_t(kSectors - 1));
        EXPECT_EQ(b.Drive()->CurrentMaxAddress(), uint64_t(kSectors - 1));
    }
    b.Drive()->PowerCycle();
    {
        TfrmHPA f(&b.shell.window);
        Type(f, "999999");
        b.messages.Clear();
        f.bbOK->click();
        EXPECT_EQ(b.messages.Texts(), QStringList{"Выключите и снова включите питание накопителя!"});
        EXPECT_EQ(b.Drive()->CurrentMaxAddress(), 999999u);
    }
    {
        // A second permanent change in one power cycle is refused.
        TfrmHPA f(&b.shell.window);
        EXPECT_EQ(f.eMaxLBA->text(), "2999999");
        b.messages.Clear();
        f.bbOK->click();
        EXPECT_EQ(f.result(), QDialog::Accepted);
        EXPECT_EQ(b.messages.Texts(), QStringList{"Ошибка установки масимально возможного количества секторов!"});
        EXPECT_EQ(b.messages.shown[0].kind, MsgKind::Error);
        EXPECT_EQ(b.Drive()->CurrentMaxAddress(), 999999u);
    }
}

TEST(HpaWindow, TwentyEightBitDriveGetsTheShortCommands)
{
    HpaBench b(InstantDrive("SIM 28", 500000, false));
    TfrmHPA f(&b.shell.window);
    ASSERT_EQ(f.ShowAllowed, 1);
    EXPECT_EQ(f.Lba48, 0);
    EXPECT_EQ(f.eMaxLBA->text(), "499999");
    Type(f, "400000");
    f.bbOK->click();
    EXPECT_EQ(b.Drive()->LastTaskfile().command, ata::kCmdSetMax);
    EXPECT_EQ(b.Drive()->CurrentMaxAddress(), 400000u);
}

TEST(HpaWindow, DrivesBeyondThirtyOneBitsGetTheirWholeRange)
{
    const int64_t sectors = 5860533168;  // 3 TB
    HpaBench b(InstantDrive("SIM HUGE", sectors));
    TfrmHPA f(&b.shell.window);
    ASSERT_EQ(f.ShowAllowed, 1);
    EXPECT_EQ(f.eMaxLBA->text(), "5860533167");
    EXPECT_EQ(f.speNewMaxLBA->maximum(), sectors - 1);
    EXPECT_EQ(f.speNewMaxLBA->value(), sectors - 1);
    EXPECT_EQ(f.windowTitle(), "HPA - SIM HUGE - 2`861`588 MB");
    Type(f, "4294967296");
    EXPECT_EQ(f.windowTitle(), "HPA - SIM HUGE - 2`097`152 MB");
    f.bbOK->click();
    EXPECT_EQ(b.Drive()->CurrentMaxAddress(), 4294967296u);
}

TEST(HpaWindow, FailuresKeepTheDialogClosed)
{
    struct Case {
        const char* what;
        std::function<void(sim::DriveSpec&)> spec;
        std::function<void(sim::Drive*)> drive;
        const char* message;
    };
    const Case cases[] = {
        {"no drive", {}, [](sim::Drive* d) { d->SetAbsent(true); }, "Ошибка идентификации устройства!"},
        {"no feature set", [](sim::DriveSpec& s) { s.hpaSupported = false; }, {}, "Устройство не поддерживает HPA!"},
        {"native max refused", {},
         [](sim::Drive* d) { d->AddFault({sim::Fault::Kind::Error, ata::kCmdReadNativeMaxExt}); },
         "Ошибка получения масимально возможного количества секторов!"},
    };
    for (const Case& c : cases) {
        sim::DriveSpec spec = InstantDrive("SIM FAIL", kSectors);
        if (c.spec)
            c.spec(spec);
        HpaBench b(spec);
        if (c.drive)
            c.drive(b.Drive());
        TfrmHPA f(&b.shell.window);
        EXPECT_EQ(f.ShowAllowed, 0) << c.what;
        EXPECT_EQ(b.messages.Texts(), QStringList{QString::fromUtf8(c.message)}) << c.what;
        ASSERT_FALSE(b.messages.shown.empty());
        EXPECT_EQ(b.messages.shown[0].kind, MsgKind::Error) << c.what;
    }
}
