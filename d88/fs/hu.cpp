// hu.cpp -- the file system of Hu-BASIC (X1 and its relatives).
//
// Sectors are numbered from C 0 H 0 R 1 as 0, head 0 before head 1 on each
// cylinder; clusters are 16 sectors from sector 0 on, across the tracks'
// boundaries where a track holds 26.  Sector 0 begins with the IPL entry
// (the boot program: an entry like the directory's, whose start is a
// sector).
//
//   medium  geometry      FAT sectors  directory  clusters  the system's
//   2D      40 x 2 x 16   14           16-31      80        0, 1
//   2DD     80 x 2 x 16   14, 15       16-31      160       0, 1
//   2HD     77 x 2 x 26   28, 29       32-47      250       0, 1, 2
//
// FAT sector c / 128 holds the entry of cluster c: byte c % 128 the low 7
// bits of its value and, in bit 7, the mark of a last cluster (whose low 4
// bits are then the sectors used - 1); byte c % 128 + 0x80 the value's
// bits 7 and up.  0 is free.  A format marks the entries of clusters the
// disk has not as 0x8F.  A directory entry holds the attributes (0x00
// deleted, 0xFF the end), a 13-byte name, a 3-byte extension, a password
// byte, the size (16 bits; 0 for a text file, whose text runs to 0x1A), the
// load and exec addresses, the date (BCD year, month << 4 | weekday, BCD
// day, hour and minute), and the first cluster: bits 14 and up in byte
// 0x1D, bits 0-6 in 0x1E, bits 7-13 in 0x1F.
#include <cstring>

#include "fs.h"

namespace {

constexpr int32_t HU_CLUSTERS_A_SECTOR = 128;  // a FAT sector's entries
constexpr int32_t HU_HIGH_AT = 0x80;           // their high parts, after the low ones

// Entry fields.
constexpr int32_t HU_ATTRIBUTES_AT = 0x00;
constexpr int32_t HU_NAME_AT = 0x01;       // 13 bytes, then a 3-byte extension
constexpr int32_t HU_PASSWORD_AT = 0x11;
constexpr int32_t HU_SIZE_AT = 0x12;
constexpr int32_t HU_LOAD_AT = 0x14;
constexpr int32_t HU_EXEC_AT = 0x16;
constexpr int32_t HU_DATE_AT = 0x18;       // year, month << 4 | weekday, day, hour, minute
constexpr int32_t HU_START_TOP_AT = 0x1D;  // the first cluster's bits 14 and up
constexpr int32_t HU_START_AT = 0x1E;      // bits 0-6, then bits 7-13; the IPL's start sector as 16 bits

constexpr uint8_t HU_END = 0xFF;
constexpr uint8_t HU_DELETED = 0x00;
constexpr uint8_t HU_BINARY = 0x01;
constexpr uint8_t HU_BASIC = 0x02;
constexpr uint8_t HU_ASCII = 0x04;
constexpr uint8_t HU_HIDDEN = 0x10;
constexpr uint8_t HU_READ_ONLY = 0x40;
constexpr uint8_t HU_DIRECTORY = 0x80;
constexpr uint8_t HU_TYPES = HU_BINARY | HU_BASIC | HU_ASCII | HU_DIRECTORY;
constexpr uint8_t HU_LAST = 0x80;
constexpr uint8_t HU_NO_CLUSTER = 0x8F;  // a system cluster, and one the disk has not

struct hu_variant {
    const char* description;
    uint8_t media;
    int32_t cylinders, sectors, fat_lsn, fat_sectors, dir_lsn, system_clusters;
};

constexpr hu_variant HU_VARIANTS[] = {
    {"Hu-BASIC 2D", 0x00, 40, 16, 14, 1, 16, 2},
    {"Hu-BASIC 2DD", 0x10, 80, 16, 14, 2, 16, 2},
    {"Hu-BASIC 2HD", 0x20, 77, 26, 28, 2, 32, 3},
};

fs_layout layout_of(const hu_variant& v)
{
    fs_layout layout = {};
    layout.fs = D88_FS_HU;
    layout.description = v.description;
    layout.media = v.media;
    layout.cylinders = v.cylinders;
    layout.heads = 2;
    layout.sectors = v.sectors;
    layout.sector_size = 256;
    layout.cluster_sectors = 16;
    layout.cluster_count = v.cylinders * 2 * v.sectors / 16;
    layout.system_clusters = v.system_clusters;
    layout.fat_lsn = v.fat_lsn;
    layout.fat_sectors = v.fat_sectors;
    layout.fat_copies = 1;
    layout.dir_lsn = v.dir_lsn;
    layout.dir_sectors = 16;
    layout.entry_size = 32;
    layout.name_at = HU_NAME_AT;
    layout.name_size = 13;
    layout.ext_size = 3;
    return layout;
}

// The low byte of cluster's FAT entry in fat; its high part is 0x80 on.
int32_t low_at(int32_t cluster)
{
    return cluster / HU_CLUSTERS_A_SECTOR * 256 + cluster % HU_CLUSTERS_A_SECTOR;
}

// Years 80 to 99 are 1980 to 1999, 00 to 79 are 2000 to 2079; the month
// is a binary nibble, the rest BCD.
void decode_date(const uint8_t* date, d88_file_entry* entry)
{
    const int32_t year = from_bcd(date[0]), month = date[1] >> 4, day = from_bcd(date[2]);
    const bool sound = is_bcd(date[0]) && is_bcd(date[2]) && is_bcd(date[3]) && is_bcd(date[4]);
    const int32_t full = year < 80 ? 2000 + year : 1900 + year;
    if (!sound || day < 1 || day > days_in_month(full, month) || from_bcd(date[3]) > 23 || from_bcd(date[4]) > 59)
        return;  // no date, or none a calendar and a clock have
    entry->year = full;
    entry->month = month;
    entry->day = day;
    entry->hour = from_bcd(date[3]);
    entry->minute = from_bcd(date[4]);
}

}  // namespace

