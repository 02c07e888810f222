#pragma once
// Runs another program of this build inside the guest (for example the
// command line `voran --hardware --channel 01F0 --identify`) and captures
// what it writes.
#include <string>
#include <vector>

namespace guest {

struct ProcessResult {
    int exitCode = -1;   // -1: could not be started or killed by a signal
    std::string output;  // standard output and standard error, interleaved
};

// `argv[0]` is a path; a relative one is taken from the build's program
// directory (where the voran executable lies).  Extra environment entries
// ("NAME=value") are added to the current environment.
ProcessResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});

// The build's program directory, as configured.
std::string ProgramDir();

}  // namespace guest
