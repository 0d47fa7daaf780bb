// kryoflux.cpp -- KryoFlux stream files, the flux dumps of another widely
// used flux reader: one file a track ("trackCC.H.raw").
//
// The stream is a run of blocks, each known by its first byte: a flux value
// of one byte (0x0E to 0xFF), of two (0x00 to 0x07, then the low byte), of
// three (0x0C, then the value big-endian), an overflow adding 65536 to the
// next value (0x0B), no-operations of one to three bytes (0x08 to 0x0A),
// and out-of-band blocks (0x0D, their type, a 16-bit size, their data):
// StreamInfo (1), Index (2: the stream position the index pulse came at,
// the sample counter since the last flux then, the index counter),
// StreamEnd (3), KFInfo (4: text such as "sck=24027428.5714285"), and the
// end of the file (0x0D).  Stream positions count every byte but those of
// out-of-band blocks.  The sample clock is 18432000 x 73 / 14 / 4 Hz unless
// KFInfo says otherwise.
#include "formats.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/message.h"
#include "shared/flux.h"

namespace {

constexpr uint8_t KF_FLUX2_LAST = 0x07, KF_NOP1 = 0x08, KF_NOP2 = 0x09, KF_NOP3 = 0x0A, KF_OVL16 = 0x0B, KF_FLUX3 = 0x0C,
                  KF_OOB = 0x0D, KF_FLUX1_FIRST = 0x0E;
constexpr uint8_t KF_STREAM_INFO = 0x01, KF_INDEX = 0x02, KF_INFO = 0x04, KF_EOF = 0x0D;
constexpr int32_t KF_OOB_HEADER = 4, KF_INDEX_SIZE = 12;
constexpr double KF_SAMPLE_CLOCK = 18432000.0 * 73 / 14 / 4;
constexpr int32_t INDEXES_MAX = 64;

// An index pulse: the stream position it came at, and the sample counter
// since the flux before it.
struct index_pulse {
    int64_t position;
    uint32_t samples;
};

// What the out-of-band blocks say: the index pulses (in stream order) and
// the sample clock.
struct stream_facts {
    index_pulse indexes[INDEXES_MAX];
    int32_t index_count;
    double sample_clock;
};

// The sample clock a KFInfo text names ("sck=24027428.5714285"), or 0.
double read_sample_clock(const uint8_t* text, int32_t size)
{
    char copy[256];
    const int32_t n = size < static_cast<int32_t>(sizeof copy) - 1 ? size : static_cast<int32_t>(sizeof copy) - 1;
    std::memcpy(copy, text, static_cast<size_t>(n));
    copy[n] = '\0';
    const char* sck = std::strstr(copy, "sck=");
    return sck != nullptr ? std::strtod(sck + 4, nullptr) : 0;
}

// The bytes a block of first byte b takes, an out-of-band one's header
// aside; 0 for an out-of-band block.
int32_t block_size(uint8_t b)
{
    if (b <= KF_FLUX2_LAST)
        return 2;
    if (b == KF_NOP2 || b == KF_NOP3)
        return b - KF_NOP1 + 1;
    if (b == KF_FLUX3)
        return 3;
    return b == KF_OOB ? 0 : 1;
}

// Reads the out-of-band blocks and counts the flux values; false after a
// message for a stream cut inside a block.
bool read_stream_facts(const uint8_t* bytes, int32_t size, stream_facts* facts, int64_t* values)
{
    *facts = {{}, 0, KF_SAMPLE_CLOCK};
    *values = 0;
    for (int64_t at = 0; at < size;) {
        const uint8_t b = bytes[at];
        if (b != KF_OOB) {
            *values += b <= KF_FLUX2_LAST || b == KF_FLUX3 || b >= KF_FLUX1_FIRST;
            at += block_size(b);
            continue;
        }
        if (at + 1 < size && bytes[at + 1] == KF_EOF)
            break;
        if (at + KF_OOB_HEADER > size) {
            print_d88_message("illegal data: the KryoFlux block at 0x%08X is cut\n", static_cast<unsigned>(at));
            return false;
        }
        const uint8_t type = bytes[at + 1];
        const int32_t length = get_le16(bytes + at + 2);
        const uint8_t* data = bytes + at + KF_OOB_HEADER;
        if (at + KF_OOB_HEADER + length > size) {
            print_d88_message("illegal data: the KryoFlux block at 0x%08X is cut\n", static_cast<unsigned>(at));
            return false;
        }
        if (type == KF_INDEX && length >= KF_INDEX_SIZE && facts->index_count < INDEXES_MAX)
            facts->indexes[facts->index_count++] = {static_cast<uint32_t>(get_le32(data)), static_cast<uint32_t>(get_le32(data + 4))};
        const double clock = type == KF_INFO ? read_sample_clock(data, length) : 0;
        facts->sample_clock = clock > 0 ? clock : facts->sample_clock;
        at += KF_OOB_HEADER + length;
    }
    return true;
}

// The flux values into intervals (sample ticks), their sum into *ticks,
// and the ticks at which each index pulse came into starts; the number of
// values.
int64_t read_stream_flux(const uint8_t* bytes, int32_t size, const stream_facts& facts, uint32_t* intervals, double* starts,
                         int64_t* ticks)
{
    int64_t count = 0, position = 0;
    double now = 0;  // ticks at the last flux
    uint32_t carried = 0;
    int32_t next = 0;
    for (int64_t at = 0; at < size;) {
        const uint8_t b = bytes[at];
        if (b == KF_OOB) {
            if (at + 1 < size && bytes[at + 1] == KF_EOF)
                break;
            at += KF_OOB_HEADER + (at + KF_OOB_HEADER <= size ? get_le16(bytes + at + 2) : 0);
            continue;
        }
        for (; next < facts.index_count && facts.indexes[next].position <= position; ++next)
            starts[next] = now + carried + facts.indexes[next].samples;
        const int32_t length = block_size(b);
        if (at + length > size)
            break;
        uint32_t value = 0;
        bool flux = true;
        if (b <= KF_FLUX2_LAST)
            value = static_cast<uint32_t>(b) << 8 | bytes[at + 1];
        else if (b == KF_FLUX3)
            value = static_cast<uint32_t>(bytes[at + 1]) << 8 | bytes[at + 2];
        else if (b >= KF_FLUX1_FIRST)
            value = b;
        else
            flux = false;
        carried += b == KF_OVL16 ? 0x10000 : 0;
        if (flux) {
            intervals[count++] = value + carried;
            now += value + carried;
            carried = 0;
        }
        at += length;
        position += length;
    }
    for (; next < facts.index_count; ++next)  // pulses after the last flux
        starts[next] = now + carried + facts.indexes[next].samples;
    *ticks = static_cast<int64_t>(now);
    return count;
}

}  // namespace

