// Every allocation of the library and the tool, made to fail in turn: the
// result, the chain of lines, and the records left behind.  The sanitizer
// build adds LeakSanitizer's check that nothing leaks at any of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "alloc_failure.h"
#include "d88.h"
#include "image_builder.h"
#include "test_support.h"
#include "vorkast.h"

namespace {

// Runs op with allocation k failing, for k = 1, 2, ... up to the first k
// that op never reaches.  check(k, output) sees each failing run; returns
// how many allocations op made unaided, after checking its success.
long fail_each_allocation(const std::function<bool()>& op, const std::function<void(long, const std::string&)>& check)
{
    for (long k = 1;; ++k) {
        testing::internal::CaptureStdout();
        fail_allocation(k);
        const bool ok = op();
        const long made = allocations_counted();
        fail_allocation(0);
        const std::string out = testing::internal::GetCapturedStdout();
        if (made < k) {
            EXPECT_TRUE(ok) << out;
            return k - 1;
        }
        EXPECT_FALSE(ok) << "k = " << k;
        check(k, out);
    }
}

// Two disks: ALPHA with slot 0 (256 bytes, then 0 bytes) and slot 3 (128
// bytes); BETA with slot 1 (16 bytes).
bytes two_disk_image()
{
    test_disk alpha, beta;
    alpha.name = "ALPHA";
    alpha.slots.resize(4);
    alpha.slots[0] = {test_sector{0, 0, 1, 1, bytes(256, 1)}, test_sector{0, 0, 2, 1, {}}};
    alpha.slots[3] = {test_sector{1, 1, 1, 0, bytes(128, 2)}};
    beta.name = "BETA";
    beta.slots = {{}, {test_sector{0, 1, 1, 0, bytes(16, 3)}}};
    return concat({build_disk(alpha), build_disk(beta)});
}

// The lines of a failed allocation while reading disk (from 1; 0 for the
// file's bytes), slot (-1 for the disk record) and sector (-1 for the array).
std::string read_chain(const std::string& path, int disk, const std::string& name, int slot, int sector)
{
    std::string out = "memory exhaust!\n";
    if (sector >= 0)
        out += "read sector " + std::to_string(sector) + " error\n";
    if (slot >= 0)
        out += "read track " + std::to_string(slot) + " error [" + name + "]\n";
    if (slot >= 0)
        out += "read disk " + std::to_string(disk) + " error\n";
    return disk == 0 ? out : out + "read image data error '" + path + "'\n";
}

}  // namespace

TEST(AllocationFailure, ReadingAnImage)
{
    temp_dir dir;
    const std::string path = dir.file("two.d88");
    write_file(path, two_disk_image());
    const std::string expected[] = {
        read_chain(path, 0, "", -1, -1),         // the file's bytes
        read_chain(path, 1, "", -1, -1),         // disk record ALPHA
        read_chain(path, 1, "ALPHA", 0, -1),     // slot 0's sector array
        read_chain(path, 1, "ALPHA", 0, 0),      // sector 0's data (sector 1 has none)
        read_chain(path, 1, "ALPHA", 3, -1),
        read_chain(path, 1, "ALPHA", 3, 0),
        read_chain(path, 2, "", -1, -1),         // disk record BETA
        read_chain(path, 2, "BETA", 1, -1),
        read_chain(path, 2, "BETA", 1, 0),
    };
    d88_image image = {};
    const long made = fail_each_allocation(
        [&] { return read_d88_image_file(&image, path.c_str()) == 2; },
        [&](long k, const std::string& out) {
            ASSERT_LE(k, static_cast<long>(std::size(expected)));
            EXPECT_EQ(out, expected[k - 1]) << "k = " << k;
            EXPECT_EQ(image.disks, nullptr);
            EXPECT_EQ(image.disk_count, 0);
        });
    EXPECT_EQ(made, static_cast<long>(std::size(expected)));
    free_d88_image(&image, 0);
}

TEST(AllocationFailure, WritingAnImage)
{
    temp_dir dir;
    const bytes content = two_disk_image();
    loaded_image loaded(content);
    d88_image& image = loaded.image;
    write_file(dir.file("old.d88"), bytes(7, 7));
    symlink("old.d88", dir.file("link.d88").c_str());
    const std::string path = dir.file("link.d88");

    const std::string expected[] = {
        "memory exhaust!\nwrite image data error '" + path + "'\n",  // the image's bytes
        "memory exhaust!\n",                                          // the path followed
        "memory exhaust!\n",                                          // one link further
        "memory exhaust!\n",                                          // the temporary file's name
    };
    const long made = fail_each_allocation([&] { return write_d88_image_file(&image, path.c_str()) == 0; },
                                           [&](long k, const std::string& out) {
                                               ASSERT_LE(k, static_cast<long>(std::size(expected)));
                                               EXPECT_EQ(out, expected[k - 1]);
                                               EXPECT_EQ(read_file(dir.file("old.d88")), bytes(7, 7));
                                               EXPECT_EQ(list_dir(dir.path).size(), 2u);
                                           });
    EXPECT_EQ(made, static_cast<long>(std::size(expected)));
    EXPECT_EQ(read_file(dir.file("old.d88")), content);
}

