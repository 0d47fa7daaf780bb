// flux_encoder.cpp -- the tests' flux encoder; the sources of each layout
// are listed at the top of flux_encoder.h ([S34], [SMSC], [SA810], [SCP],
// [KF]).  Clarity over speed: cells are one byte each.
#include "flux_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace flux_test {

namespace {

// splitmix64: a small generator whose output is the same on every compiler
// and library (the standard distributions are not).
class random_source {
public:
    explicit random_source(uint64_t seed) : state_(seed) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    // Uniform in [0, limit].
    uint32_t up_to(uint32_t limit) { return static_cast<uint32_t>(next() % (uint64_t{limit} + 1)); }

private:
    uint64_t state_;
};

// ---------------------------------------------------------------------------
// Track layout: the bytes a controller writes, each with its clock.
// ---------------------------------------------------------------------------

// [S34] MFM, [SMSC] System 34 and 3740 layouts.
constexpr int mfm_gap4a = 80, mfm_sync = 12, mfm_gap1 = 50, mfm_gap2 = 22;
constexpr int fm_gap4a = 40, fm_sync = 6, fm_gap1 = 26, fm_gap2 = 11;
constexpr uint8_t mfm_gap_byte = 0x4E, fm_gap_byte = 0xFF, sync_byte = 0x00;
constexpr uint8_t index_mark = 0xFC, id_mark = 0xFE, data_mark = 0xFB, deleted_data_mark = 0xF8;
constexpr uint8_t mfm_pre_mark = 0xA1, mfm_pre_index_mark = 0xC2;
// [SA810] FM clock bits.
constexpr uint8_t fm_data_clock = 0xFF, fm_mark_clock = 0xC7, fm_index_clock = 0xD7;
constexpr size_t mfm_cells_per_byte = 16, fm_cells_per_byte = 32;

enum class byte_kind { data, mfm_mark, fm_mark, fm_index_mark };

struct written_byte {
    uint8_t value;
    byte_kind kind;
};

class track_writer {
public:
    explicit track_writer(bool fm) : fm_(fm) {}

    size_t cells_per_byte() const { return fm_ ? fm_cells_per_byte : mfm_cells_per_byte; }
    size_t cell_position() const { return bytes_.size() * cells_per_byte(); }
    uint8_t gap_byte() const { return fm_ ? fm_gap_byte : mfm_gap_byte; }

    void repeat(uint8_t value, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            bytes_.push_back({value, byte_kind::data});
    }
    void byte(uint8_t value, byte_kind kind = byte_kind::data) { bytes_.push_back({value, kind}); }

    // A CRC-checked field: the mark bytes (with their missing clocks), then
    // `field`, then the CRC over the marks and the field (inverted when bad).
    void checked_field(uint8_t mark, byte_kind fm_kind, const std::vector<uint8_t>& field, bool bad_crc)
    {
        std::vector<uint8_t> covered;
        if (fm_) {
            byte(mark, fm_kind);
        } else {
            for (int i = 0; i < 3; ++i) {
                byte(mfm_pre_mark, byte_kind::mfm_mark);
                covered.push_back(mfm_pre_mark);
            }
            byte(mark);
        }
        covered.push_back(mark);
        covered.insert(covered.end(), field.begin(), field.end());
        for (uint8_t b : field)
            byte(b);
        uint16_t crc = crc_ccitt(covered);
        if (bad_crc)
            crc = static_cast<uint16_t>(crc ^ 0xFFFF);
        byte(static_cast<uint8_t>(crc >> 8));
        byte(static_cast<uint8_t>(crc & 0xFF));
    }

