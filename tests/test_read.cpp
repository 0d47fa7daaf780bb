// Reading images: every fault with its chain, and the layouts the reader
// accepts, each written back out in the canonical layout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "d88.h"
#include "test_support.h"

namespace {

test_sector sector(uint8_t r, size_t size)
{
    return {0, 0, r, 1, bytes(size, static_cast<uint8_t>(0xA0 + r))};
}

// A disk named name whose slot 0 holds the given sectors.
bytes one_track(std::vector<test_sector> sectors, const std::string& name = "D1")
{
    return build_disk({name, 0, 0, {sectors}});
}

bytes empty_disk(const std::string& name = "E")
{
    return build_disk({name, 0, 0, {}});
}

// A disk that is nothing but the 672-byte short header.
const bytes SHORT_EMPTY = patch(bytes(672, 0), 0x1C, 672);
// Slot 0 with two sectors of 256 bytes: 688 + 2 * 272 = 1232 bytes.
const bytes TWO = one_track({sector(1, 256), sector(2, 256)});
const std::string CHAIN0 = "read track 0 error [D1]\nread disk 1 error\n";

// The disk's bytes with the 688-byte header cut to the 672-byte one.
bytes shortened(bytes b)
{
    b.erase(b.begin() + 672, b.begin() + 688);
    for (size_t at = 0x20; at < 0x20 + 4 * 160; at += 4)
        if (b[at] | b[at + 1])
            b = patch(b, at, (b[at] | b[at + 1] << 8) - 16u);
    return patch(b, 0x1C, static_cast<uint32_t>(b.size()));
}

// Slot 1's track stored first, then 8 spare bytes, then slot 0's track.
bytes out_of_order()
{
    const bytes reversed = one_track({sector(2, 256), sector(1, 256)});
    const bytes header = patch(patch(patch(bytes(TWO.begin(), TWO.begin() + 688), 0x20, 1240), 0x24, 688), 0x1C, 1784);
    return concat({header, bytes(reversed.begin() + 688, reversed.end()), bytes(8, 0), bytes(TWO.begin() + 688, TWO.end())});
}


// Two disks whose every header and sector field differs from the default.
const test_disk MARKED = {"MARKED", 0x10, 0x20, {{}, {{5, 1, 9, 3, bytes(3, 'x'), 0x40, 0x10, 0xB0}, sector(2, 0)}}};
const bytes MARKED_BYTES = patch(patch(build_disk(MARKED), 0x11, 0x44332211), 688 + 9, 0x87654321);

// An image, what reading it prints, the disks it finds (-1: it fails, and
// the records are left empty), and the image as the writer lays it out.
struct read_row {
    const char* what;
    bytes image;
    std::string out;
    int32_t disks;
    bytes canonical;
};

const std::string GARBAGE = "data size too short ... garbage? ... ignored\n";

const read_row READS[] = {
    {"disk size beyond the bytes", patch(SHORT_EMPTY, 0x1C, 688), "illegal data: [] disk size = 0x000002B0\nread disk 1 error\n", -1, {}},
    {"disk size below 672", patch(empty_disk(), 0x1C, 671), "illegal data: [E] disk size = 0x0000029F\nread disk 1 error\n", -1, {}},
    {"negative disk size", patch(empty_disk(), 0x1C, 0x80000000u), "illegal data: [E] disk size = 0x80000000\nread disk 1 error\n", -1, {}},
    {"only the disk size of three faults", patch(patch(empty_disk(), 0x1C, 5), 0x1A, 0x0101, 2), "illegal data: [E] disk size = 0x00000005\nread disk 1 error\n", -1, {}},
    {"write protect", patch(empty_disk(), 0x1A, 0x20, 1), "illegal data: [E] write protect flag = 0x20\nread disk 1 error\n", -1, {}},
    {"media type", patch(empty_disk(), 0x1B, 0x30, 1), "illegal data: [E] disk type = 0x30\nread disk 1 error\n", -1, {}},
    {"a name of 17 bytes without zero", patch(empty_disk("ABCDEFGHIJKLMNOPQ"), 0x1B, 0x11, 1), "illegal data: [ABCDEFGHIJKLMNOPQ] disk type = 0x11\nread disk 1 error\n", -1, {}},
    {"offset 680", patch(TWO, 0x20 + 4 * 3, 680), "illegal data: [D1] track 3 offset = 0x000002A8\nread disk 1 error\n", -1, {}},
    {"offset 687 in slot 0", patch(TWO, 0x20, 687), "illegal data: [D1] track 0 offset = 0x000002AF\nread disk 1 error\n", -1, {}},
    {"offset equal to the disk size", patch(TWO, 0x20 + 4 * 7, 1232), "illegal data: [D1] track 7 offset = 0x000004D0\nread disk 1 error\n", -1, {}},
    {"offset 672 in slot 160", patch(TWO, 0x20 + 4 * 160, 672), "illegal data: [D1] track 160 offset = 0x000002A0\nread disk 1 error\n", -1, {}},
    {"offset 687 in slot 163", patch(TWO, 0x20 + 4 * 163, 687), "illegal data: [D1] track 163 offset = 0x000002AF\nread disk 1 error\n", -1, {}},
    {"negative offset", patch(TWO, 0x20 + 4 * 1, 0xFFFFFFF0u), "illegal data: [D1] track 1 offset = 0xFFFFFFF0\nread disk 1 error\n", -1, {}},
    {"count 0 with a non-zero header byte", patch(one_track({sector(1, 0)}), 688 + 4, 0, 2), "illegal data: # of sectors = 0\n" + CHAIN0, -1, {}},
    {"count beyond the sectors present", patch(TWO, 688 + 4, 3, 2), "read_d88_sector_from_buffer: illegal parameter\nread sector 2 error\n" + CHAIN0, -1, {}},
    {"header passes the track end", patch(patch(concat({TWO, bytes(15, 0)}), 688 + 4, 3, 2), 0x1C, 1247), "data error: data size(0x000004DF) < offset(0x000004D0)\nread sector 2 error\n" + CHAIN0, -1, {}},
    {"data size 0x8000", patch(TWO, 688 + 272 + 14, 0x8000, 2), "memory exhaust!\nread sector 1 error\n" + CHAIN0, -1, {}},
    {"data passes the track end", patch(TWO, 688 + 272 + 14, 257, 2), "data error: data size(0x000004D0) < offset(0x000003C0) + 0x10 + sector size(0x0101)\nread sector 1 error\n" + CHAIN0, -1, {}},
    {"a slot in the last 16 bytes", patch(patch(concat({TWO, bytes(16, 0)}), 0x1C, 1248), 0x20 + 4 * 5, 1233), "data error: data size(0x000004E0) < offset(0x000004D1)\nread track 5 error [D1]\nread disk 1 error\n", -1, {}},
    {"the second disk fails", concat({empty_disk(), patch(empty_disk("SECOND"), 0x1A, 1, 1)}), "illegal data: [SECOND] write protect flag = 0x01\nread disk 2 error\n", -1, {}},
    {"a short disk followed by a named disk", concat({SHORT_EMPTY, empty_disk("AB")}), "illegal data: [] track 160 offset = 0x00004241\nread disk 1 error\n", -1, {}},
    {"trailing 672 bytes that are no disk", concat({empty_disk(), patch(SHORT_EMPTY, 0x1C, 700)}), "illegal data: [] disk size = 0x000002BC\nread disk 2 error\n", -1, {}},
    {"every field carried", concat({MARKED_BYTES, TWO}), "", 2, concat({MARKED_BYTES, TWO})},
    {"10 trailing bytes", concat({TWO, bytes(10, 1)}), GARBAGE, 1, TWO},
    {"100 bytes", bytes(100, 1), GARBAGE, 0, {}},
    {"a short header alone", SHORT_EMPTY, "", 1, build_disk({"", 0, 0, {}})},
    {"a disk then a short header", concat({TWO, SHORT_EMPTY}), "", 2, concat({TWO, build_disk({"", 0, 0, {}})})},
    {"a short header marked by offset 672", concat({shortened(build_disk(MARKED)), TWO}), "", 2, concat({build_disk(MARKED), TWO})},
    {"tracks out of order, with a gap", out_of_order(), "", 1, build_disk({"D1", 0, 0, {{sector(1, 256), sector(2, 256)}, {sector(2, 256), sector(1, 256)}}})},
    {"two slots, one offset", patch(TWO, 0x20 + 4 * 2, 688), "", 1, build_disk({"D1", 0, 0, {{sector(1, 256), sector(2, 256)}, {}, {sector(1, 256), sector(2, 256)}}})},
    {"a slot of 16 zero bytes is empty", patch(patch(concat({TWO, bytes(16, 0)}), 0x1C, 1248), 0x20 + 4 * 163, 1232), "", 1, TWO},
    {"count 1 on a track of two", patch(TWO, 688 + 4, 1, 2), "", 1, one_track({sector(1, 256)})},
};

}  // namespace