bool find_hu_layout(d88_disk* disk, bool marks, fs_layout* layout)
{
    for (const hu_variant& v : HU_VARIANTS) {
        if (disk->disk_type != v.media)
            continue;
        const fs_volume volume = {disk, layout_of(v), nullptr, nullptr, 0, 0, 0};
        const d88_sector* fat = find_fs_sector(volume, v.fat_lsn);
        bool fits = fat != nullptr && (v.fat_sectors == 1 || find_fs_sector(volume, v.fat_lsn + 1) != nullptr);
        // The marks: clusters 0 and 1 linked as the system's chain.
        if (marks && fits)
            fits = fat->data[0] == 0x01 && fat->data[1] == HU_NO_CLUSTER && fat->data[HU_HIGH_AT] == 0 &&
                   fat->data[HU_HIGH_AT + 1] == 0;
        if (fits)
            *layout = volume.layout;
        return fits;
    }
    return false;
}

cluster_link get_hu_link(const fs_volume& volume, int32_t cluster)
{
    if (cluster < volume.layout.system_clusters)
        return {LINK_RESERVED, 0};
    const int32_t low = volume.fat[low_at(cluster)];
    const int32_t high = volume.fat[low_at(cluster) + HU_HIGH_AT];
    if (low & HU_LAST) {
        const bool sound = (low & 0x70) == 0 && high == 0;
        return {sound ? LINK_LAST : LINK_BAD, sound ? (low & 0x0F) + 1 : low};
    }
    const int32_t value = low | high << 7;
    if (value == 0)
        return {LINK_FREE, 0};
    return {value < volume.layout.cluster_count ? LINK_NEXT : LINK_BAD, value};
}

void set_hu_link(fs_volume* volume, int32_t cluster, cluster_link link)
{
    const int32_t value = link.state == LINK_NEXT ? link.value : 0;
    uint8_t* low = volume->fat + low_at(cluster);
    low[0] = static_cast<uint8_t>(link.state == LINK_LAST ? HU_LAST | (link.value - 1) : value & 0x7F);
    low[HU_HIGH_AT] = static_cast<uint8_t>(value >> 7);
}

