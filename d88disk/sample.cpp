// sample.cpp -- d88disk sample: a game disk and two data disks to try
// vorkast on.  Every sector says in plain text where it belongs, so a hex
// dump shows where each part of a completed track came from.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88.h"
#include "d88disk.h"
#include "platform.h"

namespace {

constexpr int32_t FORMAT_2D = 0;

// Fills the sector's data with text repeated to its end.
void fill_text(d88_sector* sector, const char* text)
{
    const size_t length = std::strlen(text);
    for (int32_t i = 0; i < sector->data_size; ++i)
        sector->data[i] = static_cast<uint8_t>(text[static_cast<size_t>(i) % length]);
}

// A 2D disk whose every sector holds the text made by label.
d88_disk* make_sample_disk(const char* name, void (*label)(const d88_sector&, char*, size_t, int), int extra)
{
    d88_disk* disk = create_d88_disk(name, FORMAT_2D);
    for (int slot = 0; disk != nullptr && slot < D88_TRACK_MAX; ++slot) {
        d88_track& track = disk->track[slot];
        for (int32_t i = 0; i < track.count; ++i) {
            char text[64];
            label(track.sectors[i], text, sizeof text, extra);
            fill_text(&track.sectors[i], text);
        }
    }
    return disk;
}

void label_game(const d88_sector& s, char* text, size_t size, int)
{
    std::snprintf(text, size, "game sector %02X/%02X/%02X ", s.c, s.h, s.r);
}

// Data disk sectors carry track (cylinder + first) and part 0..31 of its 8 KB.
void label_data(const d88_sector& s, char* text, size_t size, int first)
{
    std::snprintf(text, size, "track %02d part %02d ", s.c + first, s.h * 16 + s.r - 1);
}

// Writes disk as dir/file, however long dir is, and releases it.
bool write_sample(const char* dir, const char* file, d88_disk* disk)
{
    const size_t size = std::strlen(dir) + 1 + std::strlen(file) + 1;
    char* path = static_cast<char*>(std::malloc(size));
    if (path == nullptr)
        std::puts("error: memory exhausted!");
    else
        std::snprintf(path, size, "%s/%s", dir, file);
    const bool written = path != nullptr && disk != nullptr && write_d88_disk_file(disk, path) == 0;
    if (written)
        std::printf("wrote %s\n", path);
    else if (path != nullptr)
        std::printf("error: write d88 image '%s'\n", path);
    std::free(path);
    free_d88_disk(disk, 1);
    return written;
}

}  // namespace

int run_sample(const command_line& line)
{
    const char* dir = line.words[0];
    if (!make_folder(dir)) {
        std::printf("error: cannot make folder '%s'\n", dir);
        return 1;
    }
    const bool ok = write_sample(dir, "GAME.D88", make_sample_disk("SAMPLE GAME", label_game, 0)) &&
                    write_sample(dir, "DATA1.D88", make_sample_disk("SAMPLE DATA 1", label_data, 0)) &&
                    write_sample(dir, "DATA2.D88", make_sample_disk("SAMPLE DATA 2", label_data, 40));
    return ok ? 0 : 1;
}
