// vorkast.h -- the stages of the tool that live beside main.
#ifndef VORKAST_VORKAST_H
#define VORKAST_VORKAST_H

#include <cstdint>

#include "d88.h"

// Size of one game-track sector: size code 6, one data-disk cylinder.
constexpr int32_t TRACK_DATA_SIZE = 8192;
constexpr uint8_t TRACK_SECTOR_N = 6;
// Game track numbers 0..79; the first 40 come from data disk #1.
constexpr int32_t TRACK_NUMBER_COUNT = 80;
constexpr int32_t TRACKS_PER_DATA_DISK = 40;

// The whole run of the tool for a command line: 0 when the output file was
// written, 1 otherwise.  main only calls it; tests call it in-process.
int run_vorkast(int argc, char** argv);

// Reads a number as the command line takes it: decimal, hexadecimal after
// 0x, octal after a leading 0, with optional white space and sign; a value
// past 32 bits reads as all bits set.  False unless the whole text is taken.
bool parse_number(const char* text, uint32_t* value);

// The default output name for the game image at path, ".NEW" before the
// extension of its file name; a new string the caller releases, or null
// after "error: memory exhausted!".
char* derive_output_name(const char* path);

// Set by --overwrite: replace an existing output file without asking.
extern int force_overwrite;

// Track transfer.
int32_t collect_track_data(uint8_t* buffer, d88_disk* data_disk, int32_t t);
int32_t insert_track_sector(d88_disk* game_disk, int32_t t, const uint8_t* buffer);
int32_t transfer_tracks(d88_disk* game_disk, d88_disk* data_disk1, d88_disk* data_disk2, int32_t track,
                        uint8_t* buffer);

// Output stage.
int ask_yes_no(const char* question);
int32_t write_output_image(const d88_image* image, const char* path);

#endif
