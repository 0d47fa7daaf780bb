// fat12.cpp -- FAT12 as PC-98 DOS, Human68k and MSX-DOS write it.
//
// The geometry comes from the boot sector's parameter block: sector size,
// sectors a cluster, reserved sectors, FAT copies, root entries, sectors,
// media byte, sectors a FAT, sectors a track and heads; without one, from
// the media byte the FAT begins with, for the layout a format gives the
// disk's geometry.  Entries of the FAT are 12 bits, two in three bytes;
// clusters count from 2.  The systems read the first FAT copy and write
// every copy (Human68k leaves the second empty but for its media bytes).
// Directory entries are the 32 bytes of MS-DOS: 8.3 name, attributes, time
// and date (years 1980 to 2107), first cluster, size.
#include <cstring>

#include "fs.h"

namespace {

// The boot sector's parameter block.
constexpr int32_t BPB_JUMP_AT = 0x00;
constexpr int32_t BPB_OEM_AT = 0x03;
constexpr int32_t BPB_SECTOR_SIZE_AT = 0x0B;
constexpr int32_t BPB_CLUSTER_SECTORS_AT = 0x0D;
constexpr int32_t BPB_RESERVED_AT = 0x0E;
constexpr int32_t BPB_FATS_AT = 0x10;
constexpr int32_t BPB_ROOT_ENTRIES_AT = 0x11;
constexpr int32_t BPB_SECTORS_AT = 0x13;
constexpr int32_t BPB_MEDIA_AT = 0x15;
constexpr int32_t BPB_FAT_SECTORS_AT = 0x16;
constexpr int32_t BPB_TRACK_SECTORS_AT = 0x18;
constexpr int32_t BPB_HEADS_AT = 0x1A;
constexpr int32_t EXTENDED_SIGNATURE_AT = 0x26;  // 0x29: a serial number, label and type follow
constexpr int32_t VOLUME_LABEL_AT = 0x2B;
constexpr int32_t FS_TYPE_AT = 0x36;
constexpr int32_t BOOT_CODE_AT = 0x3E;
constexpr int32_t BOOT_SIGNATURE_AT = 0x1FE;

// Directory entries.
constexpr int32_t FAT_ATTRIBUTES_AT = 11;
constexpr int32_t FAT_TIME_AT = 22;
constexpr int32_t FAT_DATE_AT = 24;
constexpr int32_t FAT_START_AT = 26;
constexpr int32_t FAT_SIZE_AT = 28;
constexpr uint8_t FAT_END = 0x00;
constexpr uint8_t FAT_DELETED = 0xE5;
constexpr uint8_t FAT_READ_ONLY = 0x01;
constexpr uint8_t FAT_HIDDEN = 0x02;
constexpr uint8_t FAT_SYSTEM = 0x04;
constexpr uint8_t FAT_LABEL = 0x08;
constexpr uint8_t FAT_DIRECTORY = 0x10;
constexpr uint8_t FAT_ARCHIVE = 0x20;
constexpr uint8_t FAT_LONG_NAME = 0x0F;

constexpr int32_t FAT12_CLUSTERS_MAX = 4084;
// More than a floppy's FAT12 ever has: a parameter block beyond them is none.
constexpr int32_t FAT_SECTORS_MAX = 24;
constexpr int32_t ROOT_ENTRIES_MAX = 1024;

// The parameters a format writes for each media.
struct fat12_variant {
    const char* description;
    int32_t cylinders, sectors, sector_size, cluster_sectors, root_entries, fat_sectors;
    uint8_t media;
};

constexpr fat12_variant FAT12_VARIANTS[] = {
    {"FAT12 PC-98 2HD 1232 KB", 77, 8, 1024, 1, 192, 2, 0xFE},
    {"FAT12 PC-98 2DD 640 KB", 80, 8, 512, 2, 112, 2, 0xFB},
    {"FAT12 MSX-DOS 2DD 720 KB", 80, 9, 512, 2, 112, 3, 0xF9},
    {"FAT12 2HD 1200 KB", 80, 15, 512, 1, 224, 7, 0xF9},
    {"FAT12 2HD 1440 KB", 80, 18, 512, 1, 224, 9, 0xF0},
};

// The layout the parameters in boot describe, or false when they describe
// none a FAT12 floppy has.
bool read_parameters(const uint8_t* boot, int32_t boot_size, fs_layout* layout)
{
    const int32_t sector_size = get_le16(boot + BPB_SECTOR_SIZE_AT);
    const int32_t cluster_sectors = boot[BPB_CLUSTER_SECTORS_AT];
    const int32_t reserved = get_le16(boot + BPB_RESERVED_AT);
    const int32_t fats = boot[BPB_FATS_AT];
    const int32_t root_entries = get_le16(boot + BPB_ROOT_ENTRIES_AT);
    const int32_t sectors = get_le16(boot + BPB_SECTORS_AT);
    const int32_t fat_sectors = get_le16(boot + BPB_FAT_SECTORS_AT);
    const int32_t track_sectors = get_le16(boot + BPB_TRACK_SECTORS_AT);
    const int32_t heads = get_le16(boot + BPB_HEADS_AT);
    const bool sized = sector_size == boot_size &&
                       (sector_size == 256 || sector_size == 512 || sector_size == 1024);
    const bool clustered = cluster_sectors >= 1 && cluster_sectors <= 8 &&
                           (cluster_sectors & (cluster_sectors - 1)) == 0;
    const bool tabled = sized && reserved >= 1 && (fats == 1 || fats == 2) && fat_sectors >= 1 &&
                        fat_sectors <= FAT_SECTORS_MAX && root_entries > 0 && root_entries <= ROOT_ENTRIES_MAX &&
                        root_entries * 32 % sector_size == 0;
    const bool shaped = boot[BPB_MEDIA_AT] >= 0xF0 && track_sectors >= 1 && track_sectors <= 63 &&
                        (heads == 1 || heads == 2);
    const bool sound = clustered && tabled && shaped;  // tabled, after sized: it divides by the size
    if (!sound)
        return false;
    layout->fs = D88_FS_FAT12;
    layout->description = "FAT12";
    layout->heads = heads;
    layout->sectors = track_sectors;
    layout->sector_size = sector_size;
    layout->cylinders = (sectors + track_sectors * heads - 1) / (track_sectors * heads);
    layout->cluster_sectors = cluster_sectors;
    layout->first_cluster = 2;
    layout->fat_lsn = reserved;
    layout->fat_sectors = fat_sectors;
    layout->fat_copies = fats;
    layout->dir_lsn = reserved + fats * fat_sectors;
    layout->dir_sectors = root_entries * 32 / sector_size;
    layout->data_lsn = layout->dir_lsn + layout->dir_sectors;
    layout->cluster_count = (sectors - layout->data_lsn) / cluster_sectors;
    layout->entry_size = 32;
    layout->name_size = 8;
    layout->ext_size = 3;
    for (const fat12_variant& v : FAT12_VARIANTS) {
        if (v.sector_size == sector_size && v.sectors == track_sectors && v.cylinders == layout->cylinders)
            layout->description = v.description;
    }
    return layout->cluster_count >= 1 && layout->cluster_count <= FAT12_CLUSTERS_MAX &&
           fat_sectors * sector_size * 2 >= (layout->cluster_count + 2) * 3;
}

// The variant a format lays on the disk: the one of its geometry.
const fat12_variant* find_variant(d88_disk* disk)
{
    for (const fat12_variant& v : FAT12_VARIANTS) {
        const d88_track* last = find_d88_track(disk, static_cast<uint8_t>(v.cylinders - 1), 1);
        const d88_track* beyond = find_d88_track(disk, static_cast<uint8_t>(v.cylinders), 0);
        if (last != nullptr && last->count == v.sectors && last->sectors[0].data_size == v.sector_size &&
            beyond == nullptr)
            return &v;
    }
    return nullptr;
}

void write_parameters(uint8_t* boot, const fat12_variant& v)
{
    const uint8_t jump[] = {0xEB, BOOT_CODE_AT - 2, 0x90};
    std::memcpy(boot + BPB_JUMP_AT, jump, sizeof jump);
    std::memcpy(boot + BPB_OEM_AT, "D88DISK ", 8);
    put_le16(boot + BPB_SECTOR_SIZE_AT, static_cast<uint16_t>(v.sector_size));
    boot[BPB_CLUSTER_SECTORS_AT] = static_cast<uint8_t>(v.cluster_sectors);
    put_le16(boot + BPB_RESERVED_AT, 1);
    boot[BPB_FATS_AT] = 2;
    put_le16(boot + BPB_ROOT_ENTRIES_AT, static_cast<uint16_t>(v.root_entries));
    put_le16(boot + BPB_SECTORS_AT, static_cast<uint16_t>(v.cylinders * 2 * v.sectors));
    boot[BPB_MEDIA_AT] = v.media;
    put_le16(boot + BPB_FAT_SECTORS_AT, static_cast<uint16_t>(v.fat_sectors));
    put_le16(boot + BPB_TRACK_SECTORS_AT, static_cast<uint16_t>(v.sectors));
    put_le16(boot + BPB_HEADS_AT, 2);
    boot[EXTENDED_SIGNATURE_AT] = 0x29;
    std::memcpy(boot + VOLUME_LABEL_AT, "NO NAME    ", 11);
    std::memcpy(boot + FS_TYPE_AT, "FAT12   ", 8);
    boot[BOOT_CODE_AT] = 0xEB;  // a loop where the boot code would start: this disk does not boot
    boot[BOOT_CODE_AT + 1] = 0xFE;
    boot[BOOT_SIGNATURE_AT] = 0x55;
    boot[BOOT_SIGNATURE_AT + 1] = 0xAA;
}

}  // namespace

