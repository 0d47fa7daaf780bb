// media.h -- how fast a disk turns, as the formats that record its tracks
// (HFE, SCP) write it and NFD's media byte names it.  Private to the
// library's formats.
#ifndef D88_FORMATS_SHARED_MEDIA_H
#define D88_FORMATS_SHARED_MEDIA_H

#include <cstdint>

#include "d88.h"

// Whether the disk is 2HD of the 1.44 MB class, which turns at 300 rpm: a
// track holds more than 8 KB of data (9 x 1024, 18 x 512).
bool is_144_class_disk(const d88_disk* disk);

// The disk's rotation: rpm when given (not 0), else 300 rpm, but 360 for a
// 2HD disk of the 1.2 MB class.
int32_t choose_disk_rpm(const d88_disk* disk, int32_t rpm);

#endif
