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

#include <cstdlib>
#include <cstring>

#include "core/decode.h"
#include "core/layout.h"
#include "core/message.h"
#include "shared/track_bits.h"

namespace {

constexpr int32_t HFE_BLOCK = 512, HFE_HALF_BLOCK = 256;
constexpr int32_t HFE_REVISION_AT = 8, HFE_TRACKS_AT = 9, HFE_SIDES_AT = 10, HFE_ENCODING_AT = 11, HFE_RATE_AT = 12,
                  HFE_RPM_AT = 14, HFE_INTERFACE_AT = 16, HFE_DNU_AT = 17, HFE_TABLE_AT = 18, HFE_WRITE_ALLOWED_AT = 20,
                  HFE_SINGLE_STEP_AT = 21, HFE_ALT0_AT = 22, HFE_ENCODING0_AT = 23, HFE_ALT1_AT = 24, HFE_ENCODING1_AT = 25;
constexpr uint8_t HFE_MFM = 0x00, HFE_FM = 0x02, HFE_ALT_USED = 0x00, HFE_UNUSED = 0xFF;
constexpr uint8_t HFE_IBMPC_DD = 0x00, HFE_IBMPC_HD = 0x01;
// Version 3's opcodes, as a stream byte holds them (bit 0 first in time).
constexpr uint8_t HFE_NOP = 0x0F, HFE_SETINDEX = 0x8F, HFE_SETBITRATE = 0x4F, HFE_SKIPBITS = 0xCF, HFE_RAND = 0x2F;

constexpr int32_t KBIT_DD = 250, KBIT_HD = 500;
// A 2HD track of more data than this is a 1.44 MB-class one, at 300 rpm;
// the others turn at 360.
constexpr int32_t HD_360_DATA_MAX = 8192;

bool is_fm_track(const d88_track& track)
{
    return track.count > 0 && track.sectors[0].density == D88_SINGLE_DENSITY;
}

int32_t track_data_bytes(const d88_track& track)
{
    int32_t total = 0;
    for (int32_t i = 0; i < track.count; ++i)
        total += 128 << (track.sectors[i].n & 7);
    return total;
}

// What HFE cannot carry of a track's sectors, said.
void check_hfe_track(const d88_track& track, int32_t slot, loss_report* report)
{
    for (int32_t i = 0; i < track.count; ++i) {
        const d88_sector& s = track.sectors[i];
        if ((s.density == D88_SINGLE_DENSITY) != is_fm_track(track))
            report_loss(report, D88_KIND_LOST_MIXED, slot, i, &s, "a sector of the other density: HFE writes a track in FM or MFM");
        const bool known = s.status == 0 || s.status == 0x10 || s.status == 0xA0 || s.status == 0xB0 ||
                           (s.status == 0xF0 && s.data_size == 0);
        if (!known)
            report_loss(report, D88_KIND_LOST_STATUS, slot, i, &s,
                        "status 0x%02X with %d bytes: a track records a deleted mark, an ID or data CRC error, a missing data mark",
                        s.status, static_cast<int>(s.data_size));
        if (s.data_size != (128 << (s.n & 7)) && s.status != 0xF0)
            report_loss(report, D88_KIND_LOST_SIZE, slot, i, &s, "%d bytes of data where N %u stands for %d", static_cast<int>(s.data_size),
                        s.n, static_cast<int>(128 << (s.n & 7)));
    }
}

// The disk's rotation: the given one, else 300 rpm but for the 1.2 MB-class
// 2HD geometries.
int32_t choose_rpm(const d88_disk* disk, int32_t rpm)
{
    if (rpm > 0)
        return rpm;
    if (disk->disk_type != D88_MEDIA_2HD)
        return 300;
    for (const d88_track& track : disk->track) {
        if (track_data_bytes(track) > HD_360_DATA_MAX)
            return 300;
    }
    return 360;
}

// The cells of one side of a cylinder, packed as HFE keeps them.
void pack_cells(const cell_stream& cells, uint8_t* out, int32_t bytes)
{
    std::memset(out, 0, static_cast<size_t>(bytes));
    for (int32_t i = 0; i < cells.size && i / 8 < bytes; ++i)
        out[i / 8] = static_cast<uint8_t>(out[i / 8] | cells.bytes[i] << (i % 8));
}

// The cells of one side's bytes, a version 3 stream's opcodes taken out.
bool unpack_cells(const uint8_t* bytes, int32_t count, bool v3, cell_stream* cells)
{
    cells->size = 0;
    if (cells->room < count * 8) {
        std::free(cells->bytes);
        cells->bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(count) * 8 + 8));
        cells->room = cells->bytes != nullptr ? count * 8 : 0;
        if (cells->bytes == nullptr)
            return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        uint8_t b = bytes[i];
        int32_t skip = 0;
        if (v3 && (b == HFE_NOP || b == HFE_SETINDEX))
            continue;
        if (v3 && b == HFE_SETBITRATE) {
            ++i;
            continue;
        }
        if (v3 && b == HFE_SKIPBITS && i + 2 < count) {
            skip = bytes[i + 1] & 7;
            i += 2;
            b = bytes[i];
        } else if (v3 && b == HFE_RAND) {
            b = 0;  // weak bits: no transition to rely on
        }
        for (int32_t bit = skip; bit < 8; ++bit)
            cells->bytes[cells->size++] = static_cast<uint8_t>(b >> bit & 1);
    }
    return true;
}

