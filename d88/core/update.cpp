// update.cpp -- an image changed in place: the changes of its records put
// back into the bytes it was read from, every other byte as it was.
#include "d88.h"
#include "decode.h"
#include "layout.h"
#include "message.h"

#include <cstring>

namespace {

// Whether the slot's sectors still lie in the disk's bytes as the reader
// found them: the same IDs and data sizes, one after the other.
bool is_slot_in_place(const d88_disk& disk, int32_t slot, const uint8_t* at, int64_t room)
{
    const d88_track& track = disk.track[slot];
    int64_t position = disk.track_offset[slot];
    if (track.count == 0)
        return true;
    for (int32_t i = 0; i < track.count; ++i) {
        const d88_sector& s = track.sectors[i];
        if (!is_d88_sector_inside(position, static_cast<uint16_t>(s.data_size), room))
            return false;
        const uint8_t* header = at + position;
        if (header[D88_SECTOR_C_AT] != s.c || header[D88_SECTOR_H_AT] != s.h || header[D88_SECTOR_R_AT] != s.r ||
            header[D88_SECTOR_N_AT] != s.n || get_le16(header + D88_DATA_SIZE_AT) != s.data_size)
            return false;
        position += D88_SECTOR_HEADER_SIZE + s.data_size;
    }
    return true;
}

// Whether the slot's data differs from the bytes (copy false), or with
// copy puts it there.
bool patch_slot(const d88_disk& disk, int32_t slot, uint8_t* at, bool copy)
{
    const d88_track& track = disk.track[slot];
    int64_t position = disk.track_offset[slot];
    bool changed = false;
    for (int32_t i = 0; i < track.count; ++i) {
        const d88_sector& s = track.sectors[i];
        uint8_t* data = at + position + D88_SECTOR_HEADER_SIZE;
        const size_t size = static_cast<size_t>(s.data_size);
        if (size > 0 && copy)
            std::memcpy(data, s.data, size);
        else if (size > 0)
            changed = changed || std::memcmp(data, s.data, size) != 0;
        position += D88_SECTOR_HEADER_SIZE + s.data_size;
    }
    return changed;
}

// Whether every disk of the image lies in the bytes as it was read.
bool is_image_in_place(const d88_image& image, const uint8_t* bytes, int64_t size)
{
    int64_t start = 0;
    for (const d88_disk* disk = image.disks; disk != nullptr; disk = disk->next) {
        if (!has_d88_disk_room(size - start) || disk->disk_size > size - start ||
            get_le32(bytes + start + D88_DISK_SIZE_AT) != disk->disk_size)
            return false;
        for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
            const int32_t offset = disk->track_offset[slot];
            const bool present = disk->track[slot].count > 0;  // an offset may name an empty slot
            if (present && (offset == 0 || !is_slot_in_place(*disk, slot, bytes + start, disk->disk_size)))
                return false;
        }
        start += disk->disk_size;
    }
    return true;
}

}  // namespace

int32_t update_d88_image_bytes(const d88_image* image, uint8_t* bytes, int32_t size)
{
    if (image == nullptr || bytes == nullptr || size <= 0) {
        print_d88_line("update_d88_image_bytes: illegal parameter");
        return -1;
    }
    if (!is_image_in_place(*image, bytes, size)) {
        print_d88_line("illegal data: the records no longer have the layout of the image's bytes");
        return -1;
    }
    int32_t patched = 0;
    int64_t start = 0;
    for (const d88_disk* disk = image->disks; disk != nullptr; start += disk->disk_size, disk = disk->next) {
        uint8_t* at = bytes + start;
        std::memcpy(at + D88_NAME_AT, disk->name, sizeof disk->name);
        at[D88_WRITE_PROTECT_AT] = disk->write_protect;
        at[D88_MEDIA_AT] = disk->disk_type;
        bool changed[D88_TRACK_MAX];
        for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot)
            changed[slot] = patch_slot(*disk, slot, at, false);
        for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
            if (changed[slot])
                patch_slot(*disk, slot, at, true);
            patched += changed[slot];
        }
    }
    return patched;
}
