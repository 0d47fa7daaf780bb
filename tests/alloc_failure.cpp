// alloc_failure.cpp -- the malloc and calloc wrappers behind alloc_failure.h.
// Built with ALLOC_FAILURE_FROM_ENV, the k comes from the environment
// variable VORKAST_FAIL_ALLOC, so that a whole tool run can be tested.
#include "alloc_failure.h"

#include <cstddef>
#include <cstdlib>

extern "C" void* __real_malloc(size_t size);
extern "C" void* __real_calloc(size_t count, size_t size);

namespace {

#ifdef ALLOC_FAILURE_FROM_ENV
long failing = std::getenv("VORKAST_FAIL_ALLOC") ? std::atol(std::getenv("VORKAST_FAIL_ALLOC")) : 0;
#else
long failing = 0;
#endif
long counted = 0;

bool fails_now()
{
    return failing > 0 && ++counted == failing;
}

}  // namespace

void fail_allocation(long k)
{
    failing = k;
    counted = 0;
}

long allocations_counted()
{
    return counted;
}

extern "C" void* __wrap_malloc(size_t size)
{
    return fails_now() ? nullptr : __real_malloc(size);
}

extern "C" void* __wrap_calloc(size_t count, size_t size)
{
    return fails_now() ? nullptr : __real_calloc(count, size);
}
