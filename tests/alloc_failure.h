// alloc_failure.h -- makes one chosen heap allocation fail.
//
// Programs linked with -Wl,--wrap=malloc,--wrap=calloc route the library's
// and the tool's allocations through a counter; the k-th one counted after
// fail_allocation(k) returns null.
#ifndef TESTS_ALLOC_FAILURE_H
#define TESTS_ALLOC_FAILURE_H

// Counts allocations from now on and fails the k-th (none when k is 0).
void fail_allocation(long k);
// The allocations counted since fail_allocation.
long allocations_counted();

#endif
