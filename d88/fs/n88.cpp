// n88.cpp -- the file system of N88-BASIC (PC-8801, PC-9801).
//
// Clusters are half a track (2D) or a whole track (2DD, 2HD), numbered from
// the disk's first track.  One system track holds the directory (16-byte
// entries from sector 1), an ID sector, and three identical FAT copies of
// one sector each in its last three sectors.  A FAT entry is one byte per
// cluster: the next cluster, 0xC0 + the sectors used of a file's last
// cluster, 0xFE for the system's clusters, 0xFF when free.  An entry holds
// a 6-byte name, a 3-byte extension, the attributes and the first cluster;
// 0x00 in its first byte marks it deleted, 0xFF the end of the directory.
#include <cstring>

#include "fs.h"

namespace {

constexpr uint8_t N88_FREE = 0xFF;
constexpr uint8_t N88_RESERVED = 0xFE;
constexpr uint8_t N88_LAST = 0xC0;
constexpr uint8_t N88_END = 0xFF;
constexpr uint8_t N88_DELETED = 0x00;

// Entry fields.
constexpr int32_t N88_ATTRIBUTES_AT = 9;
constexpr int32_t N88_START_AT = 10;
constexpr int32_t N88_UNUSED_AT = 11;  // 5 bytes, 0xFF

// Attribute bits.
constexpr uint8_t N88_BINARY = 0x01;
constexpr uint8_t N88_ASCII = 0x80;
constexpr uint8_t N88_WRITE_PROTECT = 0x10;
constexpr uint8_t N88_EDIT_PROTECT = 0x20;
constexpr uint8_t N88_VERIFY = 0x40;

struct n88_variant {
    const char* description;
    uint8_t media;
    int32_t cylinders, sectors, cluster_sectors, system_track, dir_sectors;
};

constexpr n88_variant N88_VARIANTS[] = {
    {"N88-BASIC 2D", 0x00, 40, 16, 8, 37, 12},
    {"N88-BASIC 2DD", 0x10, 80, 16, 16, 80, 12},
    {"N88-BASIC 2HD", 0x20, 77, 26, 26, 70, 22},
};

fs_layout layout_of(const n88_variant& v)
{
    const int32_t system_lsn = v.system_track * v.sectors;
    fs_layout layout = {};
    layout.fs = D88_FS_N88;
    layout.description = v.description;
    layout.media = v.media;
    layout.cylinders = v.cylinders;
    layout.heads = 2;
    layout.sectors = v.sectors;
    layout.sector_size = 256;
    layout.cluster_sectors = v.cluster_sectors;
    layout.cluster_count = v.cylinders * 2 * v.sectors / v.cluster_sectors;
    layout.fat_lsn = system_lsn + v.sectors - 3;
    layout.fat_sectors = 1;
    layout.fat_copies = 3;
    layout.dir_lsn = system_lsn;
    layout.dir_sectors = v.dir_sectors;
    layout.entry_size = 16;
    layout.name_size = 6;
    layout.ext_size = 3;
    return layout;
}

int32_t track_of(const fs_layout& layout, int32_t cluster)
{
    return cluster * layout.cluster_sectors / layout.sectors;
}

bool is_on_system_track(const fs_layout& layout, int32_t cluster)
{
    return track_of(layout, cluster) * layout.sectors == layout.dir_lsn;
}

// The clusters of the system track, and those of cylinder 0 head 0 (the
// boot sector's, and on 2HD single density): reserved by a format.
bool is_system_cluster(const fs_layout& layout, int32_t cluster)
{
    return track_of(layout, cluster) == 0 || is_on_system_track(layout, cluster);
}

}  // namespace

