// imd.cpp -- ImageDisk's IMD images.
//
// An IMD file is an ASCII header line ("IMD 1.18: date time"), a comment
// ended by 0x1A, then its tracks.  Each track is five bytes -- mode (data
// rate and FM or MFM), cylinder, head (with flags for a cylinder map and a
// head map), number of sectors, size code (0xFF: a table of sizes) -- then
// the sector numbering map, the optional maps and table, and a record per
// sector: 0 unavailable, else 1 + 1 (compressed to one fill byte) + 2
// (deleted data) + 4 (data error), followed by its data.
#include "formats.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/file.h"
#include "core/layout.h"
#include "core/message.h"

namespace {

// The track header's modes: 0 to 2 FM, 3 to 5 MFM, at 500, 300 and 250
// kbit/s.
constexpr uint8_t IMD_MODES = 6;
constexpr uint8_t IMD_FIRST_MFM = 3;
constexpr uint8_t IMD_500K_FM = 0, IMD_250K_FM = 2;
constexpr uint8_t IMD_CYLINDER_MAP = 0x80, IMD_HEAD_MAP = 0x40;
constexpr uint8_t IMD_SIZE_TABLE = 0xFF;
constexpr uint8_t IMD_UNAVAILABLE = 0, IMD_COMPRESSED = 1, IMD_DELETED = 2, IMD_ERROR = 4;
constexpr uint8_t IMD_RECORD_MAX = 8;
constexpr uint8_t IMD_COMMENT_END = 0x1A;
constexpr int32_t IMD_SECTORS_MAX = 255;
// The header line, "IMD 1.18: dd/mm/yyyy hh:mm:ss\r\n", with the time of
// writing; the comment after it is the disk's name.
constexpr char IMD_SIGNATURE[] = "IMD ";
constexpr int32_t NAME_BYTES = 16;
constexpr sector_reach IMD_REACH = {false, true};

bool is_fill(const uint8_t* data, int32_t size)
{
    for (int32_t i = 1; i < size; ++i) {
        if (data[i] != data[0])
            return false;
    }
    return size > 0;
}

// The size code every sector of a track records, or -1 when they differ
// or one is past 6: then the track carries a table of sizes.
int32_t common_size_code(const d88_track& track)
{
    const int32_t n = track.sectors[0].n;
    for (int32_t i = 0; i < track.count; ++i) {
        if (track.sectors[i].n != n || n > 6)
            return -1;
    }
    return n;
}

// The record type of a sector (its data stored whole): unavailable, or
// data with its deleted mark and data error.
uint8_t record_type(const d88_sector& s)
{
    if (s.data_size == 0)
        return IMD_UNAVAILABLE;
    const bool deleted = s.deleted_mark != 0 || s.status == D88_STATUS_DELETED;
    const bool error = s.status == D88_STATUS_DATA_CRC;
    return static_cast<uint8_t>(1 + (deleted ? IMD_DELETED : 0) + (error ? IMD_ERROR : 0));
}

// The bytes a sector's record stands for: its N's, or its data size where
// N stands for none.
int32_t record_size(const d88_sector& s)
{
    const int32_t size = sector_size_of_code(s.n);
    return size >= 0 ? size : s.data_size;
}

// The bytes of the disk's name the comment holds: up to its zero, without
// the spaces that pad it.
int32_t name_length(const d88_disk* disk)
{
    int32_t named = 0;
    while (named < NAME_BYTES && disk->name[named] != '\0')
        ++named;
    while (named > 0 && disk->name[named - 1] == ' ')
        --named;
    return named;
}

// Whether the name comes back from the comment as it is: a line of its
// own, padded with spaces.
bool is_name_kept(const d88_disk* disk)
{
    const int32_t named = name_length(disk);
    for (int32_t i = 0; i < NAME_BYTES; ++i) {
        const char c = disk->name[i];
        if (i < named ? (c == '\r' || c == '\n' || c == static_cast<char>(IMD_COMMENT_END)) : c != ' ')
            return false;
    }
    return disk->name[NAME_BYTES] == '\0';
}

// One track: its header, maps and records.
void write_imd_track(const d88_disk* disk, int32_t slot, loss_report* report, byte_sink* sink)
{
    const d88_track& track = disk->track[slot];
    const uint8_t cylinder = static_cast<uint8_t>(slot / 2), head = static_cast<uint8_t>(slot % 2);
    const bool fm = check_track_density(track, slot, "IMD", report);
    bool cylinder_map = false, head_map = false;
    for (int32_t i = 0; i < track.count; ++i) {
        const d88_sector& s = track.sectors[i];
        cylinder_map |= s.c != cylinder;
        head_map |= s.h != head;
        check_recorded_sector(s, slot, i, "IMD", IMD_REACH, report);
    }
    const int32_t size_code = common_size_code(track);
    const uint8_t mode = static_cast<uint8_t>((disk->disk_type == D88_MEDIA_2HD ? IMD_500K_FM : IMD_250K_FM) + (fm ? 0 : IMD_FIRST_MFM));
    put_sink_byte(sink, mode);
    put_sink_byte(sink, cylinder);
    put_sink_byte(sink, static_cast<uint8_t>(head | (cylinder_map ? IMD_CYLINDER_MAP : 0) | (head_map ? IMD_HEAD_MAP : 0)));
    put_sink_byte(sink, static_cast<uint8_t>(track.count));
    put_sink_byte(sink, size_code >= 0 ? static_cast<uint8_t>(size_code) : IMD_SIZE_TABLE);
    for (int32_t i = 0; i < track.count; ++i)
        put_sink_byte(sink, track.sectors[i].r);
    for (int32_t i = 0; cylinder_map && i < track.count; ++i)
        put_sink_byte(sink, track.sectors[i].c);
    for (int32_t i = 0; head_map && i < track.count; ++i)
        put_sink_byte(sink, track.sectors[i].h);
    for (int32_t i = 0; size_code < 0 && i < track.count; ++i)
        put_sink_le16(sink, static_cast<uint16_t>(record_size(track.sectors[i])));
    for (int32_t i = 0; i < track.count; ++i) {
        const d88_sector& s = track.sectors[i];
        const int32_t size = record_size(s);
        uint8_t type = record_type(s);
        if (type == IMD_UNAVAILABLE) {
            put_sink_byte(sink, type);
            continue;
        }
        const int32_t kept = s.data_size < size ? s.data_size : size;
        const bool fill = kept == size && is_fill(s.data, kept);
        type = static_cast<uint8_t>(type + (fill ? IMD_COMPRESSED : 0));
        put_sink_byte(sink, type);
        if (fill) {
            put_sink_byte(sink, s.data[0]);
            continue;
        }
        put_sink_bytes(sink, s.data, kept);
        put_sink_fill(sink, 0, size - kept);
    }
}

// Where a track's bytes cannot be taken as IMD, said with the offset of
// the track; always -1.
int32_t refuse(const char* what, int64_t at)
{
    print_d88_message("illegal data: IMD track at 0x%08X: %s\n", static_cast<unsigned>(at), what);
    return -1;
}

// The sector of a track read: its ID, density, marks and a copy of its
// data (a fill byte repeated for a compressed record).
bool read_imd_sector(d88_sector* s, uint8_t type, const uint8_t* data, int32_t size, bool fm, uint16_t count)
{
    s->sector_count = count;
    s->density = fm ? D88_SINGLE_DENSITY : 0;
    if (type == IMD_UNAVAILABLE) {
        s->status = D88_STATUS_NO_DATA;
        return true;
    }
    const uint8_t flags = static_cast<uint8_t>(type - 1);
    s->deleted_mark = (flags & IMD_DELETED) != 0 ? D88_STATUS_DELETED : 0;
    s->status = (flags & IMD_ERROR) != 0 ? D88_STATUS_DATA_CRC : (flags & IMD_DELETED) != 0 ? D88_STATUS_DELETED : 0;
    s->data_size = static_cast<int16_t>(size);
    if (size == 0)
        return true;  // a sector of no bytes has no data to hold
    s->data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
    if (s->data == nullptr)
        return false;
    if ((flags & IMD_COMPRESSED) != 0)
        std::memset(s->data, data[0], static_cast<size_t>(size));
    else
        std::memcpy(s->data, data, static_cast<size_t>(size));
    return true;
}

// One track from `at`: its sectors into the disk's slot; the position after
// it, or -1 after a message.
int64_t read_imd_track(d88_disk* disk, const uint8_t* bytes, int64_t size, int64_t at, bool* high_rate)
{
    if (at + 5 > size)
        return refuse("the track header is cut", at);
    const uint8_t mode = bytes[at], cylinder = bytes[at + 1], head = bytes[at + 2], count = bytes[at + 3],
                  size_code = bytes[at + 4];
    if (mode >= IMD_MODES || (head & 0x3F) > 1 || (size_code > 6 && size_code != IMD_SIZE_TABLE))
        return refuse("the mode, head or size code is none IMD has", at);
    const int32_t slot = cylinder * 2 + (head & 1);
    if (slot >= D88_TRACK_MAX || disk->track[slot].sectors != nullptr || count == 0)
        return refuse(count == 0 ? "the track has no sector" : "the track is one a D88 disk cannot hold, or a second of one cylinder and head", at);
    const uint8_t* numbers = bytes + at + 5;
    const int64_t maps = count * (1 + ((head & IMD_CYLINDER_MAP) != 0) + ((head & IMD_HEAD_MAP) != 0) +
                                  (size_code == IMD_SIZE_TABLE ? 2 : 0));
    if (at + 5 + maps > size)
        return refuse("its maps are cut", at);
    const uint8_t* cylinders = (head & IMD_CYLINDER_MAP) != 0 ? numbers + count : nullptr;
    const uint8_t* heads = (head & IMD_HEAD_MAP) != 0 ? numbers + count * (1 + (cylinders != nullptr)) : nullptr;
    const uint8_t* sizes = size_code == IMD_SIZE_TABLE ? numbers + maps - 2 * count : nullptr;
    d88_track& track = disk->track[slot];
    track.sectors = static_cast<d88_sector*>(std::calloc(count, sizeof(d88_sector)));
    if (track.sectors == nullptr) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    track.count = count;
    *high_rate |= mode == IMD_500K_FM || mode == IMD_500K_FM + IMD_FIRST_MFM;
    int64_t position = at + 5 + maps;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t sector_size = sizes != nullptr ? get_le16(sizes + 2 * i) : sector_size_of_code(size_code);
        if (position >= size || bytes[position] > IMD_RECORD_MAX || sector_size > D88_DATA_SIZE_MAX)
            return refuse("a sector record is cut, of no type IMD has, or too large for a D88 sector", position);
        const uint8_t type = bytes[position++];
        const int64_t stored = type == IMD_UNAVAILABLE ? 0 : ((type - 1) & IMD_COMPRESSED) != 0 ? 1 : sector_size;
        if (position + stored > size)
            return refuse("a sector's data is cut", position);
        d88_sector& s = track.sectors[i];
        s.c = cylinders != nullptr ? cylinders[i] : cylinder;
        s.h = heads != nullptr ? heads[i] : static_cast<uint8_t>(head & 1);
        s.r = numbers[i];
        const int32_t n = size_code_of_size(sector_size);
        s.n = static_cast<uint8_t>(n >= 0 ? n : 0);
        if (!read_imd_sector(&s, type, bytes + position, sector_size, mode < IMD_FIRST_MFM, count)) {
            print_d88_line("memory exhaust!");
            return -1;
        }
        position += stored;
    }
    return position;
}

