// d88disk.h -- the commands of d88disk, a companion of vorkast for the
// everyday work on D88 images: look into them, cut them into single disks
// and join disks into one image, convert raw sector dumps, rename and
// write-protect disks, make blank and sample disks, and list, extract, add
// and delete the files inside them.
#ifndef D88DISK_D88DISK_H
#define D88DISK_D88DISK_H

#include <cstddef>
#include <cstdint>

#include "d88.h"
#include "names.h"
#include "text.h"
#include "numbers.h"

// The whole run for a command line; main only calls it.
int run_d88disk(int argc, char** argv);

// One command's line: its words in order, and the values of its options.
struct command_line {
    const char* command;
    const char** words;  // owned by run_d88disk
    int word_count;
    const char* out;   // --out DIR
    const char* name;  // --name NAME
    const char* media; // --media 2D|2DD|2HD
    const char* track; // --track T
    const char* from;  // --from FORMAT
    const char* to;    // --to FORMAT
    const char* fs;    // --fs FS
    const char* as;    // --as NAME
    const char* type;  // --type T
    const char* all;   // --all DIR
    const char* date;  // --date D
    const char* geometry;  // --geometry FORMAT
    uint32_t load, exec;  // --load A, --exec A
    bool load_given, exec_given, rpm_given, revs_given;
    uint32_t disk;     // --disk N, 0 without it
    uint32_t rpm;      // --rpm 300|360, 0 without it
    uint32_t revs;     // --revs N, 0 without it
    bool disk_given, overwrite, protect, writable, tracks, json, sector, slot_given, index_given, job, force;
    uint32_t c, h, r;  // --sector C H R
    uint32_t slot, index;  // --slot S --index I
};

// Each command takes its line, checked against what it accepts, and returns
// the exit status: 0, or 1 after a message on standard output.
int run_info(const command_line& line);
int run_create(const command_line& line);
int run_import(const command_line& line);
int run_export(const command_line& line);
int run_split(const command_line& line);
int run_join(const command_line& line);
int run_set(const command_line& line);
int run_sample(const command_line& line);
int run_check(const command_line& line);
int run_repair(const command_line& line);
int run_convert(const command_line& line);
int run_files(const command_line& line);  // ls, get, put, rm and format

// Prints text as a JSON string, quotes included.
void print_json_string(const char* text);


// The number of a standard format from its number or its name (any case);
// -1 after saying that there is none.
int32_t find_format(const char* text);
void print_format_list();

// True, after saying so, when path exists and may not be replaced.
bool refuse_existing(const char* path, bool overwrite);

// Writes the image, or one disk alone, as the file at path and says so:
// "wrote PATH", or the library's lines and "error: write d88 image".
bool write_image(const d88_image* image, const char* path);
bool write_disk(const d88_disk* disk, const char* path);

// An image file changed in place: its bytes, the records read from them,
// and the disk of --disk.
struct image_file {
    uint8_t* bytes;
    int32_t size;
    d88_image image;
    d88_disk* disk;
};

// Reads the image at path and finds disk index in it; false after the
// reader's chain and a line of its own (no image, no disk, no such disk).
bool open_image_file(const char* path, uint32_t index, image_file* file);
void close_image_file(image_file* file);

// Puts the changes of the file's records into its bytes and stores them at
// path, replacing it safely: "wrote PATH", or false after the chain of
// lines.
bool store_image_file(const char* path, image_file* file);

// A flux dump's tracks, as its reading reported them.
struct flux_tracks {
    d88_flux_track items[D88_TRACK_MAX];
    int32_t count;
};

// Whether path is a KryoFlux dump: a folder, or a stream file
// (trackCC.H.raw) among the others.
bool is_kryoflux_dump(const char* path);

// Reads the flux dump at path (an SCP file, or a KryoFlux dump) into
// image, keeping what its tracks show in findings and, unless null, each
// track's facts in tracks; false after the chain of lines.
template <class Finding>
struct kept_findings;
bool read_flux_dump(const char* path, d88_image* image, kept_findings<d88_finding>* findings, flux_tracks* tracks);

// The tracks' facts, alike ones in a row on one line.
void print_flux_tracks(const flux_tracks& tracks);

// Says why the image file at path, of format (-1: not known yet), could not
// be read, after the reader's lines: the system's reason when it cannot be
// opened or read whole; for a D88 image, that the file is cut, or holds no
// D88 disk (naming the format it is in); else that it could not be read.
void say_unreadable(const char* path, int32_t format);

// Says why the file at path, of format (-1: a file from a disk), could not
// be written, after the library's lines: the system's reason when the file
// could not be stored, else that it could not be written.
void say_unwritable(const char* path, int32_t format);

// Makes the folder at path unless one is there; false after saying why.
bool make_output_folder(const char* path);

// Reads the image file at path into image; false after the reader's chain
// and the line saying why.
bool load_image(d88_image* image, const char* path);

#endif
