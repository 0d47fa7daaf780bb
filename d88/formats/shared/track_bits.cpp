// track_bits.cpp -- MFM and FM tracks: laid out byte by byte, encoded into
// cells through tables, and decoded by looking for their marks.
#include "track_bits.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/layout.h"

namespace {

// The marks after the sync: ID, data, deleted data, index.
constexpr uint8_t ID_MARK = 0xFE, DATA_MARK = 0xFB, DELETED_MARK = 0xF8, INDEX_MARK = 0xFC;
// MFM: the sync bytes of a mark and of the index mark, and their cells
// with one clock left out.
constexpr uint8_t MFM_SYNC = 0xA1, MFM_INDEX_SYNC = 0xC2;
constexpr uint16_t MFM_SYNC_CELLS = 0x4489, MFM_INDEX_SYNC_CELLS = 0x5224;
constexpr int32_t MFM_SYNCS = 3;
// FM: the clocks of a mark, of the index mark, of every other byte.
constexpr uint8_t FM_MARK_CLOCK = 0xC7, FM_INDEX_CLOCK = 0xD7, FM_CLOCK = 0xFF;

// The gaps and runs of the two layouts, in bytes.
struct layout {
    int32_t gap4a, sync, mark, gap1, gap2, gap3_min;
    uint8_t gap_byte;
};
constexpr layout MFM_LAYOUT = {80, 12, MFM_SYNCS + 1, 50, 22, 8, 0x4E};
constexpr layout FM_LAYOUT = {40, 6, 1, 26, 11, 6, 0xFF};
constexpr int32_t CRC_BYTES = 2, ID_BYTES = 4, ID_FIELD_BYTES = 1 + ID_BYTES + CRC_BYTES;

// How far after its ID a data mark is looked for, in bytes.
constexpr int32_t DATA_MARK_WINDOW = 64;

// The CRC-CCITT a byte at a time.
struct crc_table {
    uint16_t entry[256];
};

constexpr crc_table make_crc_table()
{
    crc_table t = {};
    for (int32_t b = 0; b < 256; ++b) {
        uint16_t crc = static_cast<uint16_t>(b << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
        t.entry[b] = crc;
    }
    return t;
}
constexpr crc_table CRC_TABLE = make_crc_table();

// ---- laying a track out -------------------------------------------------

const layout& layout_of(bool fm)
{
    return fm ? FM_LAYOUT : MFM_LAYOUT;
}

// Bytes before the first sector; what a sector takes before its data
// (sync, mark, ID, CRC, gap 2, sync, mark); and after it (CRC, gap 3).
int32_t preamble_bytes(const layout& l)
{
    return l.gap4a + l.sync + l.mark + l.gap1;
}

int32_t head_bytes(const layout& l)
{
    return l.sync + l.mark + ID_BYTES + CRC_BYTES + l.gap2 + l.sync + l.mark;
}

// The data field a sector's size code stands for; 0 for none.
int32_t field_bytes(const d88_sector& s)
{
    const int32_t size = sector_size_of_code(s.n);
    return size > 0 ? size : 0;
}

int32_t standard_gap3(bool fm, int32_t largest)
{
    if (fm)
        return largest <= 128 ? 27 : largest <= 256 ? 42 : 58;
    return largest <= 128 ? 27 : largest <= 256 ? 54 : largest <= 512 ? 84 : 116;
}

// Where a track's bytes are being written; past its capacity, nothing.
struct byte_writer {
    track_bytes* out;
    int32_t at;
};

void put_bytes(byte_writer* w, const uint8_t* bytes, int32_t count, uint8_t kind)
{
    const int32_t n = count < w->out->capacity - w->at ? count : w->out->capacity - w->at;
    if (n <= 0)
        return;
    std::memcpy(w->out->bytes + w->at, bytes, static_cast<size_t>(n));
    std::memset(w->out->kinds + w->at, kind, static_cast<size_t>(n));
    w->at += n;
}

void put_run(byte_writer* w, uint8_t value, int32_t count)
{
    const int32_t n = count < w->out->capacity - w->at ? count : w->out->capacity - w->at;
    if (n <= 0)
        return;
    std::memset(w->out->bytes + w->at, value, static_cast<size_t>(n));
    std::memset(w->out->kinds + w->at, TRACK_BYTE_PLAIN, static_cast<size_t>(n));
    w->at += n;
}

// A sync run and a mark; the CRC of what it covers of them (in MFM the
// three A1 too).
uint16_t put_mark(byte_writer* w, const layout& l, bool fm, uint8_t mark)
{
    const bool index = mark == INDEX_MARK;
    put_run(w, 0x00, l.sync);
    if (fm) {
        put_bytes(w, &mark, 1, index ? TRACK_BYTE_INDEX : TRACK_BYTE_MARK);
        return floppy_crc(0xFFFF, &mark, 1);
    }
    const uint8_t sync = index ? MFM_INDEX_SYNC : MFM_SYNC;
    const uint8_t syncs[MFM_SYNCS] = {sync, sync, sync};
    put_bytes(w, syncs, MFM_SYNCS, index ? TRACK_BYTE_INDEX : TRACK_BYTE_MARK);
    put_bytes(w, &mark, 1, TRACK_BYTE_PLAIN);
    const uint8_t covered[MFM_SYNCS + 1] = {MFM_SYNC, MFM_SYNC, MFM_SYNC, mark};
    return floppy_crc(0xFFFF, covered, MFM_SYNCS + 1);
}

void put_crc(byte_writer* w, uint16_t crc, bool wrong)
{
    const uint16_t value = wrong ? static_cast<uint16_t>(~crc) : crc;
    const uint8_t bytes[CRC_BYTES] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    put_bytes(w, bytes, CRC_BYTES, TRACK_BYTE_PLAIN);
}

// How a sector goes onto a track that is too long: whole, cut after some
// of its data, or left out.
enum sector_fit : uint8_t { FIT_WHOLE, FIT_CUT, FIT_OUT };

// One sector as the disk records it, followed by gap3 bytes of gap; with
// kept below its data field, cut after kept bytes of data, without its
// CRC and gap.
void put_sector(byte_writer* w, const layout& l, bool fm, const d88_sector& s, int32_t gap3, int32_t kept)
{
    const uint8_t id[ID_BYTES] = {s.c, s.h, s.r, s.n};
    const uint16_t id_crc = floppy_crc(put_mark(w, l, fm, ID_MARK), id, ID_BYTES);
    put_bytes(w, id, ID_BYTES, TRACK_BYTE_PLAIN);
    put_crc(w, id_crc, s.status == D88_STATUS_ID_CRC);
    put_run(w, l.gap_byte, l.gap2);
    const int32_t size = field_bytes(s);
    if (s.status == D88_STATUS_NO_DATA || size == 0) {  // an ID alone, its data field's room left as gap
        put_run(w, l.gap_byte, l.sync + l.mark + (kept < size ? kept : size + CRC_BYTES + gap3));
        return;
    }
    const bool deleted = s.deleted_mark != 0 || s.status == D88_STATUS_DELETED;
    uint16_t crc = put_mark(w, l, fm, deleted ? DELETED_MARK : DATA_MARK);
    const int32_t field = kept < size ? kept : size;
    const int32_t stored = s.data == nullptr ? 0 : s.data_size < field ? s.data_size : field;
    put_bytes(w, s.data, stored, TRACK_BYTE_PLAIN);
    put_run(w, 0x00, field - stored);
    if (kept < size)
        return;
    crc = floppy_crc(crc, s.data, stored);
    for (int32_t i = stored; i < size; ++i) {
        const uint8_t zero = 0;
        crc = floppy_crc(crc, &zero, 1);
    }
    put_crc(w, crc, s.status == D88_STATUS_DATA_CRC);
    put_run(w, l.gap_byte, gap3);
}

// What a too-long track keeps of its sectors, and the data the first cut
// one keeps: the ID parts of the sectors longer than the revolution first,
// then every other sector, in order, while it fits whole.
int32_t fit_sectors(const d88_track& track, const layout& l, int32_t capacity, sector_fit* fit)
{
    const int32_t alone = capacity - preamble_bytes(l);
    int32_t budget = alone;
    for (int32_t i = 0; i < track.count; ++i) {
        const int32_t whole = head_bytes(l) + field_bytes(track.sectors[i]) + CRC_BYTES + l.gap3_min;
        fit[i] = whole <= alone ? FIT_WHOLE : head_bytes(l) <= budget ? FIT_CUT : FIT_OUT;
        budget -= fit[i] == FIT_CUT ? head_bytes(l) : 0;
    }
    for (int32_t i = 0; i < track.count; ++i) {
        const int32_t whole = head_bytes(l) + field_bytes(track.sectors[i]) + CRC_BYTES + l.gap3_min;
        if (fit[i] == FIT_WHOLE && whole > budget)
            fit[i] = FIT_OUT;
        budget -= fit[i] == FIT_WHOLE ? whole : 0;
    }
    return budget;
}

// Says what a too-long track lost: the first cut sector and what it keeps
// (or the track alone), then each sector cut to nothing or left out.
void report_too_long(const d88_track& track, int32_t slot, const sector_fit* fit, int32_t kept, int32_t capacity,
                     int64_t bytes, const char* medium, loss_report* report)
{
    int32_t cut = 0;
    while (cut < track.count && fit[cut] != FIT_CUT)
        ++cut;
    const d88_sector* first = track.count > 0 ? &track.sectors[0] : nullptr;
    char what[160] = "";
    if (cut < track.count)
        std::snprintf(what, sizeof what, "; sector %02X/%02X/%02X keeps %d of its %d bytes, its CRC unwritten", track.sectors[cut].c,
                      track.sectors[cut].h, track.sectors[cut].r, static_cast<int>(kept),
                      static_cast<int>(field_bytes(track.sectors[cut])));
    report_loss(report, D88_KIND_TRACK_TOO_LONG, slot, cut < track.count ? cut : -1, cut < track.count ? &track.sectors[cut] : nullptr,
                "track %02X/%02X: sectors of %lld bytes do not fit a real track of %d bytes at %s%s",
                first != nullptr ? first->c : 0, first != nullptr ? first->h : 0, static_cast<long long>(bytes),
                static_cast<int>(capacity), medium, what);
    for (int32_t i = 0; i < track.count; ++i) {
        if (fit[i] == FIT_OUT || (fit[i] == FIT_CUT && i != cut))
            report_loss(report, D88_KIND_TRACK_TOO_LONG, slot, i, &track.sectors[i],
                        fit[i] == FIT_OUT ? "left out: the revolution has no room for it"
                                          : "keeps its ID alone: the revolution has no room for its data");
    }
}

// ---- cells ----------------------------------------------------------------

// The 16 cells of an MFM byte after a data bit `previous`, first in time
// in bit 15: a clock between two 0 bits, each data bit after its clock.
struct mfm_table {
    uint16_t cells[2][256];
};

constexpr mfm_table make_mfm_table()
{
    mfm_table t = {};
    for (int32_t previous = 0; previous < 2; ++previous) {
        for (int32_t b = 0; b < 256; ++b) {
            uint16_t cells = 0;
            int32_t last = previous;
            for (int bit = 7; bit >= 0; --bit) {
                const int32_t d = b >> bit & 1;
                cells = static_cast<uint16_t>(cells << 2 | (last == 0 && d == 0) << 1 | d);
                last = d;
            }
            t.cells[previous][b] = cells;
        }
    }
    return t;
}
constexpr mfm_table MFM_TABLE = make_mfm_table();

// The 32 cells of an FM byte: for each bit, its clock, a 0, the data bit, a
// 0 (FM at half the rate of the cells).
uint32_t fm_cells(uint8_t data, uint8_t clock)
{
    uint32_t cells = 0;
    for (int bit = 7; bit >= 0; --bit)
        cells = cells << 4 | ((clock >> bit) & 1u) << 3 | ((data >> bit) & 1u) << 1;
    return cells;
}

// The data bits of the cells of a byte: the odd ones (MFM) or every fourth
// from the third (FM), as a nibble or a pair.
struct data_bit_table {
    uint8_t mfm[256], fm[256];
};

constexpr data_bit_table make_data_bit_table()
{
    data_bit_table t = {};
    for (int32_t b = 0; b < 256; ++b) {
        t.mfm[b] = static_cast<uint8_t>((b >> 3 & 8) | (b >> 2 & 4) | (b >> 1 & 2) | (b & 1));
        t.fm[b] = static_cast<uint8_t>((b >> 4 & 2) | (b >> 1 & 1));
    }
    return t;
}
constexpr data_bit_table DATA_BITS = make_data_bit_table();

// ---- decoding ---------------------------------------------------------------

// The cell at position p of the stream (wrapped round a circular one).
uint32_t cell_at(const cell_stream& s, int64_t p)
{
    if (p >= s.count)
        p %= s.count;
    return static_cast<uint32_t>(s.bits[p >> 3] >> (7 - (p & 7)) & 1);
}

// `width` (16 or 32) cells from p, first in time highest; false past the
// end of a stream that is not circular.
bool read_cells(const cell_stream& s, int64_t p, int32_t width, uint32_t* out)
{
    if (p + width > s.count && !s.circular)
        return false;
    if (p + width + 8 > s.count) {  // near or across the end: one at a time
        uint32_t v = 0;
        for (int32_t i = 0; i < width; ++i)
            v = v << 1 | cell_at(s, p + i);
        *out = v;
        return true;
    }
    const uint8_t* b = s.bits + (p >> 3);
    const int32_t k = static_cast<int32_t>(p & 7);
    if (width == 16) {
        const uint32_t w = static_cast<uint32_t>(b[0]) << 16 | static_cast<uint32_t>(b[1]) << 8 | b[2];
        *out = w >> (8 - k) & 0xFFFF;
        return true;
    }
    const uint64_t w = static_cast<uint64_t>(b[0]) << 32 | static_cast<uint64_t>(b[1]) << 24 | static_cast<uint64_t>(b[2]) << 16 |
                       static_cast<uint64_t>(b[3]) << 8 | b[4];
    *out = static_cast<uint32_t>(w >> (8 - k));
    return true;
}

// count bytes from cell p into out; false past the end of a stream that is
// not circular.  A byte's cells start at one offset into a stream byte for
// the whole field, so inside the stream the bytes are taken straight from
// there.
bool read_bytes(const cell_stream& s, int64_t p, bool fm, uint8_t* out, int32_t count)
{
    const int32_t width = cells_per_byte(fm);
    const int32_t shift = 8 - static_cast<int32_t>(p & 7);
    const uint8_t* b = s.bits + (p >> 3);
    int32_t i = 0;
    for (const int64_t inside = (s.count - p) / width - 1; !fm && i < count && i < inside; ++i, b += 2) {
        const uint32_t c = (static_cast<uint32_t>(b[0]) << 16 | static_cast<uint32_t>(b[1]) << 8 | b[2]) >> shift;
        out[i] = static_cast<uint8_t>(DATA_BITS.mfm[c >> 8 & 0xFF] << 4 | DATA_BITS.mfm[c & 0xFF]);
    }
    for (p += int64_t{i} * width; i < count; ++i, p += width) {
        uint32_t c = 0;
        if (!read_cells(s, p, width, &c))
            return false;
        if (fm)
            out[i] = static_cast<uint8_t>(DATA_BITS.fm[c >> 24] << 6 | DATA_BITS.fm[c >> 16 & 0xFF] << 4 |
                                          DATA_BITS.fm[c >> 8 & 0xFF] << 2 | DATA_BITS.fm[c & 0xFF]);
        else
            out[i] = static_cast<uint8_t>(DATA_BITS.mfm[c >> 8] << 4 | DATA_BITS.mfm[c & 0xFF]);
    }
    return true;
}

// For each pair of bytes, the offsets k (bit k set) at which an MFM sync
// starting k cells into the first byte matches both: the first 16 - k of
// its cells.
struct sync_table {
    uint8_t offsets[65536];
};

constexpr sync_table make_sync_table()
{
    sync_table t = {};
    for (int32_t k = 0; k < 8; ++k) {
        for (int32_t before = 0; before < 1 << k; ++before) {  // the pair's first k cells: any
            const int32_t pair = before << (16 - k) | MFM_SYNC_CELLS >> k;
            t.offsets[pair] = static_cast<uint8_t>(t.offsets[pair] | 1 << k);
        }
    }
    return t;
}
constexpr sync_table SYNC_TABLE = make_sync_table();

// The first cell of an MFM sync starting from `from` up to `to`
// (exclusive, within the stream), or -1.  A sync starting k cells into a
// byte fills the rest of it and the next, but for their last k cells: the
// table names the offsets those two bytes allow, and the byte after them
// decides.
int64_t find_mfm_sync(const cell_stream& s, int64_t from, int64_t to)
{
    const int64_t inside_end = to < s.count - 23 ? to : s.count - 23;  // syncs whose bytes all lie inside
    for (int64_t m = from >> 3; m << 3 < inside_end; ++m) {
        const uint8_t offsets = SYNC_TABLE.offsets[s.bits[m] << 8 | s.bits[m + 1]];
        for (int32_t k = 0; offsets != 0 && k < 8; ++k) {
            const int64_t p = (m << 3) + k;
            const uint32_t cells = (static_cast<uint32_t>(s.bits[m]) << 16 | static_cast<uint32_t>(s.bits[m + 1]) << 8 | s.bits[m + 2]) >>
                                       (8 - k) & 0xFFFF;
            if ((offsets >> k & 1) != 0 && p >= from && p < inside_end && cells == MFM_SYNC_CELLS)
                return p;
        }
    }
    for (int64_t p = inside_end > from ? inside_end : from; p < to; ++p) {  // the last cells, and across the end of a circular stream
        uint32_t cells = 0;
        if (read_cells(s, p, 16, &cells) && cells == MFM_SYNC_CELLS)
            return p;
    }
    return -1;
}

// The first cell of an FM ID or data mark (clocks C7, data F8 to FF)
// starting from `from` up to `to`, or -1.
int64_t find_fm_mark(const cell_stream& s, int64_t from, int64_t to)
{
    const uint32_t mask = fm_cells(0xF8, 0xFF), mark = fm_cells(0xF8, FM_MARK_CLOCK);
    for (int64_t p = from; p < to; ++p) {
        uint32_t cells = 0;
        if (read_cells(s, p, 32, &cells) && (cells & mask) == mark)
            return p;
        if (p + 32 > s.count && !s.circular)
            return -1;
    }
    return -1;
}

// Where the mark byte of the next address mark starts, from `from` up to
// `to`: after the last A1 of an MFM sync, or the FM mark itself; -1 when
// there is none.  On a circular stream `to` may pass its end.
int64_t find_mark(const cell_stream& s, int64_t from, int64_t to, bool fm)
{
    const int64_t within = to < s.count ? to : s.count;
    int64_t p = from < within ? (fm ? find_fm_mark(s, from, within) : find_mfm_sync(s, from, within)) : -1;
    if (p < 0 && s.circular && to > s.count) {  // on past the end, from the start
        const int64_t wrapped = fm ? find_fm_mark(s, from > s.count ? from - s.count : 0, to - s.count)
                                   : find_mfm_sync(s, from > s.count ? from - s.count : 0, to - s.count);
        p = wrapped >= 0 ? wrapped + s.count : -1;
    }
    if (p < 0 || fm)
        return p;
    uint32_t cells = 0;
    const int64_t lap = p + s.count;  // a circular stream of nothing but syncs has no end of them
    for (p += 16; p < lap && read_cells(s, p, 16, &cells) && cells == MFM_SYNC_CELLS; p += 16) {
    }
    return p;
}

// The CRC a field is checked against: FM covers the mark and what follows,
// MFM the three A1 before it too.
uint16_t field_crc(bool fm, const uint8_t* field, int32_t count)
{
    const uint8_t syncs[MFM_SYNCS] = {MFM_SYNC, MFM_SYNC, MFM_SYNC};
    return floppy_crc(fm ? 0xFFFF : floppy_crc(0xFFFF, syncs, MFM_SYNCS), field, count);
}

// The data field after the ID ending at cell `after`: its data into s,
// with the status it reads with, and in *cut whether it ran past the end of
// the stream.  False when memory runs out.
bool read_data_field(const cell_stream& stream, int64_t after, bool fm, d88_sector* s, bool* cut)
{
    const int32_t width = cells_per_byte(fm);
    const int64_t at = find_mark(stream, after, after + int64_t{DATA_MARK_WINDOW} * width, fm);
    const int32_t size = sector_size_of_code(s->n);
    uint8_t mark = 0;
    const bool has_mark = at >= 0 && size >= 0 && read_bytes(stream, at, fm, &mark, 1) && (mark == DATA_MARK || mark == DELETED_MARK);
    *cut = has_mark && !stream.circular && at + int64_t{size + 1 + CRC_BYTES} * width > stream.count;
    if (!has_mark || *cut) {
        s->status = D88_STATUS_NO_DATA;
        return true;
    }
    uint8_t* field = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size) + 1 + CRC_BYTES));
    if (field == nullptr)
        return false;
    read_bytes(stream, at, fm, field, size + 1 + CRC_BYTES);
    const bool good = field_crc(fm, field, size + 1 + CRC_BYTES) == 0;
    s->deleted_mark = mark == DELETED_MARK ? D88_STATUS_DELETED : 0;
    s->status = !good ? D88_STATUS_DATA_CRC : mark == DELETED_MARK ? D88_STATUS_DELETED : D88_STATUS_OK;
    std::memmove(field, field + 1, static_cast<size_t>(size));
    s->data = field;
    s->data_size = static_cast<int16_t>(size);
    return true;
}

