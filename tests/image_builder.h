// image_builder.h -- D88 bytes laid out for the tests from the file format
// itself, never with the library's writer, so that reader and writer are each
// checked against the format rather than against one another.
#ifndef TESTS_IMAGE_BUILDER_H
#define TESTS_IMAGE_BUILDER_H

#include <cstdint>
#include <string>
#include <vector>

using bytes = std::vector<uint8_t>;

struct test_sector {
    uint8_t c = 0, h = 0, r = 1, n = 1;
    bytes data;
    uint8_t density = 0, deleted_mark = 0, status = 0;
};

using test_track = std::vector<test_sector>;

struct test_disk {
    std::string name = "TEST";
    uint8_t write_protect = 0, disk_type = 0;
    std::vector<test_track> slots;  // slot i; an empty track leaves the slot empty
};

// Stores value as `width` bytes at `at`, low byte first.
inline void put(bytes& b, size_t at, uint32_t value, int width = 4)
{
    for (int i = 0; i < width; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// b with `width` bytes at `at` replaced by value.
inline bytes patch(bytes b, size_t at, uint32_t value, int width = 4)
{
    put(b, at, value, width);
    return b;
}

inline bytes concat(const std::vector<bytes>& parts)
{
    bytes out;
    for (const bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The disk with the full 688-byte header and its tracks in slot order.
inline bytes build_disk(const test_disk& disk)
{
    bytes out(688, 0);
    for (size_t i = 0; i < disk.name.size() && i < 17; ++i)
        out[i] = static_cast<uint8_t>(disk.name[i]);
    out[0x1A] = disk.write_protect;
    out[0x1B] = disk.disk_type;
    for (size_t slot = 0; slot < disk.slots.size(); ++slot) {
        if (disk.slots[slot].empty())
            continue;
        put(out, 0x20 + 4 * slot, static_cast<uint32_t>(out.size()));
        for (const test_sector& s : disk.slots[slot]) {
            const bytes header = {s.c, s.h, s.r, s.n, 0, 0, s.density, s.deleted_mark, s.status, 0, 0, 0, 0, 0, 0, 0};
            const size_t at = out.size();
            out.insert(out.end(), header.begin(), header.end());
            put(out, at + 4, static_cast<uint32_t>(disk.slots[slot].size()), 2);
            put(out, at + 14, static_cast<uint32_t>(s.data.size()), 2);
            out.insert(out.end(), s.data.begin(), s.data.end());
        }
    }
    put(out, 0x1C, static_cast<uint32_t>(out.size()));
    return out;
}

// A disk of 80 tracks (cylinders 0 to 39, heads 0 and 1) of `sectors`
// sectors of 256 bytes, whose bytes tell disk, C, H, R and position apart.
// With `reverse`, each track stores its sectors from the highest R down.
inline test_disk filled_disk(const std::string& name, int sectors = 16, bool reverse = false)
{
    test_disk disk;
    disk.name = name;
    disk.slots.resize(80);
    for (int slot = 0; slot < 80; ++slot) {
        for (int i = 0; i < sectors; ++i) {
            const int r = reverse ? sectors - i : i + 1;
            test_sector s{static_cast<uint8_t>(slot / 2), static_cast<uint8_t>(slot % 2), static_cast<uint8_t>(r)};
            for (int k = 0; k < 256; ++k)
                s.data.push_back(static_cast<uint8_t>(name.back() * 31 + slot * 7 + r * 13 + k));
            disk.slots[slot].push_back(s);
        }
    }
    return disk;
}

// The 8 KB of one data-disk cylinder: head 0 R 1..16, then head 1 R 1..16.
inline bytes cylinder_data(const test_disk& data, int cylinder)
{
    bytes out;
    for (int h = 0; h < 2; ++h)
        for (int r = 1; r <= 16; ++r)
            for (const test_sector& s : data.slots[static_cast<size_t>(2 * cylinder + h)])
                if (s.r == r)
                    out.insert(out.end(), s.data.begin(), s.data.end());
    return out;
}

// The game disk as vorkast leaves it after track number `track`, or after
// all 80 when it is negative: each holds an R 1 N 6 sector with its data
// cylinder in front.
inline test_disk completed(test_disk game, const test_disk& data1, const test_disk& data2, int track = -1)
{
    for (int t = track < 0 ? 0 : track; t < (track < 0 ? 80 : track + 1); ++t) {
        test_sector s{static_cast<uint8_t>(t / 2), static_cast<uint8_t>(t & 1), 1, 6,
                      t < 40 ? cylinder_data(data1, t) : cylinder_data(data2, t - 40)};
        game.slots[static_cast<size_t>(t)].insert(game.slots[static_cast<size_t>(t)].begin(), s);
    }
    return game;
}

// The ten standard formats of blank disks.
struct format_row {
    uint8_t disk_type;
    int cylinders, sectors;
    uint8_t n, first_r, head_base;
    int32_t disk_size;
};

inline const format_row FORMATS[] = {
    {0x00, 40, 16, 1, 1, 0x00, 348848},  {0x10, 80, 8, 2, 1, 0x00, 676528},   {0x10, 80, 9, 2, 1, 0x00, 761008},
    {0x20, 77, 8, 3, 1, 0x00, 1281968},  {0x20, 80, 8, 3, 1, 0x00, 1331888},  {0x20, 80, 9, 3, 10, 0x00, 1498288},
    {0x20, 80, 9, 3, 1, 0x80, 1498288},  {0x20, 80, 15, 2, 1, 0x00, 1267888}, {0x20, 80, 18, 2, 1, 0x00, 1521328},
    {0x20, 77, 26, 1, 1, 0x00, 1089776},
};

// The blank disk of a standard format as the format table describes it.
inline test_disk blank_disk(int format, const std::string& name)
{
    const format_row& row = FORMATS[format];
    test_disk disk{name, 0, row.disk_type, std::vector<test_track>(static_cast<size_t>(row.cylinders) * 2)};
    for (size_t slot = 0; slot < disk.slots.size(); ++slot)
        for (int i = 0; i < row.sectors; ++i)
            disk.slots[slot].push_back({static_cast<uint8_t>(slot / 2), static_cast<uint8_t>(row.head_base + slot % 2),
                                        static_cast<uint8_t>(row.first_r + i), row.n, bytes(128u << row.n, 0xE5)});
    disk.slots[0][0].r = 1;  // format 5: R 1, 11, 12, ...
    if (format == 6)
        disk.slots[0][0].h = 0;  // H 0, 0x80, 0x80, ...
    return disk;
}

#endif
