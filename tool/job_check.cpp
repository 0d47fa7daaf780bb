// job_check.cpp -- the job checked for every selected track at once: what
// would stop vorkast, found without writing anything.
#include "job.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/message.h"

namespace {

struct check_state {
    job_finding_handler handler;
    void* context;
    int32_t errors;
    const char* image;  // the image whose scan findings are being passed on
};

#if defined(__GNUC__)
void report(check_state* check, d88_finding_kind kind, int32_t track, const char* image, const d88_sector* id,
            const char* format, ...) __attribute__((format(printf, 6, 7)));
#endif

void report(check_state* check, d88_finding_kind kind, int32_t track, const char* image, const d88_sector* id,
            const char* format, ...)
{
    const int32_t severity = d88_finding_kind_severity(kind);
    char message[320];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    check->errors += severity == D88_FINDING_ERROR;
    const job_finding finding = {severity, kind, track, image, id != nullptr ? id->c : -1, id != nullptr ? id->h : -1,
                                 id != nullptr ? id->r : -1, message};
    if (check->handler != nullptr)
        check->handler(&finding, check->context);
}

// Passes on the errors of an image's scan: the reader would refuse it.
void pass_on_error(const d88_finding* finding, void* context)
{
    check_state* check = static_cast<check_state*>(context);
    if (finding->severity != D88_FINDING_ERROR)
        return;
    char place[64] = "";
    if (finding->disk >= 0 && finding->slot >= 0 && finding->index >= 0)
        std::snprintf(place, sizeof place, "disk %d, slot %d, sector %d: ", static_cast<int>(finding->disk),
                      static_cast<int>(finding->slot), static_cast<int>(finding->index));
    else if (finding->disk >= 0 && finding->slot >= 0)
        std::snprintf(place, sizeof place, "disk %d, slot %d: ", static_cast<int>(finding->disk), static_cast<int>(finding->slot));
    else if (finding->disk >= 0)
        std::snprintf(place, sizeof place, "disk %d: ", static_cast<int>(finding->disk));
    const d88_sector id = {static_cast<uint8_t>(finding->c), static_cast<uint8_t>(finding->h),
                           static_cast<uint8_t>(finding->r), 0, 0, 0, 0, 0, {}, 0, nullptr};
    report(check, static_cast<d88_finding_kind>(finding->kind_id), -1, check->image, finding->c >= 0 ? &id : nullptr,
           "the reader refuses the image: %s%s", place, finding->message);
}

bool holds_tracks(const d88_disk& disk)
{
    for (const d88_track& track : disk.track) {
        if (track.sectors != nullptr)
            return true;
    }
    return false;
}

// Reads one image of the job through the scan, which says every fault at
// once and keeps what is whole, so that its tracks are checked even when
// the reader would refuse it; its chosen disk, or null.  *readable tells
// whether the reader accepts it.  False only when memory runs out.
bool load_checked(check_state* check, const job_image& source, int32_t index, d88_image* image, d88_disk** disk,
                  bool* readable)
{
    check->image = source.name;
    const int32_t errors = scan_d88_image(source.bytes, source.size, pass_on_error, check, image);
    if (errors < 0)
        return false;
    *readable = errors == 0;
    *disk = get_d88_disk(image, index);
    if (*disk != nullptr && !*readable && !holds_tracks(**disk))
        *disk = nullptr;  // nothing of it to check track by track
    if (*disk == nullptr && *readable && image->disk_count == 0)
        report(check, D88_KIND_NO_DISK, -1, source.name, nullptr, "the image holds no D88 disk at all");
    else if (*disk == nullptr && *readable)
        report(check, D88_KIND_NO_DISK, -1, source.name, nullptr, "the image holds no disk %d", static_cast<int>(index));
    return true;
}

// The game track of t can take the new sector; false after saying why not.
bool check_game_track_of(check_state* check, d88_disk* game, int32_t t, const char* name)
{
    d88_track* track = nullptr;
    switch (check_game_track(game, t, &track)) {
    case GAME_TRACK_MISSING:
        report(check, D88_KIND_NO_GAME_TRACK, t, name, nullptr, "the game disk has no track with C %02X H %02X", t / 2, t & 1);
        return false;
    case GAME_TRACK_COMPLETE:
        report(check, D88_KIND_ALREADY_COMPLETE, t, name, &track->sectors[0], "the track already holds an 8 KB sector");
        return false;
    case GAME_TRACK_FULL:
        report(check, D88_KIND_FULL_TRACK, t, name, nullptr, "the track holds %d sectors, the most it can",
               static_cast<int>(track->count));
        return false;
    case GAME_TRACK_READY:
        break;
    }
    return true;
}

// Every sector of the data cylinder of t: false after naming each one that
// is missing or unusable.  Bytes that go in as they are, despite an error
// status or a deleted mark, are warned of.
bool check_data_cylinder(check_state* check, d88_disk* data, int32_t t, const char* name)
{
    const uint8_t c = find_data_source(t).cylinder;
    const int number = find_data_source(t).image;  // JOB_DATA1 is data disk #1
    bool usable = true;
    for (uint8_t h = 0; h < 2; ++h) {
        for (uint8_t r = 1; r <= DATA_SECTORS_PER_TRACK; ++r) {
            const d88_sector* s = find_d88_sector(data, c, h, r);
            const d88_sector id = {c, h, r, 0, 0, 0, 0, 0, {}, 0, nullptr};
            if (s == nullptr) {
                report(check, D88_KIND_MISSING_SECTOR, t, name, &id, "data disk #%d has no sector %02X/%02X/%02X",
                       number, c, h, r);
                usable = false;
            } else if (!is_data_sector(s)) {
                report(check, D88_KIND_SHORT_SECTOR, t, name, &id,
                       "sector %02X/%02X/%02X of data disk #%d has N %u and %d bytes, not N 1 and 256", c, h, r, number, s->n,
                       static_cast<int>(s->data_size));
                usable = false;
            } else {
                if (s->status != 0)
                    report(check, D88_KIND_SECTOR_STATUS, t, name, &id,
                           "sector %02X/%02X/%02X of data disk #%d was read with status 0x%02X; its bytes go in as they are",
                           c, h, r, number, s->status);
                if (s->deleted_mark != 0)
                    report(check, D88_KIND_DELETED, t, name, &id,
                           "sector %02X/%02X/%02X of data disk #%d carries a deleted mark; its bytes go in as they are", c,
                           h, r, number);
            }
        }
    }
    return usable;
}

}  // namespace

