// The tests' flux encoder against vectors worked out by hand from the
// published layouts (sources in flux_encoder.h); it only guards the encoder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flux_encoder.h"

using namespace flux_test;
using bytes = std::vector<uint8_t>;

namespace {

bytes le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

bytes cat(std::initializer_list<bytes> pieces)
{
    bytes out;
    for (const bytes& p : pieces)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

bytes kf_info(const std::string& text)
{
    const uint16_t size = uint16_t(text.size() + 1);
    bytes b = {0x0D, 0x04, uint8_t(size), uint8_t(size >> 8)};
    for (char ch : text)
        b.push_back(uint8_t(ch));
    b.push_back(0);
    return b;
}

}  // namespace

TEST(FluxEncoder, Crc)
{
    const struct {
        bytes in;
        uint16_t crc;
    } rows[] = {
        {{0xA1, 0xA1, 0xA1, 0xFE, 0x00, 0x00, 0x01, 0x02}, 0xCA6F},  // the IBM ID field example
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0x29B1},      // CCITT preset FFFF check value
        {{}, 0xFFFF},
    };
    for (const auto& row : rows)
        EXPECT_EQ(crc_ccitt(row.in), row.crc);
}

TEST(FluxEncoder, Cells)
{
    const struct {
        uint8_t byte;
        bool previous;
        uint16_t cells;
    } mfm[] = {
        {0x4E, false, 0x9254}, {0x00, false, 0xAAAA}, {0x00, true, 0x2AAA},
        {0xA1, false, 0x44A9}, {0xC2, false, 0x52A4}, {0xFF, false, 0x5555},
    };
    for (const auto& row : mfm)
        EXPECT_EQ(mfm_cells(row.byte, row.previous), row.cells) << int(row.byte);
    // The marks are the plain bytes less one clock: A1 the clock of bit 2, C2 of bit 3.
    EXPECT_EQ(mfm_a1_mark, mfm_cells(0xA1, false) & ~0x0020);
    EXPECT_EQ(mfm_c2_mark, mfm_cells(0xC2, false) & ~0x0080);

    const struct {
        uint8_t data, clock;
        uint32_t cells;
    } fm[] = {{0xFE, 0xC7, 0xAA222AA8}, {0xFF, 0xFF, 0xAAAAAAAA}, {0x00, 0xFF, 0x88888888}, {0xFC, 0xD7, 0xAA2A2A88}};
    for (const auto& row : fm)
        EXPECT_EQ(fm_cells(row.data, row.clock), row.cells) << int(row.data);
}

TEST(FluxEncoder, TrackLayout)
{
    // Both first ID marks: MFM (80 + 12 + 4 + 50 + 12) x 16, FM (40 + 6 + 1 + 26 + 6) x 32 cells.
    const struct {
        bool fm;
        int rate;
        size_t id_mark;
        bytes id;
    } rows[] = {
        {false, 250, 2528, {0xA1, 0xA1, 0xA1, 0xFE, 3, 1, 7, 1}},
        {true, 125, 2528, {0xFE, 3, 1, 7, 1}},
    };
    for (const auto& row : rows) {
        flux_track t;
        t.fm = row.fm;
        t.data_rate_kbps = row.rate;
        t.sectors.push_back({3, 1, 7, 1, {}});
        const track_cells c = track_to_cells(t);
        ASSERT_EQ(c.cells.size(), 100000u);
        ASSERT_EQ(c.sectors[0].id_mark, row.id_mark);
        bytes want = row.id;
        const uint16_t crc = crc_ccitt(want);
        want.insert(want.end(), {uint8_t(crc >> 8), uint8_t(crc)});
        EXPECT_EQ(read_bytes_at(c.cells, row.id_mark, want.size(), row.fm), want);
    }

    // An 8192-byte sector on a 6250-byte track: the data read past the index is the track's start (gap 4E).
    flux_track t;
    t.sectors.push_back({0, 0, 1, 6, bytes(8192, 0x5A)});
    const track_cells c = track_to_cells(t);
    ASSERT_EQ(c.sectors[0].data, 3296u);  // 2528 + (4 + 4 + 2 + 22 + 12 + 4) x 16
    const bytes read = read_bytes_at(c.cells, c.sectors[0].data, 6045, false);
    EXPECT_EQ(bytes(read.begin(), read.end() - 1), bytes(6044, 0x5A));
    EXPECT_EQ(read.back(), 0x4E);

    // Two revolutions, index to index exactly 100000 cells of 2 us.
    const flux_capture flux = capture_track(c, {});
    ASSERT_EQ(flux.index_ns.size(), 3u);
    EXPECT_DOUBLE_EQ(flux.index_ns[1] - flux.index_ns[0], 200e6);
    EXPECT_EQ(revolutions_at_index(flux).size(), 2u);
    EXPECT_TRUE(capture_without_flux(t, {}).transitions_ns.empty());
}

