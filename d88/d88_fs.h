// d88_fs.h -- what the file systems inside a disk share: where a variant
// keeps its parts, the volume opened on a disk, the decoded FAT links, and
// each file system's own decoding and encoding.  Private to the library.
#ifndef D88_D88_FS_H
#define D88_D88_FS_H

#include <cstdint>

#include "d88.h"

// What a cluster's FAT entry says.  NEXT: value is the next cluster; LAST:
// value is the number of sectors the file uses of it (0: the entry's size
// says); RESERVED: the system's; BAD: no value the file system has.
enum link_state : uint8_t { LINK_FREE, LINK_RESERVED, LINK_NEXT, LINK_LAST, LINK_BAD };

struct cluster_link {
    link_state state;
    int32_t value;
};

// Where one variant of a file system keeps its parts.  Sectors are counted
// from the disk's first (logical sector numbers): track by track, a track
// being cylinder * heads + head, R from 1.
struct fs_layout {
    int32_t fs;
    const char* description;
    uint8_t media;                     // the D88 media byte of the variant
    int32_t cylinders, heads, sectors, sector_size;
    int32_t cluster_sectors, first_cluster, cluster_count, data_lsn;
    int32_t fat_lsn, fat_sectors, fat_copies;  // copy k at fat_lsn + k * fat_sectors
    int32_t dir_lsn, dir_sectors, entry_size;
    int32_t name_at, name_size, ext_size;      // the name's bytes in an entry, its extension after them
};

// A file system opened on a disk: its layout, and copies of the first FAT
// copy and of the root directory, which the operations change and store.
struct fs_volume {
    d88_disk* disk;
    fs_layout layout;
    uint8_t* fat;
    uint8_t* dir;
    int32_t fat_size, dir_size;
    int32_t differing_copy;  // the first FAT copy unlike the first, or 0
};

// How an entry of the directory is used: by a file, by something else that
// is not listed (a long name's part), not at all, or not from here on.
enum entry_use { ENTRY_FILE, ENTRY_OTHER, ENTRY_FREE, ENTRY_END };

// The sector holding logical sector lsn when it holds the layout's sector
// size, else null.
d88_sector* find_fs_sector(const fs_volume& volume, int32_t lsn);

// Each file system: its variant on the disk (found by its media and its
// marks; with `marks` false by the media alone, for formatting), its FAT
// links, its entries, and the bytes of an empty one.
bool find_n88_layout(d88_disk* disk, bool marks, fs_layout* layout);
cluster_link get_n88_link(const fs_volume& volume, int32_t cluster);
void set_n88_link(fs_volume* volume, int32_t cluster, cluster_link link);
entry_use decode_n88_entry(const uint8_t* raw, d88_file_entry* entry);
void encode_n88_entry(uint8_t* raw, int32_t type, int32_t start);
void format_n88_volume(fs_volume* volume);
void mark_n88_deleted(uint8_t* raw);

bool find_hu_layout(d88_disk* disk, bool marks, fs_layout* layout);
cluster_link get_hu_link(const fs_volume& volume, int32_t cluster);
void set_hu_link(fs_volume* volume, int32_t cluster, cluster_link link);
entry_use decode_hu_entry(const uint8_t* raw, d88_file_entry* entry);
void encode_hu_entry(uint8_t* raw, int32_t size, int32_t start, const d88_file_options& options);
void format_hu_volume(fs_volume* volume, d88_sector* boot);
void mark_hu_deleted(uint8_t* raw);
bool read_hu_boot_entry(const fs_volume& volume, d88_file_entry* entry);

bool find_fat12_layout(d88_disk* disk, bool marks, fs_layout* layout);
cluster_link get_fat12_link(const fs_volume& volume, int32_t cluster);
void set_fat12_link(fs_volume* volume, int32_t cluster, cluster_link link);
entry_use decode_fat12_entry(const uint8_t* raw, d88_file_entry* entry);
void encode_fat12_entry(uint8_t* raw, int32_t size, int32_t start, const d88_file_options& options);
void format_fat12_volume(fs_volume* volume, d88_sector* boot);
void mark_fat12_deleted(uint8_t* dir, int32_t index);

// The shared pieces of an entry: its name for people (NAME.EXT, padding
// left out), and the BCD date of Hu-BASIC.
void decode_entry_name(const fs_layout& layout, const uint8_t* raw, char name[24]);
uint8_t to_bcd(int32_t value);
int32_t from_bcd(uint8_t value);

#endif
