// flux_encoder.h -- flux files built for the tests from the published
// layouts, independently of the library's code, so that the library's flux reader
// is checked against bytes it did not produce itself.  Nothing here includes
// or calls the library.
//
// The stages: a track's sectors become the bit cells of one revolution as a
// controller formats it (track_to_cells); the cells become the flux a drive
// reads over several revolutions (capture_track); the flux becomes SCP file
// bytes (scp_file) or KryoFlux stream files (kryoflux_stream).
//
// Where each fact comes from:
//  [S34]  "IBM System 34 double density format", CPCWiki,
//         https://www.cpcwiki.eu/index.php/IBM_System_34_double_density_format
//         (gap 4a 80 x 4E, sync 12 x 00, 3 x C2 + FC, gap 1 50 x 4E, sync,
//         3 x A1 + FE, C H R N, CRC high byte first, gap 2 22 x 4E, sync,
//         3 x A1 + FB or F8, data, CRC, gap 3, gap 4 of 4E; the CRC is CCITT,
//         preset FFFF, over the A1s, the mark and the field).
//  [SMSC] SMSC FDC37B72X / FDC37B78X data sheets, "Format fields" and
//         "Typical values for formatting" (System 34 and System 3740 layouts:
//         3740 gap 4a 40 x FF, sync 6 x 00, FC, gap 1 26 x FF, sync 6 x 00,
//         FE, gap 2 11 x FF, sync 6 x 00, FB or F8, gap 3 and 4b of FF; the
//         format gap GPL2 by sector size).
//  [SA810] Shugart SA810/SA860 manual, section 6, figures 6-7 to 6-17
//         (MFM C2 with clock bits 14 instead of 1C, A1 with clock bits 0A
//         instead of 0E; FM index mark FC with clock D7, ID mark FE and data
//         marks FB / F8 with clock C7).
//  [SCP]  "SuperCard Pro Image File" format text by J. Drew, v1.9 (the
//         copy in github.com/catphish/flex-floppy) and the change list of
//         its v2.5 of February 2024 (www.cbmstuff.com, downloads/scp)
//         (header bytes 0x00-0x0F, flags, the 32-bit additive checksum from
//         0x10 to the end, the offset table at 0x10, "TRK" headers, three
//         longwords per revolution, big-endian 16-bit flux words, 0x0000 adds
//         65536; v2.3: flag bit 7 marks a flux creator other than SCP's own).
//  [KF]   KryoFlux "Stream Protocol", http://softpres.org/kryoflux:stream,
//         and J. Louis-Guerin, "KryoFlux Stream File Documentation" rev 1.1
//         (2013) (block headers Flux1/Flux2/Flux3/Ovl16/Nop1-3/OOB, OOB types
//         and sizes, stream positions counting stream-buffer bytes only, the
//         index's sample counter since the previous flux, clocks mck =
//         18432000 x 73 / 14 / 2, sck = mck / 2, ick = mck / 16, KFInfo text).
#ifndef TESTS_FLUX_FLUX_ENCODER_H
#define TESTS_FLUX_FLUX_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace flux_test {

// ---------------------------------------------------------------------------
// Tracks to bit cells.
//
// Cell convention: a cell is the MFM cell of the track's clock, so an MFM
// byte is 16 cells (clock, data, clock, data, ...).  FM uses the same cell
// clock at half the data rate: each FM clock or data bit takes two cells
// (the bit, then 0), so an FM byte is 32 cells (c7 0 d7 0 c6 0 d6 0 ...).
// data_rate_kbps is the rate of the data bits: the cell clock is
// 2 x rate for MFM and 4 x rate for FM (FM 125 kbit/s on a double-density
// drive has the cells of MFM 250 kbit/s).
// ---------------------------------------------------------------------------

struct flux_sector {
    uint8_t c = 0, h = 0, r = 1, n = 1;
    std::vector<uint8_t> data;  // 128 << n bytes written: shorter is padded with 0, longer is cut
    bool deleted = false;        // data mark F8 instead of FB
    bool bad_id_crc = false;     // ID CRC written inverted
    bool bad_data_crc = false;   // data CRC written inverted
    bool no_data_field = false;  // the data field (sync to CRC) written as gap bytes
};

