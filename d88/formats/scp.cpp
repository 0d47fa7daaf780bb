// scp.cpp -- SCP files, the flux dumps of a widely used flux reader.
//
// A 16-byte header ("SCP", the version, the disk type, the revolutions,
// the first and last track, the flags -- bit 0 the reads start at the
// index, bit 1 a 96 tpi drive, bit 2 a 360 rpm drive --, the bits of a flux
// value (0: 16), the heads (0 both, 1 side 0, 2 side 1), the resolution
// (25 ns x (n + 1)), and the checksum of every byte from 0x10 on); a table
// of the offsets of the tracks' headers at 0x10 (track = cylinder x 2 +
// head; 0 for none); each track a "TRK" header with its number and, for
// each revolution, the revolution's time (in 25 ns), the number of its flux
// values and their offset from the track's header; the values big-endian,
// a 0 adding 65536 to the next.
#include "formats.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/layout.h"
#include "core/message.h"
#include "shared/flux.h"
#include "shared/media.h"
#include "shared/track_bits.h"

namespace {

constexpr char SCP_SIGNATURE[] = "SCP";
constexpr int32_t SCP_VERSION_AT = 0x03, SCP_TYPE_AT = 0x04, SCP_REVOLUTIONS_AT = 0x05, SCP_START_AT = 0x06, SCP_END_AT = 0x07,
                  SCP_FLAGS_AT = 0x08, SCP_WIDTH_AT = 0x09, SCP_HEADS_AT = 0x0A, SCP_RESOLUTION_AT = 0x0B,
                  SCP_CHECKSUM_AT = 0x0C, SCP_TABLE_AT = 0x10;
constexpr int32_t SCP_TABLE_ENTRIES = 168, SCP_TRACK_HEADER = 4, SCP_REVOLUTION_ENTRY = 12;
constexpr uint8_t SCP_INDEX_CUED = 0x01, SCP_96_TPI = 0x02, SCP_360_RPM = 0x04, SCP_NORMALISED = 0x08, SCP_OTHER_CREATOR = 0x80;
constexpr uint8_t SCP_BOTH_SIDES = 0, SCP_SIDE_0 = 1, SCP_SIDE_1 = 2;
// What is written: the version of the layout followed (2.5), a disk type
// of the "other" maker (its kind not said).
constexpr uint8_t SCP_WRITTEN_VERSION = 0x25, SCP_OTHER_DISK = 0x80;
constexpr double TIME_UNIT_NS = 25.0;
constexpr int32_t REVOLUTIONS_MAX = 5;

constexpr int32_t KBIT_DD = 250, KBIT_HD = 500;
constexpr sector_reach SCP_REACH = {true, true};

// The table's entries: up to 168, and no further than the first track
// header it names (shorter tables end there).
int32_t count_table_entries(const uint8_t* bytes, int32_t size)
{
    int64_t end = size;
    int32_t entries = 0;
    for (; entries < SCP_TABLE_ENTRIES && SCP_TABLE_AT + 4 * (entries + 1) <= end; ++entries) {
        const int64_t offset = static_cast<uint32_t>(get_le32(bytes + SCP_TABLE_AT + 4 * entries));
        end = offset != 0 && offset < end ? offset : end;
    }
    return entries;
}

// The slot of table entry t: a single-sided dump numbers its side's
// tracks 0, 2, 4, ... (or 1, 3, 5, ...), though some count 0, 1, 2, ...
int32_t slot_of_entry(int32_t t, uint8_t heads, bool counted)
{
    if (heads == SCP_BOTH_SIDES || !counted)
        return t;
    return t * 2 + (heads == SCP_SIDE_1 ? 1 : 0);
}

// Whether a single-sided dump counts its tracks 0, 1, 2, ...: it names a
// track of the other side's numbers.
bool counts_tracks(const uint8_t* bytes, int32_t entries, uint8_t heads)
{
    for (int32_t t = 0; heads != SCP_BOTH_SIDES && t < entries; ++t) {
        const bool side_0 = t % 2 == 0;  // by the numbers of both sides
        if (get_le32(bytes + SCP_TABLE_AT + 4 * t) != 0 && side_0 != (heads == SCP_SIDE_0))
            return true;
    }
    return false;
}

// One track from the header at `at`: its flux into reading's intervals,
// where its revolutions start into starts (revolutions + 1 of them), the
// revolutions holding flux in *revolutions; false after a message.
bool read_track_flux(const uint8_t* bytes, int32_t size, int64_t at, int32_t revolutions, flux_reading* reading, double* starts,
                     int32_t* kept, int64_t* count)
{
    if (at + SCP_TRACK_HEADER + int64_t{SCP_REVOLUTION_ENTRY} * revolutions > size ||
        std::memcmp(bytes + at, "TRK", 3) != 0) {
        print_d88_message("illegal data: the SCP track header at 0x%08X is cut or not one\n", static_cast<unsigned>(at));
        return false;
    }
    int64_t values = 0;
    for (int32_t r = 0; r < revolutions; ++r) {
        const uint8_t* entry = bytes + at + SCP_TRACK_HEADER + SCP_REVOLUTION_ENTRY * r;
        const int64_t length = static_cast<uint32_t>(get_le32(entry + 4));
        const int64_t data = at + static_cast<uint32_t>(get_le32(entry + 8));
        if (data + length * 2 > size) {
            print_d88_message("illegal data: the flux of revolution %d of the SCP track at 0x%08X passes the end of the file\n",
                              static_cast<int>(r), static_cast<unsigned>(at));
            return false;
        }
        values += length;
    }
    if (!reserve_flux_intervals(reading, values)) {
        print_d88_line("memory exhaust!");
        return false;
    }
    *count = 0;
    *kept = 0;
    starts[0] = 0;
    int64_t ticks = 0;
    for (int32_t r = 0; r < revolutions; ++r) {
        const uint8_t* entry = bytes + at + SCP_TRACK_HEADER + SCP_REVOLUTION_ENTRY * r;
        const int64_t length = static_cast<uint32_t>(get_le32(entry + 4));
        if (get_le32(entry) == 0 || length == 0)
            break;  // an empty revolution: the ones after it are empty too
        const uint8_t* p = bytes + at + static_cast<uint32_t>(get_le32(entry + 8));
        uint32_t carried = 0;
        uint32_t* out = reading->intervals + *count;
        for (int64_t i = 0; i < length; ++i, p += 2) {
            const uint32_t value = static_cast<uint32_t>(p[0]) << 8 | p[1];
            *out = value + carried;
            carried = value == 0 ? carried + 0x10000 : 0;
            out += value != 0;
            ticks += value == 0 ? 0x10000 : value;
        }
        *count = out - reading->intervals;
        starts[++*kept] = static_cast<double>(ticks);
    }
    return true;
}

}  // namespace

