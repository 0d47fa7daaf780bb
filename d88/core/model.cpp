// model.cpp -- little-endian fields, look-ups and release of the records.
#include "d88.h"

#include <cstdlib>
#include <cstring>

uint16_t get_le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The four bytes taken as an unsigned value, then seen as signed: FF FF FF FF
// is -1, so a stored size or offset with the top bit set reads as negative.
int32_t get_le32(const uint8_t* p)
{
    const uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                       static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    return static_cast<int32_t>(v);
}

uint8_t* put_le16(uint8_t* p, uint16_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    return p + 2;
}

uint8_t* put_le32(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
    return p + 4;
}

// The disk at zero-based position index of the list; disk_count is not used,
// so the answer always agrees with the list itself.
d88_disk* get_d88_disk(d88_image* image, int32_t index)
{
    if (index < 0)
        return nullptr;
    d88_disk* disk = image->disks;
    for (; disk != nullptr && index > 0; --index)
        disk = disk->next;
    return disk;
}

// Tracks are known by the C and H of their first sector, never by slot
// number; the lowest matching slot wins.
d88_track* find_d88_track(d88_disk* disk, uint8_t c, uint8_t h)
{
    for (d88_track& track : disk->track) {
        if (track.sectors == nullptr || track.count <= 0)
            continue;
        if (track.sectors[0].c == c && track.sectors[0].h == h)
            return &track;
    }
    return nullptr;
}

// Searches only the first track that find_d88_track would return, even when
// a later slot starts with the same C and H.
d88_sector* find_d88_sector(d88_disk* disk, uint8_t c, uint8_t h, uint8_t r)
{
    d88_track* track = find_d88_track(disk, c, h);
    if (track == nullptr)
        return nullptr;
    for (int32_t i = 0; i < track->count; ++i) {
        if (track->sectors[i].r == r)
            return &track->sectors[i];
    }
    return nullptr;
}

// Releases every sector array and data buffer of the disk.  With
// release_record 0 the record is cleared instead, ready to be read into.
void free_d88_disk(d88_disk* disk, int release_record)
{
    if (disk == nullptr)
        return;
    for (d88_track& track : disk->track) {
        if (track.sectors == nullptr)
            continue;
        for (int32_t i = 0; i < track.count; ++i)
            std::free(track.sectors[i].data);
        std::free(track.sectors);
    }
    if (release_record)
        std::free(disk);
    else
        std::memset(disk, 0, sizeof *disk);
}

// Releases every disk of the list.  With release_record 0 the image is left
// empty (no disks, count 0) so that it can be read into again.
void free_d88_image(d88_image* image, int release_record)
{
    if (image == nullptr)
        return;
    while (image->disks != nullptr) {
        d88_disk* disk = image->disks;
        image->disks = disk->next;
        disk->next = nullptr;
        free_d88_disk(disk, 1);
    }
    if (release_record)
        std::free(image);
    else
        image->disk_count = 0;
}
