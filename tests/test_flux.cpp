// Flux: SCP files and KryoFlux streams built here by the tests' own encoder
// from the published layouts (tracks to cells, cells to flux with speed
// error and jitter), decoded by the library into the disks they came from;
// what protected disks hold comes out with a controller's statuses; the
// quirks of files other programs write are read; SCP written by the
// library decodes back to its disk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "d88.h"
#include "d88disk.h"
#include "flux_encoder.h"
#include "test_support.h"

namespace {

bytes d88_bytes(d88_disk* disk)
{
    const d88_image alone = {1, disk};
    return d88_bytes(alone);
}

// A track of the test's encoder from a D88 track: its sectors, marks and
// data, at the disk's rate and rotation.
flux_test::flux_track flux_track_of(const d88_track& track, int rate, double rpm)
{
    flux_test::flux_track t;
    t.fm = track.count > 0 && track.sectors[0].density == 0x40;
    t.data_rate_kbps = t.fm ? rate / 2 : rate;
    t.rpm = rpm;
    for (int32_t i = 0; i < track.count; ++i) {
        const d88_sector& s = track.sectors[i];
        flux_test::flux_sector f;
        f.c = s.c, f.h = s.h, f.r = s.r, f.n = s.n;
        f.data.assign(s.data, s.data + s.data_size);
        f.deleted = s.deleted_mark != 0;
        f.bad_id_crc = s.status == 0xA0;
        f.bad_data_crc = s.status == 0xB0;
        f.no_data_field = s.status == 0xF0;
        t.sectors.push_back(f);
    }
    return t;
}

// What a disk's tracks give: each present slot's capture.
struct captured_track {
    int32_t slot;
    flux_test::track_cells cells;
    flux_test::flux_capture capture;
};

std::vector<captured_track> capture_disk(const d88_disk* disk, int rate, double rpm, flux_test::flux_options options)
{
    std::vector<captured_track> tracks;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        if (disk->track[slot].count == 0)
            continue;
        options.seed = static_cast<uint32_t>(slot + 1);
        flux_test::track_cells cells = flux_test::track_to_cells(flux_track_of(disk->track[slot], rate, rpm));
        flux_test::flux_capture capture = flux_test::capture_track(cells, options);
        tracks.push_back({slot, std::move(cells), std::move(capture)});
    }
    return tracks;
}

bytes scp_of(const std::vector<captured_track>& tracks, const flux_test::scp_options& options = {})
{
    std::vector<flux_test::scp_track> scp;
    for (const captured_track& t : tracks)
        scp.push_back({t.slot / 2, t.slot % 2, flux_test::revolutions_at_index(t.capture)});
    return flux_test::scp_file(scp, options);
}

// The report of a flux import: its findings as "kind slot.index", and the
// facts of each track.
struct flux_report {
    std::vector<std::string> findings;
    std::vector<d88_flux_track> tracks;
};

void keep_finding(const d88_finding* f, void* context)
{
    static_cast<flux_report*>(context)->findings.push_back(std::string(f->kind) + " " + std::to_string(f->slot) + "." +
                                                           std::to_string(f->index));
}

void keep_track(const d88_flux_track* t, void* context)
{
    static_cast<flux_report*>(context)->tracks.push_back(*t);
}

// The dump decoded (an SCP file, or the stream of each track), as D88
// bytes; empty after a failure.
bytes decoded(int32_t format, const std::vector<bytes>& files, const std::vector<int32_t>& slots, flux_report* report = nullptr,
              d88_image* keep = nullptr)
{
    std::vector<const uint8_t*> buffers;
    std::vector<int32_t> sizes;
    for (const bytes& f : files) {
        buffers.push_back(f.data());
        sizes.push_back(static_cast<int32_t>(f.size()));
    }
    flux_report ignored;
    d88_image image = {};
    bytes out;
    if (import_d88_flux_image(&image, format, buffers.data(), sizes.data(), slots.data(), static_cast<int32_t>(files.size()),
                              keep_finding, keep_track, report != nullptr ? report : &ignored) == 1)
        out = d88_bytes(image);
    if (keep != nullptr)
        *keep = image;
    else
        free_d88_image(&image, 0);
    return out;
}

