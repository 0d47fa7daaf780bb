// Reading and validating images: accepted layouts and every failure chain.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "d88.h"
#include "image_builder.h"
#include "malformed_images.h"
#include "test_support.h"

namespace {

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
