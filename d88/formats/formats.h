// formats.h -- each format of disk images the library converts to and
// from, as the dispatcher (convert.cpp) calls it: a writer that puts one
// disk into a sink, reporting what the format cannot carry, and a reader
// that fills a cleared disk record.  Private to the library.
#ifndef D88_FORMATS_FORMATS_H
#define D88_FORMATS_FORMATS_H

#include <cstdint>

#include "d88.h"
#include "shared/losses.h"
#include "shared/sink.h"

// The readers return 0, or -1 after a message.
void write_imd_disk(const d88_disk* disk, loss_report* report, byte_sink* sink);
int32_t read_imd_disk(d88_disk* disk, const uint8_t* bytes, int32_t size);
void write_raw_disk(const d88_disk* disk, int32_t format, loss_report* report, byte_sink* sink);
int32_t read_raw_disk(d88_disk* disk, const uint8_t* bytes, int32_t size, int32_t format);
void write_hfe_disk(const d88_disk* disk, int32_t rpm, loss_report* report, byte_sink* sink);
int32_t read_hfe_disk(d88_disk* disk, const uint8_t* bytes, int32_t size);
void write_nfd_disk(const d88_disk* disk, loss_report* report, byte_sink* sink);
int32_t read_nfd_disk(d88_disk* disk, const uint8_t* bytes, int32_t size);

#endif
