// hu.cpp -- the file system of Hu-BASIC (X1 and its relatives).
//
// Clusters are 16 sectors, numbered from the disk's first sector.  Logical
// sector 0 begins with the IPL entry (the boot program: an entry like the
// directory's, whose start is a sector; a format clears it); the FAT is at sector 14; the
// directory fills cluster 1 (sectors 16 to 31) with 32-byte entries.  On 2D
// the FAT holds one byte per cluster: 0x00 free, the next cluster, or 0x80 +
// (sectors used - 1) for a file's last.  On 2DD and 2HD, with more than 128
// clusters, it is split over sectors 14 and 15: the low bytes of every
// entry, then the high bytes, whose bit 7 marks a last cluster (the low
// byte then holding sectors used - 1).  Clusters 0 and 1 form the system's
// chain.  An entry holds the attributes (0x00 deleted, 0xFF the end), a
// 13-byte name, a 3-byte extension, a password byte, the size, the load and
// exec addresses, the date in BCD and the first cluster.
#include <cstring>

#include "fs.h"

namespace {

constexpr int32_t HU_FAT_LSN = 14;
constexpr int32_t HU_DIR_LSN = 16;
constexpr int32_t HU_SYSTEM_CLUSTERS = 2;

// Entry fields.
constexpr int32_t HU_ATTRIBUTES_AT = 0x00;
constexpr int32_t HU_NAME_AT = 0x01;       // 13 bytes, then a 3-byte extension
constexpr int32_t HU_PASSWORD_AT = 0x11;
constexpr int32_t HU_SIZE_AT = 0x12;
constexpr int32_t HU_LOAD_AT = 0x14;
constexpr int32_t HU_EXEC_AT = 0x16;
constexpr int32_t HU_DATE_AT = 0x18;       // year, month << 4 | weekday, day, hour, minute, second
constexpr int32_t HU_START_AT = 0x1E;      // u16

constexpr uint8_t HU_END = 0xFF;
constexpr uint8_t HU_DELETED = 0x00;
constexpr uint8_t HU_BINARY = 0x01;
constexpr uint8_t HU_BASIC = 0x02;
constexpr uint8_t HU_ASCII = 0x04;
constexpr uint8_t HU_HIDDEN = 0x10;
constexpr uint8_t HU_READ_ONLY = 0x40;
constexpr uint8_t HU_DIRECTORY = 0x80;
constexpr uint8_t HU_LAST = 0x80;

struct hu_variant {
    const char* description;
    uint8_t media;
    int32_t cylinders, sectors, fat_sectors;
};

constexpr hu_variant HU_VARIANTS[] = {
    {"Hu-BASIC 2D", 0x00, 40, 16, 1},
    {"Hu-BASIC 2DD", 0x10, 80, 16, 2},
    {"Hu-BASIC 2HD", 0x20, 77, 26, 2},
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
    layout.fat_lsn = HU_FAT_LSN;
    layout.fat_sectors = v.fat_sectors;
    layout.fat_copies = 1;
    layout.dir_lsn = HU_DIR_LSN;
    layout.dir_sectors = 16;
    layout.entry_size = 32;
    layout.name_at = HU_NAME_AT;
    layout.name_size = 13;
    layout.ext_size = 3;
    return layout;
}

bool is_split(const fs_layout& layout)
{
    return layout.fat_sectors == 2;
}

void decode_date(const uint8_t* date, d88_file_entry* entry)
{
    const int32_t year = from_bcd(date[0]);
    entry->year = date[0] == 0 && date[2] == 0 ? 0 : year < 80 ? 2000 + year : 1900 + year;
    entry->month = date[1] >> 4;
    entry->day = from_bcd(date[2]);
    entry->hour = from_bcd(date[3]);
    entry->minute = from_bcd(date[4]);
    entry->second = from_bcd(date[5]);
}

}  // namespace

