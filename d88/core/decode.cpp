// decode.cpp -- the rules of the D88 layout, for the reader and the scan.
#include "decode.h"

#include <cstdlib>
#include <cstring>

#include "layout.h"

void decode_d88_disk_header(const uint8_t* p, d88_disk* disk)
{
    std::memcpy(disk->name, p + D88_NAME_AT, sizeof disk->name);
    std::memcpy(disk->reserved, p + D88_RESERVED_AT, sizeof disk->reserved);
    disk->write_protect = p[D88_WRITE_PROTECT_AT];
    disk->disk_type = p[D88_MEDIA_AT];
    disk->disk_size = get_le32(p + D88_DISK_SIZE_AT);
}

bool has_d88_disk_room(int64_t left)
{
    return left >= D88_HEADER_SIZE || left == D88_HEADER_SIZE_160;
}

bool is_d88_disk_size(int64_t disk_size, int64_t room)
{
    return disk_size >= D88_HEADER_SIZE_160 && disk_size <= room;
}

bool is_d88_write_protect(uint8_t value)
{
    return value == D88_WRITABLE || value == D88_PROTECTED;
}

bool is_d88_media(uint8_t value)
{
    return value == D88_MEDIA_2D || value == D88_MEDIA_2DD || value == D88_MEDIA_2HD;
}

void decode_d88_track_table(const uint8_t* p, int32_t size, int32_t offsets[D88_TRACK_MAX])
{
    const int32_t length = size == D88_HEADER_SIZE_160 ? D88_SHORT_TRACK_MAX : D88_TRACK_MAX;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot)
        offsets[slot] = slot < length ? get_le32(p + D88_TRACK_TABLE_AT + 4 * slot) : 0;
}

bool is_d88_short_header(const int32_t offsets[D88_TRACK_MAX], int32_t size)
{
    if (size == D88_HEADER_SIZE_160)
        return true;
    for (int32_t slot = 0; slot < D88_SHORT_TRACK_MAX; ++slot) {
        if (offsets[slot] == D88_HEADER_SIZE_160)
            return true;
    }
    return false;
}

bool is_d88_track_offset(int32_t offset, int32_t slot, int64_t disk_size)
{
    const bool past_header = offset >= D88_HEADER_SIZE || (slot < D88_SHORT_TRACK_MAX && offset == D88_HEADER_SIZE_160);
    return past_header && offset < disk_size;
}

int32_t find_d88_track_end(const int32_t offsets[D88_TRACK_MAX], int32_t slot, int32_t disk_size)
{
    const int32_t offset = offsets[slot];
    int32_t end = disk_size;
    for (int32_t other = 0; other < D88_TRACK_MAX; ++other) {
        if (offsets[other] > offset && offsets[other] < end)
            end = offsets[other];
    }
    return end;
}

int32_t decode_d88_track_count(const uint8_t* first_header)
{
    return get_le16(first_header + D88_SECTOR_COUNT_AT);
}

bool is_d88_empty_slot(const uint8_t* first_header)
{
    for (int32_t i = 0; i < D88_SECTOR_HEADER_SIZE; ++i) {
        if (first_header[i] != 0)
            return false;
    }
    return true;
}

uint16_t decode_d88_sector_header(const uint8_t* p, d88_sector* sector)
{
    *sector = d88_sector{};
    sector->c = p[D88_SECTOR_C_AT];
    sector->h = p[D88_SECTOR_H_AT];
    sector->r = p[D88_SECTOR_R_AT];
    sector->n = p[D88_SECTOR_N_AT];
    sector->sector_count = get_le16(p + D88_SECTOR_COUNT_AT);
    sector->density = p[D88_DENSITY_AT];
    sector->deleted_mark = p[D88_DELETED_AT];
    sector->status = p[D88_STATUS_AT];
    std::memcpy(sector->reserved, p + D88_SECTOR_RESERVED_AT, sizeof sector->reserved);
    const uint16_t stored_size = get_le16(p + D88_DATA_SIZE_AT);
    if (stored_size <= D88_DATA_SIZE_MAX)
        sector->data_size = static_cast<int16_t>(stored_size);
    return stored_size;
}

bool is_d88_sector_header_inside(int64_t position, int64_t end)
{
    return position + D88_SECTOR_HEADER_SIZE <= end;
}

bool is_d88_sector_inside(int64_t position, uint16_t stored_size, int64_t end)
{
    return position + D88_SECTOR_HEADER_SIZE + stored_size <= end;
}

bool copy_d88_sector_data(d88_sector* sector, const uint8_t* p, uint16_t stored_size)
{
    sector->data = nullptr;
    if (stored_size == 0)
        return true;
    sector->data = static_cast<uint8_t*>(std::malloc(stored_size));
    if (sector->data == nullptr)
        return false;
    std::memcpy(sector->data, p, stored_size);
    return true;
}

void append_d88_disk(d88_image* image, d88_disk* disk)
{
    d88_disk** tail = &image->disks;
    while (*tail != nullptr)
        tail = &(*tail)->next;
    *tail = disk;
    image->disk_count += 1;
}

bool is_d88_header(const uint8_t* bytes, int32_t size)
{
    if (!has_d88_disk_room(size))
        return false;
    const int64_t disk_size = get_le32(bytes + D88_DISK_SIZE_AT);
    if (!is_d88_disk_size(disk_size, size))
        return false;
    int32_t offsets[D88_TRACK_MAX];
    decode_d88_track_table(bytes, size, offsets);
    const int32_t slots = is_d88_short_header(offsets, size) ? D88_SHORT_TRACK_MAX : D88_TRACK_MAX;
    for (int32_t slot = 0; slot < slots; ++slot) {
        if (offsets[slot] != 0 && !is_d88_track_offset(offsets[slot], slot, disk_size))
            return false;
    }
    return true;
}
