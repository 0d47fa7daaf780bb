// track_bits.cpp -- MFM and FM tracks, cell by cell.
#include "track_bits.h"

#include <cstdlib>
#include <cstring>

#include "core/layout.h"

namespace {

// The marks after the sync: ID, data, deleted data, index.
constexpr uint8_t ID_MARK = 0xFE, DATA_MARK = 0xFB, DELETED_MARK = 0xF8, INDEX_MARK = 0xFC;
// In MFM, three A1 with a clock bit missing before an ID or data mark (the
// index mark has C2 without one, which the decoder does not need).
constexpr uint16_t MFM_A1 = 0x4489;
constexpr uint8_t MFM_SYNC = 0xA1;
// In FM, the marks are their data bits with the clocks C7 (D7 for the
// index mark) instead of FF.
constexpr uint8_t FM_MARK_CLOCK = 0xC7, FM_INDEX_CLOCK = 0xD7, FM_CLOCK = 0xFF;

// The gaps and runs of the two layouts, in bytes.
struct layout {
    int32_t gap4a, sync, gap1, gap2, gap3_min;
    uint8_t gap_byte;
};
constexpr layout MFM_LAYOUT = {80, 12, 50, 22, 8, 0x4E};
constexpr layout FM_LAYOUT = {40, 6, 26, 11, 6, 0xFF};

// The FDC status bytes of what a track shows.
constexpr uint8_t STATUS_DELETED = 0x10, STATUS_ID_CRC = 0xA0, STATUS_DATA_CRC = 0xB0, STATUS_NO_DATA = 0xF0;

// How far after its ID a data mark is looked for, in bytes.
constexpr int32_t DATA_MARK_WINDOW = 64;

int32_t sector_field_size(const d88_sector& s)
{
    return 128 << (s.n & 7);
}

// Bytes an ID and a data field take beside the data and gap 3.
int32_t sector_overhead(const layout& l, bool fm)
{
    const int32_t mark = fm ? 1 : 4;
    return l.sync + mark + 4 + 2 + l.gap2 + l.sync + mark + 2;
}

bool put_cell(cell_stream* s, uint8_t cell)
{
    put_sink_byte(s, cell);
    return !s->failed;
}

// One byte with the given clock bits (MFM: the clocks follow from the
// data, but where `clock` says 0; FM: clock as given), each cell doubled
// in FM, which runs at half the rate.
void put_byte(cell_stream* s, uint8_t data, uint8_t clock, bool fm, uint8_t* previous)
{
    for (int bit = 7; bit >= 0 && !s->failed; --bit) {
        const uint8_t d = (data >> bit) & 1;
        uint8_t c = (clock >> bit) & 1;
        if (!fm)
            c = c && !*previous && !d;
        *previous = d;
        put_cell(s, c);
        if (fm)
            put_cell(s, 0);
        put_cell(s, d);
        if (fm)
            put_cell(s, 0);
    }
}

void put_bytes(cell_stream* s, const uint8_t* bytes, int32_t count, bool fm, uint8_t* previous)
{
    for (int32_t i = 0; i < count; ++i)
        put_byte(s, bytes[i], fm ? FM_CLOCK : 0xFF, fm, previous);
}

void put_run(cell_stream* s, uint8_t value, int32_t count, bool fm, uint8_t* previous)
{
    for (int32_t i = 0; i < count; ++i)
        put_byte(s, value, fm ? FM_CLOCK : 0xFF, fm, previous);
}

// A sync run and a mark: in MFM three A1 with a missing clock (C2 for the
// index mark) and the mark, in FM the mark with its clock; returns the
// CRC over what the CRC covers of it.
uint16_t put_mark(cell_stream* s, const layout& l, uint8_t mark, bool fm, uint8_t* previous)
{
    put_run(s, 0x00, l.sync, fm, previous);
    if (fm) {
        put_byte(s, mark, mark == INDEX_MARK ? FM_INDEX_CLOCK : FM_MARK_CLOCK, fm, previous);
        return floppy_crc(0xFFFF, &mark, 1);
    }
    const uint8_t sync = mark == INDEX_MARK ? 0xC2 : MFM_SYNC;
    const uint8_t missing = mark == INDEX_MARK ? 0xF7 : 0xFB;  // the clock bit between bits 4 and 3 (C2: 3 and 2)
    for (int i = 0; i < 3; ++i)
        put_byte(s, sync, missing, fm, previous);
    put_byte(s, mark, 0xFF, fm, previous);
    const uint8_t covered[4] = {MFM_SYNC, MFM_SYNC, MFM_SYNC, mark};
    return floppy_crc(0xFFFF, covered, 4);
}

void put_crc(cell_stream* s, uint16_t crc, bool fm, uint8_t* previous)
{
    const uint8_t bytes[2] = {static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
    put_bytes(s, bytes, 2, fm, previous);
}

void encode_sector(cell_stream* s, const layout& l, const d88_sector& sector, bool fm, int32_t gap3, uint8_t* previous)
{
    const uint8_t id[4] = {sector.c, sector.h, sector.r, sector.n};
    uint16_t crc = floppy_crc(put_mark(s, l, ID_MARK, fm, previous), id, 4);
    put_bytes(s, id, 4, fm, previous);
    put_crc(s, sector.status == STATUS_ID_CRC ? static_cast<uint16_t>(~crc) : crc, fm, previous);
    put_run(s, l.gap_byte, l.gap2, fm, previous);
    if (sector.status == STATUS_NO_DATA) {
        put_run(s, l.gap_byte, l.sync + (fm ? 1 : 4) + sector_field_size(sector) + 2 + gap3, fm, previous);
        return;
    }
    const bool deleted = sector.deleted_mark != 0 || sector.status == STATUS_DELETED;
    crc = put_mark(s, l, deleted ? DELETED_MARK : DATA_MARK, fm, previous);
    const int32_t size = sector_field_size(sector);
    const int32_t kept = sector.data_size < size ? sector.data_size : size;
    put_bytes(s, sector.data, kept, fm, previous);
    crc = floppy_crc(crc, sector.data, kept);
    for (int32_t i = kept; i < size; ++i) {
        const uint8_t zero = 0;
        put_byte(s, zero, fm ? FM_CLOCK : 0xFF, fm, previous);
        crc = floppy_crc(crc, &zero, 1);
    }
    put_crc(s, sector.status == STATUS_DATA_CRC ? static_cast<uint16_t>(~crc) : crc, fm, previous);
    put_run(s, l.gap_byte, gap3, fm, previous);
}

// The data bits of the byte whose first cell is at cells[at], cells
// `step` apart (2 in MFM, 4 in FM).
uint8_t read_byte(const uint8_t* cells, int32_t at, int32_t step)
{
    uint8_t value = 0;
    for (int32_t bit = 0; bit < 8; ++bit)
        value = static_cast<uint8_t>(value << 1 | cells[at + bit * step + step / 2]);
    return value;
}

// Whether the 16 cells from `at` are the pattern.
bool cells_match(const uint8_t* cells, int32_t at, uint16_t pattern)
{
    for (int32_t i = 0; i < 16; ++i) {
        if (cells[at + i] != ((pattern >> (15 - i)) & 1))
            return false;
    }
    return true;
}

// The 32 cells of an FM byte with the given data and clock bits.
uint32_t fm_cells(uint8_t data, uint8_t clock)
{
    uint32_t cells = 0;
    for (int bit = 7; bit >= 0; --bit)
        cells = cells << 4 | ((clock >> bit) & 1u) << 3 | ((data >> bit) & 1u) << 1;
    return cells;
}

// Where the next mark starts after `from` (and before `limit`): the cell
// after the last A1 of an MFM sync, or the first cell of an FM mark, which
// the ID and data marks share (data F8 to FF, clock C7); -1 when there is
// none.  The cells are taken in a shift register, one at a time.
int32_t find_mark(const uint8_t* cells, int32_t count, int32_t from, bool fm, int32_t limit)
{
    const int32_t width = fm ? 32 : 16;
    const uint32_t mask = fm ? 0xFFFFFFFFu : 0xFFFFu;
    const uint32_t fm_mask = fm_cells(0xF8, 0xFF), fm_mark = fm_cells(0xF8, FM_MARK_CLOCK);
    uint32_t shift = 0;
    for (int32_t at = from; at < count; ++at) {
        shift = (shift << 1 | cells[at]) & mask;
        const int32_t start = at - width + 1;
        if (start < from || start >= limit)
            continue;
        if (fm && (shift & fm_mask) == fm_mark)
            return start;
        if (!fm && shift == MFM_A1 && !(at + 16 < count && cells_match(cells, at + 1, MFM_A1)))
            return at + 1;
    }
    return -1;
}

// Reads count bytes from cell `at`; false when the stream ends first.
bool read_bytes(const uint8_t* cells, int32_t count_cells, int32_t at, bool fm, uint8_t* out, int32_t count)
{
    const int32_t byte_cells = cells_per_byte(fm);
    if (at + int64_t{count} * byte_cells > count_cells)
        return false;
    for (int32_t i = 0; i < count; ++i)
        out[i] = read_byte(cells, at + i * byte_cells, byte_cells / 8);
    return true;
}

// The CRC a field is checked against: FM covers the mark and what follows,
// MFM the three A1 before it too.
uint16_t field_crc(bool fm, const uint8_t* field, int32_t count)
{
    const uint8_t syncs[3] = {MFM_SYNC, MFM_SYNC, MFM_SYNC};
    return floppy_crc(fm ? 0xFFFF : floppy_crc(0xFFFF, syncs, 3), field, count);
}

// The data field after the ID at cell `after`: its data into s, with the
// status it reads with.  False when memory runs out.
bool read_data_field(const uint8_t* cells, int32_t count, int32_t after, bool fm, d88_sector* s)
{
    const int32_t byte_cells = cells_per_byte(fm);
    const int32_t at = find_mark(cells, count, after, fm, after + DATA_MARK_WINDOW * byte_cells);
    uint8_t mark = 0;
    const int32_t size = sector_field_size(*s);
    if (at < 0 || !read_bytes(cells, count, at, fm, &mark, 1) || (mark != DATA_MARK && mark != DELETED_MARK) ||
        at + int64_t{size + 3} * byte_cells > count) {
        s->status = STATUS_NO_DATA;
        return true;
    }
    uint8_t* field = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size) + 3));
    if (field == nullptr)
        return false;
    read_bytes(cells, count, at, fm, field, size + 3);
    const bool good = field_crc(fm, field, size + 3) == 0;
    s->deleted_mark = mark == DELETED_MARK ? STATUS_DELETED : 0;
    s->status = !good ? STATUS_DATA_CRC : mark == DELETED_MARK ? STATUS_DELETED : 0;
    std::memmove(field, field + 1, static_cast<size_t>(size));
    s->data = field;
    s->data_size = static_cast<int16_t>(size);
    return true;
}

}  // namespace

