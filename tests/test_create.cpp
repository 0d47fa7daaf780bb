// Blank disks in the ten standard formats, and sector arrays.
#include <gtest/gtest.h>

#include <cstdlib>

#include "d88.h"
#include "test_support.h"

namespace {

struct format_row {
    uint8_t disk_type;
    int cylinders, sectors;
    uint8_t n, first_r, head_base;
    int32_t disk_size;
};

const format_row FORMATS[] = {
    {0x00, 40, 16, 1, 1, 0x00, 348848},  {0x10, 80, 8, 2, 1, 0x00, 676528},   {0x10, 80, 9, 2, 1, 0x00, 761008},
    {0x20, 77, 8, 3, 1, 0x00, 1281968},  {0x20, 80, 8, 3, 1, 0x00, 1331888},  {0x20, 80, 9, 3, 10, 0x00, 1498288},
    {0x20, 80, 9, 3, 1, 0x80, 1498288},  {0x20, 80, 15, 2, 1, 0x00, 1267888}, {0x20, 80, 18, 2, 1, 0x00, 1521328},
    {0x20, 77, 26, 1, 1, 0x00, 1089776},
};

// The blank disk of a format as the format table describes it.
bytes blank_disk(int format, const std::string& name)
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
    return build_disk(disk);
}

void free_sectors(d88_sector* sectors, int count)
{
    for (int i = 0; sectors != nullptr && i < count; ++i)
        std::free(sectors[i].data);
    std::free(sectors);
}

}  // namespace

// Each format, with a name given as the caller gives it and as it is stored.
TEST(CreateDisk, EveryFormatByteForByte)
{
    const std::pair<const char*, std::string> names[] = {
        {nullptr, ""}, {"ABC", "ABC"}, {"0123456789ABCDEF", "0123456789ABCDEF"}, {"0123456789ABCDEFGHIJ", "0123456789ABCDEF"}, {"", ""},
    };
    for (int32_t format = 0; format < 10; ++format) {
        const auto& name = names[format % 5];
        d88_disk* disk = create_d88_disk(name.first, format);
        ASSERT_NE(disk, nullptr);
        EXPECT_EQ(disk->disk_size, FORMATS[format].disk_size) << format;
        EXPECT_EQ(disk->next, nullptr);
        uint8_t* buffer = nullptr;
        int32_t size = 0;
        const d88_image image = {1, disk};
        ASSERT_EQ(write_d88_image_to_buffer(&image, &buffer, &size), 0);
        EXPECT_TRUE(bytes(buffer, buffer + size) == blank_disk(format, name.second + std::string(16 - name.second.size(), ' '))) << format;
        std::free(buffer);
        free_d88_disk(disk, 1);
    }
    for (int32_t format : {-1, 10})
        EXPECT_EQ(printed_by([&] { EXPECT_EQ(create_d88_disk("X", format), nullptr); }), "create_d88_disk: illegal parameter\n");
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
    } rows[] = {
        {81, 0x00, 1, 1, 0x00, true}, {82, 0x00, 1, 1, 0x00, false}, {0, 0x81, 1, 1, 0x00, true},
        {0, 0x80, 6, 1, 0x40, true},  {0, 0x01, 1, 1, 0x00, true},   {0, 0x02, 1, 1, 0x00, false},
        {0, 0x7F, 1, 1, 0x00, false}, {0, 0x00, 0, 1, 0x00, false},  {0, 0x00, 7, 1, 0x00, false},
        {0, 0x00, 1, 0, 0x00, false}, {0, 0x00, 1, -5, 0x00, false}, {0, 0x00, 1, 1, 0x01, false},
    };
    for (const auto& row : rows) {
        const uint8_t n_list[] = {row.n};
        for (bool custom : {false, true}) {
            d88_sector* sectors = nullptr;
            const std::string out = printed_by([&] {
                sectors = custom ? create_d88_custom_sectors(row.c, row.h, nullptr, n_list, row.count, row.density)
                                 : create_d88_sectors(row.c, row.h, 1, row.n, row.count, row.density);
            });
            EXPECT_EQ(sectors != nullptr, row.accepted) << int(row.c) << " " << int(row.h) << " " << int(row.n);
            EXPECT_EQ(out, row.accepted ? ""
                                        : custom ? "create_d88_custom_sectors: illegal parameter\n"
                                                 : "create_d88_sectors: illegal parameter\n");
            free_sectors(sectors, 1);
        }
    }
}

TEST(CreateSectors, RecordsAndSizes)
{
    d88_sector* sectors = create_d88_sectors(3, 1, 250, 2, 9, 0x40);
    const uint8_t wrapped[] = {250, 251, 252, 253, 254, 255, 0, 1, 2};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(sectors[i].r, wrapped[i]);
        EXPECT_EQ(sectors[i].density, 0x40);
        EXPECT_EQ(sectors[i].sector_count, 9);
    }
    free_sectors(sectors, 9);

    const uint8_t r_list[] = {9, 3, 4}, n_list[] = {1, 2, 6};
    for (const uint8_t* r : {static_cast<const uint8_t*>(nullptr), r_list}) {
        sectors = create_d88_custom_sectors(1, 0x80, r, n_list, 3, 0);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(sectors[i].r, r ? r[i] : i + 1);
            EXPECT_EQ(sectors[i].n, n_list[i]);
            EXPECT_EQ(sectors[i].sector_count, 3);
            ASSERT_EQ(sectors[i].data_size, 128 << n_list[i]);
            EXPECT_EQ(sectors[i].data[sectors[i].data_size - 1], 0xE5);
        }
        free_sectors(sectors, 3);
    }
    const uint8_t bad_first[] = {0, 1, 1}, bad_last[] = {1, 1, 7};
    for (const uint8_t* list : {bad_first, bad_last, static_cast<const uint8_t*>(nullptr)})
        EXPECT_EQ(printed_by([&] { EXPECT_EQ(create_d88_custom_sectors(0, 0, nullptr, list, 3, 0), nullptr); }),
                  "create_d88_custom_sectors: illegal parameter\n");
}
