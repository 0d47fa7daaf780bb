// d88_memory.h -- a hint for the library's two large buffers (a whole file
// read, a whole image written).  Inside the library only.
#ifndef D88_D88_MEMORY_H
#define D88_D88_MEMORY_H

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>

// Prepares a fresh buffer that is about to be filled whole.  Where the
// system allows, it is backed with huge pages and its pages are mapped in
// one call: faulting them in one by one costs more than filling them.
// Only a hint; nothing depends on it being taken.
inline void prepare_large_buffer(void* buffer, size_t size)
{
    constexpr uintptr_t PAGE = 4096;
    constexpr size_t WORTH_IT = size_t{64} << 10;
    if (size < WORTH_IT)
        return;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(buffer) + PAGE - 1) & ~(PAGE - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(buffer) + size) & ~(PAGE - 1);
    void* pages = reinterpret_cast<void*>(start);
#ifdef MADV_HUGEPAGE
    madvise(pages, end - start, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    madvise(pages, end - start, MADV_POPULATE_WRITE);
#endif
    (void)pages;
}

#endif
