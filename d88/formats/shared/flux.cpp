// flux.cpp -- flux to cells through a phase-locked loop, cells to the
// sectors of each revolution, and the reads of all revolutions to one
// sector each.
#include "flux.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/layout.h"
#include "track_bits.h"

namespace {

// The cell rates a track may be written at: the kbit/s of MFM whose cells
// it has (FM runs at half the rate: 125 and 250 kbit/s FM have the cells
// of 250 and 500 kbit/s MFM).
constexpr int32_t CELL_RATES[] = {250, 300, 500};
// How far a track's measured cells may be off a rate's and still be of it.
constexpr double RATE_TOLERANCE = 0.12;

// The histogram the cell time is measured with: bins of 50 ns up to 25 µs,
// over the first intervals of the track.
constexpr int32_t BIN_NS = 50, BINS = 500;
constexpr int64_t SAMPLED_INTERVALS = 16384;

// The loop: how much of a transition's phase error moves the cell time,
// and how far the cell time may move.
constexpr double FREQUENCY_GAIN = 0.2, FREQUENCY_RANGE = 0.12;

// Two reads are of one sector when their IDs match this near one place of
// the revolution.
constexpr double SAME_PLACE = 0.01;

constexpr int32_t REVOLUTIONS_MAX = 64;

// The most reads of a track kept over all its revolutions: real tracks
// hold a few dozen sectors a revolution.
constexpr int32_t READS_MAX = 8192;

// The longest silence the loop counts, in cells: no FM or MFM field goes
// more than a few cells without a transition, so a longer gap (erased or
// unformatted) counts as this many.  With the cells of a track at the most,
// it bounds the memory any flux takes.
constexpr int64_t GAP_CELLS_MAX = 256;
constexpr int64_t TRACK_CELLS_MAX = int64_t{1} << 27;  // 64 revolutions of 2 million cells

double cell_ns_of_rate(int32_t kbit)
{
    return 1e6 / (2.0 * kbit);
}

// The cell time the flux shows: half its shortest common interval, two
// cells in FM and MFM alike; 0 without flux.
double measure_cell_ns(const flux_track& f)
{
    int32_t bins[BINS] = {};
    const int64_t sampled = f.count < SAMPLED_INTERVALS ? f.count : SAMPLED_INTERVALS;
    for (int64_t i = 0; i < sampled; ++i) {
        const double ns = f.intervals[i] * f.tick_ns;
        if (ns < BIN_NS * BINS)
            ++bins[static_cast<int32_t>(ns / BIN_NS)];
    }
    const int64_t common = sampled / 32 > 4 ? sampled / 32 : 4;
    for (int32_t b = 1; b + 1 < BINS; ++b) {
        if (bins[b] < common || bins[b] < bins[b + 1])
            continue;
        // the peak's centre, from the bins around it
        double sum = 0, weight = 0;
        for (int32_t k = b - 2; k <= b + 2; ++k) {
            if (k >= 0 && k < BINS) {
                sum += bins[k] * (k + 0.5) * BIN_NS;
                weight += bins[k];
            }
        }
        return sum / weight / 2;
    }
    return 0;
}

// The cell rate of a measured cell time: the known one it is near, else
// its own.
int32_t rate_of_cells(double cell_ns)
{
    for (const int32_t rate : CELL_RATES) {
        if (std::fabs(cell_ns / cell_ns_of_rate(rate) - 1) <= RATE_TOLERANCE)
            return rate;
    }
    return static_cast<int32_t>(1e6 / (2 * cell_ns) + 0.5);
}

// Stores 64 cells, first in time highest, as the cells word_at * 64 on.
void store_word(uint8_t* bits, int64_t word_at, uint64_t word)
{
    for (int32_t b = 0; b < 8; ++b)
        bits[word_at * 8 + b] = static_cast<uint8_t>(word >> (56 - 8 * b));
}

// Index pulses a dump gives out of order, or before its first flux, would
// start a revolution before the stream or the one before it: each start is
// held within the stream and at or after the one before.
void keep_starts_in_order(int64_t* starts, int32_t revolutions, int64_t count)
{
    for (int32_t r = 0; r <= revolutions; ++r) {
        const int64_t lowest = r > 0 ? starts[r - 1] : 0;
        starts[r] = starts[r] < lowest ? lowest : starts[r] > count ? count : starts[r];
    }
}

// The flux as cells, a transition a 1, into bits (cleared, of room for
// count_cell_room cells), the loop starting at cell_ns; the cells where
// each revolution starts into starts.  The number of cells.
//
// Each interval is measured in cells (fixed point, 16 bits of fraction)
// through the loop's cells a tick, plus the phase error carried; its
// nearest whole number of cells, one at least, places the transition, and
// half the error is carried on.  Once a block of transitions, their errors
// move the cells a tick, within its range.  The carried error is held with
// half a cell added, so that the rounding is a shift and the error a mask:
// the chain from one transition to the next stays three operations long.
int64_t lock_cells(const flux_track& f, double cell_ns, int64_t room, uint8_t* bits, int64_t* starts)
{
    constexpr int32_t FRACTION = 16, BLOCK = 16;
    constexpr int64_t ONE = int64_t{1} << FRACTION, HALF = ONE / 2;
    const double nominal = f.tick_ns / cell_ns * static_cast<double>(int64_t{1} << 32);  // cells a tick, 32 bits of fraction
    const int64_t low = static_cast<int64_t>(nominal / (1 + FREQUENCY_RANGE)), high = static_cast<int64_t>(nominal / (1 - FREQUENCY_RANGE));
    const int64_t gain = static_cast<int64_t>(FREQUENCY_GAIN * ONE);
    // the ticks past which an interval counts as the longest gap, and the
    // cell at which the room ends
    const int64_t longest = static_cast<int64_t>(static_cast<double>(GAP_CELLS_MAX) * cell_ns / f.tick_ns) + 1;
    const int64_t last_cell = room - GAP_CELLS_MAX - 64;
    int64_t rate = static_cast<int64_t>(nominal);
    int64_t rounded = HALF;  // the carried phase error, plus half a cell
    int64_t cell = 0, now = 0, drift = 0, block_cells = 0;
    int32_t next = 0, left = BLOCK;
    // where the next revolution starts, in ticks
    int64_t next_start = f.revolutions >= 0 ? static_cast<int64_t>(f.starts[0]) : INT64_MAX;
    // the cells of the current 64, first in time highest, stored as they fill
    uint64_t word = 0;
    int64_t word_at = 0;
    // held here: the stores into bits may, as the compiler sees them, change f
    const uint32_t* const intervals = f.intervals;
    const int64_t count = f.count;
    const int32_t revolutions = f.revolutions;
    for (int64_t i = 0; i < count && cell < last_cell; ++i) {
        const int64_t interval = intervals[i];
        while (now + interval > next_start) {  // the pulse came before this transition
            const int64_t ahead = next_start - now;
            starts[next] = cell + (((ahead < 0 ? 0 : ahead < longest ? ahead : longest) * rate >> FRACTION) + rounded) / ONE;
            next_start = ++next <= revolutions ? static_cast<int64_t>(f.starts[next]) : INT64_MAX;
        }
        now += interval;
        rounded += (interval < longest ? interval : longest) * rate >> FRACTION;
        int64_t k = rounded >> FRACTION, error = (rounded & (ONE - 1)) - HALF;
        if (k < 1) {  // closer than half a cell to the last: one cell on
            k = 1;
            error = rounded - HALF - ONE;
        } else if (k > GAP_CELLS_MAX) {  // a silence: its length is no phase to correct
            k = GAP_CELLS_MAX;
            error = 0;
        }
        rounded = (error >> 1) + HALF;  // half the error carried: the other half corrected
        cell += k;
        if (cell >> 6 != word_at) {
            store_word(bits, word_at, word);
            word = 0;
            word_at = cell >> 6;
        }
        word |= uint64_t{1} << (63 - (cell & 63));
        drift += error;
        block_cells += k;
        if (--left == 0) {  // late transitions: longer cells, fewer a tick
            rate -= (rate >> FRACTION) * ((drift / block_cells * gain) >> FRACTION) >> FRACTION;
            rate = rate < low ? low : rate > high ? high : rate;
            drift = block_cells = 0;
            left = BLOCK;
        }
    }
    store_word(bits, word_at, word);
    for (; next <= revolutions; ++next) {  // pulses after the last transition counted
        const double ahead = (f.starts[next] - static_cast<double>(now)) * static_cast<double>(rate) /
                             static_cast<double>(int64_t{1} << 32);
        starts[next] = cell + (ahead <= 0 ? 0 : ahead < static_cast<double>(room) ? static_cast<int64_t>(ahead) : room);
    }
    keep_starts_in_order(starts, revolutions, cell + 1);
    return cell + 1;
}

// The cells lock_cells may make of the flux: at the shortest cell time the
// loop allows, each interval the longest gap at the most, and one more for
// each transition, which takes one cell at least; in whole words, and no
// more than a track's most (lock_cells stops there).
int64_t count_cell_room(const flux_track& f, double cell_ns)
{
    const double timed = static_cast<double>(f.ticks) * f.tick_ns / (cell_ns * (1 - FREQUENCY_RANGE));
    const double gaps = static_cast<double>(f.count) * GAP_CELLS_MAX;
    const double most = (timed < gaps ? timed : gaps) + 2.0 * static_cast<double>(f.count) + 512;
    return (most < static_cast<double>(TRACK_CELLS_MAX) ? static_cast<int64_t>(most) : TRACK_CELLS_MAX) & ~int64_t{63};
}

// One read of a sector: the revolution it was read in, where in it (0 to
// 1), whether its data ran past the end of the flux, and the record.
struct sector_read {
    int32_t revolution;
    double place;
    bool cut;
    d88_sector sector;
};

bool is_good(const d88_sector& s)
{
    return s.status == D88_STATUS_OK || s.status == D88_STATUS_DELETED;
}

bool is_same_read(const d88_sector& a, const d88_sector& b)
{
    return a.status == b.status && a.deleted_mark == b.deleted_mark && a.data_size == b.data_size &&
           (a.data_size == 0 || std::memcmp(a.data, b.data, static_cast<size_t>(a.data_size)) == 0);
}

double distance(double a, double b)
{
    const double d = std::fabs(a - b);
    return d < 1 - d ? d : 1 - d;
}

// Whether read b is of the sector of read a: its ID, at its place, in
// another revolution.
bool is_same_sector(const sector_read& a, const sector_read& b)
{
    return a.revolution != b.revolution && a.sector.c == b.sector.c && a.sector.h == b.sector.h &&
           a.sector.r == b.sector.r && a.sector.n == b.sector.n && distance(a.place, b.place) < SAME_PLACE;
}

// The reads of every revolution, in reads (of room for every one), the
// first READS_MAX; their number, or -1 when memory runs out.  *too_many
// says whether IDs were left unread.
int32_t read_revolutions(const cell_stream& stream, const int64_t* starts, int32_t revolutions, bool fm, sector_read** reads,
                         d88_flux_track* info, bool* too_many)
{
    int32_t total = 0;
    *too_many = false;
    for (int32_t r = 0; r < revolutions && !*too_many; ++r) {
        int32_t count = 0;
        decoded_place* places = nullptr;
        d88_sector* sectors = decode_track_cells(stream, starts[r], starts[r + 1], fm, &count, &places);
        if (count < 0)
            return -1;
        *too_many = count == DECODED_IDS_MAX || total + count >= READS_MAX;
        sector_read* grown = static_cast<sector_read*>(std::realloc(*reads, sizeof(sector_read) * static_cast<size_t>(total + count + 1)));
        if (grown == nullptr) {
            for (int32_t i = 0; i < count; ++i)
                std::free(sectors[i].data);
            std::free(sectors);
            std::free(places);
            return -1;
        }
        *reads = grown;
        const double length = static_cast<double>(starts[r + 1] - starts[r]);
        for (int32_t i = 0; i < count; ++i) {
            grown[total++] = {r, (places[i].at - starts[r]) / length, places[i].cut, sectors[i]};
            if (r < 8) {
                ++info->found[r];
                info->correct[r] += is_good(sectors[i]);
            }
        }
        std::free(sectors);
        std::free(places);
    }
    return total;
}

// Takes for each sector the read to keep: one with good CRCs, else the one
// most often made (a read cut at the end of the flux only where there is
// no other); says a sector whose reads differ as weak, and one with a CRC
// error in each read.  The kept reads move into the track, in the order of
// their places; the others' data is released.
bool merge_reads(sector_read* reads, int32_t count, int32_t slot, d88_track* track, d88_flux_track* info, loss_report* report)
{
    // in the order of their places; a revolution's reads all have places of their own
    std::sort(reads, reads + count, [](const sector_read& a, const sector_read& b) {
        return a.place < b.place || (a.place == b.place && a.revolution < b.revolution);
    });
    int32_t* group = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(count + 1)));
    track->sectors = static_cast<d88_sector*>(std::calloc(static_cast<size_t>(count + 1), sizeof(d88_sector)));
    if (group == nullptr || track->sectors == nullptr) {
        std::free(group);
        return false;
    }
    for (int32_t i = 0; i < count; ++i)
        group[i] = -1;
    for (int32_t i = 0; i < count; ++i) {
        if (group[i] >= 0)
            continue;
        group[i] = i;
        uint64_t taken = uint64_t{1} << reads[i].revolution;  // one read a revolution
        for (int32_t j = i + 1; j < count; ++j) {
            if (group[j] < 0 && (taken >> reads[j].revolution & 1) == 0 && is_same_sector(reads[i], reads[j])) {
                group[j] = i;
                taken |= uint64_t{1} << reads[j].revolution;
            }
        }
    }
    for (int32_t i = 0; i < count; ++i) {
        if (group[i] != i)
            continue;
        int32_t kept = -1, copies = 0, agree_best = 0;
        for (int32_t j = i; j < count; ++j) {
            if (group[j] != i)
                continue;
            copies += !reads[j].cut;
            int32_t agree = 0;
            for (int32_t k = i; k < count; ++k)
                agree += group[k] == i && !reads[k].cut && is_same_read(reads[j].sector, reads[k].sector);
            const bool whole = !reads[j].cut, good = is_good(reads[j].sector);
            const bool better = kept < 0 || (reads[kept].cut && whole) ||
                                (whole && good && !is_good(reads[kept].sector)) ||
                                (whole && good == is_good(reads[kept].sector) && agree > agree_best);
            if (better)
                kept = j, agree_best = agree;
        }
        const d88_sector& s = reads[kept].sector;
        int32_t differ = 0;
        for (int32_t j = i; j < count; ++j)
            differ += group[j] == i && !reads[j].cut && !is_same_read(reads[j].sector, s);
        if (differ > 0)
            report_loss(report, D88_KIND_WEAK, slot, track->count, &s, "%d of its %d reads differ; kept %s", static_cast<int>(differ),
                        static_cast<int>(copies), is_good(s) ? "one with good CRCs" : "the one most often made");
        else if (!is_good(s) && s.status != D88_STATUS_NO_DATA)
            report_loss(report, D88_KIND_STATUS, slot, track->count, &s, "read with status 0x%02X (%s CRC error) in every revolution",
                        s.status, s.status == D88_STATUS_ID_CRC ? "ID" : "data");
        info->good += is_good(s);
        track->sectors[track->count++] = s;
        reads[kept].sector.data = nullptr;  // moved into the track
    }
    for (int32_t i = 0; i < count; ++i)
        std::free(reads[i].sector.data);
    for (int32_t i = 0; i < track->count; ++i)
        track->sectors[i].sector_count = static_cast<uint16_t>(track->count);
    info->sectors = track->count;
    std::free(group);
    return true;
}

