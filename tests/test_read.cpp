// Reading and validating images: accepted layouts and every failure chain.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "d88.h"
#include "image_builder.h"
#include "test_support.h"

namespace {

test_sector sector(uint8_t c, uint8_t h, uint8_t r, size_t size, uint8_t fill = 0xAA)
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
bytes one_track(std::vector<test_sector> sectors, const std::string& name = "D1")
{
    test_disk disk;
    disk.name = name;
    disk.slots.push_back(sectors);
    return build_disk(disk);
}

bytes empty_disk(const std::string& name = "E")
{
    test_disk disk;
    disk.name = name;
    return build_disk(disk);
}

// A disk that is nothing but the 672-byte short header.
bytes short_empty_disk()
{
    bytes b(672, 0);
    store_le32(b, 0x1C, 672);
    return b;
}

struct read_result {
    int32_t result;
    std::string out;
};

read_result read_bytes(const bytes& b, d88_image* image)
{
    testing::internal::CaptureStdout();
    const int32_t result = read_d88_image_from_buffer(image, b.data(), static_cast<int32_t>(b.size()));
    return {result, testing::internal::GetCapturedStdout()};
}

struct failing_case {
    const char* what;
    bytes image;
    std::string out;
};

bytes with_le32(bytes b, size_t at, uint32_t v)
{
    store_le32(b, at, v);
    return b;
}

bytes with_byte(bytes b, size_t at, uint8_t v)
{
    b[at] = v;
    return b;
}

bytes with_le16(bytes b, size_t at, uint32_t v)
{
    store_le16(b, at, v);
    return b;
}

const std::string CHAIN0 = "read track 0 error [D1]\nread disk 1 error\n";

std::vector<failing_case> failing_cases()
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

}  // namespace

TEST(ReadImage, EveryFaultPrintsItsChainAndEmptiesTheImage)
{
    for (const failing_case& c : failing_cases()) {
        d88_image image = {};
        const read_result r = read_bytes(c.image, &image);
        EXPECT_EQ(r.result, -1) << c.what;
        EXPECT_EQ(r.out, c.out) << c.what;
        EXPECT_EQ(image.disk_count, 0) << c.what;
        EXPECT_EQ(image.disks, nullptr) << c.what;
    }
}

TEST(ReadImage, TrailingBytesAreIgnored)
{
    struct {
        bytes image;
        int32_t disks;
        std::string out;
    } cases[] = {
        {bytes(100, 0), 0, "data size too short ... garbage? ... ignored\n"},
        {concat({empty_disk(), bytes(10, 1)}), 1, "data size too short ... garbage? ... ignored\n"},
        {concat({empty_disk(), empty_disk()}), 2, ""},
        {concat({empty_disk(), short_empty_disk()}), 2, ""},
        {short_empty_disk(), 1, ""},
    };
    for (const auto& c : cases) {
        d88_image image = {};
        const read_result r = read_bytes(c.image, &image);
        EXPECT_EQ(r.result, c.disks);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(image.disk_count, c.disks);
        free_d88_image(&image, 0);
    }
}