struct flux_track {
    bool fm = false;
    int data_rate_kbps = 250;  // 250, 300, 500 for MFM; 125 (or 250) for FM
    double rpm = 300.0;
    std::vector<flux_sector> sectors;
    int gap3 = -1;                       // -1: standard_gap3(fm, n) of each sector
    bool truncate_to_revolution = true;  // false: a stream longer than a revolution is kept whole
};

// Where a sector lies in the written cell stream, in cells from the index
// (past the end of the revolution when the track overflows; a revolution's
// cells are circular, take them modulo its length).
struct sector_cells {
    size_t id_mark = 0;    // first cell of the ID mark (the first A1 in MFM, the FE in FM)
    size_t data_mark = 0;  // first cell of the data mark (the first A1 in MFM, FB/F8 in FM)
    size_t data = 0;       // first cell of the first data byte
    size_t data_end = 0;   // first cell after the data CRC
};                         // with no_data_field the data fields give where the field would lie

struct track_cells {
    std::vector<uint8_t> cells;  // one revolution, one 0 or 1 per cell, cell 0 at the index
    std::vector<sector_cells> sectors;
    size_t written_cells = 0;  // cells the controller wrote before gap 4b (may exceed cells.size())
    double cell_ns = 0;        // nominal cell time
    bool fm = false;
};

// The cell clock's period in nanoseconds: 1e6 / (2 x rate) for MFM,
// 1e6 / (4 x rate) for FM (rate in kbit/s).
double cell_time_ns(const flux_track& track);

// Cells in one revolution: the cell clock x 60 / rpm, rounded to the nearest
// whole cell (166,666.67 at 500 kbit/s and 360 rpm becomes 166,667).
size_t cells_per_revolution(const flux_track& track);

// The format gap 3 used when a track's gap3 is -1, by sector size code N
// ([SMSC] GPL2 of the Format command): MFM N0-1 0x36, N2 0x54, N3 0x74,
// N4 and more 0xFF; FM N0 0x1B, N1 0x2A, N2 0x3A, N3 0x87, N4 and more 0xFF
// (the table has no MFM N0: it takes N1's gap).  The gaps do not shrink to
// fit: sectors that need more than a revolution overflow it.
int standard_gap3(bool fm, int n);

// One revolution of the track as a controller formats it from the index:
// gap 4a, index mark, gap 1, then per sector sync, ID mark, C H R N, CRC,
// gap 2, sync, data mark, data, CRC, gap 3; then gap 4b up to exactly one
// revolution.  A stream longer than a revolution is cut to it (the write's
// tail lands on the track's start), unless truncate_to_revolution is false.
track_cells track_to_cells(const flux_track& track);

// The bytes a controller would read from `first_cell` (the first cell of a
// byte: its first clock cell) onward, `count` bytes, wrapping around the
// revolution as often as needed.  MFM data bits are every second cell
// (first_cell + 1 + 2 i); FM data bits every fourth (first_cell + 2 + 4 i).
std::vector<uint8_t> read_bytes_at(const std::vector<uint8_t>& cells, size_t first_cell, size_t count,
                                   bool fm);

// CRC-CCITT (polynomial 0x1021, most significant bit first) of `size` bytes,
// starting from `crc` (the controllers preset it to 0xFFFF).
uint16_t crc_ccitt(const uint8_t* bytes, size_t size, uint16_t crc = 0xFFFF);
uint16_t crc_ccitt(const std::vector<uint8_t>& bytes);

// The 16 MFM cells of a data byte, first cell in the top bit; a clock cell
// is 1 between two 0 data bits (`previous_data_bit` is the last data bit
// before the byte).
uint16_t mfm_cells(uint8_t byte, bool previous_data_bit);
// The marks' cells with their missing clock: A1 -> 0x4489, C2 -> 0x5224.
constexpr uint16_t mfm_a1_mark = 0x4489;
constexpr uint16_t mfm_c2_mark = 0x5224;

// The 32 cells of an FM byte with the given clock bits (0xFF for data,
// 0xC7 for the ID and data marks, 0xD7 for the index mark), first cell in
// the top bit.
uint32_t fm_cells(uint8_t data, uint8_t clock);

// ---------------------------------------------------------------------------
// Cells to flux.
//
// A 1 cell is a transition in the middle of the cell: cell i of a turn comes
// (i + 0.5) cell times after the moment cell 0 passes the head.  Index
// pulses come when cell index_offset_cells passes.  All times are scaled by
// (1 + speed_error).
// ---------------------------------------------------------------------------

