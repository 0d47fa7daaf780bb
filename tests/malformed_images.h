// malformed_images.h -- one broken image for each fault the reader reports,
// with the chain of lines it must print, for the library's tests and the
// tool's alike.
#ifndef TESTS_MALFORMED_IMAGES_H
#define TESTS_MALFORMED_IMAGES_H

#include <string>
#include <vector>

#include "image_builder.h"

inline test_sector sector(uint8_t c, uint8_t h, uint8_t r, size_t size, uint8_t fill = 0xAA)
{
    test_sector s;
    s.c = c;
    s.h = h;
    s.r = r;
    s.n = 1;
    s.data.assign(size, fill);
    return s;
}

// A disk named name whose slot 0 holds the given sectors.
inline bytes one_track(std::vector<test_sector> sectors, const std::string& name = "D1")
{
    test_disk disk;
    disk.name = name;
    disk.slots.push_back(sectors);
    return build_disk(disk);
}

inline bytes empty_disk(const std::string& name = "E")
{
    test_disk disk;
    disk.name = name;
    return build_disk(disk);
}

// A disk that is nothing but the 672-byte short header.
inline bytes short_empty_disk()
{
    bytes b(672, 0);
    store_le32(b, 0x1C, 672);
    return b;
}

struct failing_case {
    const char* what;
    bytes image;
    std::string out;
};

inline bytes with_le32(bytes b, size_t at, uint32_t v)
{
    store_le32(b, at, v);
    return b;
}

inline bytes with_byte(bytes b, size_t at, uint8_t v)
{
    b[at] = v;
    return b;
}

inline bytes with_le16(bytes b, size_t at, uint32_t v)
{
    store_le16(b, at, v);
    return b;
}

inline const std::string CHAIN0 = "read track 0 error [D1]\nread disk 1 error\n";

inline std::vector<failing_case> failing_cases()
{
    const bytes two = one_track({sector(0, 0, 1, 256), sector(0, 0, 2, 256)});  // 688 + 2 * 272 = 1232
    bytes seventeen = empty_disk("ABCDEFGHIJKLMNOPQ");
    seventeen[0x1B] = 0x30;
    return {
        {"disk size beyond the bytes", with_le32(short_empty_disk(), 0x1C, 688),
         "illegal data: [] disk size = 0x000002B0\nread disk 1 error\n"},
        {"disk size below 672", with_le32(empty_disk(), 0x1C, 671),
         "illegal data: [E] disk size = 0x0000029F\nread disk 1 error\n"},
        {"negative disk size", with_le32(empty_disk(), 0x1C, 0x80000000u),
         "illegal data: [E] disk size = 0x80000000\nread disk 1 error\n"},
        {"only the disk size of three faults",
         with_byte(with_byte(with_le32(empty_disk(), 0x1C, 5), 0x1A, 1), 0x1B, 1),
         "illegal data: [E] disk size = 0x00000005\nread disk 1 error\n"},
        {"write protect", with_byte(empty_disk(), 0x1A, 0x20),
         "illegal data: [E] write protect flag = 0x20\nread disk 1 error\n"},
        {"media type", with_byte(empty_disk(), 0x1B, 0x30), "illegal data: [E] disk type = 0x30\nread disk 1 error\n"},
        {"name of 17 bytes without zero", seventeen,
         "illegal data: [ABCDEFGHIJKLMNOPQ] disk type = 0x30\nread disk 1 error\n"},
        {"offset 680", with_le32(two, 0x20 + 4 * 3, 680),
         "illegal data: [D1] track 3 offset = 0x000002A8\nread disk 1 error\n"},
        {"offset equal to the disk size", with_le32(two, 0x20 + 4 * 7, 1232),
         "illegal data: [D1] track 7 offset = 0x000004D0\nread disk 1 error\n"},
        {"offset 672 in slot 160", with_le32(two, 0x20 + 4 * 160, 672),
         "illegal data: [D1] track 160 offset = 0x000002A0\nread disk 1 error\n"},
        {"negative offset", with_le32(two, 0x20 + 4 * 1, 0xFFFFFFF0u),
         "illegal data: [D1] track 1 offset = 0xFFFFFFF0\nread disk 1 error\n"},
        {"count 0 with a non-zero header byte", with_le16(one_track({sector(0, 0, 1, 0)}), 688 + 4, 0),
         "illegal data: # of sectors = 0\n" + CHAIN0},
        {"count beyond the sectors present", with_le16(two, 688 + 4, 3),
         "read_d88_sector_from_buffer: illegal parameter\nread sector 2 error\n" + CHAIN0},
        {"header passes the track end", with_le32(with_le16(concat({two, bytes(8, 0)}), 688 + 4, 3), 0x1C, 1240),
         "data error: data size(0x000004D8) < offset(0x000004D0)\nread sector 2 error\n" + CHAIN0},
        {"data size 0x8000", with_le16(two, 688 + 272 + 14, 0x8000),
         "memory exhaust!\nread sector 1 error\n" + CHAIN0},
        {"data passes the track end", with_le16(two, 688 + 272 + 14, 257),
         "data error: data size(0x000004D0) < offset(0x000003C0) + 0x10 + sector size(0x0101)\nread sector 1 "
         "error\n" +
             CHAIN0},
        {"slot in the last 16 bytes", with_le32(with_le32(concat({two, bytes(16, 0)}), 0x1C, 1248), 0x20 + 4 * 5, 1244),
         "data error: data size(0x000004E0) < offset(0x000004DC)\nread track 5 error [D1]\nread disk 1 error\n"},
        {"second disk fails", concat({empty_disk(), with_byte(empty_disk("SECOND"), 0x1A, 1)}),
         "illegal data: [SECOND] write protect flag = 0x01\nread disk 2 error\n"},
        {"short disk followed by a named disk", concat({short_empty_disk(), empty_disk("AB")}),
         "illegal data: [] track 160 offset = 0x00004241\nread disk 1 error\n"},
        {"trailing 672 bytes that are no disk", concat({empty_disk(), with_le32(short_empty_disk(), 0x1C, 700)}),
         "illegal data: [] disk size = 0x000002BC\nread disk 2 error\n"},
    };
}

#endif
