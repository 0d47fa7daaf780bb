// Writing: what the records decide, the size limits, and how files are stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "d88.h"
#include "test_support.h"
#include "vorkast.h"

namespace {

const test_disk A = {"A", 0, 0x10, {{{0, 0, 1, 1, bytes(256, 1)}, {0, 0, 2, 1, bytes(256, 2)}}, {}, {{1, 0, 1, 2, bytes(512, 3)}}}};
const bytes A_BYTES = build_disk(A);

// The image read from b; the caller releases it.
d88_image read_image(const bytes& b)
{
    d88_image image = {};
    EXPECT_EQ(read_d88_image_from_buffer(&image, b.data(), static_cast<int32_t>(b.size())), image.disk_count);
    return image;
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

}  // namespace

// The list, not disk_count, is what look-ups and sizes follow; a file holds
// the first disk_count disks; a slot whose array holds nothing is empty.
TEST(WriteImage, RecordsDecideTheLayout)
{
    d88_image image = read_image(concat({A_BYTES, A_BYTES, A_BYTES}));
    d88_disk* second = image.disks->next;
    image.disk_count = 2;
    EXPECT_EQ(get_d88_disk(&image, 2), second->next);
    EXPECT_EQ(get_d88_disk(&image, 3), nullptr);
    EXPECT_EQ(calc_d88_image_size(&image), 3 * 1760);
    EXPECT_TRUE(serialise(image) == concat({A_BYTES, A_BYTES}));
    image.disk_count = 5;
    EXPECT_TRUE(serialise(image) == concat({A_BYTES, A_BYTES, A_BYTES}));

    second->track[1].sectors = static_cast<d88_sector*>(std::calloc(1, sizeof(d88_sector)));
    second->track[1].sectors[0].c = 1;  // an array of no sectors: neither found nor written
    EXPECT_EQ(find_d88_track(second, 1, 0), &second->track[2]);
    EXPECT_EQ(second->track[0].sectors[1].sector_count, 2);
    bytes room(1760, 0xCC);
    uint8_t* next = nullptr;
    EXPECT_EQ(printed_by([&] { write_d88_disk_to_buffer(second, room.data(), &next, 1759); }),
              "write d88 disk: buffer size error: 1759 < 1760\n");
    EXPECT_TRUE(room == bytes(1760, 0xCC));
    EXPECT_EQ(write_d88_disk_to_buffer(second, room.data(), &next, 1760), 0);
    EXPECT_EQ(next, room.data() + 1760);
    EXPECT_TRUE(room == A_BYTES);
    uint8_t track_data[TRACK_DATA_SIZE] = {7};  // the new sector leads, and every sector of its track counts it
    ASSERT_EQ(insert_track_sector(second, 0, track_data), 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(second->track[0].sectors[i].sector_count, 3);
    EXPECT_EQ(second->track[0].sectors[0].data[0], 7);
    d88_disk* first = image.disks;
    image.disks = second;
    free_d88_disk(first, 0);  // a record cleared in place can be read into again
    EXPECT_TRUE(first->track[0].sectors == nullptr && first->next == nullptr && first->disk_size == 0);
    std::free(first);
    free_d88_image(&image, 0);
    EXPECT_EQ(image.disk_count, 0);
    EXPECT_EQ(image.disks, nullptr);
}

// A disk of 2^31 - 1 bytes is the largest that can be written; records with
// no data cost nothing to build.
TEST(WriteImage, SizeLimits)
{
    constexpr int32_t BIG = 16 + 32767, COUNT = 65505;
    d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
    d88_track& track = disk->track[0];
    track.sectors = static_cast<d88_sector*>(std::calloc(COUNT + 1, sizeof(d88_sector)));
    track.count = COUNT + 1;
    for (int32_t i = 0; i < COUNT; ++i)
        track.sectors[i].data_size = BIG - 16;
    track.sectors[COUNT].data_size = static_cast<int16_t>(INT32_MAX - 688 - COUNT * BIG - 16);
    d88_image image = {1, disk};
    EXPECT_EQ(calc_d88_disk_size(disk), INT32_MAX);
    EXPECT_EQ(calc_d88_image_size(&image), INT32_MAX);
    track.sectors[COUNT].data_size += 1;
    EXPECT_EQ(calc_d88_disk_size(disk), -1);
    EXPECT_EQ(calc_d88_image_size(&image), -1);
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    EXPECT_EQ(printed_by([&] { write_d88_image_to_buffer(&image, &buffer, &size); }),
              "write d88 image: image too large or data size negative\n");
    track.count = 1;
    track.sectors[0].data_size = -1;
    EXPECT_EQ(calc_d88_disk_size(disk), -1);
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(write_d88_image_file(&image, "x"), -1); }),
              "write d88 image: image too large or data size negative\nwrite image data error 'x'\n");
    free_d88_image(&image, 0);
}

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

struct store_row {
    const char* what;
    std::function<void()> setup;  // run inside the folder, which holds old.d88
    std::string path;
    std::string out;
    std::string changed;  // the file written, if any
    bytes expect;         // what it holds: A, or nothing for an image without disks
    unsigned mode;        // its permission bits, where files have them
};

const std::string LONG_NAME(250, 'n');  // the temporary name must fit as well