TEST(ReadImage, SectorsAreCopiedFieldForField)
{
    test_sector odd = sector(3, 1, 9, 5, 0x11);
    odd.n = 7;
    odd.density = 0x40;
    odd.deleted_mark = 0x10;
    odd.status = 0xA0;
    test_disk disk;
    disk.name = "FIELDS";
    disk.write_protect = 0x10;
    disk.disk_type = 0x20;
    test_sector empty = sector(3, 1, 2, 0);
    empty.sector_count = 42;
    disk.slots = {{}, {odd, empty}};
    bytes b = build_disk(disk);
    b[0x11] = 0x5A;           // reserved header byte
    b[688 + 9] = 0x77;        // reserved sector byte

    d88_image image = {};
    ASSERT_EQ(read_bytes(b, &image).result, 1);
    const d88_disk* d = image.disks;
    EXPECT_STREQ(d->name, "FIELDS");
    EXPECT_EQ(d->reserved[0], 0x5A);
    EXPECT_EQ(d->write_protect, 0x10);
    EXPECT_EQ(d->disk_type, 0x20);
    EXPECT_EQ(d->disk_size, static_cast<int32_t>(b.size()));
    EXPECT_EQ(d->track_offset[1], 688);
    EXPECT_EQ(d->track[0].sectors, nullptr);
    ASSERT_EQ(d->track[1].count, 2);
    const d88_sector& s = d->track[1].sectors[0];
    EXPECT_EQ(s.c, 3);
    EXPECT_EQ(s.h, 1);
    EXPECT_EQ(s.r, 9);
    EXPECT_EQ(s.n, 7);
    EXPECT_EQ(s.sector_count, 2);
    EXPECT_EQ(d->track[1].sectors[1].sector_count, 42);
    EXPECT_EQ(s.density, 0x40);
    EXPECT_EQ(s.deleted_mark, 0x10);
    EXPECT_EQ(s.status, 0xA0);
    EXPECT_EQ(s.reserved[0], 0x77);
    ASSERT_EQ(s.data_size, 5);
    EXPECT_EQ(s.data[4], 0x11);
    EXPECT_EQ(d->track[1].sectors[1].data_size, 0);  // the header right after the first
    EXPECT_EQ(d->track[1].sectors[1].data, nullptr);
    free_d88_image(&image, 0);
}

TEST(ReadImage, TrackExtentsFollowTheOffsetsNotTheSlotOrder)
{
    // Slot 0 lies behind slot 1 in the file, with a gap before it; slot 2
    // shares slot 1's bytes.
    const bytes first = one_track({sector(0, 0, 1, 16, 0x01)});
    bytes b = concat({first, bytes(32, 0), bytes(16 + 16, 0)});
    const size_t later = first.size() + 32;
    b[later] = 7;  // C 7
    b[later + 2] = 1;
    store_le16(b, later + 4, 1);
    store_le16(b, later + 14, 16);
    store_le32(b, 0x20 + 4 * 0, static_cast<uint32_t>(later));
    store_le32(b, 0x20 + 4 * 1, 688);
    store_le32(b, 0x20 + 4 * 2, 688);
    store_le32(b, 0x1C, static_cast<uint32_t>(b.size()));

    d88_image image = {};
    ASSERT_EQ(read_bytes(b, &image).result, 1);
    d88_disk* d = image.disks;
    EXPECT_EQ(d->track[0].sectors[0].c, 7);
    EXPECT_EQ(d->track[1].sectors[0].data[0], 0x01);
    EXPECT_NE(d->track[1].sectors[0].data, d->track[2].sectors[0].data);
    EXPECT_EQ(d->track[2].sectors[0].data[15], 0x01);
    free_d88_image(&image, 0);
}

TEST(ReadImage, ShortHeaderIsRecognisedByOffset672)
{
    bytes b(672, 0);
    std::memcpy(b.data(), "SHORT", 5);
    store_le32(b, 0x20 + 4 * 5, 672);
    append_sector(b, sector(2, 1, 1, 8, 0xCD), 1);
    store_le32(b, 0x1C, static_cast<uint32_t>(b.size()));

    d88_image image = {};
    const read_result r = read_bytes(b, &image);
    ASSERT_EQ(r.result, 1) << r.out;
    const d88_disk* d = image.disks;
    EXPECT_EQ(d->track_offset[5], 672);
    for (int slot = 160; slot < 164; ++slot)  // the sector's bytes, not offsets
        EXPECT_EQ(d->track_offset[slot], 0);
    EXPECT_EQ(d->track[5].sectors[0].data[7], 0xCD);
    free_d88_image(&image, 0);
}

TEST(ReadImage, EmptySlotAndShortCount)
{
    bytes zeros = concat({empty_disk(), bytes(16, 0)});
    store_le32(zeros, 0x20, 688);
    store_le32(zeros, 0x1C, 704);
    const bytes three = with_le16(
        one_track({sector(0, 0, 1, 4), sector(0, 0, 2, 4), sector(0, 0, 3, 4)}), 688 + 4, 1);

    d88_image image = {};
    ASSERT_EQ(read_bytes(zeros, &image).result, 1);
    EXPECT_EQ(image.disks->track[0].sectors, nullptr);
    EXPECT_EQ(image.disks->track[0].count, 0);
    free_d88_image(&image, 0);
    ASSERT_EQ(read_bytes(three, &image).result, 1);
    EXPECT_EQ(image.disks->track[0].count, 1);
    free_d88_image(&image, 0);
}

