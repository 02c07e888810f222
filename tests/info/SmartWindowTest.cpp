// The SMART viewer against simulated drives: what it reads and shows, the
// SMART state it leaves, its messages, its drawing and its saved report.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>

#include "common/Clock.h"
#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/Services.h"
#include "common/TextFile.h"
#include "info/Smart.h"
#include "sim/SimSpec.h"
#include "support/FakeShell.h"
#include "support/SimFixture.h"

using namespace testsim;

namespace {

// Attributes that cover the cell rules: below and equal to the threshold,
// an unnamed id, a temperature, no threshold entry, the largest raw value.
sim::DriveSpec ReportDrive()
{
    sim::DriveSpec d = InstantDrive("SIMDISK SMART REPORT");
    d.serial = "SRP0042";
    d.attributes = {
        {1, 0x000F, 72, 60, 6, 84213},
        {5, 0x0033, 30, 30, 36, 1536},
        {190, 0x0022, 45, 40, 45, 47},
        {231, 0x0022, 100, 100, 0, 0x0032000F0028ULL},
        {240, 0x0032, 100, 100, -1, 0x060504030201ULL},
        {9, 0x0032, 64, 64, 0, 0xFFFFFFFFFFFFULL},
    };
    return d;
}

sim::DriveSpec ManyAttributes(int count)
{
    sim::DriveSpec d = InstantDrive("MANY ATTRIBUTES");
    for (int i = 0; i < count; ++i)
        d.attributes.push_back({uint8_t(i + 1), 0x0033, 100, 100, 10, uint64_t(0xABCD + i)});
    return d;
}

int SmartCommands(sim::Drive* d)
{
    const auto log = d->CommandLog();
    return int(std::count(log.begin(), log.end(), ata::kCmdSmart));
}

QStringList GridRow(const TfrmSMART& f, int row)
{
    QStringList cells;
    for (int c = 0; c < info::kSmartColumns; ++c)
        cells << f.Cells(c, row);
    return cells;
}

// Pixels of pure red in the grid's table row `tableRow`.
int RedPixels(TfrmSMART& f, int tableRow)
{
    f.Grid->viewport()->resize(f.Grid->viewport()->size());
    const QImage img = f.Grid->viewport()->grab().toImage();
    const QRect r = f.Grid->visualRect(f.Grid->model()->index(tableRow, 2));
    int red = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = 0; x < img.width(); ++x)
            red += img.pixelColor(x, y) == QColor(255, 0, 0);
    return red;
}

struct SaveBench {
    QTemporaryDir dir;
    FakeShell shell;
    MessageRecorder messages;
    SaveBench() { Ctx().ExeDir = dir.path() + "/"; }
    ~SaveBench() { ResetDriveContext(); }
};

}  // namespace

