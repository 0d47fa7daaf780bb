// check.cpp -- d88disk check: every problem of each image at once, or of the
// whole job of vorkast for every selected track, as text or as JSON.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "report.h"
#include "text.h"
#include "core/message.h"
#include "d88disk.h"
#include "job.h"
#include "platform.h"

namespace {

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
    const d88_message_route found = take_d88_messages(discard_message, nullptr);
    uint8_t* bytes = load_d88_file(path, size);
    give_back_d88_messages(found);
    *reason = bytes == nullptr ? describe_unreadable_file(path) : nullptr;
    return bytes;
}

const char* plural(int32_t n, const char* one, const char* many)
{
    return n == 1 ? one : many;
}

void print_counts(const report_target& target)
{
    print_text("%d %s, %d %s, %d %s\n", static_cast<int>(target.count[0]), plural(target.count[0], "error", "errors"),
               static_cast<int>(target.count[1]), plural(target.count[1], "warning", "warnings"),
               static_cast<int>(target.count[2]), plural(target.count[2], "note", "notes"));
}

// The end of a finding's JSON object: its sector's ID (where it has one)
// and its message.
void print_json_end(int32_t c, int32_t h, int32_t r, const char* message, report_target* target)
{
    if (c >= 0)
        print_text(", \"sector\": \"%02X/%02X/%02X\"", static_cast<unsigned>(c), static_cast<unsigned>(h),
                   static_cast<unsigned>(r));
    print_text(", \"message\": ");
    print_json_string(message);
    print_text("}");
    target->first = false;
}

// One finding of an image as a JSON object.
void print_image_json(const d88_finding& f, report_target* target)
{
    print_text("%s\n        {\"severity\": \"%s\", \"kind\": \"%s\"", target->first ? "" : ",",
               d88_severity_name(f.severity), d88_finding_kind_name(f.kind_id));
    const char* const names[] = {"disk", "slot", "index", "offset"};
    const int32_t values[] = {f.disk, f.slot, f.index, f.offset};
    for (int i = 0; i < 4; ++i) {
        if (values[i] >= 0)
            print_text(", \"%s\": %d", names[i], static_cast<int>(values[i]));
    }
    print_json_end(f.c, f.h, f.r, f.message, target);
}

// An image's findings, counted by severity: text lines (those of one kind
// and cause at consecutive places folded into one), or JSON objects.
void print_image_findings(const kept_findings<d88_finding>& found, report_target* target)
{
    for (int32_t i = 0; i < found.count; ++i)
        target->count[found.items[i].severity] += 1;
    for (int32_t i = 0; target->json && i < found.count; ++i)
        print_image_json(found.items[i], target);
    if (!target->json)
        print_finding_lines(found.items, found.count, target->image);
}

// Scans the image's bytes once: its findings, and what the scan keeps of
// it.  -1 after a message when memory runs out.
int32_t scan_image(const uint8_t* bytes, int32_t size, kept_findings<d88_finding>* found, d88_image* kept)
{
    const int32_t errors = scan_d88_image(bytes, size, keep_finding<d88_finding>, found, kept);
    if (errors >= 0 && !found->failed)
        return errors;
    if (errors >= 0)
        print_text_line("error: memory exhausted!");
    return -1;
}

// Where the findings of a disk's file system go: the image's list, with
// the disk's number.
struct disk_findings {
    kept_findings<d88_finding>* found;
    int32_t disk;
};

void keep_disk_finding(const d88_finding* f, void* context)
{
    const disk_findings* where = static_cast<const disk_findings*>(context);
    d88_finding placed = *f;
    placed.disk = where->disk;
    keep_finding(&placed, where->found);
}

// Adds the faults of the file system of each disk that holds one.
void check_file_systems(d88_image* image, kept_findings<d88_finding>* found)
{
    int32_t index = 0;
    for (d88_disk* disk = image->disks; disk != nullptr; disk = disk->next, ++index) {
        const int32_t fs = find_d88_fs_of_disk(disk);
        disk_findings where = {found, index};
        const d88_message_route route = take_d88_messages(discard_message, nullptr);
        const int32_t faults = fs >= 0 ? check_d88_files(disk, fs, keep_disk_finding, &where) : 0;
        give_back_d88_messages(route);
        const d88_finding missing = {d88_finding_kind_severity(D88_KIND_FS_SECTOR),
                                     d88_finding_kind_name(D88_KIND_FS_SECTOR), index, -1, -1, -1, -1, -1, -1,
                                     "a sector of the file system's FAT or directory is missing", D88_KIND_FS_SECTOR};
        if (faults < 0)
            keep_finding(&missing, found);
    }
}

