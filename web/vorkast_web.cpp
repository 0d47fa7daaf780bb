// vorkast_web.cpp -- the interface of the web page: the whole job, and a
// look into an image, on bytes the page hands over.  No file system is
// involved.  Every line the job and the library report is collected, as the
// console tool prints it with the names of the files the user picked, for
// the page to show (vorkast_web_messages).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88.h"
#include "d88_message.h"
#include "job.h"
#include "numbers.h"

namespace {

// The lines of the last call, one after the other.
struct collected_lines {
    char* text;
    size_t length, room;
};

collected_lines messages = {nullptr, 0, 0};

// Appends a line, growing the text to twice its room when it is full; a
// line that finds no memory is dropped, the console's own "memory
// exhaust!" having been collected before it where memory ran out.
void collect_line(const char* line, void*)
{
    const size_t length = std::strlen(line);
    if (messages.length + length + 1 > messages.room) {
        const size_t room = 2 * (messages.length + length + 1);
        char* text = static_cast<char*>(std::malloc(room));
        if (text == nullptr)
            return;
        if (messages.text != nullptr)
            std::memcpy(text, messages.text, messages.length + 1);
        std::free(messages.text);
        messages = {text, messages.length, room};
    }
    std::memcpy(messages.text + messages.length, line, length + 1);
    messages.length += length;
}

// Starts a call: no lines yet, and every line to the collection.
void start_call()
{
    if (messages.text != nullptr)
        messages.text[0] = '\0';
    messages.length = 0;
    set_d88_message_handler(collect_line, nullptr);
}

// The track number of the page's field (empty: all tracks), or -2 after
// the console tool's message.
int32_t read_track_field(const char* text)
{
    uint32_t track = 0;
    if (text[0] == '\0')
        return ALL_TRACKS;
    if (!parse_number(text, &track) || static_cast<int32_t>(track) >= TRACK_NUMBER_COUNT) {
        print_d88_message("error: illegal track number '%s'\n", text);
        return -2;
    }
    return static_cast<int32_t>(track) < 0 ? ALL_TRACKS : static_cast<int32_t>(track);
}

// The page's fields are fixed: the images the track numbers need must be
// there; false after saying which is missing.
bool check_picked(const job& request)
{
    const int32_t track = request.track;
    const char* missing = request.image[JOB_GAME].name == nullptr ? "error: no game disk image"
                          : request.image[JOB_DATA1].name == nullptr && track < TRACKS_PER_DATA_DISK
                              ? "error: no data disk #1 image"
                          : request.image[JOB_DATA2].name == nullptr && (track < 0 || track >= TRACKS_PER_DATA_DISK)
                              ? "error: no data disk #2 image"
                              : nullptr;
    if (missing != nullptr)
        print_d88_line(missing);
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

// The lines the last call reported, one after the other; kept until the
// next call.
const char* vorkast_web_messages()
{
    return messages.text != nullptr ? messages.text : "";
}

// The whole job of `vorkast [-i index] [-t track] GAME DATA1 DATA2` on
// picked files; a missing file has a null name, and a size below zero says
// that the page could not hand the file's bytes over (JOB_TOO_LARGE,
// JOB_NO_MEMORY).
web_result* vorkast_web_complete(const uint8_t* game, int32_t game_size, const char* game_name, const uint8_t* data1,
                                 int32_t data1_size, const char* data1_name, const uint8_t* data2, int32_t data2_size,
                                 const char* data2_name, int32_t index, const char* track_text)
{
    start_call();
    job request = {{{game_name, game, game_size}, {data1_name, data1, data1_size}, {data2_name, data2, data2_size}},
                   static_cast<uint32_t>(index), read_track_field(track_text)};
    for (job_image& image : request.image) {
        if (image.bytes == nullptr && image.size == 0)
            image.bytes = reinterpret_cast<const uint8_t*>("");  // an empty file, not one to open
    }
    web_result* result = static_cast<web_result*>(std::calloc(1, sizeof(web_result)));
    if (result == nullptr)
        print_d88_line("error: memory exhausted!");
    bool done = result != nullptr && request.track >= ALL_TRACKS && check_picked(request);
    if (done)
        result->output_name = derive_output_name(game_name);
    job_state state = {};
    done = done && result->output_name != nullptr && complete_job(request, &state) == 0 &&
           write_d88_image_to_buffer(&state.image[JOB_GAME], &result->image, &result->size) == 0;
    if (result != nullptr)
        result->status = done ? 0 : 1;
    release_job(&state);
    set_d88_message_handler(nullptr, nullptr);
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
    start_call();
    d88_image image = {};
    json_text json = {nullptr, 0, 0};
    if (read_d88_image_from_named_buffer(&image, bytes, size, name) >= 0) {
        json.room = measure_listing(image);
        json.text = static_cast<char*>(std::malloc(json.room));
        if (json.text == nullptr)
            print_d88_line("error: memory exhausted!");
        add(&json, "[");
        for (const d88_disk* disk = image.disks; disk != nullptr; disk = disk->next) {
            add(&json, disk == image.disks ? "" : ",");
            add_disk(&json, *disk);
        }
        add(&json, "]");
    } else {
        print_d88_message("error: read d88 image '%s'\n", name);
    }
    free_d88_image(&image, 0);
    set_d88_message_handler(nullptr, nullptr);
    return json.text;
}

// A copy of the data of sector `index` of track slot `slot` of disk `disk`;
// its length in *size_out.  Released with vorkast_web_free.
uint8_t* vorkast_web_sector(const uint8_t* bytes, int32_t size, int32_t disk, int32_t slot, int32_t index,
                            int32_t* size_out)
{
    start_call();
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
    set_d88_message_handler(nullptr, nullptr);
    return data;
}

void vorkast_web_free(void* pointer)
{
    std::free(pointer);
}

}  // extern "C"
