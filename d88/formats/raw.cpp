// raw.cpp -- the PC-98 dumps that hold sector data only: HDM, a bare
// dump of 77 cylinders x 2 heads x 8 sectors of 1024 bytes; FDI, a dump
// behind a 4096-byte header that gives its geometry; and DIM, a dump behind
// a 256-byte header whose media byte gives the geometry and whose track
// table says which tracks it holds.  Both keep each
// track's sectors in R order, R 1 upwards, with the C and H of the track:
// a disk of any other shape cannot be put into them whole.
#include "formats.h"

#include <cstring>

#include "core/decode.h"
#include "core/layout.h"
#include "core/message.h"

namespace {

constexpr int32_t HDM_CYLINDERS = 77, HDM_SECTORS = 8, HDM_SIZE_CODE = 3;

// The FDI header; offsets of its 32-bit fields.
constexpr int32_t FDI_HEADER_SIZE = 4096;
constexpr int32_t FDI_TYPE_AT = 0x04, FDI_HEADER_SIZE_AT = 0x08, FDI_DATA_SIZE_AT = 0x0C, FDI_SECTOR_SIZE_AT = 0x10,
                  FDI_SECTORS_AT = 0x14, FDI_HEADS_AT = 0x18, FDI_CYLINDERS_AT = 0x1C, FDI_FIELDS_END = 0x20;
// The drive types of the header: 1.2 MB-class and 1.44 MB-class 2HD, 2DD.
constexpr uint32_t FDI_2HD = 0x90, FDI_2HD_144 = 0x30, FDI_2DD = 0x10;

// The DIM header: the media byte, a flag for each of 170 tracks (1: its
// sectors follow, in track order), the signature.
constexpr int32_t DIM_HEADER_SIZE = 256, DIM_TRACKS_AT = 0x01, DIM_TRACK_MAX = 170, DIM_SIGNATURE_AT = 0xAB;
constexpr char DIM_SIGNATURE[] = "DIFC HEADER  ";

// The shape of a disk as a raw dump holds it.
struct raw_geometry {
    int32_t cylinders, heads, sectors, size_code;
};

// The sector of a track with R, or null.
const d88_sector* find_r(const d88_track& track, int32_t r)
{
    for (int32_t i = 0; i < track.count; ++i) {
        if (track.sectors[i].r == r)
            return &track.sectors[i];
    }
    return nullptr;
}

// The DIM media byte's geometries: 2HD, 2HS, 2HC, 2HDE (2HS's shape), 2HQ.
struct dim_media {
    uint8_t type;
    int32_t cylinders, sectors, size_code;
};
constexpr dim_media DIM_MEDIA[] = {{0, 77, 8, 3}, {1, 80, 9, 3}, {2, 80, 15, 2}, {3, 80, 9, 3}, {9, 80, 18, 2}};

const dim_media* find_dim_media(int32_t sectors, int32_t size_code)
{
    for (const dim_media& m : DIM_MEDIA) {
        if (m.sectors == sectors && m.size_code == size_code)
            return &m;
    }
    return nullptr;
}

// What a raw dump cannot carry of one track, said.
void check_raw_track(const d88_track& track, int32_t slot, const raw_geometry& g, loss_report* report)
{
    if (track.count != g.sectors)
        report_loss(report, D88_KIND_LOST_MIXED, slot, -1, nullptr, "%d sectors where the first track has %d: a raw image has one shape",
                    static_cast<int>(track.count), static_cast<int>(g.sectors));
    for (int32_t i = 0; i < track.count; ++i) {
        const d88_sector& s = track.sectors[i];
        if (s.n != g.size_code)
            report_loss(report, D88_KIND_LOST_MIXED, slot, i, &s, "size code N %u where the first sector has N %d", s.n,
                        static_cast<int>(g.size_code));
        if (s.c != slot / 2 || s.h != slot % 2 || s.r < 1 || s.r > g.sectors || find_r(track, s.r) != &s)
            report_loss(report, D88_KIND_LOST_ID, slot, i, &s, "a raw image keeps data only, R 1 to %d with the track's C and H",
                        static_cast<int>(g.sectors));
        if (s.density == D88_SINGLE_DENSITY)
            report_loss(report, D88_KIND_LOST_DENSITY, slot, i, &s, "a single-density (FM) sector: a raw image has no density");
        if (s.deleted_mark != 0)
            report_loss(report, D88_KIND_LOST_DELETED, slot, i, &s, "a deleted mark: a raw image keeps data only");
        if (s.status != 0)
            report_loss(report, D88_KIND_LOST_STATUS, slot, i, &s, "status 0x%02X: a raw image keeps data only", s.status);
        if (s.data_size != (128 << (s.n & 7)))
            report_loss(report, D88_KIND_LOST_SIZE, slot, i, &s, "%d bytes of data where N %u stands for %d",
                        static_cast<int>(s.data_size), s.n, static_cast<int>(128 << (s.n & 7)));
    }
}

// The disk's shape, from its first track and its last present slot; every
// departure from it said.
raw_geometry check_raw_disk(const d88_disk* disk, int32_t format, loss_report* report)
{
    int32_t last = -1;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot)
        last = disk->track[slot].sectors != nullptr && disk->track[slot].count > 0 ? slot : last;
    const d88_track& first = disk->track[0];
    raw_geometry g = {last / 2 + 1, 2, first.count, first.count > 0 ? first.sectors[0].n : 0};
    if (first.sectors == nullptr || first.count == 0)
        g = {0, 2, 0, 0};
    for (int32_t slot = 0; slot <= last; ++slot) {
        if (disk->track[slot].sectors == nullptr || disk->track[slot].count == 0)
            report_loss(report, D88_KIND_LOST_GEOMETRY, slot, -1, nullptr, "an empty slot: a raw image holds every track");
        else
            check_raw_track(disk->track[slot], slot, g, report);
    }
    const bool hdm_shape = g.cylinders == HDM_CYLINDERS && g.sectors == HDM_SECTORS && g.size_code == HDM_SIZE_CODE;
    if (format == D88_FILE_HDM && !hdm_shape)
        report_loss(report, D88_KIND_LOST_GEOMETRY, -1, -1, nullptr,
                    "%d cylinders of %d sectors of %d bytes: HDM holds 77 x 2 x 8 x 1024 only", static_cast<int>(g.cylinders),
                    static_cast<int>(g.sectors), static_cast<int>(128 << (g.size_code & 7)));
    const dim_media* dim = find_dim_media(g.sectors, g.size_code);
    if (format == D88_FILE_DIM && (dim == nullptr || g.cylinders > dim->cylinders + 8 || disk->disk_type != D88_MEDIA_2HD))
        report_loss(report, D88_KIND_LOST_GEOMETRY, -1, -1, nullptr,
                    "%d sectors of %d bytes a track on %d cylinders: DIM's media byte names 2HD shapes only (8 x 1024, 9 x 1024, 15 x 512, 18 x 512)",
                    static_cast<int>(g.sectors), static_cast<int>(128 << (g.size_code & 7)), static_cast<int>(g.cylinders));
    if (format == D88_FILE_FDI && (g.sectors == 0 || g.size_code > 6))
        report_loss(report, D88_KIND_LOST_GEOMETRY, -1, -1, nullptr, "no track, or sectors the FDI header cannot describe");
    if (disk->name[0] != '\0' && disk->name[0] != ' ')
        report_loss(report, D88_KIND_LOST_NAME, -1, -1, nullptr, "a raw image has no place for the disk's name");
    if (disk->write_protect != D88_WRITABLE)
        report_loss(report, D88_KIND_LOST_PROTECT, -1, -1, nullptr, "a raw image has no place for the write protection");
    return g;
}

