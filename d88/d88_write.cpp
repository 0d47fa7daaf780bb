// d88_write.cpp -- laying images out anew and storing them as files.
//
// Every disk is written from its records alone: the disk size, the track
// offsets and each sector's sectors-in-track are computed here, never taken
// from what was read.  A file is replaced only once its new contents are
// complete on the disk, so a failed write never loses the old file.
#include "d88.h"
#include "d88_memory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int SYMLINK_HOPS_MAX = 40;

// The written size of a disk in 64 bits, or -1 for a sector whose data size
// is negative (which no file can hold).
int64_t measure_d88_disk(const d88_disk* disk)
{
    int64_t size = D88_HEADER_SIZE;
    for (const d88_track& track : disk->track) {
        if (track.sectors == nullptr)
            continue;
        for (int32_t i = 0; i < track.count; ++i) {
            if (track.sectors[i].data_size < 0)
                return -1;
            size += D88_SECTOR_HEADER_SIZE + track.sectors[i].data_size;
        }
    }
    return size;
}

// The written size of the first `limit` disks of the list, or -1 when one
// of them cannot be written.
int64_t measure_d88_disks(const d88_image* image, int64_t limit)
{
    int64_t total = 0;
    int64_t index = 0;
    for (const d88_disk* disk = image->disks; disk != nullptr && index < limit; disk = disk->next, ++index) {
        const int32_t size = calc_d88_disk_size(disk);
        if (size < 0)
            return -1;
        total += size;
    }
    return total;
}

uint8_t* put_d88_sector(uint8_t* p, const d88_sector& sector, int32_t count)
{
    *p++ = sector.c;
    *p++ = sector.h;
    *p++ = sector.r;
    *p++ = sector.n;
    p = put_le16(p, static_cast<uint16_t>(count));
    *p++ = sector.density;
    *p++ = sector.deleted_mark;
    *p++ = sector.status;
    std::memcpy(p, sector.reserved, sizeof sector.reserved);
    p = put_le16(p + sizeof sector.reserved, static_cast<uint16_t>(sector.data_size));
    if (sector.data != nullptr)
        std::memcpy(p, sector.data, static_cast<size_t>(sector.data_size));
    else
        std::memset(p, 0, static_cast<size_t>(sector.data_size));
    return p + sector.data_size;
}

char* copy_text(const char* a, size_t a_length, const char* b)
{
    const size_t b_length = std::strlen(b);
    char* text = static_cast<char*>(std::malloc(a_length + b_length + 1));
    if (text == nullptr)
        return nullptr;
    std::memcpy(text, a, a_length);
    std::memcpy(text + a_length, b, b_length + 1);
    return text;
}