// The header line with the time of writing, and the disk's name as the
// comment, so that it comes back as it was.
void write_imd_header(const d88_disk* disk, byte_sink* sink)
{
    int t[6] = {2000, 1, 1, 0, 0, 0};
    read_d88_clock(t);
    char line[64];
    std::snprintf(line, sizeof line, "IMD 1.18: %02d/%02d/%04d %02d:%02d:%02d\r\n", t[2] % 100, t[1] % 100, t[0] % 10000,
                  t[3] % 100, t[4] % 100, t[5] % 100);
    put_sink_bytes(sink, reinterpret_cast<const uint8_t*>(line), static_cast<int64_t>(std::strlen(line)));
    put_sink_bytes(sink, reinterpret_cast<const uint8_t*>(disk->name), name_length(disk));
    put_sink_byte(sink, IMD_COMMENT_END);
}

}  // namespace

bool is_imd_image(const uint8_t* bytes, int32_t size)
{
    return size >= 4 && std::memcmp(bytes, IMD_SIGNATURE, 4) == 0 && std::memchr(bytes, IMD_COMMENT_END, static_cast<size_t>(size)) != nullptr;
}

int32_t write_imd_disk(const d88_disk* disk, loss_report* report, byte_sink* sink)
{
    int32_t last_slot = -1;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        if (disk->track[slot].sectors == nullptr || disk->track[slot].count == 0)
            continue;
        last_slot = slot;
        if (disk->track[slot].count > IMD_SECTORS_MAX) {
            print_d88_message("illegal data: track slot %d holds %d sectors: IMD holds %d a track\n", static_cast<int>(slot),
                              static_cast<int>(disk->track[slot].count), static_cast<int>(IMD_SECTORS_MAX));
            return -1;
        }
    }
    if (!is_name_kept(disk))
        report_loss(report, D88_KIND_LOST_NAME, -1, -1, nullptr,
                    "IMD's comment keeps a name of up to 16 bytes, padded with spaces, without line ends: this one comes back otherwise");
    check_disk_fields(disk, "IMD", true, false, media_of_geometry(disk->disk_type == D88_MEDIA_2HD, last_slot / 2 + 1), report);
    write_imd_header(disk, sink);
    for (int32_t slot = 0; slot <= last_slot; ++slot) {
        if (disk->track[slot].sectors != nullptr && disk->track[slot].count > 0)
            write_imd_track(disk, slot, report, sink);
    }
    return 0;
}

