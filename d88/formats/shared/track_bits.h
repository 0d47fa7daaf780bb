// track_bits.h -- a track as a floppy controller lays it on the disk: IBM
// System 34 MFM, or FM, cell by cell.  A track is first laid out as the
// bytes a controller writes in one revolution (gaps, syncs, address marks,
// each sector's fields and CRCs), then encoded into cells; the decoder
// finds every ID and data field in a stream of cells, in the order they
// pass the head.  Cells are packed eight to a byte, the first in time in
// bit 7; a 1 is a flux transition.  FM runs at half the data rate of the
// MFM of the same cells: an MFM byte is 16 cells, an FM byte 32.  Private
// to the library's formats.
#ifndef D88_FORMATS_SHARED_TRACK_BITS_H
#define D88_FORMATS_SHARED_TRACK_BITS_H

#include <cstdint>

#include "d88.h"
#include "losses.h"

// The CRC-CCITT of floppy controllers (polynomial 0x1021) over count
// bytes, from crc.
uint16_t floppy_crc(uint16_t crc, const uint8_t* bytes, int32_t count);

// How many cells one byte of a track takes: 16 in MFM, 32 in FM.
int32_t cells_per_byte(bool fm);

// How a byte of a track is written: with its clocks, or as an address
// mark's sync (MFM: A1 without the clock between bits 4 and 3; FM: the
// mark with the clocks C7), or as the index mark's (MFM: C2 without the
// clock between bits 3 and 2; FM: FC with the clocks D7).
enum track_byte_kind : uint8_t { TRACK_BYTE_PLAIN, TRACK_BYTE_MARK, TRACK_BYTE_INDEX };

// One revolution of a track as a controller writes it: `capacity` bytes
// and how each is written.
struct track_bytes {
    uint8_t* bytes;
    uint8_t* kinds;
    int32_t capacity;
};

// Lays the track's sectors out in one revolution: gap 4a, the index mark,
// gap 1, each sector in its order as the disk records it (a data or ID CRC
// error as a wrong CRC, a sector without data (status 0xF0) as an ID alone,
// a deleted mark as the deleted data mark), gap 4b to the end.  Gap 3 is
// the standard one where the track holds it, smaller where needed.  When
// the sectors do not fit at the smallest sane gap, every sector that fits
// whole stays, in its order; a sector longer than the revolution keeps its
// ID and as much of its data as the rest leaves room for, its CRC unwritten;
// the others are left out: each said as a track-too-long loss of slot, on a
// track of `medium` ("250 kbit/s, 300 rpm").  out has capacity bytes.  False
// when memory runs out.
bool lay_out_track(const d88_track& track, int32_t slot, bool fm, const char* medium, loss_report* report, track_bytes* out);

// The cells of a revolution's bytes: count * cells_per_byte(fm) cells into
// cells, which holds count * cells_per_byte(fm) / 8 bytes.
void encode_track_cells(const track_bytes& track, bool fm, uint8_t* cells);

// A stream of cells to decode: count cells; circular when it is one whole
// revolution, so that a field running past its end goes on at its start.
struct cell_stream {
    const uint8_t* bits;
    int64_t count;
    bool circular;
};

// Where a decoded sector's ID mark starts, and whether its data field ran
// past the end of a stream that is not circular (then it reads as none).
struct decoded_place {
    int64_t at;
    bool cut;
};

// The most IDs read from one stretch of cells: more than any revolution
// holds (12,500 bytes at the most, an ID field alone 10), a bound on what a
// crafted one costs.
constexpr int32_t DECODED_IDS_MAX = 2048;

// The sectors whose ID marks start from cell `from` up to `to` (FM: at 32
// cells a byte, else MFM), in the order they pass the head, the first
// DECODED_IDS_MAX: each ID with its CRC checked (status 0xA0 when wrong,
// its data field kept), with the data field that follows it (status 0xB0
// for a wrong CRC, the deleted mark as deleted mark and status 0x10, 0xF0
// and no data without one).  A new array of *count sectors (null when
// none), and with places_out a new array of where each was found; null with
// *count -1 when memory runs out.
d88_sector* decode_track_cells(const cell_stream& stream, int64_t from, int64_t to, bool fm, int32_t* count,
                               decoded_place** places_out);

// Where the mark byte of the first index address mark from cell `from` up
// to `to` starts, or -1.
int64_t find_index_mark(const cell_stream& stream, int64_t from, int64_t to, bool fm);

#endif
