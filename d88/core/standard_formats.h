// standard_formats.h -- the ten standard formats of blank disks: the geometry
// that creation lays out, and the name and description that d88disk shows.
// One table for the library and the programs built beside it; not part of
// the public interface.
#ifndef D88_CORE_STANDARD_FORMATS_H
#define D88_CORE_STANDARD_FORMATS_H

#include <cstdint>
#include <iterator>

#include "layout.h"

struct d88_format {
    uint8_t disk_type;
    int32_t cylinders;
    int32_t heads;
    int32_t sectors_per_track;
    uint8_t head_base;
    uint8_t first_r;
    uint8_t n;
    uint8_t density;
    const char* name;
    const char* description;
};

// Selected by row number.  Row 5's first sector of cylinder 0, head 0 has
// R 1 instead of 10; row 6's has H 0x00 instead of 0x80.
inline constexpr d88_format d88_format_table[] = {
    {0x00, 40, 2, 16, 0x00, 1, 1, 0x00, "2d", "2D   40 x 2 x 16 x 256 bytes, 320 KB"},
    {0x10, 80, 2, 8, 0x00, 1, 2, 0x00, "2dd640", "2DD  80 x 2 x 8 x 512 bytes, 640 KB"},
    {0x10, 80, 2, 9, 0x00, 1, 2, 0x00, "2dd720", "2DD  80 x 2 x 9 x 512 bytes, 720 KB"},
    {0x20, 77, 2, 8, 0x00, 1, 3, 0x00, "2hd1232", "2HD  77 x 2 x 8 x 1024 bytes, 1232 KB"},
    {0x20, 80, 2, 8, 0x00, 1, 3, 0x00, "2hd1280", "2HD  80 x 2 x 8 x 1024 bytes, 1280 KB"},
    {0x20, 80, 2, 9, 0x00, 10, 3, 0x00, "2hd1440r", "2HD  80 x 2 x 9 x 1024 bytes, 1440 KB, R 10 to 18 (R 1 first on track 0)"},
    {0x20, 80, 2, 9, 0x80, 1, 3, 0x00, "2hd1440h", "2HD  80 x 2 x 9 x 1024 bytes, 1440 KB, H 0x80/0x81 (H 0 first on track 0)"},
    {0x20, 80, 2, 15, 0x00, 1, 2, 0x00, "2hd1200", "2HD  80 x 2 x 15 x 512 bytes, 1200 KB"},
    {0x20, 80, 2, 18, 0x00, 1, 2, 0x00, "2hd1440", "2HD  80 x 2 x 18 x 512 bytes, 1440 KB"},
    {0x20, 77, 2, 26, 0x00, 1, 1, 0x00, "2hd1001", "2HD  77 x 2 x 26 x 256 bytes, 1001 KB"},
};

inline constexpr int32_t D88_FORMAT_COUNT = static_cast<int32_t>(std::size(d88_format_table));

// The rows that mark the first sector of cylinder 0, head 0 apart.
inline constexpr int32_t D88_FORMAT_R_FROM_10 = 5;
inline constexpr int32_t D88_FORMAT_HIGH_HEADS = 6;

// The ID (C, H, R, N) of sector `index` of track slot `slot` on a disk of
// standard format row: slot = cylinder * heads + head index, H the head
// index plus the row's head base, R counting from the row's first R.
inline void find_standard_sector_id(int32_t row, int32_t slot, int32_t index, uint8_t id[4])
{
    const d88_format& f = d88_format_table[row];
    const bool first = slot == 0 && index == 0;
    id[0] = static_cast<uint8_t>(slot / f.heads);
    id[1] = static_cast<uint8_t>(first && row == D88_FORMAT_HIGH_HEADS ? 0 : slot % f.heads + f.head_base);
    id[2] = static_cast<uint8_t>(first && row == D88_FORMAT_R_FROM_10 ? 1 : f.first_r + index);
    id[3] = f.n;
}

// The bytes of data a disk of standard format row holds.
inline constexpr int32_t standard_data_size(int32_t row)
{
    const d88_format& f = d88_format_table[row];
    return f.cylinders * f.heads * f.sectors_per_track * sector_size_of_code(f.n);
}

#endif
