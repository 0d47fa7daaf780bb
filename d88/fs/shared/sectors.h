// sectors.h -- what the file systems inside a disk share below their own
// code: where a variant keeps its parts, the volume opened on a disk, the
// decoded FAT links, logical sectors on the disk's records, and the pieces
// of an entry they have in common.  Private to the library's file systems.
#ifndef D88_FS_SHARED_SECTORS_H
#define D88_FS_SHARED_SECTORS_H

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
    int32_t system_clusters;           // from first_cluster on, the system's (Hu-BASIC's)
    int32_t fat_lsn, fat_sectors, fat_copies;  // copy k at fat_lsn + k * fat_sectors
    int32_t dir_lsn, dir_sectors, entry_size;
    int32_t name_at, name_size, ext_size;      // the name's bytes in an entry, its extension after them
};

// A file system opened on a disk: its layout, and copies of the first FAT
// copy and of the root directory, which the operations change and store.
// The first copy is the one read: a differing copy is noted, and rewritten
// from the first when the file system is changed.
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

// A directory as the operations walk it: its bytes, and the first cluster
// of its chain (-1 for the root directory, at its fixed sectors).
struct fs_directory {
    uint8_t* bytes;
    int32_t size;
    int32_t start;
};

// The sector holding logical sector lsn when it holds the layout's sector
// size, else null (also for a cylinder beyond 255, which no sector ID
// names).
d88_sector* find_fs_sector(const fs_volume& volume, int32_t lsn);

// Copies count sectors from lsn on into out; false when one is missing.
bool read_sectors(const fs_volume& volume, int32_t lsn, int32_t count, uint8_t* out);
// Stores count sectors from bytes at lsn on, which must all be there.
void write_sectors(const fs_volume& volume, int32_t lsn, int32_t count, const uint8_t* bytes);
bool has_sectors(const fs_volume& volume, int32_t lsn, int32_t count);

// The clusters of a layout: one past the last, bytes in one, and the
// logical sector a cluster starts at.
int32_t end_cluster(const fs_layout& layout);
int32_t cluster_bytes(const fs_layout& layout);
int32_t first_lsn(const fs_layout& layout, int32_t cluster);

// The shared pieces of an entry: its name for people (NAME.EXT, padding
// left out), and the BCD date of Hu-BASIC.
void decode_entry_name(const fs_layout& layout, const uint8_t* raw, char name[24]);
uint8_t to_bcd(int32_t value);
int32_t from_bcd(uint8_t value);
bool is_bcd(uint8_t value);

// The days of a month of the Gregorian calendar, and the day of the week
// of a date (0 Sunday to 6 Saturday).
int32_t days_in_month(int32_t year, int32_t month);
int32_t day_of_week(int32_t year, int32_t month, int32_t day);

// An entry's name with every byte outside printable ASCII as '?', for the
// messages of findings.
void printable_name(const char* name, char out[24]);

#endif