TEST(ReadImage, EveryLayoutAndFault)
{
    for (const read_row& row : READS) {
        d88_image records = {};
        bytes written;
        int32_t result = 0;
        EXPECT_EQ(printed_by([&] {
                      result = read_d88_image_from_buffer(&records, row.image.data(), static_cast<int32_t>(row.image.size()));
                      uint8_t* buffer = nullptr;
                      int32_t size = -1;
                      if (result >= 0 && write_d88_image_to_buffer(&records, &buffer, &size) == 0)
                          written.assign(buffer, buffer + size);
                      std::free(buffer);
                  }),
                  row.out) << row.what;
        EXPECT_EQ(result, row.disks) << row.what;
        EXPECT_EQ(records.disk_count, row.disks < 0 ? 0 : row.disks) << row.what;
        EXPECT_EQ(records.disks == nullptr, row.disks <= 0) << row.what;
        EXPECT_TRUE(written == row.canonical) << row.what;
        free_d88_image(&records, 0);

        // The scan finds an error exactly where the reader refuses, and
        // keeps what the reader reads.
        d88_image kept = {};
        EXPECT_EQ(scan_d88_image(row.image.data(), static_cast<int32_t>(row.image.size()), nullptr, nullptr, &kept) == 0, row.disks >= 0) << row.what;
        uint8_t* kept_bytes = nullptr;
        int32_t kept_size = 0;
        if (row.disks >= 0 && write_d88_image_to_buffer(&kept, &kept_bytes, &kept_size) == 0) {
            EXPECT_TRUE(bytes(kept_bytes, kept_bytes + kept_size) == row.canonical) << row.what;
        }
        std::free(kept_bytes);
        free_d88_image(&kept, 0);

        // A program's handler takes the same lines, one call a line, and
        // nothing is printed; without it they are printed again.
        std::vector<std::string> handed;
        set_d88_message_handler([](const char* line, void* to) { static_cast<std::vector<std::string>*>(to)->push_back(line); }, &handed);
        EXPECT_EQ(printed_by([&] { read_d88_image_from_named_buffer(&records, row.image.data(), static_cast<int32_t>(row.image.size()), "I.D88"); }), "");
        set_d88_message_handler(nullptr, nullptr);
        free_d88_image(&records, 0);
        std::string joined;
        for (const std::string& line : handed) {
            EXPECT_EQ(line.find('\n'), line.size() - 1) << row.what;
            joined += line;
        }
        EXPECT_EQ(joined, row.out + (row.disks < 0 ? "read image data error 'I.D88'\n" : "")) << row.what;
        EXPECT_EQ(printed_by([&] { read_d88_image_from_named_buffer(&records, row.image.data(), 0, "I.D88"); }), "read error 'I.D88'\n");
    }
}

