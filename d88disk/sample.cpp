// sample.cpp -- d88disk sample: a game disk and two data disks to try
// vorkast on.  Every sector says in plain text where it belongs, so a hex
// dump shows where each part of a completed track came from.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text.h"
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

constexpr const char* SAMPLE_FILES[] = {"GAME.D88", "DATA1.D88", "DATA2.D88"};

// dir/file, however long dir is; a new string, or null after a message.
char* sample_path(const char* dir, const char* file)
{
    const size_t size = std::strlen(dir) + 1 + std::strlen(file) + 1;
    char* path = static_cast<char*>(std::malloc(size));
    if (path == nullptr)
        print_text_line("error: memory exhausted!");
    else
        std::snprintf(path, size, "%s/%s", dir, file);
    return path;
}

// Writes disk as path and releases it.
bool write_sample(const char* path, d88_disk* disk)
{
    const bool written = disk != nullptr && write_d88_disk_file(disk, path) == 0;
    if (written)
        print_text("wrote %s\n", path);
    else if (disk != nullptr)
        say_unwritable(path, D88_FILE_D88);
    free_d88_disk(disk, 1);
    return written;
}

// Each sample disk, made when it is about to be written.
d88_disk* make_sample(int which)
{
    return which == 0   ? make_sample_disk("SAMPLE GAME", label_game, 0)
           : which == 1 ? make_sample_disk("SAMPLE DATA 1", label_data, 0)
                        : make_sample_disk("SAMPLE DATA 2", label_data, 40);
}

}  // namespace

// Writes the three samples into dir, made when missing.  Unless --overwrite
// is given, an existing sample file keeps all three from being written.
int run_sample(const command_line& line)
{
    const char* dir = line.words[0];
    if (!make_output_folder(dir))
        return 1;
    char* paths[3] = {};
    bool ready = true;
    for (int i = 0; i < 3; ++i) {
        paths[i] = sample_path(dir, SAMPLE_FILES[i]);
        if (paths[i] == nullptr || refuse_existing(paths[i], line.overwrite))
            ready = false;  // each existing file is named
    }
    for (int i = 0; ready && i < 3; ++i)
        ready = write_sample(paths[i], make_sample(i));
    for (char* path : paths)
        std::free(path);
    return ready ? 0 : 1;
}
