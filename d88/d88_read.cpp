// d88_read.cpp -- loading and validating D88 images.
//
// Five readers form a chain: file -> image -> disk -> track -> sector.  The
// one that meets a fault prints it and returns -1; each caller adds a line
// naming what it was reading.  Positions are checked in 64 bits, so no value
// read from a file can make them overflow, and nothing outside the image's
// bytes is ever read.
#include "d88.h"
#include "d88_file.h"
#include "d88_layout.h"
#include "d88_message.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool is_zero(const uint8_t* p, int32_t size)
{
    for (int32_t i = 0; i < size; ++i) {
        if (p[i] != 0)
            return false;
    }
    return true;
}

// A track's bytes end at the smallest offset in the table that lies above
// its own, or at the end of the disk.
int32_t find_track_end(const d88_disk* disk, int32_t slot)
{
    const int32_t offset = disk->track_offset[slot];
    int32_t end = disk->disk_size;
    for (int32_t other : disk->track_offset) {
        if (other > offset && other < end)
            end = other;
    }
    return end;
}

// The first slot from `first` to `last` - 1 whose offset is neither 0 nor
// a position inside the disk past its header (672 passes where a short
// header may end), or -1 when every one passes.
int32_t find_bad_offset(const d88_disk* disk, int32_t first, int32_t last, bool short_allowed)
{
    for (int32_t slot = first; slot < last; ++slot) {
        const int32_t offset = disk->track_offset[slot];
        const bool past_header = offset >= D88_HEADER_SIZE || (short_allowed && offset == D88_HEADER_SIZE_160);
        if (offset != 0 && (offset >= disk->disk_size || !past_header))
            return slot;
    }
    return -1;
}

// The header is the short one when the disk's bytes are nothing but it, or
// when a track starts right after 160 offsets.
bool has_short_header(const d88_disk* disk, int32_t size)
{
    if (size == D88_HEADER_SIZE_160)
        return true;
    for (int32_t slot = 0; slot < D88_SHORT_TRACK_MAX; ++slot) {
        if (disk->track_offset[slot] == D88_HEADER_SIZE_160)
            return true;
    }
    return false;
}

// Reads the present slots; size is the number of bytes the disk's buffer
// holds, which bounds the first sector header of every slot.
int32_t read_d88_tracks(d88_disk* disk, const uint8_t* buffer, int32_t size)
{
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const int32_t offset = disk->track_offset[slot];
        if (offset == 0)
            continue;
        const int32_t end = find_track_end(disk, slot);
        int32_t result = -1;
        if (int64_t{offset} + D88_SECTOR_HEADER_SIZE > size)
            print_d88_message("data error: data size(0x%08X) < offset(0x%08X)\n", static_cast<unsigned>(end),
                        static_cast<unsigned>(offset));
        else
            result = read_d88_track_from_buffer(&disk->track[slot], buffer, offset, end);
        if (result < 0) {
            print_d88_message("read track %d error [%.17s]\n", static_cast<int>(slot), disk->name);
            return -1;
        }
    }
    return 0;
}

// Appends a disk at the tail of the image's list.
void append_d88_disk(d88_image* image, d88_disk** tail, d88_disk* disk)
{
    if (*tail == nullptr)
        image->disks = disk;
    else
        (*tail)->next = disk;
    *tail = disk;
    image->disk_count += 1;
}

}  // namespace

// Loads a whole image file.  The image record is touched only once the
// file's bytes are in memory; they are released before returning.
int32_t read_d88_image_file(d88_image* image, const char* path)
{
    int32_t size = 0;
    uint8_t* buffer = load_d88_file(path, &size);
    if (buffer == nullptr)
        return -1;
    const int32_t result = read_d88_image_from_named_buffer(image, buffer, size, path);
    std::free(buffer);
    return result;
}

// The bytes of the file `name`, read elsewhere, reported as the file
// reader reports them: no bytes at all are a read error.
int32_t read_d88_image_from_named_buffer(d88_image* image, const uint8_t* buffer, int32_t size, const char* name)
{
    if (name == nullptr || size < 0 || (size > 0 && buffer == nullptr)) {
        print_d88_line("read_d88_image_from_named_buffer: illegal parameter");
        return -1;
    }
    if (size == 0) {
        print_d88_message("read error '%s'\n", name);
        return -1;
    }
    const int32_t result = read_d88_image_from_buffer(image, buffer, size);
    if (result < 0)
        print_d88_message("read image data error '%s'\n", name);
    return result;
}

