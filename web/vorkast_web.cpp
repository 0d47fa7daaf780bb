// vorkast_web.cpp -- the interface of the web page: the whole job, its
// check, a look into an image, and the formats an image is read from and
// saved in, on bytes the page hands over (the files inside a disk are
// web_files.cpp's).  No file system of the machine is involved.  Every line
// the job and the library report is collected, as the console tools print
// it with the names of the files the user picked, for the page to show
// (vorkast_web_messages); answers with more than a number come as JSON text.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88.h"
#include "core/message.h"
#include "formats.h"
#include "job.h"
#include "numbers.h"
#include "repair.h"
#include "web_glue.h"

void append(growing_text* out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (out->failed || length < 0)
        return;
    const size_t needed = out->length + static_cast<size_t>(length) + 1;
    if (needed > out->room) {
        char* text = static_cast<char*>(std::malloc(2 * needed));
        if (text == nullptr) {
            out->failed = true;
            return;
        }
        if (out->text != nullptr)
            std::memcpy(text, out->text, out->length + 1);
        std::free(out->text);
        out->text = text;
        out->room = 2 * needed;
    }
    va_start(args, format);
    std::vsnprintf(out->text + out->length, out->room - out->length, format, args);
    va_end(args);
    out->length += static_cast<size_t>(length);
}

void append_json_string(growing_text* out, const char* text)
{
    append(out, "\"");
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != '\0'; ++p) {
        if (*p == '"' || *p == '\\')
            append(out, "\\%c", *p);
        else if (*p < 0x20)
            append(out, "\\u%04X", *p);
        else
            append(out, "%c", *p);
    }
    append(out, "\"");
}

void append_json_bytes(growing_text* out, const char* bytes, size_t most)
{
    append(out, "[");
    for (size_t i = 0; i < most && bytes[i] != '\0'; ++i)
        append(out, i == 0 ? "%u" : ",%u", static_cast<unsigned char>(bytes[i]));
    append(out, "]");
}

char* hand_over(growing_text* out)
{
    if (!out->failed && out->text != nullptr)
        return out->text;
    std::free(out->text);
    *out = {};
    print_d88_line("error: memory exhausted!");
    return nullptr;
}

namespace {

// The lines of the last call, one after the other.
growing_text messages = {nullptr, 0, 0, false};
d88_message_route found_route = {nullptr, nullptr};  // the handler a call stands in for

void collect_line(const char* line, void*)
{
    append(&messages, "%s", line);
}

}  // namespace

void start_call()
{
    if (messages.text != nullptr)
        messages.text[0] = '\0';
    messages.length = 0;
    messages.failed = false;
    found_route = take_d88_messages(collect_line, nullptr);
}

void end_call()
{
    give_back_d88_messages(found_route);
}

bool say_unpicked(int32_t size, const char* name)
{
    if (size == JOB_TOO_LARGE)
        print_d88_message("file too large '%s'\n", name);
    else if (size == JOB_NO_MEMORY)
        print_d88_line("memory exhaust!");
    return size == JOB_TOO_LARGE || size == JOB_NO_MEMORY;
}

int32_t read_picked_image(d88_image* image, const uint8_t* bytes, int32_t size, const char* name)
{
    return say_unpicked(size, name) ? -1 : read_d88_image_from_named_buffer(image, bytes, size, name);
}

web_result* new_result()
{
    web_result* result = static_cast<web_result*>(std::calloc(1, sizeof(web_result)));
    if (result == nullptr)
        print_d88_line("error: memory exhausted!");
    else
        result->status = 1;
    return result;
}

namespace {

// The end of a finding's JSON object: its sector's ID (or null) and its
// message.
void append_sector_and_message(growing_text* json, int32_t c, int32_t h, int32_t r, const char* message)
{
    if (c >= 0)
        append(json, ",\"sector\":\"%02X/%02X/%02X\"", static_cast<unsigned>(c), static_cast<unsigned>(h),
               static_cast<unsigned>(r));
    else
        append(json, ",\"sector\":null");
    append(json, ",\"message\":");
    append_json_string(json, message);
    append(json, "}");
}

}  // namespace

