// fuzz_seeds.cpp -- small valid inputs to start each fuzz target from.
#include <cstdlib>
#include <cstring>

#include "d88.h"
#include "fuzz_targets.h"

namespace {

using bytes = std::vector<uint8_t>;

// A disk whose listed slots hold count sectors of size code n each, for
// cylinder slot / 2 and head slot % 2.
d88_disk* make_disk(const char* name, std::vector<int> slots, int32_t count, uint8_t n)
{
    d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
    std::strncpy(disk->name, name, 16);
    for (int slot : slots) {
        disk->track[slot].sectors = create_d88_sectors(static_cast<uint8_t>(slot / 2), static_cast<uint8_t>(slot % 2),
                                                       1, n, count, 0x00);
        disk->track[slot].count = count;
    }
    return disk;
}

bytes serialise(std::vector<d88_disk*> disks)
{
    d88_image image = {static_cast<int32_t>(disks.size()), nullptr};
    for (size_t i = disks.size(); i-- > 0;) {
        disks[i]->next = image.disks;
        image.disks = disks[i];
    }
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    write_d88_image_to_buffer(&image, &buffer, &size);
    bytes out(buffer, buffer + size);
    std::free(buffer);
    free_d88_image(&image, 0);
    return out;
}

void append_le32(bytes& out, size_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bytes job_input(uint8_t track, const bytes& game, const bytes& data1, const bytes& data2)
{
    bytes out = {track, 0};
    append_le32(out, game.size());
    append_le32(out, data1.size());
    out.insert(out.end(), game.begin(), game.end());
    out.insert(out.end(), data1.begin(), data1.end());
    out.insert(out.end(), data2.begin(), data2.end());
    return out;
}

}  // namespace

std::vector<bytes> make_read_seeds()
{
    bytes short_header(672, 0);
    short_header[0x1C] = 0xA0;  // disk size 672, no tracks
    short_header[0x1D] = 0x02;
    d88_disk* mixed = make_disk("MIXED", {0, 3}, 2, 1);
    const uint8_t r_list[] = {7, 1, 9};
    const uint8_t n_list[] = {0 + 1, 2, 1};
    mixed->track[5].sectors = create_d88_custom_sectors(2, 0x80, r_list, n_list, 3, 0x40);
    mixed->track[5].count = 3;
    return {
        serialise({make_disk("ONE", {0, 1}, 3, 1)}),
        serialise({make_disk("A", {0}, 1, 1), make_disk("B", {2, 163}, 2, 2)}),
        serialise({mixed}),
        short_header,
    };
}

std::vector<bytes> make_job_seeds()
{
    // Game tracks 3 and 41 (cylinder 1 and 20, head 1); data cylinders 1 and 3.
    const bytes game = serialise({make_disk("GAME", {3, 6, 41}, 2, 1)});
    const bytes data = serialise({make_disk("DATA", {2, 3, 6, 7}, 16, 1)});
    return {
        job_input(3, game, data, data),
        job_input(41, game, data, data),
        job_input(80, game, data, data),
    };
}
