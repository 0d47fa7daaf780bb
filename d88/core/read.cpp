// read.cpp -- loading and validating D88 images.
//
// Five readers form a chain: file -> image -> disk -> track -> sector.  The
// one that meets a fault prints it and returns -1; each caller adds a line
// naming what it was reading.  Positions are checked in 64 bits, so no value
// read from a file can make them overflow, and nothing outside the image's
// bytes is ever read.
#include "d88.h"
#include "decode.h"
#include "file.h"
#include "layout.h"
#include "message.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Reads the present slots; size is the number of bytes the disk's buffer
// holds, which bounds the first sector header of every slot.
int32_t read_d88_tracks(d88_disk* disk, const uint8_t* buffer, int32_t size)
{
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const int32_t offset = disk->track_offset[slot];
        if (offset == 0)
            continue;
        const int32_t end = find_d88_track_end(disk->track_offset, slot, disk->disk_size);
        int32_t result = -1;
        if (!is_d88_sector_header_inside(offset, size))
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
    int32_t position = 0;
    while (position < size) {
        const int32_t remainder = size - position;
        if (!has_d88_disk_room(remainder)) {
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
        append_d88_disk(image, disk);
    }
    return image->disk_count;
}

// Reads one disk: header checks in a fixed order, then every present slot.
// size counts the bytes from the disk's start to the end of the image; it
// must cover the header (exactly 672, or at least 688).  Messages show the
// disk's name up to its zero byte, or all 17 bytes when it has none.
int32_t read_d88_disk_from_buffer(d88_disk* disk, const uint8_t* buffer, int32_t size)
{
    if (disk == nullptr || buffer == nullptr || size <= 0 || !has_d88_disk_room(size)) {
        print_d88_line("read_d88_disk_from_buffer: illegal parameter");
        return -1;
    }
    std::memset(disk, 0, sizeof *disk);
    decode_d88_disk_header(buffer, disk);
    if (!is_d88_disk_size(disk->disk_size, size)) {
        print_d88_message("illegal data: [%.17s] disk size = 0x%08X\n", disk->name,
                    static_cast<unsigned>(disk->disk_size));
        return -1;
    }
    if (!is_d88_write_protect(disk->write_protect)) {
        print_d88_message("illegal data: [%.17s] write protect flag = 0x%02X\n", disk->name, disk->write_protect);
        return -1;
    }
    if (!is_d88_media(disk->disk_type)) {
        print_d88_message("illegal data: [%.17s] disk type = 0x%02X\n", disk->name, disk->disk_type);
        return -1;
    }
    decode_d88_track_table(buffer, size, disk->track_offset);
    const bool short_header = is_d88_short_header(disk->track_offset, size);
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const int32_t offset = disk->track_offset[slot];
        if (offset == 0 || is_d88_track_offset(offset, slot, disk->disk_size))
            continue;
        if (short_header && slot >= D88_SHORT_TRACK_MAX)
            break;  // past the 160 offsets of a short header: cleared below
        print_d88_message("illegal data: [%.17s] track %d offset = 0x%08X\n", disk->name, static_cast<int>(slot),
                    static_cast<unsigned>(offset));
        return -1;
    }
    if (short_header)
        std::fill(disk->track_offset + D88_SHORT_TRACK_MAX, disk->track_offset + D88_TRACK_MAX, 0);
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
    track->count = decode_d88_track_count(buffer + offset);
    track->sectors = nullptr;
    if (track->count == 0) {
        if (is_d88_empty_slot(buffer + offset))
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
    if (!is_d88_sector_header_inside(offset, end)) {
        print_d88_message("data error: data size(0x%08X) < offset(0x%08X)\n", static_cast<unsigned>(end),
                    static_cast<unsigned>(offset));
        return -1;
    }
    const uint16_t stored_size = decode_d88_sector_header(buffer + offset, sector);
    if (stored_size > D88_DATA_SIZE_MAX) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    if (!is_d88_sector_inside(offset, stored_size, end)) {
        print_d88_message("data error: data size(0x%08X) < offset(0x%08X) + 0x10 + sector size(0x%04X)\n",
                    static_cast<unsigned>(end), static_cast<unsigned>(offset), static_cast<unsigned>(stored_size));
        return -1;
    }
    if (!copy_d88_sector_data(sector, buffer + offset + D88_SECTOR_HEADER_SIZE, stored_size)) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    return 0;
}
