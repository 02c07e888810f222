#pragma once
// The bodies of the fuzz targets, shared by the libFuzzer programs (built
// with clang) and by the regression test that feeds them every kept input
// (built with the project's compiler).  Each returns false when a property
// of the reader does not hold; a crash or undefined behaviour is a finding
// by itself.
#include <cstddef>
#include <cstdint>

namespace fuzz {

// The machine file reader; a machine it accepts must also be built.
bool MachineFile(const uint8_t* data, size_t size);
// The .state reader, against the drives of the built-in machine.
bool StateFile(const uint8_t* data, size_t size);
// The INI reader and writer: after a key is written, reading it gives the
// value written, whatever the file held before.
bool IniFile(const uint8_t* data, size_t size);

}  // namespace fuzz
