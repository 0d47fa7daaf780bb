// write.cpp -- laying images out anew and storing them as files.
//
// Every disk is written from its records alone: the disk size, the track
// offsets and each sector's sectors-in-track are computed here, never taken
// from what was read.  Storing the bytes as a file is the file layer's.
#include "d88.h"
#include "file.h"
#include "layout.h"
#include "message.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The written size of the first `limit` disks of the list that starts at
// disk, in 64 bits so that no sum can overflow; -1 for a sector whose data
// size is negative, which no file can hold.
int64_t measure_d88_disks(const d88_disk* disk, int64_t limit)
{
    int64_t size = 0;
    for (; disk != nullptr && limit > 0; disk = disk->next, --limit) {
        size += D88_HEADER_SIZE;
        for (const d88_track& track : disk->track) {
            for (int32_t i = 0; track.sectors != nullptr && i < track.count; ++i) {
                if (track.sectors[i].data_size < 0)
                    return -1;
                size += D88_SECTOR_HEADER_SIZE + track.sectors[i].data_size;
            }
        }
    }
    return size;
}

// A measured size as the signed 32-bit value of the interface: -1 when it
// cannot be written.
int32_t clamp_size(int64_t size)
{
    return size < 0 || size > INT32_MAX ? -1 : static_cast<int32_t>(size);
}

uint8_t* put_d88_sector(uint8_t* p, const d88_sector& sector, int32_t count)
{
    p[D88_SECTOR_C_AT] = sector.c;
    p[D88_SECTOR_H_AT] = sector.h;
    p[D88_SECTOR_R_AT] = sector.r;
    p[D88_SECTOR_N_AT] = sector.n;
    put_le16(p + D88_SECTOR_COUNT_AT, static_cast<uint16_t>(count));
    p[D88_DENSITY_AT] = sector.density;
    p[D88_DELETED_AT] = sector.deleted_mark;
    p[D88_STATUS_AT] = sector.status;
    std::memcpy(p + D88_SECTOR_RESERVED_AT, sector.reserved, sizeof sector.reserved);
    put_le16(p + D88_DATA_SIZE_AT, static_cast<uint16_t>(sector.data_size));
    p += D88_SECTOR_HEADER_SIZE;
    if (sector.data != nullptr)
        std::memcpy(p, sector.data, static_cast<size_t>(sector.data_size));
    else
        std::memset(p, 0, static_cast<size_t>(sector.data_size));
    return p + sector.data_size;
}

}  // namespace

// The written size of one disk: the header plus every sector record of its
// present slots; -1 when it cannot be written (a negative data size, or a
// size past the signed 32-bit range).
int32_t calc_d88_disk_size(const d88_disk* disk)
{
    return clamp_size(measure_d88_disks(disk, 1));
}

// The written size of every disk of the list, disk_count notwithstanding;
// -1 when it cannot be written.
int32_t calc_d88_image_size(const d88_image* image)
{
    return clamp_size(measure_d88_disks(image->disks, INT64_MAX));
}

// Serialises one disk at dst, which has room bytes; *next_out receives the
// position after its last byte.  Exactly calc_d88_disk_size bytes are
// written, every one of them.
int32_t write_d88_disk_to_buffer(const d88_disk* disk, uint8_t* dst, uint8_t** next_out, int32_t room)
{
    if (disk == nullptr || dst == nullptr || next_out == nullptr) {
        print_d88_line("write_d88_disk_to_buffer: illegal parameter");
        return -1;
    }
    const int32_t size = calc_d88_disk_size(disk);
    if (size < 0) {
        print_d88_line("write d88 disk: disk too large or data size negative");
        return -1;
    }
    if (room < size) {
        print_d88_message("write d88 disk: buffer size error: %d < %d\n", static_cast<int>(room), static_cast<int>(size));
        return -1;
    }
    std::memcpy(dst + D88_NAME_AT, disk->name, sizeof disk->name);
    std::memcpy(dst + D88_RESERVED_AT, disk->reserved, sizeof disk->reserved);
    dst[D88_WRITE_PROTECT_AT] = disk->write_protect;
    dst[D88_MEDIA_AT] = disk->disk_type;
    put_le32(dst + D88_DISK_SIZE_AT, static_cast<uint32_t>(size));
    uint8_t* position = dst + D88_HEADER_SIZE;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const d88_track& track = disk->track[slot];
        // A slot without sectors takes no bytes; an offset for it would
        // point at the next track, or past the disk.
        const bool present = track.sectors != nullptr && track.count > 0;
        put_le32(dst + D88_TRACK_TABLE_AT + 4 * slot, present ? static_cast<uint32_t>(position - dst) : 0);
        for (int32_t i = 0; present && i < track.count; ++i)
            position = put_d88_sector(position, track.sectors[i], track.count);
    }
    *next_out = position;
    return 0;
}

// Makes a new buffer holding the image as a file holds it: its first
// disk_count disks back to back.  The caller releases it with std::free.
int32_t write_d88_image_to_buffer(const d88_image* image, uint8_t** buffer_out, int32_t* size_out)
{
    if (image == nullptr || buffer_out == nullptr || size_out == nullptr) {
        print_d88_line("write_d88_image_to_buffer: illegal parameter");
        return -1;
    }
    *buffer_out = nullptr;
    const int32_t total = clamp_size(measure_d88_disks(image->disks, image->disk_count));  // what a file holds
    if (total < 0) {
        print_d88_line("write d88 image: image too large or data size negative");
        return -1;
    }
    *size_out = total;
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(total > 0 ? static_cast<size_t>(total) : 1));
    if (buffer == nullptr) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    prepare_large_buffer(buffer, static_cast<size_t>(total));
    uint8_t* position = buffer;
    int32_t index = 0;
    for (const d88_disk* disk = image->disks; disk != nullptr && index < image->disk_count;
         disk = disk->next, ++index) {
        const int32_t room = static_cast<int32_t>(buffer + total - position);
        if (write_d88_disk_to_buffer(disk, position, &position, room) < 0) {
            print_d88_message("write d88 disk[%d] error\n", static_cast<int>(index));
            std::free(buffer);
            return -1;
        }
    }
    *buffer_out = buffer;
    return 0;
}

// Stores the image as the file at path.  An existing regular file is
// replaced only when the new one is complete on the disk.
int32_t write_d88_image_file(const d88_image* image, const char* path)
{
    if (path == nullptr) {
        print_d88_line("write_d88_image_file: illegal parameter");
        return -1;
    }
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (write_d88_image_to_buffer(image, &buffer, &size) < 0) {
        print_d88_message("write image data error '%s'\n", path);
        return -1;
    }
    const int32_t result = store_d88_file(path, buffer, size);
    std::free(buffer);
    return result;
}

// Stores one disk alone as a one-disk image file, whatever it links to.
int32_t write_d88_disk_file(const d88_disk* disk, const char* path)
{
    if (disk == nullptr) {
        print_d88_line("write_d88_disk_file: illegal parameter");
        return -1;
    }
    const d88_image image = {1, const_cast<d88_disk*>(disk)};
    return write_d88_image_file(&image, path);
}