// Splits the bytes into disks, each one starting where the one before ends.
// Trailing bytes too few for a header are reported and ignored; any failing
// disk empties the image again.
int32_t read_d88_image_from_buffer(d88_image* image, const uint8_t* buffer, int32_t size)
{
    if (image == nullptr || buffer == nullptr || size <= 0) {
        print_d88_line("read_d88_image_from_buffer: illegal parameter");
        return -1;
    }
    image->disk_count = 0;
    image->disks = nullptr;
    d88_disk* tail = nullptr;
    int32_t position = 0;
    while (position < size) {
        const int32_t remainder = size - position;
        if (remainder < D88_HEADER_SIZE && remainder != D88_HEADER_SIZE_160) {
            print_d88_line("data size too short ... garbage? ... ignored");
            break;
        }
        d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
        if (disk == nullptr) {
            print_d88_line("memory exhaust!");
            free_d88_image(image, 0);
            return -1;
        }
        if (read_d88_disk_from_buffer(disk, buffer + position, remainder) < 0) {
            print_d88_message("read disk %d error\n", static_cast<int>(image->disk_count + 1));
            free_d88_disk(disk, 1);
            free_d88_image(image, 0);
            return -1;
        }
        position += disk->disk_size;
        append_d88_disk(image, &tail, disk);
    }
    return image->disk_count;
}

// Reads one disk: header checks in a fixed order, then every present slot.
// size counts the bytes from the disk's start to the end of the image; it
// must cover the header (exactly 672, or at least 688).  Messages show the
// disk's name up to its zero byte, or all 17 bytes when it has none.
int32_t read_d88_disk_from_buffer(d88_disk* disk, const uint8_t* buffer, int32_t size)
{
    if (disk == nullptr || buffer == nullptr || size <= 0 ||
        (size < D88_HEADER_SIZE && size != D88_HEADER_SIZE_160)) {
        print_d88_line("read_d88_disk_from_buffer: illegal parameter");
        return -1;
    }
    std::memset(disk, 0, sizeof *disk);
    std::memcpy(disk->name, buffer + D88_NAME_AT, sizeof disk->name);
    std::memcpy(disk->reserved, buffer + D88_RESERVED_AT, sizeof disk->reserved);
    disk->write_protect = buffer[D88_WRITE_PROTECT_AT];
    disk->disk_type = buffer[D88_MEDIA_AT];
    disk->disk_size = get_le32(buffer + D88_DISK_SIZE_AT);

    if (disk->disk_size < D88_HEADER_SIZE_160 || disk->disk_size > size) {
        print_d88_message("illegal data: [%.17s] disk size = 0x%08X\n", disk->name,
                    static_cast<unsigned>(disk->disk_size));
        return -1;
    }
    if (disk->write_protect != D88_WRITABLE && disk->write_protect != D88_PROTECTED) {
        print_d88_message("illegal data: [%.17s] write protect flag = 0x%02X\n", disk->name, disk->write_protect);
        return -1;
    }
    if (disk->disk_type != D88_MEDIA_2D && disk->disk_type != D88_MEDIA_2DD && disk->disk_type != D88_MEDIA_2HD) {
        print_d88_message("illegal data: [%.17s] disk type = 0x%02X\n", disk->name, disk->disk_type);
        return -1;
    }
    const int32_t table_length = size == D88_HEADER_SIZE_160 ? D88_SHORT_TRACK_MAX : D88_TRACK_MAX;
    for (int32_t slot = 0; slot < table_length; ++slot)
        disk->track_offset[slot] = get_le32(buffer + D88_TRACK_TABLE_AT + 4 * slot);
    int32_t bad_slot = find_bad_offset(disk, 0, D88_SHORT_TRACK_MAX, true);
    if (bad_slot < 0 && has_short_header(disk, size))
        std::fill(disk->track_offset + D88_SHORT_TRACK_MAX, disk->track_offset + D88_TRACK_MAX, 0);
    else if (bad_slot < 0)
        bad_slot = find_bad_offset(disk, D88_SHORT_TRACK_MAX, D88_TRACK_MAX, false);
    if (bad_slot >= 0) {
        print_d88_message("illegal data: [%.17s] track %d offset = 0x%08X\n", disk->name, static_cast<int>(bad_slot),
                    static_cast<unsigned>(disk->track_offset[bad_slot]));
        return -1;
    }
    return read_d88_tracks(disk, buffer, size);
}