const store_row STORES[] = {
    {"a new file", [] {}, "new.d88", "", "new.d88", A_BYTES, 0644},
    {"an image without disks", [] {}, "empty.d88", "", "empty.d88", {}, 0644},
    {"a missing folder", [] {}, "none/x.d88", "open error 'none/x.d88'\n", "", {}, 0},
    {"no name", [] {}, "", "open error ''\n", "", {}, 0},
#ifdef _WIN32
    {"a read-only file", [] { fs::permissions("old.d88", fs::perms::owner_write, fs::perm_options::remove); }, "old.d88",
     "open error 'old.d88'\n", "", {}, 0},
#else
    {"a name near the limit", [] {}, LONG_NAME, "", LONG_NAME, A_BYTES, 0644},
    {"a link named without a slash", [] { fs::create_symlink("old.d88", "link.d88"); }, "link.d88", "", "old.d88", A_BYTES, 0604},
    {"links through a folder", [] { fs::create_directory("d"), fs::create_symlink("d/l2", "l1"), fs::create_symlink("../old.d88", "d/l2"); }, "l1", "", "old.d88", A_BYTES, 0604},
    {"an absolute link", [] { fs::create_symlink(fs::absolute("old.d88"), "abs.d88"); }, "abs.d88", "", "old.d88", A_BYTES, 0604},
    {"a dangling link", [] { fs::create_symlink("gone.d88", "dangling.d88"); }, "dangling.d88", "", "gone.d88", A_BYTES, 0644},
    {"a loop of links", [] { fs::create_symlink("l2", "l1"), fs::create_symlink("l1", "l2"); }, "l1", "open error 'l1'\n", "", {}, 0},
    {"a full device", [] {}, "/dev/full", "write error '/dev/full'\n", "", {}, 0},
    {"a device", [] {}, "/dev/null", "", "", {}, 0},
#endif
};

}  // namespace

// The file written holds its bytes, and nothing else in the folder changes:
// old.d88 stays as it was unless it is written, links stay links, and no
// temporary file is left behind.
TEST(WriteFile, Stores)
{
#ifndef _WIN32
    const mode_t old_mask = umask(022);
#endif
    d88_image image = read_image(A_BYTES), none = {};
    for (const store_row& row : STORES) {
        SCOPED_TRACE(row.what);
        temp_dir dir;
        const fs::path cwd = fs::current_path();
        fs::current_path(dir.path);
        write_file("old.d88", {'o', 'l', 'd'});
        fs::permissions("old.d88", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
        row.setup();
        std::map<std::string, bytes> after = files_below(".");
        if (!row.changed.empty())
            after[row.changed] = row.expect;
        int32_t result = 0;
        const d88_image* written = !row.changed.empty() && row.expect.empty() ? &none : &image;
        EXPECT_EQ(printed_by([&] { result = write_d88_image_file(written, row.path.c_str()); }), row.out);
        EXPECT_EQ(result, row.out.empty() ? 0 : -1);
        EXPECT_TRUE(files_below(".") == after);
#ifndef _WIN32
        if (!row.changed.empty()) {
            EXPECT_EQ(static_cast<unsigned>(fs::status(row.changed).permissions()), row.mode);
        }
#endif
        fs::permissions("old.d88", fs::perms::owner_write, fs::perm_options::add);
        fs::current_path(cwd);
    }
    free_d88_image(&image, 0);
#ifndef _WIN32
    umask(old_mask);
#endif
}

// An image changed in place: its records' new names, write protection and
// sector data go back into the very bytes they were read from, every other
// byte as it was; a slot sharing its bytes with a changed one does not put
// the old data back; records that no longer match the bytes change nothing.
TEST(UpdateImage, ChangesGoBackInPlace)
{
    test_disk b = A;
    b.name = "B";
    bytes two = concat({A_BYTES, build_disk(b)});
    put(two, A_BYTES.size() + 0x20 + 4 * 3, static_cast<uint32_t>(688));  // slot 3 shares slot 0's bytes
    d88_image image = read_image(two);
    d88_disk* second = image.disks->next;
    std::memcpy(second->name, "NEW", 4);
    second->write_protect = 0x10;
    second->track[0].sectors[1].data[7] = 0x77;
    test_disk changed = b;
    changed.name = "NEW";
    changed.write_protect = 0x10;
    changed.slots[0][1].data[7] = 0x77;
    bytes want = concat({A_BYTES, build_disk(changed)});
    put(want, A_BYTES.size() + 0x20 + 4 * 3, static_cast<uint32_t>(688));
    EXPECT_EQ(update_d88_image_bytes(&image, two.data(), static_cast<int32_t>(two.size())), 1);
    EXPECT_TRUE(two == want);
    second->track[2].sectors[0].data_size = 500;  // no longer the layout of the bytes
    std::string said;
    said = printed_by([&] { EXPECT_EQ(update_d88_image_bytes(&image, two.data(), static_cast<int32_t>(two.size())), -1); });
    EXPECT_EQ(said, "illegal data: the records no longer have the layout of the image's bytes\n");
    EXPECT_TRUE(two == want);
    second->track[2].sectors[0].data_size = 512;
    free_d88_image(&image, 0);
}