// Gives the arrays room for one more sector; false when memory runs out.
bool grow_sectors(d88_sector** sectors, decoded_place** places, int32_t count, int32_t* room)
{
    if (count < *room)
        return true;
    const int32_t more = *room > 0 ? *room * 2 : 32;
    d88_sector* grown = static_cast<d88_sector*>(std::calloc(static_cast<size_t>(more), sizeof(d88_sector)));
    decoded_place* spots = static_cast<decoded_place*>(std::calloc(static_cast<size_t>(more), sizeof(decoded_place)));
    if (grown == nullptr || spots == nullptr) {
        std::free(grown);
        std::free(spots);
        return false;
    }
    if (count > 0) {
        std::memcpy(grown, *sectors, static_cast<size_t>(count) * sizeof(d88_sector));
        std::memcpy(spots, *places, static_cast<size_t>(count) * sizeof(decoded_place));
    }
    std::free(*sectors);
    std::free(*places);
    *sectors = grown;
    *places = spots;
    *room = more;
    return true;
}

}  // namespace

uint16_t floppy_crc(uint16_t crc, const uint8_t* bytes, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        crc = static_cast<uint16_t>(crc << 8 ^ CRC_TABLE.entry[(crc >> 8 ^ bytes[i]) & 0xFF]);
    return crc;
}