bool find_fat12_layout(d88_disk* disk, bool marks, fs_layout* layout)
{
    d88_sector* boot = find_d88_sector(disk, 0, 0, 1);
    const fat12_variant* v = find_variant(disk);
    uint8_t parameters[1024] = {};
    if (v != nullptr)
        write_parameters(parameters, *v);
    if (!marks)
        return v != nullptr && boot != nullptr && boot->data_size == v->sector_size &&
               read_parameters(parameters, v->sector_size, layout);
    if (boot == nullptr || boot->data_size < 0x20)
        return false;
    // Without a parameter block (as DOS 1 and Human68k leave the boot
    // sector), the FAT's media byte names the layout of the disk's geometry.
    const bool blocked = read_parameters(boot->data, boot->data_size, layout);
    if (!blocked && (v == nullptr || !read_parameters(parameters, v->sector_size, layout)))
        return false;
    const uint8_t media = blocked ? boot->data[BPB_MEDIA_AT] : v->media;
    // Numbers that reach past the disk's cylinders name no sector of it.
    const bool inside = layout->cylinders <= 256 &&
                        find_d88_track(disk, static_cast<uint8_t>(layout->cylinders - 1),
                                       static_cast<uint8_t>(layout->heads - 1)) != nullptr;
    const fs_volume volume = {disk, *layout, nullptr, nullptr, 0, 0, 0};
    const d88_sector* fat = inside ? find_fs_sector(volume, layout->fat_lsn) : nullptr;
    return fat != nullptr && fat->data[0] == media && fat->data[1] == 0xFF && fat->data[2] == 0xFF;
}

