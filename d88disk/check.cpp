// check.cpp -- d88disk check: every problem of each image at once, or of the
// whole job of vorkast for every selected track, as text or as JSON.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88disk.h"
#include "job.h"
#include "platform.h"

namespace {

const char* const SEVERITY[] = {"error", "warning", "note"};

// Where a report goes: text lines, or the members of one JSON array.
struct report_target {
    bool json;
    const char* image;  // the image a text line starts with, or null
    int32_t count[3];   // findings by severity
    bool first;         // no JSON member printed yet
};

void discard_message(const char*, void*) {}

// The bytes of the file at path, or null with the system's reason in
// *reason.  The library's own lines are not wanted here: the finding says it.
uint8_t* load_quietly(const char* path, int32_t* size, const char** reason)
{
    set_d88_message_handler(discard_message, nullptr);
    uint8_t* bytes = load_d88_file(path, size);
    set_d88_message_handler(nullptr, nullptr);
    *reason = bytes == nullptr ? describe_unreadable_file(path) : nullptr;
    return bytes;
}

const char* plural(int32_t n, const char* one, const char* many)
{
    return n == 1 ? one : many;
}

void print_counts(const report_target& target)
{
    std::printf("%d %s, %d %s, %d %s\n", static_cast<int>(target.count[0]), plural(target.count[0], "error", "errors"),
                static_cast<int>(target.count[1]), plural(target.count[1], "warning", "warnings"),
                static_cast<int>(target.count[2]), plural(target.count[2], "note", "notes"));
}

// One finding of an image: a line, or a JSON object.
void print_image_finding(const d88_finding* f, void* context)
{
    report_target* target = static_cast<report_target*>(context);
    target->count[f->severity] += 1;
    if (!target->json) {
        char place[96];
        format_finding_place(*f, place, sizeof place);
        std::printf("%s: %s%s%s %s: %s\n", target->image, place, place[0] != '\0' ? ": " : "", SEVERITY[f->severity],
                    f->kind, f->message);
        return;
    }
    std::printf("%s\n        {\"severity\": \"%s\", \"kind\": \"%s\"", target->first ? "" : ",", SEVERITY[f->severity], f->kind);
    const char* const names[] = {"disk", "slot", "index", "offset"};
    const int32_t values[] = {f->disk, f->slot, f->index, f->offset};
    for (int i = 0; i < 4; ++i) {
        if (values[i] >= 0)
            std::printf(", \"%s\": %d", names[i], static_cast<int>(values[i]));
    }
    if (f->c >= 0)
        std::printf(", \"sector\": \"%02X/%02X/%02X\"", static_cast<unsigned>(f->c), static_cast<unsigned>(f->h),
                    static_cast<unsigned>(f->r));
    std::printf(", \"message\": ");
    print_json_string(f->message);
    std::printf("}");
    target->first = false;
}

// Checks one image; whether vorkast can read it and it holds a disk.
bool check_image(const char* path, bool json, bool first_image)
{
    int32_t size = 0;
    const char* reason = nullptr;
    uint8_t* bytes = load_quietly(path, &size, &reason);
    d88_image kept = {};
    report_target target = {json, path, {0, 0, 0}, true};
    const int32_t errors = bytes != nullptr ? scan_d88_image(bytes, size, nullptr, nullptr, &kept) : 1;
    const bool readable = errors == 0;
    if (json) {
        std::printf("%s\n    {\"path\": ", first_image ? "" : ",");
        print_json_string(path);
        std::printf(", \"readable\": %s, \"disks\": %d, \"findings\": [", readable ? "true" : "false",
                    static_cast<int>(kept.disk_count));
    }
    const d88_finding unreadable = {D88_FINDING_ERROR, "file", -1, -1, -1, -1, -1, -1, -1, reason};
    if (bytes == nullptr)
        print_image_finding(&unreadable, &target);
    else if (errors >= 0)
        scan_d88_image(bytes, size, print_image_finding, &target, nullptr);
    const bool usable = readable && kept.disk_count > 0;
    if (json) {
        std::printf("%s]}", target.first ? "" : "\n      ");
    } else {
        std::printf("%s: %s; ", path,
                    !readable ? "not readable by vorkast" : usable ? "readable by vorkast" : "readable, but holds no disk");
        print_counts(target);
    }
    free_d88_image(&kept, 0);
    std::free(bytes);
    return usable;
}

int check_images(const command_line& line)
{
    bool all_usable = true;
    if (line.json)
        std::printf("{\"images\": [");
    for (int i = 0; i < line.word_count; ++i)
        all_usable = check_image(line.words[i], line.json, i == 0) && all_usable;
    if (line.json)
        std::printf("\n]}\n");
    return all_usable ? 0 : 1;
}

// One finding of the job: a line, or a JSON object.
void print_job_finding(const job_finding* f, void* context)
{
    report_target* target = static_cast<report_target*>(context);
    char sector[32] = "";
    if (f->c >= 0)
        std::snprintf(sector, sizeof sector, "%02X/%02X/%02X", static_cast<unsigned>(f->c), static_cast<unsigned>(f->h),
                      static_cast<unsigned>(f->r));
    if (!target->json) {
        if (f->track >= 0)
            std::printf("track %d: ", static_cast<int>(f->track));
        if (f->image != nullptr)
            std::printf("%s%s%s: ", f->image, sector[0] != '\0' ? " " : "", sector);
        std::printf("%s %s: %s\n", SEVERITY[f->severity], f->kind, f->message);
        return;
    }
    std::printf("%s\n    {\"severity\": \"%s\", \"kind\": \"%s\"", target->first ? "" : ",", SEVERITY[f->severity], f->kind);
    if (f->track >= 0)
        std::printf(", \"track\": %d", static_cast<int>(f->track));
    if (f->image != nullptr) {
        std::printf(", \"image\": ");
        print_json_string(f->image);
    }
    if (sector[0] != '\0')
        std::printf(", \"sector\": \"%s\"", sector);
    std::printf(", \"message\": ");
    print_json_string(f->message);
    std::printf("}");
    target->first = false;
}

// The job's images as vorkast takes them, each loaded here; false after
// saying what is wrong with the command line.
bool prepare_job(const command_line& line, job* request)
{
    if (line.word_count > JOB_IMAGE_COUNT) {
        std::printf("error: check --job takes GAME DATA1 [DATA2], not '%s'\n", line.words[JOB_IMAGE_COUNT]);
        return false;
    }
    request->track = ALL_TRACKS;
    uint32_t track = 0;
    if (line.track != nullptr) {
        if (!parse_number(line.track, &track) || static_cast<int32_t>(track) >= TRACK_NUMBER_COUNT) {
            std::printf("error: illegal track number '%s'\n", line.track);
            return false;
        }
        request->track = static_cast<int32_t>(track) < 0 ? ALL_TRACKS : static_cast<int32_t>(track);
    }
    request->index = line.index;
    for (int i = 0; i < line.word_count; ++i)
        request->image[i].name = line.words[i];
    return check_job_images(request);
}

int check_whole_job(const command_line& line)
{
    job request = {};
    if (!prepare_job(line, &request))
        return 1;
    uint8_t* loaded[JOB_IMAGE_COUNT] = {};
    const char* unreadable[JOB_IMAGE_COUNT] = {};
    int32_t errors = 0;
    for (int i = 0; i < JOB_IMAGE_COUNT; ++i) {
        job_image& image = request.image[i];
        if (image.name != nullptr && (loaded[i] = load_quietly(image.name, &image.size, &unreadable[i])) == nullptr)
            ++errors;
        image.bytes = loaded[i];
    }
    job_readiness readiness = {request.track == ALL_TRACKS ? TRACK_NUMBER_COUNT : 1, 0};
    if (errors == 0)
        errors = check_job(request, nullptr, nullptr, &readiness);  // the counts, before the findings
    report_target target = {line.json, nullptr, {0, 0, 0}, true};
    if (line.json)
        std::printf("{\"job\": {\"tracks\": %d, \"ready\": %d, \"findings\": [", static_cast<int>(readiness.tracks),
                    static_cast<int>(readiness.ready));
    for (int i = 0; i < JOB_IMAGE_COUNT; ++i) {
        const job_finding finding = {D88_FINDING_ERROR, "file", -1, request.image[i].name, -1, -1, -1, unreadable[i]};
        if (unreadable[i] != nullptr)
            print_job_finding(&finding, &target);
    }
    if (errors >= 0 && target.first)
        check_job(request, print_job_finding, &target, &readiness);
    if (line.json)
        std::printf("%s]}}\n", target.first ? "" : "\n  ");
    else
        std::printf("%d of %d selected %s ready\n", static_cast<int>(readiness.ready), static_cast<int>(readiness.tracks),
                    plural(readiness.tracks, "track", "tracks"));
    for (uint8_t* bytes : loaded)
        std::free(bytes);
    return errors == 0 ? 0 : 1;
}

}  // namespace

void print_json_string(const char* text)
{
    std::putchar('"');
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != '\0'; ++p) {
        if (*p == '"' || *p == '\\')
            std::printf("\\%c", *p);
        else if (*p < 0x20)
            std::printf("\\u%04X", *p);
        else
            std::putchar(*p);
    }
    std::putchar('"');
}

void format_finding_place(const d88_finding& f, char* out, size_t size)
{
    int n = 0;
    const auto add = [&](const char* format, int a, int b = 0, int c = 0) {
        if (n >= 0 && static_cast<size_t>(n) < size)
            n += std::snprintf(out + n, size - static_cast<size_t>(n), format, a, b, c);
    };
    out[0] = '\0';
    if (f.disk >= 0)
        add("disk %d", f.disk);
    if (f.slot >= 0)
        add(", slot %d", f.slot);
    if (f.index >= 0)
        add(", sector %d", f.index);
    if (f.c >= 0)
        add(" (%02X/%02X/%02X)", f.c, f.h, f.r);
    if (f.offset >= 0)
        add(n > 0 ? " at 0x%08X" : "at 0x%08X", f.offset);
}

int run_check(const command_line& line)
{
    return line.job ? check_whole_job(line) : check_images(line);
}
