// file.h -- what the library's file access needs beside the functions
// of d88.h, one source per platform (d88_file_posix.cpp,
// d88_file_windows.cpp).  Private to the library: neither installed nor
// used by the programs.
#ifndef D88_CORE_FILE_H
#define D88_CORE_FILE_H

#include <cstddef>

// A hint for a fresh buffer that is about to be filled whole; nothing
// depends on it being taken.
void prepare_large_buffer(void* buffer, size_t size);

#endif
