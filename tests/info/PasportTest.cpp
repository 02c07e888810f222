// The identify report window against simulated drives: what it shows, what
// it sends to the drive, the status bar and the failure path.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <map>
#include <string>

#include "common/Clock.h"
#include "common/Services.h"
#include "info/Pasport.h"
#include "sim/SimSpec.h"
#include "support/FakeShell.h"
#include "support/SimFixture.h"

using namespace testsim;

namespace {

QStringList MemoLines(const TfrmPasport& f) { return f.Memo->toPlainText().split(QLatin1Char('\n')); }

QString Row(const TfrmPasport& f, QStringView label)
{
    for (const QString& line : MemoLines(f))
        if (line.startsWith(label))
            return line.mid(label.size());
    return QStringLiteral("<no row>");
}

bool Sent(sim::Drive* d, uint8_t opcode)
{
    const auto log = d->CommandLog();
    return std::find(log.begin(), log.end(), opcode) != log.end();
}

struct Panels {
    QString model, lba, level, hpa;
};

void ExpectPanels(const FakeShell& shell, const Panels& p)
{
    EXPECT_EQ(shell.panels[2], p.model);
    EXPECT_EQ(shell.panels[3], p.lba);
    EXPECT_EQ(shell.panels[4], p.level);
    EXPECT_EQ(shell.panels[5], p.hpa);
}

}  // namespace

TEST(Pasport, FortyEightBitDriveFillsMemoAndStatusBar)
{
    FakeShell shell;
    shell.panels[4] = QStringLiteral("High");
    shell.panels[5] = QStringLiteral("HPA");
    auto m = Install(OneChannel(InstantDrive("SIM FORTY EIGHT", 3000000)));
    TfrmPasport f(&shell.window);
    EXPECT_EQ(f.ShowAllowed, 1);
    EXPECT_EQ(f.windowTitle(), "Идентификация диска");
    EXPECT_EQ(f.bbOK->text(), "OK");
    EXPECT_EQ(f.bbHelp->text(), "&Help");
    EXPECT_EQ(MemoLines(f), f.Identify().report.lines);
    EXPECT_EQ(Row(f, info::label::Model), "SIM FORTY EIGHT");
    EXPECT_EQ(Row(f, info::label::Serial), "TST0001");
    EXPECT_EQ(Row(f, info::label::Firmware), "T1.0");
    EXPECT_EQ(Row(f, info::label::MaxSectors), "3`000`000");
    EXPECT_EQ(Row(f, info::label::Capacity), "1`465 MB");
    EXPECT_EQ(Row(f, info::label::Hpa), "Присутствует");
    EXPECT_EQ(Row(f, info::label::SmartState), "Активен");
    ExpectPanels(shell, {"SIM FORTY EIGHT", "LBA48", "", ""});
    EXPECT_TRUE(Sent(m->DriveAt(0x1F0, 0), ata::kCmdReadNativeMaxExt));
    EXPECT_TRUE(f.Memo->isReadOnly());
}

TEST(Pasport, MemoFontIsFixedPitchSoTheLabelsLineUp)
{
    FakeShell shell;
    auto m = Install(OneChannel(InstantDrive()));
    TfrmPasport f(&shell.window);
    EXPECT_TRUE(QFontInfo(f.Memo->font()).fixedPitch());
    const QFontMetrics fm(f.Memo->font());
    const int width = fm.horizontalAdvance(info::label::Model.toString());
    for (QStringView label : info::label::All)
        EXPECT_EQ(fm.horizontalAdvance(label.toString()), width) << label.toString().toStdString();
}

TEST(Pasport, TwentyEightBitDriveUsesTheTwentyEightBitCommand)
{
    FakeShell shell;
    auto m = Install(OneChannel(InstantDrive("SIM OLD", 8388608, /*lba48=*/false)));
    TfrmPasport f(&shell.window);
    EXPECT_TRUE(MemoLines(f).contains(QStringLiteral("Режим адресации................. LBA28")));
    EXPECT_EQ(Row(f, info::label::CurrentSectors), "8`388`608");
    EXPECT_EQ(Row(f, info::label::MaxSectors), "8`388`608");
    ExpectPanels(shell, {"SIM OLD", "LBA28", "", ""});
    sim::Drive* d = m->DriveAt(0x1F0, 0);
    EXPECT_TRUE(Sent(d, ata::kCmdReadNativeMax));
    EXPECT_FALSE(Sent(d, ata::kCmdReadNativeMaxExt));
}

