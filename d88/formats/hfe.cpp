// hfe.cpp -- HFE images, the bit streams of floppy emulators and of the
// tools that write real floppies.
//
// A 512-byte header ("HXCPICFE", or "HXCHFEV3" for version 3) gives the
// cylinders, sides, encoding, bit rate and rotation; a table at the block it
// names gives each cylinder's place (in 512-byte blocks) and length; a
// cylinder's bytes alternate 256 of side 0 and 256 of side 1, each byte
// eight cells of the track, the first in time in bit 0.  Version 3 adds
// opcodes to the stream (no-op, index, bit rate, bits to skip, random
// bits).
#include "formats.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/layout.h"
#include "core/message.h"
#include "shared/media.h"
#include "shared/track_bits.h"

namespace {

constexpr int32_t HFE_BLOCK = 512, HFE_HALF_BLOCK = 256;
constexpr int32_t HFE_REVISION_AT = 8, HFE_TRACKS_AT = 9, HFE_SIDES_AT = 10, HFE_ENCODING_AT = 11, HFE_RATE_AT = 12,
                  HFE_RPM_AT = 14, HFE_INTERFACE_AT = 16, HFE_DNU_AT = 17, HFE_TABLE_AT = 18, HFE_WRITE_ALLOWED_AT = 20,
                  HFE_SINGLE_STEP_AT = 21, HFE_ALT0_AT = 22, HFE_ENCODING0_AT = 23, HFE_ALT1_AT = 24, HFE_ENCODING1_AT = 25;
constexpr char HFE_V1[] = "HXCPICFE", HFE_V3[] = "HXCHFEV3";
constexpr int32_t HFE_SIGNATURE_SIZE = 8;
constexpr uint8_t HFE_MFM = 0x00, HFE_FM = 0x02, HFE_ALT_USED = 0x00, HFE_UNUSED = 0xFF;
constexpr uint8_t HFE_IBMPC_DD = 0x00, HFE_IBMPC_HD = 0x01;
// Version 3's opcodes, as a stream byte holds them (bit 0 first in time).
constexpr uint8_t HFE_NOP = 0x0F, HFE_SETINDEX = 0x8F, HFE_SETBITRATE = 0x4F, HFE_SKIPBITS = 0xCF, HFE_RAND = 0x2F;

constexpr int32_t KBIT_DD = 250, KBIT_HD = 500, RATE_HD_MIN = 400;
constexpr sector_reach HFE_REACH = {true, true};

// Each byte with its bits in the other order: HFE keeps the first cell in
// time in bit 0, the track code in bit 7.
struct bit_order_table {
    uint8_t reversed[256];
    uint16_t spread[256];  // each cell followed by a 0 (in the track code's order): FM written at the cell rate, stretched
};

constexpr bit_order_table make_bit_order_table()
{
    bit_order_table t = {};
    for (int32_t b = 0; b < 256; ++b) {
        for (int32_t bit = 0; bit < 8; ++bit) {
            t.reversed[b] = static_cast<uint8_t>(t.reversed[b] | (b >> bit & 1) << (7 - bit));
            t.spread[b] = static_cast<uint16_t>(t.spread[b] | (b >> bit & 1) << (2 * bit + 1));
        }
    }
    return t;
}
constexpr bit_order_table BIT_ORDER = make_bit_order_table();

bool is_present(const d88_track& track)
{
    return track.sectors != nullptr && track.count > 0;
}

bool is_fm_track(const d88_track& track)
{
    return is_present(track) && track.sectors[0].density == D88_SINGLE_DENSITY;
}

// The shape of the stream a disk is written as.
struct hfe_shape {
    int32_t cylinders, kbit, rpm, cells, side_bytes, blocks;
    bool all_fm;
};

hfe_shape shape_of(const d88_disk* disk, int32_t rpm)
{
    int32_t last = 0;
    bool all_fm = true;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        if (!is_present(disk->track[slot]))
            continue;
        last = slot;
        all_fm = all_fm && is_fm_track(disk->track[slot]);
    }
    hfe_shape s = {last / 2 + 1, disk->disk_type == D88_MEDIA_2HD ? KBIT_HD : KBIT_DD, choose_disk_rpm(disk, rpm), 0, 0, 0, all_fm};
    s.cells = static_cast<int32_t>(int64_t{s.kbit} * 1000 * 2 * 60 / s.rpm);
    s.side_bytes = (s.cells + 7) / 8;
    s.blocks = (s.side_bytes + HFE_HALF_BLOCK - 1) / HFE_HALF_BLOCK;
    return s;
}

