// Blank disks in the ten standard formats, and sector arrays.
#include <gtest/gtest.h>

#include <cstring>

#include "d88.h"
#include "image_builder.h"
#include "test_support.h"

namespace {

struct format_row {
    uint8_t disk_type;
    int cylinders, sectors, n, first_r;
    uint8_t head_base;
    int32_t disk_size;
};

const format_row FORMATS[] = {
    {0x00, 40, 16, 1, 1, 0x00, 348848},  {0x10, 80, 8, 2, 1, 0x00, 676528},   {0x10, 80, 9, 2, 1, 0x00, 761008},
    {0x20, 77, 8, 3, 1, 0x00, 1281968},  {0x20, 80, 8, 3, 1, 0x00, 1331888},  {0x20, 80, 9, 3, 10, 0x00, 1498288},
    {0x20, 80, 9, 3, 1, 0x80, 1498288},  {0x20, 80, 15, 2, 1, 0x00, 1267888}, {0x20, 80, 18, 2, 1, 0x00, 1521328},
    {0x20, 77, 26, 1, 1, 0x00, 1089776},
};

}  // namespace

TEST(CreateDisk, EveryFormatHasItsGeometryAndSize)
{
    temp_dir dir;
    for (int32_t format = 0; format < 10; ++format) {
        const format_row& row = FORMATS[format];
        d88_disk* disk = create_d88_disk(nullptr, format);
        ASSERT_NE(disk, nullptr) << format;
        EXPECT_EQ(std::string(disk->name, 17), std::string(16, ' ') + '\0');
        EXPECT_EQ(disk->disk_type, row.disk_type);
        EXPECT_EQ(disk->write_protect, 0);
        EXPECT_EQ(disk->next, nullptr);
        EXPECT_EQ(disk->disk_size, row.disk_size) << format;
        const int slots = row.cylinders * 2;
        for (int slot = 0; slot < 164; ++slot) {
            const d88_track& track = disk->track[slot];
            EXPECT_EQ(disk->track_offset[slot], 0);
            if (slot >= slots) {
                EXPECT_EQ(track.sectors, nullptr) << format << " slot " << slot;
                continue;
            }
            ASSERT_EQ(track.count, row.sectors);
            const d88_sector& last = track.sectors[row.sectors - 1];
            EXPECT_EQ(last.c, slot / 2);
            EXPECT_EQ(last.h, row.head_base + slot % 2);
            EXPECT_EQ(last.r, row.first_r + row.sectors - 1);
            EXPECT_EQ(last.n, row.n);
            EXPECT_EQ(last.sector_count, row.sectors);
            EXPECT_EQ(last.density, 0);
            ASSERT_EQ(last.data_size, 128 << row.n);
            EXPECT_EQ(last.data[0], 0xE5);
            EXPECT_EQ(last.data[last.data_size - 1], 0xE5);
        }
        const std::string path = dir.file("f" + std::to_string(format) + ".d88");
        ASSERT_EQ(write_d88_disk_file(disk, path.c_str()), 0);
        EXPECT_EQ(read_file(path).size(), static_cast<size_t>(row.disk_size));
        free_d88_disk(disk, 1);
    }
}

TEST(CreateDisk, TwoFormatsMarkTheirFirstSector)
{
    d88_disk* from10 = create_d88_disk("R10", 5);
    const uint8_t slot0_r[] = {1, 11, 12, 13, 14, 15, 16, 17, 18};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(from10->track[0].sectors[i].r, slot0_r[i]);
        EXPECT_EQ(from10->track[1].sectors[i].r, 10 + i);
    }
    free_d88_disk(from10, 1);

    d88_disk* high = create_d88_disk("H80", 6);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(high->track[0].sectors[i].h, i == 0 ? 0x00 : 0x80);
        EXPECT_EQ(high->track[1].sectors[i].h, 0x81);
        EXPECT_EQ(high->track[2].sectors[i].h, 0x80);
    }
    free_d88_disk(high, 1);
}

TEST(CreateDisk, NamesArePaddedOrCut)
{
    struct {
        const char* given;
        std::string stored;
    } cases[] = {
        {"ABC", "ABC" + std::string(13, ' ')},
        {"0123456789ABCDEF", "0123456789ABCDEF"},
        {"0123456789ABCDEFGHIJ", "0123456789ABCDEF"},
        {"", std::string(16, ' ')},
    };
    for (const auto& c : cases) {
        d88_disk* disk = create_d88_disk(c.given, 0);
        EXPECT_EQ(std::string(disk->name, 17), c.stored + '\0');
        free_d88_disk(disk, 1);
    }
}

