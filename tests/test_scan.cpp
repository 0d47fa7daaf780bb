// Scanning imperfect images: every finding of an image in one run, each at
// its place, and what the scan keeps of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "d88.h"
#include "test_support.h"

namespace {

test_sector sector(uint8_t r, size_t size = 256, uint8_t status = 0)
{
    return {0, 0, r, 1, bytes(size, r), 0, 0, status};
}

// Slot 0 with sectors R 1 and 2 of 256 bytes: 688 + 2 * 272 = 1232 bytes.
const bytes TWO = build_disk({"D", 0, 0, {{sector(1), sector(2)}}});
constexpr uint32_t SECTOR_1 = 688 + 272;  // the second sector of slot 0

// A finding as the rows write it: severity, kind, disk.slot.index, offset
// ('-' where none applies).
std::string shown(const d88_finding& f)
{
    const auto part = [](int32_t v) { return v == -1 ? std::string("-") : std::to_string(v); };
    EXPECT_STREQ(f.kind, d88_finding_kind_name(f.kind_id));
    EXPECT_EQ(f.severity, d88_finding_kind_severity(f.kind_id));
    return std::string("EWN").substr(static_cast<size_t>(f.severity), 1) + " " + f.kind + " " + part(f.disk) + "." +
           part(f.slot) + "." + part(f.index) + " @" + part(f.offset) +
           (std::string(f.kind) == "status" ? std::string(": ") + f.message : "");
}

struct scan_row {
    const char* what;
    bytes image;
    std::vector<std::string> findings;
    bytes kept;  // what the scan keeps, as the writer lays it out
};

}  // namespace

