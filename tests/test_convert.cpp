// Other image formats: IMD, HDM and FDI bytes laid out here from their
// published layouts and read into D88 records; D88 disks written out in
// each, with everything a format cannot carry named; and every standard
// disk through each format and back, byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "d88.h"
#include "test_support.h"

namespace {

bytes text(const std::string& s)
{
    return bytes(s.begin(), s.end());
}

bytes filled(size_t size, uint8_t first)
{
    bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(first + i);
    return b;
}

// An IMD image: a header line, a comment that names the disk, then two
// tracks.  Track 0 (250 kbit/s MFM, head 0) has a cylinder map, a head map
// and a size table, and one record of each kind: normal, compressed,
// deleted with a data error, unavailable.  Track 3 (cylinder 1, head 1,
// 250 kbit/s FM) has one compressed deleted sector of 128 bytes.
const bytes IMD = concat({text("IMD 1.18: 07/12/2026 12:00:00\r\nNAMED\x1A"),
                          {5, 0, 0xC0, 4, 0xFF, 1, 2, 3, 4, 0, 0, 9, 0, 0, 0, 0, 1, 0x00, 0x01, 0x00, 0x02, 0x00, 0x01, 0x00, 0x01},
                          {1}, filled(256, 1), {2, 0xAA}, {7}, filled(256, 7), {0},
                          {2, 1, 1, 1, 0, 1, 4, 0x55}});

// The D88 disk the IMD image above stands for.
test_disk imd_disk()
{
    test_disk d = {"NAMED           ", 0, 0x00, std::vector<test_track>(4)};
    d.slots[0] = {{0, 0, 1, 1, filled(256, 1)}, {0, 0, 2, 2, bytes(512, 0xAA)}, {9, 0, 3, 1, filled(256, 7), 0, 0x10, 0xB0},
                  {0, 1, 4, 1, {}, 0, 0, 0xF0}};
    d.slots[3] = {{1, 1, 1, 0, bytes(128, 0x55), 0x40, 0x10, 0x10}};
    return d;
}

bytes d88_of(const d88_image& image)
{
    uint8_t* out = nullptr;
    int32_t size = 0;
    EXPECT_EQ(write_d88_image_to_buffer(&image, &out, &size), 0);
    bytes b(out, out + size);
    std::free(out);
    return b;
}

// The image bytes read as format, laid out as D88; empty after a failure,
// with the lines said in *said.
bytes imported(const bytes& b, int32_t format, std::string* said = nullptr)
{
    d88_image image = {};
    bytes out;
    const std::string lines = printed_by([&] {
        if (import_d88_image(&image, b.data(), static_cast<int32_t>(b.size()), format) == 1)
            out = d88_of(image);
    });
    if (said != nullptr)
        *said = lines;
    free_d88_image(&image, 0);
    return out;
}

struct exported_disk {
    int32_t losses;
    bytes out;        // empty when nothing was made
    std::vector<std::string> findings;
};

exported_disk exported(const d88_disk* disk, int32_t format, bool force)
{
    exported_disk e = {0, {}, {}};
    uint8_t* out = nullptr;
    int32_t size = 0;
    e.losses = export_d88_disk(disk, format, force, [](const d88_finding* f, void* to) {
        char sector[16] = "";
        if (f->c >= 0)
            std::snprintf(sector, sizeof sector, " %02X/%02X/%02X", f->c, f->h, f->r);
        static_cast<std::vector<std::string>*>(to)->push_back(std::string(f->kind) + " " + std::to_string(f->slot) + "." +
                                                              std::to_string(f->index) + sector);
    }, &e.findings, &out, &size);
    if (out != nullptr)
        e.out.assign(out, out + size);
    std::free(out);
    return e;
}

// The D88 disk laid out from bytes.
d88_disk* disk_of(const bytes& b, d88_image* image)
{
    EXPECT_EQ(read_d88_image_from_buffer(image, b.data(), static_cast<int32_t>(b.size())), 1);
    return image->disks;
}

}  // namespace