TEST(CreateDisk, WrittenFileReadsBackTheSame)
{
    temp_dir dir;
    d88_disk* disk = create_d88_disk("ROUND TRIP", 0);
    ASSERT_EQ(write_d88_disk_file(disk, dir.file("a.d88").c_str()), 0);
    const bytes first = read_file(dir.file("a.d88"));
    for (int slot = 0; slot < 80; ++slot)
        EXPECT_EQ(load_le32(first, 0x20 + 4 * slot), 688u + 4352u * slot);

    d88_image image = {};
    ASSERT_EQ(read_d88_image_file(&image, dir.file("a.d88").c_str()), 1);
    ASSERT_EQ(write_d88_image_file(&image, dir.file("b.d88").c_str()), 0);
    EXPECT_EQ(read_file(dir.file("b.d88")), first);
    free_d88_image(&image, 0);
    free_d88_disk(disk, 1);

    d88_image* fresh = new_d88_image();
    EXPECT_EQ(fresh->disk_count, 0);
    EXPECT_EQ(fresh->disks, nullptr);
    free_d88_image(fresh, 1);
}

TEST(CreateSectors, ArgumentsAtTheirBoundaries)
{
    struct {
        uint8_t c, h, n;
        int32_t count;
        uint8_t density;
        bool accepted;
    } cases[] = {
        {81, 0x00, 1, 1, 0x00, true},   {82, 0x00, 1, 1, 0x00, false}, {0, 0x81, 1, 1, 0x00, true},
        {0, 0x80, 6, 1, 0x40, true},    {0, 0x02, 1, 1, 0x00, false},  {0, 0x7F, 1, 1, 0x00, false},
        {0, 0x00, 0, 1, 0x00, false},   {0, 0x00, 7, 1, 0x00, false},  {0, 0x00, 1, 0, 0x00, false},
        {0, 0x00, 1, -5, 0x00, false},  {0, 0x00, 1, 1, 0x01, false},
    };
    for (const auto& c : cases) {
        d88_sector* sectors = nullptr;
        const std::string out = printed_by([&] { sectors = create_d88_sectors(c.c, c.h, 1, c.n, c.count, c.density); });
        EXPECT_EQ(sectors != nullptr, c.accepted) << int(c.c) << " " << int(c.h) << " " << int(c.n);
        EXPECT_EQ(out, c.accepted ? "" : "create_d88_sectors: illegal parameter\n");
        if (sectors != nullptr) {
            std::free(sectors[0].data);
            std::free(sectors);
        }
    }
    EXPECT_EQ(printed_by([] { EXPECT_EQ(create_d88_disk("X", -1), nullptr); }), "create_d88_disk: illegal parameter\n");
    EXPECT_EQ(printed_by([] { EXPECT_EQ(create_d88_disk("X", 10), nullptr); }), "create_d88_disk: illegal parameter\n");
}

TEST(CreateSectors, RecordNumbersWrapAround)
{
    d88_sector* sectors = create_d88_sectors(3, 1, 250, 2, 9, 0x40);
    const uint8_t expected[] = {250, 251, 252, 253, 254, 255, 0, 1, 2};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(sectors[i].r, expected[i]);
        EXPECT_EQ(sectors[i].density, 0x40);
        EXPECT_EQ(sectors[i].data_size, 512);
        std::free(sectors[i].data);
    }
    std::free(sectors);
}

TEST(CreateCustomSectors, SizesAndRecordsFromTheLists)
{
    const uint8_t n_list[] = {1, 2, 3};
    d88_sector* sectors = create_d88_custom_sectors(0, 0, nullptr, n_list, 3, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sectors[i].r, i + 1);
        EXPECT_EQ(sectors[i].n, n_list[i]);
        EXPECT_EQ(sectors[i].sector_count, 3);
        ASSERT_EQ(sectors[i].data_size, 256 << i);
        EXPECT_EQ(sectors[i].data[sectors[i].data_size - 1], 0xE5);
        std::free(sectors[i].data);
    }
    std::free(sectors);

    const uint8_t r_list[] = {9, 3};
    const uint8_t n_list2[] = {6, 1};
    sectors = create_d88_custom_sectors(1, 0x80, r_list, n_list2, 2, 0);
    EXPECT_EQ(sectors[0].r, 9);
    EXPECT_EQ(sectors[1].r, 3);
    EXPECT_EQ(sectors[0].data_size, 8192);
    for (int i = 0; i < 2; ++i)
        std::free(sectors[i].data);
    std::free(sectors);

    const uint8_t bad_first[] = {0, 1, 1}, bad_last[] = {1, 1, 7};
    for (const uint8_t* list : {bad_first, bad_last, static_cast<const uint8_t*>(nullptr)}) {
        EXPECT_EQ(printed_by([&] { EXPECT_EQ(create_d88_custom_sectors(0, 0, nullptr, list, 3, 0), nullptr); }),
                  "create_d88_custom_sectors: illegal parameter\n");
    }
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(create_d88_custom_sectors(0, 0, nullptr, n_list, 2, 0x41), nullptr); }),
              "create_d88_custom_sectors: illegal parameter\n");
}
