// The SMART viewer against simulated drives: what it shows and draws, the
// SMART state it leaves, its messages and its saved report.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "common/Clock.h"
#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/Services.h"
#include "common/TextFile.h"
#include "info/Smart.h"
#include "support/FakeShell.h"
#include "support/SimFixture.h"

using namespace testsim;

namespace {

// Below and equal to the threshold, an unnamed id, a temperature, no
// threshold entry, the largest raw value.
sim::DriveSpec ReportDrive()
{
    sim::DriveSpec d = InstantDrive("SIMDISK SMART REPORT");
    d.serial = "SRP0042";
    d.attributes = {{1, 0x0F, 72, 60, 6, 84213},        {5, 0x33, 30, 30, 36, 1536},
                    {190, 0x22, 45, 40, 45, 47},         {231, 0x22, 100, 100, 0, 0x0032000F0028},
                    {240, 0x32, 100, 100, -1, 0x060504030201}, {9, 0x32, 64, 64, 0, 0xFFFFFFFFFFFF}};
    return d;
}

QStringList GridRow(const TfrmSMART& f, int row)
{
    QStringList cells;
    for (int c = 0; c < info::kSmartColumns; ++c)
        cells << f.Cells(c, row);
    return cells;
}

// Pure red pixels in a table row as the grid draws it.
int RedPixels(TfrmSMART& f, int tableRow)
{
    const QImage img = f.Grid->viewport()->grab().toImage();
    const QRect r = f.Grid->visualRect(f.Grid->model()->index(tableRow, 0));
    int red = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = 0; x < img.width(); ++x)
            red += img.pixelColor(x, y) == QColor(255, 0, 0);
    return red;
}

struct Bench {
    QTemporaryDir dir;
    FakeShell shell;
    MessageRecorder messages;
    Bench() { Ctx().ExeDir = dir.path() + "/"; }
    ~Bench() { ResetDriveContext(); }
};

}  // namespace

TEST(SmartViewer, SwitchedOffDriveIsShownDrawnAndLeftOff)
{
    Bench bench;
    HelpRecorder help;
    auto drive = ReportDrive();
    drive.smart = sim::SmartMode::Off;
    auto m = Install(OneChannel(drive));
    TfrmSMART f(&bench.shell.window);
    ASSERT_EQ(f.ShowAllowed, 1);
    EXPECT_TRUE(f.SmartWasDisabled);
    EXPECT_FALSE(m->DriveAt(0x1F0, 0)->State().smartEnabled) << "off again after the reading";
    const auto log = m->DriveAt(0x1F0, 0)->CommandLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), ata::kCmdSmart), 4) << "enable, read, read, disable";
    EXPECT_TRUE(bench.messages.shown.empty());
    EXPECT_EQ(f.windowTitle(), "SMART - SIMDISK SMART REPORT");
    EXPECT_EQ(Ctx().Model, "SIMDISK SMART REPORT");
    EXPECT_EQ(f.SerialNumber, "SRP0042");
    EXPECT_TRUE(f.bbSave->isEnabled());

    EXPECT_EQ(f.RowCount(), 7);
    EXPECT_EQ(f.FixedRows(), 1);
    EXPECT_EQ(f.Grid->rowCount(), 6) << "the fixed row stays above the scrolling rows";
    EXPECT_EQ(GridRow(f, 0), (QStringList{"Название атрибута", "Порог", "Значение", "Худшее", "Внутренний формат"}));
    EXPECT_EQ(GridRow(f, 3), (QStringList{"Attribute 190", "45", "45", "40", "47"}));
    EXPECT_EQ(GridRow(f, 4), (QStringList{"Temperature", "0", "100", "100", "40°C"}));
    EXPECT_EQ(f.Grid->item(4, 0)->text(), "Head Flying Hours/Write Head");
    EXPECT_EQ(f.Grid->columnWidth(0), 316);
    EXPECT_EQ(f.Grid->rowHeight(0), 16);

    f.Grid->clearSelection();
    EXPECT_GT(RedPixels(f, 1), 0) << "30 below 36";
    EXPECT_EQ(RedPixels(f, 2), 0) << "45 equal to 45";
    EXPECT_EQ(RedPixels(f, 4), 0) << "no threshold entry";

    f.bbHelp->click();
    EXPECT_EQ(help.contexts, std::vector<int>{20});
}

TEST(SmartViewer, FifteenAttributesNarrowTheNameColumnAllIdsZeroLeaveTheHeaderAlone)
{
    Bench bench;
    Ctx().IniFile = std::make_unique<IniFile>(bench.dir.filePath("Voran.ini"));
    Ctx().IniFile->WriteInteger("SMART", "RawFormat", 0);
    for (int count : {14, 15}) {
        auto d = InstantDrive("MANY");
        for (int i = 1; i <= count; ++i)
            d.attributes.push_back({uint8_t(i), 0x33, 100, 100, 10, 0xABCD});
        auto m = Install(OneChannel(d));
        TfrmSMART f(&bench.shell.window);
        EXPECT_EQ(f.Grid->columnWidth(0), count == 15 ? 300 : 316) << count;
        EXPECT_EQ(f.Cells(4, 1), "00000000ABCD");
    }
    auto d = InstantDrive("NONE");
    d.attributes = {{0, 0, 0, 0, 0, 0}};
    auto m = Install(OneChannel(d));
    TfrmSMART f(&bench.shell.window);
    ASSERT_EQ(f.ShowAllowed, 1);
    EXPECT_EQ(f.FixedRows(), 0);
    EXPECT_FALSE(f.Grid->horizontalHeader()->isVisibleTo(&f));
    EXPECT_EQ(f.Grid->rowCount(), 1);
    EXPECT_EQ(f.Grid->item(0, 1)->text(), "Порог");
    EXPECT_EQ(f.ReportLines(QDateTime::currentDateTime()).size(), 6 + 4) << "no data lines";
}