uint32_t fdi_drive_type(const d88_disk* disk, const raw_geometry& g)
{
    if (disk->disk_type != D88_MEDIA_2HD)
        return FDI_2DD;
    return g.sectors * (128 << g.size_code) > HDM_SECTORS * 1024 ? FDI_2HD_144 : FDI_2HD;
}

// The media of a raw dump from its drive type, else from its track size.
uint8_t raw_media(uint32_t drive_type, const raw_geometry& g)
{
    if ((drive_type & 0xF0) == FDI_2HD || (drive_type & 0xF0) == FDI_2HD_144)
        return D88_MEDIA_2HD;
    if ((drive_type & 0xF0) != FDI_2DD && g.sectors * (128 << g.size_code) > 9 * 512)
        return D88_MEDIA_2HD;
    return g.cylinders > 42 ? D88_MEDIA_2DD : D88_MEDIA_2D;
}

// Lays out the slots of a disk of shape g and fills their data from bytes.
int32_t fill_raw_disk(d88_disk* disk, const raw_geometry& g, const uint8_t* data)
{
    const int32_t size = 128 << g.size_code;
    for (int32_t c = 0; c < g.cylinders; ++c) {
        for (int32_t h = 0; h < g.heads; ++h) {
            d88_track& track = disk->track[c * 2 + h];
            track.sectors = create_d88_sectors(static_cast<uint8_t>(c), static_cast<uint8_t>(h), 1,
                                               static_cast<uint8_t>(g.size_code), g.sectors, 0);
            if (track.sectors == nullptr)
                return -1;
            track.count = g.sectors;
            for (int32_t i = 0; i < g.sectors; ++i, data += size)
                std::memcpy(track.sectors[i].data, data, static_cast<size_t>(size));
        }
    }
    return 0;
}