void append_image_finding(const d88_finding* f, void* context)
{
    json_list* list = static_cast<json_list*>(context);
    append(list->json, "%s{\"severity\":\"%s\",\"kind\":\"%s\",\"disk\":%d,\"slot\":%d,\"index\":%d,\"offset\":%d",
           list->members++ > 0 ? "," : "", d88_severity_name(f->severity), d88_finding_kind_name(f->kind_id),
           static_cast<int>(f->disk), static_cast<int>(f->slot), static_cast<int>(f->index), static_cast<int>(f->offset));
    append_sector_and_message(list->json, f->c, f->h, f->r, f->message);
}

namespace {

// The track number of the page's field (empty: all tracks), or -2 after
// the console tool's message.
int32_t read_track_field(const char* text)
{
    int32_t track = ALL_TRACKS;
    return text[0] == '\0' || parse_track_number(text, &track) ? track : -2;
}

// The page's fields are fixed: the images the track numbers need must be
// there; false after saying which is missing.
bool check_picked(const job& request)
{
    const char* const missing[JOB_IMAGE_COUNT] = {"error: no game disk image", "error: no data disk #1 image",
                                                  "error: no data disk #2 image"};
    for (int slot = 0; slot < JOB_IMAGE_COUNT; ++slot) {
        if (request.image[slot].name == nullptr && is_image_needed(slot, request.track)) {
            print_d88_line(missing[slot]);
            return false;
        }
    }
    return true;
}

// The job of the page's fields, as the exported functions take them: a
// picked file with no bytes is an empty file, not one to open; a track field
// that is no track number gives track -2 after the console's line.
job picked_job(const uint8_t* game, int32_t game_size, const char* game_name, const uint8_t* data1, int32_t data1_size,
               const char* data1_name, const uint8_t* data2, int32_t data2_size, const char* data2_name, int32_t index,
               const char* track_text)
{
    job request = {{{game_name, game, game_size}, {data1_name, data1, data1_size}, {data2_name, data2, data2_size}},
                   static_cast<uint32_t>(index), read_track_field(track_text)};
    for (job_image& image : request.image) {
        if (image.bytes == nullptr && image.size == 0)
            image.bytes = reinterpret_cast<const uint8_t*>("");
    }
    return request;
}

// One disk: its 16 name bytes (the page decodes them), media byte, write
// protection, size, and per present slot its sectors as
// [C, H, R, N, data size, status, deleted mark, density].
void append_disk(growing_text* json, const d88_disk& disk)
{
    append(json, "{\"name\":[");
    for (int i = 0; i < 16; ++i)
        append(json, i == 0 ? "%u" : ",%u", static_cast<unsigned char>(disk.name[i]));
    append(json, "],\"type\":%u,\"protected\":%s,\"size\":%d,\"tracks\":[", disk.disk_type,
           disk.write_protect != 0 ? "true" : "false", static_cast<int>(disk.disk_size));
    const char* separator = "";
    for (int slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const d88_track& track = disk.track[slot];
        if (track.sectors == nullptr)
            continue;
        append(json, "%s{\"slot\":%d,\"sectors\":[", separator, slot);
        for (int32_t i = 0; i < track.count; ++i) {
            const d88_sector& s = track.sectors[i];
            append(json, "%s[%u,%u,%u,%u,%d,%u,%u,%u]", i == 0 ? "" : ",", s.c, s.h, s.r, s.n,
                   static_cast<int>(s.data_size), s.status, s.deleted_mark, s.density);
        }
        append(json, "]}");
        separator = ",";
    }
    append(json, "]}");
}

// Appends a finding of the job's check as a JSON object.
void append_job_finding(const job_finding* f, void* context)
{
    json_list* list = static_cast<json_list*>(context);
    append(list->json, "%s{\"severity\":\"%s\",\"kind\":\"%s\",\"track\":%d,\"image\":",
           list->members++ > 0 ? "," : "", d88_severity_name(f->severity), d88_finding_kind_name(f->kind),
           static_cast<int>(f->track));
    if (f->image != nullptr)
        append_json_string(list->json, f->image);
    else
        append(list->json, "null");
    append_sector_and_message(list->json, f->c, f->h, f->r, f->message);
}

// The format picked bytes are read as, chosen as d88disk convert chooses
// it; D88 when neither content nor name tells, so that the reader says why
// it refuses them.
int32_t choose_format(const uint8_t* bytes, int32_t size, const char* name)
{
    const int32_t format = choose_read_format(bytes, size, name);
    return format >= 0 ? format : D88_FILE_D88;
}

// What a flux dump shows of its tracks, and what is not plain in them.
struct flux_report {
    json_list findings;
    growing_text* tracks;
    int32_t track_count;
};

void append_flux_finding(const d88_finding* finding, void* context)
{
    append_image_finding(finding, &static_cast<flux_report*>(context)->findings);
}

// One track's facts as [slot, revolutions, rpm (hundredths), kbit/s, fm,
// [found per revolution], [good per revolution]].
void append_flux_track(const d88_flux_track* t, void* context)
{
    flux_report* report = static_cast<flux_report*>(context);
    const int32_t shown = t->revolutions < 8 ? t->revolutions : 8;
    append(report->tracks, "%s[%d,%d,%d,%d,%d,[", report->track_count++ > 0 ? "," : "", static_cast<int>(t->slot),
           static_cast<int>(t->revolutions), static_cast<int>(t->rpm), static_cast<int>(t->kbit), static_cast<int>(t->fm));
    for (int32_t r = 0; r < shown; ++r)
        append(report->tracks, r == 0 ? "%d" : ",%d", static_cast<int>(t->found[r]));
    append(report->tracks, "],[");
    for (int32_t r = 0; r < shown; ++r)
        append(report->tracks, r == 0 ? "%d" : ",%d", static_cast<int>(t->correct[r]));
    append(report->tracks, "]]");
}

// Reads picked bytes of format into image: 1, or -1 after the reader's
// lines; a flux dump's report into json's "findings" and "tracks".
int32_t import_picked(d88_image* image, const uint8_t* bytes, int32_t size, int32_t format, growing_text* json)
{
    if (format == D88_FILE_RAW)
        return import_d88_raw_image(image, bytes, size, -1);
    if (format != D88_FILE_SCP)
        return import_d88_image(image, bytes, size, format);
    growing_text tracks = {nullptr, 0, 0, false};
    flux_report report = {{json, 0}, &tracks, 0};
    append(json, ",\"findings\":[");
    const uint8_t* const buffers[1] = {bytes};
    const int32_t read = import_d88_flux_image(image, D88_FILE_SCP, buffers, &size, nullptr, 1, append_flux_finding,
                                               append_flux_track, &report);
    append(json, "],\"tracks\":[%s]", tracks.text != nullptr ? tracks.text : "");
    json->failed = json->failed || tracks.failed;
    std::free(tracks.text);
    return read;
}

}  // namespace

