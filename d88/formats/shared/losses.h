// losses.h -- the report of what a format cannot carry of a disk, as
// findings at their place.  Private to the library's formats.
#ifndef D88_FORMATS_SHARED_LOSSES_H
#define D88_FORMATS_SHARED_LOSSES_H

#include <cstdint>

#include "d88.h"

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

// What a format that records sectors as a controller reads them carries:
// every one carries a good sector, a deleted data mark and a data CRC
// error (deleted mark 0x10 with status 0x10, status 0xB0, both); some an
// ID CRC error (status 0xA0, with its data field) and a sector without a
// data field (status 0xF0, no data).
struct sector_reach {
    bool id_crc;
    bool no_data;
};

// Says what the format `name` cannot carry of sector index of slot: a
// status or deleted mark beyond reach, a size code past 7, a data size
// other than the one its N stands for.
void check_recorded_sector(const d88_sector& s, int32_t slot, int32_t index, const char* name, sector_reach reach,
                           loss_report* report);

// Says the sectors of a track the format `name` records in one density
// cannot carry (another density than its first sector's, or a density
// byte that is neither 0x00 nor 0x40); whether the track is FM.
bool check_track_density(const d88_track& track, int32_t slot, const char* name, loss_report* report);

// Notes the disk's name, write protection and media where the format
// `name` has no place for them (kept: whether it has) or reads the media
// back otherwise.
void check_disk_fields(const d88_disk* disk, const char* name, bool keeps_name, bool keeps_protect, uint8_t media_read_back,
                       loss_report* report);

#endif