struct flux_options {
    int revolutions = 2;       // whole index-to-index revolutions captured
    double speed_error = 0.0;  // +0.03: the drive turns 3% slow, every time is 3% longer
    double jitter = 0.0;       // 0.10: each transition moved by up to +-10% of a cell (at most 0.45)
    uint32_t seed = 1;
    int weak_sector = -1;      // index in track.sectors whose data field reads as random flux
    int weak_revolution = 0;   // ... on this revolution only
    bool index_aligned = true; // false: the capture starts at a seed-chosen point before the first index
    double index_offset_cells = 0;  // the index pulse comes this many cells after cell 0
    double tail_cells = 0;     // the capture goes on this many cells after the last index
};

// A continuous capture: transition times and index times, in nanoseconds
// from the capture's start.
struct flux_capture {
    std::vector<double> transitions_ns;  // increasing
    std::vector<double> index_ns;        // increasing; revolutions + 1 pulses
    double end_ns = 0;                   // when the capture stops (after every transition)
};

// One revolution's flux as flux readers store it: the intervals of the
// transitions that come in the revolution, each from the previous
// transition (the first one from the previous revolution's last transition;
// in the first revolution, from its start), and the index-to-index time.
struct flux_revolution {
    std::vector<double> intervals_ns;
    double index_ns = 0;
};

// The drive reading the track for options.revolutions turns (plus the
// lead-in when not index-aligned, plus tail_cells).  Deterministic for a seed.
flux_capture capture_track(const track_cells& track, const flux_options& options);

// A track with no flux at all: only the index pulses of a drive turning at
// track.rpm (the sectors are ignored), with the same lead-in and tail.
flux_capture capture_without_flux(const flux_track& track, const flux_options& options);

// The capture split at its index pulses: one revolution per pair of
// successive pulses, as a reader that starts at an index pulse stores them;
// flux before the first pulse is left out.
std::vector<flux_revolution> revolutions_at_index(const flux_capture& capture);

// The capture split from its start into `count` pieces of period_ns each,
// each reported with index_ns = period_ns (what a reader that does not wait
// for the index stores, its index simulated).
std::vector<flux_revolution> revolutions_from_start(const flux_capture& capture, double period_ns,
                                                    int count);

// ---------------------------------------------------------------------------
// SCP files [SCP].
// ---------------------------------------------------------------------------

namespace scp {
constexpr size_t header_size = 0x10;
constexpr size_t version = 0x03, disk_type = 0x04, revolutions = 0x05, start_track = 0x06,
                 end_track = 0x07, flags = 0x08, cell_width = 0x09, heads = 0x0A,
                 resolution = 0x0B, checksum = 0x0C, track_table = 0x10;
constexpr int full_table_entries = 168;
constexpr uint8_t flag_index = 1 << 0;        // INDEX: the reads started at the index pulse
constexpr uint8_t flag_tpi = 1 << 1;          // TPI: a 96 tpi drive
constexpr uint8_t flag_rpm = 1 << 2;          // RPM: a 360 RPM drive (clear: 300 RPM)
constexpr uint8_t flag_type = 1 << 3;         // TYPE: flux normalized
constexpr uint8_t flag_mode = 1 << 4;         // MODE: read/write image
constexpr uint8_t flag_footer = 1 << 5;       // FOOTER: an extension footer follows
constexpr uint8_t flag_other_creator = 1 << 7;  // written by a program other than the reader's own
constexpr size_t track_header_size = 4, revolution_entry_size = 12;
constexpr double index_time_unit_ns = 25.0;   // the index time's unit whatever the resolution
}  // namespace scp

struct scp_track {
    int cylinder = 0, head = 0;
    std::vector<flux_revolution> revolutions;  // every track the same count
};

struct scp_options {
    uint8_t version = 0x25;
    uint8_t disk_type = 0x80;      // manufacturer "other"
    bool index_cued = true;        // flag bit 0 (clear it with revolutions_from_start flux)
    bool tpi96 = false;            // flag bit 1
    bool rpm360 = false;           // flag bit 2
    bool other_creator = true;     // flag bit 7
    uint8_t resolution = 0;        // flux unit 25 ns x (resolution + 1)
    int table_entries = scp::full_table_entries;  // fewer: the first track header follows the shorter table
    int empty_revolutions = 0;     // extra revolution entries with no flux (index time 0, 0 values)
    bool one_side_numbered_by_cylinder = false;   // one-sided images numbered 0, 1, 2 (not 0, 2, 4)
};