TEST(Pasport, HostProtectedAreaInUse)
{
    FakeShell shell;
    auto drive = InstantDrive("SIM HPA", 12000000);
    drive.hpaSectors = 10000000;
    auto m = Install(OneChannel(drive));
    TfrmPasport f(&shell.window);
    EXPECT_EQ(Row(f, info::label::MaxSectors), "12`000`000");
    EXPECT_EQ(Row(f, info::label::CurrentSectors), "10`000`000");
    EXPECT_EQ(Row(f, info::label::Capacity), "4`883 MB");
    EXPECT_EQ(Row(f, info::label::Hpa), "Задействована");
    ExpectPanels(shell, {"SIM HPA", "LBA48", "", "HPA"});
}

TEST(Pasport, RefusedNativeMaxShowsCurrentCountAndNoPanel)
{
    FakeShell shell;
    shell.panels[5] = QStringLiteral("HPA");
    auto drive = InstantDrive("SIM HPA", 12000000);
    drive.hpaSectors = 10000000;
    auto m = Install(OneChannel(drive));
    m->DriveAt(0x1F0, 0)->AddFault({sim::Fault::Kind::Error, ata::kCmdReadNativeMaxExt, ata::kErAbrt, 1});
    TfrmPasport f(&shell.window);
    EXPECT_EQ(f.ShowAllowed, 1);
    ASSERT_TRUE(f.Identify().nativeMaxFailure.has_value());
    EXPECT_EQ(f.Identify().nativeMaxFailure->outcome, ata::Outcome::DeviceError);
    EXPECT_EQ(Row(f, info::label::MaxSectors), "10`000`000");
    EXPECT_EQ(Row(f, info::label::Hpa), "Присутствует");
    ExpectPanels(shell, {"SIM HPA", "LBA48", "", ""});
}

TEST(Pasport, NoNativeMaxQueryWithoutTheFeatureSet)
{
    FakeShell shell;
    auto drive = InstantDrive("SIM NO HPA");
    drive.hpaSupported = false;
    auto m = Install(OneChannel(drive));
    TfrmPasport f(&shell.window);
    sim::Drive* d = m->DriveAt(0x1F0, 0);
    EXPECT_FALSE(Sent(d, ata::kCmdReadNativeMax));
    EXPECT_FALSE(Sent(d, ata::kCmdReadNativeMaxExt));
    EXPECT_FALSE(f.Identify().nativeMaxAsked);
    EXPECT_EQ(Row(f, info::label::Hpa), "Отсутствует");
}

TEST(Pasport, SecurityLevelsReachPanelFour)
{
    for (bool levelMax : {false, true}) {
        FakeShell shell;
        auto drive = InstantDrive("SIM LOCKED");
        drive.security.userPassword = "secret";
        drive.security.levelMax = levelMax;
        auto m = Install(OneChannel(drive));
        TfrmPasport f(&shell.window);
        SCOPED_TRACE(levelMax);
        EXPECT_EQ(Row(f, info::label::Password),
                  levelMax ? QStringLiteral("Установвлен - максимальный") : QStringLiteral("Установвлен - высокий"));
        EXPECT_EQ(shell.panels[4], levelMax ? "Max" : "High");
        EXPECT_EQ(Row(f, info::label::Security), "Присутствует");
    }
}

TEST(Pasport, SmartSwitchedOff)
{
    FakeShell shell;
    auto drive = InstantDrive();
    drive.smart = sim::SmartMode::Off;
    auto m = Install(OneChannel(drive));
    TfrmPasport f(&shell.window);
    EXPECT_EQ(Row(f, info::label::Smart), "Присутствует");
    EXPECT_EQ(Row(f, info::label::SmartState), "Отключен");
}

TEST(Pasport, FailedIdentifyShowsTheMessageAndTouchesNothing)
{
    FakeShell shell;
    shell.panels = QStringList{"c", "Master", "OLD MODEL", "LBA28", "High", "HPA"};
    MessageRecorder messages;
    auto m = Install(OneChannel(InstantDrive()), /*device=*/1);  // no slave
    TfrmPasport f(&shell.window);
    EXPECT_EQ(f.ShowAllowed, 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MsgKind::Error);
    EXPECT_EQ(messages.shown[0].text, "Ошибка идентификации устройства!");
    EXPECT_TRUE(f.Memo->toPlainText().isEmpty());
    EXPECT_EQ(shell.panels, (QStringList{"c", "Master", "OLD MODEL", "LBA28", "High", "HPA"}));
    EXPECT_EQ(f.Identify().identifyFailure.outcome, ata::Outcome::NoDevice);
}

