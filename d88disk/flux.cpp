// flux.cpp -- flux dumps as d88disk takes them: an SCP file, or the stream
// files of a KryoFlux dump (a folder of trackCC.H.raw, or one of them),
// decoded with a report of each track; and that report, folded, for info.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88disk.h"
#include "platform.h"
#include "report.h"
#include "text.h"

namespace {

constexpr int32_t KRYOFLUX_CYLINDERS = 84;

// The folder of a KryoFlux stream file's path, into out (of `size`
// bytes); false when path is no such file's name.
bool stream_folder(const char* path, char* out, size_t size)
{
    const char* name = file_name_part(path);
    unsigned cylinder = 0, head = 0;
    char rest[8] = "";
    if (std::sscanf(name, "track%2u.%1u.ra%7s", &cylinder, &head, rest) != 3 || std::strcmp(rest, "w") != 0)
        return false;
    std::snprintf(out, size, "%.*s", static_cast<int>(name - path), path);
    if (out[0] == '\0')
        std::snprintf(out, size, ".");
    return true;
}

// The stream files of a KryoFlux dump in folder: their bytes, sizes and
// slots; false after a message (none there, or one unreadable).
struct stream_set {
    uint8_t* bytes[D88_TRACK_MAX];
    int32_t sizes[D88_TRACK_MAX], slots[D88_TRACK_MAX];
    int32_t count;
};

void release_streams(stream_set* set)
{
    for (int32_t i = 0; i < set->count; ++i)
        std::free(set->bytes[i]);
    set->count = 0;
}

bool load_streams(const char* folder, stream_set* set)
{
    set->count = 0;
    for (int32_t cylinder = 0; cylinder < KRYOFLUX_CYLINDERS; ++cylinder) {
        for (int32_t head = 0; head < 2; ++head) {
            const size_t room = std::strlen(folder) + sizeof "/track00.0.raw" + 8;
            char* path = static_cast<char*>(std::malloc(room));
            if (path == nullptr) {
                print_text_line("error: memory exhausted!");
                release_streams(set);
                return false;
            }
            std::snprintf(path, room, "%s/track%02d.%d.raw", folder, static_cast<int>(cylinder), static_cast<int>(head));
            const bool there = path_exists(path);
            set->bytes[set->count] = there ? load_d88_file(path, &set->sizes[set->count]) : nullptr;
            if (there && set->bytes[set->count] == nullptr)
                say_unreadable(path, D88_FILE_KRYOFLUX);
            std::free(path);
            if (there && set->bytes[set->count] == nullptr) {
                release_streams(set);
                return false;
            }
            if (there)
                set->slots[set->count++] = cylinder * 2 + head;
        }
    }
    if (set->count == 0)
        print_text("error: '%s' holds no KryoFlux stream files (trackCC.H.raw)\n", folder);
    return set->count > 0;
}

}  // namespace

bool is_kryoflux_dump(const char* path)
{
    char folder[4096];
    return is_folder(path) || stream_folder(path, folder, sizeof folder);
}

bool read_flux_dump(const char* path, d88_image* image, kept_findings<d88_finding>* findings, flux_tracks* tracks)
{
    char folder[4096];
    const bool streams = is_folder(path) || stream_folder(path, folder, sizeof folder);
    if (is_folder(path))
        std::snprintf(folder, sizeof folder, "%s", path);
    stream_set set = {};
    int32_t size = 0;
    uint8_t* scp = nullptr;
    if (streams ? !load_streams(folder, &set) : (scp = load_d88_file(path, &size)) == nullptr) {
        if (!streams)
            say_unreadable(path, D88_FILE_SCP);
        return false;
    }
    struct sinks {
        kept_findings<d88_finding>* findings;
        flux_tracks* tracks;
    } to = {findings, tracks};
    const auto keep_finding_of = [](const d88_finding* f, void* context) {
        keep_finding(f, static_cast<sinks*>(context)->findings);
    };
    const auto keep_track_of = [](const d88_flux_track* t, void* context) {
        flux_tracks* list = static_cast<sinks*>(context)->tracks;
        if (list != nullptr && list->count < D88_TRACK_MAX)
            list->items[list->count++] = *t;
    };
    const uint8_t* const one[1] = {scp};
    const int32_t disks = streams ? import_d88_flux_image(image, D88_FILE_KRYOFLUX, set.bytes, set.sizes, set.slots, set.count,
                                                          keep_finding_of, keep_track_of, &to)
                                  : import_d88_flux_image(image, D88_FILE_SCP, one, &size, nullptr, 1, keep_finding_of, keep_track_of, &to);
    std::free(scp);
    release_streams(&set);
    if (disks < 0)
        print_text("error: read %s image '%s'\n", streams ? "kryoflux" : "scp", path);
    if (findings->failed) {
        print_text_line("error: memory exhausted!");
        free_d88_image(image, 0);
        return false;
    }
    return disks > 0;
}

namespace {

// Whether two tracks' facts fold into one line of info: the same
// revolutions, encoding, rate and sectors found and good in each, and a
// rotation within 1% of the line's first.
bool is_alike(const d88_flux_track& a, const d88_flux_track& b)
{
    const int32_t shown = a.revolutions < 8 ? a.revolutions : 8;
    bool same = a.revolutions == b.revolutions && a.fm == b.fm && a.kbit == b.kbit && std::abs(a.rpm - b.rpm) * 100 <= a.rpm;
    for (int32_t r = 0; same && r < shown; ++r)
        same = a.found[r] == b.found[r] && a.correct[r] == b.correct[r];
    return same;
}

}  // namespace

void print_flux_tracks(const flux_tracks& tracks)
{
    for (int32_t i = 0; i < tracks.count;) {
        const d88_flux_track& t = tracks.items[i];
        int32_t last = i, low = t.rpm, high = t.rpm;
        while (last + 1 < tracks.count && tracks.items[last + 1].slot == tracks.items[last].slot + 1 &&
               is_alike(t, tracks.items[last + 1])) {
            ++last;
            low = tracks.items[last].rpm < low ? tracks.items[last].rpm : low;
            high = tracks.items[last].rpm > high ? tracks.items[last].rpm : high;
        }
        if (last > i)
            print_text("slots %d-%d: ", static_cast<int>(t.slot), static_cast<int>(tracks.items[last].slot));
        else
            print_text("slot %d: ", static_cast<int>(t.slot));
        if (t.revolutions == 0) {
            print_text("no flux\n");
        } else {
            print_text("%d revolution%s, ", static_cast<int>(t.revolutions), t.revolutions == 1 ? "" : "s");
            if (low != high)
                print_text("%.1f-%.1f rpm, ", low / 100.0, high / 100.0);
            else
                print_text("%.1f rpm, ", low / 100.0);
            if (t.kbit == 0)
                print_text("no sector found");
            else
                print_text("%s %d kbit/s, sectors found/good:", t.fm ? "FM" : "MFM", static_cast<int>(t.kbit));
            for (int32_t r = 0; t.kbit != 0 && r < t.revolutions && r < 8; ++r)
                print_text(" %d/%d", static_cast<int>(t.found[r]), static_cast<int>(t.correct[r]));
            print_text("\n");
        }
        i = last + 1;
    }
}