// Where the revolutions of a dump not cued to the index start: at the
// index address mark of the first, and a revolution's length on; as the
// reader cut them where there is none.
void find_index_starts(const cell_stream& stream, int64_t* starts, int32_t revolutions, bool fm)
{
    const int64_t length = (starts[revolutions] - starts[0]) / revolutions;
    const int64_t mark = find_index_mark(stream, starts[0], starts[0] + length, fm);
    if (mark < 0)
        return;
    // the index is gap 4a, sync and the sync bytes before the mark byte
    const int64_t index = mark - int64_t{fm ? 40 + 6 : 80 + 12 + 3} * cells_per_byte(fm);
    for (int32_t r = 0; r <= revolutions; ++r)
        starts[r] = index + r * length > 0 ? index + r * length : 0;
}

}  // namespace

bool reserve_flux_intervals(flux_reading* reading, int64_t count)
{
    if (count <= reading->intervals_room)
        return true;
    std::free(reading->intervals);
    reading->intervals = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * static_cast<size_t>(count + 1)));
    reading->intervals_room = reading->intervals != nullptr ? count : 0;
    return reading->intervals != nullptr;
}

namespace {

// Decodes the track into its slot; its facts into info.
bool decode_track_flux(const flux_track& flux, int32_t slot, d88_track* track, d88_flux_track* info, flux_reading* reading)
{
    loss_report* report = reading->report;
    const int32_t revolutions = flux.revolutions;
    info->slot = slot;
    info->revolutions = revolutions;
    // the rotation in hundredths of rpm; none past a million rpm, which no drive turns at
    const double rpm = revolutions > 0 && flux.starts[revolutions] > flux.starts[0]
                           ? 60e9 * 100 / ((flux.starts[revolutions] - flux.starts[0]) * flux.tick_ns / revolutions)
                           : 0;
    info->rpm = rpm < 1e8 ? static_cast<int32_t>(rpm + 0.5) : 0;
    const double cell_ns = measure_cell_ns(flux);
    if (cell_ns <= 0 || revolutions <= 0) {
        report_loss(report, D88_KIND_NO_SECTOR, slot, -1, nullptr, "no flux: an empty slot");
        return true;
    }
    const int32_t rate = rate_of_cells(cell_ns);
    const int64_t room = count_cell_room(flux, cell_ns);
    if (reading->cells_room < room) {
        std::free(reading->cells);
        reading->cells = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(room / 8 + 8)));
        reading->cells_room = reading->cells != nullptr ? room : 0;
        if (reading->cells == nullptr)
            return false;
    }
    std::memset(reading->cells, 0, static_cast<size_t>(room / 8 + 8));
    int64_t starts[REVOLUTIONS_MAX + 1];
    const int64_t cells = lock_cells(flux, cell_ns, room, reading->cells, starts);
    const cell_stream stream = {reading->cells, cells, revolutions == 1};
    for (int32_t encoding = 0; encoding < 2 && track->count == 0; ++encoding) {
        const bool fm = encoding == 1;
        if (!flux.at_index)
            find_index_starts(stream, starts, revolutions, fm);
        sector_read* reads = nullptr;
        const d88_flux_track before = *info;
        bool too_many = false;
        const int32_t count = read_revolutions(stream, starts, revolutions, fm, &reads, info, &too_many);
        const bool merged = count >= 0 && (count == 0 || merge_reads(reads, count, slot, track, info, report));
        if (merged && too_many)
            report_loss(report, D88_KIND_SECTOR_COUNT, slot, -1, nullptr, "more IDs than any track holds: those past %d are not read",
                        static_cast<int>(count));
        for (int32_t i = 0; !merged && i < count; ++i)
            std::free(reads[i].sector.data);
        std::free(reads);
        if (!merged)
            return false;
        if (count == 0)
            *info = before;
        info->fm = fm;
        info->kbit = track->count > 0 ? (fm ? rate / 2 : rate) : 0;
    }
    if (track->count == 0)
        report_loss(report, D88_KIND_NO_SECTOR, slot, -1, nullptr, "flux at %d kbit/s cells, but no sector found in FM or MFM: an empty slot",
                    static_cast<int>(rate));
    return true;
}

}  // namespace