extern "C" {

// The lines the last call reported, one after the other; kept until the
// next call.
const char* vorkast_web_messages()
{
    return messages.text != nullptr ? messages.text : "";
}

// The whole job of `vorkast [-i index] [-t track] GAME DATA1 DATA2` on
// picked files; a missing file has a null name, and a size below zero says
// that the page could not hand the file's bytes over (JOB_TOO_LARGE,
// JOB_NO_MEMORY).  The result's text is the output's name.
web_result* vorkast_web_complete(const uint8_t* game, int32_t game_size, const char* game_name, const uint8_t* data1,
                                 int32_t data1_size, const char* data1_name, const uint8_t* data2, int32_t data2_size,
                                 const char* data2_name, int32_t index, const char* track_text)
{
    start_call();
    const job request = picked_job(game, game_size, game_name, data1, data1_size, data1_name, data2, data2_size,
                                   data2_name, index, track_text);
    web_result* result = new_result();
    bool done = result != nullptr && request.track >= ALL_TRACKS && check_picked(request);
    if (done)
        result->text = derive_output_name(game_name);
    job_state state = {};
    done = done && result->text != nullptr && complete_job(request, &state) == 0 &&
           write_d88_image_to_buffer(&state.image[JOB_GAME], &result->image, &result->size) == 0;
    if (result != nullptr)
        result->status = done ? 0 : 1;
    release_job(&state);
    end_call();
    return result;
}

// d88disk repair of one picked image, without --force or --media: its
// changes (the lines of vorkast_web_messages) and, when the repair may be
// written, the repaired image and its name, NAME.FIXED.EXT, as the text.
// Released with vorkast_web_release.
web_result* vorkast_web_repair(const uint8_t* bytes, int32_t size, const char* name)
{
    start_call();
    web_result* result = new_result();
    d88_image kept = {};
    const bool done = result != nullptr && repair_d88_bytes(bytes, size, name, -1, false, &kept) == 0 &&
                      (result->text = derive_tagged_name(name, ".FIXED")) != nullptr &&
                      write_d88_image_to_buffer(&kept, &result->image, &result->size) == 0;
    if (result != nullptr)
        result->status = done ? 0 : 1;
    free_d88_image(&kept, 0);
    end_call();
    return result;
}

void vorkast_web_release(web_result* result)
{
    if (result != nullptr) {
        std::free(result->image);
        std::free(result->text);
    }
    std::free(result);
}

// Whether the job of the picked files would complete, checked for every
// selected track at once: {"tracks":T,"ready":R,"findings":[...]}, each
// finding with its severity, kind, track, image, sector and message.  An
// unreadable track field gives null after the console's line.
char* vorkast_web_check(const uint8_t* game, int32_t game_size, const char* game_name, const uint8_t* data1,
                        int32_t data1_size, const char* data1_name, const uint8_t* data2, int32_t data2_size,
                        const char* data2_name, int32_t index, const char* track_text)
{
    start_call();
    const job request = picked_job(game, game_size, game_name, data1, data1_size, data1_name, data2, data2_size,
                                   data2_name, index, track_text);
    growing_text json = {nullptr, 0, 0, false};
    job_readiness readiness = {0, 0};
    if (request.track >= ALL_TRACKS) {
        append(&json, "{\"findings\":[");
        json_list list = {&json, 0};
        if (check_job(request, append_job_finding, &list, &readiness) < 0)
            json.failed = true;
        append(&json, "],\"tracks\":%d,\"ready\":%d}", static_cast<int>(readiness.tracks),
               static_cast<int>(readiness.ready));
    }
    char* text = request.track >= ALL_TRACKS ? hand_over(&json) : nullptr;
    end_call();
    return text;
}

// The image's disks and tracks as JSON (append_disk); null after the
// reader's lines.  Released with vorkast_web_free.
char* vorkast_web_list(const uint8_t* bytes, int32_t size, const char* name)
{
    start_call();
    d88_image image = {};
    growing_text json = {nullptr, 0, 0, false};
    char* text = nullptr;
    if (read_picked_image(&image, bytes, size, name) >= 0) {
        append(&json, "[");
        for (const d88_disk* disk = image.disks; disk != nullptr; disk = disk->next) {
            append(&json, disk == image.disks ? "" : ",");
            append_disk(&json, *disk);
        }
        append(&json, "]");
        text = hand_over(&json);
    } else {
        print_d88_message("error: read d88 image '%s'\n", name);
    }
    free_d88_image(&image, 0);
    end_call();
    return text;
}

// Every finding of the image's check, as a JSON array of objects with
// severity, kind, disk, slot, index, offset, sector and message.
char* vorkast_web_check_image(const uint8_t* bytes, int32_t size)
{
    start_call();
    growing_text json = {nullptr, 0, 0, false};
    append(&json, "[");
    json_list list = {&json, 0};
    if (scan_d88_image(bytes, size, append_image_finding, &list, nullptr) < 0)
        json.failed = true;
    append(&json, "]");
    char* text = hand_over(&json);
    end_call();
    return text;
}

// A copy of the data of sector `index` of track slot `slot` of disk `disk`
// of the image `name`; its length in *size_out.  Null after the reader's
// lines, or with none for a place that holds no sector.  Released with
// vorkast_web_free.
uint8_t* vorkast_web_sector(const uint8_t* bytes, int32_t size, const char* name, int32_t disk, int32_t slot,
                            int32_t index, int32_t* size_out)
{
    start_call();
    d88_image image = {};
    uint8_t* data = nullptr;
    *size_out = 0;
    const bool loaded = read_picked_image(&image, bytes, size, name) >= 0;
    if (!loaded)
        print_d88_message("error: read d88 image '%s'\n", name);
    const d88_disk* found = loaded ? get_d88_disk(&image, disk) : nullptr;
    const d88_track* track = found != nullptr && slot >= 0 && slot < D88_TRACK_MAX ? &found->track[slot] : nullptr;
    if (track != nullptr && index >= 0 && index < track->count && track->sectors != nullptr) {
        const d88_sector& sector = track->sectors[index];
        data = static_cast<uint8_t*>(std::malloc(sector.data_size > 0 ? static_cast<size_t>(sector.data_size) : 1));
        if (data == nullptr)
            print_d88_line("error: memory exhausted!");
        else if (sector.data_size > 0)
            std::memcpy(data, sector.data, static_cast<size_t>(sector.data_size));
        *size_out = data != nullptr ? sector.data_size : 0;
    }
    free_d88_image(&image, 0);
    end_call();
    return data;
}

// A picked image of any format the library reads, known by its content
// (else by its name: a note says when they differ) as d88disk convert
// knows it, as the bytes of a D88 image for the page to look into: status
// 0 and, but for a D88 image (whose own bytes serve), the D88 bytes of
// what was read; status 1 after the reader's lines.  The text is JSON:
// {"format":NAME}, and for a flux dump what its tracks show: "findings"
// (weak sectors, CRC errors, tracks with no sector, a rate unlike the
// others') and "tracks" (append_flux_track).  Released with
// vorkast_web_release.
web_result* vorkast_web_open(const uint8_t* bytes, int32_t size, const char* name)
{
    start_call();
    web_result* result = new_result();
    const int32_t format = result != nullptr ? choose_format(bytes, size, name) : -1;
    growing_text json = {nullptr, 0, 0, false};
    d88_image image = {};
    append(&json, "{\"format\":\"%s\"", format >= 0 ? d88_file_format_name(format) : "");
    bool read = format == D88_FILE_D88;
    if (format > D88_FILE_D88) {
        read = !say_unpicked(size, name) && size > 0 && import_picked(&image, bytes, size, format, &json) > 0 &&
               write_d88_image_to_buffer(&image, &result->image, &result->size) == 0;
        if (!read)
            print_d88_message("error: read %s image '%s'\n", d88_file_format_name(format), name);
    }
    append(&json, "}");
    if (result != nullptr) {
        result->text = hand_over(&json);
        result->status = read && result->text != nullptr ? 0 : 1;
    } else {
        std::free(json.text);
    }
    free_d88_image(&image, 0);
    end_call();
    return result;
}

// Disk `disk` of the D88 image `name` in another format (by its name:
// "imd", "hfe", ...): status 0 and the bytes when the format carries all of it or
// force is given, else 1; the text holds the losses and notes as a JSON
// array of findings (as vorkast_web_check_image gives them) in either case.
// Released with vorkast_web_release.
web_result* vorkast_web_export(const uint8_t* bytes, int32_t size, const char* name, int32_t disk,
                               const char* format_name, int32_t force)
{
    start_call();
    web_result* result = new_result();
    d88_image image = {};
    growing_text json = {nullptr, 0, 0, false};
    json_list list = {&json, 0};
    append(&json, "[");
    const int32_t disks = result != nullptr ? read_picked_image(&image, bytes, size, name) : -1;
    const d88_disk* chosen = disks > 0 ? get_d88_disk(&image, disk) : nullptr;
    if (result != nullptr && disks < 0)
        print_d88_message("error: read d88 image '%s'\n", name);
    else if (result != nullptr && chosen == nullptr)
        print_d88_message("error: no disk %d in '%s'\n", static_cast<int>(disk), name);
    const d88_export_options options = {force, 0};
    const int32_t losses = chosen != nullptr && result != nullptr
                               ? export_d88_disk(chosen, find_d88_file_format(format_name), &options,
                                                 append_image_finding, &list, &result->image, &result->size)
                               : -1;
    append(&json, "]");
    if (result != nullptr) {
        result->text = hand_over(&json);
        result->status = losses >= 0 && result->image != nullptr && result->text != nullptr ? 0 : 1;
    } else {
        std::free(json.text);
    }
    free_d88_image(&image, 0);
    end_call();
    return result;
}

void vorkast_web_free(void* pointer)
{
    std::free(pointer);
}

}  // extern "C"