TEST(ReadArguments, EachLevelRejectsBadArguments)
{
    const bytes disk = empty_disk();
    d88_image image = {5, nullptr};
    d88_disk record = {};
    d88_track track = {};
    d88_sector sector = {};
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_d88_image_from_buffer(nullptr, disk.data(), 688), -1);
    EXPECT_EQ(read_d88_image_from_buffer(&image, nullptr, 688), -1);
    EXPECT_EQ(read_d88_image_from_buffer(&image, disk.data(), 0), -1);
    EXPECT_EQ(read_d88_disk_from_buffer(&record, disk.data(), -1), -1);
    EXPECT_EQ(read_d88_disk_from_buffer(&record, disk.data(), 687), -1);  // would read past the bytes
    EXPECT_EQ(read_d88_track_from_buffer(&track, disk.data(), 0, 688), -1);
    EXPECT_EQ(read_d88_track_from_buffer(&track, disk.data(), 10, 10), -1);
    EXPECT_EQ(read_d88_sector_from_buffer(&sector, disk.data(), 5, 0), -1);
    EXPECT_EQ(read_d88_sector_from_buffer(nullptr, disk.data(), 5, 10), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "read_d88_image_from_buffer: illegal parameter\n"
              "read_d88_image_from_buffer: illegal parameter\n"
              "read_d88_image_from_buffer: illegal parameter\n"
              "read_d88_disk_from_buffer: illegal parameter\n"
              "read_d88_disk_from_buffer: illegal parameter\n"
              "read_d88_track_from_buffer: illegal parameter\n"
              "read_d88_track_from_buffer: illegal parameter\n"
              "read_d88_sector_from_buffer: illegal parameter\n"
              "read_d88_sector_from_buffer: illegal parameter\n");
    EXPECT_EQ(image.disk_count, 5);  // untouched
}

TEST(ReadFile, LoadFailuresNameThePath)
{
    temp_dir dir;
    write_file(dir.file("empty.d88"), {});
    write_file(dir.file("bad.d88"), with_byte(empty_disk(), 0x1B, 0x30));
    const std::string huge = dir.file("huge.d88");
    write_file(huge, {});
    std::filesystem::resize_file(huge, 0x80000000ull);  // sparse: 2 GiB without the bytes

    struct {
        std::string path, out;
    } cases[] = {
        {dir.file("missing.d88"), "open error '" + dir.file("missing.d88") + "'\n"},
        {dir.file("empty.d88"), "read error '" + dir.file("empty.d88") + "'\n"},
        {dir.path, "read error '" + dir.path + "'\n"},
        {huge, "file too large '" + huge + "'\n"},
        {dir.file("bad.d88"),
         "illegal data: [E] disk type = 0x30\nread disk 1 error\nread image data error '" + dir.file("bad.d88") + "'\n"},
    };
    for (const auto& c : cases) {
        d88_image image = {};
        testing::internal::CaptureStdout();
        EXPECT_EQ(read_d88_image_file(&image, c.path.c_str()), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
        EXPECT_EQ(image.disks, nullptr);
    }
}

TEST(ReadFile, ReadsEveryDisk)
{
    temp_dir dir;
    write_file(dir.file("two.d88"), concat({build_disk(game_disk("ONE", 2)), build_disk(data_disk("TWO"))}));
    d88_image image = {};
    ASSERT_EQ(read_d88_image_file(&image, dir.file("two.d88").c_str()), 2);
    EXPECT_STREQ(image.disks->name, "ONE");
    EXPECT_STREQ(image.disks->next->name, "TWO");
    EXPECT_EQ(image.disks->next->track[79].sectors[0].r, 16);
    free_d88_image(&image, 0);
}
