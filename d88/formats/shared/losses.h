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

#endif