// The sectors one side's cells hold: MFM or FM as the track's encoding
// says, else the other; FM written at the cell rate (16 cells a byte) is
// stretched to the half rate first.  False when memory runs out.
bool decode_side(const cell_stream& cells, bool fm_first, d88_track* track)
{
    for (int attempt = 0; attempt < 3 && track->count == 0; ++attempt) {
        const bool fm = attempt == 2 || (attempt == 0) == fm_first;
        uint8_t* stretched = nullptr;
        if (attempt == 2) {
            stretched = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(cells.size) * 2 + 1, 1));
            if (stretched == nullptr)
                return false;
            for (int32_t i = 0; i < cells.size; ++i)
                stretched[2 * i] = cells.bytes[i];
        }
        int32_t count = 0;
        track->sectors = decode_track(stretched != nullptr ? stretched : cells.bytes, static_cast<int32_t>(cells.size) * (attempt == 2 ? 2 : 1), fm, &count);
        std::free(stretched);
        if (count < 0)
            return false;
        track->count = count;
    }
    for (int32_t i = 0; i < track->count; ++i)
        track->sectors[i].sector_count = static_cast<uint16_t>(track->count);
    return true;
}

}  // namespace

void write_hfe_disk(const d88_disk* disk, int32_t rpm, loss_report* report, byte_sink* sink)
{
    int32_t last = 0;
    bool all_fm = true;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const d88_track& track = disk->track[slot];
        if (track.sectors == nullptr || track.count == 0)
            continue;
        last = slot;
        all_fm = all_fm && is_fm_track(track);
    }
    const int32_t cylinders = last / 2 + 1, kbit = disk->disk_type == D88_MEDIA_2HD ? KBIT_HD : KBIT_DD;
    rpm = choose_rpm(disk, rpm);
    const int32_t cells_per_revolution = static_cast<int32_t>(int64_t{kbit} * 1000 * 2 * 60 / rpm);
    const int32_t side_bytes = (cells_per_revolution + 7) / 8;
    const int32_t blocks = (side_bytes + HFE_HALF_BLOCK - 1) / HFE_HALF_BLOCK;
    const int32_t table_blocks = (cylinders * 4 + HFE_BLOCK - 1) / HFE_BLOCK;
    const uint8_t encoding = all_fm ? HFE_FM : HFE_MFM;
    if (disk->name[0] != '\0' && disk->name[0] != ' ')
        report_loss(report, D88_KIND_LOST_NAME, -1, -1, nullptr, "HFE has no place for the disk's name");

    uint8_t header[HFE_BLOCK];
    std::memset(header, 0xFF, sizeof header);
    std::memcpy(header, "HXCPICFE", 8);
    header[HFE_REVISION_AT] = 0;
    header[HFE_TRACKS_AT] = static_cast<uint8_t>(cylinders);
    header[HFE_SIDES_AT] = 2;
    header[HFE_ENCODING_AT] = encoding;
    put_le16(header + HFE_RATE_AT, static_cast<uint16_t>(kbit));
    put_le16(header + HFE_RPM_AT, static_cast<uint16_t>(rpm));
    header[HFE_INTERFACE_AT] = kbit == KBIT_HD ? HFE_IBMPC_HD : HFE_IBMPC_DD;
    header[HFE_DNU_AT] = 0x01;
    put_le16(header + HFE_TABLE_AT, 1);
    header[HFE_WRITE_ALLOWED_AT] = disk->write_protect != D88_WRITABLE ? 0x00 : 0xFF;
    header[HFE_SINGLE_STEP_AT] = 0xFF;
    for (int32_t side = 0; side < 2; ++side) {  // track 0 in the other encoding: PC-98 2HD's FM cylinder 0
        const bool fm = is_fm_track(disk->track[side]);
        const bool other = disk->track[side].count > 0 && fm != all_fm;
        header[side == 0 ? HFE_ALT0_AT : HFE_ALT1_AT] = other ? HFE_ALT_USED : HFE_UNUSED;
        header[side == 0 ? HFE_ENCODING0_AT : HFE_ENCODING1_AT] = other ? (fm ? HFE_FM : HFE_MFM) : HFE_UNUSED;
    }
    put_sink_bytes(sink, header, sizeof header);
    for (int32_t c = 0; c < cylinders; ++c) {
        put_sink_le16(sink, static_cast<uint16_t>(1 + table_blocks + c * blocks));
        put_sink_le16(sink, static_cast<uint16_t>(side_bytes * 2));
    }
    put_sink_fill(sink, 0xFF, int64_t{table_blocks} * HFE_BLOCK - cylinders * 4);

    uint8_t* sides = static_cast<uint8_t*>(std::calloc(2, static_cast<size_t>(blocks) * HFE_HALF_BLOCK));
    cell_stream cells = {nullptr, 0, 0, false};
    sink->failed |= sides == nullptr;
    for (int32_t c = 0; c < cylinders && !sink->failed; ++c) {
        for (int32_t side = 0; side < 2; ++side) {
            const int32_t slot = c * 2 + side;
            const d88_track& track = disk->track[slot];
            const bool fm = track.count > 0 ? is_fm_track(track) : all_fm;
            const int32_t capacity = cells_per_revolution / cells_per_byte(fm);
            int32_t needed = 0;
            int32_t gap3 = fit_gap3(track, fm, capacity, &needed);
            check_hfe_track(track, slot, report);
            if (gap3 < 0)
                report_loss(report, D88_KIND_TRACK_TOO_LONG, slot, -1, nullptr,
                            "track %02d/%02d: sectors of %d bytes do not fit a real track of %d bytes at %d kbit/s, %d rpm",
                            static_cast<int>(c), static_cast<int>(side), static_cast<int>(track_data_bytes(track)),
                            static_cast<int>(capacity), static_cast<int>(fm ? kbit / 2 : kbit), static_cast<int>(rpm));
            cells.size = 0;
            encode_track(&cells, track, fm, gap3 < 0 ? 0 : gap3, capacity);
            cells.size = cells.size < cells_per_revolution ? cells.size : cells_per_revolution;
            pack_cells(cells, sides + side * blocks * HFE_HALF_BLOCK, blocks * HFE_HALF_BLOCK);
        }
        for (int32_t b = 0; b < blocks; ++b) {
            put_sink_bytes(sink, sides + b * HFE_HALF_BLOCK, HFE_HALF_BLOCK);
            put_sink_bytes(sink, sides + (blocks + b) * HFE_HALF_BLOCK, HFE_HALF_BLOCK);
        }
    }
    sink->failed |= cells.failed;
    std::free(cells.bytes);
    std::free(sides);
}