// A DIM image: the tracks its table names, each of the media's shape.
int32_t read_dim_disk(d88_disk* disk, const uint8_t* bytes, int32_t size)
{
    if (size < DIM_HEADER_SIZE || std::memcmp(bytes + DIM_SIGNATURE_AT, DIM_SIGNATURE, sizeof DIM_SIGNATURE - 1) != 0) {
        print_d88_line("illegal data: no DIM header");
        return -1;
    }
    const dim_media* m = nullptr;
    for (const dim_media& known : DIM_MEDIA)
        m = known.type == bytes[0] ? &known : m;
    if (m == nullptr) {
        print_d88_message("illegal data: DIM media byte 0x%02X is none of 2HD, 2HS, 2HC, 2HDE and 2HQ\n", bytes[0]);
        return -1;
    }
    const int32_t track_size = m->sectors * (128 << m->size_code);
    int64_t at = DIM_HEADER_SIZE;
    std::memset(disk->name, ' ', 16);
    disk->disk_type = D88_MEDIA_2HD;
    for (int32_t t = 0; t < DIM_TRACK_MAX; ++t) {
        if (bytes[DIM_TRACKS_AT + t] == 0)
            continue;
        if (t >= D88_TRACK_MAX || at + track_size > size) {
            print_d88_message("illegal data: DIM track %d %s\n", static_cast<int>(t),
                              t >= D88_TRACK_MAX ? "is beyond what a D88 disk holds" : "passes the end of the file");
            return -1;
        }
        d88_track& track = disk->track[t];
        track.sectors = create_d88_sectors(static_cast<uint8_t>(t / 2), static_cast<uint8_t>(t % 2), 1,
                                           static_cast<uint8_t>(m->size_code), m->sectors, 0);
        if (track.sectors == nullptr)
            return -1;
        track.count = m->sectors;
        for (int32_t i = 0; i < m->sectors; ++i, at += 128 << m->size_code)
            std::memcpy(track.sectors[i].data, bytes + at, static_cast<size_t>(128 << m->size_code));
    }
    return 0;
}

}  // namespace

