// Writing images: the bytes laid out, the size checks and the file stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

#include "d88.h"
#include "image_builder.h"
#include "test_support.h"

namespace {

test_sector sector(uint8_t c, uint8_t h, uint8_t r, size_t size, uint8_t fill)
{
    test_sector s;
    s.c = c;
    s.h = h;
    s.r = r;
    s.n = size == 512 ? 2 : 1;
    s.data.assign(size, fill);
    return s;
}

bytes serialise(const d88_image& image)
{
    uint8_t* buffer = nullptr;
    int32_t size = -1;
    EXPECT_EQ(write_d88_image_to_buffer(&image, &buffer, &size), 0);
    bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

test_disk two_slot_disk()
{
    test_disk disk;
    disk.name = "LAYOUT";
    disk.disk_type = 0x10;
    disk.slots = {{sector(0, 0, 1, 256, 0x11), sector(0, 0, 2, 256, 0x22)}, {}, {sector(1, 0, 1, 512, 0x33)}};
    return disk;
}

}  // namespace

TEST(WriteDisk, LaysOutSlotsFromTheRecordsAlone)
{
    const bytes expected = build_disk(two_slot_disk());
    ASSERT_EQ(expected.size(), 1760u);
    EXPECT_EQ(load_le32(expected, 0x20), 688u);
    EXPECT_EQ(load_le32(expected, 0x20 + 8), 1232u);

    loaded_image image_read(expected);
    d88_image& image = image_read.image;
    d88_disk* disk = image.disks;
    disk->disk_size = 5;  // stale values read back must not matter
    disk->track_offset[0] = 9999;
    disk->track_offset[7] = 700;
    disk->track[0].sectors[1].sector_count = 77;
    EXPECT_EQ(calc_d88_disk_size(disk), 1760);
    EXPECT_EQ(serialise(image), expected);
    EXPECT_EQ(disk->disk_size, 5);  // and writing changes nothing
}

TEST(WriteDisk, EmptyDiskIsAHeaderOnly)
{
    d88_disk disk = {};
    std::memcpy(disk.name, "0123456789ABCDEFG", 17);
    disk.write_protect = 0x99;  // written as it is, untested
    uint8_t out[688];
    uint8_t* next = nullptr;
    ASSERT_EQ(write_d88_disk_to_buffer(&disk, out, &next, 688), 0);
    EXPECT_EQ(next, out + 688);
    EXPECT_EQ(std::memcmp(out, "0123456789ABCDEFG", 17), 0);
    EXPECT_EQ(out[0x1A], 0x99);
    EXPECT_EQ(get_le32(out + 0x1C), 688);
    for (int slot = 0; slot < 164; ++slot)
        EXPECT_EQ(get_le32(out + 0x20 + 4 * slot), 0);
}

TEST(WriteDisk, SlotWithoutSectorsIsWrittenEmpty)
{
    test_disk spec = two_slot_disk();
    loaded_image image(build_disk(spec));
    d88_track& last = image.disk()->track[163];
    last.sectors = static_cast<d88_sector*>(std::calloc(1, sizeof(d88_sector)));  // an array of no sectors
    EXPECT_EQ(serialise(image.image), build_disk(spec));
}

TEST(WriteDisk, RoomMustHoldTheWholeDisk)
{
    loaded_image image_read(build_disk(two_slot_disk()));
    d88_image& image = image_read.image;
    bytes out(1760, 0xCC);
    uint8_t* next = nullptr;
    testing::internal::CaptureStdout();
    EXPECT_EQ(write_d88_disk_to_buffer(image.disks, out.data(), &next, 1759), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "write d88 disk: buffer size error: 1759 < 1760\n");
    EXPECT_EQ(out, bytes(1760, 0xCC));
    EXPECT_EQ(write_d88_disk_to_buffer(image.disks, out.data(), &next, 1760), 0);
    EXPECT_EQ(next, out.data() + 1760);
}

TEST(WriteDisk, ShortHeaderComesOutFull)
{
    bytes b(672, 0);
    store_le32(b, 0x20 + 4 * 3, 672);
    append_sector(b, sector(1, 1, 1, 256, 0x44), 1);
    store_le32(b, 0x1C, static_cast<uint32_t>(b.size()));
    loaded_image image_read(b);
    d88_image& image = image_read.image;

    const bytes out = serialise(image);
    ASSERT_EQ(out.size(), b.size() + 16);
    EXPECT_EQ(load_le32(out, 0x1C), b.size() + 16);
    EXPECT_EQ(load_le32(out, 0x20 + 4 * 3), 688u);
    EXPECT_TRUE(std::equal(b.begin() + 672, b.end(), out.begin() + 688));
}

TEST(WriteImage, DisksFollowTheListUpToDiskCount)
{
    const bytes a = build_disk(two_slot_disk()), b = build_disk(game_disk("B", 2)), c = build_disk(test_disk());
    loaded_image image_read(concat({a, b, c}));
    d88_image& image = image_read.image;
    ASSERT_EQ(image.disk_count, 3);
    EXPECT_EQ(serialise(image), concat({a, b, c}));
    EXPECT_EQ(calc_d88_image_size(&image), static_cast<int32_t>(a.size() + b.size() + c.size()));

    image.disk_count = 2;  // the list is longer than the count
    EXPECT_EQ(serialise(image), concat({a, b}));
    EXPECT_EQ(calc_d88_image_size(&image), static_cast<int32_t>(a.size() + b.size() + c.size()));
    image.disk_count = 3;

    temp_dir dir;
    ASSERT_EQ(write_d88_disk_file(image.disks->next, dir.file("b.d88").c_str()), 0);
    EXPECT_EQ(read_file(dir.file("b.d88")), b);  // that disk alone, no zero tail

    d88_image empty = {};
    EXPECT_EQ(write_d88_image_file(&empty, dir.file("empty.d88").c_str()), 0);
    EXPECT_TRUE(file_exists(dir.file("empty.d88")));
    EXPECT_EQ(read_file(dir.file("empty.d88")).size(), 0u);
}

TEST(WriteImage, UnwritableRecordsFailBeforeAnyAllocation)
{
    d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
    d88_image image = {1, disk};
    // 65535 sectors of 32767 bytes: more than 2 GiB.
    disk->track[0].count = 65535;
    disk->track[0].sectors = static_cast<d88_sector*>(std::calloc(65535, sizeof(d88_sector)));
    for (int i = 0; i < 65535; ++i)
        disk->track[0].sectors[i].data_size = 32767;
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    temp_dir dir;
    const std::string path = dir.file("big.d88");
    testing::internal::CaptureStdout();
    EXPECT_EQ(calc_d88_disk_size(disk), -1);
    EXPECT_EQ(write_d88_image_to_buffer(&image, &buffer, &size), -1);
    EXPECT_EQ(buffer, nullptr);
    disk->track[0].count = 1;
    disk->track[0].sectors[0].data_size = -2;
    EXPECT_EQ(write_d88_image_file(&image, path.c_str()), -1);
    EXPECT_EQ(write_d88_image_file(nullptr, path.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "write d88 image: image too large or data size negative\n"
              "write d88 image: image too large or data size negative\n"
              "write image data error '" + path + "'\n"
              "write_d88_image_to_buffer: illegal parameter\n"
              "write image data error '" + path + "'\n");
    EXPECT_FALSE(file_exists(path));
    free_d88_image(&image, 0);
}

TEST(WriteFile, ReplacesSafelyAndKeepsLinksAndModes)
{
    temp_dir dir;
    loaded_image image_read(build_disk(two_slot_disk()));
    d88_image& image = image_read.image;
    const bytes expected = build_disk(two_slot_disk());
    const mode_t old_mask = umask(022);

    ASSERT_EQ(write_d88_image_file(&image, dir.file("new.d88").c_str()), 0);
    struct stat st;
    stat(dir.file("new.d88").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    write_file(dir.file("old.d88"), bytes(10, 1));
    chmod(dir.file("old.d88").c_str(), 0604);
    symlink("old.d88", dir.file("link.d88").c_str());
    ASSERT_EQ(write_d88_image_file(&image, dir.file("link.d88").c_str()), 0);
    lstat(dir.file("link.d88").c_str(), &st);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    stat(dir.file("old.d88").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(read_file(dir.file("old.d88")), expected);

    symlink("gone.d88", dir.file("dangling.d88").c_str());
    ASSERT_EQ(write_d88_image_file(&image, dir.file("dangling.d88").c_str()), 0);
    EXPECT_EQ(read_file(dir.file("gone.d88")), expected);

    std::vector<std::string> names = list_dir(dir.path);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"dangling.d88", "gone.d88", "link.d88", "new.d88", "old.d88"}));
    umask(old_mask);
}

TEST(WriteFile, FailuresNameThePath)
{
    temp_dir dir;
    loaded_image image_read(build_disk(two_slot_disk()));
    d88_image& image = image_read.image;
    const std::string no_folder = dir.file("none/x.d88");
    testing::internal::CaptureStdout();
    EXPECT_EQ(write_d88_image_file(&image, "/dev/full"), -1);
    EXPECT_EQ(write_d88_image_file(&image, no_folder.c_str()), -1);
    EXPECT_EQ(write_d88_image_file(&image, "/dev/null"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "write error '/dev/full'\nopen error '" + no_folder + "'\n");
    EXPECT_TRUE(list_dir(dir.path).empty());
}
