// The entry point of every libFuzzer target; VORAN_FUZZ_TARGET names the
// function of FuzzTargets.h it runs (set per target by CMakeLists.txt).
#include <cstdlib>

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!fuzz::VORAN_FUZZ_TARGET(data, size))
        std::abort();
    return 0;
}