// A disk of standard format row with random data, cut to the slots given.
d88_disk* standard_disk(int32_t row, const std::vector<int32_t>& slots, uint32_t seed)
{
    d88_disk* disk = create_d88_disk(nullptr, row);
    std::mt19937 random(seed);
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        d88_track& track = disk->track[slot];
        const bool kept = std::find(slots.begin(), slots.end(), slot) != slots.end();
        for (int32_t i = 0; i < track.count; ++i) {
            for (int32_t b = 0; kept && b < track.sectors[i].data_size; ++b)
                track.sectors[i].data[b] = static_cast<uint8_t>(random());
            if (!kept)
                std::free(track.sectors[i].data);
        }
        if (!kept) {
            std::free(track.sectors);
            track = {0, nullptr};
        }
    }
    return disk;
}

int rate_of(int32_t row)
{
    return row <= 2 ? 250 : 500;
}

double rpm_of(int32_t row)
{
    return row <= 2 || row == 5 || row == 6 || row == 8 ? 300 : 360;
}

}  // namespace

// Each standard format's tracks (its first and last cylinders), in SCP of
// two revolutions and in KryoFlux streams, with the drive 3% fast or slow
// and each transition up to 10% of a cell off its place, decode to the
// disk they came from, byte for byte; SCP written by the library too.
TEST(Flux, EveryStandardFormatDecodes)
{
    for (int32_t row = 0; row < 10; ++row) {
        SCOPED_TRACE(row);
        const int32_t cylinders = row == 0 ? 40 : row == 3 || row == 9 ? 77 : 80;
        const std::vector<int32_t> slots = {0, 1, 2 * cylinders - 2, 2 * cylinders - 1};
        d88_disk* disk = standard_disk(row, slots, static_cast<uint32_t>(row + 1));
        const bytes original = d88_bytes(disk);
        flux_test::flux_options options;
        options.speed_error = row % 2 == 0 ? 0.03 : -0.03;
        options.jitter = 0.10;
        const std::vector<captured_track> tracks = capture_disk(disk, rate_of(row), rpm_of(row), options);
        flux_report report;
        EXPECT_TRUE(decoded(D88_FILE_SCP, {scp_of(tracks)}, {0}, &report) == original);
        EXPECT_TRUE(report.findings.empty()) << testing::PrintToString(report.findings);
        ASSERT_EQ(report.tracks.size(), 4u);
        EXPECT_EQ(report.tracks[0].kbit, rate_of(row));
        EXPECT_EQ(report.tracks[3].revolutions, 2);
        EXPECT_NEAR(report.tracks[3].rpm / 100.0, rpm_of(row) / (1 + options.speed_error), 1.0);
        std::vector<bytes> streams;
        std::vector<int32_t> stream_slots;
        for (const captured_track& t : tracks) {
            streams.push_back(flux_test::kryoflux_stream(t.capture));
            stream_slots.push_back(t.slot);
        }
        EXPECT_TRUE(decoded(D88_FILE_KRYOFLUX, streams, stream_slots) == original);
        uint8_t* scp = nullptr;
        int32_t size = 0;
        EXPECT_EQ(export_d88_scp_disk(disk, nullptr, 1, nullptr, nullptr, &scp, &size), 0);
        EXPECT_TRUE(decoded(D88_FILE_SCP, {bytes(scp, scp + size)}, {0}) == original);
        std::free(scp);
        free_d88_disk(disk, 1);
    }
}