uint16_t floppy_crc(uint16_t crc, const uint8_t* bytes, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

int32_t cells_per_byte(bool fm)
{
    return fm ? 32 : 16;
}

int32_t fit_gap3(const d88_track& track, bool fm, int32_t capacity, int32_t* needed)
{
    const layout& l = fm ? FM_LAYOUT : MFM_LAYOUT;
    int64_t fixed = l.gap4a + l.sync + (fm ? 1 : 4) + l.gap1;
    int32_t largest = 0;
    for (int32_t i = 0; i < track.count; ++i) {
        fixed += sector_overhead(l, fm) + sector_field_size(track.sectors[i]);
        largest = sector_field_size(track.sectors[i]) > largest ? sector_field_size(track.sectors[i]) : largest;
    }
    const int32_t standard = fm ? (largest <= 128 ? 27 : largest <= 256 ? 42 : 58)
                                : (largest <= 128 ? 27 : largest <= 256 ? 54 : largest <= 512 ? 84 : 116);
    *needed = static_cast<int32_t>(fixed + int64_t{l.gap3_min} * track.count);
    if (*needed > capacity)
        return -1;
    const int64_t room = (capacity - fixed) / (track.count > 0 ? track.count : 1);
    return static_cast<int32_t>(room < standard ? room : standard);
}

void encode_track(cell_stream* stream, const d88_track& track, bool fm, int32_t gap3, int32_t capacity)
{
    const layout& l = fm ? FM_LAYOUT : MFM_LAYOUT;
    const int64_t start = stream->size;
    uint8_t previous = 0;
    put_run(stream, l.gap_byte, l.gap4a, fm, &previous);
    put_mark(stream, l, INDEX_MARK, fm, &previous);
    put_run(stream, l.gap_byte, l.gap1, fm, &previous);
    for (int32_t i = 0; i < track.count; ++i)
        encode_sector(stream, l, track.sectors[i], fm, gap3, &previous);
    const int64_t end = start + int64_t{capacity} * cells_per_byte(fm);
    while (stream->size + cells_per_byte(fm) <= end && !stream->failed)
        put_byte(stream, l.gap_byte, fm ? FM_CLOCK : 0xFF, fm, &previous);
    while (stream->size < end && put_cell(stream, 0)) {
    }
}

namespace {

// Gives the array room for one more sector; false when memory runs out.
bool grow_sectors(d88_sector** sectors, int32_t count, int32_t* room)
{
    if (count < *room)
        return true;
    const int32_t more = *room > 0 ? *room * 2 : 32;
    d88_sector* grown = static_cast<d88_sector*>(std::calloc(static_cast<size_t>(more), sizeof(d88_sector)));
    if (grown == nullptr)
        return false;
    if (count > 0)
        std::memcpy(grown, *sectors, static_cast<size_t>(count) * sizeof(d88_sector));
    std::free(*sectors);
    *sectors = grown;
    *room = more;
    return true;
}

}  // namespace

d88_sector* decode_track(const uint8_t* cells, int32_t count_cells, bool fm, int32_t* count)
{
    *count = 0;
    d88_sector* sectors = nullptr;
    int32_t room = 0;
    bool failed = false;
    const int32_t byte_cells = cells_per_byte(fm);
    for (int32_t at = find_mark(cells, count_cells, 0, fm, count_cells); at >= 0 && !failed;
         at = find_mark(cells, count_cells, at + byte_cells, fm, count_cells)) {
        uint8_t id[7];
        if (!read_bytes(cells, count_cells, at, fm, id, 7) || id[0] != ID_MARK)
            continue;
        failed = !grow_sectors(&sectors, *count, &room);
        if (failed)
            break;
        d88_sector& s = sectors[(*count)++];
        s = d88_sector{id[1], id[2], id[3], id[4], 0, static_cast<uint8_t>(fm ? D88_SINGLE_DENSITY : 0), 0, 0, {}, 0, nullptr};
        failed = !read_data_field(cells, count_cells, at + 7 * byte_cells, fm, &s);
        if (field_crc(fm, id, 7) != 0)
            s.status = STATUS_ID_CRC;  // the data field, if any, is kept as it stands
    }
    if (!failed)
        return sectors;
    for (int32_t i = 0; i < *count; ++i)
        std::free(sectors[i].data);
    std::free(sectors);
    *count = -1;
    return nullptr;
}