    std::vector<uint8_t> cells() const
    {
        std::vector<uint8_t> out;
        out.reserve(cell_position());
        bool previous = false;
        for (const written_byte& b : bytes_) {
            if (fm_) {
                const uint8_t clock = b.kind == byte_kind::fm_mark         ? fm_mark_clock
                                      : b.kind == byte_kind::fm_index_mark ? fm_index_clock
                                                                           : fm_data_clock;
                append(out, fm_cells(b.value, clock), fm_cells_per_byte);
            } else {
                uint16_t word = mfm_cells(b.value, previous);
                if (b.kind == byte_kind::mfm_mark)
                    word = b.value == mfm_pre_index_mark ? mfm_c2_mark : mfm_a1_mark;
                append(out, word, mfm_cells_per_byte);
                previous = (b.value & 1) != 0;
            }
        }
        return out;
    }

private:
    static void append(std::vector<uint8_t>& out, uint32_t word, size_t count)
    {
        for (size_t i = count; i-- > 0;)
            out.push_back(static_cast<uint8_t>((word >> i) & 1));
    }

    bool fm_;
    std::vector<written_byte> bytes_;
};

size_t sector_size(int n) { return size_t{128} << n; }

// The sector's data as written: 128 << n bytes.
std::vector<uint8_t> sector_data(const flux_sector& s)
{
    std::vector<uint8_t> data(s.data.begin(), s.data.begin() + static_cast<std::ptrdiff_t>(
                                                                    std::min(s.data.size(), sector_size(s.n))));
    data.resize(sector_size(s.n), 0);
    return data;
}

void write_index_field(track_writer& w, bool fm)
{
    w.repeat(w.gap_byte(), static_cast<size_t>(fm ? fm_gap4a : mfm_gap4a));
    w.repeat(sync_byte, static_cast<size_t>(fm ? fm_sync : mfm_sync));
    if (fm) {
        w.byte(index_mark, byte_kind::fm_index_mark);
    } else {
        for (int i = 0; i < 3; ++i)
            w.byte(mfm_pre_index_mark, byte_kind::mfm_mark);
        w.byte(index_mark);
    }
    w.repeat(w.gap_byte(), static_cast<size_t>(fm ? fm_gap1 : mfm_gap1));
}

sector_cells write_sector(track_writer& w, const flux_track& track, const flux_sector& s)
{
    const bool fm = track.fm;
    const size_t sync = static_cast<size_t>(fm ? fm_sync : mfm_sync);
    const size_t mark_bytes = fm ? 1 : 4;
    sector_cells at;
    w.repeat(sync_byte, sync);
    at.id_mark = w.cell_position();
    w.checked_field(id_mark, byte_kind::fm_mark, {s.c, s.h, s.r, s.n}, s.bad_id_crc);
    w.repeat(w.gap_byte(), static_cast<size_t>(fm ? fm_gap2 : mfm_gap2));

    const std::vector<uint8_t> data = sector_data(s);
    const size_t field_start = w.cell_position();
    at.data_mark = field_start + sync * w.cells_per_byte();
    at.data = at.data_mark + mark_bytes * w.cells_per_byte();
    at.data_end = at.data + (data.size() + 2) * w.cells_per_byte();
    if (s.no_data_field) {
        w.repeat(w.gap_byte(), sync + mark_bytes + data.size() + 2);
    } else {
        w.repeat(sync_byte, sync);
        w.checked_field(s.deleted ? deleted_data_mark : data_mark, byte_kind::fm_mark, data, s.bad_data_crc);
    }
    const int gap3 = track.gap3 >= 0 ? track.gap3 : standard_gap3(fm, s.n);
    w.repeat(w.gap_byte(), static_cast<size_t>(gap3));
    return at;
}

}  // namespace

// ---------------------------------------------------------------------------
// Tracks to bit cells.
// ---------------------------------------------------------------------------

double cell_time_ns(const flux_track& track)
{
    const double cells_per_second = track.data_rate_kbps * 1000.0 * (track.fm ? 4.0 : 2.0);
    return 1e9 / cells_per_second;
}

size_t cells_per_revolution(const flux_track& track)
{
    const double cells_per_second = track.data_rate_kbps * 1000.0 * (track.fm ? 4.0 : 2.0);
    return static_cast<size_t>(std::llround(cells_per_second * 60.0 / track.rpm));
}

int standard_gap3(bool fm, int n)
{
    static const int mfm[] = {0x36, 0x36, 0x54, 0x74};
    static const int single[] = {0x1B, 0x2A, 0x3A, 0x87};
    if (n < 0 || n > 3)
        return 0xFF;
    return fm ? single[n] : mfm[n];
}