// Reads the sectors of one slot, as many as its first header announces.  A
// first header of 16 zero bytes is an empty slot.
int32_t read_d88_track_from_buffer(d88_track* track, const uint8_t* buffer, int32_t offset, int32_t end)
{
    if (track == nullptr || buffer == nullptr || offset <= 0 || end <= 0 || offset >= end) {
        print_d88_line("read_d88_track_from_buffer: illegal parameter");
        return -1;
    }
    track->count = get_le16(buffer + offset + D88_SECTOR_COUNT_AT);
    track->sectors = nullptr;
    if (track->count == 0) {
        if (is_zero(buffer + offset, D88_SECTOR_HEADER_SIZE))
            return 0;
        print_d88_message("illegal data: # of sectors = %d\n", static_cast<int>(track->count));
        return -1;
    }
    track->sectors = static_cast<d88_sector*>(std::calloc(static_cast<size_t>(track->count), sizeof(d88_sector)));
    if (track->sectors == nullptr) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    int32_t position = offset;
    for (int32_t i = 0; i < track->count; ++i) {
        d88_sector* sector = &track->sectors[i];
        if (read_d88_sector_from_buffer(sector, buffer, position, end) < 0) {
            print_d88_message("read sector %d error\n", static_cast<int>(i));
            return -1;
        }
        position += D88_SECTOR_HEADER_SIZE + sector->data_size;
    }
    return 0;
}

// Reads one sector record: its 16-byte header and a copy of its data, both
// of which must lie before the end of the track.
int32_t read_d88_sector_from_buffer(d88_sector* sector, const uint8_t* buffer, int32_t offset, int32_t end)
{
    if (sector == nullptr || buffer == nullptr || offset <= 0 || end <= 0 || offset >= end) {
        print_d88_line("read_d88_sector_from_buffer: illegal parameter");
        return -1;
    }
    std::memset(sector, 0, sizeof *sector);
    if (int64_t{offset} + D88_SECTOR_HEADER_SIZE > end) {
        print_d88_message("data error: data size(0x%08X) < offset(0x%08X)\n", static_cast<unsigned>(end),
                    static_cast<unsigned>(offset));
        return -1;
    }
    const uint8_t* header = buffer + offset;
    sector->c = header[D88_SECTOR_C_AT];
    sector->h = header[D88_SECTOR_H_AT];
    sector->r = header[D88_SECTOR_R_AT];
    sector->n = header[D88_SECTOR_N_AT];
    sector->sector_count = get_le16(header + D88_SECTOR_COUNT_AT);
    sector->density = header[D88_DENSITY_AT];
    sector->deleted_mark = header[D88_DELETED_AT];
    sector->status = header[D88_STATUS_AT];
    std::memcpy(sector->reserved, header + D88_SECTOR_RESERVED_AT, sizeof sector->reserved);
    const uint16_t stored_size = get_le16(header + D88_DATA_SIZE_AT);
    if (stored_size > D88_DATA_SIZE_MAX) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    sector->data_size = static_cast<int16_t>(stored_size);
    if (int64_t{offset} + D88_SECTOR_HEADER_SIZE + stored_size > end) {
        print_d88_message("data error: data size(0x%08X) < offset(0x%08X) + 0x10 + sector size(0x%04X)\n",
                    static_cast<unsigned>(end), static_cast<unsigned>(offset), static_cast<unsigned>(stored_size));
        return -1;
    }
    if (stored_size == 0)
        return 0;
    sector->data = static_cast<uint8_t*>(std::malloc(stored_size));
    if (sector->data == nullptr) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    std::memcpy(sector->data, header + D88_SECTOR_HEADER_SIZE, stored_size);
    return 0;
}