// Each level refuses arguments it cannot use, and says so by name.
TEST(Library, ArgumentChecks)
{
    const bytes disk = TWO;
    const uint8_t* b = disk.data();
    d88_image image = {5, nullptr};
    d88_disk record = {};
    d88_track track = {};
    d88_sector s = {};
    uint8_t* out = nullptr;
    int32_t size = 0;
    const std::pair<std::function<int32_t()>, const char*> rows[] = {
        {[&] { return read_d88_image_from_buffer(nullptr, b, 688); }, "read_d88_image_from_buffer"},
        {[&] { return read_d88_image_from_buffer(&image, nullptr, 688); }, "read_d88_image_from_buffer"},
        {[&] { return read_d88_image_from_buffer(&image, b, 0); }, "read_d88_image_from_buffer"},
        {[&] { return read_d88_disk_from_buffer(nullptr, b, 688); }, "read_d88_disk_from_buffer"},
        {[&] { return read_d88_disk_from_buffer(&record, nullptr, 688); }, "read_d88_disk_from_buffer"},
        {[&] { return read_d88_disk_from_buffer(&record, b, 0); }, "read_d88_disk_from_buffer"},
        {[&] { return read_d88_disk_from_buffer(&record, b, 687); }, "read_d88_disk_from_buffer"},
        {[&] { return read_d88_track_from_buffer(nullptr, b, 688, 700); }, "read_d88_track_from_buffer"},
        {[&] { return read_d88_track_from_buffer(&track, nullptr, 688, 700); }, "read_d88_track_from_buffer"},
        {[&] { return read_d88_track_from_buffer(&track, b, 0, 700); }, "read_d88_track_from_buffer"},
        {[&] { return read_d88_track_from_buffer(&track, b, 688, 0); }, "read_d88_track_from_buffer"},
        {[&] { return read_d88_track_from_buffer(&track, b, 700, 700); }, "read_d88_track_from_buffer"},
        {[&] { return read_d88_sector_from_buffer(nullptr, b, 688, 700); }, "read_d88_sector_from_buffer"},
        {[&] { return read_d88_sector_from_buffer(&s, nullptr, 688, 700); }, "read_d88_sector_from_buffer"},
        {[&] { return read_d88_sector_from_buffer(&s, b, 0, 700); }, "read_d88_sector_from_buffer"},
        {[&] { return read_d88_sector_from_buffer(&s, b, 688, 0); }, "read_d88_sector_from_buffer"},
        {[&] { return read_d88_sector_from_buffer(&s, b, 701, 700); }, "read_d88_sector_from_buffer"},
        {[&] { return write_d88_image_to_buffer(nullptr, &out, &size); }, "write_d88_image_to_buffer"},
        {[&] { return write_d88_image_to_buffer(&image, nullptr, &size); }, "write_d88_image_to_buffer"},
        {[&] { return write_d88_image_to_buffer(&image, &out, nullptr); }, "write_d88_image_to_buffer"},
        {[&] { return write_d88_disk_to_buffer(nullptr, out, &out, 9999); }, "write_d88_disk_to_buffer"},
        {[&] { return write_d88_disk_to_buffer(&record, nullptr, &out, 9999); }, "write_d88_disk_to_buffer"},
        {[&] { return write_d88_disk_to_buffer(&record, out, nullptr, 9999); }, "write_d88_disk_to_buffer"},
        {[&] { return write_d88_image_file(&image, nullptr); }, "write_d88_image_file"},
        {[&] { return write_d88_disk_file(nullptr, "x"); }, "write_d88_disk_file"},
        {[&] { return read_d88_image_from_named_buffer(&image, b, 688, nullptr); }, "read_d88_image_from_named_buffer"},
        {[&] { return read_d88_image_from_named_buffer(&image, nullptr, 688, "x"); }, "read_d88_image_from_named_buffer"},
    };
    out = &record.reserved[0];
    for (const auto& row : rows) {
        int32_t result = 0;
        EXPECT_EQ(printed_by([&] { result = row.first(); }), std::string(row.second) + ": illegal parameter\n");
        EXPECT_EQ(result, -1) << row.second;
    }
    EXPECT_EQ(image.disk_count, 5);
    uint8_t le[6];
    EXPECT_EQ(put_le16(put_le32(le, 0xFFFFFFFF), 0x0201), le + 6);
    EXPECT_EQ(get_le32(le), -1);
    EXPECT_EQ(get_le16(le + 4), 0x0201);
}
