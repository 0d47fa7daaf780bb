// dump.cpp -- disks as sector dumps hold them: their shape, the IDs of
// their places, what a dump cannot carry, and their data in and out.
#include "dump.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/layout.h"
#include "core/message.h"
#include "core/standard_formats.h"

namespace {

int32_t slot_of(int32_t cylinder, int32_t head)
{
    return cylinder * 2 + head;
}

bool is_present(const d88_track& track)
{
    return track.sectors != nullptr && track.count > 0;
}

// The ID of place `index` of the track of `slot` in a dump of g.
void find_place_id(const dump_geometry& g, int32_t slot, int32_t index, uint8_t id[4])
{
    if (g.row >= 0) {
        find_standard_sector_id(g.row, slot, index, id);
        return;
    }
    id[0] = static_cast<uint8_t>(slot / 2);
    id[1] = static_cast<uint8_t>(slot % 2);
    id[2] = static_cast<uint8_t>(index + 1);
    id[3] = g.n;
}

// Whether the slot is a track of the dump.
bool is_dump_slot(const dump_geometry& g, int32_t slot)
{
    return slot / 2 < g.cylinders && slot % 2 < g.heads;
}

// The first sector of the track with the ID's C, H and R, or -1.
int32_t find_place_sector(const d88_track& track, const uint8_t id[4])
{
    for (int32_t i = 0; i < track.count; ++i) {
        const d88_sector& s = track.sectors[i];
        if (s.c == id[0] && s.h == id[1] && s.r == id[2])
            return i;
    }
    return -1;
}

// How many places of the standard format row the disk has a sector for,
// of its size code.
int32_t count_row_matches(const d88_disk* disk, int32_t row)
{
    const dump_geometry g = standard_dump_geometry(row);
    int32_t matches = 0;
    for (int32_t slot = 0; slot < D88_TRACK_MAX && is_dump_slot(g, slot); ++slot) {
        const d88_track& track = disk->track[slot];
        for (int32_t index = 0; is_present(track) && index < g.sectors; ++index) {
            uint8_t id[4];
            find_place_id(g, slot, index, id);
            const int32_t found = find_place_sector(track, id);
            matches += found >= 0 && track.sectors[found].n == id[3];
        }
    }
    return matches;
}

int32_t count_sectors(const d88_disk* disk)
{
    int32_t count = 0;
    for (const d88_track& track : disk->track)
        count += is_present(track) ? track.count : 0;
    return count;
}

// What the dump cannot carry of one sector found at its place.
void check_placed_sector(const d88_sector& s, int32_t slot, int32_t index, const char* name, loss_report* report)
{
    const int32_t size = sector_size_of_code(s.n);
    if (s.data_size != size)
        report_loss(report, D88_KIND_LOST_SIZE, slot, index, &s, "%d bytes of data where N %u stands for %d: %s keeps %d",
                    static_cast<int>(s.data_size), s.n, static_cast<int>(size), name, static_cast<int>(size));
    if (s.density != D88_DOUBLE_DENSITY)
        report_loss(report, D88_KIND_LOST_DENSITY, slot, index, &s, "density 0x%02X: %s has no density", s.density, name);
    if (s.deleted_mark != 0)
        report_loss(report, D88_KIND_LOST_DELETED, slot, index, &s, "a deleted mark: %s keeps data only", name);
    if (s.status != D88_STATUS_OK)
        report_loss(report, D88_KIND_LOST_STATUS, slot, index, &s, "status 0x%02X: %s keeps data only", s.status, name);
}

// The place of sector s in the track of slot, or -1: where its C, H and R
// stand among the IDs of g.
int32_t find_place_index(const dump_geometry& g, int32_t slot, const d88_sector& s)
{
    const int32_t first_r = g.row >= 0 ? d88_format_table[g.row].first_r : 1;
    for (const int32_t index : {s.r - first_r, 0}) {
        uint8_t id[4];
        if (index < 0 || index >= g.sectors)
            continue;
        find_place_id(g, slot, index, id);
        if (s.c == id[0] && s.h == id[1] && s.r == id[2])
            return index;
    }
    return -1;
}

// What the dump cannot carry of the track of slot (g has at most
// DUMP_SECTORS_MAX sectors a track).
void check_dump_track(const d88_track& track, int32_t slot, const dump_geometry& g, const char* name, loss_report* report)
{
    int32_t found[DUMP_SECTORS_MAX];
    for (int32_t index = 0; index < g.sectors; ++index) {
        uint8_t id[4];
        find_place_id(g, slot, index, id);
        found[index] = is_present(track) ? find_place_sector(track, id) : -1;
        if (found[index] < 0) {
            report_loss(report, D88_KIND_LOST_GEOMETRY, slot, -1, nullptr,
                        "no sector %02X/%02X/%02X: %s holds zeros in its place", id[0], id[1], id[2], name);
            continue;
        }
        const d88_sector& s = track.sectors[found[index]];
        if (s.n != id[3])
            report_loss(report, D88_KIND_LOST_MIXED, slot, found[index], &s, "size code N %u where %s holds N %u", s.n, name,
                        id[3]);
        check_placed_sector(s, slot, found[index], name, report);
    }
    const int32_t first_r = g.row >= 0 ? d88_format_table[g.row].first_r : 1;
    for (int32_t i = 0; is_present(track) && i < track.count; ++i) {
        const int32_t index = find_place_index(g, slot, track.sectors[i]);
        if (index < 0 || found[index] != i)
            report_loss(report, D88_KIND_LOST_ID, slot, i, &track.sectors[i],
                        "%s holds R %d to %d of each track, once each, with the track's C and H: no place for this sector",
                        name, first_r, first_r + g.sectors - 1);
    }
}

}  // namespace