bool find_hu_layout(d88_disk* disk, bool marks, fs_layout* layout)
{
    for (const hu_variant& v : HU_VARIANTS) {
        if (disk->disk_type != v.media)
            continue;
        fs_volume volume = {disk, layout_of(v), nullptr, nullptr, 0, 0, 0};
        const d88_sector* low = find_fs_sector(volume, HU_FAT_LSN);
        const d88_sector* high = is_split(volume.layout) ? find_fs_sector(volume, HU_FAT_LSN + 1) : low;
        bool fits = low != nullptr && high != nullptr;
        if (marks && fits && is_split(volume.layout))
            fits = low->data[0] == 1 && high->data[0] == 0 && low->data[1] == 0x0F && high->data[1] == HU_LAST;
        else if (marks && fits)
            fits = low->data[0] == 1 && low->data[1] == HU_LAST + 0x0F;
        if (fits)
            *layout = volume.layout;
        return fits;
    }
    return false;
}

cluster_link get_hu_link(const fs_volume& volume, int32_t cluster)
{
    if (cluster < HU_SYSTEM_CLUSTERS)
        return {LINK_RESERVED, 0};
    const int32_t low = volume.fat[cluster];
    const int32_t high = is_split(volume.layout) ? volume.fat[volume.layout.sector_size + cluster] : 0;
    const bool last = ((is_split(volume.layout) ? high : low) & HU_LAST) != 0;
    const bool sound = is_split(volume.layout) ? high == HU_LAST && low <= 0x0F : low <= HU_LAST + 0x0F;
    const int32_t value = low | high << 8;
    if (last)
        return {sound ? LINK_LAST : LINK_BAD, sound ? (low & 0x0F) + 1 : value};
    if (value == 0)
        return {LINK_FREE, 0};
    return {value < volume.layout.cluster_count ? LINK_NEXT : LINK_BAD, value};
}

void set_hu_link(fs_volume* volume, int32_t cluster, cluster_link link)
{
    const int32_t value = link.state == LINK_NEXT ? link.value : link.state == LINK_LAST ? link.value - 1 : 0;
    const bool last = link.state == LINK_LAST;
    if (is_split(volume->layout)) {
        volume->fat[cluster] = static_cast<uint8_t>(last ? value : value & 0xFF);
        volume->fat[volume->layout.sector_size + cluster] = static_cast<uint8_t>(last ? HU_LAST : value >> 8);
    } else {
        volume->fat[cluster] = static_cast<uint8_t>(last ? HU_LAST + value : value);
    }
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
    entry->start = get_le16(raw + HU_START_AT);
    decode_date(raw + HU_DATE_AT, entry);
    return ENTRY_FILE;
}

void encode_hu_entry(uint8_t* raw, int32_t size, int32_t start, const d88_file_options& options)
{
    raw[HU_ATTRIBUTES_AT] = options.type == D88_TYPE_ASCII ? HU_ASCII : options.type == D88_TYPE_BASIC ? HU_BASIC
                                                                                                       : HU_BINARY;
    raw[HU_PASSWORD_AT] = ' ';
    put_le16(raw + HU_SIZE_AT, static_cast<uint16_t>(size));
    put_le16(raw + HU_LOAD_AT, static_cast<uint16_t>(options.load < 0 ? 0 : options.load));
    put_le16(raw + HU_EXEC_AT, static_cast<uint16_t>(options.exec < 0 ? 0 : options.exec));
    uint8_t* date = raw + HU_DATE_AT;
    std::memset(date, 0, 6);
    if (options.year != 0) {
        date[0] = to_bcd(options.year % 100);
        date[1] = static_cast<uint8_t>(options.month << 4);
        date[2] = to_bcd(options.day);
        date[3] = to_bcd(options.hour);
        date[4] = to_bcd(options.minute);
        date[5] = to_bcd(options.second);
    }
    put_le16(raw + HU_START_AT, static_cast<uint16_t>(start));
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
    return true;
}

void format_hu_volume(fs_volume* volume, d88_sector* boot)
{
    std::memset(boot->data, 0, 32);
    std::memset(volume->fat, 0, static_cast<size_t>(volume->fat_size));
    set_hu_link(volume, 0, {LINK_NEXT, 1});
    set_hu_link(volume, 1, {LINK_LAST, 16});
    std::memset(volume->dir, HU_END, static_cast<size_t>(volume->dir_size));
}
