// libFuzzer driver for the whole job.
#include <cstdio>

#include "fuzz_targets.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::freopen("/dev/null", "w", stdout);  // the library reports every fault there
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_run_job(data, size);
    return 0;
}