namespace {

// One sector of a test track.
test_sector sector(uint8_t c, uint8_t h, uint8_t r, uint8_t n, uint8_t seed, uint8_t deleted = 0, uint8_t status = 0)
{
    bytes data(status == 0xF0 ? 0 : 128u << n);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(seed * 31 + i * 7 + r);
    return {c, h, r, n, data, 0, deleted, status};
}

test_track plain_track(uint8_t c, uint8_t h, uint8_t count, uint8_t n, uint8_t density = 0)
{
    test_track t;
    for (uint8_t r = 1; r <= count; ++r) {
        t.push_back(sector(c, h, r, n, static_cast<uint8_t>(c * 2 + h)));
        t.back().density = density;
    }
    return t;
}

test_track concat_track(test_track a, const test_track& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The disk laid out by the test's builder, read as records.
d88_disk* read_disk(const test_disk& disk, d88_image* image)
{
    const bytes b = build_disk(disk);
    EXPECT_EQ(read_d88_image_from_buffer(image, b.data(), static_cast<int32_t>(b.size())), 1);
    return image->disks;
}

}  // namespace

// What protected disks hold: a deleted mark, a data CRC error, an ID CRC
// error, a missing data field, a sector weak on one revolution (random
// flux over its data), an 8 KB sector whose data runs on past the index
// (as a completed game track has it), a track with no flux at all.
TEST(Flux, ProtectedTracksKeepWhatTheyHold)
{
    test_disk marks = {std::string(16, ' '), 0, 0, std::vector<test_track>(3)};
    marks.slots[0] = plain_track(0, 0, 16, 1);
    marks.slots[0][1] = sector(0, 0, 2, 1, 0, 0x10, 0x10);
    marks.slots[0][2] = sector(0, 0, 3, 1, 0, 0, 0xB0);
    marks.slots[0][3] = sector(0, 0, 4, 1, 0, 0, 0xA0);
    marks.slots[0][4] = sector(0, 0, 5, 1, 0, 0, 0xF0);
    marks.slots[1] = plain_track(0, 1, 16, 1);
    marks.slots[2] = concat_track({sector(1, 0, 1, 6, 9)}, plain_track(1, 0, 16, 1));
    d88_image image = {};
    d88_disk* disk = read_disk(marks, &image);
    flux_test::flux_options options;
    options.jitter = 0.05;
    std::vector<flux_test::scp_track> scp;
    flux_test::track_cells long_track;
    for (int32_t slot = 0; slot < 4; ++slot) {
        options.weak_sector = slot == 1 ? 6 : -1;
        const flux_test::flux_track t = slot < 3 ? flux_track_of(disk->track[slot], 250, 300) : flux_test::flux_track{};
        const flux_test::track_cells cells = flux_test::track_to_cells(t);
        const flux_test::flux_capture capture = slot < 3 ? flux_test::capture_track(cells, options)
                                                         : flux_test::capture_without_flux(t, options);
        scp.push_back({slot / 2, slot % 2, flux_test::revolutions_at_index(capture)});
        if (slot == 2)
            long_track = cells;
    }
    // a controller reads the 8 KB sector's data on round the track, over
    // the sectors after it, which the write of its own tail overwrote
    const bytes read_on = flux_test::read_bytes_at(long_track.cells, long_track.sectors[0].data, 8192, false);
    disk->track[2].sectors[0].status = 0xB0;
    std::memcpy(disk->track[2].sectors[0].data, read_on.data(), 8192);
    for (int32_t i = 1; i < disk->track[2].count; ++i)
        std::free(disk->track[2].sectors[i].data);
    disk->track[2].count = 1;
    const bytes want = d88_bytes(disk);
    free_d88_image(&image, 0);
    flux_report report;
    EXPECT_TRUE(decoded(D88_FILE_SCP, {flux_test::scp_file(scp)}, {0}, &report) == want);
    EXPECT_EQ(report.findings, (std::vector<std::string>{"status 0.2", "status 0.3", "weak 1.6", "status 2.0", "no-sector 3.-1"}));
    ASSERT_EQ(report.tracks.size(), 4u);
    EXPECT_EQ(report.tracks[1].found[0], 16);
    EXPECT_EQ(report.tracks[1].correct[0], 15);  // the weak one
    EXPECT_EQ(report.tracks[1].correct[1], 16);
    EXPECT_EQ(report.tracks[3].sectors, 0);
}

// A sector weak in one revolution keeps the read with good CRCs, whichever
// revolution it came from and however the jitter places the two reads.
TEST(Flux, WeakSectorKeepsItsGoodRead)
{
    d88_disk* disk = standard_disk(0, {0}, 3);
    const bytes original = d88_bytes(disk);
    const flux_test::track_cells cells = flux_test::track_to_cells(flux_track_of(disk->track[0], 250, 300));
    free_d88_disk(disk, 1);
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        flux_test::flux_options options;
        options.jitter = 0.10;
        options.seed = seed;
        options.weak_sector = static_cast<int>(seed % 16);
        options.weak_revolution = static_cast<int>(seed % 2);
        const flux_test::flux_capture capture = flux_test::capture_track(cells, options);
        flux_report report;
        EXPECT_TRUE(decoded(D88_FILE_SCP, {flux_test::scp_file({{0, 0, flux_test::revolutions_at_index(capture)}})}, {0}, &report) ==
                    original) << seed;
        EXPECT_EQ(report.findings, std::vector<std::string>{"weak 0." + std::to_string(seed % 16)}) << seed;
    }
}

