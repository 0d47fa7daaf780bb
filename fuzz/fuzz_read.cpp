// libFuzzer driver for the reader's round trip.
#include <cstdio>

#include "fuzz_targets.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::freopen("/dev/null", "w", stdout);  // the library reports every fault there
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_read_image(data, size);
    return 0;
}
