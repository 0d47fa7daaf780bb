// vorkast_web.cpp -- the interface of the web page: the whole job, and a
// look into an image, on bytes the page hands over.  No file system is
// involved; every message is a line on standard output, as the console tool
// prints it, with the names of the files the user picked.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88.h"
#include "vorkast.h"

namespace {

// One picked file: its bytes and its name, or none.  A size below zero
// stands for a file the page could not hand over.
struct picked_file {
    const uint8_t* bytes;
    int32_t size;
    const char* name;
};

constexpr int32_t TOO_LARGE = -1;  // 2 GiB or more
constexpr int32_t NO_MEMORY = -2;  // no room in the page's memory for its bytes

// Reads a picked file as the console tool reads a file: the same lines for
// the same bytes, and for a file that could not be read whole.
bool load_picked(d88_image* image, const picked_file& file)
{
    if (file.size == TOO_LARGE)
        std::printf("file too large '%s'\n", file.name);
    else if (file.size == NO_MEMORY)
        std::puts("memory exhaust!");
    else if (file.size <= 0)
        std::printf("read error '%s'\n", file.name);
    else if (read_d88_image_from_buffer(image, file.bytes, file.size) < 0)
        std::printf("read image data error '%s'\n", file.name);
    else
        return true;
    std::printf("error: read d88 image '%s'\n", file.name);
    return false;
}

bool load_disk(d88_image* image, d88_disk** disk, const picked_file& file, int32_t index)
{
    if (file.name == nullptr)
        return true;
    if (!load_picked(image, file))
        return false;
    *disk = get_d88_disk(image, index);
    if (*disk == nullptr)
        std::printf("error: get disk %d from image '%s'\n", static_cast<int>(index), file.name);
    return *disk != nullptr;
}

// The track number of the page's field (empty: all tracks, -1), or -2
// after the console tool's message.
int32_t read_track_field(const char* text)
{
    uint32_t track = 0;
    if (text[0] == '\0')
        return -1;
    if (!parse_number(text, &track) || static_cast<int32_t>(track) >= TRACK_NUMBER_COUNT) {
        std::printf("error: illegal track number '%s'\n", text);
        return -2;
    }
    return static_cast<int32_t>(track) < 0 ? -1 : static_cast<int32_t>(track);
}

// The images the track numbers need are there; false after saying which is
// missing.
bool check_picked(const picked_file files[3], int32_t track)
{
    const char* missing = files[0].name == nullptr ? "error: no game disk image"
                          : files[1].name == nullptr && track < TRACKS_PER_DATA_DISK ? "error: no data disk #1 image"
                          : files[2].name == nullptr && (track < 0 || track >= TRACKS_PER_DATA_DISK)
                              ? "error: no data disk #2 image"
                              : nullptr;
    if (missing != nullptr)
        std::puts(missing);
    return missing == nullptr;
}

// Text written into a buffer sized beforehand from the records.
struct json_text {
    char* text;
    size_t length, room;
};

// Appends one formatted piece; text that would not fit (the room was
// measured too small) drops the whole listing rather than a part of it.
void add(json_text* json, const char* format, long value = 0)
{
    if (json->text == nullptr)
        return;
    const int n = std::snprintf(json->text + json->length, json->room - json->length, format, value);
    if (n < 0 || static_cast<size_t>(n) >= json->room - json->length) {
        std::free(json->text);
        json->text = nullptr;
        return;
    }
    json->length += static_cast<size_t>(n);
}

// Room enough for the listing of every disk: a name and the fields of each
// disk, a slot number per track, three numbers per sector.
size_t measure_listing(const d88_image& image)
{
    size_t room = 16;
    for (const d88_disk* disk = image.disks; disk != nullptr; disk = disk->next) {
        room += 200;
        for (const d88_track& track : disk->track)
            room += track.sectors != nullptr ? 40 + 24 * static_cast<size_t>(track.count) : 0;
    }
    return room;
}

void add_disk(json_text* json, const d88_disk& disk)
{
    add(json, "{\"name\":[");
    for (int i = 0; i < 16; ++i)
        add(json, i == 0 ? "%ld" : ",%ld", static_cast<unsigned char>(disk.name[i]));
    add(json, "],\"type\":%ld", disk.disk_type);
    add(json, ",\"protected\":%ld", disk.write_protect != 0);
    add(json, ",\"size\":%ld,\"tracks\":[", disk.disk_size);
    bool first = true;
    for (int slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const d88_track& track = disk.track[slot];
        if (track.sectors == nullptr)
            continue;
        add(json, first ? "{\"slot\":%ld,\"sectors\":[" : ",{\"slot\":%ld,\"sectors\":[", slot);
        for (int32_t i = 0; i < track.count; ++i) {
            add(json, i == 0 ? "[%ld" : ",[%ld", track.sectors[i].r);
            add(json, ",%ld", track.sectors[i].n);
            add(json, ",%ld]", track.sectors[i].data_size);
        }
        add(json, "]}");
        first = false;
    }
    add(json, "]}");
}

}  // namespace