track_cells track_to_cells(const flux_track& track)
{
    track_writer w(track.fm);
    write_index_field(w, track.fm);
    track_cells out;
    for (const flux_sector& s : track.sectors)
        out.sectors.push_back(write_sector(w, track, s));
    out.written_cells = w.cell_position();

    // Gap 4b up to the revolution, then the stream cut to it.
    const size_t revolution = cells_per_revolution(track);
    while (w.cell_position() < revolution)
        w.byte(w.gap_byte());
    out.cells = w.cells();
    if (track.truncate_to_revolution)
        out.cells.resize(revolution);
    out.cell_ns = cell_time_ns(track);
    out.fm = track.fm;
    return out;
}

std::vector<uint8_t> read_bytes_at(const std::vector<uint8_t>& cells, size_t first_cell, size_t count,
                                   bool fm)
{
    std::vector<uint8_t> out;
    if (cells.empty())
        return out;
    const size_t per_byte = fm ? fm_cells_per_byte : mfm_cells_per_byte;
    const size_t per_bit = per_byte / 8, data_offset = fm ? 2 : 1;
    for (size_t i = 0; i < count; ++i) {
        unsigned value = 0;
        for (size_t bit = 0; bit < 8; ++bit) {
            const size_t at = (first_cell + i * per_byte + bit * per_bit + data_offset) % cells.size();
            value = (value << 1) | (cells[at] ? 1u : 0u);
        }
        out.push_back(static_cast<uint8_t>(value));
    }
    return out;
}