void write_raw_disk(const d88_disk* disk, int32_t format, loss_report* report, byte_sink* sink)
{
    const raw_geometry g = check_raw_disk(disk, format, report);
    const int32_t size = 128 << (g.size_code & 7);
    if (format == D88_FILE_FDI) {
        uint8_t header[FDI_HEADER_SIZE] = {};
        put_le32(header + FDI_TYPE_AT, fdi_drive_type(disk, g));
        put_le32(header + FDI_HEADER_SIZE_AT, FDI_HEADER_SIZE);
        put_le32(header + FDI_DATA_SIZE_AT, static_cast<uint32_t>(g.cylinders * g.heads * g.sectors * size));
        put_le32(header + FDI_SECTOR_SIZE_AT, static_cast<uint32_t>(size));
        put_le32(header + FDI_SECTORS_AT, static_cast<uint32_t>(g.sectors));
        put_le32(header + FDI_HEADS_AT, static_cast<uint32_t>(g.heads));
        put_le32(header + FDI_CYLINDERS_AT, static_cast<uint32_t>(g.cylinders));
        put_sink_bytes(sink, header, sizeof header);
    }
    if (format == D88_FILE_DIM) {
        uint8_t header[DIM_HEADER_SIZE] = {};
        const dim_media* m = find_dim_media(g.sectors, g.size_code);
        header[0] = m != nullptr ? m->type : 0;
        for (int32_t t = 0; t < g.cylinders * g.heads && t < DIM_TRACK_MAX; ++t)
            header[DIM_TRACKS_AT + t] = 1;
        std::memcpy(header + DIM_SIGNATURE_AT, DIM_SIGNATURE, sizeof DIM_SIGNATURE - 1);
        put_sink_bytes(sink, header, sizeof header);
    }
    for (int32_t slot = 0; slot < g.cylinders * g.heads; ++slot) {
        for (int32_t r = 1; r <= g.sectors; ++r) {
            const d88_sector* s = find_r(disk->track[slot], r);
            const int32_t kept = s == nullptr ? 0 : s->data_size < size ? s->data_size : size;
            if (kept > 0)
                put_sink_bytes(sink, s->data, kept);
            put_sink_fill(sink, 0, size - kept);
        }
    }
}

int32_t read_raw_disk(d88_disk* disk, const uint8_t* bytes, int32_t size, int32_t format)
{
    raw_geometry g = {HDM_CYLINDERS, 2, HDM_SECTORS, HDM_SIZE_CODE};
    uint32_t drive_type = FDI_2HD;
    int64_t header = 0;
    if (format == D88_FILE_FDI) {
        if (size < FDI_FIELDS_END) {
            print_d88_line("illegal data: the FDI header is cut");
            return -1;
        }
        drive_type = static_cast<uint32_t>(get_le32(bytes + FDI_TYPE_AT));
        header = static_cast<uint32_t>(get_le32(bytes + FDI_HEADER_SIZE_AT));
        const int32_t sector_size = get_le32(bytes + FDI_SECTOR_SIZE_AT);
        g = {get_le32(bytes + FDI_CYLINDERS_AT), get_le32(bytes + FDI_HEADS_AT), get_le32(bytes + FDI_SECTORS_AT),
             size_code_of_size(sector_size)};
        if (g.size_code < 1 || g.size_code > 6 || g.heads < 1 || g.heads > 2 || g.cylinders < 1 || g.cylinders > 82 ||
            g.sectors < 1 || g.sectors > 255 || header < FDI_FIELDS_END) {
            print_d88_message("illegal data: FDI geometry %d x %d x %d x %d bytes, header %lld bytes\n",
                              static_cast<int>(g.cylinders), static_cast<int>(g.heads), static_cast<int>(g.sectors),
                              static_cast<int>(sector_size), static_cast<long long>(header));
            return -1;
        }
    }
    if (format == D88_FILE_DIM)
        return read_dim_disk(disk, bytes, size);
    const int64_t data = int64_t{g.cylinders} * g.heads * g.sectors * (128 << g.size_code);
    if (header + data != size) {
        print_d88_message("illegal data: %d bytes, but the %s geometry needs %lld\n", static_cast<int>(size),
                          format == D88_FILE_FDI ? "FDI header's" : "HDM", static_cast<long long>(header + data));
        return -1;
    }
    std::memset(disk->name, ' ', 16);
    disk->disk_type = raw_media(drive_type, g);
    return fill_raw_disk(disk, g, bytes + header);  // which says why it failed
}