extern "C" {

// What a completed job hands back: the status (0 when the image was
// completed), the image's bytes and the name the console tool would give
// the output file.  Released with vorkast_web_release.
struct web_result {
    int32_t status;
    uint8_t* image;
    int32_t size;
    char* output_name;
};

// The whole job of `vorkast [-i index] [-t track] GAME DATA1 DATA2` on
// picked files; a missing file has a null name.
web_result* vorkast_web_complete(const uint8_t* game, int32_t game_size, const char* game_name, const uint8_t* data1,
                                 int32_t data1_size, const char* data1_name, const uint8_t* data2, int32_t data2_size,
                                 const char* data2_name, int32_t index, const char* track_text)
{
    const picked_file files[3] = {{game, game_size, game_name}, {data1, data1_size, data1_name},
                                  {data2, data2_size, data2_name}};
    web_result* result = static_cast<web_result*>(std::calloc(1, sizeof(web_result)));
    if (result == nullptr)
        std::puts("error: memory exhausted!");
    d88_image images[3] = {};
    d88_disk* disks[3] = {};
    const int32_t track = read_track_field(track_text);
    bool done = result != nullptr && track >= -1 && check_picked(files, track);
    if (done)
        result->output_name = derive_output_name(game_name);
    done = done && result->output_name != nullptr;
    for (int slot = 0; done && slot < 3; ++slot)
        done = load_disk(&images[slot], &disks[slot], files[slot], slot == 0 ? index : 0);
    uint8_t buffer[TRACK_DATA_SIZE];
    done = done && transfer_tracks(disks[0], disks[1], disks[2], track, buffer) == 0 &&
           write_d88_image_to_buffer(&images[0], &result->image, &result->size) == 0;
    if (result != nullptr)
        result->status = done ? 0 : 1;
    for (d88_image& image : images)
        free_d88_image(&image, 0);
    std::fflush(stdout);
    return result;
}

void vorkast_web_release(web_result* result)
{
    if (result != nullptr) {
        std::free(result->image);
        std::free(result->output_name);
    }
    std::free(result);
}

// The image's disks and tracks as JSON: for each disk its 16 name bytes (the
// page decodes them), media byte, write protection, size, and per present
// track slot its sectors as [R, N, data size].  Null after the reader's
// lines; released with vorkast_web_free.
char* vorkast_web_list(const uint8_t* bytes, int32_t size, const char* name)
{
    d88_image image = {};
    json_text json = {nullptr, 0, 0};
    if (load_picked(&image, {bytes, size, name})) {
        json.room = measure_listing(image);
        json.text = static_cast<char*>(std::malloc(json.room));
        if (json.text == nullptr)
            std::puts("error: memory exhausted!");
        add(&json, "[");
        for (const d88_disk* disk = image.disks; disk != nullptr; disk = disk->next) {
            add(&json, disk == image.disks ? "" : ",");
            add_disk(&json, *disk);
        }
        add(&json, "]");
    }
    free_d88_image(&image, 0);
    std::fflush(stdout);
    return json.text;
}

// A copy of the data of sector `index` of track slot `slot` of disk `disk`;
// its length in *size_out.  Released with vorkast_web_free.
uint8_t* vorkast_web_sector(const uint8_t* bytes, int32_t size, int32_t disk, int32_t slot, int32_t index,
                            int32_t* size_out)
{
    d88_image image = {};
    uint8_t* data = nullptr;
    *size_out = 0;
    const bool loaded = size > 0 && read_d88_image_from_buffer(&image, bytes, size) >= 0;
    const d88_disk* found = loaded ? get_d88_disk(&image, disk) : nullptr;
    const d88_track* track = found != nullptr && slot >= 0 && slot < D88_TRACK_MAX ? &found->track[slot] : nullptr;
    if (track != nullptr && index >= 0 && index < track->count && track->sectors != nullptr) {
        const d88_sector& sector = track->sectors[index];
        data = static_cast<uint8_t*>(std::malloc(sector.data_size > 0 ? static_cast<size_t>(sector.data_size) : 1));
        if (data != nullptr && sector.data_size > 0)
            std::memcpy(data, sector.data, static_cast<size_t>(sector.data_size));
        *size_out = data != nullptr ? sector.data_size : 0;
    }
    free_d88_image(&image, 0);
    std::fflush(stdout);
    return data;
}

void vorkast_web_free(void* pointer)
{
    std::free(pointer);
}

}  // extern "C"