cluster_link get_fat12_link(const fs_volume& volume, int32_t cluster)
{
    const uint8_t* p = volume.fat + cluster * 3 / 2;
    const int32_t value = cluster & 1 ? (p[0] >> 4 | p[1] << 4) : (p[0] | (p[1] & 0x0F) << 8);
    if (value == 0)
        return {LINK_FREE, 0};
    if (value >= 0xFF8)
        return {LINK_LAST, 0};
    if (value >= 2 && value < volume.layout.cluster_count + 2)
        return {LINK_NEXT, value};
    if (value == 1 || (value >= 0xFF0 && value <= 0xFF6))
        return {LINK_RESERVED, value};
    return {LINK_BAD, value};
}

void set_fat12_link(fs_volume* volume, int32_t cluster, cluster_link link)
{
    const int32_t value = link.state == LINK_NEXT ? link.value : link.state == LINK_LAST ? 0xFFF : 0;
    uint8_t* p = volume->fat + cluster * 3 / 2;
    if (cluster & 1) {
        p[0] = static_cast<uint8_t>((p[0] & 0x0F) | (value & 0x0F) << 4);
        p[1] = static_cast<uint8_t>(value >> 4);
    } else {
        p[0] = static_cast<uint8_t>(value);
        p[1] = static_cast<uint8_t>((p[1] & 0xF0) | value >> 8);
    }
}