bool is_kryoflux_stream(const uint8_t* bytes, int32_t size)
{
    // a stream opens with an out-of-band block: KFInfo or StreamInfo
    return size >= KF_OOB_HEADER && bytes[0] == KF_OOB && (bytes[1] == KF_INFO || bytes[1] == KF_STREAM_INFO) &&
           KF_OOB_HEADER + get_le16(bytes + 2) <= size;
}

int32_t read_kryoflux_track(d88_disk* disk, const uint8_t* bytes, int32_t size, int32_t slot, flux_reading* reading)
{
    stream_facts facts;
    int64_t values = 0;
    if (slot < 0 || slot >= D88_TRACK_MAX) {
        print_d88_message("illegal data: a KryoFlux stream of track slot %d, which a D88 disk has not\n", static_cast<int>(slot));
        return -1;
    }
    if (!read_stream_facts(bytes, size, &facts, &values))
        return -1;
    if (!reserve_flux_intervals(reading, values)) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    double starts[INDEXES_MAX];
    int64_t ticks = 0;
    const int64_t count = read_stream_flux(bytes, size, facts, reading->intervals, starts, &ticks);
    // the revolutions between index pulses; the flux before the first is
    // the loop's to lock on
    const flux_track flux = {reading->intervals, count, ticks, 1e9 / facts.sample_clock, starts,
                             facts.index_count > 1 ? facts.index_count - 1 : 0, true};
    if (!decode_flux_track(flux, slot, disk, reading)) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    return 0;
}
