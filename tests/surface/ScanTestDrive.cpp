#include "ScanTestDrive.h"

#include "common/DriveContext.h"
#include "common/Clock.h"
#include "hw/Ata.h"
#include "support/SimFixture.h"

namespace scantest {

Bench::Bench(const sim::DriveSpec& drive)
{
    machine = testsim::Install(testsim::OneChannel(drive));
    InitDLL(0x1F0, 0x3F6, 0, 1, CounterFrequency(), &monitor);
    Ctx().BasePort = 0x1F0;
    Ctx().AltPort = 0x3F6;
    Ctx().Device = 0;
    shell.monitor = &monitor;
}

Bench::~Bench()
{
    InitDLL(0x1F0, 0x3F6, 0, 1, CounterFrequency(), nullptr);
}

sim::Drive* Bench::Drive() const { return machine->DriveAt(0x1F0, 0); }

namespace {

struct Slow {
    int64_t block;
    int32_t extraUs;
};

// Block -> extra time: 4.5 ms rounds to 4 ("1"), 5.5 ms to 6 ("2"),
// 149.5 ms to 150 ("5").
const Slow kSlow[] = {
    {2, 4200},    // 4.5 ms   "1"
    {3, 5200},    // 5.5 ms   "2"
    {5, 29700},   // 30 ms    "3"
    {7, 89700},   // 90 ms    "4"
    {9, 149200},  // 149.5 ms "5"
    {11, 599700}, // 600 ms   "6"
    {12, 499100}, // 499.4 ms "5"
    {13, 499700}, // 500 ms   "6"
    {45, 90000},  // slow and failing: the error counts
    {60, 59700},  // 60 ms, the short last block "4"
};

}  // namespace

sim::DriveSpec EveryClassDrive()
{
    sim::DriveSpec d = testsim::InstantDrive("SIMDISK EVERY CLASS", 15460, true);
    d.serial = "EVERY0001";
    d.firmware = "EC1.0";
    auto fail = [&](int64_t sector, uint64_t count, uint8_t error) {
        sim::FailRange f;
        f.first = uint64_t(sector);
        f.count = count;
        f.error = error;
        f.ms = 0;
        d.failing.push_back(f);
    };
    fail(20 * 256 + 10, 1, 0x01);   // AMNF
    fail(22 * 256, 1, 0x02);        // T0NF
    fail(24 * 256 + 255, 1, 0x84);  // ABRT (bit 2 before bit 7)
    fail(26 * 256 + 1, 1, 0x50);    // IDNF (bit 4 before bit 6)
    fail(28 * 256 + 100, 5, 0x40);  // UNC
    fail(30 * 256, 1, 0x80);        // BBK
    fail(32 * 256, 1, 0x00);        // Time
    fail(34 * 256, 1, 0x08);        // Time
    fail(36 * 256, 1, 0x41);        // AMNF
    fail(38 * 256, 1, 0xC0);        // UNC
    d.softBad.push_back(40 * 256 + 17);  // UNC
    fail(42 * 256 + 200, 100, 0x10);     // IDNF in two blocks
    fail(45 * 256 + 3, 1, 0x80);         // BBK although slow
    fail(15459, 1, 0x04);                // at the end LBA itself: never verified
    for (const Slow& s : kSlow) {
        sim::SlowRange r;
        r.first = uint64_t(s.block * 256);
        r.count = 1;
        r.extraMs = s.extraUs / 1000.0;
        d.slow.push_back(r);
    }
    return d;
}

int32_t ModelMicros(int64_t lba, int64_t count)
{
    int32_t us = 300;
    for (const Slow& s : kSlow)
        if (s.block * 256 >= lba && s.block * 256 < lba + count)
            us += s.extraUs;
    return us;
}

int32_t ModelledVerify(int64_t lba, int64_t count, uint8_t lba48)
{
    const int32_t r = VerifySectors(lba, count, lba48);
    return r < 0 ? r : ModelMicros(lba, count);
}

// Row 0: blocks 0-39, row 1: blocks 40-60 (60 is the short last block).
const char* const kEveryClassMap = "11121314151656111111A101!1S1X1B1?1?1A1X1"
                                   "X1SS1B111111111111114";

QStringList EveryClassReportLines()
{
    return {
        QStringLiteral("     Warning >150 : 2304"),   // block 9
        QStringLiteral("     Warning >500 : 2816"),   // 11
        QStringLiteral("     Warning >150 : 3072"),   // 12
        QStringLiteral("     Warning >500 : 3328"),   // 13
        QStringLiteral("     Error AMNF   : 5120"),   // 20
        QStringLiteral("     Error T0NF   : 5632"),   // 22
        QStringLiteral("     Error ABRT   : 6144"),   // 24
        QStringLiteral("     Error IDNF   : 6656"),   // 26
        QStringLiteral("     Error UNC    : 7168"),   // 28
        QStringLiteral("     Error BBK    : 7680"),   // 30
        QStringLiteral("     Error Time   : 8192"),   // 32
        QStringLiteral("     Error Time   : 8704"),   // 34
        QStringLiteral("     Error AMNF   : 9216"),   // 36
        QStringLiteral("     Error UNC    : 9728"),   // 38
        QStringLiteral("     Error UNC    : 10240"),  // 40
        QStringLiteral("     Error IDNF   : 10752"),  // 42
        QStringLiteral("     Error IDNF   : 11008"),  // 43
        QStringLiteral("     Error BBK    : 11520"),  // 45
    };
}

}  // namespace scantest