TEST(FluxEncoder, KryoFluxBlocks)
{
    const struct {
        uint32_t samples;
        bytes blocks;
    } rows[] = {
        {0x0E, {0x0E}},          {0xFF, {0xFF}},          {0x0D, {0x00, 0x0D}},
        {0x00, {0x00, 0x00}},    {0x100, {0x01, 0x00}},   {0x7FF, {0x07, 0xFF}},
        {0x800, {0x0C, 0x08, 0x00}}, {0xFFFF, {0x0C, 0xFF, 0xFF}}, {0x10000, {0x0B, 0x00, 0x00}},
        {0x2000E, {0x0B, 0x0B, 0x0E}}, {0x10800, {0x0B, 0x0C, 0x08, 0x00}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(kryoflux_flux_blocks(row.samples), row.blocks) << row.samples;
}

TEST(FluxEncoder, KryoFluxStream)
{
    // 40 MHz sample clock: flux at 40 and 120 samples, the index at 80 (40
    // after the first flux, before the stream's byte 1), the end at 160.
    flux_capture flux;
    flux.transitions_ns = {1000, 3000};
    flux.index_ns = {2000};
    flux.end_ns = 4000;
    kryoflux_options o;
    o.sample_clock_hz = 40e6;
    o.nop_every = o.index_lag_max = o.stream_info_every = 0;
    const bytes want = cat({
        kf_info("host_date=2024.01.01, host_time=12:00:00"),
        kf_info("name=flux test encoder, version=3.00s, hwid=1, hwrv=1, sck=40000000.0000000, ick=5000000.0000000"),
        {0x28},
        {0x0D, 0x02, 0x0C, 0x00}, le32(1), le32(40), le32(100000 + 10),
        {0x50},
        {0x0D, 0x01, 0x08, 0x00}, le32(2), le32(0),
        {0x0D, 0x03, 0x08, 0x00}, le32(2), le32(0),
        {0x0D, 0x0D, 0x0D, 0x0D},
    });
    EXPECT_EQ(kryoflux_stream(flux, o), want);
    EXPECT_EQ(kryoflux_file_name(7, 1), "track07.1.raw");
}

TEST(FluxEncoder, ScpFile)
{
    // 4, 2 and 8 us, then 70000 x 25 ns (one 0x0000 word and 0x1170).
    scp_options o;
    o.table_entries = 1;
    const bytes file = scp_file({{0, 0, {{{4000, 2000, 8000, 1750000}, 200e6}}}}, o);
    const bytes want = cat({
        {'S', 'C', 'P', 0x25, 0x80, 1, 0, 0, 0x81, 0, 1, 0}, le32(0x358),
        le32(0x14),
        {'T', 'R', 'K', 0}, le32(8000000), le32(5), le32(0x10),
        {0x00, 0xA0, 0x00, 0x50, 0x01, 0x40, 0x00, 0x00, 0x11, 0x70},
    });
    EXPECT_EQ(file, want);
    EXPECT_EQ(scp_checksum(file), 0x358u);
}
