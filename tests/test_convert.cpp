// Other image formats: IMD, HDM and FDI bytes laid out here from their
// published layouts and read into D88 records; D88 disks written out in
// each, with everything a format cannot carry named; and every standard
// disk through each format and back, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "d88.h"
#include "flux_encoder.h"
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

// An NFD sector ID: C H R N, MFM, deleted mark, status, ST0 (with the head
// bit) to ST2, then the PDA (revision 0) or the retry count and the PDA.
bytes nfd_id(uint8_t c, uint8_t h, uint8_t r, uint8_t n, uint8_t mfm, uint8_t ddam, uint8_t st1, uint8_t st2, uint8_t tenth,
             uint8_t eleventh)
{
    return bytes{c, h, r, n, mfm, ddam, 0, static_cast<uint8_t>(h << 2), st1, st2, tenth, eleventh, 0, 0, 0, 0};
}

// An NFD revision 0 image, named NFD, write-protected, whose track 1
// (cylinder 0, head 1) holds one MFM sector with a data error; data
// follows the header.
bytes nfd_r0(const bytes& data)
{
    bytes r0(0x10A10, 0);  // 0x120, 163 x 26 IDs of 16 bytes, 16 reserved
    std::memcpy(r0.data(), "T98FDDIMAGE.R0", 15);
    std::memcpy(r0.data() + 0x10, "NFD", 3);
    put(r0, 0x110, 0x10A10), r0[0x114] = 1, r0[0x115] = 2;
    for (int i = 0; i < 163 * 26; ++i)
        std::fill(r0.begin() + 0x120 + 16 * i, r0.begin() + 0x120 + 16 * i + 11, 0xFF);
    const bytes one = nfd_id(0, 1, 1, 1, 1, 0, 0x20, 0x20, 0x90, 0);
    std::copy(one.begin(), one.end(), r0.begin() + 0x120 + 26 * 16);
    return concat({r0, data});
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

// The image bytes read as format, laid out as D88; empty after a failure,
// with the lines said in *said.
bytes imported(const bytes& b, int32_t format, std::string* said = nullptr)
{
    d88_image image = {};
    bytes out;
    const std::string lines = printed_by([&] {
        if (import_d88_image(&image, b.data(), static_cast<int32_t>(b.size()), format) == 1)
            out = d88_bytes(image);
    });
    if (said != nullptr)
        *said = lines;
    free_d88_image(&image, 0);
    return out;
}

// A raw dump read as standard format row, laid out as D88.
bytes imported_raw(const bytes& b, int32_t row)
{
    d88_image image = {};
    bytes out;
    if (import_d88_raw_image(&image, b.data(), static_cast<int32_t>(b.size()), row) == 1)
        out = d88_bytes(image);
    free_d88_image(&image, 0);
    return out;
}

struct exported_disk {
    int32_t losses;
    bytes out;        // empty when nothing was made
    std::vector<std::string> findings;
};

exported_disk exported(const d88_disk* disk, int32_t format, bool force, std::string* said = nullptr)
{
    exported_disk e = {0, {}, {}};
    uint8_t* out = nullptr;
    int32_t size = 0;
    const d88_export_options options = {force, 0};
    const std::string lines = printed_by([&] { e.losses = export_d88_disk(disk, format, &options, [](const d88_finding* f, void* to) {
        char sector[16] = "";
        if (f->c >= 0)
            std::snprintf(sector, sizeof sector, " %02X/%02X/%02X", f->c, f->h, f->r);
        static_cast<std::vector<std::string>*>(to)->push_back(std::string(f->kind) + " " + std::to_string(f->slot) + "." +
                                                              std::to_string(f->index) + sector);
    }, &e.findings, &out, &size); });
    if (said != nullptr)
        *said = lines;
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
        {patch(patch(patch(patch(patch(bytes(4096, 0), 0x08, 4096), 0x10, 1024), 0x14, 8), 0x18, 3), 0x1C, 77), D88_FILE_FDI,
         "illegal data: FDI geometry 77 x 3 x 8 x 1024 bytes, header 4096 bytes\nread fdi image error\n"},
        {nfd_r0(filled(255, 9)), D88_FILE_NFD, "illegal data: NFD sector 00/01/01 passes the end of the file\nread nfd image error\n"},
        {patch(nfd_r0(filled(256, 9)), 0x110, 0x109F0), D88_FILE_NFD, "illegal data: NFD header of 68080 bytes in a file of 68368\nread nfd image error\n"},
        {bytes(600, 0), D88_FILE_HFE, "illegal data: no HFE header\nread hfe image error\n"},
        {patch(IMD, 37 + 5 + 12, 0x8000, 2), D88_FILE_IMD,  // a size table entry of 32768 bytes
         "illegal data: IMD track at 0x0000003E: a sector record is cut, of no type IMD has, or too large for a D88 sector\nread imd image error\n"},
    };
    for (const row& r : rows) {
        std::string said;
        EXPECT_TRUE(imported(r.image, r.format, &said).empty()) << r.said;
        EXPECT_EQ(said, r.said);
    }
}

