// transfer.cpp -- moving one data-disk cylinder into a game track.
//
// A data disk is a plain 2D disk: 16 sectors of 256 bytes per track.  The 32
// sectors of one cylinder (head 0 then head 1, R 1 to 16 each) make the 8 KB
// of one size-code-6 sector, which goes in front of the game track's sectors.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/message.h"
#include "job.h"

bool is_selected_track(int32_t chosen, int32_t t)
{
    return chosen < 0 || chosen == t;
}

data_source find_data_source(int32_t t)
{
    return t < TRACKS_PER_DATA_DISK ? data_source{JOB_DATA1, static_cast<uint8_t>(t)}
                                    : data_source{JOB_DATA2, static_cast<uint8_t>(t - TRACKS_PER_DATA_DISK)};
}

bool is_data_sector(const d88_sector* sector)
{
    return sector != nullptr && sector->n == 1 && sector->data_size >= DATA_SECTOR_SIZE &&
           sector->data != nullptr;
}

game_track_state check_game_track(d88_disk* game_disk, int32_t t, d88_track** track)
{
    *track = find_d88_track(game_disk, static_cast<uint8_t>(t / 2), static_cast<uint8_t>(t & 1));
    if (*track == nullptr)
        return GAME_TRACK_MISSING;
    const d88_sector& first = (*track)->sectors[0];
    if (first.r == 1 && first.n == TRACK_SECTOR_N && first.data_size == TRACK_DATA_SIZE)
        return GAME_TRACK_COMPLETE;
    return (*track)->count >= TRACK_SECTOR_MAX ? GAME_TRACK_FULL : GAME_TRACK_READY;
}

// Fills buffer with the data-disk cylinder of track number t, looked up by
// C, H and R so that the order of sectors inside a data track does not
// matter.  A sector that is missing, not of size code 1, or holding fewer
// than 256 bytes stops the collection.
int32_t collect_track_data(uint8_t* buffer, d88_disk* data_disk, int32_t t)
{
    const uint8_t c = find_data_source(t).cylinder;
    uint8_t* position = buffer;
    for (uint8_t h = 0; h < 2; ++h) {
        for (uint8_t r = 1; r <= DATA_SECTORS_PER_TRACK; ++r) {
            const d88_sector* sector = find_d88_sector(data_disk, c, h, r);
            if (!is_data_sector(sector)) {
                print_d88_message("error: get d88 sector %02X/%02X/%02X\n", c, h, r);
                return -1;
            }
            std::memcpy(position, sector->data, DATA_SECTOR_SIZE);
            position += DATA_SECTOR_SIZE;
        }
    }
    return 0;
}

// Puts a copy of buffer, as sector R 1 N 6, in front of the sectors of game
// track t (cylinder t / 2, head t & 1); every sector of the track then
// carries the new count.  A track that starts with such a sector already is
// refused.  On failure the track is left as it was.
int32_t insert_track_sector(d88_disk* game_disk, int32_t t, const uint8_t* buffer)
{
    d88_track* track = nullptr;
    switch (check_game_track(game_disk, t, &track)) {
    case GAME_TRACK_MISSING:
        print_d88_message("error: can't find track %d\n", static_cast<int>(t));
        return -1;
    case GAME_TRACK_COMPLETE:
        print_d88_message("error: track %d already holds an 8 KB sector\n", static_cast<int>(t));
        return -1;
    case GAME_TRACK_FULL:
        print_d88_message("error: track %d already holds %d sectors\n", static_cast<int>(t), static_cast<int>(track->count));
        return -1;
    case GAME_TRACK_READY:
        break;
    }
    const int32_t count = track->count + 1;
    d88_sector* sectors = static_cast<d88_sector*>(std::calloc(static_cast<size_t>(count), sizeof(d88_sector)));
    uint8_t* data = static_cast<uint8_t*>(std::malloc(TRACK_DATA_SIZE));
    if (sectors == nullptr || data == nullptr) {
        print_d88_line("error: memory exhausted!");
        std::free(sectors);
        std::free(data);
        return -1;
    }
    d88_sector& first = sectors[0];
    first.c = static_cast<uint8_t>(t / 2);
    first.h = static_cast<uint8_t>(t & 1);
    first.r = 1;
    first.n = TRACK_SECTOR_N;
    first.data_size = TRACK_DATA_SIZE;
    first.data = data;
    std::memcpy(data, buffer, TRACK_DATA_SIZE);
    std::memcpy(sectors + 1, track->sectors, static_cast<size_t>(track->count) * sizeof(d88_sector));
    for (int32_t i = 0; i < count; ++i)
        sectors[i].sector_count = static_cast<uint16_t>(count);
    std::free(track->sectors);
    track->sectors = sectors;
    track->count = count;
    return 0;
}

// The transfer stage: track t alone, or all 80 in ascending order when t is
// negative.  Tracks 0..39 come from data disk #1, 40..79 from data disk #2.
// The first failure ends the stage; tracks done before it stay modified.
int32_t transfer_tracks(d88_disk* game_disk, d88_disk* data_disk1, d88_disk* data_disk2, int32_t track,
                        uint8_t* buffer)
{
    for (int32_t t = 0; t < TRACK_NUMBER_COUNT; ++t) {
        if (!is_selected_track(track, t))
            continue;
        std::memset(buffer, 0, TRACK_DATA_SIZE);
        d88_disk* data_disk = find_data_source(t).image == JOB_DATA1 ? data_disk1 : data_disk2;
        if (collect_track_data(buffer, data_disk, t) < 0) {
            print_d88_message("error: get track %d data\n", static_cast<int>(t));
            return -1;
        }
        if (insert_track_sector(game_disk, t, buffer) < 0) {
            print_d88_message("error: insert track %d\n", static_cast<int>(t));
            return -1;
        }
    }
    return 0;
}
