#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

#include "ScanTestDrive.h"
#include "common/Format.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "support/SimFixture.h"
#include "surface/ScanThread.h"

using namespace scan;
using namespace scantest;

namespace {

// Runs the worker on its own thread and lets the UI thread serve its steps
// until it has ended.
bool RunOnThread(TScanThread& t)
{
    QEventLoop loop;
    QObject::connect(&t, &QThread::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    t.start();
    if (!t.isFinished())
        loop.exec();
    return t.wait(1000);
}

QString Codes(const RecordingSink& s)
{
    QString out;
    for (const ScanBlock& b : s.blocks)
        out += MapCode(b.cls);
    return out;
}

int VerifyCommands(sim::Drive* d)
{
    int n = 0;
    for (uint8_t op : d->CommandLog())
        n += (op == ata::kCmdVerify || op == ata::kCmdVerifyExt);
    return n;
}

}  // namespace

TEST(ScanThread, BlocksOf256AndAShortLastOneUpToTheEndLba)
{
    sim::DriveSpec d = testsim::InstantDrive("BLOCKS", 1 << 20);
    sim::FailRange atEnd;
    atEnd.first = 1536;  // the end LBA of the third range: never verified
    atEnd.count = 1;
    atEnd.ms = 0;
    d.failing.push_back(atEnd);
    Bench bench(d);

    struct Case {
        int64_t start, stop;
        std::vector<std::pair<int64_t, int64_t>> blocks;  // lba, count
    };
    const Case cases[] = {
        {0, 100, {{0, 100}}},
        {1000, 1300, {{1000, 256}, {1256, 44}}},
        {512, 1536, {{512, 256}, {768, 256}, {1024, 256}, {1280, 256}}},
    };
    for (const Case& c : cases) {
        RecordingSink sink;
        TScanThread t(true, c.start, c.stop, &sink);
        t.Execute();  // on this thread the steps run inline
        ASSERT_EQ(sink.blocks.size(), c.blocks.size()) << c.start;
        for (size_t i = 0; i < c.blocks.size(); ++i) {
            EXPECT_EQ(sink.blocks[i].lba, c.blocks[i].first);
            EXPECT_EQ(sink.blocks[i].count, c.blocks[i].second);
            EXPECT_GE(sink.blocks[i].result, 0);
        }
        EXPECT_EQ(t.CurrentLBA(), c.stop);
        EXPECT_FALSE(t.Cancelled());
        ASSERT_EQ(sink.started.size(), 1u);
        ASSERT_EQ(sink.finished.size(), 1u);
        ASSERT_EQ(sink.ended.size(), 1u);
        EXPECT_EQ(sink.finished[0].summary[2], QStringLiteral("Последний проверенный LBA..") + QString::number(c.stop));
        EXPECT_TRUE(sink.finished[0].summary[1].startsWith(QStringLiteral("Выполнено...")));
    }
    // The last verify of the third range ended just before its end LBA.
    EXPECT_EQ(bench.Drive()->LastTaskfile().Lba48Address(), 1280u);
    EXPECT_EQ(bench.monitor.pauses.load(), 0);
}

TEST(ScanThread, FailedBlocksAreClassedByTheErrorRegister)
{
    sim::DriveSpec d = testsim::InstantDrive("ERRORS", 1 << 16);
    const uint8_t bytes[] = {0x00, 0x08, 0x84, 0x50, 0x41, 0xC0};
    for (int i = 0; i < 6; ++i) {
        sim::FailRange f;
        f.first = uint64_t((2 * i + 1) * 256 + 7);
        f.count = 1;
        f.error = bytes[i];
        f.ms = 0;
        d.failing.push_back(f);
    }
    Bench bench(d);
    RecordingSink sink;
    TScanThread t(true, 0, 13 * 256, &sink, {QStringLiteral("ERRORS"), QStringLiteral("T1.0"), QStringLiteral("SN")});
    // Good blocks take 0 ms whatever the machine's load.
    t.SetVerifyFunction([](int64_t lba, int64_t n, uint8_t l48) {
        const int32_t r = VerifySectors(lba, n, l48);
        return r < 0 ? r : 0;
    });
    t.Execute();

    EXPECT_EQ(Codes(sink), QStringLiteral("1?1?1!1S1A1X1"));
    const int32_t expected[] = {-7, -7, -3, -4, -1, -5};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(sink.blocks[size_t(2 * i + 1)].result, expected[i]);
    EXPECT_EQ(t.ErrorValue(), 0xC0);
    EXPECT_EQ(ata::LastErrorRegister(), 0xC0);  // the byte read went to SetErrorReg
    // The monitor is paused around each error-register read and resumed
    // after every block.
    EXPECT_EQ(bench.monitor.pauses.load(), 6);
    EXPECT_EQ(bench.monitor.resumes.load(), 13 + 6);
    EXPECT_EQ(sink.blocks[3].reportLine, QStringLiteral("     Error Time   : 768"));
    EXPECT_EQ(sink.blocks[0].reportLine, QString());
    EXPECT_EQ(sink.finished[0].summary[6], QStringLiteral("Ошибок.....................6"));
    EXPECT_EQ(sink.started[0].header[1], QStringLiteral("Model: ERRORS FW: T1.0"));
    // The drive answers commands again after the error path's reset.
    EXPECT_EQ(VerifyCommands(bench.Drive()), 13);
}

TEST(ScanThread, ATimeOutOrABusyDriveIsTimeNotTheBitsOfItsStatus)
{
    // The rule: a busy drive answers the error register with its status.
    EXPECT_EQ(FailedBlockResult(false, 0x51, 0x50), -4) << "0x50 from a ready drive is still IDNF";
    EXPECT_EQ(FailedBlockResult(false, 0x51, 0x84), -3);
    EXPECT_EQ(FailedBlockResult(false, 0xD0, 0xD0), -7) << "BSY: the byte read is the status";
    EXPECT_EQ(FailedBlockResult(true, 0x51, 0x40), -7) << "the layer timed out";

    // A drive that holds BSY through the first verify: the layer times out
    // (1 s) and the block is Time; the reset frees the drive for the next.
    sim::DriveSpec d = testsim::InstantDrive("BUSY", 1 << 16);
    Bench bench(d);
    bench.Drive()->AddFault({sim::Fault::Kind::BsyStuck, ata::kCmdVerifyExt, 0, 1});
    RecordingSink sink;
    TScanThread t(true, 0, 512, &sink);
    t.SetVerifyFunction([](int64_t lba, int64_t n, uint8_t l48) {
        const int32_t r = VerifySectors(lba, n, l48);
        return r < 0 ? r : 0;
    });
    t.Execute();
    EXPECT_EQ(Codes(sink), QStringLiteral("?1"));
    EXPECT_EQ(sink.blocks[0].reportLine, QStringLiteral("     Error Time   : 0"));
    EXPECT_EQ(t.ErrorValue(), 0) << "no status byte taken for the error register";
}

TEST(ScanThread, APointPerBlockBelow25600Sectors)
{
    sim::DriveSpec d = testsim::InstantDrive("TIMED", 1 << 16);
    d.timeScale = 1;
    d.zones = {{1.0, 2.0}};  // 2 ms a block
    d.trackToTrackMs = 0;
    d.fullStrokeMs = 0;
    Bench bench(d);
    RecordingSink sink;
    TScanThread t(true, 0, 25599, &sink);
    EXPECT_EQ(t.BlocksPerPoint(), 0);
    t.Execute();
    ASSERT_EQ(sink.blocks.size(), 100u);
    ASSERT_EQ(sink.points.size(), 100u);
    double highest = 0;
    for (size_t i = 0; i < 100; ++i) {
        const ScanPoint& p = sink.points[i];
        EXPECT_EQ(p.lba, sink.blocks[i].lba + sink.blocks[i].count);
        ASSERT_GE(sink.blocks[i].result, 1);  // 2 ms a block, measured
        EXPECT_DOUBLE_EQ(p.speed, 125.0 / sink.blocks[i].result);
        if (p.speed > highest) {
            highest = p.speed;
            EXPECT_EQ(p.axisMaximum, SpeedAxisMaximum(p.speed));
        } else {
            EXPECT_EQ(p.axisMaximum, 0);
        }
    }
    EXPECT_GT(sink.points[0].axisMaximum, 0);  // the first point always sets the axis
    EXPECT_EQ(sink.finished[0].summary[4], QStringLiteral("Максимальная скорость......") + FormatSpeed(highest));
}

TEST(ScanThread, AFailedBlockWeighsFiveSecondsInItsPoint)
{
    sim::DriveSpec d = testsim::InstantDrive("FAIL5000", 1 << 16);
    sim::FailRange f;
    f.first = 300;
    f.count = 1;
    f.ms = 0;
    d.failing.push_back(f);
    Bench bench(d);
    RecordingSink sink;
    TScanThread t(true, 0, 768, &sink);
    // The two good blocks take no measurable time, so only the failed one
    // closes a point: k = 2 blocks in 5000 ms.
    t.SetVerifyFunction([](int64_t lba, int64_t n, uint8_t l48) {
        const int32_t r = VerifySectors(lba, n, l48);
        return r < 0 ? r : 0;
    });
    t.Execute();
    ASSERT_EQ(sink.points.size(), 1u);
    EXPECT_EQ(sink.points[0].lba, 512);
    EXPECT_DOUBLE_EQ(sink.points[0].speed, 2 * 125.0 / 5000);
    EXPECT_EQ(sink.points[0].axisMaximum, 1);
    EXPECT_EQ(sink.finished[0].summary[3], QStringLiteral("Минимальная скорость.......") + FormatSpeed(0.05));
}

TEST(ScanThread, StopsAtEachOfItsChecks)
{
    Bench bench(testsim::InstantDrive("STOPS", 1 << 16));
    {
        // Before the first block: no header, no block, no summary.
        RecordingSink sink;
        TScanThread t(true, 0, 4096, &sink);
        t.RequestStop();
        t.Execute();
        EXPECT_TRUE(sink.started.empty());
        EXPECT_TRUE(sink.blocks.empty());
        EXPECT_TRUE(sink.finished.empty());
        ASSERT_EQ(sink.ended.size(), 1u);
        EXPECT_FALSE(sink.ended[0].started);
        EXPECT_TRUE(t.Cancelled());
    }
    for (bool failed : {true, false}) {
        // Right after a verify: the block is neither shown nor counted.
        RecordingSink sink;
        TScanThread t(true, 0, 4096, &sink);
        t.SetVerifyFunction([&](int64_t lba, int64_t, uint8_t) -> int32_t {
            if (lba == 512) {
                t.RequestStop();
                return failed ? -1 : 1000;
            }
            return 1000;
        });
        const int pausesBefore = bench.monitor.pauses.load();
        t.Execute();
        EXPECT_EQ(sink.blocks.size(), 2u);
        EXPECT_TRUE(t.Cancelled());
        EXPECT_EQ(t.CurrentLBA(), 512);
        EXPECT_EQ(bench.monitor.pauses.load(), pausesBefore);  // no error path
        ASSERT_EQ(sink.finished.size(), 1u);
        EXPECT_TRUE(sink.finished[0].summary[1].startsWith(QStringLiteral("Отменено...................")));
        EXPECT_EQ(sink.finished[0].summary[2], QStringLiteral("Последний проверенный LBA..512"));
    }
}

TEST(ScanThread, StopWhilePausedEndsWithoutAnotherBlock)
{
    Bench bench(testsim::InstantDrive("PAUSE", 1 << 24));
    RecordingSink sink;
    TScanThread t(true, 0, 1 << 24, &sink);
    t.SetPauseRequest(true);  // suspends itself before the first block
    QSignalSpy suspended(&t, &TScanThread::SuspendedChanged);
    QEventLoop loop;
    QObject::connect(&t, &QThread::finished, &loop, &QEventLoop::quit);
    t.start();
    ASSERT_TRUE(suspended.wait(30000));
    EXPECT_TRUE(suspended.at(0).at(0).toBool());
    EXPECT_TRUE(t.Suspended());
    EXPECT_TRUE(sink.blocks.empty());
    t.RequestStop();  // sets the request, then wakes it
    if (!t.isFinished())
        loop.exec();
    ASSERT_TRUE(t.wait(5000));
    EXPECT_TRUE(sink.blocks.empty());
    EXPECT_EQ(VerifyCommands(bench.Drive()), 0);
    ASSERT_EQ(sink.finished.size(), 1u);
    EXPECT_TRUE(sink.finished[0].cancelled);
    EXPECT_TRUE(sink.finished[0].summary[1].startsWith(QStringLiteral("Отменено...................")));
    // No graph point at all: both speeds read 0.0.
    EXPECT_EQ(sink.finished[0].summary[3], QStringLiteral("Минимальная скорость.......") + FormatSpeed(0.0));
    EXPECT_EQ(sink.finished[0].summary[4], QStringLiteral("Максимальная скорость......") + FormatSpeed(0.0));
}

TEST(ScanThread, PauseAndContinueOnItsOwnThread)
{
    Bench bench(testsim::InstantDrive("CONT", 1 << 16));
    RecordingSink sink;
    TScanThread t(true, 0, 1 << 16, &sink);
    t.SetPauseRequest(true);
    QSignalSpy changes(&t, &TScanThread::SuspendedChanged);
    t.start();
    ASSERT_TRUE(changes.wait(30000));
    t.SetPauseRequest(false);
    t.Resume();
    t.Resume();  // a second resume of a running worker does nothing
    ASSERT_TRUE(RunOnThread(t));
    EXPECT_EQ(sink.blocks.size(), 256u);
    EXPECT_FALSE(t.Cancelled());
    EXPECT_FALSE(t.Suspended());
}

TEST(ScanThread, WholeScanOfADriveWithEveryClass)
{
    Bench bench(EveryClassDrive());
    RecordingSink sink;
    TScanThread t(true, 0, 15459, &sink, {QStringLiteral("SIMDISK EVERY CLASS"), QStringLiteral("EC1.0"),
                                            QStringLiteral("EVERY0001")});
    t.SetVerifyFunction(&ModelledVerify);
    ASSERT_TRUE(RunOnThread(t));

    EXPECT_EQ(Codes(sink), QString::fromLatin1(kEveryClassMap));
    QStringList lines;
    for (const ScanBlock& b : sink.blocks)
        if (!b.reportLine.isEmpty())
            lines << b.reportLine;
    EXPECT_EQ(lines, EveryClassReportLines());

    const std::array<int64_t, kClassCount> counts = {39, 1, 1, 2, 2, 2, 2, 1, 1, 3, 3, 2, 2};
    EXPECT_EQ(t.Counters().count, counts);
    ASSERT_EQ(sink.finished.size(), 1u);
    const QStringList& s = sink.finished[0].summary;
    EXPECT_EQ(s[2], QStringLiteral("Последний проверенный LBA..15459"));
    EXPECT_EQ(s[5], QStringLiteral("Предупреждений.............4"));
    EXPECT_EQ(s[6], QStringLiteral("Ошибок.....................14"));
    EXPECT_EQ(sink.started[0].header[2], QStringLiteral("s/n: EVERY0001"));
    EXPECT_EQ(bench.monitor.pauses.load(), 14);
}