// A PC-98 2HD disk's cylinder 0, head 0 is FM, 26 sectors of 128 bytes,
// beside MFM tracks of 8 x 1024: each track is decoded in its own.
TEST(Flux, FmTrackBesideMfm)
{
    test_disk pc98 = {std::string(16, ' '), 0, 0x20, std::vector<test_track>(4)};
    pc98.slots[0] = plain_track(0, 0, 26, 0, 0x40);
    for (uint8_t slot = 1; slot < 4; ++slot)
        pc98.slots[slot] = plain_track(slot / 2, slot % 2, 8, 3);
    d88_image image = {};
    d88_disk* disk = read_disk(pc98, &image);
    flux_test::flux_options options;
    options.jitter = 0.10;
    options.speed_error = -0.02;
    flux_report report;
    EXPECT_TRUE(decoded(D88_FILE_SCP, {scp_of(capture_disk(disk, 500, 360, options))}, {0}, &report) == d88_bytes(disk));
    free_d88_image(&image, 0);
    ASSERT_EQ(report.tracks.size(), 4u);
    EXPECT_TRUE(report.tracks[0].fm == 1 && report.tracks[0].kbit == 250 && report.tracks[0].sectors == 26);
    EXPECT_TRUE(report.tracks[1].fm == 0 && report.tracks[1].kbit == 500);
    EXPECT_TRUE(report.findings.empty()) << testing::PrintToString(report.findings);
}

// The files other programs write: a table shorter than 168 entries,
// revolutions with no flux after the others, reads not cued to the index,
// one side numbered 0, 1, 2, ..., another resolution.
TEST(Flux, FilesOtherProgramsWrite)
{
    test_disk small = {std::string(16, ' '), 0, 0, std::vector<test_track>(8)};
    for (uint8_t slot = 0; slot < 8; ++slot)
        small.slots[slot] = slot % 2 == 0 ? plain_track(slot / 2, 0, 16, 1) : test_track{};
    d88_image image = {};
    d88_disk* disk = read_disk(small, &image);
    const bytes want = d88_bytes(disk);
    flux_test::flux_options options;
    options.jitter = 0.05;
    const std::vector<captured_track> tracks = capture_disk(disk, 250, 300, options);
    struct row {
        const char* what;
        flux_test::scp_options options;
    };
    flux_test::scp_options short_table, trailing, by_cylinder, coarse;
    short_table.table_entries = 8;
    trailing.empty_revolutions = 2;
    by_cylinder.one_side_numbered_by_cylinder = true;
    coarse.resolution = 1;
    for (const row& r : {row{"short table", short_table}, row{"empty revolutions", trailing}, row{"one side 0, 1, 2", by_cylinder},
                         row{"50 ns", coarse}})
        EXPECT_TRUE(decoded(D88_FILE_SCP, {scp_of(tracks, r.options)}, {0}) == want) << r.what;
    // reads cut anywhere, a revolution's time from where they started
    std::vector<flux_test::scp_track> uncued;
    options.index_aligned = false;
    for (const captured_track& t : tracks) {
        options.seed = static_cast<uint32_t>(t.slot + 7);
        const flux_test::flux_capture capture = flux_test::capture_track(t.cells, options);
        uncued.push_back({t.slot / 2, 0, flux_test::revolutions_from_start(capture, 200e6, 2)});
    }
    flux_test::scp_options not_cued;
    not_cued.index_cued = false;
    EXPECT_TRUE(decoded(D88_FILE_SCP, {flux_test::scp_file(uncued, not_cued)}, {0}) == want);
    // one SCP file a call; KryoFlux streams each with its slot
    const bytes scp = scp_of(tracks);
    const uint8_t* files[2] = {scp.data(), scp.data()};
    const int32_t sizes[2] = {static_cast<int32_t>(scp.size()), static_cast<int32_t>(scp.size())}, slots[2] = {0, 1};
    for (const auto& wrong : {std::pair{D88_FILE_SCP, slots}, {D88_FILE_KRYOFLUX, nullptr}}) {
        d88_image none = {};
        EXPECT_EQ(printed_by([&] {
                      EXPECT_EQ(import_d88_flux_image(&none, wrong.first, files, sizes, wrong.second, 2, nullptr, nullptr, nullptr), -1);
                  }),
                  "import_d88_flux_image: illegal parameter\n");
    }
    free_d88_image(&image, 0);
}