int32_t dump_track_size(const dump_geometry& g)
{
    return g.sectors * sector_size_of_code(g.n);
}

int64_t dump_data_size(const dump_geometry& g)
{
    return int64_t{g.cylinders} * g.heads * dump_track_size(g);
}

dump_geometry standard_dump_geometry(int32_t row)
{
    const d88_format& f = d88_format_table[row];
    return {f.cylinders, f.heads, f.sectors_per_track, f.n, row, f.disk_type};
}

int32_t find_standard_row(const d88_disk* disk)
{
    const int32_t sectors = count_sectors(disk);
    int32_t best = -1, best_matches = 0;
    for (int32_t row = 0; row < D88_FORMAT_COUNT; ++row) {
        const dump_geometry g = standard_dump_geometry(row);
        const int32_t matches = g.media == disk->disk_type ? count_row_matches(disk, row) : 0;
        const int32_t places = g.cylinders * g.heads * g.sectors;
        if (matches > best_matches && matches * 2 >= sectors && matches * 2 >= places)
            best = row, best_matches = matches;
    }
    return best;
}

dump_geometry find_plain_geometry(const d88_disk* disk)
{
    // the most frequent shape of a track: (sectors, size code of its first)
    struct shape {
        int32_t sectors;
        uint8_t n;
        int32_t tracks;
    } shapes[8] = {};
    int32_t known = 0, last = -1;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const d88_track& track = disk->track[slot];
        if (!is_present(track))
            continue;
        last = slot;
        int32_t i = 0;
        while (i < known && (shapes[i].sectors != track.count || shapes[i].n != track.sectors[0].n))
            ++i;
        if (i == known && known < 8)
            shapes[known++] = {track.count, track.sectors[0].n, 0};
        if (i < known)
            ++shapes[i].tracks;
    }
    int32_t most = 0;
    for (int32_t i = 1; i < known; ++i)
        most = shapes[i].tracks > shapes[most].tracks ? i : most;
    if (known == 0)
        return {0, 2, 0, 0, -1, disk->disk_type};
    return {last / 2 + 1, 2, shapes[most].sectors, shapes[most].n, -1, disk->disk_type};
}

void describe_dump_geometry(const dump_geometry& g, char* text, int32_t size)
{
    std::snprintf(text, static_cast<size_t>(size), "%d x %d x %d x %d bytes", static_cast<int>(g.cylinders),
                  static_cast<int>(g.heads), static_cast<int>(g.sectors), static_cast<int>(sector_size_of_code(g.n)));
}

void check_dump_disk(const d88_disk* disk, const dump_geometry& g, const char* name, loss_report* report)
{
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const d88_track& track = disk->track[slot];
        if (is_dump_slot(g, slot))
            check_dump_track(track, slot, g, name, report);
        else if (is_present(track))
            report_loss(report, D88_KIND_LOST_GEOMETRY, slot, -1, nullptr, "%s holds %d cylinders of %d head%s: no place for this track",
                        name, static_cast<int>(g.cylinders), static_cast<int>(g.heads), g.heads == 1 ? "" : "s");
    }
    check_disk_fields(disk, name, false, false, g.media, report);
}

void write_dump_data(const d88_disk* disk, const dump_geometry& g, byte_sink* sink)
{
    const int32_t size = sector_size_of_code(g.n);
    if (!reserve_sink(sink, dump_data_size(g)))
        return;
    for (int32_t c = 0; c < g.cylinders; ++c) {
        for (int32_t h = 0; h < g.heads; ++h) {
            const int32_t slot = slot_of(c, h);
            const d88_track& track = disk->track[slot];
            for (int32_t index = 0; index < g.sectors; ++index) {
                uint8_t id[4];
                find_place_id(g, slot, index, id);
                const int32_t found = is_present(track) ? find_place_sector(track, id) : -1;
                const d88_sector* s = found >= 0 ? &track.sectors[found] : nullptr;
                const int32_t kept = s == nullptr || s->data == nullptr ? 0 : s->data_size < size ? s->data_size : size;
                if (kept > 0)
                    put_sink_bytes(sink, s->data, kept);
                put_sink_fill(sink, 0, size - kept);
            }
        }
    }
}

int32_t read_dump_data(d88_disk* disk, const dump_geometry& g, const uint8_t* bytes)
{
    const int32_t size = sector_size_of_code(g.n);
    std::memset(disk->name, ' ', 16);
    disk->disk_type = g.media;
    for (int32_t c = 0; c < g.cylinders; ++c) {
        for (int32_t h = 0; h < g.heads; ++h) {
            d88_track& track = disk->track[slot_of(c, h)];
            track.sectors = static_cast<d88_sector*>(std::calloc(static_cast<size_t>(g.sectors), sizeof(d88_sector)));
            if (track.sectors == nullptr) {
                print_d88_line("memory exhaust!");
                return -1;
            }
            track.count = g.sectors;
            for (int32_t index = 0; index < g.sectors; ++index, bytes += size) {
                d88_sector& s = track.sectors[index];
                uint8_t id[4];
                find_place_id(g, slot_of(c, h), index, id);
                s.c = id[0], s.h = id[1], s.r = id[2], s.n = id[3];
                s.sector_count = static_cast<uint16_t>(g.sectors);
                s.data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
                if (s.data == nullptr) {
                    print_d88_line("memory exhaust!");
                    return -1;
                }
                s.data_size = static_cast<int16_t>(size);
                std::memcpy(s.data, bytes, static_cast<size_t>(size));
            }
        }
    }
    return 0;
}
