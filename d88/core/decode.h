// decode.h -- the rules of the D88 layout, written once: how a disk
// header, its track table and a sector header are decoded and what makes
// each of them sound.  The reader, which stops at the first fault, and the
// scan, which reports every fault and goes on, both decide by these
// functions, so the scan finds an error exactly where the reader refuses.
// Private to the library and the programs built beside it.
#ifndef D88_CORE_DECODE_H
#define D88_CORE_DECODE_H

#include <cstdint>

#include "d88.h"

// The fields of the disk header at p: name, reserved bytes, write
// protection, media byte and the stored disk size.  Tracks are not touched.
void decode_d88_disk_header(const uint8_t* p, d88_disk* disk);

// Whether `left` bytes can hold a disk: a full header, or exactly a short
// one.  Fewer bytes after the last disk are ignored as trailing bytes.
bool has_d88_disk_room(int64_t left);

// Whether a stored disk size fits a disk with `room` bytes from its start
// to the end of the image: at least a short header, and no more than room.
bool is_d88_disk_size(int64_t disk_size, int64_t room);
bool is_d88_write_protect(uint8_t value);
bool is_d88_media(uint8_t value);

// Reads the track table of the disk header at p into offsets: 160 entries
// when the disk's bytes are a short header alone (size 672), else 164, the
// rest 0.  Whether the header is the short one: its bytes are nothing but
// it, or a track starts right after 160 offsets.
void decode_d88_track_table(const uint8_t* p, int32_t size, int32_t offsets[D88_TRACK_MAX]);
bool is_d88_short_header(const int32_t offsets[D88_TRACK_MAX], int32_t size);

// Whether a non-zero offset may start the track of `slot` in a disk of
// disk_size bytes: past the header (672 passes in the first 160 slots,
// where a short header may end) and inside the disk.
bool is_d88_track_offset(int32_t offset, int32_t slot, int64_t disk_size);

// Where the track of slot ends: at the smallest offset in the table above
// its own, or at the end of the disk.  Entries of 0 never end a track.
int32_t find_d88_track_end(const int32_t offsets[D88_TRACK_MAX], int32_t slot, int32_t disk_size);

// The number of sectors the first sector header of a slot announces.
int32_t decode_d88_track_count(const uint8_t* first_header);

// The first sector header of a slot: an empty slot has 16 zero bytes; a
// count of 0 with any other byte is a fault.
bool is_d88_empty_slot(const uint8_t* first_header);

// The sector header at p into sector (data left null, data_size 0); the
// stored data size (0 to 65535), which the record holds only up to 0x7FFF.
uint16_t decode_d88_sector_header(const uint8_t* p, d88_sector* sector);

// Whether a sector record at `position` fits its track's end: its header,
// and its header with stored_size bytes of data.
bool is_d88_sector_header_inside(int64_t position, int64_t end);
bool is_d88_sector_inside(int64_t position, uint16_t stored_size, int64_t end);

// Gives sector a copy of the stored_size bytes of data at p (null for
// none); false when memory runs out, the sector then holding no data.
bool copy_d88_sector_data(d88_sector* sector, const uint8_t* p, uint16_t stored_size);

// Whether bytes begin with a D88 disk header that makes sense: a disk size
// that fits them, and track offsets inside that disk (the write protection
// and media bytes aside, which repair mends).
bool is_d88_header(const uint8_t* bytes, int32_t size);

// Appends disk at the end of the image's list and counts it.
void append_d88_disk(d88_image* image, d88_disk* disk);

#endif
