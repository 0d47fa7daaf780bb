// media.cpp -- a disk's rotation from its media and its tracks.
#include "media.h"

#include "core/layout.h"

namespace {

int32_t track_data_bytes(const d88_track& track)
{
    int32_t total = 0;
    for (int32_t i = 0; i < track.count; ++i)
        total += sector_size_of_code(track.sectors[i].n) > 0 ? sector_size_of_code(track.sectors[i].n) : 0;
    return total;
}

}  // namespace

bool is_144_class_disk(const d88_disk* disk)
{
    if (disk->disk_type != D88_MEDIA_2HD)
        return false;
    for (const d88_track& track : disk->track) {
        if (is_144_class_track(track_data_bytes(track)))
            return true;
    }
    return false;
}

int32_t choose_disk_rpm(const d88_disk* disk, int32_t rpm)
{
    if (rpm > 0)
        return rpm;
    return disk->disk_type == D88_MEDIA_2HD && !is_144_class_disk(disk) ? 360 : 300;
}