bool is_scp_image(const uint8_t* bytes, int32_t size)
{
    return size >= SCP_TABLE_AT && std::memcmp(bytes, SCP_SIGNATURE, 3) == 0;
}

int32_t read_scp_disk(d88_disk* disk, const uint8_t* bytes, int32_t size, flux_reading* reading)
{
    if (!is_scp_image(bytes, size)) {
        print_d88_line("illegal data: no SCP header");
        return -1;
    }
    const int32_t revolutions = bytes[SCP_REVOLUTIONS_AT];
    const uint8_t heads = bytes[SCP_HEADS_AT];
    if (revolutions < 1 || (bytes[SCP_WIDTH_AT] != 0 && bytes[SCP_WIDTH_AT] != 16) || heads > SCP_SIDE_1) {
        print_d88_message("illegal data: SCP of %d revolutions, flux values of %d bits and heads %d\n", static_cast<int>(revolutions),
                          bytes[SCP_WIDTH_AT] == 0 ? 16 : static_cast<int>(bytes[SCP_WIDTH_AT]), static_cast<int>(heads));
        return -1;
    }
    std::memset(disk->name, ' ', 16);
    const double tick_ns = TIME_UNIT_NS * (bytes[SCP_RESOLUTION_AT] + 1);
    const int32_t entries = count_table_entries(bytes, size);
    const bool counted = counts_tracks(bytes, entries, heads);
    double* starts = static_cast<double*>(std::malloc(sizeof(double) * static_cast<size_t>(revolutions + 1)));
    if (starts == nullptr) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    int32_t result = 0;
    for (int32_t t = 0; t < entries && result == 0; ++t) {
        const int64_t at = static_cast<uint32_t>(get_le32(bytes + SCP_TABLE_AT + 4 * t));
        const int32_t slot = slot_of_entry(t, heads, counted);
        if (at == 0 || slot >= D88_TRACK_MAX)
            continue;
        int32_t kept = 0;
        int64_t count = 0;
        if (!read_track_flux(bytes, size, at, revolutions, reading, starts, &kept, &count)) {
            result = -1;
            break;
        }
        const flux_track flux = {reading->intervals, count, static_cast<int64_t>(starts[kept]), tick_ns, starts, kept,
                                 (bytes[SCP_FLAGS_AT] & SCP_INDEX_CUED) != 0};
        if (!decode_flux_track(flux, slot, disk, reading)) {
            print_d88_line("memory exhaust!");
            result = -1;
        }
    }
    std::free(starts);
    return result;
}