int32_t cells_per_byte(bool fm)
{
    return fm ? 32 : 16;
}

bool lay_out_track(const d88_track& track, int32_t slot, bool fm, const char* medium, loss_report* report, track_bytes* out)
{
    const layout& l = layout_of(fm);
    int64_t fixed = preamble_bytes(l), data = 0;
    int32_t largest = 0;
    for (int32_t i = 0; i < track.count; ++i) {
        const int32_t size = field_bytes(track.sectors[i]);
        fixed += head_bytes(l) + size + CRC_BYTES;
        data += size;
        largest = size > largest ? size : largest;
    }
    byte_writer w = {out, 0};
    put_run(&w, l.gap_byte, l.gap4a);
    put_mark(&w, l, fm, INDEX_MARK);
    put_run(&w, l.gap_byte, l.gap1);
    if (fixed + int64_t{l.gap3_min} * track.count <= out->capacity) {
        const int64_t room = (out->capacity - fixed) / (track.count > 0 ? track.count : 1);
        const int32_t gap3 = static_cast<int32_t>(room < standard_gap3(fm, largest) ? room : standard_gap3(fm, largest));
        for (int32_t i = 0; i < track.count; ++i)
            put_sector(&w, l, fm, track.sectors[i], gap3, field_bytes(track.sectors[i]));
    } else {
        sector_fit* fit = static_cast<sector_fit*>(std::malloc(static_cast<size_t>(track.count)));
        if (fit == nullptr)
            return false;
        int32_t kept = fit_sectors(track, l, out->capacity, fit);
        report_too_long(track, slot, fit, kept, out->capacity, data, medium, report);
        for (int32_t i = 0; i < track.count; ++i) {
            if (fit[i] != FIT_OUT)
                put_sector(&w, l, fm, track.sectors[i], l.gap3_min, fit[i] == FIT_WHOLE ? field_bytes(track.sectors[i]) : kept);
            kept = fit[i] == FIT_CUT ? 0 : kept;  // the first cut sector has the room
        }
        std::free(fit);
    }
    put_run(&w, l.gap_byte, out->capacity - w.at);
    return true;
}