TEST(SmartViewer, SwitchedOffDriveIsReadShownAndLeftOff)
{
    SaveBench bench;
    auto drive = ReportDrive();
    drive.smart = sim::SmartMode::Off;
    auto m = Install(OneChannel(drive));
    TfrmSMART f(&bench.shell.window);
    ASSERT_EQ(f.ShowAllowed, 1);
    EXPECT_TRUE(bench.messages.shown.empty());
    EXPECT_TRUE(f.SmartWasDisabled);
    EXPECT_FALSE(m->DriveAt(0x1F0, 0)->State().smartEnabled) << "off again after the reading";
    EXPECT_EQ(SmartCommands(m->DriveAt(0x1F0, 0)), 4) << "enable, attributes, thresholds, disable";

    EXPECT_EQ(f.windowTitle(), "SMART - SIMDISK SMART REPORT");
    EXPECT_EQ(Ctx().Model, "SIMDISK SMART REPORT");
    EXPECT_EQ(f.SerialNumber, "SRP0042");
    EXPECT_EQ(f.bbSave->text(), "Сохранить");
    EXPECT_EQ(f.bbClose->text(), "Закрыть");
    EXPECT_EQ(f.bbHelp->text(), "&Help");
    EXPECT_TRUE(f.bbSave->isEnabled());

    EXPECT_EQ(f.RowCount(), 7);
    EXPECT_EQ(f.FixedRows(), 1);
    EXPECT_EQ(f.Grid->rowCount(), 6) << "the fixed row stays above the scrolling rows";
    EXPECT_TRUE(f.Grid->horizontalHeader()->isVisibleTo(&f));
    EXPECT_EQ(GridRow(f, 0), (QStringList{"Название атрибута", "Порог", "Значение", "Худшее", "Внутренний формат"}));
    EXPECT_EQ(GridRow(f, 1), (QStringList{"Raw Read Error Rate", "6", "72", "60", "84213"}));
    EXPECT_EQ(GridRow(f, 3), (QStringList{"Attribute 190", "45", "45", "40", "47"}));
    EXPECT_EQ(GridRow(f, 4), (QStringList{"Temperature", "0", "100", "100", "40°C"}));
    EXPECT_EQ(GridRow(f, 5), (QStringList{"Head Flying Hours/Write Head", "", "100", "100", "6618611909121"}));
    for (int c = 0; c < info::kSmartColumns; ++c) {
        EXPECT_EQ(f.Grid->item(0, c)->text(), f.Cells(c, 1));
        EXPECT_EQ(f.Grid->columnWidth(c), info::kSmartColumnWidths[c]);
    }
    EXPECT_EQ(f.Grid->rowHeight(0), 16);
    EXPECT_EQ(f.Grid->selectionBehavior(), QAbstractItemView::SelectRows);
}

TEST(SmartViewer, BelowItsThresholdIsDrawnRedEqualIsNot)
{
    SaveBench bench;
    auto m = Install(OneChannel(ReportDrive()));
    TfrmSMART f(&bench.shell.window);
    ASSERT_EQ(f.ShowAllowed, 1);
    f.Grid->clearSelection();
    f.Grid->setCurrentItem(nullptr);
    EXPECT_GT(RedPixels(f, 1), 0) << "Reallocated Sector Count: 30 below 36";
    EXPECT_EQ(RedPixels(f, 2), 0) << "Attribute 190: 45 equal to 45";
    EXPECT_EQ(RedPixels(f, 4), 0) << "no threshold entry";
}

TEST(SmartViewer, FifteenAttributesNarrowTheNameColumnRawFormatFromTheIni)
{
    SaveBench bench;
    {
        auto m = Install(OneChannel(ManyAttributes(14)));
        TfrmSMART f(&bench.shell.window);
        EXPECT_EQ(f.RowCount(), 15);
        EXPECT_EQ(f.Grid->columnWidth(0), 316);
        EXPECT_EQ(f.Cells(4, 1), "43981") << "decimal without a configuration file";
    }
    Ctx().IniFile = std::make_unique<IniFile>(bench.dir.filePath("Voran.ini"));
    Ctx().IniFile->WriteInteger("SMART", "RawFormat", 0);
    auto m = Install(OneChannel(ManyAttributes(15)));
    TfrmSMART f(&bench.shell.window);
    EXPECT_EQ(f.RowCount(), 16);
    EXPECT_EQ(f.Grid->columnWidth(0), 300);
    EXPECT_EQ(f.RawFormat, 0);
    EXPECT_EQ(f.Cells(4, 1), "00000000ABCD");
    EXPECT_EQ(f.Cells(0, 13), "Soft Read Error Rate");
    EXPECT_EQ(f.Cells(0, 15), "Attribute 15");
}