// Checks one image, and the file systems of its disks; whether vorkast can
// read it and it holds a disk.
bool check_image(const char* path, bool json, bool first_image)
{
    int32_t size = 0;
    const char* reason = nullptr;
    uint8_t* bytes = load_quietly(path, &size, &reason);
    kept_findings<d88_finding> found = {};
    d88_image kept = {};
    const d88_finding unreadable = {D88_FINDING_ERROR, "file", -1, -1, -1, -1, -1, -1, -1, reason, D88_KIND_FILE};
    const int32_t errors = bytes != nullptr ? scan_image(bytes, size, &found, &kept) : 1;
    const bool readable = errors == 0, usable = readable && kept.disk_count > 0;
    if (readable)
        check_file_systems(&kept, &found);
    report_target target = {json, path, {0, 0, 0}, true};
    if (errors >= 0 && json) {
        print_text("%s\n    {\"path\": ", first_image ? "" : ",");
        print_json_string(path);
        print_text(", \"readable\": %s, \"disks\": %d, \"findings\": [", readable ? "true" : "false",
                   static_cast<int>(kept.disk_count));
    }
    if (bytes == nullptr)
        keep_finding(&unreadable, &found);
    print_image_findings(found, &target);
    if (errors >= 0 && json) {
        print_text("%s]}", target.first ? "" : "\n      ");
    } else if (errors >= 0) {
        print_text("%s: %s; ", path,
                   !readable ? "not readable by vorkast" : usable ? "readable by vorkast" : "readable, but holds no disk");
        print_counts(target);
    }
    release_findings(&found);
    free_d88_image(&kept, 0);
    std::free(bytes);
    return usable;
}

int check_images(const command_line& line)
{
    bool all_usable = true;
    if (line.json)
        print_text("{\"images\": [");
    for (int i = 0; i < line.word_count; ++i)
        all_usable = check_image(line.words[i], line.json, i == 0) && all_usable;
    if (line.json)
        print_text("\n]}\n");
    return all_usable ? 0 : 1;
}

// One finding of the job as a JSON object.
void print_job_json(const job_finding& f, report_target* target)
{
    print_text("%s\n    {\"severity\": \"%s\", \"kind\": \"%s\"", target->first ? "" : ",", d88_severity_name(f.severity),
               d88_finding_kind_name(f.kind));
    if (f.track >= 0)
        print_text(", \"track\": %d", static_cast<int>(f.track));
    if (f.image != nullptr) {
        print_text(", \"image\": ");
        print_json_string(f.image);
    }
    print_json_end(f.c, f.h, f.r, f.message, target);
}

// Findings of the job about one image at one track or the next, or of the
// image itself (no track).
bool follows_in_job(const job_finding& a, const job_finding& b)
{
    return a.kind == b.kind && a.image == b.image &&
           (a.track >= 0 ? b.track == a.track || b.track == a.track + 1 : b.track < 0);
}

// The job's findings from `first` on as one line of text: the first alone,
// or those that fold with it; how many were printed.
int32_t print_job_line(const job_finding* items, int32_t first, int32_t count)
{
    const job_finding& f = items[first];
    const int32_t alike = count_alike(items, first, count, follows_in_job);
    const int32_t last_track = items[first + alike - 1].track;
    if (f.track >= 0 && last_track != f.track)
        print_text("tracks %d-%d: ", static_cast<int>(f.track), static_cast<int>(last_track));
    else if (f.track >= 0)
        print_text("track %d: ", static_cast<int>(f.track));
    if (f.image != nullptr && f.c >= 0 && alike == 1)
        print_text("%s %02X/%02X/%02X: ", f.image, static_cast<unsigned>(f.c), static_cast<unsigned>(f.h),
                   static_cast<unsigned>(f.r));
    else if (f.image != nullptr)
        print_text("%s: ", f.image);
    print_text("%s %s: %s", d88_severity_name(f.severity), d88_finding_kind_name(f.kind), f.message);
    print_alike(alike);
    return alike;
}

// The job's images as vorkast takes them; false after saying what is wrong
// with the command line.
bool prepare_job(const command_line& line, job* request)
{
    if (line.word_count > JOB_IMAGE_COUNT) {
        print_text("error: check --job takes GAME DATA1 [DATA2], not '%s'\n", line.words[JOB_IMAGE_COUNT]);
        return false;
    }
    request->track = ALL_TRACKS;
    if (line.track != nullptr && !parse_track_number(line.track, &request->track))
        return false;
    request->index = line.index;
    for (int i = 0; i < line.word_count; ++i)
        request->image[i].name = line.words[i];
    return check_job_images(request);
}

// The job's findings, in the order they are printed: each image that
// cannot be read (with the system's reason), then all that check_job finds
// of the rest.  -1 after a message when memory runs out, else the number
// of errors.
struct job_findings {
    kept_findings<job_finding> kept;
    const char* const* unreadable;
    const job* request;
};