void write_header(const d88_disk* disk, const hfe_shape& s, byte_sink* sink)
{
    uint8_t header[HFE_BLOCK];
    std::memset(header, 0xFF, sizeof header);
    std::memcpy(header, HFE_V1, HFE_SIGNATURE_SIZE);
    header[HFE_REVISION_AT] = 0;
    header[HFE_TRACKS_AT] = static_cast<uint8_t>(s.cylinders);
    header[HFE_SIDES_AT] = 2;
    header[HFE_ENCODING_AT] = s.all_fm ? HFE_FM : HFE_MFM;
    put_le16(header + HFE_RATE_AT, static_cast<uint16_t>(s.kbit));
    put_le16(header + HFE_RPM_AT, static_cast<uint16_t>(s.rpm));
    header[HFE_INTERFACE_AT] = s.kbit == KBIT_HD ? HFE_IBMPC_HD : HFE_IBMPC_DD;
    header[HFE_DNU_AT] = 0x01;
    put_le16(header + HFE_TABLE_AT, 1);
    header[HFE_WRITE_ALLOWED_AT] = disk->write_protect != D88_WRITABLE ? 0x00 : 0xFF;
    header[HFE_SINGLE_STEP_AT] = 0xFF;
    for (int32_t side = 0; side < 2; ++side) {  // track 0 in the other encoding: PC-98 2HD's FM cylinder 0
        const bool fm = is_fm_track(disk->track[side]);
        const bool other = is_present(disk->track[side]) && fm != s.all_fm;
        header[side == 0 ? HFE_ALT0_AT : HFE_ALT1_AT] = other ? HFE_ALT_USED : HFE_UNUSED;
        header[side == 0 ? HFE_ENCODING0_AT : HFE_ENCODING1_AT] = other ? (fm ? HFE_FM : HFE_MFM) : HFE_UNUSED;
    }
    put_sink_bytes(sink, header, sizeof header);
    const int32_t table_blocks = (s.cylinders * 4 + HFE_BLOCK - 1) / HFE_BLOCK;
    for (int32_t c = 0; c < s.cylinders; ++c) {
        put_sink_le16(sink, static_cast<uint16_t>(1 + table_blocks + c * s.blocks));
        put_sink_le16(sink, static_cast<uint16_t>(s.side_bytes * 2));
    }
    put_sink_fill(sink, 0xFF, int64_t{table_blocks} * HFE_BLOCK - s.cylinders * 4);
}

// One side of a cylinder into side (blocks * 256 bytes) as HFE keeps it,
// what it cannot carry said; false when memory runs out.
bool write_side(const d88_disk* disk, int32_t slot, const hfe_shape& s, track_bytes* scratch, uint8_t* cells, uint8_t* side,
                loss_report* report)
{
    const d88_track& track = disk->track[slot];
    const bool fm = is_present(track) ? check_track_density(track, slot, "HFE", report) : s.all_fm;
    for (int32_t i = 0; i < track.count; ++i)
        check_recorded_sector(track.sectors[i], slot, i, "HFE", HFE_REACH, report);
    char medium[32];
    std::snprintf(medium, sizeof medium, "%d kbit/s, %d rpm", static_cast<int>(fm ? s.kbit / 2 : s.kbit), static_cast<int>(s.rpm));
    scratch->capacity = s.cells / cells_per_byte(fm);
    if (!lay_out_track(track, slot, fm, medium, report, scratch))
        return false;
    encode_track_cells(*scratch, fm, cells);
    const int32_t encoded = scratch->capacity * cells_per_byte(fm) / 8;
    std::memset(side, 0, static_cast<size_t>(s.blocks) * HFE_HALF_BLOCK);
    for (int32_t i = 0; i < encoded; ++i)
        side[i] = BIT_ORDER.reversed[cells[i]];
    return true;
}