TEST(SmartViewer, AllIdsZeroShowTheHeaderRowAlone)
{
    SaveBench bench;
    auto d = InstantDrive("NO ATTRIBUTES");
    d.attributes = {{0, 0, 0, 0, 0, 0}};
    auto m = Install(OneChannel(d));
    TfrmSMART f(&bench.shell.window);
    ASSERT_EQ(f.ShowAllowed, 1);
    EXPECT_EQ(f.RowCount(), 1);
    EXPECT_EQ(f.FixedRows(), 0);
    EXPECT_FALSE(f.Grid->horizontalHeader()->isVisibleTo(&f));
    EXPECT_EQ(f.Grid->rowCount(), 1);
    EXPECT_EQ(f.Grid->item(0, 1)->text(), "Порог");
    const QStringList report = f.ReportLines(QDateTime::currentDateTime());
    EXPECT_EQ(report.size(), 6 + 4) << "head, borders, header and rule only";
    EXPECT_EQ(report.last(), report[6]);
    EXPECT_TRUE(report[8].startsWith("| -- |"));
}

TEST(SmartViewer, EveryFailureShowsItsMessageAndTheWindowStaysShut)
{
    struct Case {
        const char* message;
        sim::SmartMode mode;
        uint8_t device;
        bool fault;
    };
    for (const Case& c : {Case{"Ошибка идентификации устройства!", sim::SmartMode::On, 1, false},
                          Case{"SMART не поддерживается!", sim::SmartMode::Unsupported, 0, false},
                          Case{"Ошибка включения SMART!", sim::SmartMode::Off, 0, true},
                          Case{"Ошибка получения атрибутов SMART!", sim::SmartMode::On, 0, true}}) {
        SCOPED_TRACE(c.message);
        SaveBench bench;
        auto d = InstantDrive();
        d.smart = c.mode;
        auto m = Install(OneChannel(d), c.device);
        if (c.fault)
            m->DriveAt(0x1F0, 0)->AddFault({sim::Fault::Kind::Error, ata::kCmdSmart, 0x04, 1});
        int modals = 0;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (auto* w = QApplication::activeModalWidget()) {
                ++modals;
                w->close();
            }
        });
        watcher.start(0);
        ShowSmartViewer(&bench.shell.window);
        EXPECT_EQ(modals, 0);
        EXPECT_EQ(bench.messages.Texts(), QStringList{QString::fromUtf8(c.message)});
        EXPECT_EQ(bench.messages.shown.at(0).kind, MsgKind::Error);
        EXPECT_EQ(m->DriveAt(0x1F0, 0)->State().smartEnabled, c.mode == sim::SmartMode::On) << "state as found";
    }
}

TEST(SmartViewer, ShownModallyAfterASuccessfulReadingAndDestroyed)
{
    SaveBench bench;
    auto m = Install(OneChannel(ReportDrive()));
    int modals = 0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* form = qobject_cast<TfrmSMART*>(QApplication::activeModalWidget())) {
            ++modals;
            EXPECT_EQ(form->parentWidget(), &bench.shell.window);
            form->bbClose->click();
        }
    });
    watcher.start(0);
    ShowSmartViewer(&bench.shell.window);
    EXPECT_EQ(modals, 1);
    EXPECT_TRUE(bench.shell.window.findChildren<TfrmSMART*>().isEmpty());
}

TEST(SmartViewer, EveryDriveOfTheDefaultMachineShowsItsTableOrTheMessage)
{
    SaveBench bench;
    auto machine = sim::InstallMachine(sim::DefaultMachineSpec());
    int tables = 0;
    for (const auto& channel : machine->Channels()) {
        for (int dev = 0; dev < 2; ++dev) {
            sim::Drive* d = channel->DriveAt(dev);
            if (!d)
                continue;
            SCOPED_TRACE(d->Spec().model);
            const bool wasOn = d->State().smartEnabled;
            bench.messages.Clear();
            InitDLL(channel->Base(), channel->AltPort(), uint8_t(dev), 2, CounterFrequency(), nullptr);
            TfrmSMART f(&bench.shell.window);
            if (d->Spec().smart == sim::SmartMode::Unsupported) {
                EXPECT_EQ(f.ShowAllowed, 0);
                EXPECT_EQ(bench.messages.Texts(), QStringList{"SMART не поддерживается!"});
                continue;
            }
            ++tables;
            EXPECT_EQ(f.ShowAllowed, 1);
            EXPECT_TRUE(bench.messages.shown.empty());
            EXPECT_GT(f.RowCount(), 1);
            EXPECT_EQ(d->State().smartEnabled, wasOn);
        }
    }
    EXPECT_EQ(tables, 7);
}