TEST(Pasport, HelpOpensTopicTen)
{
    FakeShell shell;
    HelpRecorder help;
    auto m = Install(OneChannel(InstantDrive()));
    TfrmPasport f(&shell.window);
    f.bbHelp->click();
    EXPECT_EQ(help.contexts, std::vector<int>{10});
}

TEST(Pasport, ShowPasportIsModalOnlyAfterASuccessfulIdentify)
{
    FakeShell shell;
    MessageRecorder messages;
    int modalsSeen = 0;
    // Whenever a modal window comes up, note it and press its OK button.
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* form = qobject_cast<TfrmPasport*>(QApplication::activeModalWidget())) {
            ++modalsSeen;
            EXPECT_EQ(form->parentWidget(), &shell.window);
            EXPECT_TRUE(form->isModal());
            form->bbOK->click();
        }
    });
    watcher.start(0);

    auto m = Install(OneChannel(InstantDrive("SIM MODAL")));
    ShowPasport(&shell.window);
    EXPECT_EQ(modalsSeen, 1);
    EXPECT_EQ(shell.panels[2], "SIM MODAL");
    EXPECT_TRUE(shell.window.findChildren<TfrmPasport*>().isEmpty()) << "destroyed after closing";

    auto empty = Install(OneChannel(InstantDrive()), /*device=*/1);
    ShowPasport(&shell.window);
    EXPECT_EQ(modalsSeen, 1) << "not shown after a failed identify";
    EXPECT_EQ(messages.Texts(), QStringList{"Ошибка идентификации устройства!"});
    EXPECT_TRUE(shell.window.findChildren<TfrmPasport*>().isEmpty());
}

// Every drive of the default machine, through its own channel.
TEST(Pasport, DefaultMachineReportsEveryDrive)
{
    struct Expect {
        const char* lba;
        const char* level;
        const char* hpa;
        const char* maxSectors;
        const char* hpaRow;
    };
    const std::map<std::string, Expect> expected = {
        {"SIMDISK SD-8000 HEALTHY", {"LBA48", "", "", "16`777`216", "Присутствует"}},
        {"SIMDISK SD-4000L LBA28", {"LBA28", "", "", "8`388`608", "Присутствует"}},
        {"SIMDISK SD-6000X DEFECTS", {"LBA48", "", "", "12`582`912", "Присутствует"}},
        {"SIMDISK SD-6000H HPA", {"LBA48", "", "HPA", "12`000`000", "Задействована"}},
        {"SIMDISK SD-3000T HUGE", {"LBA48", "", "", "5`860`533`168", "Присутствует"}},
        {"SIMDISK SD-2000S LOCKED", {"LBA48", "High", "", "4`194`304", "Присутствует"}},
        {"SIMDISK SD-1000N NOSMART", {"LBA48", "", "", "2`097`152", "Отсутствует"}},
        {"SIMDISK SD-5000M MAXLOCK", {"LBA48", "Max", "", "10`485`760", "Присутствует"}},
    };
    FakeShell shell;
    auto machine = sim::InstallMachine(sim::DefaultMachineSpec());
    int drives = 0;
    for (const auto& channel : machine->Channels()) {
        for (int dev = 0; dev < 2; ++dev) {
            sim::Drive* d = channel->DriveAt(dev);
            if (!d)
                continue;
            ++drives;
            const std::string model = d->Spec().model;
            SCOPED_TRACE(model);
            InitDLL(channel->Base(), channel->AltPort(), uint8_t(dev), 2, CounterFrequency(), nullptr);
            TfrmPasport f(&shell.window);
            ASSERT_EQ(f.ShowAllowed, 1);
            const auto it = expected.find(model);
            ASSERT_NE(it, expected.end());
            const Expect& e = it->second;
            EXPECT_EQ(MemoLines(f).size(), d->Spec().aamSupported ? 28 : 27);
            EXPECT_EQ(Row(f, info::label::Model), QString::fromStdString(model));
            EXPECT_EQ(Row(f, info::label::Serial), QString::fromStdString(d->Spec().serial));
            EXPECT_EQ(Row(f, info::label::Firmware), QString::fromStdString(d->Spec().firmware));
            EXPECT_EQ(Row(f, info::label::MaxSectors), e.maxSectors);
            EXPECT_EQ(Row(f, info::label::Hpa), QString::fromUtf8(e.hpaRow));
            ExpectPanels(shell, {QString::fromStdString(model), e.lba, e.level, e.hpa});
        }
    }
    EXPECT_EQ(drives, 8);
}
