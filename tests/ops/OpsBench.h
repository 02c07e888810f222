#pragma once
// The common set-up of the erase and soft-bad window tests: one simulated
// drive at 01F0 master, a stand-in main window, recorded boxes and help.
#include <memory>

#include "common/Services.h"
#include "sim/SimMachine.h"
#include "support/FakeShell.h"
#include "support/SimFixture.h"

namespace opstest {

struct Bench {
    explicit Bench(const sim::DriveSpec& d) : machine(testsim::Install(testsim::OneChannel(d))) {}
    sim::Drive* Drive() const { return machine->DriveAt(0x1F0, 0); }
    std::shared_ptr<sim::Machine> machine;
    FakeShell shell;
    MessageRecorder messages;
    HelpRecorder help;
};

// One command a window sent: its first LBA and sector count.
struct Call {
    int64_t lba;
    int64_t count;
    bool operator==(const Call&) const = default;
};

}  // namespace opstest
