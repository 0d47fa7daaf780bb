// job.h -- the job of vorkast, written once for the console tool, the page
// and the fuzz target: three images in, the game disk and the tracks chosen,
// the track transfer, the completed game image out.  Its lines go where the
// library's go (set_d88_message_handler), so a program that embeds the job
// receives the whole chain of a failure, in order.
#ifndef VORKAST_JOB_H
#define VORKAST_JOB_H

#include <cstdint>

#include "d88.h"

// Size of one game-track sector: size code 6, one data-disk cylinder.
constexpr int32_t TRACK_DATA_SIZE = 8192;
constexpr uint8_t TRACK_SECTOR_N = 6;
// Game track numbers 0..79; the first 40 come from data disk #1.
constexpr int32_t TRACK_NUMBER_COUNT = 80;
constexpr int32_t TRACKS_PER_DATA_DISK = 40;
constexpr int32_t ALL_TRACKS = -1;

constexpr int JOB_IMAGE_COUNT = 3;
constexpr int JOB_GAME = 0, JOB_DATA1 = 1, JOB_DATA2 = 2;

// Sizes of bytes that could not be handed over.
constexpr int32_t JOB_TOO_LARGE = -1;  // 2 GiB or more
constexpr int32_t JOB_NO_MEMORY = -2;  // no room for them

// One image of the job: the file `name`, read from the disk when `bytes` is
// null, else its `size` bytes, already in memory.  Without a name the image
// is not needed.
struct job_image {
    const char* name;
    const uint8_t* bytes;
    int32_t size;
};

// The game image, data disk #1 and #2; the game disk's index; the track
// number, or ALL_TRACKS.
struct job {
    job_image image[JOB_IMAGE_COUNT];
    uint32_t index;
    int32_t track;
};

// The job's images and the disk chosen of each, empty from the start.  After
// a completed job, image[JOB_GAME] is the completed game image.
struct job_state {
    d88_image image[JOB_IMAGE_COUNT];
    d88_disk* disk[JOB_IMAGE_COUNT];
};

// Checks that the images the tracks need are named, taking them as vorkast
// takes its command line: a single track of 40 or more with two images
// named makes the second one data disk #2.  False after saying which is
// missing.
bool check_job_images(job* j);

// Loads the images, chooses the disks and transfers the tracks; 0, or -1
// after the chain of lines.  The caller releases the state, whatever the
// result, with release_job.
int32_t complete_job(const job& j, job_state* state);
void release_job(job_state* state);

// One thing that would stop the job, or is worth knowing before it runs:
// its severity and kind (a job's kind, D88_KIND_NO_IMAGE and after, or a
// kind of scan_d88_image for an image the reader refuses), the game track it
// stops (or -1), the image it is about (or null), the sector's ID (or -1)
// and what it is in plain words.
struct job_finding {
    int32_t severity;
    d88_finding_kind kind;
    int32_t track;
    const char* image;
    int32_t c, h, r;
    const char* message;
};

using job_finding_handler = void (*)(const job_finding* finding, void* context);

// How many tracks the job selects, and how many of them it would complete.
struct job_readiness {
    int32_t tracks, ready;
};

// Checks, without changing anything, everything that would stop
// complete_job for all selected tracks at once, each image taken from its
// bytes (bytes null and size 0: an empty file).  Returns the number of
// errors (0 exactly when the job would complete every selected track), or
// -1 after "memory exhaust!".
int32_t check_job(const job& j, job_finding_handler handler, void* context, job_readiness* readiness);

// The default output name for the game image at path, ".NEW" before the
// extension of its file name; a new string the caller releases, or null
// after "error: memory exhausted!".
char* derive_output_name(const char* path);

// The same with another tag before the extension (".FIXED": GAME.FIXED.D88).
char* derive_tagged_name(const char* path, const char* tag);

// A data disk's sectors: 16 of 256 bytes (size code 1) per track.
constexpr int32_t DATA_SECTOR_SIZE = 256;
constexpr int32_t DATA_SECTORS_PER_TRACK = 16;
// The most sectors a track records (its count is 16 bits).
constexpr int32_t TRACK_SECTOR_MAX = UINT16_MAX;

// Whether track t is one of those chosen: the one, or every one (a
// negative choice).
bool is_selected_track(int32_t chosen, int32_t t);

// Whether the job needs image slot (JOB_GAME, JOB_DATA1, JOB_DATA2) for the
// chosen tracks.
bool is_image_needed(int slot, int32_t chosen);

// Reads a track number as vorkast's -t takes it: a number below 80, a
// negative one meaning every track (ALL_TRACKS).  False after "error:
// illegal track number".
bool parse_track_number(const char* text, int32_t* track);

// Where the data of game track t comes from: data disk #1 (JOB_DATA1) for
// tracks 0 to 39, else #2, and the cylinder there.
struct data_source {
    int image;
    uint8_t cylinder;
};
data_source find_data_source(int32_t t);

// Whether a data-disk sector can give its 256 bytes to a game track: size
// code 1 and at least 256 bytes of data.
bool is_data_sector(const d88_sector* sector);

// Whether game track t (cylinder t / 2, head t & 1) can take the new
// sector: it exists, it does not start with the sector a transfer inserts
// (R 1, N 6, 8192 bytes: the image was completed before), and it has room
// for one more.  *track is the track, or null when there is none.
enum game_track_state { GAME_TRACK_READY, GAME_TRACK_MISSING, GAME_TRACK_COMPLETE, GAME_TRACK_FULL };
game_track_state check_game_track(d88_disk* game_disk, int32_t t, d88_track** track);

// Track transfer: one data cylinder into one game track, and the stage of
// every selected track.
int32_t collect_track_data(uint8_t* buffer, d88_disk* data_disk, int32_t t);
int32_t insert_track_sector(d88_disk* game_disk, int32_t t, const uint8_t* buffer);
int32_t transfer_tracks(d88_disk* game_disk, d88_disk* data_disk1, d88_disk* data_disk2, int32_t track,
                        uint8_t* buffer);

#endif