TEST(AllocationFailure, CreatingEveryFormat)
{
    for (int32_t format = 0; format < 10; ++format) {
        d88_disk* disk = nullptr;
        const long made = fail_each_allocation(
            [&] { return (disk = create_d88_disk("FAIL", format)) != nullptr; },
            [&](long k, const std::string& out) {
                EXPECT_EQ(out, k == 1 ? "memory exhaust!\n" : "memory exhaust!\ncreate sector error\n");
            });
        EXPECT_GT(made, 160) << format;
        free_d88_disk(disk, 1);
    }
    d88_image* image = nullptr;
    EXPECT_EQ(fail_each_allocation([&] { return (image = new_d88_image()) != nullptr; },
                                   [](long, const std::string& out) { EXPECT_EQ(out, "memory exhaust!\n"); }),
              1);
    free_d88_image(image, 1);

    const uint8_t n_list[] = {1, 6, 2};
    d88_sector* sectors = nullptr;
    EXPECT_EQ(fail_each_allocation([&] { return (sectors = create_d88_custom_sectors(0, 0, nullptr, n_list, 3, 0)); },
                                   [](long, const std::string& out) { EXPECT_EQ(out, "memory exhaust!\n"); }),
              4);
    for (int i = 0; i < 3; ++i)
        std::free(sectors[i].data);
    std::free(sectors);
}

TEST(AllocationFailure, InsertingATrackSector)
{
    loaded_image image(build_disk(game_disk("G", 2)));
    d88_track* track = &image.disk()->track[9];
    const d88_sector* old = track->sectors;
    const uint8_t buffer[TRACK_DATA_SIZE] = {};
    const long made = fail_each_allocation([&] { return insert_track_sector(image.disk(), 9, buffer) == 0; },
                                           [&](long, const std::string& out) {
                                               EXPECT_EQ(out, "error: memory exhausted!\n");
                                               EXPECT_EQ(track->sectors, old);
                                               EXPECT_EQ(track->count, 2);
                                           });
    EXPECT_EQ(made, 2);
    EXPECT_EQ(track->count, 3);
}

TEST(AllocationFailure, WholeToolRun)
{
    temp_dir dir;
    test_disk game;
    game.name = "GAME";
    game.slots.resize(8);
    game.slots[3] = {test_sector{1, 1, 1, 1, bytes(256, 5)}};  // track number 3
    game.slots[6] = {test_sector{3, 0, 1, 1, bytes(256, 6)}};
    test_disk data = data_disk();
    for (int slot = 0; slot < 80; ++slot)
        if (slot != 6 && slot != 7)
            data.slots[slot].clear();
    write_file(dir.file("GAME.D88"), build_disk(game));
    write_file(dir.file("DATA1.D88"), build_disk(data));

    const auto loader = [](const std::string& path, const std::string& name, int slot, int sector) {
        return read_chain(path, slot == -2 ? 0 : 1, name, slot < 0 ? -1 : slot, sector) +
               "error: read d88 image '" + path + "'\n";
    };
    std::vector<std::string> expected = {"error: memory exhausted!\n"};  // the output name
    expected.push_back(loader("GAME.D88", "", -2, -1));
    expected.push_back(loader("GAME.D88", "", -1, -1));
    for (int slot : {3, 6}) {
        expected.push_back(loader("GAME.D88", "GAME", slot, -1));
        expected.push_back(loader("GAME.D88", "GAME", slot, 0));
    }
    expected.push_back(loader("DATA1.D88", "", -2, -1));
    expected.push_back(loader("DATA1.D88", "", -1, -1));
    for (int slot : {6, 7}) {  // data cylinder 3
        expected.push_back(loader("DATA1.D88", "DATA", slot, -1));
        for (int i = 0; i < 16; ++i)
            expected.push_back(loader("DATA1.D88", "DATA", slot, i));
    }
    for (int i = 0; i < 2; ++i)
        expected.push_back("error: memory exhausted!\nerror: insert track 3\n");
    expected.push_back("memory exhaust!\nwrite image data error 'GAME.NEW.D88'\nerror: write d88 image 'GAME.NEW.D88'\n");
    for (int i = 0; i < 2; ++i)
        expected.push_back("memory exhaust!\nerror: write d88 image 'GAME.NEW.D88'\n");

    for (size_t k = 1; k <= expected.size() + 1; ++k) {
        setenv("VORKAST_FAIL_ALLOC", std::to_string(k).c_str(), 1);
        const tool_run r = run_tool({"-t", "3", "GAME.D88", "DATA1.D88"}, dir.path, "", -1, VORKAST_FAILING_BINARY);
        const bool last = k == expected.size() + 1;
        EXPECT_EQ(r.status, last ? 0 : 1) << "k = " << k << "\n" << r.out;
        EXPECT_EQ(r.out, last ? "" : expected[k - 1]) << "k = " << k;
        EXPECT_EQ(file_exists(dir.file("GAME.NEW.D88")), last) << "k = " << k;
    }
    unsetenv("VORKAST_FAIL_ALLOC");
}