entry_use decode_hu_entry(const uint8_t* raw, d88_file_entry* entry)
{
    const uint8_t attributes = raw[HU_ATTRIBUTES_AT];
    if (attributes == HU_END)
        return ENTRY_END;
    if (attributes == HU_DELETED)
        return ENTRY_FREE;
    entry->attributes = attributes;
    entry->type = attributes & HU_DIRECTORY ? D88_TYPE_DIRECTORY
                  : attributes & HU_BINARY  ? D88_TYPE_BINARY
                  : attributes & HU_BASIC   ? D88_TYPE_BASIC
                                            : D88_TYPE_ASCII;
    char* flag = entry->flags;
    if (attributes & HU_HIDDEN)
        *flag++ = 'H';
    if (attributes & HU_READ_ONLY)
        *flag++ = 'R';
    if (raw[HU_PASSWORD_AT] != ' ')
        *flag++ = 'P';
    *flag = '\0';
    entry->size = get_le16(raw + HU_SIZE_AT);
    entry->load = get_le16(raw + HU_LOAD_AT);
    entry->exec = get_le16(raw + HU_EXEC_AT);
    // A cluster below 128 written as 16 bits (bit 7 of byte 0x1E set and
    // byte 0x1F 0) reads the same.
    entry->start = raw[HU_START_AT] + (raw[HU_START_AT + 1] << 7) + (raw[HU_START_TOP_AT] << 14);
    decode_date(raw + HU_DATE_AT, entry);
    return ENTRY_FILE;
}

bool is_hu_text(const uint8_t* raw)
{
    return (raw[HU_ATTRIBUTES_AT] & (HU_DIRECTORY | HU_BINARY | HU_BASIC)) == 0;
}

void encode_hu_entry(uint8_t* raw, int32_t size, int32_t start, const d88_file_options& options, bool replacing)
{
    const uint8_t type = options.type == D88_TYPE_ASCII ? HU_ASCII : options.type == D88_TYPE_BASIC ? HU_BASIC
                                                                                                    : HU_BINARY;
    raw[HU_ATTRIBUTES_AT] = static_cast<uint8_t>(type | (replacing ? raw[HU_ATTRIBUTES_AT] & ~HU_TYPES : 0));
    if (!replacing)
        raw[HU_PASSWORD_AT] = ' ';
    put_le16(raw + HU_SIZE_AT, static_cast<uint16_t>(type == HU_ASCII ? 0 : size));
    put_le16(raw + HU_LOAD_AT, static_cast<uint16_t>(options.load < 0 ? 0 : options.load));
    put_le16(raw + HU_EXEC_AT, static_cast<uint16_t>(options.exec < 0 ? 0 : options.exec));
    uint8_t* date = raw + HU_DATE_AT;
    std::memset(date, 0, 5);
    if (options.year != 0) {
        date[0] = to_bcd(options.year % 100);
        date[1] = static_cast<uint8_t>(options.month << 4 | day_of_week(options.year, options.month, options.day));
        date[2] = to_bcd(options.day);
        date[3] = to_bcd(options.hour);
        date[4] = to_bcd(options.minute);
    }
    raw[HU_START_TOP_AT] = static_cast<uint8_t>(start >> 14);
    raw[HU_START_AT] = static_cast<uint8_t>(start & 0x7F);
    raw[HU_START_AT + 1] = static_cast<uint8_t>(start >> 7 & 0x7F);
}

void mark_hu_deleted(uint8_t* raw)
{
    raw[HU_ATTRIBUTES_AT] = HU_DELETED;
}

// The IPL entry: its attribute byte 0x01 (a binary) when the disk boots.
bool read_hu_boot_entry(const fs_volume& volume, d88_file_entry* entry)
{
    const d88_sector* boot = find_fs_sector(volume, 0);
    if (boot == nullptr || boot->data[HU_ATTRIBUTES_AT] != HU_BINARY)
        return false;
    decode_hu_entry(boot->data, entry);
    decode_entry_name(volume.layout, boot->data, entry->name);
    entry->type = D88_TYPE_BOOT;
    entry->start = get_le16(boot->data + HU_START_AT);
    return true;
}

// Cluster 0 linked to 1, the rest of the system's and those the disk has
// not marked 0x8F, every other free; an empty directory.
void format_hu_volume(fs_volume* volume)
{
    const fs_layout& layout = volume->layout;
    std::memset(volume->fat, 0, static_cast<size_t>(volume->fat_size));
    set_hu_link(volume, 0, {LINK_NEXT, 1});
    for (int32_t c = 1; c < layout.fat_sectors * HU_CLUSTERS_A_SECTOR; ++c) {
        if (c < layout.system_clusters || c >= layout.cluster_count)
            volume->fat[low_at(c)] = HU_NO_CLUSTER;
    }
    std::memset(volume->dir, HU_END, static_cast<size_t>(volume->dir_size));
}