TEST(ScanImage, EveryFindingAtItsPlace)
{
    // Two disks with faults in each: header bytes, a bad slot, a status, a
    // duplicate ID, a data size its N does not stand for.
    const test_disk second = {"S", 0, 0, {{}, {sector(1), {0, 0, 1, 1, bytes(256, 7), 0, 0, 0}}, {}, {{0, 0, 5, 2, bytes(256, 5), 0, 0, 0xB0}}}};
    const bytes several = concat({patch(patch(TWO, 0x1A, 0x01, 1), 0x1B, 0x30, 1), patch(build_disk(second), 0x20 + 4 * 7, 680)});
    const uint32_t s2 = static_cast<uint32_t>(TWO.size());
    const scan_row rows[] = {
        {"several faults, two disks", several,
         {"E write-protect 0.-.- @0", "E media 0.-.- @0", "E track-offset 1.7.- @" + std::to_string(s2 + 0x20 + 28),
          "W duplicate-id 1.1.1 @" + std::to_string(s2 + SECTOR_1), "W data-size 1.3.0 @" + std::to_string(s2 + 688 + 2 * 272),
          "W status 1.3.0 @" + std::to_string(s2 + 688 + 2 * 272) + ": was read with status 0xB0: data CRC error"},
         concat({patch(patch(TWO, 0x1A, 0x01, 1), 0x1B, 0x30, 1), build_disk(second)})},
        {"a disk size below 672", patch(TWO, 0x1C, 671), {"E disk-size 0.-.- @0"}, TWO},
        {"a cut file keeps the whole sectors of its cut track", bytes(TWO.begin(), TWO.end() - 1),
         {"E disk-size 0.-.- @0", "E sector-data 0.0.1 @960"}, build_disk({"D", 0, 0, {{sector(1)}}})},
        {"a sector header cut by the track's end", patch(patch(concat({TWO, bytes(8, 0)}), 0x1C, 1240), 688 + 4, 3, 2),
         {"E sector-data 0.0.2 @1232", "E sector-count 0.0.- @688"}, TWO},
        {"a count beyond the sectors present", patch(TWO, 688 + 4, 3, 2), {"E sector-count 0.0.- @688"}, TWO},
        {"count 0 with a non-zero header", patch(TWO, 688 + 4, 0, 2), {"E sector-count 0.0.- @688"}, build_disk({"D", 0, 0, {}})},
        {"data size 0x8000", patch(TWO, SECTOR_1 + 14, 0x8000, 2), {"E sector-data 0.0.1 @960"}, build_disk({"D", 0, 0, {{sector(1)}}})},
        {"an offset past the disk, and 10 trailing bytes", concat({patch(TWO, 0x20 + 4 * 3, 5000), bytes(10, 1)}),
         {"E track-offset 0.3.- @44", "W trailing-bytes -.-.- @1232"}, TWO},
        {"a count of 1 on a track of two", patch(TWO, 688 + 4, 1, 2), {"W ignored-bytes 0.0.- @960"}, build_disk({"D", 0, 0, {{sector(1)}}})},
        {"two slots, one offset", patch(TWO, 0x20 + 4 * 2, 688), {"W shared-offset 0.2.- @688"}, build_disk({"D", 0, 0, {{sector(1), sector(2)}, {}, {sector(1), sector(2)}}})},
        {"a short header", patch(bytes(672, 0), 0x1C, 672), {"N short-header 0.-.- @0"}, build_disk({"", 0, 0, {}})},
        {"what each common status means", build_disk({"D", 0, 0, {{sector(1, 256, 0x10), sector(2, 256, 0xA0), sector(3, 256, 0xE0), sector(4, 256, 0xF0), sector(5, 256, 0x33)}}}),
         {"W status 0.0.0 @688: was read with status 0x10: deleted data mark", "W status 0.0.1 @960: was read with status 0xA0: ID CRC error",
          "W status 0.0.2 @1232: was read with status 0xE0: no address mark", "W status 0.0.3 @1504: was read with status 0xF0: no data mark",
          "W status 0.0.4 @1776: was read with status 0x33: not a status the format names"},
         build_disk({"D", 0, 0, {{sector(1, 256, 0x10), sector(2, 256, 0xA0), sector(3, 256, 0xE0), sector(4, 256, 0xF0), sector(5, 256, 0x33)}}})},
        {"an empty file", {}, {"E file -.-.- @-"}, {}},
    };
    const d88_finding_handler collect = [](const d88_finding* f, void* to) {
        static_cast<std::vector<std::string>*>(to)->push_back(shown(*f));
    };
    for (const scan_row& row : rows) {
        std::vector<std::string> found, found_alone;
        d88_image kept = {};
        const int32_t size = static_cast<int32_t>(row.image.size());
        const int32_t errors = scan_d88_image(row.image.data(), size, collect, &found, &kept);
        EXPECT_EQ(found, row.findings) << row.what;
        EXPECT_EQ(errors, std::count_if(found.begin(), found.end(), [](const std::string& f) { return f[0] == 'E'; })) << row.what;
        // without the salvage, the same findings
        EXPECT_EQ(scan_d88_image(row.image.data(), size, collect, &found_alone, nullptr), errors) << row.what;
        EXPECT_EQ(found_alone, row.findings) << row.what;
        uint8_t* out = nullptr;
        int32_t out_size = 0;
        ASSERT_EQ(write_d88_image_to_buffer(&kept, &out, &out_size), 0);
        EXPECT_TRUE(bytes(out, out + out_size) == row.kept) << row.what;
        std::free(out);
        free_d88_image(&kept, 0);
    }
}

// Every kind of finding has one name, its own, and an entry in d88disk(1);
// nothing past the last kind has one.
TEST(ScanImage, EveryKindNamedOnce)
{
    const bytes manual = read_file(MANUAL_D88DISK);
    const std::string page(manual.begin(), manual.end());
    std::set<std::string> names;
    for (int32_t kind = 0; kind < D88_KIND_COUNT; ++kind) {
        const char* name = d88_finding_kind_name(kind);
        ASSERT_NE(name, nullptr) << kind;
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_NE(d88_severity_name(d88_finding_kind_severity(kind)), nullptr) << name;
        std::string entry = std::string("\n.B ") + name + "\n";
        for (size_t at = entry.find('-'); at != std::string::npos; at = entry.find('-', at + 2))
            entry.replace(at, 1, "\\-");
        EXPECT_NE(page.find(entry), std::string::npos) << name << " has no entry in d88disk(1)";
    }
    EXPECT_EQ(d88_finding_kind_name(D88_KIND_COUNT), nullptr);
    EXPECT_EQ(d88_finding_kind_name(-1), nullptr);
    EXPECT_EQ(d88_severity_name(3), nullptr);
}
