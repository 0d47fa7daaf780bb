// Moving a data-disk cylinder into a game track, checked on the records.
#include <gtest/gtest.h>

#include <cstring>

#include "image_builder.h"
#include "test_support.h"
#include "vorkast.h"

namespace {

std::string capture_insert(d88_disk* disk, int32_t t, const uint8_t* buffer, int32_t* result)
{
    return printed_by([&] { *result = insert_track_sector(disk, t, buffer); });
}

}  // namespace

TEST(CollectTrackData, GathersTheCylinderByID)
{
    loaded_image data(build_disk(data_disk()));
    uint8_t buffer[TRACK_DATA_SIZE];
    for (int32_t t : {0, 39, 40, 41, 79}) {
        std::memset(buffer, 0, sizeof buffer);
        ASSERT_EQ(collect_track_data(buffer, data.disk(), t), 0) << t;
        const bytes expected = cylinder_data(t % 40);
        EXPECT_EQ(std::memcmp(buffer, expected.data(), sizeof buffer), 0) << t;
    }
}

TEST(CollectTrackData, BadDataSectorsStopAtTheirID)
{
    struct {
        const char* what;
        void (*spoil)(test_disk&);
        int32_t t;
        std::string out;
    } cases[] = {
        {"missing R 7 on cylinder 3 head 1",
         [](test_disk& d) { d.slots[7].erase(d.slots[7].begin() + 9); },  // stored from R 16 down
         3, "error: get d88 sector 03/01/07\n"},
        {"size code 2", [](test_disk& d) { d.slots[2].back().n = 2; }, 41, "error: get d88 sector 01/00/01\n"},
        {"fewer than 256 bytes", [](test_disk& d) { d.slots[0][0].data.resize(255); }, 0,
         "error: get d88 sector 00/00/10\n"},
        {"no data at all", [](test_disk& d) { d.slots[79][3].data.clear(); }, 79, "error: get d88 sector 27/01/0D\n"},
        {"track missing", [](test_disk& d) { d.slots[20].clear(); }, 10, "error: get d88 sector 0A/00/01\n"},
    };
    for (const auto& c : cases) {
        test_disk disk = data_disk();
        c.spoil(disk);
        loaded_image data(build_disk(disk));
        uint8_t buffer[TRACK_DATA_SIZE] = {};
        testing::internal::CaptureStdout();
        EXPECT_EQ(collect_track_data(buffer, data.disk(), c.t), -1) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.what;
    }
}

TEST(InsertTrackSector, NewSectorComesFirstAndEveryCountIsUpdated)
{
    loaded_image game(build_disk(game_disk()));
    uint8_t buffer[TRACK_DATA_SIZE];
    for (int i = 0; i < TRACK_DATA_SIZE; ++i)
        buffer[i] = static_cast<uint8_t>(i * 3);
    int32_t result = 0;
    EXPECT_EQ(capture_insert(game.disk(), 41, buffer, &result), "");
    ASSERT_EQ(result, 0);

    const d88_track& track = game.disk()->track[41];  // cylinder 20, head 1
    ASSERT_EQ(track.count, 17);
    const d88_sector& first = track.sectors[0];
    EXPECT_EQ(first.c, 20);
    EXPECT_EQ(first.h, 1);
    EXPECT_EQ(first.r, 1);
    EXPECT_EQ(first.n, 6);
    EXPECT_EQ(first.density, 0);
    EXPECT_EQ(first.deleted_mark, 0);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(std::memcmp(first.reserved, "\0\0\0\0\0", 5), 0);
    ASSERT_EQ(first.data_size, TRACK_DATA_SIZE);
    EXPECT_EQ(std::memcmp(first.data, buffer, TRACK_DATA_SIZE), 0);
    EXPECT_NE(first.data, buffer);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(track.sectors[i].sector_count, 17);
    for (int r = 1; r <= 16; ++r) {
        EXPECT_EQ(track.sectors[r].r, r);  // the old sectors, in their order
        EXPECT_EQ(track.sectors[r].data[0], static_cast<uint8_t>(41 + r));
    }
    EXPECT_EQ(game.disk()->track[40].count, 16);  // its neighbour is untouched
}

TEST(InsertTrackSector, FailuresLeaveTheTrackAsItWas)
{
    test_disk disk = game_disk("G", 1);
    disk.slots[20].clear();  // cylinder 10, head 0
    loaded_image game(build_disk(disk));
    // Make slot 2 a full track in memory: its own sector, then 65534 blank ones.
    d88_track& full = game.disk()->track[2];
    d88_sector* many = static_cast<d88_sector*>(std::calloc(65535, sizeof(d88_sector)));
    many[0] = full.sectors[0];
    std::free(full.sectors);
    full.sectors = many;
    full.count = 65535;

    const uint8_t buffer[TRACK_DATA_SIZE] = {};
    int32_t result = 0;
    EXPECT_EQ(capture_insert(game.disk(), 20, buffer, &result), "error: can't find track 20\n");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(capture_insert(game.disk(), 2, buffer, &result), "error: track 2 already holds 65535 sectors\n");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(full.sectors, many);
    EXPECT_EQ(full.count, 65535);
}

TEST(TransferTracks, OneOrAllTrackNumbers)
{
    loaded_image data1(build_disk(data_disk("D1")));
    test_disk second = data_disk("D2");
    for (test_track& track : second.slots)
        for (test_sector& s : track)
            s.data.assign(256, 0x5A);
    loaded_image data2(build_disk(second));
    uint8_t buffer[TRACK_DATA_SIZE];

    loaded_image one(build_disk(game_disk()));
    ASSERT_EQ(transfer_tracks(one.disk(), nullptr, data2.disk(), 45, buffer), 0);
    for (int slot = 0; slot < 80; ++slot)
        EXPECT_EQ(one.disk()->track[slot].count, slot == 45 ? 17 : 16) << slot;
    EXPECT_EQ(one.disk()->track[45].sectors[0].data[8191], 0x5A);

    loaded_image all(build_disk(game_disk()));
    ASSERT_EQ(transfer_tracks(all.disk(), data1.disk(), data2.disk(), -1, buffer), 0);
    for (int slot = 0; slot < 80; ++slot) {
        const d88_sector& first = all.disk()->track[slot].sectors[0];
        ASSERT_EQ(first.n, 6);
        const bytes expected = slot < 40 ? cylinder_data(slot) : bytes(8192, 0x5A);
        EXPECT_EQ(std::memcmp(first.data, expected.data(), 8192), 0) << slot;
    }
}

TEST(TransferTracks, FailureNamesTheTrackNumber)
{
    test_disk spoilt = data_disk();
    spoilt.slots[7].pop_back();  // cylinder 3 head 1 loses R 1
    loaded_image data(build_disk(spoilt));
    test_disk holes = game_disk();
    holes.slots[20].clear();
    loaded_image game(build_disk(holes));
    loaded_image good(build_disk(data_disk()));
    uint8_t buffer[TRACK_DATA_SIZE];

    testing::internal::CaptureStdout();
    EXPECT_EQ(transfer_tracks(game.disk(), data.disk(), data.disk(), -1, buffer), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error: get d88 sector 03/01/01\nerror: get track 3 data\n");
    EXPECT_EQ(game.disk()->track[2].count, 17);  // done before the failure
    EXPECT_EQ(game.disk()->track[3].count, 16);

    testing::internal::CaptureStdout();
    EXPECT_EQ(transfer_tracks(game.disk(), good.disk(), good.disk(), 20, buffer), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error: can't find track 20\nerror: insert track 20\n");
}
