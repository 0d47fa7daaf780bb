// Field access, look-ups and release of the in-memory records.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "d88.h"

namespace {

// Gives slot its sectors, one per (c, h, r) entry, each with a data buffer.
void set_track(d88_disk* disk, int slot, std::initializer_list<std::array<uint8_t, 3>> ids)
{
    d88_track& track = disk->track[slot];
    track.count = static_cast<int32_t>(ids.size());
    track.sectors = static_cast<d88_sector*>(std::calloc(ids.size(), sizeof(d88_sector)));
    int i = 0;
    for (const auto& id : ids) {
        d88_sector& s = track.sectors[i++];
        s.c = id[0];
        s.h = id[1];
        s.r = id[2];
        s.data_size = 4;
        s.data = static_cast<uint8_t*>(std::malloc(4));
    }
}

d88_disk* new_disk()
{
    return static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
}

}  // namespace

TEST(LittleEndian, ReadsAndWrites)
{
    const uint8_t all_set[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t sample[4] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(get_le32(all_set), -1);
    EXPECT_EQ(get_le32(sample), 0x12345678);
    EXPECT_EQ(get_le16(sample), 0x5678);

    uint8_t out[6] = {};
    EXPECT_EQ(put_le16(out, 0xBEEF), out + 2);
    EXPECT_EQ(put_le32(out + 2, 0x80000001u), out + 6);
    const uint8_t expected[6] = {0xEF, 0xBE, 0x01, 0x00, 0x00, 0x80};
    EXPECT_EQ(std::memcmp(out, expected, 6), 0);
}

TEST(GetDisk, WalksTheListNotTheCount)
{
    d88_image image = {};
    EXPECT_EQ(get_d88_disk(&image, 0), nullptr);

    d88_disk* first = new_disk();
    d88_disk* second = new_disk();
    first->next = second;
    image.disks = first;
    image.disk_count = 7;  // not consulted
    EXPECT_EQ(get_d88_disk(&image, 0), first);
    EXPECT_EQ(get_d88_disk(&image, 1), second);
    EXPECT_EQ(get_d88_disk(&image, 2), nullptr);
    EXPECT_EQ(get_d88_disk(&image, -1), nullptr);
    free_d88_image(&image, 0);
}

TEST(FindTrack, MatchesFirstSectorOfLowestSlot)
{
    d88_disk* disk = new_disk();
    set_track(disk, 0, {{0, 0, 1}, {0, 1, 2}});
    set_track(disk, 4, {{5, 1, 1}, {5, 1, 2}});
    set_track(disk, 9, {{5, 1, 3}});

    EXPECT_EQ(find_d88_track(disk, 0, 0), &disk->track[0]);
    EXPECT_EQ(find_d88_track(disk, 0, 1), nullptr);  // only a second sector carries H 1
    EXPECT_EQ(find_d88_track(disk, 5, 1), &disk->track[4]);
    EXPECT_EQ(find_d88_track(disk, 6, 0), nullptr);

    EXPECT_EQ(find_d88_sector(disk, 5, 1, 2), &disk->track[4].sectors[1]);
    EXPECT_EQ(find_d88_sector(disk, 5, 1, 3), nullptr);  // R 3 lives in the upper slot only
    EXPECT_EQ(find_d88_sector(disk, 7, 0, 1), nullptr);
    free_d88_disk(disk, 1);
}

TEST(FindSector, FirstMatchingRWins)
{
    d88_disk* disk = new_disk();
    set_track(disk, 2, {{1, 0, 4}, {1, 0, 7}, {1, 0, 7}});
    EXPECT_EQ(find_d88_sector(disk, 1, 0, 7), &disk->track[2].sectors[1]);
    free_d88_disk(disk, 1);
}

TEST(FreeDisk, ClearsRecordInPlace)
{
    d88_disk disk = {};
    set_track(&disk, 0, {{0, 0, 1}});
    set_track(&disk, 163, {{9, 9, 9}});
    std::memcpy(disk.name, "KEEP", 5);
    free_d88_disk(&disk, 0);

    d88_disk zero = {};
    EXPECT_EQ(std::memcmp(&disk, &zero, sizeof disk), 0);
    free_d88_disk(nullptr, 1);  // ignored
}

TEST(FreeImage, ReleasesEveryDiskAndEmptiesTheRecord)
{
    d88_image image = {3, nullptr};
    d88_disk** link = &image.disks;
    for (int i = 0; i < 3; ++i) {
        *link = new_disk();
        set_track(*link, i, {{1, 1, 1}});
        link = &(*link)->next;
    }
    free_d88_image(&image, 0);
    EXPECT_EQ(image.disk_count, 0);
    EXPECT_EQ(image.disks, nullptr);

    d88_image* owned = static_cast<d88_image*>(std::calloc(1, sizeof(d88_image)));
    owned->disks = new_disk();
    owned->disk_count = 1;
    free_d88_image(owned, 1);  // the sanitizer build checks that nothing leaks
    free_d88_image(nullptr, 0);
}
