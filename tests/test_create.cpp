// Blank disks in the ten standard formats, and sector arrays.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "d88.h"
#include "test_support.h"

namespace {

// What a call that makes `count` sectors printed, then each sector it made
// as C.H.R.N.bytes.count.density (every byte E5, deleted mark and status 0).
std::string made(int count, const std::function<d88_sector*()>& call)
{
    d88_sector* sectors = nullptr;
    std::string out = printed_by([&] { sectors = call(); });
    for (int i = 0; sectors != nullptr && i < count; ++i) {
        const d88_sector& s = sectors[i];
        char text[64];
        std::snprintf(text, sizeof text, "%X.%X.%d.%d.%d.%d.%X ", s.c, s.h, s.r, s.n, s.data_size, s.sector_count, s.density);
        out += text;
        EXPECT_TRUE(bytes(s.data, s.data + s.data_size) == bytes(static_cast<size_t>(s.data_size), 0xE5));
        EXPECT_EQ(s.deleted_mark | s.status, 0);
        std::free(s.data);
    }
    std::free(sectors);
    return out;
}

}  // namespace

// Each format, with a name given as the caller gives it and as it is stored.
TEST(CreateDisk, EveryFormatByteForByte)
{
    const std::pair<const char*, std::string> names[] = {
        {nullptr, ""}, {"ABC", "ABC"}, {"0123456789ABCDEF", "0123456789ABCDEF"}, {"0123456789ABCDEFGHIJ", "0123456789ABCDEF"}, {"X", "X"},
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
        EXPECT_TRUE(bytes(buffer, buffer + size) == build_disk(blank_disk(format, name.second + std::string(16 - name.second.size(), ' ')))) << format;
        std::free(buffer);
        free_d88_disk(disk, 1);
    }
    for (int32_t format : {-1, 10})
        EXPECT_EQ(printed_by([&] { EXPECT_EQ(create_d88_disk("X", format), nullptr); }), "create_d88_disk: illegal parameter\n");
}

TEST(CreateSectors, EveryArgumentAtItsBoundaries)
{
    const std::string BAD = "create_d88_sectors: illegal parameter\n", BAD_LIST = "create_d88_custom_sectors: illegal parameter\n";
    const uint8_t r_list[] = {9, 3, 4}, n_list[] = {1, 2, 6}, bad_first[] = {0, 1, 1}, bad_last[] = {1, 1, 7};
    const struct {
        int count;
        std::function<d88_sector*()> call;
        std::string made;
    } rows[] = {
        {9, [] { return create_d88_sectors(3, 1, 250, 2, 9, 0x40); }, "3.1.250.2.512.9.40 3.1.251.2.512.9.40 3.1.252.2.512.9.40 3.1.253.2.512.9.40 3.1.254.2.512.9.40 3.1.255.2.512.9.40 3.1.0.2.512.9.40 3.1.1.2.512.9.40 3.1.2.2.512.9.40 "},
        {1, [] { return create_d88_sectors(81, 0x81, 7, 6, 1, 0); }, "51.81.7.6.8192.1.0 "},
        {1, [] { return create_d88_sectors(0, 0x80, 1, 1, 1, 0); }, "0.80.1.1.256.1.0 "},
        {1, [] { return create_d88_sectors(82, 0, 1, 1, 1, 0); }, BAD},
        {1, [] { return create_d88_sectors(0, 0x02, 1, 1, 1, 0); }, BAD},
        {1, [] { return create_d88_sectors(0, 0x7F, 1, 1, 1, 0); }, BAD},
        {1, [] { return create_d88_sectors(0, 0x82, 1, 1, 1, 0); }, BAD},
        {1, [] { return create_d88_sectors(0, 0, 1, 0, 1, 0); }, BAD},
        {1, [] { return create_d88_sectors(0, 0, 1, 7, 1, 0); }, BAD},
        {1, [] { return create_d88_sectors(0, 0, 1, 1, 0, 0); }, BAD},
        {1, [] { return create_d88_sectors(0, 0, 1, 1, -5, 0); }, BAD},
        {1, [] { return create_d88_sectors(0, 0, 1, 1, 1, 0x01); }, BAD},
        {3, [&] { return create_d88_custom_sectors(1, 0, nullptr, n_list, 3, 0x40); }, "1.0.1.1.256.3.40 1.0.2.2.512.3.40 1.0.3.6.8192.3.40 "},
        {3, [&] { return create_d88_custom_sectors(81, 0x81, r_list, n_list, 3, 0); }, "51.81.9.1.256.3.0 51.81.3.2.512.3.0 51.81.4.6.8192.3.0 "},
        {3, [&] { return create_d88_custom_sectors(0, 0, nullptr, bad_first, 3, 0); }, BAD_LIST},
        {3, [&] { return create_d88_custom_sectors(0, 0, nullptr, bad_last, 3, 0); }, BAD_LIST},
        {3, [&] { return create_d88_custom_sectors(0, 0, nullptr, nullptr, 3, 0); }, BAD_LIST},
        {3, [&] { return create_d88_custom_sectors(0, 0, nullptr, n_list, 0, 0); }, BAD_LIST},
        {3, [&] { return create_d88_custom_sectors(0, 0, nullptr, n_list, 3, 0x41); }, BAD_LIST},
    };
    for (const auto& row : rows)
        EXPECT_EQ(made(row.count, row.call), row.made);
}
