#pragma once
// Simulated machines for tests: a ready-made default machine, and small
// machines with one channel whose drives a test describes itself.
#include <memory>
#include <vector>

#include "hw/Ata.h"
#include "sim/SimMachine.h"
#include "sim/SimSpec.h"

namespace testsim {

// A drive that answers at once (time scale 0).
sim::DriveSpec InstantDrive(const char* model = "TEST DRIVE", uint64_t sectors = 1 << 20, bool lba48 = true);

// The built-in machine with every drive answering at once.
sim::MachineSpec InstantDefaultMachine();

// One compatibility-mode controller (01F0/03F6, 0170/0376) with the given
// drives on its primary channel.
sim::MachineSpec OneChannel(std::optional<sim::DriveSpec> master, std::optional<sim::DriveSpec> slave = std::nullopt);

// Installs the machine as the process backend and points the ATA layer at
// 01F0 (or the given port/device) with a short time-out.
std::shared_ptr<sim::Machine> Install(const sim::MachineSpec& spec, uint8_t device = 0,
                                      uint16_t timeOutSeconds = 1, uint16_t base = 0x1F0,
                                      uint16_t alt = 0x3F6);

// A pass-through drive (one the kernel owns, answered by the simulated
// stand-in) named `name`.
sim::PassThroughSpec PassThrough(const char* name, sim::DriveSpec drive,
                                 sim::SenseLayout sense = sim::SenseLayout::Fixed);

// Installs a machine with these pass-through drives (and the given channel
// drives) and connects the ATA layer to the first pass-through drive with a
// short time-out.
std::shared_ptr<sim::Machine> InstallPassThrough(std::vector<sim::PassThroughSpec> drives,
                                                 uint16_t timeOutSeconds = 1,
                                                 sim::MachineSpec spec = sim::OneControllerMachine(std::nullopt));

}  // namespace testsim