// A version 3 stream's cells, its opcodes taken out, packed as the track
// code packs them: a bit writer.
struct bit_writer {
    uint8_t* bits;
    int64_t count;
};

void put_bits(bit_writer* w, uint8_t byte, int32_t from_bit)
{
    for (int32_t bit = from_bit; bit < 8; ++bit, ++w->count) {
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (w->count & 7));
        w->bits[w->count >> 3] = static_cast<uint8_t>((byte >> bit & 1) != 0 ? w->bits[w->count >> 3] | mask
                                                                          : w->bits[w->count >> 3] & ~mask);
    }
}

// The cells of one side's bytes (count of them), first in time in bit 7,
// into cells (count + 1 bytes); their number.
int64_t unpack_cells(const uint8_t* bytes, int32_t count, bool v3, uint8_t* cells)
{
    if (!v3) {
        for (int32_t i = 0; i < count; ++i)
            cells[i] = BIT_ORDER.reversed[bytes[i]];
        return int64_t{count} * 8;
    }
    bit_writer w = {cells, 0};
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (b == HFE_NOP || b == HFE_SETINDEX)
            continue;
        if (b == HFE_SETBITRATE) {
            ++i;
            continue;
        }
        if (b == HFE_SKIPBITS && i + 2 < count) {
            put_bits(&w, bytes[i + 2], bytes[i + 1] & 7);
            i += 2;
            continue;
        }
        put_bits(&w, b == HFE_RAND ? 0 : b, 0);  // weak bits: no transition to rely on
    }
    return w.count;
}

// The sectors one side's cells hold: MFM or FM as the track's encoding
// says, else the other; FM written at the cell rate is stretched to the
// half rate first.  False when memory runs out.
bool decode_side(uint8_t* cells, int64_t count, uint8_t* stretched, bool fm_first, d88_track* track)
{
    for (int attempt = 0; attempt < 3 && track->count == 0; ++attempt) {
        const bool fm = attempt == 2 || (attempt == 0) == fm_first;
        cell_stream stream = {cells, count, true};
        if (attempt == 2) {
            for (int64_t i = 0; i < (count + 7) / 8; ++i) {
                stretched[2 * i] = static_cast<uint8_t>(BIT_ORDER.spread[cells[i]] >> 8);
                stretched[2 * i + 1] = static_cast<uint8_t>(BIT_ORDER.spread[cells[i]]);
            }
            stream = {stretched, count * 2, true};
        }
        int32_t found = 0;
        track->sectors = decode_track_cells(stream, 0, stream.count, fm, &found, nullptr);
        if (found < 0)
            return false;
        track->count = found;
    }
    return true;
}

}  // namespace

bool is_hfe_image(const uint8_t* bytes, int32_t size)
{
    return size >= HFE_BLOCK &&
           (std::memcmp(bytes, HFE_V1, HFE_SIGNATURE_SIZE) == 0 || std::memcmp(bytes, HFE_V3, HFE_SIGNATURE_SIZE) == 0);
}

int32_t write_hfe_disk(const d88_disk* disk, int32_t rpm, loss_report* report, byte_sink* sink)
{
    const hfe_shape s = shape_of(disk, rpm);
    check_disk_fields(disk, "HFE", false, true, media_of_geometry(s.kbit == KBIT_HD, s.cylinders), report);
    write_header(disk, s, sink);
    const size_t side_size = static_cast<size_t>(s.blocks) * HFE_HALF_BLOCK;
    uint8_t* scratch_bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(s.cells) / 8 + 1));
    uint8_t* scratch_kinds = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(s.cells) / 8 + 1));
    uint8_t* cells = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(s.side_bytes) + 1));
    uint8_t* sides = static_cast<uint8_t*>(std::malloc(2 * side_size));
    track_bytes scratch = {scratch_bytes, scratch_kinds, 0};
    sink->failed |= scratch_bytes == nullptr || scratch_kinds == nullptr || cells == nullptr || sides == nullptr;
    reserve_sink(sink, int64_t{s.cylinders} * 2 * static_cast<int64_t>(side_size));
    for (int32_t c = 0; c < s.cylinders && !sink->failed; ++c) {
        for (int32_t side = 0; side < 2 && !sink->failed; ++side)
            sink->failed |= !write_side(disk, c * 2 + side, s, &scratch, cells, sides + side * side_size, report);
        for (int32_t b = 0; b < s.blocks; ++b) {
            put_sink_bytes(sink, sides + b * HFE_HALF_BLOCK, HFE_HALF_BLOCK);
            put_sink_bytes(sink, sides + side_size + b * HFE_HALF_BLOCK, HFE_HALF_BLOCK);
        }
    }
    std::free(scratch_bytes);
    std::free(scratch_kinds);
    std::free(cells);
    std::free(sides);
    return 0;
}