namespace {

// The number of transitions (ones) in the cells' bytes.
int64_t count_transitions(const uint8_t* cells, int64_t bytes)
{
    int64_t ones = 0;
    for (int64_t i = 0; i < bytes; ++i) {
        for (uint32_t b = cells[i]; b != 0; b &= b - 1)
            ++ones;
    }
    return ones;
}

// One interval as flux values at out: a 0 for every 65536 ticks in it,
// then the rest (an exact multiple of 65536 a tick later, which no value
// holds).  Past the values written.
uint8_t* put_interval(uint8_t* out, int64_t ticks)
{
    if (ticks % 0x10000 == 0)
        ++ticks;
    for (; ticks > 0xFFFF; ticks -= 0x10000, out += 2)
        out[0] = out[1] = 0;
    out[0] = static_cast<uint8_t>(ticks >> 8);
    out[1] = static_cast<uint8_t>(ticks);
    return out + 2;
}

// The flux of `revolutions` revolutions of a track's cells (count cells, a
// whole number of bytes, cell_ns each), transitions in the middle of their
// cells: each revolution's values, and each revolution's time and number
// of values.
void put_track_flux(const uint8_t* cells, int64_t count, double cell_ns, int32_t revolutions, byte_sink* sink, uint32_t* times,
                    uint32_t* lengths)
{
    const double ticks_per_cell = cell_ns / TIME_UNIT_NS;
    const int64_t revolution_ticks = std::llround(static_cast<double>(count) * ticks_per_cell);
    // a value for each transition, and a 0 for each 65536 ticks waited
    const int64_t most = count_transitions(cells, count / 8) + revolution_ticks / 0x10000 + 4;
    int64_t last = 0;  // ticks, the last transition's
    for (int32_t r = 0; r < revolutions; ++r) {
        if (!reserve_sink(sink, 2 * most))
            return;
        uint8_t* const first = sink->bytes + sink->size;
        uint8_t* out = first;
        for (int64_t byte = 0; byte < count / 8; ++byte) {
            for (int32_t bit = 0; cells[byte] != 0 && bit < 8; ++bit) {
                if ((cells[byte] >> (7 - bit) & 1) == 0)
                    continue;
                const int64_t at = static_cast<int64_t>((static_cast<double>(r * count + byte * 8 + bit) + 0.5) * ticks_per_cell + 0.5);
                out = put_interval(out, at - last);
                last = at;
            }
        }
        sink->size += out - first;
        times[r] = static_cast<uint32_t>(revolution_ticks);
        lengths[r] = static_cast<uint32_t>((out - first) / 2);
    }
}

bool is_present(const d88_track& track)
{
    return track.sectors != nullptr && track.count > 0;
}

// One track of the disk: its header and flux at the end of sink, where
// the sink's size says; false when memory runs out.
bool write_track(const d88_disk* disk, int32_t slot, int32_t kbit, int32_t rpm, int32_t revolutions, track_bytes* scratch,
                 uint8_t* cells, loss_report* report, byte_sink* sink)
{
    const d88_track& track = disk->track[slot];
    const bool fm = check_track_density(track, slot, "SCP", report);
    for (int32_t i = 0; i < track.count; ++i)
        check_recorded_sector(track.sectors[i], slot, i, "SCP", SCP_REACH, report);
    const int64_t revolution_cells = int64_t{kbit} * 1000 * 2 * 60 / rpm;
    char medium[32];
    std::snprintf(medium, sizeof medium, "%d kbit/s, %d rpm", static_cast<int>(fm ? kbit / 2 : kbit), static_cast<int>(rpm));
    scratch->capacity = static_cast<int32_t>(revolution_cells / cells_per_byte(fm));
    if (!lay_out_track(track, slot, fm, medium, report, scratch))
        return false;
    encode_track_cells(*scratch, fm, cells);
    const int64_t header = sink->size;
    uint8_t entries[SCP_TRACK_HEADER + SCP_REVOLUTION_ENTRY * REVOLUTIONS_MAX] = {'T', 'R', 'K', static_cast<uint8_t>(slot)};
    put_sink_bytes(sink, entries, SCP_TRACK_HEADER + SCP_REVOLUTION_ENTRY * revolutions);
    uint32_t times[REVOLUTIONS_MAX], lengths[REVOLUTIONS_MAX];
    put_track_flux(cells, int64_t{scratch->capacity} * cells_per_byte(fm), 1e6 / (2.0 * kbit), revolutions, sink, times, lengths);
    if (sink->failed)
        return true;  // the caller says it
    int64_t offset = SCP_TRACK_HEADER + SCP_REVOLUTION_ENTRY * revolutions;
    for (int32_t r = 0; r < revolutions; ++r) {
        uint8_t* entry = sink->bytes + header + SCP_TRACK_HEADER + SCP_REVOLUTION_ENTRY * r;
        put_le32(entry, times[r]);
        put_le32(entry + 4, lengths[r]);
        put_le32(entry + 8, static_cast<uint32_t>(offset));
        offset += int64_t{lengths[r]} * 2;
    }
    return true;
}

}  // namespace