// d88disk on flux dumps: convert reads an SCP file, a folder of KryoFlux
// streams or its first file, and tells only what is not plain, folded; info
// lists each track's facts, alike tracks on one line.
TEST(Flux, D88diskConvertsAndTells)
{
    d88_disk* disk = standard_disk(0, {0, 1, 2, 3}, 5);
    const bytes original = d88_bytes(disk);
    flux_test::flux_options options;
    options.speed_error = 0.03;
    options.jitter = 0.10;
    const std::vector<captured_track> tracks = capture_disk(disk, 250, 300, options);
    // the same tracks, one sector of slot 2 weak in the second revolution, slot 3 without flux
    std::vector<flux_test::scp_track> flawed;
    options.weak_revolution = 1;
    for (const captured_track& t : tracks) {
        options.weak_sector = t.slot == 2 ? 4 : -1;
        options.seed = static_cast<uint32_t>(t.slot + 11);
        const flux_test::flux_capture capture = t.slot == 3 ? flux_test::capture_without_flux(flux_track_of(disk->track[3], 250, 300), options)
                                                            : flux_test::capture_track(t.cells, options);
        flawed.push_back({t.slot / 2, t.slot % 2, flux_test::revolutions_at_index(capture)});
    }
    free_d88_disk(disk, 1);
    temp_dir dir;
    write_file(dir.file("clean.scp"), scp_of(tracks));
    write_file(dir.file("flawed.scp"), flux_test::scp_file(flawed));
    std::vector<flux_test::kryoflux_track> streams;
    for (const captured_track& t : tracks)
        streams.push_back({t.slot / 2, t.slot % 2, t.capture});
    flux_test::write_kryoflux_directory(dir.file("kf"), streams);
    const std::string clean_tracks = "slots 0-3: 2 revolutions, 291.3 rpm, MFM 250 kbit/s, sectors found/good: 16/16 16/16\n";
    const std::string flawed_report = "disk 0, slot 2, sector 4 (01/00/05): warning weak: 1 of its 2 reads differ; kept one with good CRCs\n"
                                      "disk 0, slot 3: warning no-sector: no flux: an empty slot\n";
    const struct {
        std::vector<std::string> args;
        std::string out;
        bool gives_original;
    } rows[] = {
        {{"convert", "clean.scp", "out.d88"}, "wrote out.d88\n", true},
        {{"convert", "kf", "out.d88"}, "wrote out.d88\n", true},
        {{"convert", "kf/track00.0.raw", "out.d88"}, "wrote out.d88\n", true},
        {{"info", "clean.scp"}, clean_tracks + "disk 0                    2D   writable      18096 bytes    4 tracks\n", false},
        {{"convert", "flawed.scp", "out.d88"}, flawed_report + "wrote out.d88\n", false},
        {{"info", "flawed.scp"}, "slots 0-1: 2 revolutions, 291.3 rpm, MFM 250 kbit/s, sectors found/good: 16/16 16/16\n"
         "slot 2: 2 revolutions, 291.3 rpm, MFM 250 kbit/s, sectors found/good: 16/16 16/15\nslot 3: no flux\n"
         "disk 0                    2D   writable      13744 bytes    3 tracks\n", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[1]);
        fs::remove(dir.file("out.d88"));
        const run_result r = run_in(dir, "d88disk", run_d88disk, row.args);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(!row.gives_original || read_file(dir.file("out.d88")) == original);
    }
}