int32_t read_hfe_disk(d88_disk* disk, const uint8_t* bytes, int32_t size)
{
    const bool v3 = size >= HFE_BLOCK && std::memcmp(bytes, "HXCHFEV3", 8) == 0;
    if (size < HFE_BLOCK || (!v3 && std::memcmp(bytes, "HXCPICFE", 8) != 0)) {
        print_d88_line("illegal data: no HFE header");
        return -1;
    }
    const int32_t cylinders = bytes[HFE_TRACKS_AT], sides = bytes[HFE_SIDES_AT];
    const int64_t table = int64_t{get_le16(bytes + HFE_TABLE_AT)} * HFE_BLOCK;
    if (cylinders < 1 || cylinders * 2 > D88_TRACK_MAX || sides < 1 || sides > 2 || table + cylinders * 4 > size) {
        print_d88_message("illegal data: HFE of %d cylinders and %d sides, its track table at 0x%08X\n", static_cast<int>(cylinders),
                          static_cast<int>(sides), static_cast<unsigned>(table));
        return -1;
    }
    std::memset(disk->name, ' ', 16);
    disk->write_protect = bytes[HFE_WRITE_ALLOWED_AT] == 0x00 ? D88_PROTECTED : D88_WRITABLE;
    disk->disk_type = get_le16(bytes + HFE_RATE_AT) >= 400 ? D88_MEDIA_2HD : cylinders > 42 ? D88_MEDIA_2DD : D88_MEDIA_2D;
    cell_stream cells = {nullptr, 0, 0, false};
    uint8_t* side_bytes = nullptr;
    int32_t result = 0;
    for (int32_t c = 0; c < cylinders && result == 0; ++c) {
        const int64_t at = int64_t{get_le16(bytes + table + c * 4)} * HFE_BLOCK;
        const int32_t length = get_le16(bytes + table + c * 4 + 2) / 2;
        const int32_t blocks = (length + HFE_HALF_BLOCK - 1) / HFE_HALF_BLOCK;
        if (at + int64_t{blocks} * HFE_BLOCK > size) {
            print_d88_message("illegal data: HFE cylinder %d passes the end of the file\n", static_cast<int>(c));
            result = -1;
            break;
        }
        std::free(side_bytes);
        side_bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(blocks) * HFE_HALF_BLOCK + 1));
        for (int32_t side = 0; side < sides && side_bytes != nullptr && result == 0; ++side) {
            for (int32_t b = 0; b < blocks; ++b)
                std::memcpy(side_bytes + b * HFE_HALF_BLOCK, bytes + at + b * HFE_BLOCK + side * HFE_HALF_BLOCK, HFE_HALF_BLOCK);
            const uint8_t alt = bytes[side == 0 ? HFE_ALT0_AT : HFE_ALT1_AT];
            const uint8_t encoding = c == 0 && alt == HFE_ALT_USED ? bytes[side == 0 ? HFE_ENCODING0_AT : HFE_ENCODING1_AT]
                                                                  : bytes[HFE_ENCODING_AT];
            if (!unpack_cells(side_bytes, length, v3, &cells) ||
                !decode_side(cells, encoding == HFE_FM, &disk->track[c * 2 + side]))
                result = -1;
        }
        if (side_bytes == nullptr || result < 0) {
            print_d88_line("memory exhaust!");
            result = -1;
        }
    }
    std::free(side_bytes);
    std::free(cells.bytes);
    return result;
}
