// Every allocation of a whole vorkast run and of disk creation, made to fail
// in turn: the failure is reported where it happens, each stage adds its
// line, nothing is written, and (in the sanitizer build) nothing leaks.
// Linked with -Wl,--wrap=malloc,--wrap=calloc, so that the library's and the
// tool's allocations come through the counter below.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <regex>

#include "d88.h"
#include "test_support.h"
#include "vorkast.h"

extern "C" void* __real_malloc(size_t size);
extern "C" void* __real_calloc(size_t count, size_t size);

namespace {

long failing = 0;  // the allocation that fails, counted from 1; 0: none
long counted = 0;

bool fails_now()
{
    return failing > 0 && ++counted == failing;
}

// Runs op with allocation k failing; what it printed.  counted then tells
// how many allocations op made.
template <class Op>
std::string failing_at(long k, Op op)
{
    failing = k;
    counted = 0;
    const std::string out = printed_by(op);
    failing = 0;
    return out;
}

}  // namespace

extern "C" void* __wrap_malloc(size_t size)
{
    return fails_now() ? nullptr : __real_malloc(size);
}

extern "C" void* __wrap_calloc(size_t count, size_t size)
{
    return fails_now() ? nullptr : __real_calloc(count, size);
}

TEST(AllocationFailure, WholeRun)
{
    temp_dir dir;
    test_disk game = {"GAME", 0, 0, std::vector<test_track>(42)};
    game.slots[3] = {{1, 1, 1, 1, bytes(256, 5)}};
    game.slots[41] = {{20, 1, 1, 1, bytes(256, 6)}, {20, 1, 2, 1, {}}};
    test_disk data = filled_disk("DATA2");
    data.slots.resize(4);
    data.slots[0].clear();
    write_file(dir.file("GAME.D88"), concat({build_disk(game), build_disk(game)}));
    write_file(dir.file("DATA2.D88"), build_disk(data));
    const std::regex chain("error: memory exhausted!\n(error: insert track 41\n)?|"
                           "memory exhaust!\n((read sector \\d+ error\n)?read track \\d+ error \\[\\w*\\]\nread disk \\d error\n)?"
                           "(read image data error '(\\w+).D88'\n)?error: read d88 image '\\w+.D88'\n|"
                           "memory exhaust!\n(write image data error 'GAME.NEW.D88'\n)?error: write d88 image 'GAME.NEW.D88'\n");
    // A new output, and an old one replaced: the replacement names its
    // temporary file on the heap too.
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing" : "new");
        if (replacing)
            write_file(dir.file("GAME.NEW.D88"), {'o', 'l', 'd'});
        std::vector<std::string> args = {"-t", "41", "GAME.D88", "DATA2.D88"};
        if (replacing)
            args.insert(args.begin(), "--overwrite");
        const auto run_failing = [&](long k) {
            return run_in(dir, "vorkast", [&](int argc, char** argv) {
                failing = k;
                counted = 0;
                const int status = run_vorkast(argc, argv);
                failing = 0;
                return status;
            }, args);
        };
        const std::map<std::string, bytes> before = files_below(dir.path);
        run_failing(LONG_MAX);
        const long needed = counted;
        ASSERT_GT(needed, 40);
        for (long k = 1; k <= needed; ++k) {
            write_file(dir.file("GAME.NEW.D88"), {'o', 'l', 'd'});
            if (!replacing)
                fs::remove(dir.file("GAME.NEW.D88"));
            const run_result r = run_failing(k);
            EXPECT_EQ(r.status, 1) << k;
            EXPECT_TRUE(std::regex_match(r.out, chain)) << k << "\n" << r.out;
            EXPECT_TRUE(files_below(dir.path) == before) << k;
        }
        if (!replacing)
            fs::remove(dir.file("GAME.NEW.D88"));
        EXPECT_EQ(run_failing(0).status, 0);
    }
}

TEST(AllocationFailure, Creation)
{
    failing_at(LONG_MAX, [] { free_d88_disk(create_d88_disk("X", 0), 1); });
    const long made = counted;
    ASSERT_EQ(made, 1 + 80 * 17);
    for (long k : {1L, 2L, 3L, 18L, 19L, made - 1, made}) {
        d88_disk* disk = nullptr;
        EXPECT_EQ(failing_at(k, [&] { disk = create_d88_disk("X", 0); }),
                  k == 1 ? "memory exhaust!\n" : "memory exhaust!\ncreate sector error\n");
        EXPECT_EQ(disk, nullptr);
    }
    EXPECT_EQ(failing_at(1, [] { EXPECT_EQ(new_d88_image(), nullptr); }), "memory exhaust!\n");
}