entry_use decode_fat12_entry(const uint8_t* raw, d88_file_entry* entry)
{
    const uint8_t attributes = raw[FAT_ATTRIBUTES_AT];
    if (raw[0] == FAT_END)
        return ENTRY_END;
    if (raw[0] == FAT_DELETED)
        return ENTRY_FREE;
    if ((attributes & FAT_LONG_NAME) == FAT_LONG_NAME)
        return ENTRY_OTHER;
    entry->attributes = attributes;
    entry->type = attributes & FAT_LABEL ? D88_TYPE_LABEL : attributes & FAT_DIRECTORY ? D88_TYPE_DIRECTORY
                                                                                       : D88_TYPE_PLAIN;
    char* flag = entry->flags;
    const struct {
        uint8_t bit;
        char letter;
    } FLAGS[] = {{FAT_READ_ONLY, 'R'}, {FAT_HIDDEN, 'H'}, {FAT_SYSTEM, 'S'}, {FAT_ARCHIVE, 'A'}};
    for (const auto& f : FLAGS) {
        if (attributes & f.bit)
            *flag++ = f.letter;
    }
    *flag = '\0';
    entry->size = get_le32(raw + FAT_SIZE_AT);
    const int32_t start = get_le16(raw + FAT_START_AT);
    entry->start = start == 0 ? -1 : start;
    entry->load = entry->exec = -1;
    const int32_t date = get_le16(raw + FAT_DATE_AT);
    const int32_t time = get_le16(raw + FAT_TIME_AT);
    const int32_t year = 1980 + (date >> 9), month = date >> 5 & 0x0F, day = date & 0x1F;
    const int32_t hour = time >> 11, minute = time >> 5 & 0x3F, second = (time & 0x1F) * 2;
    if (day >= 1 && day <= days_in_month(year, month) && hour <= 23 && minute <= 59 && second <= 59) {
        entry->year = year;  // else no date, or none a calendar and a clock have
        entry->month = month;
        entry->day = day;
        entry->hour = hour;
        entry->minute = minute;
        entry->second = second;
    }
    return ENTRY_FILE;
}

// A replaced file keeps its read-only, hidden and system bits and the
// fields between them and the time (creation, last access).
void encode_fat12_entry(uint8_t* raw, int32_t size, int32_t start, const d88_file_options& options, bool replacing)
{
    const uint8_t kept = replacing ? raw[FAT_ATTRIBUTES_AT] & (FAT_READ_ONLY | FAT_HIDDEN | FAT_SYSTEM) : 0;
    if (!replacing)
        std::memset(raw + FAT_ATTRIBUTES_AT, 0, 32 - FAT_ATTRIBUTES_AT);
    raw[FAT_ATTRIBUTES_AT] = static_cast<uint8_t>(FAT_ARCHIVE | kept);
    const int32_t time = options.year != 0 ? options.hour << 11 | options.minute << 5 | options.second / 2 : 0;
    const int32_t date = options.year != 0 ? (options.year - 1980) << 9 | options.month << 5 | options.day : 0;
    put_le16(raw + FAT_TIME_AT, static_cast<uint16_t>(time));
    put_le16(raw + FAT_DATE_AT, static_cast<uint16_t>(date));
    put_le16(raw + FAT_START_AT, static_cast<uint16_t>(start < 0 ? 0 : start));
    put_le32(raw + FAT_SIZE_AT, static_cast<uint32_t>(size));
}

// Marks entry index deleted, and the parts of its long name before it.
void mark_fat12_deleted(uint8_t* dir, int32_t index)
{
    dir[index * 32] = FAT_DELETED;
    for (int32_t i = index - 1; i >= 0; --i) {
        uint8_t* raw = dir + i * 32;
        if ((raw[FAT_ATTRIBUTES_AT] & FAT_LONG_NAME) != FAT_LONG_NAME || raw[0] == FAT_DELETED)
            break;
        raw[0] = FAT_DELETED;
    }
}

void format_fat12_volume(fs_volume* volume, d88_sector* boot)
{
    const fat12_variant* v = find_variant(volume->disk);
    std::memset(boot->data, 0, static_cast<size_t>(boot->data_size));
    write_parameters(boot->data, *v);
    std::memset(volume->fat, 0, static_cast<size_t>(volume->fat_size));
    volume->fat[0] = v->media;
    volume->fat[1] = 0xFF;
    volume->fat[2] = 0xFF;
    std::memset(volume->dir, 0, static_cast<size_t>(volume->dir_size));
}