void keep_job_finding(const job_finding* f, void* context)
{
    job_findings* found = static_cast<job_findings*>(context);
    for (int i = 0; i < JOB_IMAGE_COUNT; ++i) {
        if (f->kind == D88_KIND_FILE && f->image == found->request->image[i].name && found->unreadable[i] != nullptr)
            return;  // said already, with the reason
    }
    keep_finding(f, &found->kept);
}

// Warns of one file given twice: as both data disks, or as the game and a
// data disk.  vorkast takes it so, but it is seldom what was meant.
void keep_repeated_images(const job& request, job_findings* found)
{
    const char* const game = request.image[JOB_GAME].name;
    const char* const data[2] = {request.image[JOB_DATA1].name, request.image[JOB_DATA2].name};
    const char* message = nullptr;
    const char* image = nullptr;
    if (data[0] != nullptr && data[1] != nullptr && is_same_file(data[0], data[1])) {
        message = "the same file is given as both data disks, which hold different halves of the tracks";
        image = data[1];
    }
    for (int i = 0; i < 2 && message == nullptr; ++i) {
        if (data[i] != nullptr && is_same_file(game, data[i])) {
            message = i == 0 ? "the game image is given as data disk #1 too" : "the game image is given as data disk #2 too";
            image = data[i];
        }
    }
    const job_finding finding = {D88_FINDING_WARNING, D88_KIND_FILE, -1, image, -1, -1, -1, message};
    if (message != nullptr)
        keep_finding(&finding, &found->kept);
}

int32_t check_loaded_job(const job& request, const char* const unreadable[], job_findings* found, job_readiness* readiness)
{
    keep_repeated_images(request, found);
    int32_t unread = 0;
    for (int i = 0; i < JOB_IMAGE_COUNT; ++i) {
        const job_finding finding = {D88_FINDING_ERROR, D88_KIND_FILE, -1, request.image[i].name, -1, -1, -1, unreadable[i]};
        if (unreadable[i] != nullptr && ++unread > 0)
            keep_finding(&finding, &found->kept);
    }
    const int32_t errors = check_job(request, keep_job_finding, found, readiness);
    if (errors >= 0 && found->kept.failed)
        print_text_line("error: memory exhausted!");
    return errors < 0 || found->kept.failed ? -1 : errors + unread;
}

int check_whole_job(const command_line& line)
{
    job request = {};
    if (!prepare_job(line, &request))
        return 1;
    uint8_t* loaded[JOB_IMAGE_COUNT] = {};
    const char* unreadable[JOB_IMAGE_COUNT] = {};
    for (int i = 0; i < JOB_IMAGE_COUNT; ++i) {
        job_image& image = request.image[i];
        if (image.name != nullptr)
            loaded[i] = load_quietly(image.name, &image.size, &unreadable[i]);
        image.bytes = loaded[i];
    }
    job_readiness readiness = {request.track == ALL_TRACKS ? TRACK_NUMBER_COUNT : 1, 0};
    job_findings found = {{}, unreadable, &request};
    const int32_t errors = check_loaded_job(request, unreadable, &found, &readiness);
    report_target target = {line.json, nullptr, {0, 0, 0}, true};
    if (errors >= 0 && line.json)
        print_text("{\"job\": {\"tracks\": %d, \"ready\": %d, \"findings\": [", static_cast<int>(readiness.tracks),
                   static_cast<int>(readiness.ready));
    for (int32_t i = 0; i < found.kept.count;) {
        if (line.json)
            print_job_json(found.kept.items[i++], &target);
        else
            i += print_job_line(found.kept.items, i, found.kept.count);
    }
    if (errors >= 0 && line.json)
        print_text("%s]}}\n", target.first ? "" : "\n  ");
    else if (errors >= 0)
        print_text("%d of %d selected %s ready\n", static_cast<int>(readiness.ready), static_cast<int>(readiness.tracks),
                   plural(readiness.tracks, "track", "tracks"));
    release_findings(&found.kept);
    for (uint8_t* bytes : loaded)
        std::free(bytes);
    return errors == 0 ? 0 : 1;
}

}  // namespace

void print_json_string(const char* text)
{
    print_text("\"");
    for (const char* p = text; *p != '\0';) {
        const size_t plain = std::strcspn(p, "\"\\\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F"
                                          "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F");
        print_text("%.*s", static_cast<int>(plain), p);
        p += plain;
        if (*p == '"' || *p == '\\')
            print_text("\\%c", *p++);
        else if (*p != '\0')
            print_text("\\u%04X", static_cast<unsigned char>(*p++));
    }
    print_text("\"");
}


int run_check(const command_line& line)
{
    return line.job ? check_whole_job(line) : check_images(line);
}
