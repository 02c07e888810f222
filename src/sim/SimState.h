#pragma once
// The .state file of a machine file: what the user changed on its drives,
// kept from one start of the program to the next.  One JSON object:
//
// { "01F0:master": { "smartEnabled": bool, "securityEnabled": bool,
//                    "levelMax": bool, "user": 64 hex digits,
//                    "master": 64 hex digits, "maxAddress": "decimal",
//                    "softBad": ["decimal", ...] }, ...
//   "pt:/dev/sda": { ... } }     a pass-through drive, by its name
//
// A key of a drive the machine no longer has is skipped (the machine file
// was edited); anything else that is not exactly this is refused.
#include <QByteArray>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/SimDrive.h"

namespace sim {

// The state files's limit: about four million soft-bad sectors.
constexpr qint64 kMaxStateFileBytes = 64 << 20;

using DriveLookup = std::function<Drive*(uint16_t basePort, int device)>;
using NamedDriveLookup = std::function<Drive*(const std::string& name)>;
using DriveStates = std::vector<std::pair<Drive*, PersistentState>>;

// The states the file gives the drives `lookup` finds, checked against
// each drive (addresses inside it); nothing is applied here.
// `named` finds the pass-through drives ("pt:" keys; none without it).
std::optional<DriveStates> ParseMachineState(const QByteArray& json, const DriveLookup& lookup, std::string* error,
                                             const NamedDriveLookup& named = nullptr);

// The key of a drive in the file: "01F0:master", "pt:/dev/sda".
std::string StateKey(uint16_t basePort, int device);
std::string StateKey(const std::string& passThroughName);

}  // namespace sim
