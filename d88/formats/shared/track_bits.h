// track_bits.h -- a track as a floppy controller lays it on the disk:
// IBM System 34 MFM, or FM, cell by cell.  The encoder writes a track's
// sectors with their gaps, sync bytes, address marks and CRCs; the decoder
// finds every ID and data field in a stream of cells, as they pass the
// head.  Private to the library.
#ifndef D88_FORMATS_SHARED_TRACK_BITS_H
#define D88_FORMATS_SHARED_TRACK_BITS_H

#include <cstdint>

#include "d88.h"
#include "sink.h"

// A stream of cells (1: a flux transition), one per byte, in a buffer that
// grows as the track is written.
using cell_stream = byte_sink;

// The CRC-CCITT of floppy controllers (polynomial 0x1021) over count
// bytes, from crc.
uint16_t floppy_crc(uint16_t crc, const uint8_t* bytes, int32_t count);

// How many cells one byte of a track takes: 16 in MFM, 32 in FM (written at
// half the data rate of the disk's MFM).
int32_t cells_per_byte(bool fm);

// The gap 3 the track's sectors get: the standard one for their size where
// the track holds it, smaller where needed; -1 when even the smallest sane
// gap leaves the sectors no room in `capacity` bytes.  *needed is the
// number of bytes the track takes at that smallest gap.
int32_t fit_gap3(const d88_track& track, bool fm, int32_t capacity, int32_t* needed);

// Appends the formatted track to stream: index gap, index mark, and each
// sector as the disk records it (a data CRC error as a wrong CRC, an ID CRC
// error likewise, a missing data mark as no data field, a deleted mark as
// the deleted data mark), filled with gap to `capacity` bytes.
void encode_track(cell_stream* stream, const d88_track& track, bool fm, int32_t gap3, int32_t capacity);

// The sectors of a stream of cells, in the order they pass the head:
// IDs with their CRC checked (0xA0 when wrong), each with the data field
// that follows it (0xB0 for a wrong CRC, 0xF0 without one, the deleted
// mark as deleted mark and status 0x10).  fm: decode FM at 32 cells a
// byte, else MFM.  A new array of *count sectors (null when none), or null
// with *count -1 when memory runs out.
d88_sector* decode_track(const uint8_t* cells, int32_t count_cells, bool fm, int32_t* count);

#endif