// What each format cannot carry is named at its place; nothing is made
// without force, and with it the rest is.  A shape a format cannot
// describe at all is refused, force or not.
TEST(Convert, LossesAreNamedBeforeAnythingIsWritten)
{
    test_disk odd = {"ODD", 0x10, 0x00, std::vector<test_track>(2)};
    odd.slots[0] = {{0, 0, 1, 1, bytes(256, 1), 0, 0, 0xA0}, {0, 0, 2, 1, bytes(256, 2), 0x40}, {0, 0, 3, 1, bytes(100, 3)}};
    odd.slots[1] = {{0, 1, 1, 1, bytes(256, 4), 0, 0x10}};
    d88_image image = {};
    const d88_disk* disk = disk_of(build_disk(odd), &image);
    const exported_disk refused = exported(disk, D88_FILE_IMD, false);
    EXPECT_EQ(refused.findings, (std::vector<std::string>{"lost-name -1.-1", "lost-protect -1.-1", "lost-mixed 0.1 00/00/02",
                                                          "lost-status 0.0 00/00/01", "lost-size 0.2 00/00/03",
                                                          "lost-status 1.0 00/01/01"}));
    EXPECT_EQ(refused.losses, 4);
    EXPECT_TRUE(refused.out.empty());
    EXPECT_FALSE(exported(disk, D88_FILE_IMD, true).out.empty());
    std::string said;
    const exported_disk hdm = exported(disk, D88_FILE_HDM, true, &said);
    EXPECT_EQ(hdm.losses, -1);
    EXPECT_TRUE(hdm.findings.empty() && hdm.out.empty());
    EXPECT_EQ(said, "illegal data: the disk's geometry (1 x 2 x 3 x 256 bytes) is none HDM holds: 77 x 2 x 8 x 1024 bytes\n");
    free_d88_image(&image, 0);
    // one loss alone is enough to write nothing
    test_disk one = blank_disk(0, "");
    one.slots[5][3].status = 0xB0;
    const exported_disk single = exported(disk_of(build_disk(one), &image), D88_FILE_RAW, false);
    free_d88_image(&image, 0);
    EXPECT_EQ(single.findings, (std::vector<std::string>{"lost-status 5.3 02/01/04"}));
    EXPECT_EQ(single.losses, 1);
    EXPECT_TRUE(single.out.empty());
}

// Every writer's output, forced or not, is read back by the library's own
// reader, and known by its content; where nothing was lost it reads back
// as the disk it came from.  A format holds a standard disk, holds it with
// losses, or refuses it outright.
TEST(Convert, EveryStandardDiskThereAndBack)
{
    enum { HOLDS, LOSES, REFUSES };
    const struct {
        int32_t format;
        int outcome[10];  // by standard format
    } rows[] = {
        {D88_FILE_IMD, {HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS}},
        {D88_FILE_HFE, {HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS}},
        {D88_FILE_NFD, {HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS}},
        {D88_FILE_RAW, {HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS}},
        {D88_FILE_HDM, {REFUSES, REFUSES, REFUSES, HOLDS, REFUSES, REFUSES, REFUSES, REFUSES, REFUSES, REFUSES}},
        {D88_FILE_FDI, {HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, LOSES, LOSES, HOLDS, HOLDS, HOLDS}},
        {D88_FILE_DIM, {REFUSES, REFUSES, REFUSES, HOLDS, HOLDS, LOSES, LOSES, HOLDS, HOLDS, REFUSES}},
        {D88_FILE_SCP, {HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS, HOLDS}},
    };
    for (int32_t row = 0; row < 10; ++row) {
        d88_disk* disk = create_d88_disk(nullptr, row);
        ASSERT_NE(disk, nullptr);
        for (int32_t b = 0; b < 1024; ++b)  // sectors told apart
            disk->track[2].sectors[row == 9 ? 3 : 1].data[b % disk->track[2].sectors[1].data_size] = static_cast<uint8_t>(b * 7);
        disk->track[3].sectors[0].data[1] = 0x00;  // one byte repeated but the second: no fill
        const d88_image alone = {1, disk};
        const bytes original = d88_bytes(alone);
        for (const auto& r : rows) {
            for (const bool force : {false, true}) {
                SCOPED_TRACE(std::to_string(row) + " " + d88_file_format_name(r.format) + (force ? " forced" : ""));
                std::string said;
                const exported_disk e = exported(disk, r.format, force, &said);
                EXPECT_EQ(e.losses < 0, r.outcome[row] == REFUSES) << said;
                EXPECT_EQ(e.losses > 0, r.outcome[row] == LOSES) << testing::PrintToString(e.findings);
                EXPECT_EQ(e.out.empty(), r.outcome[row] == REFUSES || (r.outcome[row] == LOSES && !force));
                if (e.out.empty())
                    continue;
                const int32_t known = detect_d88_file_format(e.out.data(), static_cast<int32_t>(e.out.size()));
                EXPECT_EQ(known, r.format == D88_FILE_HDM ? D88_FILE_RAW : r.format);
                if (r.format == D88_FILE_SCP) {  // one revolution a track; the sum of the bytes from 0x10 at 0x0C
                    EXPECT_EQ(e.out[5], 1);
                    uint32_t sum = 0;
                    for (size_t i = 0x10; i < e.out.size(); ++i)
                        sum += e.out[i];
                    EXPECT_EQ(e.out[12] | e.out[13] << 8 | e.out[14] << 16 | static_cast<uint32_t>(e.out[15]) << 24, sum);
                    EXPECT_TRUE(e.findings.empty()) << testing::PrintToString(e.findings);
                }
                const bytes back = r.format == D88_FILE_RAW ? imported_raw(e.out, row) : imported(e.out, r.format);
                EXPECT_FALSE(back.empty());
                if (r.outcome[row] == HOLDS) {
                    EXPECT_TRUE(back == original);
                }
            }
        }
        free_d88_disk(disk, 1);
    }
}