TEST(Convert, ImdFromThePublishedLayout)
{
    EXPECT_TRUE(imported(IMD, D88_FILE_IMD) == build_disk(imd_disk()));
    // and written back: the same tracks, after a header line of its own
    d88_image image = {};
    const exported_disk e = exported(disk_of(build_disk(imd_disk()), &image), D88_FILE_IMD, false);
    free_d88_image(&image, 0);
    EXPECT_EQ(e.losses, 0);
    const size_t line = 31;  // "IMD 1.18: dd/mm/yyyy hh:mm:ss\r\n"
    ASSERT_GT(e.out.size(), line);
    EXPECT_EQ(std::string(e.out.begin(), e.out.begin() + 4), "IMD ");
    EXPECT_TRUE(bytes(e.out.begin() + line, e.out.end()) == bytes(IMD.begin() + line, IMD.end()));
}

TEST(Convert, BrokenImagesAreRefusedWithTheirPlace)
{
    struct row {
        bytes image;
        int32_t format;
        std::string said;
    } rows[] = {
        {text("IMX 1.18"), D88_FILE_IMD, "illegal data: no IMD header\nread imd image error\n"},
        {text("IMD 1.18: no end"), D88_FILE_IMD, "illegal data: the IMD comment has no end\nread imd image error\n"},
        {bytes(IMD.begin(), IMD.end() - 1), D88_FILE_IMD, "illegal data: IMD track at 0x0000024A: a sector's data is cut\nread imd image error\n"},
        {bytes(IMD.begin(), IMD.end() - 3), D88_FILE_IMD, "illegal data: IMD track at 0x00000243: its maps are cut\nread imd image error\n"},
        {patch(IMD, 37, 6, 1), D88_FILE_IMD, "illegal data: IMD track at 0x00000025: the mode, head or size code is none IMD has\nread imd image error\n"},
        {bytes(1261567, 0), D88_FILE_HDM, "illegal data: 1261567 bytes, but the HDM geometry needs 1261568\nread hdm image error\n"},
        {bytes(20, 0), D88_FILE_FDI, "illegal data: the FDI header is cut\nread fdi image error\n"},
        {patch(bytes(4096 + 1024, 0), 0x08, 4096), D88_FILE_FDI, "illegal data: FDI geometry 0 x 0 x 0 x 0 bytes, header 4096 bytes\nread fdi image error\n"},
    };
    for (const row& r : rows) {
        std::string said;
        EXPECT_TRUE(imported(r.image, r.format, &said).empty()) << r.said;
        EXPECT_EQ(said, r.said);
    }
}

// What each format cannot carry is named at its place; nothing is made
// without force, and with it the rest is.
TEST(Convert, LossesAreNamedBeforeAnythingIsWritten)
{
    test_disk odd = {"ODD", 0x10, 0x00, std::vector<test_track>(2)};
    odd.slots[0] = {{0, 0, 1, 1, bytes(256, 1), 0, 0, 0xA0}, {0, 0, 2, 1, bytes(256, 2), 0x40}, {0, 0, 3, 1, bytes(100, 3)}};
    odd.slots[1] = {{0, 1, 1, 1, bytes(256, 4), 0, 0x10}};
    d88_image image = {};
    const d88_disk* disk = disk_of(build_disk(odd), &image);
    const exported_disk refused = exported(disk, D88_FILE_IMD, false);
    EXPECT_EQ(refused.findings, (std::vector<std::string>{"lost-protect -1.-1", "lost-mixed 0.1 00/00/02", "lost-status 0.0 00/00/01",
                                                          "lost-size 0.2 00/00/03"}));
    EXPECT_EQ(refused.losses, 3);
    EXPECT_TRUE(refused.out.empty());
    EXPECT_FALSE(exported(disk, D88_FILE_IMD, true).out.empty());
    const exported_disk raw = exported(disk, D88_FILE_HDM, false);
    EXPECT_EQ(raw.findings, (std::vector<std::string>{"lost-status 0.0 00/00/01", "lost-density 0.1 00/00/02", "lost-size 0.2 00/00/03",
                                                      "lost-mixed 1.-1", "lost-deleted 1.0 00/01/01", "lost-geometry -1.-1",
                                                      "lost-name -1.-1", "lost-protect -1.-1"}));
    EXPECT_TRUE(raw.out.empty());
    free_d88_image(&image, 0);
}

