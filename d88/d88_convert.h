// d88_convert.h -- what the converters of other image formats share: a
// buffer that grows as a format is written, the report of what a format
// cannot carry, and each format's reader and writer.  Private to the
// library.
#ifndef D88_D88_CONVERT_H
#define D88_D88_CONVERT_H

#include <cstdint>

#include "d88.h"

// Bytes written one after the other into a buffer that grows; once memory
// runs out, failed is set and nothing more is kept.
struct byte_sink {
    uint8_t* bytes;
    int64_t size, room;
    bool failed;
};

void put_sink_bytes(byte_sink* sink, const uint8_t* bytes, int64_t count);
void put_sink_fill(byte_sink* sink, uint8_t value, int64_t count);
void put_sink_byte(byte_sink* sink, uint8_t value);
void put_sink_le16(byte_sink* sink, uint16_t value);
void put_sink_le32(byte_sink* sink, uint32_t value);

// The losses of one export: where they go, and how many were said.
struct loss_report {
    d88_finding_handler handler;
    void* context;
    int32_t losses;
};

// Says that the target cannot carry something of slot's sector index (or
// of the slot, index -1, or of the disk, slot -1); a loss unless the kind
// is a note.
#if defined(__GNUC__)
void report_loss(loss_report* report, d88_finding_kind kind, int32_t slot, int32_t index, const d88_sector* sector,
                 const char* format, ...) __attribute__((format(printf, 6, 7)));
#else
void report_loss(loss_report* report, d88_finding_kind kind, int32_t slot, int32_t index, const d88_sector* sector,
                 const char* format, ...);
#endif

// The size code N whose 128 << N bytes a sector of `size` bytes holds
// exactly, or -1.
int32_t size_code_of(int32_t size);

// Each format: a writer that puts the disk into sink, reporting what it
// cannot carry, and a reader that fills a cleared disk record; the reader
// returns 0, or -1 after a message.
void write_imd_disk(const d88_disk* disk, loss_report* report, byte_sink* sink);
int32_t read_imd_disk(d88_disk* disk, const uint8_t* bytes, int32_t size);
void write_raw_disk(const d88_disk* disk, int32_t format, loss_report* report, byte_sink* sink);
void write_hfe_disk(const d88_disk* disk, int32_t rpm, loss_report* report, byte_sink* sink);
int32_t read_hfe_disk(d88_disk* disk, const uint8_t* bytes, int32_t size);
void write_nfd_disk(const d88_disk* disk, loss_report* report, byte_sink* sink);
int32_t read_nfd_disk(d88_disk* disk, const uint8_t* bytes, int32_t size);
int32_t read_raw_disk(d88_disk* disk, const uint8_t* bytes, int32_t size, int32_t format);

#endif
