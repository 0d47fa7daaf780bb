// d88_file.h -- the library's file access, one source per platform
// (d88_file_posix.cpp, d88_file_windows.cpp).  Inside the library only: the
// reader and the writer convert between bytes and records and leave files to
// these functions.  Paths are UTF-8 on Windows, bytes elsewhere.
#ifndef D88_D88_FILE_H
#define D88_D88_FILE_H

#include <cstddef>
#include <cstdint>

// Loads the whole file at path into a new buffer that the caller releases
// with std::free; *size_out receives its length.  Null after printing why:
// "open error", "seek error(SEEK_END)", "seek error(SEEK_SET)", "file too
// large", "read error" (also for an empty file or a folder) or "memory
// exhaust!".
uint8_t* load_d88_file(const char* path, int32_t* size_out);

// Stores size bytes as the file at path.  An existing file is replaced only
// once the new contents are complete on the disk, so a failure leaves it as
// it was; 0, or -1 after printing "open error", "write error" or "memory
// exhaust!" with path as the caller gave it.
int32_t store_d88_file(const char* path, const uint8_t* buffer, int32_t size);

// A hint for a fresh buffer that is about to be filled whole; nothing
// depends on it being taken.
void prepare_large_buffer(void* buffer, size_t size);

#endif
