// libFuzzer driver: built once per target, with FUZZ_TARGET naming the
// function of fuzz_targets.h that takes the input.
#include <cstdio>

#include "fuzz_targets.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::freopen("/dev/null", "w", stdout);  // the library reports every fault there
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    (void)FUZZ_TARGET(data, size);
    return 0;
}
