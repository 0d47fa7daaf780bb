// file.h -- what the library needs of the system beside the functions of
// d88.h, one source per platform (file_posix.cpp, file_windows.cpp).
// Private to the library and the programs built beside it.
#ifndef D88_CORE_FILE_H
#define D88_CORE_FILE_H

#include <cstddef>

// A hint for a fresh buffer that is about to be filled whole; nothing
// depends on it being taken.
void prepare_large_buffer(void* buffer, size_t size);

// Why the last store_d88_file failed, as the system said it (errno, or on
// Windows GetLastError's code); 0 when it did not fail at a file (memory
// ran out).
int read_d88_store_error();

// The local time now: year, month, day, hour, minute, second; false when
// the system cannot tell.
bool read_d88_clock(int fields[6]);

#ifdef _WIN32
// path (UTF-8) as a new UTF-16 string, freed with free; null when it is
// no valid UTF-8, or when memory runs out (then *no_memory is set).
wchar_t* widen_d88_path(const char* path, bool* no_memory);
#endif

#endif
