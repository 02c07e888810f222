#pragma once
// What the scan worker tells whoever shows the run: the window, or a
// terminal for the command line.  The worker calls these steps one at a time
// on the application's UI thread (through the synchronous hand-off) and waits
// for each, so a sink needs no locking.  Order of one run:
//   ScanStarted, then ShowBlock for every block (with AddPoint after some of
//   them), ScanFinished, EndOfRun.
// A run stopped before its first block calls only EndOfRun, with `started`
// false.
#include <QString>
#include <QStringList>
#include <cstdint>

#include "surface/ScanRules.h"

struct ScanStart {
    int64_t startLba = 0;
    int64_t stopLba = 0;
    QStringList header;  // the report header lines
};

struct ScanBlock {
    int32_t result = 0;  // ms (0 or more) or an error class -1 .. -7
    int64_t lba = 0;     // the block's first LBA
    int64_t count = 0;   // its sectors
    scan::BlockClass cls = scan::kT5;
    QString reportLine;  // empty when the class has none
    const scan::Tally* tally = nullptr;  // the counters with this block counted
};

struct ScanPoint {
    int64_t lba = 0;       // X: the LBA after the block
    double speed = 0;      // Y: MB/s
    int axisMaximum = 0;   // new maximum of the speed axis, 0 = unchanged
};

struct ScanEnd {
    bool started = true;    // false: stopped before the first block
    bool cancelled = false;
    int64_t currentLba = 0;
    double startTime = 0;   // days since 1899-12-30
    double stopTime = 0;
    QStringList summary;    // the report summary lines (empty when not started)
    const scan::Tally* tally = nullptr;
};

class ScanSink {
public:
    virtual ~ScanSink() = default;
    virtual void ScanStarted(const ScanStart& s) = 0;
    virtual void ShowBlock(const ScanBlock& b) = 0;
    virtual void AddPoint(const ScanPoint& p) = 0;
    virtual void ScanFinished(const ScanEnd& e) = 0;
    virtual void EndOfRun(const ScanEnd& e) = 0;
};