int32_t read_hfe_disk(d88_disk* disk, const uint8_t* bytes, int32_t size)
{
    if (!is_hfe_image(bytes, size)) {
        print_d88_line("illegal data: no HFE header");
        return -1;
    }
    const bool v3 = std::memcmp(bytes, HFE_V3, HFE_SIGNATURE_SIZE) == 0;
    const int32_t cylinders = bytes[HFE_TRACKS_AT], sides = bytes[HFE_SIDES_AT];
    const int64_t table = int64_t{get_le16(bytes + HFE_TABLE_AT)} * HFE_BLOCK;
    if (cylinders < 1 || cylinders * 2 > D88_TRACK_MAX || sides < 1 || sides > 2 || table + cylinders * 4 > size) {
        print_d88_message("illegal data: HFE of %d cylinders and %d sides, its track table at 0x%08X\n", static_cast<int>(cylinders),
                          static_cast<int>(sides), static_cast<unsigned>(table));
        return -1;
    }
    std::memset(disk->name, ' ', 16);
    disk->write_protect = bytes[HFE_WRITE_ALLOWED_AT] == 0x00 ? D88_PROTECTED : D88_WRITABLE;
    disk->disk_type = media_of_geometry(get_le16(bytes + HFE_RATE_AT) >= RATE_HD_MIN, cylinders);
    // the largest side a cylinder's length may give: 65535 / 2 bytes
    constexpr size_t SIDE_MAX = 0x8000;
    uint8_t* side_bytes = static_cast<uint8_t*>(std::malloc(SIDE_MAX));
    uint8_t* cells = static_cast<uint8_t*>(std::malloc(SIDE_MAX + 1));
    uint8_t* stretched = static_cast<uint8_t*>(std::malloc(2 * SIDE_MAX + 2));
    int32_t result = side_bytes != nullptr && cells != nullptr && stretched != nullptr ? 0 : -1;
    if (result < 0)
        print_d88_line("memory exhaust!");
    for (int32_t c = 0; c < cylinders && result == 0; ++c) {
        const int64_t at = int64_t{get_le16(bytes + table + c * 4)} * HFE_BLOCK;
        const int32_t length = get_le16(bytes + table + c * 4 + 2) / 2;
        const int32_t blocks = (length + HFE_HALF_BLOCK - 1) / HFE_HALF_BLOCK;
        if (at + int64_t{blocks} * HFE_BLOCK > size) {
            print_d88_message("illegal data: HFE cylinder %d passes the end of the file\n", static_cast<int>(c));
            result = -1;
            break;
        }
        for (int32_t side = 0; side < sides && result == 0; ++side) {
            for (int32_t b = 0; b < blocks; ++b)
                std::memcpy(side_bytes + b * HFE_HALF_BLOCK, bytes + at + b * HFE_BLOCK + side * HFE_HALF_BLOCK, HFE_HALF_BLOCK);
            const uint8_t alt = bytes[side == 0 ? HFE_ALT0_AT : HFE_ALT1_AT];
            const uint8_t encoding = c == 0 && alt == HFE_ALT_USED ? bytes[side == 0 ? HFE_ENCODING0_AT : HFE_ENCODING1_AT]
                                                                  : bytes[HFE_ENCODING_AT];
            const int64_t count = unpack_cells(side_bytes, length, v3, cells);
            if (!decode_side(cells, count, stretched, encoding == HFE_FM, &disk->track[c * 2 + side])) {
                print_d88_line("memory exhaust!");
                result = -1;
            }
        }
    }
    std::free(side_bytes);
    std::free(cells);
    std::free(stretched);
    return result;
}
