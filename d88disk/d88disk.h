// d88disk.h -- the commands of d88disk, a companion of vorkast that shows
// what a D88 image holds and makes blank and sample images.
#ifndef D88DISK_D88DISK_H
#define D88DISK_D88DISK_H

#include <cstdint>

// The whole run for a command line; main only calls it.
int run_d88disk(int argc, char** argv);

// Each command takes the arguments after its name and returns the exit
// status: 0 on success, 1 on failure (after a message on standard output).
int run_info(int argc, char** argv);
int run_create(int argc, char** argv);
int run_sample(int argc, char** argv);

void print_info_help();
void print_create_help();
void print_sample_help();
void print_format_list();

// Reads a whole number: decimal, or hexadecimal with 0x; false unless the
// whole text is a number from 0 to max.
bool parse_count(const char* text, uint32_t max, uint32_t* value);

#endif