int32_t write_scp_disk(const d88_disk* disk, int32_t rpm, int32_t revolutions, loss_report* report, byte_sink* sink)
{
    if (revolutions < 1 || revolutions > REVOLUTIONS_MAX) {
        print_d88_message("illegal data: SCP is written with 1 to %d revolutions a track, not %d\n", static_cast<int>(REVOLUTIONS_MAX),
                          static_cast<int>(revolutions));
        return -1;
    }
    int32_t first = -1, last = -1;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        if (is_present(disk->track[slot]))
            last = slot, first = first < 0 ? slot : first;
    }
    const int32_t kbit = disk->disk_type == D88_MEDIA_2HD ? KBIT_HD : KBIT_DD;
    rpm = choose_disk_rpm(disk, rpm);
    check_disk_fields(disk, "SCP", false, false, media_of_geometry(kbit == KBIT_HD, last / 2 + 1), report);
    uint8_t header[SCP_TABLE_AT + 4 * SCP_TABLE_ENTRIES] = {'S', 'C', 'P'};
    header[SCP_VERSION_AT] = SCP_WRITTEN_VERSION;
    header[SCP_TYPE_AT] = SCP_OTHER_DISK;
    header[SCP_REVOLUTIONS_AT] = static_cast<uint8_t>(revolutions);
    header[SCP_START_AT] = static_cast<uint8_t>(first > 0 ? first : 0);
    header[SCP_END_AT] = static_cast<uint8_t>(last > 0 ? last : 0);
    header[SCP_FLAGS_AT] = static_cast<uint8_t>(SCP_INDEX_CUED | (last / 2 + 1 > 42 ? SCP_96_TPI : 0) | (rpm == 360 ? SCP_360_RPM : 0) |
                                                SCP_NORMALISED | SCP_OTHER_CREATOR);
    header[SCP_HEADS_AT] = SCP_BOTH_SIDES;
    const int64_t revolution_cells = int64_t{kbit} * 1000 * 2 * 60 / rpm;
    // room for what most disks need at once (a value, two bytes, for about
    // one cell in two), rather than the sink doubling its copies of the flux
    int64_t present = 0;
    for (const d88_track& track : disk->track)
        present += is_present(track);
    reserve_sink(sink, static_cast<int64_t>(sizeof header) + present * (SCP_TRACK_HEADER + SCP_REVOLUTION_ENTRY * revolutions +
                                                                         revolution_cells * revolutions));
    put_sink_bytes(sink, header, sizeof header);
    uint8_t* bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(revolution_cells / 16 + 1)));
    uint8_t* kinds = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(revolution_cells / 16 + 1)));
    uint8_t* cells = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(revolution_cells / 8 + 8)));
    track_bytes scratch = {bytes, kinds, 0};
    sink->failed |= bytes == nullptr || kinds == nullptr || cells == nullptr;
    for (int32_t slot = first; slot >= 0 && slot <= last && !sink->failed; ++slot) {
        if (!is_present(disk->track[slot]))
            continue;
        put_le32(sink->bytes + SCP_TABLE_AT + 4 * slot, static_cast<uint32_t>(sink->size));
        sink->failed |= !write_track(disk, slot, kbit, rpm, revolutions, &scratch, cells, report, sink);
    }
    std::free(bytes);
    std::free(kinds);
    std::free(cells);
    if (sink->failed)
        return 0;
    uint32_t checksum = 0;
    for (int64_t i = SCP_TABLE_AT; i < sink->size; ++i)
        checksum += sink->bytes[i];
    put_le32(sink->bytes + SCP_CHECKSUM_AT, checksum);
    return 0;
}
