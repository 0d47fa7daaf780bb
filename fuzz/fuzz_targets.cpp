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

// The image's bytes as the writer lays them out; null only for an image that
// cannot be written.  The caller releases them.
uint8_t* serialise(const d88_image& image, int32_t* size)
{
    uint8_t* out = nullptr;
    require(write_d88_image_to_buffer(&image, &out, size) == 0 && *size == calc_d88_image_size(&image),
            "an image read or completed can be written whole");
    return out;
}

// Written bytes read back to records that write the very same bytes again,
// with every disk's size as it was computed.
void require_round_trip(const uint8_t* bytes, int32_t size, int32_t disks)
{
    d88_image again = {};
    require(size == 0 || read_d88_image_from_buffer(&again, bytes, size) == disks, "written images read back");
    for (const d88_disk* disk = again.disks; disk != nullptr; disk = disk->next)
        require(disk->disk_size == calc_d88_disk_size(disk), "disk sizes are computed anew");
    int32_t second_size = 0;
    uint8_t* second = serialise(again, &second_size);
    require(second_size == size && std::memcmp(bytes, second, static_cast<size_t>(size)) == 0,
            "writing the image read back gives the same bytes");
    std::free(second);
    free_d88_image(&again, 0);
}

}  // namespace

void fuzz_read_image(const uint8_t* data, size_t size)
{
    d88_image image = {};
    if (size > INT32_MAX || read_d88_image_from_buffer(&image, data, static_cast<int32_t>(size)) < 0) {
        require(image.disks == nullptr && image.disk_count == 0, "a failed read leaves the image empty");
        return;
    }
    int32_t written = 0;
    uint8_t* out = serialise(image, &written);
    require_round_trip(out, written, image.disk_count);
    std::free(out);
    free_d88_image(&image, 0);
}

// Layout of a job input: one byte choosing the track number (80 and above
// mean all of them), one byte the game disk's index, two 32-bit lengths
// for the game image and data disk #1, then the three images.
int32_t fuzz_run_job(const uint8_t* data, size_t size)
{
    if (size < 10)
        return -1;
    const int32_t track = data[0] < TRACK_NUMBER_COUNT ? data[0] : -1;
    size_t game_size = static_cast<uint32_t>(get_le32(data + 2)), data1_size = static_cast<uint32_t>(get_le32(data + 6));
    size_t rest = size - 10;
    game_size = game_size < rest ? game_size : rest;
    rest -= game_size;
    data1_size = data1_size < rest ? data1_size : rest;
    const size_t sizes[3] = {game_size, data1_size, rest - data1_size};

    d88_image images[3] = {};
    d88_disk* disks[3] = {};
    const uint8_t* p = data + 10;
    bool loaded = true;
    for (int i = 0; i < 3 && loaded; ++i) {
        loaded = sizes[i] <= INT32_MAX && read_d88_image_from_buffer(&images[i], p, static_cast<int32_t>(sizes[i])) >= 0 &&
                 (disks[i] = get_d88_disk(&images[i], i == 0 ? data[1] : 0)) != nullptr;
        p += sizes[i];
    }
    uint8_t track_buffer[TRACK_DATA_SIZE];
    int32_t result = -1;
    if (loaded && transfer_tracks(disks[0], disks[1], disks[2], track, track_buffer) == 0) {
        uint8_t* out = serialise(images[0], &result);
        require_round_trip(out, result, images[0].disk_count);
        std::free(out);
    }
    for (d88_image& image : images)
        free_d88_image(&image, 0);
    return result;
}