// A read that runs out of memory at any point leaves the image empty.
TEST(AllocationFailure, Reading)
{
    const bytes two = concat({build_disk(filled_disk("A", 2)), build_disk(filled_disk("B", 2))});
    d88_image image = {};
    const auto read = [&] { return read_d88_image_from_buffer(&image, two.data(), static_cast<int32_t>(two.size())); };
    failing_at(LONG_MAX, read);
    free_d88_image(&image, 0);
    for (long k = 1, needed = counted; k <= needed; ++k) {
        failing_at(k, [&] { EXPECT_EQ(read(), -1) << k; });
        EXPECT_TRUE(image.disks == nullptr && image.disk_count == 0) << k;
    }
}

// An image of each other format read while memory runs out at any point:
// the failure is said, and the image is left empty.
TEST(AllocationFailure, Importing)
{
    d88_disk* disk = create_d88_disk("X", 3);
    for (int32_t slot = 4; slot < D88_TRACK_MAX; ++slot) {  // two cylinders suffice
        for (int32_t i = 0; i < disk->track[slot].count; ++i)
            std::free(disk->track[slot].sectors[i].data);
        std::free(disk->track[slot].sectors);
        disk->track[slot] = d88_track{0, nullptr};
    }
    for (int32_t format : {D88_FILE_IMD, D88_FILE_HFE, D88_FILE_NFD, D88_FILE_DIM, D88_FILE_FDI, D88_FILE_SCP}) {
        uint8_t* out = nullptr;
        int32_t size = 0;
        ASSERT_EQ(export_d88_disk(disk, format, nullptr, nullptr, nullptr, &out, &size), 0) << format;
        d88_image image = {};
        const auto import = [&] { return import_d88_image(&image, out, size, format); };
        failing_at(LONG_MAX, import);
        free_d88_image(&image, 0);
        for (long k = 1, needed = counted; k <= needed; ++k) {
            const std::string said = failing_at(k, [&] { EXPECT_EQ(import(), -1) << format << " " << k; });
            EXPECT_NE(said.find("memory exhaust!\n"), std::string::npos) << format << " " << k << said;
            EXPECT_TRUE(image.disks == nullptr && image.disk_count == 0) << format << " " << k;
        }
        std::free(out);
    }
    free_d88_disk(disk, 1);
}

// Each operation on a file system, running out of memory at any point:
// the failure is said, and the disk is left as it was.
TEST(AllocationFailure, FileSystems)
{
    const uint8_t data[5000] = {7};
    for (const auto& row : {std::pair{0, D88_FS_N88}, {0, D88_FS_HU}, {3, D88_FS_FAT12}}) {
        const int32_t fs = row.second;
        d88_disk* disk = create_d88_disk("X", row.first);
        ASSERT_EQ(format_d88_files(disk, fs), 0);
        const d88_file_options text = {fs == D88_FS_FAT12 ? 0 : D88_TYPE_ASCII, -1, -1, 0, 0, 0, 0, 0, 0};
        ASSERT_EQ(write_d88_file(disk, fs, "OLD.BIN", data, sizeof data, &text), 0);  // Hu-BASIC's sized to its end
        const auto bytes_of = [&] {
            bytes out(static_cast<size_t>(calc_d88_disk_size(disk)));
            uint8_t* end = nullptr;
            write_d88_disk_to_buffer(disk, out.data(), &end, static_cast<int32_t>(out.size()));
            return out;
        };
        const bytes before = bytes_of();
        const std::function<int32_t()> operations[] = {
            [&] {
                d88_file_entry* entries = nullptr;
                const int32_t count = list_d88_files(disk, -1, &entries, nullptr, nullptr, nullptr);
                std::free(entries);
                return count < 0 ? -1 : 0;
            },
            [&] {
                uint8_t* read = nullptr;
                int32_t size = 0;
                const int32_t result = read_d88_file(disk, fs, "OLD.BIN", &read, &size);
                std::free(read);
                return result;
            },
            [&] { return write_d88_file(disk, fs, "NEW.BIN", data, sizeof data, nullptr); },
            [&] {
                d88_file_entry entry;
                return find_d88_file(disk, fs, "OLD.BIN", &entry) == 1 ? 0 : -1;
            },
            [&] {
                d88_disk_contents contents;
                return find_d88_disk_contents(disk, &contents) == 1 ? 0 : -1;
            },
            [&] { return delete_d88_file(disk, fs, "OLD.BIN"); },
            [&] { return format_d88_files(disk, fs); },
        };
        for (const auto& operation : operations) {
            failing_at(LONG_MAX, [&] { EXPECT_EQ(operation(), 0); });
            const long needed = counted;
            EXPECT_GT(needed, 0);
            for (long k = 1; k <= needed; ++k) {
                free_d88_disk(disk, 1);
                disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
                ASSERT_EQ(read_d88_disk_from_buffer(disk, before.data(), static_cast<int32_t>(before.size())), 0);
                const std::string said = failing_at(k, [&] { EXPECT_EQ(operation(), -1) << fs << " " << k; });
                EXPECT_NE(said.find("memory exhaust!\n"), std::string::npos) << fs << " " << k << said;
                EXPECT_TRUE(bytes_of() == before) << fs << " " << k;
            }
        }
        free_d88_disk(disk, 1);
    }
}