TEST(SmartViewer, SavedReportEqualsTheExpectedFileLineForLine)
{
    SaveBench bench;
    auto m = Install(OneChannel(ReportDrive()));
    TfrmSMART f(&bench.shell.window);
    ASSERT_EQ(f.ShowAllowed, 1);
    const QDateTime moment(QDate(2026, 2, 1), QTime(9, 5, 7));
    f.Now = [&] { return moment; };
    QString askedDir, proposed;
    const QString file = bench.dir.filePath("report.txt");
    f.SaveDialog = [&](QWidget*, const QString& dir, const QString& name) {
        askedDir = dir;
        proposed = name;
        return file;
    };
    f.bbSave->click();
    EXPECT_TRUE(bench.messages.shown.empty());
    EXPECT_EQ(askedDir, bench.dir.path() + "/Log");
    EXPECT_EQ(proposed, SafeFileName("SMART - SIMDISK SMART REPORT - " + ShortDateText(moment) + "_09.05.07"));

    QFile saved(file), expected(QStringLiteral(VORAN_TEST_DATA_DIR "/smart-report.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
    const QByteArray expectedBytes = expected.readAll();
    ASSERT_TRUE(expectedBytes.contains("\r\n")) << "the expected file keeps its CR LF";
    // The date and time follow the user's locale; the expected file holds placeholders.
    QByteArray want = expectedBytes;
    want.replace("{date}", EncodeWin1251(ShortDateText(moment)));
    want.replace("{time}", EncodeWin1251(LongTimeText(moment)));
    const QList<QByteArray> got = saved.readAll().split('\n');
    const QList<QByteArray> lines = want.split('\n');
    ASSERT_EQ(got.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_EQ(got[i], lines[i]) << "line " << i + 1;
}

TEST(SmartViewer, AFailedSaveSaysWhyAndKeepsTheTable)
{
    SaveBench bench;
    auto m = Install(OneChannel(ReportDrive()));
    TfrmSMART f(&bench.shell.window);
    const QString file = bench.dir.filePath("no/such/dir/report.txt");
    f.SaveDialog = [&](QWidget*, const QString&, const QString&) { return file; };
    f.bbSave->click();
    ASSERT_EQ(bench.messages.shown.size(), 1u);
    EXPECT_EQ(bench.messages.shown[0].kind, MsgKind::Error);
    EXPECT_TRUE(bench.messages.shown[0].text.startsWith("Не удалось сохранить отчет в файл " + file + ": "));
    EXPECT_GT(bench.messages.shown[0].text.size(), QString("Не удалось сохранить отчет в файл " + file + ": ").size());
    EXPECT_EQ(f.RowCount(), 7);
    EXPECT_TRUE(f.bbSave->isEnabled());
    EXPECT_FALSE(QFile::exists(file));

    // Cancelling the dialog writes nothing and says nothing.
    bench.messages.Clear();
    f.SaveDialog = [](QWidget*, const QString&, const QString&) { return QString(); };
    f.bbSave->click();
    EXPECT_TRUE(bench.messages.shown.empty());
}

TEST(SmartViewer, HelpOpensTopicTwentyAndCloseEndsTheDialog)
{
    SaveBench bench;
    HelpRecorder help;
    auto m = Install(OneChannel(ReportDrive()));
    TfrmSMART f(&bench.shell.window);
    f.bbHelp->click();
    EXPECT_EQ(help.contexts, std::vector<int>{20});
    f.show();
    f.bbClose->click();
    EXPECT_FALSE(f.isVisible());
}