int32_t check_job(const job& j, job_finding_handler handler, void* context, job_readiness* readiness)
{
    check_state check = {handler, context, 0, nullptr};
    d88_image images[JOB_IMAGE_COUNT] = {};
    d88_disk* disks[JOB_IMAGE_COUNT] = {};
    bool readable[JOB_IMAGE_COUNT] = {};
    bool loaded = true;
    for (int slot = 0; loaded && slot < JOB_IMAGE_COUNT; ++slot) {
        if (j.image[slot].name != nullptr)
            loaded = load_checked(&check, j.image[slot], slot == JOB_GAME ? static_cast<int32_t>(j.index) : 0,
                                  &images[slot], &disks[slot], &readable[slot]);
    }
    const char* const roles[JOB_IMAGE_COUNT] = {"game disk image", "data disk #1 image", "data disk #2 image"};
    for (int slot = 0; loaded && slot < JOB_IMAGE_COUNT; ++slot) {
        if (is_image_needed(slot, j.track) && j.image[slot].name == nullptr)
            report(&check, D88_KIND_NO_IMAGE, -1, nullptr, nullptr, "no %s is given", roles[slot]);
    }
    // vorkast reads every image it is given, needed or not, and chooses its disk.
    bool images_usable = true;
    for (int slot = 0; slot < JOB_IMAGE_COUNT; ++slot)
        images_usable = images_usable && (j.image[slot].name == nullptr || (readable[slot] && disks[slot] != nullptr));
    *readiness = {0, 0};
    for (int32_t t = 0; loaded && t < TRACK_NUMBER_COUNT; ++t) {
        if (!is_selected_track(j.track, t))
            continue;
        const int data = find_data_source(t).image;
        const bool game_ready = disks[JOB_GAME] != nullptr && check_game_track_of(&check, disks[JOB_GAME], t, j.image[JOB_GAME].name);
        const bool data_ready = disks[data] != nullptr && check_data_cylinder(&check, disks[data], t, j.image[data].name);
        readiness->tracks += 1;
        readiness->ready += game_ready && data_ready && images_usable;
    }
    for (d88_image& image : images)
        free_d88_image(&image, 0);
    if (!loaded) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    return check.errors;
}
