// flux.h -- a track's flux, as a flux reader records it, decoded into its
// sectors: the time between the magnetic transitions over one or more
// revolutions becomes bit cells through a phase-locked loop, the cells of
// each revolution give the sectors it passed under the head, and the reads
// of all revolutions give one sector each.  Private to the library's
// formats.
#ifndef D88_FORMATS_SHARED_FLUX_H
#define D88_FORMATS_SHARED_FLUX_H

#include <cstdint>

#include "d88.h"
#include "losses.h"

// One track's flux: the ticks between transitions (tick_ns each), and the
// tick counts from the first transition's start at which revolutions
// begin: at the index pulses when `at_index`, else where the reader cut
// them (a dump not cued to the index).
struct flux_track {
    const uint32_t* intervals;
    int64_t count;
    int64_t ticks;  // the intervals' sum
    double tick_ns;
    const double* starts;  // revolutions + 1 entries: the last ends the last revolution
    int32_t revolutions;
    bool at_index;
};

// A dump being read, track by track: where findings and each track's facts
// go, the facts so far, and buffers reused from one track to the next
// (released with end_flux_reading).
struct flux_reading {
    loss_report* report;
    d88_flux_track_handler tracks;
    void* context;
    d88_flux_track infos[D88_TRACK_MAX];
    int32_t info_count;
    uint32_t* intervals;
    int64_t intervals_room;
    uint8_t* cells;
    int64_t cells_room;
};

// Room for count intervals in reading->intervals; false when memory runs
// out.
bool reserve_flux_intervals(flux_reading* reading, int64_t count);

// Decodes the track into slot of disk, hands its facts on and says what is
// not plain (a weak sector, a CRC error in every read, a track with no
// sector) as findings of slot; false when memory runs out.
bool decode_flux_track(const flux_track& flux, int32_t slot, d88_disk* disk, flux_reading* reading);

// After every track: says the tracks whose cell rate is unlike the disk's,
// gives the disk its media from that rate and its cylinders, and releases
// the buffers.
void end_flux_reading(d88_disk* disk, flux_reading* reading);

#endif
