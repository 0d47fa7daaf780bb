// sectors.cpp -- a file system's logical sectors on the disk's records, and
// the pieces of an entry the file systems share.
#include "sectors.h"

#include <cstring>

int32_t end_cluster(const fs_layout& layout)
{
    return layout.first_cluster + layout.cluster_count;
}

int32_t cluster_bytes(const fs_layout& layout)
{
    return layout.cluster_sectors * layout.sector_size;
}

int32_t first_lsn(const fs_layout& layout, int32_t cluster)
{
    return layout.data_lsn + (cluster - layout.first_cluster) * layout.cluster_sectors;
}

// Copies count sectors from lsn on into out; false when one is missing.
bool read_sectors(const fs_volume& volume, int32_t lsn, int32_t count, uint8_t* out)
{
    const int32_t size = volume.layout.sector_size;
    for (int32_t i = 0; i < count; ++i) {
        const d88_sector* sector = find_fs_sector(volume, lsn + i);
        if (sector == nullptr)
            return false;
        std::memcpy(out + i * size, sector->data, static_cast<size_t>(size));
    }
    return true;
}

void write_sectors(const fs_volume& volume, int32_t lsn, int32_t count, const uint8_t* bytes)
{
    const int32_t size = volume.layout.sector_size;
    for (int32_t i = 0; i < count; ++i)
        std::memcpy(find_fs_sector(volume, lsn + i)->data, bytes + i * size, static_cast<size_t>(size));
}

bool has_sectors(const fs_volume& volume, int32_t lsn, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (find_fs_sector(volume, lsn + i) == nullptr)
            return false;
    }
    return true;
}

// An entry's name with every byte outside printable ASCII as '?', for the
// messages of findings.
void printable_name(const char* name, char out[24])
{
    int i = 0;
    for (; name[i] != '\0' && i < 23; ++i)
        out[i] = name[i] >= 0x20 && name[i] < 0x7F ? name[i] : '?';
    out[i] = '\0';
}

d88_sector* find_fs_sector(const fs_volume& volume, int32_t lsn)
{
    const fs_layout& layout = volume.layout;
    const int32_t track = lsn / layout.sectors;
    if (lsn < 0 || track >= layout.cylinders * layout.heads || track / layout.heads > 255)
        return nullptr;
    d88_sector* sector = find_d88_sector(volume.disk, static_cast<uint8_t>(track / layout.heads),
                                         static_cast<uint8_t>(track % layout.heads),
                                         static_cast<uint8_t>(lsn % layout.sectors + 1));
    return sector != nullptr && sector->data_size >= layout.sector_size ? sector : nullptr;
}

void decode_entry_name(const fs_layout& layout, const uint8_t* raw, char name[24])
{
    const uint8_t* field = raw + layout.name_at;
    int32_t base = layout.name_size;
    int32_t ext = layout.ext_size;
    // padded with spaces, or by some programs with zeros
    while (base > 0 && (field[base - 1] == ' ' || field[base - 1] == 0))
        --base;
    while (ext > 0 && (field[layout.name_size + ext - 1] == ' ' || field[layout.name_size + ext - 1] == 0))
        --ext;
    std::memcpy(name, field, static_cast<size_t>(base));
    if (layout.fs == D88_FS_FAT12 && base > 0 && field[0] == 0x05)
        name[0] = static_cast<char>(0xE5);
    name[base] = '.';
    std::memcpy(name + base + 1, field + layout.name_size, static_cast<size_t>(ext));
    name[ext > 0 ? base + 1 + ext : base] = '\0';
}

uint8_t to_bcd(int32_t value)
{
    return static_cast<uint8_t>(value / 10 % 10 << 4 | value % 10);
}

int32_t from_bcd(uint8_t value)
{
    return (value >> 4) * 10 + (value & 0x0F);
}

bool is_bcd(uint8_t value)
{
    return (value >> 4) <= 9 && (value & 0x0F) <= 9;
}

int32_t days_in_month(int32_t year, int32_t month)
{
    constexpr int32_t DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month < 1 || month > 12 ? 0 : DAYS[month - 1] + (month == 2 && leap);
}

// Counted in days from 1 March of year 0, whose weekday is a Wednesday.
int32_t day_of_week(int32_t year, int32_t month, int32_t day)
{
    const int32_t y = month < 3 ? year - 1 : year;
    const int32_t m = month < 3 ? month + 9 : month - 3;
    const int32_t days = 365 * y + y / 4 - y / 100 + y / 400 + (153 * m + 2) / 5 + day - 1;
    return (days + 3) % 7;
}
