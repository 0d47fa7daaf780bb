// image_builder.h -- small helpers that lay out D88 bytes for the tests.
//
// Images are built here from the file layout itself, never with the
// library's writer, so that reader and writer are each checked against the
// format rather than against one another.
#ifndef TESTS_IMAGE_BUILDER_H
#define TESTS_IMAGE_BUILDER_H

#include <cstdint>
#include <string>
#include <vector>

using bytes = std::vector<uint8_t>;

struct test_sector {
    uint8_t c = 0, h = 0, r = 1, n = 1;
    bytes data;
    int sector_count = -1;  // -1: the number of sectors in the track
    uint8_t density = 0, deleted_mark = 0, status = 0;
};

using test_track = std::vector<test_sector>;

struct test_disk {
    std::string name = "TEST";
    uint8_t write_protect = 0;
    uint8_t disk_type = 0;
    std::vector<test_track> slots;  // slot i; an empty track leaves the slot empty
};

inline void store_le16(bytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void store_le32(bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint32_t load_le32(const bytes& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

inline void append_sector(bytes& out, const test_sector& s, size_t track_size)
{
    const size_t at = out.size();
    out.resize(at + 16);
    out[at] = s.c;
    out[at + 1] = s.h;
    out[at + 2] = s.r;
    out[at + 3] = s.n;
    store_le16(out, at + 4, s.sector_count < 0 ? static_cast<uint32_t>(track_size) : static_cast<uint32_t>(s.sector_count));
    out[at + 6] = s.density;
    out[at + 7] = s.deleted_mark;
    out[at + 8] = s.status;
    store_le16(out, at + 14, static_cast<uint32_t>(s.data.size()));
    out.insert(out.end(), s.data.begin(), s.data.end());
}

// A disk with the full 688-byte header and its tracks in slot order.
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
        store_le32(out, 0x20 + 4 * slot, static_cast<uint32_t>(out.size()));
        for (const test_sector& s : disk.slots[slot])
            append_sector(out, s, disk.slots[slot].size());
    }
    store_le32(out, 0x1C, static_cast<uint32_t>(out.size()));
    return out;
}

inline bytes concat(std::vector<bytes> parts)
{
    bytes out;
    for (const bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The recognisable byte i of data-disk sector C/H/R.
inline uint8_t data_byte(int c, int h, int r, int i)
{
    return static_cast<uint8_t>(c * 7 + h * 61 + r * 13 + i);
}

// The 8 KB that a data disk's cylinder carries for one game track: head 0
// R 1..16, then head 1 R 1..16.
inline bytes cylinder_data(int cylinder)
{
    bytes out;
    for (int h = 0; h < 2; ++h)
        for (int r = 1; r <= 16; ++r)
            for (int i = 0; i < 256; ++i)
                out.push_back(data_byte(cylinder, h, r, i));
    return out;
}

// Game track t as the tool must leave it: a sector R 1 N 6 holding data in
// front of the sectors it had.
inline void prepend_track_sector(test_disk& game, int t, const bytes& data)
{
    test_sector s;
    s.c = static_cast<uint8_t>(t / 2);
    s.h = static_cast<uint8_t>(t & 1);
    s.r = 1;
    s.n = 6;
    s.data = data;
    game.slots[t].insert(game.slots[t].begin(), s);
}

// A 2D data disk: 40 cylinders, 2 heads, R 1..16 of 256 bytes each, the
// sectors of every track stored in reverse order to show that the look-up
// goes by ID.
inline test_disk data_disk(const std::string& name = "DATA")
{
    test_disk disk;
    disk.name = name;
    for (int slot = 0; slot < 80; ++slot) {
        test_track track;
        for (int r = 16; r >= 1; --r) {
            test_sector s;
            s.c = static_cast<uint8_t>(slot / 2);
            s.h = static_cast<uint8_t>(slot % 2);
            s.r = static_cast<uint8_t>(r);
            for (int i = 0; i < 256; ++i)
                s.data.push_back(data_byte(s.c, s.h, r, i));
            track.push_back(s);
        }
        disk.slots.push_back(track);
    }
    return disk;
}

// A game disk of 80 tracks holding sectors_per_track sectors of 256 bytes.
inline test_disk game_disk(const std::string& name = "GAME", int sectors_per_track = 16)
{
    test_disk disk;
    disk.name = name;
    for (int slot = 0; slot < 80; ++slot) {
        test_track track;
        for (int r = 1; r <= sectors_per_track; ++r) {
            test_sector s;
            s.c = static_cast<uint8_t>(slot / 2);
            s.h = static_cast<uint8_t>(slot % 2);
            s.r = static_cast<uint8_t>(r);
            s.data.assign(256, static_cast<uint8_t>(slot + r));
            track.push_back(s);
        }
        disk.slots.push_back(track);
    }
    return disk;
}

#endif