bool decode_flux_track(const flux_track& flux, int32_t slot, d88_disk* disk, flux_reading* reading)
{
    d88_flux_track* info = &reading->infos[reading->info_count < D88_TRACK_MAX ? reading->info_count : D88_TRACK_MAX - 1];
    *info = {};
    flux_track capped = flux;
    capped.revolutions = flux.revolutions < REVOLUTIONS_MAX ? flux.revolutions : REVOLUTIONS_MAX;
    if (!decode_track_flux(capped, slot, &disk->track[slot], info, reading))
        return false;
    reading->info_count += reading->info_count < D88_TRACK_MAX;
    if (reading->tracks != nullptr)
        reading->tracks(info, reading->context);
    return true;
}

void end_flux_reading(d88_disk* disk, flux_reading* reading)
{
    const d88_flux_track* infos = reading->infos;
    const int32_t count = reading->info_count;
    loss_report* report = reading->report;
    // the cell rate of most tracks
    int32_t rates[8] = {}, tracks[8] = {}, known = 0, last = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t cells = infos[i].kbit * (infos[i].fm ? 2 : 1);
        if (cells == 0)
            continue;
        last = infos[i].slot > last ? infos[i].slot : last;
        int32_t k = 0;
        while (k < known && rates[k] != cells)
            ++k;
        if (k == known && known < 8)
            rates[known++] = cells;
        tracks[k < 8 ? k : 7] += k < 8;
    }
    int32_t most = 0;
    for (int32_t k = 1; k < known; ++k)
        most = tracks[k] > tracks[most] ? k : most;
    for (int32_t i = 0; known > 0 && i < count; ++i) {
        const int32_t cells = infos[i].kbit * (infos[i].fm ? 2 : 1);
        if (cells != 0 && cells != rates[most])
            report_loss(report, D88_KIND_RATE, infos[i].slot, -1, nullptr, "%s at %d kbit/s, where the disk's other tracks have the cells of %d kbit/s",
                        infos[i].fm ? "FM" : "MFM", static_cast<int>(infos[i].kbit), static_cast<int>(rates[most]));
    }
    disk->disk_type = media_of_geometry(known > 0 && rates[most] >= 400, last / 2 + 1);
    std::free(reading->intervals);
    std::free(reading->cells);
    reading->intervals = nullptr;
    reading->cells = nullptr;
}
