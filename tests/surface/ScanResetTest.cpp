// The surface scan resets the channel after every failed block, so that a
// drive left busy by a failure does not fail the blocks after it.
#include <gtest/gtest.h>

#include "ScanTestDrive.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "support/SimFixture.h"
#include "surface/ScanThread.h"

using namespace scantest;

TEST(ScanReset, EveryFailedBlockIsFollowedByASoftReset)
{
    sim::DriveSpec d = testsim::InstantDrive("RESETS", 1 << 16);
    d.failing.push_back({300, 1, ata::kErUnc, 0});
    d.failing.push_back({1100, 2, ata::kErIdnf, 0});
    Bench bench(d);
    // The fourth block leaves the drive busy until a reset.
    int verifies = 0;
    RecordingSink sink;
    TScanThread t(true, 0, 8 * 256, &sink, {QStringLiteral("RESETS"), QStringLiteral("T1.0"), QStringLiteral("SN")});
    t.SetVerifyFunction([&](int64_t lba, int64_t n, uint8_t l48) {
        if (++verifies == 4)
            bench.Drive()->AddFault({sim::Fault::Kind::BsyStuck, ata::kCmdVerifyExt, 0, 1});
        return VerifySectors(lba, n, l48);
    });
    t.Execute();

    ASSERT_EQ(sink.blocks.size(), 8u);
    int failed = 0;
    for (const ScanBlock& b : sink.blocks)
        failed += b.result < 0;
    EXPECT_EQ(failed, 3) << "blocks 1, 3 and 4 fail; the ones after the busy drive do not";
    EXPECT_EQ(bench.Drive()->ResetCount(), 3u);
}
