// dump.h -- disks as the sector dumps hold them (raw dumps, HDM, FDI, DIM):
// every track of one shape, its sectors' data one after the other in the
// order of their IDs, nothing else.  The shape of a disk, the IDs it stands
// for, what a dump cannot carry of a disk, and the data in and out.
// Private to the library's formats.
#ifndef D88_FORMATS_SHARED_DUMP_H
#define D88_FORMATS_SHARED_DUMP_H

#include <cstdint>

#include "d88.h"
#include "losses.h"
#include "sink.h"

// The shape of a dump: cylinders x heads tracks of `sectors` sectors of
// size code n, R 1 upwards with the track's C and H; or, with a standard
// format row (0 to 9), exactly the IDs a blank disk of that row holds.
struct dump_geometry {
    int32_t cylinders, heads, sectors;
    uint8_t n;
    int32_t row;  // a standard format, or -1
    uint8_t media;
};

// The most sectors a track of a dump holds.
constexpr int32_t DUMP_SECTORS_MAX = 255;

int32_t dump_track_size(const dump_geometry& g);
int64_t dump_data_size(const dump_geometry& g);

// The geometry of standard format row.
dump_geometry standard_dump_geometry(int32_t row);

// The standard format whose layout matches most of the disk's sectors, of
// the disk's media and cylinders; -1 when none matches half its sectors.
int32_t find_standard_row(const d88_disk* disk);

// The disk's own shape: the cylinders up to its last present slot, two
// heads, and the number and size code of most of its tracks' sectors (R 1
// upwards); sectors 0 when it has none.
dump_geometry find_plain_geometry(const d88_disk* disk);

// "40 x 2 x 16 x 256 bytes" for the geometry, into text.
void describe_dump_geometry(const dump_geometry& g, char* text, int32_t size);

// Says every sector, track or field of the disk the dump of geometry g
// cannot carry: a sector it has no place for, a place with no sector (the
// dump holds zeros there), a data size other than the ID's, a status, a
// deleted mark, single density; and the name, write protection and media
// (notes).  name is the format's, for the messages.
void check_dump_disk(const d88_disk* disk, const dump_geometry& g, const char* name, loss_report* report);

// Appends the data of every place of g, track by track, each sector's
// data (or zeros for a place the disk has no sector for, cut or padded to
// its size).
void write_dump_data(const d88_disk* disk, const dump_geometry& g, byte_sink* sink);

// Lays out the tracks of g on a cleared disk, their data from bytes (which
// hold dump_data_size(g) bytes), the media byte from g; 0, or -1 after a
// message.
int32_t read_dump_data(d88_disk* disk, const dump_geometry& g, const uint8_t* bytes);

#endif