TEST(SmartViewer, ShownModallyOnlyAfterASuccessfulReading)
{
    struct Case {
        const char* message;
        sim::SmartMode mode;
        uint8_t device;
        bool fault;
    };
    for (const Case& c : {Case{"", sim::SmartMode::Off, 0, false},
                          Case{"Ошибка идентификации устройства!", sim::SmartMode::On, 1, false},
                          Case{"SMART не поддерживается!", sim::SmartMode::Unsupported, 0, false},
                          Case{"Ошибка включения SMART!", sim::SmartMode::Off, 0, true},
                          Case{"Ошибка получения атрибутов SMART!", sim::SmartMode::On, 0, true}}) {
        Bench bench;
        auto d = InstantDrive();
        d.smart = c.mode;
        auto m = Install(OneChannel(d), c.device);
        if (c.fault)
            m->DriveAt(0x1F0, 0)->AddFault({sim::Fault::Kind::Error, ata::kCmdSmart, 0x04, 1});
        int modals = 0;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (auto* w = qobject_cast<TfrmSMART*>(QApplication::activeModalWidget())) {
                ++modals;
                w->bbClose->click();
            }
        });
        watcher.start(0);
        ShowSmartViewer(&bench.shell.window);
        const QString message = QString::fromUtf8(c.message);
        EXPECT_EQ(modals, message.isEmpty() ? 1 : 0) << c.message;
        EXPECT_EQ(bench.messages.Texts(), message.isEmpty() ? QStringList() : QStringList{message});
        EXPECT_TRUE(bench.shell.window.findChildren<TfrmSMART*>().isEmpty()) << "destroyed";
        EXPECT_EQ(m->DriveAt(0x1F0, 0)->State().smartEnabled, c.mode == sim::SmartMode::On) << c.message;
    }
}

TEST(SmartViewer, EveryDriveOfTheDefaultMachineShowsItsTableOrTheMessage)
{
    Bench bench;
    auto machine = sim::InstallMachine(sim::DefaultMachineSpec());
    int tables = 0;
    for (const auto& channel : machine->Channels())
        for (int dev = 0; dev < 2; ++dev)
            if (sim::Drive* d = channel->DriveAt(dev)) {
                const bool wasOn = d->State().smartEnabled;
                InitDLL(channel->Base(), channel->AltPort(), uint8_t(dev), 2, CounterFrequency(), nullptr);
                TfrmSMART f(&bench.shell.window);
                tables += f.ShowAllowed;
                EXPECT_EQ(f.ShowAllowed == 0, d->Spec().smart == sim::SmartMode::Unsupported) << d->Spec().model;
                EXPECT_EQ(d->State().smartEnabled, wasOn) << d->Spec().model;
            }
    EXPECT_EQ(tables, 7);
    EXPECT_EQ(bench.messages.Texts(), QStringList{"SMART не поддерживается!"});
}

TEST(SmartViewer, SavedReportEqualsTheExpectedFileAndAFailedSaveKeepsTheTable)
{
    Bench bench;
    auto m = Install(OneChannel(ReportDrive()));
    TfrmSMART f(&bench.shell.window);
    const QDateTime moment(QDate(2026, 2, 1), QTime(9, 5, 7));
    f.Now = [&] { return moment; };
    QString file = bench.dir.filePath("report.txt"), askedDir, proposed;
    f.SaveDialog = [&](QWidget*, const QString& dir, const QString& name) {
        askedDir = dir;
        proposed = name;
        return file;
    };
    f.bbSave->click();
    EXPECT_EQ(askedDir, bench.dir.path() + "/Log");
    EXPECT_EQ(proposed, SafeFileName("SMART - SIMDISK SMART REPORT - " + ShortDateText(moment) + "_09.05.07"));
    QFile saved(file), expected(QStringLiteral(VORAN_TEST_DATA_DIR "/smart-report.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly) && expected.open(QIODevice::ReadOnly));
    // The date and time follow the user's locale: the expected file holds placeholders.
    QByteArray want = expected.readAll();
    want.replace("{date}", EncodeWin1251(ShortDateText(moment))).replace("{time}", EncodeWin1251(LongTimeText(moment)));
    const QList<QByteArray> got = saved.readAll().split('\n'), lines = want.split('\n');
    ASSERT_EQ(got.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_EQ(got[i], lines[i]) << "line " << i + 1;

    file = bench.dir.filePath("no/such/dir/report.txt");
    f.bbSave->click();
    ASSERT_EQ(bench.messages.shown.size(), 1u);
    EXPECT_EQ(bench.messages.shown[0].kind, MsgKind::Error);
    EXPECT_TRUE(bench.messages.shown[0].text.startsWith("Не удалось сохранить отчет в файл " + file + ": "));
    EXPECT_FALSE(bench.messages.shown[0].text.endsWith(": ")) << "with the reason";
    EXPECT_EQ(f.RowCount(), 7);
    EXPECT_TRUE(f.bbSave->isEnabled());
}