uint16_t crc_ccitt(const uint8_t* bytes, size_t size, uint16_t crc)
{
    for (size_t i = 0; i < size; ++i) {
        crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

uint16_t crc_ccitt(const std::vector<uint8_t>& bytes) { return crc_ccitt(bytes.data(), bytes.size()); }

uint16_t mfm_cells(uint8_t byte, bool previous_data_bit)
{
    unsigned word = 0;
    bool previous = previous_data_bit;
    for (int bit = 7; bit >= 0; --bit) {
        const bool data = ((byte >> bit) & 1) != 0;
        const bool clock = !previous && !data;
        word = (word << 2) | (clock ? 2u : 0u) | (data ? 1u : 0u);
        previous = data;
    }
    return static_cast<uint16_t>(word);
}

uint32_t fm_cells(uint8_t data, uint8_t clock)
{
    uint32_t word = 0;
    for (int bit = 7; bit >= 0; --bit) {
        const uint32_t c = (clock >> bit) & 1u, d = (data >> bit) & 1u;
        word = (word << 4) | (c << 3) | (d << 1);
    }
    return word;
}

// ---------------------------------------------------------------------------
// Cells to flux.
// ---------------------------------------------------------------------------

namespace {

constexpr double max_jitter = 0.45;  // keeps every transition after the one before it
constexpr double lead_in_min = 0.1, lead_in_span = 0.8;  // of a revolution, when not index-aligned
constexpr double weak_step_min = 2.0, weak_step_span = 2.0;  // random flux every 2 to 4 cells

// Where a capture lies, in cells of the track's coordinates (cell i of turn
// n is at n x length + i).
struct capture_window {
    double start;        // the capture's first moment
    double first_index;  // the first index pulse
    double end;
};

capture_window window_of(double length, const flux_options& o, random_source& random)
{
    capture_window w;
    w.first_index = o.index_offset_cells;
    const double lead_in = o.index_aligned ? 0.0 : length * (lead_in_min + lead_in_span * random.unit());
    w.start = w.first_index - lead_in;
    w.end = w.first_index + length * o.revolutions + o.tail_cells;
    return w;
}

std::vector<double> index_times(const capture_window& w, double length, int revolutions, double cell_ns)
{
    std::vector<double> times;
    for (int k = 0; k <= revolutions; ++k)
        times.push_back((w.first_index + length * k - w.start) * cell_ns);
    return times;
}

}  // namespace

flux_capture capture_track(const track_cells& track, const flux_options& options)
{
    flux_capture out;
    const std::vector<uint8_t>& cells = track.cells;
    if (cells.empty() || options.revolutions < 1)
        return out;
    random_source random(options.seed);
    const double length = static_cast<double>(cells.size());
    const double cell_ns = track.cell_ns * (1.0 + options.speed_error);
    const double jitter = std::min(std::max(options.jitter, 0.0), max_jitter);
    const capture_window w = window_of(length, options, random);

    // The weak data field: its occurrence that starts in the weak revolution.
    double weak_start = 0, weak_end = 0;
    if (options.weak_sector >= 0 && static_cast<size_t>(options.weak_sector) < track.sectors.size() &&
        options.weak_revolution >= 0 && options.weak_revolution < options.revolutions) {
        const sector_cells& s = track.sectors[static_cast<size_t>(options.weak_sector)];
        const double revolution_start = w.first_index + length * options.weak_revolution;
        const double turn = std::ceil((revolution_start - static_cast<double>(s.data)) / length);
        weak_start = turn * length + static_cast<double>(s.data);
        weak_end = turn * length + static_cast<double>(s.data_end);
    }

    const double end_ns = (w.end - w.start) * cell_ns;
    const auto keep = [&](double position) {
        const double t = (position - w.start) * cell_ns;
        if (t > 0 && t < end_ns)
            out.transitions_ns.push_back(t);
    };
    const long long first_turn = static_cast<long long>(std::floor(w.start / length));
    const long long last_turn = static_cast<long long>(std::floor(w.end / length));
    for (long long turn = first_turn; turn <= last_turn; ++turn) {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (!cells[i])
                continue;
            double position = static_cast<double>(turn) * length + static_cast<double>(i) + 0.5;
            if (position < w.start || position >= w.end || (position >= weak_start && position < weak_end))
                continue;
            if (jitter > 0)
                position += (2.0 * random.unit() - 1.0) * jitter;
            keep(position);
        }
    }
    for (double position = weak_start + 0.5; position < weak_end;
         position += weak_step_min + weak_step_span * random.unit())
        keep(position);

    std::sort(out.transitions_ns.begin(), out.transitions_ns.end());
    out.index_ns = index_times(w, length, options.revolutions, cell_ns);
    out.end_ns = end_ns;
    return out;
}

flux_capture capture_without_flux(const flux_track& track, const flux_options& options)
{
    flux_capture out;
    if (options.revolutions < 1)
        return out;
    random_source random(options.seed);
    const double length = static_cast<double>(cells_per_revolution(track));
    const double cell_ns = cell_time_ns(track) * (1.0 + options.speed_error);
    const capture_window w = window_of(length, options, random);
    out.index_ns = index_times(w, length, options.revolutions, cell_ns);
    out.end_ns = (w.end - w.start) * cell_ns;
    return out;
}

namespace {

// The revolutions between successive boundaries: each transition belongs to
// the piece it comes in, measured from the transition before it; the first
// piece starts at its boundary (the reader starts there).
std::vector<flux_revolution> split_at(const flux_capture& capture, const std::vector<double>& bounds)
{
    std::vector<flux_revolution> out;
    const std::vector<double>& t = capture.transitions_ns;
    for (size_t k = 0; k + 1 < bounds.size(); ++k) {
        flux_revolution rev;
        rev.index_ns = bounds[k + 1] - bounds[k];
        size_t i = static_cast<size_t>(std::lower_bound(t.begin(), t.end(), bounds[k]) - t.begin());
        for (; i < t.size() && t[i] < bounds[k + 1]; ++i) {
            const double previous = i > 0 ? t[i - 1] : 0.0;
            rev.intervals_ns.push_back(t[i] - (k == 0 ? std::max(previous, bounds[0]) : previous));
        }
        out.push_back(rev);
    }
    return out;
}

}  // namespace

std::vector<flux_revolution> revolutions_at_index(const flux_capture& capture)
{
    return split_at(capture, capture.index_ns);
}

std::vector<flux_revolution> revolutions_from_start(const flux_capture& capture, double period_ns, int count)
{
    std::vector<double> bounds;
    for (int k = 0; k <= count; ++k)
        bounds.push_back(period_ns * k);
    return split_at(capture, bounds);
}

// ---------------------------------------------------------------------------
// SCP files.
// ---------------------------------------------------------------------------

namespace {

void put_le32(std::vector<uint8_t>& b, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void append_le32(std::vector<uint8_t>& b, uint32_t value)
{
    b.resize(b.size() + 4);
    put_le32(b, b.size() - 4, value);
}

void append_le16(std::vector<uint8_t>& b, uint16_t value)
{
    b.push_back(static_cast<uint8_t>(value & 0xFF));
    b.push_back(static_cast<uint8_t>(value >> 8));
}

constexpr uint32_t scp_overflow = 0x10000;

// One revolution's flux words (big-endian), the running time carried from
// revolution to revolution in `time_ns` and `last_unit`.
std::vector<uint8_t> scp_flux_words(const flux_revolution& rev, double unit_ns, double& time_ns,
                                    long long& last_unit, uint32_t& words)
{
    std::vector<uint8_t> out;
    words = 0;
    for (double interval : rev.intervals_ns) {
        time_ns += interval;
        long long unit = std::max(std::llround(time_ns / unit_ns), last_unit + 1);
        if ((unit - last_unit) % scp_overflow == 0)
            ++unit;  // a rest of 0 would read as one more overflow
        long long value = unit - last_unit;
        last_unit = unit;
        for (; value >= scp_overflow; value -= scp_overflow) {
            out.push_back(0);
            out.push_back(0);
            ++words;
        }
        out.push_back(static_cast<uint8_t>(value >> 8));
        out.push_back(static_cast<uint8_t>(value & 0xFF));
        ++words;
    }
    return out;
}

std::vector<uint8_t> scp_track_bytes(const scp_track& track, int number, const scp_options& o)
{
    const size_t revolutions = track.revolutions.size();
    const size_t entries = revolutions + static_cast<size_t>(std::max(o.empty_revolutions, 0));
    std::vector<uint8_t> out = {'T', 'R', 'K', static_cast<uint8_t>(number)};
    out.resize(scp::track_header_size + entries * scp::revolution_entry_size, 0);
    const double unit_ns = scp::index_time_unit_ns * (o.resolution + 1);
    double time_ns = 0;
    long long last_unit = 0;
    for (size_t r = 0; r < entries; ++r) {
        const size_t entry = scp::track_header_size + r * scp::revolution_entry_size;
        uint32_t words = 0, index_units = 0;
        if (r < revolutions) {
            const flux_revolution& rev = track.revolutions[r];
            index_units = static_cast<uint32_t>(std::llround(rev.index_ns / scp::index_time_unit_ns));
            const std::vector<uint8_t> data = scp_flux_words(rev, unit_ns, time_ns, last_unit, words);
            put_le32(out, entry + 8, static_cast<uint32_t>(out.size()));
            out.insert(out.end(), data.begin(), data.end());
        } else {
            put_le32(out, entry + 8, static_cast<uint32_t>(out.size()));
        }
        put_le32(out, entry, index_units);
        put_le32(out, entry + 4, words);
    }
    return out;
}

}  // namespace

uint32_t scp_checksum(const std::vector<uint8_t>& file)
{
    uint32_t sum = 0;
    for (size_t i = scp::track_table; i < file.size(); ++i)
        sum += file[i];
    return sum;
}

std::vector<uint8_t> scp_file(const std::vector<scp_track>& tracks, const scp_options& o)
{
    bool side[2] = {false, false};
    for (const scp_track& t : tracks) {
        if (t.head < 0 || t.head > 1 || t.cylinder < 0)
            throw std::invalid_argument("scp_file: a track's cylinder or head is out of range");
        side[t.head] = true;
        if (t.revolutions.size() != tracks.front().revolutions.size())
            throw std::invalid_argument("scp_file: tracks hold different revolution counts");
    }
    if (o.one_side_numbered_by_cylinder && side[0] && side[1])
        throw std::invalid_argument("scp_file: numbering by cylinder needs one side only");
    const auto number_of = [&](const scp_track& t) {
        return o.one_side_numbered_by_cylinder ? t.cylinder : t.cylinder * 2 + t.head;
    };

    std::vector<const scp_track*> sorted;
    for (const scp_track& t : tracks)
        sorted.push_back(&t);
    std::sort(sorted.begin(), sorted.end(),
              [&](const scp_track* a, const scp_track* b) { return number_of(*a) < number_of(*b); });

    const size_t entries = static_cast<size_t>(std::max(o.table_entries, 0));
    std::vector<uint8_t> file(scp::header_size + entries * 4, 0);
    file[0] = 'S';
    file[1] = 'C';
    file[2] = 'P';
    file[scp::version] = o.version;
    file[scp::disk_type] = o.disk_type;
    const size_t revolutions = tracks.empty() ? 0 : tracks.front().revolutions.size();
    file[scp::revolutions] = static_cast<uint8_t>(revolutions + static_cast<size_t>(std::max(o.empty_revolutions, 0)));
    file[scp::flags] = static_cast<uint8_t>((o.index_cued ? scp::flag_index : 0) | (o.tpi96 ? scp::flag_tpi : 0) |
                                            (o.rpm360 ? scp::flag_rpm : 0) |
                                            (o.other_creator ? scp::flag_other_creator : 0));
    file[scp::cell_width] = 0;  // 16-bit flux words
    file[scp::heads] = static_cast<uint8_t>(side[0] && side[1] ? 0 : side[1] ? 2 : 1);
    file[scp::resolution] = o.resolution;

    int first = -1, last = -1;
    for (const scp_track* t : sorted) {
        const int number = number_of(*t);
        if (number < 0 || static_cast<size_t>(number) >= entries || number > 255)
            throw std::invalid_argument("scp_file: a track number does not fit the table");
        if (first < 0)
            first = number;
        last = number;
        put_le32(file, scp::track_table + static_cast<size_t>(number) * 4, static_cast<uint32_t>(file.size()));
        const std::vector<uint8_t> bytes = scp_track_bytes(*t, number, o);
        file.insert(file.end(), bytes.begin(), bytes.end());
    }
    file[scp::start_track] = static_cast<uint8_t>(std::max(first, 0));
    file[scp::end_track] = static_cast<uint8_t>(std::max(last, 0));
    put_le32(file, scp::checksum, scp_checksum(file));
    return file;
}

// ---------------------------------------------------------------------------
// KryoFlux stream files.
// ---------------------------------------------------------------------------

namespace {

constexpr uint32_t counter_overflow = 0x10000;
constexpr uint32_t flux2_limit = 0x800;  // Flux2 holds 11 bits
constexpr uint16_t stream_info_size = 8, index_size = 12, stream_end_size = 8, eof_size = 0x0D0D;
const char default_clock_text[] = "sck=24027428.5714285, ick=3003428.5714285625";
const char host_text[] = "host_date=2024.01.01, host_time=12:00:00";

// The stream buffer: its bytes, where each block starts, and the sample time
// (in sample clocks from the capture's start) reached at each block start.
struct stream_buffer {
    std::vector<uint8_t> bytes;
    std::vector<size_t> block_starts;
    std::vector<uint64_t> block_ticks;

    void block(const std::vector<uint8_t>& b, uint64_t tick)
    {
        block_starts.push_back(bytes.size());
        block_ticks.push_back(tick);
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
};

struct oob_block {
    size_t at;  // stream-buffer position it is inserted before (a block start or the end)
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> oob(uint8_t type, uint16_t size, const std::vector<uint8_t>& data = {})
{
    std::vector<uint8_t> b = {kryoflux::oob, type};
    append_le16(b, size);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

std::vector<uint8_t> le32_pair(uint32_t first, uint32_t second)
{
    std::vector<uint8_t> b;
    append_le32(b, first);
    append_le32(b, second);
    return b;
}

std::vector<uint8_t> kf_info(const std::string& text)
{
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return oob(kryoflux::oob_kf_info, static_cast<uint16_t>(data.size()), data);
}

std::vector<uint8_t> nop_block(random_source& random)
{
    const uint32_t length = 1 + random.up_to(2);
    std::vector<uint8_t> b = {static_cast<uint8_t>(kryoflux::nop1 + length - 1)};
    for (uint32_t i = 1; i < length; ++i)
        b.push_back(static_cast<uint8_t>(random.next()));
    return b;
}

uint64_t ticks_of(double ns, double sample_clock_hz)
{
    return static_cast<uint64_t>(std::max(std::llround(ns * sample_clock_hz / 1e9), 0LL));
}

// The first stream position of `b` at or after `position` where a block starts.
size_t block_start_at_or_after(const stream_buffer& b, size_t position)
{
    const auto it = std::lower_bound(b.block_starts.begin(), b.block_starts.end(), position);
    return it == b.block_starts.end() ? b.bytes.size() : *it;
}

}  // namespace

std::vector<uint8_t> kryoflux_flux_blocks(uint32_t samples)
{
    std::vector<uint8_t> b(samples / counter_overflow, kryoflux::ovl16);
    const uint32_t rest = samples % counter_overflow;
    if (rest >= kryoflux::flux1_first && rest <= 0xFF) {
        b.push_back(static_cast<uint8_t>(rest));
    } else if (rest < flux2_limit) {
        b.push_back(static_cast<uint8_t>(rest >> 8));
        b.push_back(static_cast<uint8_t>(rest & 0xFF));
    } else {
        b.push_back(kryoflux::flux3);
        b.push_back(static_cast<uint8_t>(rest >> 8));
        b.push_back(static_cast<uint8_t>(rest & 0xFF));
    }
    return b;
}

std::vector<uint8_t> kryoflux_stream(const flux_capture& capture, const kryoflux_options& o)
{
    const bool default_clock = o.sample_clock_hz <= 0;
    if (!default_clock && !o.write_kf_info)
        throw std::invalid_argument("kryoflux_stream: a different sample clock needs KFInfo");
    const double sck = default_clock ? kryoflux::default_sample_clock_hz : o.sample_clock_hz;
    const double ick = sck / kryoflux::index_clock_ratio;
    random_source random(o.seed);

    // The sampler: per transition, its Ovl16s and flux block (then maybe a
    // Nop); `group_start` remembers where each transition's blocks begin.
    stream_buffer stream;
    std::vector<size_t> group_start;
    std::vector<uint64_t> tick;
    uint64_t last = 0;
    for (double t : capture.transitions_ns) {
        const uint64_t now = std::max(ticks_of(t, sck), last + 1);
        group_start.push_back(stream.bytes.size());
        tick.push_back(now);
        uint64_t value = now - last;
        for (uint64_t at = last + counter_overflow; value >= counter_overflow; value -= counter_overflow) {
            stream.block({kryoflux::ovl16}, at);
            at += counter_overflow;
        }
        stream.block(kryoflux_flux_blocks(static_cast<uint32_t>(value)), now);
        last = now;
        if (o.nop_every > 0 && tick.size() % static_cast<size_t>(o.nop_every) == 0)
            stream.block(nop_block(random), now);
    }
    const uint64_t end_tick = std::max(ticks_of(capture.end_ns, sck), last);
    const size_t tail_start = stream.bytes.size();
    for (uint64_t at = last + counter_overflow; at <= end_tick; at += counter_overflow)
        stream.block({kryoflux::ovl16}, at);

    // Out-of-band blocks, each placed at a block start.
    std::vector<oob_block> inserted;
    for (double index : capture.index_ns) {
        const uint64_t at = ticks_of(index, sck);
        const size_t next = static_cast<size_t>(std::lower_bound(tick.begin(), tick.end(), at) - tick.begin());
        const uint64_t since = at - std::min(at, next > 0 ? tick[next - 1] : 0);
        const size_t position = (next < tick.size() ? group_start[next] : tail_start) + since / counter_overflow;
        const uint64_t counter = o.index_counter_start + static_cast<uint64_t>(std::llround(index * ick / 1e9));
        std::vector<uint8_t> data = le32_pair(static_cast<uint32_t>(position), static_cast<uint32_t>(since % counter_overflow));
        append_le32(data, static_cast<uint32_t>(counter & 0xFFFFFFFFu));
        const uint32_t lag = o.index_lag_max > 0 ? random.up_to(static_cast<uint32_t>(o.index_lag_max)) : 0;
        inserted.push_back({block_start_at_or_after(stream, position + lag), oob(kryoflux::oob_index, index_size, data)});
    }
    const auto stream_info = [&](size_t at, uint64_t& previous_tick) {
        const size_t i = static_cast<size_t>(std::lower_bound(stream.block_starts.begin(), stream.block_starts.end(), at) -
                                             stream.block_starts.begin());
        const uint64_t now = i < stream.block_ticks.size() ? stream.block_ticks[i] : end_tick;
        const uint32_t ms = static_cast<uint32_t>(std::llround(static_cast<double>(now - std::min(now, previous_tick)) * 1000.0 / sck));
        previous_tick = now;
        return oob(kryoflux::oob_stream_info, stream_info_size, le32_pair(static_cast<uint32_t>(at), ms));
    };
    uint64_t info_tick = 0;
    if (o.stream_info_every > 0) {
        for (size_t want = static_cast<size_t>(o.stream_info_every); want < stream.bytes.size();
             want += static_cast<size_t>(o.stream_info_every)) {
            const size_t at = block_start_at_or_after(stream, want);
            inserted.push_back({at, stream_info(at, info_tick)});
        }
    }
    std::stable_sort(inserted.begin(), inserted.end(),
                     [](const oob_block& a, const oob_block& b) { return a.at < b.at; });

    // The file: KFInfo, the stream with its inserted blocks, the end.
    std::vector<uint8_t> file;
    if (o.write_kf_info) {
        std::string clocks = default_clock_text;
        if (!default_clock) {
            std::ostringstream text;
            text << std::fixed << std::setprecision(7) << "sck=" << sck << ", ick=" << ick;
            clocks = text.str();
        }
        const std::vector<uint8_t> host = kf_info(host_text);
        const std::vector<uint8_t> device = kf_info("name=flux test encoder, version=3.00s, hwid=1, hwrv=1, " + clocks);
        file.insert(file.end(), host.begin(), host.end());
        file.insert(file.end(), device.begin(), device.end());
    }
    size_t copied = 0;
    for (const oob_block& b : inserted) {
        file.insert(file.end(), stream.bytes.begin() + static_cast<std::ptrdiff_t>(copied),
                    stream.bytes.begin() + static_cast<std::ptrdiff_t>(b.at));
        copied = b.at;
        file.insert(file.end(), b.bytes.begin(), b.bytes.end());
    }
    file.insert(file.end(), stream.bytes.begin() + static_cast<std::ptrdiff_t>(copied), stream.bytes.end());
    const size_t total = stream.bytes.size();
    const std::vector<uint8_t> info = stream_info(total, info_tick);
    const std::vector<uint8_t> end = oob(kryoflux::oob_stream_end, stream_end_size, le32_pair(static_cast<uint32_t>(total), o.result_code));
    const std::vector<uint8_t> eof = oob(kryoflux::oob_eof, eof_size);
    for (const std::vector<uint8_t>* b : {&info, &end, &eof})
        file.insert(file.end(), b->begin(), b->end());
    return file;
}

std::string kryoflux_file_name(int cylinder, int head)
{
    char name[40];
    std::snprintf(name, sizeof name, "track%02d.%d.raw", cylinder, head);
    return name;
}

void write_kryoflux_directory(const std::string& directory, const std::vector<kryoflux_track>& tracks,
                              const kryoflux_options& options)
{
    std::filesystem::create_directories(directory);
    for (const kryoflux_track& t : tracks) {
        const std::vector<uint8_t> bytes = kryoflux_stream(t.capture, options);
        const std::filesystem::path path = std::filesystem::path(directory) / kryoflux_file_name(t.cylinder, t.head);
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!file)
            throw std::runtime_error("write_kryoflux_directory: cannot write " + path.string());
    }
}

}  // namespace flux_test
