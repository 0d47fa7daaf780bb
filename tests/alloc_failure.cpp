// alloc_failure.cpp -- the malloc and calloc wrappers behind alloc_failure.h.
#include "alloc_failure.h"

#include <cstddef>

extern "C" void* __real_malloc(size_t size);
extern "C" void* __real_calloc(size_t count, size_t size);

namespace {

long failing = 0;
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
