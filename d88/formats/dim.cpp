// dim.cpp -- DIM images: a dump of sector data behind a 256-byte header
// whose media byte gives the geometry (the 2HD shapes) and whose table
// says which of 170 tracks follow, in track order.
#include "formats.h"

#include <cstring>

#include "core/layout.h"
#include "core/message.h"
#include "shared/dump.h"

namespace {

// The header: the media byte, a flag for each track (1: its sectors
// follow), the signature.
constexpr int32_t DIM_HEADER_SIZE = 256, DIM_TRACKS_AT = 0x01, DIM_TRACK_MAX = 170, DIM_SIGNATURE_AT = 0xAB;
constexpr char DIM_SIGNATURE[] = "DIFC HEADER  ";
constexpr int32_t DIM_SIGNATURE_SIZE = sizeof DIM_SIGNATURE - 1;

// The media byte's geometries: 2HD, 2HS, 2HC, 2HDE (2HS's shape), 2HQ; a
// disk of one of them may have up to DIM_EXTRA_CYLINDERS more cylinders.
struct dim_media {
    uint8_t type;
    int32_t cylinders, sectors;
    uint8_t n;
};
constexpr dim_media DIM_MEDIA[] = {{0, 77, 8, 3}, {1, 80, 9, 3}, {2, 80, 15, 2}, {3, 80, 9, 3}, {9, 80, 18, 2}};
constexpr int32_t DIM_EXTRA_CYLINDERS = 8;

const dim_media* find_media_of_shape(const dump_geometry& g)
{
    for (const dim_media& m : DIM_MEDIA) {
        if (m.sectors == g.sectors && m.n == g.n && g.cylinders <= m.cylinders + DIM_EXTRA_CYLINDERS)
            return &m;
    }
    return nullptr;
}

const dim_media* find_media_of_type(uint8_t type)
{
    for (const dim_media& m : DIM_MEDIA) {
        if (m.type == type)
            return &m;
    }
    return nullptr;
}

}  // namespace

bool is_dim_image(const uint8_t* bytes, int32_t size)
{
    return size >= DIM_HEADER_SIZE && std::memcmp(bytes + DIM_SIGNATURE_AT, DIM_SIGNATURE, DIM_SIGNATURE_SIZE) == 0;
}

int32_t write_dim_disk(const d88_disk* disk, loss_report* report, byte_sink* sink)
{
    dump_geometry g = find_plain_geometry(disk);
    const dim_media* m = find_media_of_shape(g);
    if (m == nullptr) {
        char shape[48];
        describe_dump_geometry(g, shape, sizeof shape);
        print_d88_message("illegal data: the disk's geometry (%s) is none DIM holds: up to 85 cylinders of 8 x 1024, "
                          "9 x 1024, 15 x 512 or 18 x 512 bytes (2HD)\n", shape);
        return -1;
    }
    g.media = D88_MEDIA_2HD;
    check_dump_disk(disk, g, "DIM", report);
    uint8_t header[DIM_HEADER_SIZE] = {};
    header[0] = m->type;
    for (int32_t t = 0; t < g.cylinders * g.heads; ++t)
        header[DIM_TRACKS_AT + t] = 1;
    std::memcpy(header + DIM_SIGNATURE_AT, DIM_SIGNATURE, DIM_SIGNATURE_SIZE);
    put_sink_bytes(sink, header, sizeof header);
    write_dump_data(disk, g, sink);
    return 0;
}

// The tracks the table names, each of the media's shape, in slots of
// their number.
int32_t read_dim_disk(d88_disk* disk, const uint8_t* bytes, int32_t size)
{
    if (!is_dim_image(bytes, size)) {
        print_d88_line("illegal data: no DIM header");
        return -1;
    }
    const dim_media* m = find_media_of_type(bytes[0]);
    if (m == nullptr) {
        print_d88_message("illegal data: DIM media byte 0x%02X is none of 2HD, 2HS, 2HC, 2HDE and 2HQ\n", bytes[0]);
        return -1;
    }
    const dump_geometry track = {1, 1, m->sectors, m->n, -1, D88_MEDIA_2HD};
    int64_t at = DIM_HEADER_SIZE;
    std::memset(disk->name, ' ', 16);
    disk->disk_type = D88_MEDIA_2HD;
    for (int32_t t = 0; t < DIM_TRACK_MAX; ++t) {
        if (bytes[DIM_TRACKS_AT + t] == 0)
            continue;
        if (t >= D88_TRACK_MAX || at + dump_track_size(track) > size) {
            print_d88_message("illegal data: DIM track %d %s\n", static_cast<int>(t),
                              t >= D88_TRACK_MAX ? "is beyond what a D88 disk holds" : "passes the end of the file");
            return -1;
        }
        // one track, read as a dump of one track and moved to its slot
        d88_disk one = {};
        if (read_dump_data(&one, track, bytes + at) < 0) {
            free_d88_disk(&one, 0);
            return -1;
        }
        disk->track[t] = one.track[0];
        for (int32_t i = 0; i < disk->track[t].count; ++i) {
            disk->track[t].sectors[i].c = static_cast<uint8_t>(t / 2);
            disk->track[t].sectors[i].h = static_cast<uint8_t>(t % 2);
        }
        at += dump_track_size(track);
    }
    return 0;
}