// The SCP file of the given tracks (absent tracks get offset 0).  Track
// number cylinder x 2 + head, or the cylinder with
// one_side_numbered_by_cylinder.  The heads byte says 0 both sides, 1 side 0
// only, 2 side 1 only.  Flux values are the transitions' times rounded to the
// resolution (rounding the running time, so no error builds up); a value of
// 65536 or more is written as 0x0000 words, one per 65536, then the rest (a
// rest of 0 is moved one unit later); a revolution without transitions has
// no flux values.  Throws std::invalid_argument for
// tracks it cannot number or revolution counts that differ.
std::vector<uint8_t> scp_file(const std::vector<scp_track>& tracks, const scp_options& options = {});

// The additive checksum of bytes 0x10 to the end of an SCP file.
uint32_t scp_checksum(const std::vector<uint8_t>& file);

// ---------------------------------------------------------------------------
// KryoFlux stream files [KF].
// ---------------------------------------------------------------------------

namespace kryoflux {
constexpr double master_clock_hz = 18432000.0 * 73.0 / 14.0 / 2.0;
constexpr double default_sample_clock_hz = master_clock_hz / 2.0;  // 24,027,428.57 Hz
constexpr double index_clock_ratio = 8.0;                          // ick = sck / 8
constexpr uint8_t flux2_last = 0x07, nop1 = 0x08, nop2 = 0x09, nop3 = 0x0A, ovl16 = 0x0B,
                  flux3 = 0x0C, oob = 0x0D, flux1_first = 0x0E;
constexpr uint8_t oob_invalid = 0x00, oob_stream_info = 0x01, oob_index = 0x02,
                  oob_stream_end = 0x03, oob_kf_info = 0x04, oob_eof = 0x0D;
constexpr size_t oob_header_size = 4;
}  // namespace kryoflux

struct kryoflux_options {
    bool write_kf_info = true;   // false: no KFInfo (the reader must use the default clocks)
    double sample_clock_hz = 0;  // 0: the default, written "sck=24027428.5714285, ick=3003428.5714285625";
                                 // otherwise used for the flux and written in KFInfo (needs write_kf_info)
    uint32_t seed = 1;
    int nop_every = 500;          // a Nop1/2/3 block after every this many flux blocks (0: none)
    int index_lag_max = 16;       // an Index block comes 0 to this many stream bytes after its position
    int stream_info_every = 4096; // stream bytes between StreamInfo blocks (0: only the last one)
    uint32_t index_counter_start = 100000;  // the free-running index counter at the capture's start
    uint32_t result_code = 0;     // StreamEnd's hardware status (0 ok, 1 buffering, 2 no index)
};

// The stream blocks of one flux value in sample clocks: an Ovl16 per 65536,
// then Flux1 (0x0E-0xFF), Flux2 (0x000-0x7FF otherwise) or Flux3 (the rest).
std::vector<uint8_t> kryoflux_flux_blocks(uint32_t samples);

// One track's stream file.  Layout: KFInfo (host date/time), KFInfo (name,
// version, sck, ick), then the stream: flux blocks (Ovl16s when the 16-bit
// sample counter overflows, even with no transition), Nop blocks after some
// flux blocks, StreamInfo and Index blocks inserted between blocks, and at
// the end StreamInfo, StreamEnd and EOF.  Stream positions count only
// stream-buffer bytes (flux, Ovl16 and Nop blocks), never out-of-band bytes.
// An Index block gives the position of the next byte the sampler writes
// after the pulse (the next flux's Ovl16 or flux block; the end of the
// stream when no flux follows), the sample counter since the previous
// transition (or the capture's start) less the 65536s already written as
// Ovl16, and the index counter at ick.  Throws std::invalid_argument when a
// different sample clock is asked without KFInfo.
std::vector<uint8_t> kryoflux_stream(const flux_capture& capture, const kryoflux_options& options = {});

struct kryoflux_track {
    int cylinder = 0, head = 0;
    flux_capture capture;
};

// "trackCC.H.raw": the cylinder in at least two digits, then the head.
std::string kryoflux_file_name(int cylinder, int head);

// Writes one stream file per track in `directory` (created when missing);
// throws std::runtime_error when a file cannot be written.
void write_kryoflux_directory(const std::string& directory, const std::vector<kryoflux_track>& tracks,
                              const kryoflux_options& options = {});

}  // namespace flux_test

#endif
