// libFuzzer driver: built once per target, with FUZZ_TARGET naming the
// function of fuzz_targets.h that takes the input.  VORKAST_FUZZ_FORMAT=N
// holds the export target to one format: the low three bits of every
// input's first byte become N.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_targets.h"

namespace {

int held_format = -1;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::freopen("/dev/null", "w", stdout);  // the library reports every fault there
    const char* format = std::getenv("VORKAST_FUZZ_FORMAT");
    held_format = format != nullptr ? std::atoi(format) & 7 : -1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (held_format < 0 || size == 0) {
        (void)FUZZ_TARGET(data, size);
        return 0;
    }
    uint8_t* held = static_cast<uint8_t*>(std::malloc(size));
    if (held == nullptr)
        return 0;
    std::memcpy(held, data, size);
    held[0] = static_cast<uint8_t>((held[0] & ~7) | held_format);
    (void)FUZZ_TARGET(held, size);
    std::free(held);
    return 0;
}
