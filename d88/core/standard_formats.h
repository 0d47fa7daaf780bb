// standard_formats.h -- the ten standard formats of blank disks: the geometry
// that creation lays out, and the name and description that d88disk shows.
// One table for the library and the programs built beside it; not part of
// the public interface.
#ifndef D88_CORE_STANDARD_FORMATS_H
#define D88_CORE_STANDARD_FORMATS_H

#include <cstdint>
#include <iterator>

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

#endif