// What a track records beside the data -- an FM cylinder 0 on a 2HD disk
// (PC-98), deleted marks, data and ID CRC errors, a sector without a data
// field -- survives IMD and HFE there and back; what a format cannot
// record is named.
TEST(Convert, TrackMarksThereAndBack)
{
    test_disk pc98 = {"", 0, 0x20, std::vector<test_track>(4)};
    pc98.name = std::string(16, ' ');
    for (uint8_t r = 1; r <= 26; ++r)
        pc98.slots[0].push_back({0, 0, r, 0, filled(128, r), 0x40});
    for (int slot = 1; slot < 4; ++slot) {
        for (uint8_t r = 1; r <= 8; ++r)
            pc98.slots[slot].push_back({static_cast<uint8_t>(slot / 2), static_cast<uint8_t>(slot % 2), r, 3, filled(1024, r)});
    }
    pc98.slots[1][2].deleted_mark = pc98.slots[1][2].status = 0x10;
    pc98.slots[2][3].status = 0xB0;
    pc98.slots[3][4].deleted_mark = 0x10, pc98.slots[3][4].status = 0xB0;
    test_disk hfe_only = pc98;
    hfe_only.slots[3][6].status = 0xA0;
    hfe_only.slots[3][7].status = 0xF0, hfe_only.slots[3][7].data.clear();
    test_disk mixed = pc98;
    mixed.slots[2][5].density = 0x40;
    const struct {
        test_disk disk;
        int32_t format;
        std::vector<std::string> findings;
    } rows[] = {
        {pc98, D88_FILE_IMD, {}},
        {hfe_only, D88_FILE_HFE, {}},
        {hfe_only, D88_FILE_IMD, {"lost-status 3.6 01/01/07"}},
        {mixed, D88_FILE_HFE, {"lost-mixed 2.5 01/00/06"}},
        {pc98, D88_FILE_NFD, {}},
        {hfe_only, D88_FILE_NFD, {"lost-status 3.6 01/01/07", "lost-status 3.7 01/01/08", "lost-size 3.7 01/01/08"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(d88_file_format_name(row.format));
        d88_image image = {};
        const bytes original = build_disk(row.disk);
        const exported_disk e = exported(disk_of(original, &image), row.format, false);
        free_d88_image(&image, 0);
        EXPECT_EQ(e.findings, row.findings);
        if (row.findings.empty()) {
            EXPECT_TRUE(imported(e.out, row.format) == original);
        }
    }
}

// NFD revisions 0 and 1 and DIM, laid out here from their published
// layouts: every field of an ID, retry copies and diagnostic data passed
// over, the tracks a DIM table names.
TEST(Convert, NfdAndDimFromThePublishedLayouts)
{
    // revision 0: track 1 (cylinder 0, head 1) holds an MFM sector with a data error
    const bytes r0 = nfd_r0(filled(256, 9));
    test_disk want0 = {"NFD             ", 0x10, 0x20, {{}, {{0, 1, 1, 1, filled(256, 9), 0, 0, 0xB0}}}};
    EXPECT_TRUE(imported(r0, D88_FILE_NFD) == build_disk(want0));
    d88_image image = {};
    const exported_disk written = exported(disk_of(build_disk(want0), &image), D88_FILE_NFD, false);
    free_d88_image(&image, 0);
    EXPECT_TRUE(written.out == patch(r0, 0x120 + 26 * 16 + 7, 0x44, 1));  // ST0: abnormal end, head 1
    // revision 1: track 0 has two sectors (the first with a retry copy) and a diagnostic entry
    bytes r1(0x3C0, 0);
    std::memcpy(r1.data(), "T98FDDIMAGE.R1", 15);
    put(r1, 0x120, 0x3C0);
    bytes track = {2, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    bytes diagnostic(16, 0);
    put(diagnostic, 10, 10);
    r1 = concat({r1, track, nfd_id(0, 0, 1, 1, 1, 0, 0, 0, 1, 0x90), nfd_id(0, 0, 2, 1, 0, 1, 0, 0, 0, 0x90), diagnostic});
    put(r1, 0x124, static_cast<uint32_t>(r1.size()));  // track 1, after the diagnostic's data
    r1 = concat({r1, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, nfd_id(0, 1, 1, 1, 1, 0, 0, 0, 0, 0x90)});
    put(r1, 0x110, static_cast<uint32_t>(r1.size()));
    r1 = concat({r1, filled(256, 1), bytes(256, 0xEE), filled(256, 2), bytes(10, 0xDD), filled(256, 3)});
    test_disk want1 = {std::string(16, ' '), 0, 0x20, {{{0, 0, 1, 1, filled(256, 1)}, {0, 0, 2, 1, filled(256, 2), 0x40, 0x10, 0x10}},
                                                      {{0, 1, 1, 1, filled(256, 3)}}}};
    EXPECT_TRUE(imported(r1, D88_FILE_NFD) == build_disk(want1));
    // revision 1 with one sector and nothing after its ID: the PDA still gives the media; the
    // controller's ST1 and ST2 as the statuses they stand for (uPD765: ST1 DE either field's CRC,
    // ST2 DD the data field's; ST1 MA the ID's mark missing, with ST2 MD the data's)
    for (const auto& row : {std::array<uint8_t, 3>{0, 0, 0x00}, {0x20, 0x20, 0xB0}, {0x20, 0, 0xA0}, {0x01, 0x01, 0xF0}, {0x01, 0, 0xE0}}) {
        bytes lone(0x3C0, 0);
        std::memcpy(lone.data(), "T98FDDIMAGE.R1", 15);
        put(lone, 0x120, 0x3C0);
        lone = concat({lone, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, nfd_id(0, 0, 1, 1, 1, 0, row[0], row[1], 0, 0x90)});
        put(lone, 0x110, static_cast<uint32_t>(lone.size()));
        lone = concat({lone, filled(256, 5)});
        EXPECT_TRUE(imported(lone, D88_FILE_NFD) ==
                    build_disk({std::string(16, ' '), 0, 0x20, {{{0, 0, 1, 1, filled(256, 5), 0, 0, row[2]}}}}))
            << int{row[2]};
    }
    // IMD: a sector of 32767 bytes, the most a D88 sector holds, in a size table
    const bytes largest = concat({text("IMD 1.18: 07/12/2026 12:00:00\r\n\x1A"), {5, 0, 0, 1, 0xFF, 1, 0xFF, 0x7F, 2, 0x42}});
    const bytes largest_d88 = build_disk({std::string(16, ' '), 0, 0, {{{0, 0, 1, 0, bytes(32767, 0x42)}}}});
    EXPECT_TRUE(imported(largest, D88_FILE_IMD) == largest_d88);
    EXPECT_TRUE(imported(largest_d88, D88_FILE_D88) == largest_d88);
    // DIM: media 0 (2HD, 8 x 1024), tracks 0 and 3
    bytes dim(256, 0);
    dim[1] = dim[4] = 1;
    std::memcpy(dim.data() + 0xAB, "DIFC HEADER  ", 13);
    dim = concat({dim, filled(8192, 0), filled(8192, 3)});
    test_disk want_dim = {std::string(16, ' '), 0, 0x20, std::vector<test_track>(4)};
    for (int slot : {0, 3}) {
        const bytes data = filled(8192, static_cast<uint8_t>(slot));
        for (uint8_t r = 1; r <= 8; ++r)
            want_dim.slots[static_cast<size_t>(slot)].push_back({static_cast<uint8_t>(slot / 2), static_cast<uint8_t>(slot % 2), r, 3,
                                                                  bytes(data.begin() + 1024 * (r - 1), data.begin() + 1024 * r)});
    }
    EXPECT_TRUE(imported(dim, D88_FILE_DIM) == build_disk(want_dim));
}

TEST(Convert, FormatsByNameAndExtension)
{
    const std::pair<const char*, int32_t> rows[] = {{"imd", D88_FILE_IMD}, {"GAME.D77", D88_FILE_D88}, {"a.b/disk.HDM", D88_FILE_HDM},
                                                    {"FDI", D88_FILE_FDI}, {"disk.hfe", D88_FILE_HFE}, {"disk.nfd", D88_FILE_NFD}, {"X.DIM", D88_FILE_DIM}, {"disk.2d", D88_FILE_RAW},
                                                    {"X68.XDF", D88_FILE_RAW}, {"pc.img", D88_FILE_RAW}, {"raw", D88_FILE_RAW}, {"", -1}, {"d88x", -1}, {"disk.2dx", -1}};
    for (const auto& r : rows)
        EXPECT_EQ(find_d88_file_format(r.first), r.second) << r.first;
    EXPECT_STREQ(d88_file_format_name(D88_FILE_FDI), "fdi");
    EXPECT_EQ(d88_file_format_name(D88_FILE_FORMAT_COUNT), nullptr);
}

// An FDI header, its fields as the format's published description gives
// them (drive type at 4, header size 8, data size 12, sector size 16,
// sectors 20, heads 24, cylinders 28, all little-endian), over data of the
// size they give.
bytes fdi_file(uint32_t sector_size, uint32_t sectors, uint32_t heads, uint32_t cylinders)
{
    const uint32_t data = sector_size * sectors * heads * cylinders;
    bytes b(4096 + data, 0xE5);
    const uint32_t fields[] = {0, 0x90, 4096, data, sector_size, sectors, heads, cylinders};
    for (size_t i = 0; i < 8; ++i)
        put(b, 4 * i, fields[i]);
    return b;
}

// A file is known by its content: a header whose fields agree with each
// other and with the file's size, or a signature; else by none.
TEST(Convert, FormatsByContent)
{
    const std::string imd = "IMD 1.18: 07/12/2026 10:00:00\r\n\x1A";
    const std::pair<bytes, int32_t> rows[] = {
        {fdi_file(1024, 8, 2, 1), D88_FILE_FDI},
        {fdi_file(1024, 8, 3, 1), -1},  // no floppy has three heads
        {fdi_file(1024, 8, 0, 1), -1},
        {fdi_file(1000, 8, 2, 1), -1},  // no size code gives 1000 bytes
        {bytes(imd.begin(), imd.end()), D88_FILE_IMD},
        {bytes(327680, 0xE5), D88_FILE_RAW},
        {bytes(5000, 0x33), -1},
    };
    for (const auto& r : rows)
        EXPECT_EQ(detect_d88_file_format(r.first.data(), static_cast<int32_t>(r.first.size())), r.second) << r.first.size();
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

namespace {

// A bit stream laid out here from the documented IBM MFM layout, with an
// encoder and a CRC of the test's own: bytes become cells, clock before
// data, a clock where neither neighbour is 1; the three A1 before a mark
// lose the clock between their bits 3 and 2 (0x4489).
struct mfm_writer {
    std::vector<uint8_t> cells;
    int previous = 0;
    uint16_t crc = 0xFFFF;

    void byte(uint8_t b, bool sync = false)
    {
        for (int bit = 7; bit >= 0; --bit) {
            const int d = b >> bit & 1;
            cells.push_back(static_cast<uint8_t>(!previous && !d && !(sync && bit == 2)));
            cells.push_back(static_cast<uint8_t>(d));
            previous = d;
        }
        for (int bit = 7; bit >= 0; --bit) {
            const bool x = ((crc >> 15) & 1) != ((b >> bit) & 1);
            crc = static_cast<uint16_t>(crc << 1);
            if (x)
                crc ^= 0x1021;
        }
    }
    void run(uint8_t b, int count)
    {
        for (int i = 0; i < count; ++i)
            byte(b);
    }
    void mark(uint8_t m)
    {
        run(0x00, 12);
        crc = 0xFFFF;
        for (int i = 0; i < 3; ++i)
            byte(0xA1, true);
        byte(m);
    }
    void end_field(bool good = true)
    {
        const uint16_t sum = good ? crc : static_cast<uint16_t>(crc ^ 0x5555);
        byte(static_cast<uint8_t>(sum >> 8));
        byte(static_cast<uint8_t>(sum));
    }
    void sector(uint8_t c, uint8_t h, uint8_t r, uint8_t n, const bytes& data, uint8_t data_mark, bool good_data)
    {
        mark(0xFE);
        for (uint8_t b : {c, h, r, n})
            byte(b);
        end_field();
        run(0x4E, 22);
        mark(data_mark);
        for (uint8_t b : data)
            byte(b);
        end_field(good_data);
        run(0x4E, 54);
    }
};

// The cells packed as HFE keeps them, bit 0 first in time, to `size` bytes.
bytes packed(const std::vector<uint8_t>& cells, size_t size)
{
    bytes out(size, 0);
    for (size_t i = 0; i < cells.size() && i / 8 < size; ++i)
        out[i / 8] = static_cast<uint8_t>(out[i / 8] | cells[i] << (i % 8));
    return out;
}

}  // namespace

// The encoder against the published patterns: the sync before a mark is
// A1 A1 A1 without one clock (cells 0x4489, in HFE's bit order 22 91), and
// the ID field's CRC of C 0, H 0, R 1, N 2 is CA 6F.
TEST(Convert, HfeTrackHasThePublishedMarksAndCrcs)
{
    d88_disk* disk = create_d88_disk(nullptr, 1);  // 2DD, 512-byte sectors
    ASSERT_NE(disk, nullptr);
    const exported_disk e = exported(disk, D88_FILE_HFE, false);
    for (const int32_t rpm : {100, 301}) {  // no drive's rotation: HFE's 16-bit track offsets would not hold
        const d88_export_options slow = {1, rpm};
        uint8_t* out = nullptr;
        int32_t size = 0;
        EXPECT_EQ(printed_by([&] { EXPECT_EQ(export_d88_disk(disk, D88_FILE_HFE, &slow, nullptr, nullptr, &out, &size), -1); }),
                  "export_d88_disk: illegal parameter\n");
        EXPECT_EQ(out, nullptr);
    }
    free_d88_disk(disk, 1);
    ASSERT_EQ(e.losses, 0);
    ASSERT_GE(e.out.size(), 3u * 512);
    EXPECT_EQ(std::string(e.out.begin(), e.out.begin() + 8), "HXCPICFE");
    EXPECT_EQ(e.out[9], 80);                                       // cylinders
    EXPECT_EQ(e.out[12] | e.out[13] << 8, 250);                    // kbit/s
    EXPECT_EQ(e.out[14] | e.out[15] << 8, 300);                    // rpm
    const size_t track = static_cast<size_t>(e.out[512] | e.out[513] << 8) * 512;
    EXPECT_EQ(e.out[514] | e.out[515] << 8, 2 * 12500);            // one revolution of each side
    // side 0's byte x of the stream: its blocks hold 256 bytes of side 0, then 256 of side 1
    const auto side0 = [&](size_t x) { return e.out[track + x / 256 * 512 + x % 256]; };
    // gap 4a (80), sync (12), index mark (4), gap 1 (50), sync (12): then the ID mark's sync
    const size_t id = 2 * (80 + 12 + 4 + 50 + 12);
    bytes sync;
    for (size_t i = 0; i < 6; ++i)
        sync.push_back(side0(id + i));
    EXPECT_TRUE(sync == (bytes{0x22, 0x91, 0x22, 0x91, 0x22, 0x91}));
    // then the mark, C H R N and the CRC: two stream bytes a byte, its data bits in the odd cells
    std::vector<uint8_t> got;
    for (size_t field = id / 2 + 3; field < id / 2 + 10; ++field) {
        uint8_t b = 0;
        for (size_t cell = 1; cell < 16; cell += 2)
            b = static_cast<uint8_t>(b << 1 | (side0(field * 2 + cell / 8) >> (cell % 8) & 1));
        got.push_back(b);
    }
    EXPECT_EQ(got, (std::vector<uint8_t>{0xFE, 0, 0, 1, 2, 0xCA, 0x6F}));

    // An FM cylinder 0 on a 2HD disk (PC-98): the header's track-0 fields say
    // FM, and its ID mark is FE with the clock C7 (cells F57E), each cell
    // doubled at FM's half rate: 1010 1010 0010 0010 0010 1010 1010 1000.
    test_disk pc98 = {std::string(16, ' '), 0, 0x20, std::vector<test_track>(2)};
    for (uint8_t r = 1; r <= 26; ++r)
        pc98.slots[0].push_back({0, 0, r, 0, bytes(128, r), 0x40});
    for (uint8_t r = 1; r <= 8; ++r)
        pc98.slots[1].push_back({0, 1, r, 3, bytes(1024, r)});
    d88_image image = {};
    const exported_disk fm = exported(disk_of(build_disk(pc98), &image), D88_FILE_HFE, false);
    free_d88_image(&image, 0);
    ASSERT_EQ(fm.losses, 0);
    EXPECT_EQ(fm.out[11], 0x00);                    // MFM, but for
    EXPECT_EQ(fm.out[22], 0x00);                    // track 0 side 0, in another encoding:
    EXPECT_EQ(fm.out[23], 0x02);                    // FM
    EXPECT_EQ(fm.out[12] | fm.out[13] << 8, 500);   // kbit/s
    EXPECT_EQ(fm.out[14] | fm.out[15] << 8, 360);   // rpm
    const size_t fm_track = static_cast<size_t>(fm.out[512] | fm.out[513] << 8) * 512;
    // gap 4a (40), sync (6), index mark (1), gap 1 (26), sync (6): 79 bytes of 32 cells
    const size_t fm_id = 79 * 32 / 8;
    bytes mark;
    for (size_t x = fm_id; x < fm_id + 4; ++x)
        mark.push_back(fm.out[fm_track + x / 256 * 512 + x % 256]);
    EXPECT_TRUE(mark == (bytes{0x55, 0x44, 0x54, 0x15}));
}

// A stream the library did not make, in HFE versions 1 and 3 (its no-op
// opcodes among the bytes): every ID in the order it passes the head, a
// bad data CRC as status 0xB0, the deleted mark, a sector whose data mark
// is missing as 0xF0.
// Gap 3 is the standard one where the track holds it (84 bytes after
// sectors of 512 on a 2DD track) and smaller where it does not: 18 sectors
// of 256 on a 2D track, (6250 - 146 - 18 x 318) / 18 = 21; 18 FM sectors of
// 128, (3125 - 73 - 18 x 161) / 18 = 8.  14 sectors of 128 and 23 of 256
// fill a 2HD track at 360 rpm exactly at the smallest gap: 146 + 14 x 198 +
// 23 x 326 = 10416 bytes.  The second sector's ID mark stands where that
// gap puts it.
TEST(Convert, HfeGapsFitTheRevolution)
{
    const struct {
        uint8_t disk_type, n, count, density;
        size_t gap3;
        uint8_t more_count;  // sectors of 256 bytes after them
    } rows[] = {
        {0x10, 2, 9, 0x00, 84},
        {0x00, 1, 18, 0x00, 21},
        {0x00, 0, 18, 0x40, 8},
        {0x20, 0, 14, 0x00, 8, 23},
    };
    for (const auto& row : rows) {
        test_disk disk = {std::string(16, ' '), 0, row.disk_type, {{}}};
        for (uint8_t r = 1; r <= row.count + row.more_count; ++r) {
            const uint8_t n = r <= row.count ? row.n : 1;
            disk.slots[0].push_back({0, 0, r, n, bytes(128u << n, r), row.density});
        }
        d88_image image = {};
        const exported_disk e = exported(disk_of(build_disk(disk), &image), D88_FILE_HFE, false);
        free_d88_image(&image, 0);
        ASSERT_EQ(e.losses, 0);
        const size_t track = static_cast<size_t>(e.out[512] | e.out[513] << 8) * 512;
        const bool fm = row.density != 0;
        // index gap, mark and gap 1, a sector (its fields, data and gap 3), the sync
        const size_t before = fm ? 73 + 33 + 128 + row.gap3 + 6 : 146 + 62 + (128u << row.n) + row.gap3 + 12;
        const size_t at = before * (fm ? 32 : 16) / 8;
        bytes mark;
        for (size_t x = at; x < at + (fm ? 4 : 6); ++x)
            mark.push_back(e.out[track + x / 256 * 512 + x % 256]);
        const bytes expected = fm ? bytes{0x55, 0x44, 0x54, 0x15} : bytes{0x22, 0x91, 0x22, 0x91, 0x22, 0x91};
        EXPECT_TRUE(mark == expected) << row.gap3;
    }
}

TEST(Convert, HfeStreamsMadeElsewhereAreDecoded)
{
    mfm_writer w;
    w.run(0x4E, 80);
    w.sector(0, 0, 3, 1, bytes(256, 0x33), 0xFB, true);
    w.sector(0, 0, 1, 1, bytes(256, 0x11), 0xF8, true);
    w.sector(0, 0, 2, 1, bytes(256, 0x22), 0xFB, false);
    w.mark(0xFE);
    for (uint8_t b : {0, 0, 4, 1})
        w.byte(b);
    w.end_field();
    w.run(0x4E, 6250 - static_cast<int>(w.cells.size() / 16));
    const bytes side = packed(w.cells, 12544);  // 49 half blocks
    for (const bool v3 : {false, true}) {
        bytes file(512, 0xFF);
        std::memcpy(file.data(), v3 ? "HXCHFEV3" : "HXCPICFE", 8);
        file[8] = 0, file[9] = 1, file[10] = 1, file[11] = 0;
        put(file, 12, 250, 2), put(file, 14, 300, 2), put(file, 18, 1, 2);
        bytes table(512, 0xFF);
        put(table, 0, 2, 2), put(table, 2, v3 ? 2 * (12500 + 2) : 2 * 12500, 2);
        file = concat({file, table});
        // v3: a no-op first, and one inside the first sector's data
        const bytes head(side.begin(), side.begin() + 400), rest(side.begin() + 400, side.end());
        bytes stream = v3 ? concat({{0x0F}, head, {0x0F}, rest}) : side;
        for (size_t b = 0; b < stream.size(); b += 256) {
            bytes block(512, 0);
            std::copy(stream.begin() + static_cast<long>(b), stream.begin() + static_cast<long>(std::min(stream.size(), b + 256)), block.begin());
            file = concat({file, block});
        }
        test_disk want = {"", 0, 0, {{{0, 0, 3, 1, bytes(256, 0x33)}, {0, 0, 1, 1, bytes(256, 0x11), 0, 0x10, 0x10},
                                      {0, 0, 2, 1, bytes(256, 0x22), 0, 0, 0xB0}, {0, 0, 4, 1, {}, 0, 0, 0xF0}}}};
        want.name = std::string(16, ' ');
        EXPECT_TRUE(imported(file, D88_FILE_HFE) == build_disk(want)) << (v3 ? "v3" : "v1");
    }
}

namespace {

// One side of cylinder c of an HFE image as cells, one per element, first
// in time first: the test's own unpacking of the published layout.
std::vector<uint8_t> hfe_side_cells(const bytes& hfe, size_t cylinder, size_t side)
{
    const size_t table = static_cast<size_t>(hfe[18] | hfe[19] << 8) * 512;
    const size_t at = static_cast<size_t>(hfe[table + 4 * cylinder] | hfe[table + 4 * cylinder + 1] << 8) * 512;
    const size_t length = static_cast<size_t>(hfe[table + 4 * cylinder + 2] | hfe[table + 4 * cylinder + 3] << 8) / 2;
    std::vector<uint8_t> cells;
    for (size_t x = 0; x < length; ++x) {
        const uint8_t b = hfe[at + x / 256 * 512 + side * 256 + x % 256];
        for (int bit = 0; bit < 8; ++bit)
            cells.push_back(static_cast<uint8_t>(b >> bit & 1));
    }
    return cells;
}

// The sectors a controller finds in MFM cells: after each A1 sync (0x4489)
// and an ID mark, the ID; after the next sync, its data field of the size
// N stands for, read on round the track; with whether its CRC holds.
struct found_sector {
    bytes id, data;
    bool good;
};

std::vector<found_sector> find_mfm_sectors(const std::vector<uint8_t>& cells)
{
    std::vector<found_sector> found;
    std::vector<size_t> marks;  // the first cell after each run of syncs
    for (size_t i = 0; i + 16 <= cells.size(); ++i) {
        uint16_t w = 0;
        for (size_t k = 0; k < 16; ++k)
            w = static_cast<uint16_t>(w << 1 | cells[i + k]);
        if (w == 0x4489 && (marks.empty() || marks.back() != i))
            marks.push_back(i + 16);
        else if (w == 0x4489)
            marks.back() = i + 16;
    }
    for (size_t m = 0; m + 1 < marks.size(); ++m) {
        const bytes id = flux_test::read_bytes_at(cells, marks[m], 7, false);
        if (id[0] != 0xFE)
            continue;
        const size_t size = 128u << (id[4] & 7);
        const bytes field = flux_test::read_bytes_at(cells, marks[m + 1], size + 3, false);
        const bytes covered = concat({{0xA1, 0xA1, 0xA1}, field});
        found.push_back({bytes(id.begin() + 1, id.begin() + 5), bytes(field.begin() + 1, field.end() - 2), flux_test::crc_ccitt(covered) == 0});
    }
    return found;
}

}  // namespace

// A game image completed by vorkast, written to HFE with --force: each
// track keeps its 16 ordinary sectors whole after the 8 KB sector's ID,
// whose data runs on as far as the revolution leaves room; read back by
// the library and by the test's own decoder.
TEST(Convert, TooLongTrackKeepsWhatFits)
{
    const test_disk done = completed(filled_disk("G"), filled_disk("D1", 16, true), filled_disk("D2", 16, true));
    d88_image image = {};
    const exported_disk hfe = exported(disk_of(build_disk(done), &image), D88_FILE_HFE, true);
    free_d88_image(&image, 0);
    EXPECT_EQ(hfe.losses, 80);
    EXPECT_EQ(hfe.findings[1], "track-too-long 0.0 00/00/01");
    d88_image back = {};
    const bytes read = imported(hfe.out, D88_FILE_HFE);
    const d88_disk* disk = disk_of(read, &back);
    for (size_t slot = 0; slot < 80; ++slot) {
        SCOPED_TRACE(slot);
        const test_track& want = done.slots[slot];
        const d88_track& got = disk->track[slot];
        ASSERT_EQ(got.count, 17);
        for (size_t i = 1; i < 17; ++i)
            EXPECT_TRUE(bytes(got.sectors[i].data, got.sectors[i].data + got.sectors[i].data_size) == want[i].data);
        const d88_sector& cut = got.sectors[0];
        EXPECT_EQ(cut.n, 6);
        EXPECT_EQ(cut.status, 0xB0);
        // 6250 bytes: 146 before the first sector, 16 of 318 + gap 8, the cut one's 60 before its data
        EXPECT_TRUE(bytes(cut.data, cut.data + 828) == bytes(want[0].data.begin(), want[0].data.begin() + 828));
    }
    free_d88_image(&back, 0);
    const std::vector<found_sector> sectors = find_mfm_sectors(hfe_side_cells(hfe.out, 7, 1));
    ASSERT_EQ(sectors.size(), 17u);
    EXPECT_TRUE(sectors[0].id == (bytes{7, 1, 1, 6}) && !sectors[0].good);
    for (size_t i = 1; i < 17; ++i)
        EXPECT_TRUE(sectors[i].good && sectors[i].data == done.slots[15][i].data) << i;
}

// What each format records of a sector's marks, read from bytes laid out
// here; the limits of each, said.
TEST(Convert, MarksAsEachFormatRecordsThem)
{
    // IMD: the eight record types, and a sector of no bytes in a size table
    const struct {
        uint8_t type;
        uint8_t deleted, status;
        size_t size;
    } records[] = {{0, 0, 0xF0, 0}, {1, 0, 0, 128}, {2, 0, 0, 128}, {3, 0x10, 0x10, 128}, {4, 0x10, 0x10, 128},
                   {5, 0, 0xB0, 128}, {6, 0, 0xB0, 128}, {7, 0x10, 0xB0, 128}, {8, 0x10, 0xB0, 128}};
    for (const auto& r : records) {
        const bytes stored = r.type == 0 ? bytes{0} : r.type % 2 == 0 ? bytes{r.type, 0x5A} : concat({{r.type}, bytes(128, 0x5A)});
        const bytes imd = concat({text("IMD 1.18: 07/12/2026 12:00:00\r\n\x1A"), {0, 0, 0, 1, 0, 1}, stored});
        const test_sector s = {0, 0, 1, 0, r.size > 0 ? bytes(128, 0x5A) : bytes{}, 0x40, r.deleted, r.status};
        EXPECT_TRUE(imported(imd, D88_FILE_IMD) == build_disk({std::string(16, ' '), 0, 0x20, {{s}}})) << int(r.type);
    }
    const bytes empty = concat({text("IMD 1.18: 07/12/2026 12:00:00\r\n\x1A"), {5, 0, 0, 1, 0xFF, 1, 0, 0, 1}});
    EXPECT_TRUE(imported(empty, D88_FILE_IMD) == build_disk({std::string(16, ' '), 0, 0, {{{0, 0, 1, 0, {}}}}}));
    // IMD holds 255 sectors a track, NFD revision 0 no C of 0xFF
    test_disk many = {std::string(16, ' '), 0, 0, {{}}};
    for (int r = 0; r < 256; ++r)
        many.slots[0].push_back({0, 0, static_cast<uint8_t>(r), 0, bytes(128, 1)});
    d88_image image = {};
    std::string said;
    EXPECT_EQ(exported(disk_of(build_disk(many), &image), D88_FILE_IMD, true, &said).losses, -1);
    free_d88_image(&image, 0);
    EXPECT_EQ(said, "illegal data: track slot 0 holds 256 sectors: IMD holds 255 a track\n");
    test_disk high = {std::string(16, ' '), 0, 0, {{{0xFF, 0, 1, 1, bytes(256, 2)}, {0, 0, 2, 1, bytes(256, 3)}}}};
    const exported_disk nfd = exported(disk_of(build_disk(high), &image), D88_FILE_NFD, true);
    free_d88_image(&image, 0);
    EXPECT_EQ(nfd.findings, (std::vector<std::string>{"lost-id 0.0 FF/00/01"}));
    EXPECT_TRUE(imported(nfd.out, D88_FILE_NFD) == build_disk({std::string(16, ' '), 0, 0, {{{0, 0, 2, 1, bytes(256, 3)}}}}));
    // NFD's ST0 names the head of each track, and an abnormal end
    test_disk heads = {std::string(16, ' '), 0, 0, std::vector<test_track>(4)};
    for (uint8_t slot = 0; slot < 4; ++slot)
        heads.slots[slot] = {{static_cast<uint8_t>(slot / 2), static_cast<uint8_t>(slot % 2), 1, 1, bytes(256, 4), 0, 0, static_cast<uint8_t>(slot < 2 ? 0xB0 : 0)}};
    const exported_disk st0 = exported(disk_of(build_disk(heads), &image), D88_FILE_NFD, false);
    free_d88_image(&image, 0);
    for (size_t slot = 0; slot < 4; ++slot)
        EXPECT_EQ(st0.out[0x120 + slot * 26 * 16 + 7], (bytes{0x40, 0x44, 0x00, 0x04}[slot])) << slot;
}

// A revolution holds the cells the rate and the rotation give it, no more:
// 2D and 2DD 100000 cells, 2HD 1.2 MB 166666 (the last 10 of its 20834
// bytes none), 2HD 1.44 MB 200000.
TEST(Convert, HfeRevolutionHoldsItsCells)
{
    const struct {
        int32_t format;
        size_t side_bytes, cells;
    } rows[] = {{0, 12500, 100000}, {3, 20834, 166666}, {8, 25000, 200000}};
    for (const auto& row : rows) {
        d88_disk* disk = create_d88_disk(nullptr, row.format);
        ASSERT_NE(disk, nullptr);
        const exported_disk e = exported(disk, D88_FILE_HFE, false);
        free_d88_disk(disk, 1);
        ASSERT_EQ(e.losses, 0);
        EXPECT_EQ(static_cast<size_t>(e.out[514] | e.out[515] << 8), 2 * row.side_bytes);
        const std::vector<uint8_t> cells = hfe_side_cells(e.out, 1, 0);
        EXPECT_EQ(std::count(cells.begin() + static_cast<long>(row.cells), cells.end(), 1), 0);
        EXPECT_NE(std::count(cells.end() - static_cast<long>(cells.size() - row.cells) - 64, cells.end() - static_cast<long>(cells.size() - row.cells), 1), 0);
    }
}
