// job.cpp -- the job from its images to the completed game image.
#include "job.h"

#include <cstdlib>
#include <cstring>

#include "core/message.h"
#include "numbers.h"
#include "platform.h"

namespace {

// Reads one image of the job: from its file, or from the bytes handed over,
// with the lines the file reader prints for the same bytes.
bool load_job_image(d88_image* image, const job_image& source)
{
    int32_t result = -1;
    if (source.bytes == nullptr && source.size == 0)
        result = read_d88_image_file(image, source.name);
    else if (source.size == JOB_TOO_LARGE)
        print_d88_message("file too large '%s'\n", source.name);
    else if (source.size == JOB_NO_MEMORY)
        print_d88_line("memory exhaust!");
    else
        result = read_d88_image_from_named_buffer(image, source.bytes, source.size, source.name);
    if (result < 0)
        print_d88_message("error: read d88 image '%s'\n", source.name);
    return result >= 0;
}

// Reads each named image and chooses its disk: the index's disk of the game
// image, the first disk of each data image.
bool load_job_images(const job& j, job_state* state)
{
    for (int slot = 0; slot < JOB_IMAGE_COUNT; ++slot) {
        const job_image& source = j.image[slot];
        if (source.name == nullptr)
            continue;
        if (!load_job_image(&state->image[slot], source))
            return false;
        const int32_t index = slot == JOB_GAME ? static_cast<int32_t>(j.index) : 0;
        state->disk[slot] = get_d88_disk(&state->image[slot], index);
        if (state->disk[slot] == nullptr) {
            print_d88_message("error: get disk %d from image '%s'\n", static_cast<int>(index), source.name);
            return false;
        }
    }
    return true;
}

}  // namespace

bool is_image_needed(int slot, int32_t chosen)
{
    return slot == JOB_GAME || (slot == JOB_DATA1 ? chosen < TRACKS_PER_DATA_DISK
                                                  : chosen < 0 || chosen >= TRACKS_PER_DATA_DISK);
}

bool parse_track_number(const char* text, int32_t* track)
{
    uint32_t number = 0;
    if (!parse_number(text, &number) || static_cast<int32_t>(number) >= TRACK_NUMBER_COUNT) {
        print_d88_message("error: illegal track number '%s'\n", text);
        return false;
    }
    *track = static_cast<int32_t>(number) < 0 ? ALL_TRACKS : static_cast<int32_t>(number);
    return true;
}

bool check_job_images(job* j)
{
    const char* missing = j->image[JOB_GAME].name == nullptr    ? "error: no game disk image"
                          : j->image[JOB_DATA1].name == nullptr ? "error: no data disk #1 image"
                          : j->image[JOB_DATA2].name == nullptr && j->track == ALL_TRACKS
                              ? "error: no data disk #2 image"
                              : nullptr;
    if (missing != nullptr) {
        print_d88_line(missing);
        return false;
    }
    if (j->image[JOB_DATA2].name == nullptr && j->track >= TRACKS_PER_DATA_DISK) {
        j->image[JOB_DATA2] = j->image[JOB_DATA1];
        j->image[JOB_DATA1] = job_image{};
    }
    return true;
}

int32_t complete_job(const job& j, job_state* state)
{
    uint8_t track_buffer[TRACK_DATA_SIZE];
    if (!load_job_images(j, state))
        return -1;
    return transfer_tracks(state->disk[JOB_GAME], state->disk[JOB_DATA1], state->disk[JOB_DATA2], j.track,
                           track_buffer);
}

void release_job(job_state* state)
{
    for (d88_image& image : state->image)
        free_d88_image(&image, 0);
    std::memset(state->disk, 0, sizeof state->disk);
}

// GAME.D88 becomes GAME.NEW.D88 and GAME becomes GAME.NEW (with the tag
// ".NEW"); only a dot in the last path component counts, so folders (and a
// drive) keep their names.
char* derive_tagged_name(const char* path, const char* tag)
{
    const size_t length = std::strlen(path), tag_length = std::strlen(tag);
    char* name = static_cast<char*>(std::malloc(length + tag_length + 1));
    if (name == nullptr) {
        print_d88_line("error: memory exhausted!");
        return nullptr;
    }
    const char* dot = std::strrchr(file_name_part(path), '.');
    const size_t stem = dot != nullptr ? static_cast<size_t>(dot - path) : length;
    std::memcpy(name, path, stem);
    std::memcpy(name + stem, tag, tag_length);
    std::memcpy(name + stem + tag_length, path + stem, length - stem + 1);
    return name;
}

char* derive_output_name(const char* path)
{
    return derive_tagged_name(path, ".NEW");
}