// The media follows the data rate and the cylinders: 500 kbit/s is 2HD,
// else more than 42 cylinders are 2DD.
int32_t read_imd_disk(d88_disk* disk, const uint8_t* bytes, int32_t size)
{
    if (size < 4 || std::memcmp(bytes, IMD_SIGNATURE, 4) != 0) {
        print_d88_line("illegal data: no IMD header");
        return -1;
    }
    const uint8_t* end = static_cast<const uint8_t*>(std::memchr(bytes, IMD_COMMENT_END, static_cast<size_t>(size)));
    if (end == nullptr) {
        print_d88_line("illegal data: the IMD comment has no end");
        return -1;
    }
    const uint8_t* comment = static_cast<const uint8_t*>(std::memchr(bytes, '\n', static_cast<size_t>(end - bytes)));
    const int64_t named = comment != nullptr ? end - comment - 1 : 0;
    std::memset(disk->name, ' ', NAME_BYTES);
    if (named > 0 && named <= NAME_BYTES && std::memchr(comment + 1, '\r', static_cast<size_t>(named)) == nullptr)
        std::memcpy(disk->name, comment + 1, static_cast<size_t>(named));  // a comment of one short line is a name
    bool high_rate = false;
    int32_t last_slot = -1;
    for (int64_t at = end - bytes + 1; at < size;) {
        at = read_imd_track(disk, bytes, size, at, &high_rate);
        if (at < 0)
            return -1;
    }
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot)
        last_slot = disk->track[slot].sectors != nullptr ? slot : last_slot;
    disk->disk_type = media_of_geometry(high_rate, last_slot / 2 + 1);
    return 0;
}