// The file that writing to path replaces: path itself, or the end of its
// chain of symbolic links, so that the links stay links.  Null only when
// memory runs out.
char* resolve_target(const char* path)
{
    char* current = copy_text(path, std::strlen(path), "");
    for (int hop = 0; current != nullptr && hop < SYMLINK_HOPS_MAX; ++hop) {
        struct stat st;
        if (lstat(current, &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        char link[4096];
        const ssize_t length = readlink(current, link, sizeof link - 1);
        if (length < 0 || static_cast<size_t>(length) >= sizeof link - 1)
            break;
        link[length] = '\0';
        const char* slash = std::strrchr(current, '/');
        const size_t folder = link[0] == '/' || slash == nullptr ? 0 : static_cast<size_t>(slash - current) + 1;
        char* next = copy_text(current, folder, link);
        std::free(current);
        current = next;
    }
    if (current == nullptr)
        std::puts("memory exhaust!");
    return current;
}

bool write_all(int fd, const uint8_t* buffer, int32_t size)
{
    size_t done = 0;
    while (done < static_cast<size_t>(size)) {
        const ssize_t n = write(fd, buffer + done, static_cast<size_t>(size) - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes straight into something that is not a regular file: a device or
// a pipe, which cannot be replaced by renaming.
int32_t store_in_place(const char* target, const uint8_t* buffer, int32_t size, const char* path)
{
    const int fd = open(target, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        std::printf("open error '%s'\n", path);
        return -1;
    }
    const bool written = write_all(fd, buffer, size);
    if (close(fd) != 0 || !written) {
        std::printf("write error '%s'\n", path);
        return -1;
    }
    return 0;
}

// Writes a temporary file beside target, flushes it to the disk and renames
// it over target.  The new file keeps the permission bits of the one it
// replaces; a new one gets 0666 less the umask, as a plain create would.
int32_t store_by_rename(const char* target, const struct stat* old, const uint8_t* buffer, int32_t size,
                        const char* path)
{
    if (old != nullptr && access(target, W_OK) != 0) {
        std::printf("open error '%s'\n", path);
        return -1;
    }
    char* temp = copy_text(target, std::strlen(target), ".XXXXXX");
    if (temp == nullptr) {
        std::puts("memory exhaust!");
        return -1;
    }
    const int fd = mkstemp(temp);
    if (fd < 0) {
        std::printf("open error '%s'\n", path);
        std::free(temp);
        return -1;
    }
    mode_t mode = 0;
    if (old != nullptr) {
        mode = old->st_mode & 07777;
        if (fchown(fd, old->st_uid, old->st_gid) != 0)
            mode &= 0777;  // a file we cannot give away keeps no set-id bits
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool stored = fchmod(fd, mode) == 0 && write_all(fd, buffer, size) && fsync(fd) == 0;
    stored = close(fd) == 0 && stored;
    stored = stored && rename(temp, target) == 0;
    if (!stored) {
        unlink(temp);
        std::printf("write error '%s'\n", path);
    }
    std::free(temp);
    return stored ? 0 : -1;
}

// Stores buffer as the file at path; messages name path as the caller gave it.
int32_t store_file(const char* path, const uint8_t* buffer, int32_t size)
{
    char* target = resolve_target(path);
    if (target == nullptr)
        return -1;
    struct stat st;
    const bool exists = stat(target, &st) == 0;
    int32_t result = 0;
    if (exists && !S_ISREG(st.st_mode))
        result = store_in_place(target, buffer, size, path);
    else
        result = store_by_rename(target, exists ? &st : nullptr, buffer, size, path);
    std::free(target);
    return result;
}

}  // namespace

// The written size of one disk: the header plus every sector record of its
// present slots; -1 when it cannot be written (a negative data size, or a
// size past the signed 32-bit range).
int32_t calc_d88_disk_size(const d88_disk* disk)
{
    const int64_t size = measure_d88_disk(disk);
    return size < 0 || size > INT32_MAX ? -1 : static_cast<int32_t>(size);
}

// The written size of every disk of the list, disk_count notwithstanding;
// -1 when it cannot be written.
int32_t calc_d88_image_size(const d88_image* image)
{
    const int64_t total = measure_d88_disks(image, INT64_MAX);
    return total < 0 || total > INT32_MAX ? -1 : static_cast<int32_t>(total);
}

// Serialises one disk at dst, which has room bytes; *next_out receives the
// position after its last byte.  Exactly calc_d88_disk_size bytes are
// written, every one of them.
int32_t write_d88_disk_to_buffer(const d88_disk* disk, uint8_t* dst, uint8_t** next_out, int32_t room)
{
    if (disk == nullptr || dst == nullptr || next_out == nullptr) {
        std::puts("write_d88_disk_to_buffer: illegal parameter");
        return -1;
    }
    const int32_t size = calc_d88_disk_size(disk);
    if (size < 0) {
        std::puts("write d88 disk: disk too large or data size negative");
        return -1;
    }
    if (room < size) {
        std::printf("write d88 disk: buffer size error: %d < %d\n", static_cast<int>(room), static_cast<int>(size));
        return -1;
    }
    std::memcpy(dst, disk->name, sizeof disk->name);
    std::memcpy(dst + 0x11, disk->reserved, sizeof disk->reserved);
    dst[0x1A] = disk->write_protect;
    dst[0x1B] = disk->disk_type;
    put_le32(dst + 0x1C, static_cast<uint32_t>(size));
    uint8_t* position = dst + D88_HEADER_SIZE;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const d88_track& track = disk->track[slot];
        // A slot without sectors takes no bytes; an offset for it would
        // point at the next track, or past the disk.
        const bool present = track.sectors != nullptr && track.count > 0;
        put_le32(dst + 0x20 + 4 * slot, present ? static_cast<uint32_t>(position - dst) : 0);
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
        std::puts("write_d88_image_to_buffer: illegal parameter");
        return -1;
    }
    *buffer_out = nullptr;
    const int64_t total = measure_d88_disks(image, image->disk_count);  // what a file holds
    if (total < 0 || total > INT32_MAX) {
        std::puts("write d88 image: image too large or data size negative");
        return -1;
    }
    *size_out = static_cast<int32_t>(total);
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(total > 0 ? static_cast<size_t>(total) : 1));
    if (buffer == nullptr) {
        std::puts("memory exhaust!");
        return -1;
    }
    prepare_large_buffer(buffer, static_cast<size_t>(total));
    uint8_t* position = buffer;
    int32_t index = 0;
    for (const d88_disk* disk = image->disks; disk != nullptr && index < image->disk_count;
         disk = disk->next, ++index) {
        const int32_t room = static_cast<int32_t>(buffer + total - position);
        if (write_d88_disk_to_buffer(disk, position, &position, room) < 0) {
            std::printf("write d88 disk[%d] error\n", static_cast<int>(index));
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
        std::puts("write_d88_image_file: illegal parameter");
        return -1;
    }
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (write_d88_image_to_buffer(image, &buffer, &size) < 0) {
        std::printf("write image data error '%s'\n", path);
        return -1;
    }
    const int32_t result = store_file(path, buffer, size);
    std::free(buffer);
    return result;
}

// Stores one disk alone as a one-disk image file, whatever it links to.
int32_t write_d88_disk_file(const d88_disk* disk, const char* path)
{
    if (disk == nullptr) {
        std::puts("write_d88_disk_file: illegal parameter");
        return -1;
    }
    const d88_image image = {1, const_cast<d88_disk*>(disk)};
    return write_d88_image_file(&image, path);
}
