// fuzz_targets.cpp -- the properties checked on every fuzzed input.
#include "fuzz_targets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88.h"
#include "vorkast.h"

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

bool same_sector(const d88_sector& a, const d88_sector& b)
{
    return a.c == b.c && a.h == b.h && a.r == b.r && a.n == b.n && a.density == b.density &&
           a.deleted_mark == b.deleted_mark && a.status == b.status &&
           std::memcmp(a.reserved, b.reserved, sizeof a.reserved) == 0 && a.data_size == b.data_size &&
           (a.data_size == 0 || std::memcmp(a.data, b.data, static_cast<size_t>(a.data_size)) == 0);
}

bool same_disk(const d88_disk& a, const d88_disk& b)
{
    if (std::memcmp(a.name, b.name, sizeof a.name) != 0 || std::memcmp(a.reserved, b.reserved, sizeof a.reserved) != 0 ||
        a.write_protect != b.write_protect || a.disk_type != b.disk_type)
        return false;
    for (int slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const d88_track& ta = a.track[slot];
        const d88_track& tb = b.track[slot];
        if ((ta.sectors == nullptr) != (tb.sectors == nullptr) || ta.count != tb.count)
            return false;
        for (int32_t i = 0; i < ta.count; ++i) {
            if (!same_sector(ta.sectors[i], tb.sectors[i]))
                return false;
        }
    }
    return true;
}

// Equal in everything the writer takes from the records.
bool same_image(const d88_image& a, const d88_image& b)
{
    if (a.disk_count != b.disk_count)
        return false;
    const d88_disk* da = a.disks;
    const d88_disk* db = b.disks;
    for (; da != nullptr && db != nullptr; da = da->next, db = db->next) {
        if (!same_disk(*da, *db))
            return false;
    }
    return da == nullptr && db == nullptr;
}

uint32_t take_le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t read_part(d88_image* image, const uint8_t* data, size_t size)
{
    return read_d88_image_from_buffer(image, data, static_cast<int32_t>(size));
}

}  // namespace

void fuzz_read_image(const uint8_t* data, size_t size)
{
    d88_image image = {};
    if (size > INT32_MAX || read_d88_image_from_buffer(&image, data, static_cast<int32_t>(size)) < 0) {
        require(image.disks == nullptr && image.disk_count == 0, "a failed read leaves the image empty");
        return;
    }
    uint8_t* first = nullptr;
    int32_t first_size = 0;
    require(write_d88_image_to_buffer(&image, &first, &first_size) == 0, "an accepted image can be written");
    require(first_size == calc_d88_image_size(&image), "the buffer holds every disk");

    d88_image again = {};
    if (first_size > 0)
        require(read_d88_image_from_buffer(&again, first, first_size) == image.disk_count, "written images read back");
    require(same_image(image, again), "the image read back equals the image written");
    for (const d88_disk* disk = again.disks; disk != nullptr; disk = disk->next)
        require(disk->disk_size == calc_d88_disk_size(disk), "disk sizes are computed anew");

    uint8_t* second = nullptr;
    int32_t second_size = 0;
    require(write_d88_image_to_buffer(&again, &second, &second_size) == 0, "the image read back can be written");
    require(first_size == second_size && std::memcmp(first, second, static_cast<size_t>(first_size)) == 0,
            "writing the image read back gives the same bytes");
    std::free(first);
    std::free(second);
    free_d88_image(&again, 0);
    free_d88_image(&image, 0);
}

// Layout of a job input: one byte choosing the track number (80 and above
// mean all of them), one byte the game disk's index, two 32-bit lengths
// for the game image and data disk #1, then the three images.
void fuzz_run_job(const uint8_t* data, size_t size)
{
    if (size < 10)
        return;
    const int32_t track = data[0] < TRACK_NUMBER_COUNT ? data[0] : -1;
    const int32_t index = data[1];
    size_t game_size = take_le32(data + 2), data1_size = take_le32(data + 6);
    const uint8_t* p = data + 10;
    size_t rest = size - 10;
    game_size = game_size < rest ? game_size : rest;
    rest -= game_size;
    data1_size = data1_size < rest ? data1_size : rest;
    rest -= data1_size;

    d88_image images[3] = {};
    d88_disk* disks[3] = {};
    const size_t sizes[3] = {game_size, data1_size, rest};
    bool loaded = true;
    for (int i = 0; i < 3 && loaded; ++i) {
        loaded = read_part(&images[i], p, sizes[i]) >= 0 &&
                 (disks[i] = get_d88_disk(&images[i], i == 0 ? index : 0)) != nullptr;
        p += sizes[i];
    }
    uint8_t track_buffer[TRACK_DATA_SIZE];
    if (loaded && transfer_tracks(disks[0], disks[1], disks[2], track, track_buffer) == 0) {
        uint8_t* out = nullptr;
        int32_t out_size = 0;
        if (write_d88_image_to_buffer(&images[0], &out, &out_size) == 0)
            std::free(out);
    }
    for (d88_image& image : images)
        free_d88_image(&image, 0);
}