void encode_track_cells(const track_bytes& track, bool fm, uint8_t* cells)
{
    uint32_t previous = 0;
    for (int32_t i = 0; i < track.capacity; ++i) {
        const uint8_t b = track.bytes[i], kind = track.kinds[i];
        if (fm) {
            const uint32_t c = fm_cells(b, kind == TRACK_BYTE_MARK ? FM_MARK_CLOCK : kind == TRACK_BYTE_INDEX ? FM_INDEX_CLOCK : FM_CLOCK);
            uint8_t* out = cells + 4 * i;
            out[0] = static_cast<uint8_t>(c >> 24), out[1] = static_cast<uint8_t>(c >> 16);
            out[2] = static_cast<uint8_t>(c >> 8), out[3] = static_cast<uint8_t>(c);
            continue;
        }
        const uint16_t c = kind == TRACK_BYTE_MARK ? MFM_SYNC_CELLS : kind == TRACK_BYTE_INDEX ? MFM_INDEX_SYNC_CELLS
                                                                                                : MFM_TABLE.cells[previous][b];
        cells[2 * i] = static_cast<uint8_t>(c >> 8);
        cells[2 * i + 1] = static_cast<uint8_t>(c);
        previous = b & 1u;
    }
}

d88_sector* decode_track_cells(const cell_stream& stream, int64_t from, int64_t to, bool fm, int32_t* count,
                               decoded_place** places_out)
{
    *count = 0;
    d88_sector* sectors = nullptr;
    decoded_place* places = nullptr;
    int32_t room = 0;
    bool failed = false;
    const int32_t width = cells_per_byte(fm);
    for (int64_t at = stream.count > 0 ? find_mark(stream, from, to, fm) : -1;
         at >= 0 && at < to && !failed && *count < DECODED_IDS_MAX; at = find_mark(stream, at + width, to, fm)) {
        uint8_t id[ID_FIELD_BYTES];
        if (!read_bytes(stream, at, fm, id, ID_FIELD_BYTES) || id[0] != ID_MARK)
            continue;
        failed = !grow_sectors(&sectors, &places, *count, &room);
        if (failed)
            break;
        d88_sector& s = sectors[*count];
        decoded_place& place = places[(*count)++];
        s = d88_sector{id[1], id[2], id[3], id[4], 0, static_cast<uint8_t>(fm ? D88_SINGLE_DENSITY : D88_DOUBLE_DENSITY),
                       0, 0, {}, 0, nullptr};
        place = {at, false};
        failed = !read_data_field(stream, at + int64_t{ID_FIELD_BYTES} * width, fm, &s, &place.cut);
        if (field_crc(fm, id, ID_FIELD_BYTES) != 0)
            s.status = D88_STATUS_ID_CRC;  // the data field, if any, is kept as it stands
    }
    for (int32_t i = 0; i < *count; ++i)
        sectors[i].sector_count = static_cast<uint16_t>(*count);
    if (!failed && places_out != nullptr)
        *places_out = places;
    else
        std::free(places);
    if (!failed)
        return sectors;
    for (int32_t i = 0; i < *count; ++i)
        std::free(sectors[i].data);
    std::free(sectors);
    *count = -1;
    return nullptr;
}

int64_t find_index_mark(const cell_stream& stream, int64_t from, int64_t to, bool fm)
{
    const int32_t width = cells_per_byte(fm);
    const uint32_t fm_index = fm_cells(INDEX_MARK, FM_INDEX_CLOCK);
    for (int64_t p = from; p + 4 * width <= to; ++p) {
        uint32_t cells = 0;
        if (!read_cells(stream, p, width, &cells))
            return -1;
        if (fm && cells == fm_index)
            return p;
        uint32_t more[3] = {};
        if (!fm && cells == MFM_INDEX_SYNC_CELLS && read_cells(stream, p + 16, 16, &more[0]) && more[0] == MFM_INDEX_SYNC_CELLS &&
            read_cells(stream, p + 32, 16, &more[1]) && more[1] == MFM_INDEX_SYNC_CELLS) {
            uint8_t mark = 0;
            return read_bytes(stream, p + 48, false, &mark, 1) && mark == INDEX_MARK ? p + 48 : -1;
        }
    }
    return -1;
}