// Every standard disk goes through each format that can hold it and comes
// back byte for byte; the others are refused.
TEST(Convert, EveryStandardDiskThereAndBack)
{
    for (int32_t row = 0; row < 10; ++row) {
        d88_disk* disk = create_d88_disk(nullptr, row);
        ASSERT_NE(disk, nullptr);
        const d88_image alone = {1, disk};
        const bytes original = d88_of(alone);
        for (int32_t format : {D88_FILE_D88, D88_FILE_IMD, D88_FILE_FDI, D88_FILE_HDM}) {
            SCOPED_TRACE(std::to_string(row) + " " + d88_file_format_name(format));
            const exported_disk e = exported(disk, format, false);
            const bool holds = format == D88_FILE_D88 || format == D88_FILE_IMD || (format == D88_FILE_HDM && row == 3) ||
                               (format == D88_FILE_FDI && row != 5 && row != 6);
            EXPECT_EQ(e.losses == 0, holds) << testing::PrintToString(e.findings);
            if (holds) {
                EXPECT_TRUE(imported(e.out, format) == original);
            }
        }
        free_d88_disk(disk, 1);
    }
}

TEST(Convert, FormatsByNameAndExtension)
{
    const std::pair<const char*, int32_t> rows[] = {{"imd", D88_FILE_IMD}, {"GAME.D77", D88_FILE_D88}, {"a.b/disk.HDM", D88_FILE_HDM},
                                                    {"FDI", D88_FILE_FDI}, {"disk.hfe", -1}, {"", -1}, {"d88x", -1}};
    for (const auto& r : rows)
        EXPECT_EQ(find_d88_file_format(r.first), r.second) << r.first;
    EXPECT_STREQ(d88_file_format_name(D88_FILE_FDI), "fdi");
    EXPECT_EQ(d88_file_format_name(D88_FILE_FORMAT_COUNT), nullptr);
}

#ifndef _WIN32
// libdsk's dsktrans, a reader of IMD written by others, reads what export
// writes: the sectors' data, track by track in R order, as they stand in
// the D88 records.
TEST(Convert, ImdReadByLibdsk)
{
    if (std::system("command -v dsktrans >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "dsktrans is not installed (Debian: libdsk-utils)";
    temp_dir dir;
    for (int32_t row : {0, 1, 3, 7, 8, 9}) {
        d88_disk* disk = create_d88_disk("LIBDSK", row);
        ASSERT_NE(disk, nullptr);
        bytes data;
        int cylinders = 0;
        for (d88_track& track : disk->track) {
            cylinders += track.count > 0 && track.sectors[0].h % 2 == 0;
            for (int32_t i = 0; i < track.count; ++i) {
                d88_sector& s = track.sectors[i];
                for (int32_t b = 0; b < s.data_size; ++b)
                    s.data[b] = static_cast<uint8_t>(s.c * 7 + s.h * 3 + s.r + b);
                data.insert(data.end(), s.data, s.data + s.data_size);
            }
        }
        // the geometry, as libdsk takes a format of its user's
        const d88_track& first = disk->track[0];
        const std::string format = "[vorkast]\nsides=alt\ncylinders=" + std::to_string(cylinders) +
                                   "\nheads=2\nsecsize=" + std::to_string(first.sectors[0].data_size) + "\nsectors=" +
                                   std::to_string(first.count) + "\nsecbase=1\ndatarate=" + (disk->disk_type == 0x20 ? "HD" : "SD") + "\n";
        write_file(dir.file(".libdskrc"), bytes(format.begin(), format.end()));
        const exported_disk e = exported(disk, D88_FILE_IMD, false);
        free_d88_disk(disk, 1);
        write_file(dir.file("disk.imd"), e.out);
        const std::string command = "HOME='" + dir.path + "' dsktrans -format vorkast -itype imd '" + dir.file("disk.imd") +
                                    "' -otype raw '" + dir.file("disk.raw") + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << row;
        EXPECT_TRUE(read_file(dir.file("disk.raw")) == data) << row;
        fs::remove(dir.file("disk.raw"));
    }
}
#endif