bool find_n88_layout(d88_disk* disk, bool marks, fs_layout* layout)
{
    for (const n88_variant& v : N88_VARIANTS) {
        if (disk->disk_type != v.media)
            continue;
        fs_volume volume = {disk, layout_of(v), nullptr, nullptr, 0, 0, 0};
        const d88_sector* fat = find_fs_sector(volume, volume.layout.fat_lsn);
        // The marks: the system track's clusters reserved, and few values
        // outside those a FAT holds (a fault is reported, not a reason to
        // see no file system).
        bool fits = fat != nullptr;
        int32_t strange = 0;
        volume.fat = fits ? fat->data : nullptr;
        for (int32_t c = 0; marks && fits && c < volume.layout.cluster_count; ++c) {
            fits = !is_on_system_track(volume.layout, c) || fat->data[c] == N88_RESERVED;
            strange += get_n88_link(volume, c).state == LINK_BAD;
        }
        fits = fits && strange * 8 <= volume.layout.cluster_count;
        if (fits)
            *layout = volume.layout;
        return fits;
    }
    return false;
}

cluster_link get_n88_link(const fs_volume& volume, int32_t cluster)
{
    const uint8_t value = volume.fat[cluster];
    if (value == N88_FREE)
        return {LINK_FREE, 0};
    if (value == N88_RESERVED)
        return {LINK_RESERVED, 0};
    if (value < volume.layout.cluster_count)
        return {LINK_NEXT, value};
    if (value > N88_LAST && value <= N88_LAST + volume.layout.cluster_sectors)
        return {LINK_LAST, value - N88_LAST};
    return {LINK_BAD, value};
}

void set_n88_link(fs_volume* volume, int32_t cluster, cluster_link link)
{
    volume->fat[cluster] = static_cast<uint8_t>(link.state == LINK_NEXT   ? link.value
                                                : link.state == LINK_LAST ? N88_LAST + link.value
                                                                          : N88_FREE);
}

entry_use decode_n88_entry(const uint8_t* raw, d88_file_entry* entry)
{
    if (raw[0] == N88_END)
        return ENTRY_END;
    if (raw[0] == N88_DELETED)
        return ENTRY_FREE;
    const uint8_t attributes = raw[N88_ATTRIBUTES_AT];
    entry->attributes = attributes;
    entry->type = attributes & N88_BINARY ? D88_TYPE_BINARY : attributes & N88_ASCII ? D88_TYPE_ASCII : D88_TYPE_BASIC;
    char* flag = entry->flags;
    if (attributes & N88_WRITE_PROTECT)
        *flag++ = 'W';
    if (attributes & N88_EDIT_PROTECT)
        *flag++ = 'E';
    if (attributes & N88_VERIFY)
        *flag++ = 'R';
    *flag = '\0';
    entry->start = raw[N88_START_AT];
    entry->load = entry->exec = -1;
    return ENTRY_FILE;
}

// A replaced file keeps its protection bits.
void encode_n88_entry(uint8_t* raw, int32_t type, int32_t start, bool replacing)
{
    const uint8_t kept = replacing ? raw[N88_ATTRIBUTES_AT] & ~(N88_ASCII | N88_BINARY) : 0;
    raw[N88_ATTRIBUTES_AT] = static_cast<uint8_t>(
        kept | (type == D88_TYPE_ASCII ? N88_ASCII : type == D88_TYPE_BASIC ? 0x00 : N88_BINARY));
    raw[N88_START_AT] = static_cast<uint8_t>(start);
    std::memset(raw + N88_UNUSED_AT, 0xFF, 5);
}

void mark_n88_deleted(uint8_t* raw)
{
    raw[0] = N88_DELETED;
}

void format_n88_volume(fs_volume* volume)
{
    std::memset(volume->fat, N88_FREE, static_cast<size_t>(volume->fat_size));
    for (int32_t c = 0; c < volume->layout.cluster_count; ++c) {
        if (is_system_cluster(volume->layout, c))
            volume->fat[c] = N88_RESERVED;
    }
    std::memset(volume->dir, N88_END, static_cast<size_t>(volume->dir_size));
}
