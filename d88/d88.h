// d88.h -- D88 floppy-disk images in memory, read from and written to files.
//
// An image file is a run of disks laid end to end; a disk is a header with a
// table of 164 track offsets, and each track is a run of sector records.  The
// records below mirror that layout field for field.  Every record, sector
// array and data buffer lives on the heap (malloc/calloc) and has one owner;
// release them with free_d88_image / free_d88_disk, and a buffer handed out
// by the library with free.
//
// Every reading, writing and creating operation checks its arguments first
// and reports a failure as one line, returning -1 (or null).  Callers add
// their own line, so a failure reads as a short chain, innermost first.  The
// lines go to standard output unless the program installs a message handler.
//
// The header is C (C99 and later) and C++.  The library is single-threaded:
// call it from one thread at a time.
#ifndef D88_D88_H
#define D88_D88_H

#include <stdint.h>

#include "d88_version.h"

// D88_API marks the library's interface: the only functions a shared build
// exports.
#if defined(_WIN32) && defined(D88_SHARED) && defined(D88_BUILDING)
#define D88_API __declspec(dllexport)
#elif defined(_WIN32) && defined(D88_SHARED)
#define D88_API __declspec(dllimport)
#elif defined(__GNUC__)
#define D88_API __attribute__((visibility("default")))
#else
#define D88_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    D88_TRACK_MAX = 164,
    D88_HEADER_SIZE = 688,
    D88_HEADER_SIZE_160 = 672,
    D88_SECTOR_HEADER_SIZE = 16
};

// One sector: its ID field (C, H, R, N), the rest of its 16-byte header as
// stored, and a copy of its data (null when data_size is 0).
typedef struct d88_sector {
    uint8_t c, h, r, n;
    uint16_t sector_count;
    uint8_t density, deleted_mark, status;
    uint8_t reserved[5];
    int16_t data_size;
    uint8_t* data;
} d88_sector;

// One track slot: count sectors in file order, or null and 0 when empty.
typedef struct d88_track {
    int32_t count;
    d88_sector* sectors;
} d88_track;

// One disk of an image; disks form a list through next, in file order.
typedef struct d88_disk {
    struct d88_disk* next;
    char name[17];
    uint8_t reserved[9];
    uint8_t write_protect;
    uint8_t disk_type;
    int32_t disk_size;
    int32_t track_offset[D88_TRACK_MAX];
    d88_track track[D88_TRACK_MAX];
} d88_disk;

// One image file: its disks, in file order.
typedef struct d88_image {
    int32_t disk_count;
    d88_disk* disks;
} d88_image;

// Messages.  Each message is handed over as one line, its newline included,
// in the order the library reports them.  A program may take them over (to
// collect the chain of a failure, or to show it elsewhere); a null handler
// restores the default, which writes them to standard output.  The setting
// holds for the whole process.
typedef void (*d88_message_handler)(const char* line, void* context);
D88_API void set_d88_message_handler(d88_message_handler handler, void* context);
// The handler installed now (null: standard output), and its context in
// *context_out (may be null) (since 2.3): a caller that takes the lines for
// a moment puts back what it found.
D88_API d88_message_handler get_d88_message_handler(void** context_out);

// Little-endian field access.
D88_API uint16_t get_le16(const uint8_t* p);
D88_API int32_t get_le32(const uint8_t* p);
D88_API uint8_t* put_le16(uint8_t* p, uint16_t value);
D88_API uint8_t* put_le32(uint8_t* p, uint32_t value);

// Look-ups and release.
D88_API d88_disk* get_d88_disk(d88_image* image, int32_t index);
D88_API d88_track* find_d88_track(d88_disk* disk, uint8_t c, uint8_t h);
D88_API d88_sector* find_d88_sector(d88_disk* disk, uint8_t c, uint8_t h, uint8_t r);
D88_API void free_d88_disk(d88_disk* disk, int release_record);
D88_API void free_d88_image(d88_image* image, int release_record);

// Reading.
D88_API int32_t read_d88_image_file(d88_image* image, const char* path);
D88_API int32_t read_d88_image_from_buffer(d88_image* image, const uint8_t* buffer, int32_t size);
// The same for the bytes of the file `name` read elsewhere (a browser, an
// archive): the lines read_d88_image_file would print for that file.
D88_API int32_t read_d88_image_from_named_buffer(d88_image* image, const uint8_t* buffer, int32_t size,
                                                 const char* name);
D88_API int32_t read_d88_disk_from_buffer(d88_disk* disk, const uint8_t* buffer, int32_t size);
D88_API int32_t read_d88_track_from_buffer(d88_track* track, const uint8_t* buffer, int32_t offset, int32_t end);
D88_API int32_t read_d88_sector_from_buffer(d88_sector* sector, const uint8_t* buffer, int32_t offset, int32_t end);

// Writing.  A disk is laid out anew from its records: sizes, offsets and
// sectors-in-track values are computed, never taken from what was read.
D88_API int32_t write_d88_image_file(const d88_image* image, const char* path);
D88_API int32_t write_d88_disk_file(const d88_disk* disk, const char* path);
D88_API int32_t write_d88_image_to_buffer(const d88_image* image, uint8_t** buffer_out, int32_t* size_out);
D88_API int32_t write_d88_disk_to_buffer(const d88_disk* disk, uint8_t* dst, uint8_t** next_out, int32_t room);
D88_API int32_t calc_d88_disk_size(const d88_disk* disk);
D88_API int32_t calc_d88_image_size(const d88_image* image);

// Creating blank records: an empty image, a formatted disk of one of the
// ten standard formats (0 to 9), and the sector array of one track.
D88_API d88_image* new_d88_image(void);
D88_API d88_disk* create_d88_disk(const char* disk_name, int32_t format);
D88_API d88_sector* create_d88_sectors(uint8_t c, uint8_t h, uint8_t first_r, uint8_t n, int32_t count, uint8_t density);
D88_API d88_sector* create_d88_custom_sectors(uint8_t c, uint8_t h, const uint8_t* r_list, const uint8_t* n_list,
                                              int32_t count, uint8_t density);

// Checking an imperfect image.  scan_d88_image walks all of an image's
// bytes without stopping at a fault: it goes on as far as the bytes allow
// and hands each finding to handler, in file order.  An error is a fault
// for which read_d88_image_from_buffer refuses the bytes; a warning is read,
// but worth knowing; a note is for information.  The result is the number
// of errors (0: the reader accepts the bytes), or -1 after a message for a
// bad argument or a lack of memory.  With salvage (an image record that
// holds nothing), the scan also keeps every disk, track and sector whose
// header and data it found whole, in a disk's slots as the file has them,
// each sector's fields and data unchanged; the caller releases it.
typedef enum d88_severity { D88_FINDING_ERROR = 0, D88_FINDING_WARNING = 1, D88_FINDING_NOTE = 2 } d88_severity;

// The kinds of finding: those of the scan, then those of vorkast's job (see
// d88disk check --job).  Each has a stable name, which reports, JSON and
// scripts use, and the severity it is reported with.
typedef enum d88_finding_kind {
    D88_KIND_FILE,            // the file cannot be read, or is empty
    D88_KIND_DISK_SIZE,
    D88_KIND_WRITE_PROTECT,
    D88_KIND_MEDIA,
    D88_KIND_TRACK_OFFSET,
    D88_KIND_SECTOR_COUNT,
    D88_KIND_SECTOR_DATA,
    D88_KIND_TRAILING_BYTES,
    D88_KIND_IGNORED_BYTES,
    D88_KIND_SHARED_OFFSET,
    D88_KIND_DATA_SIZE,
    D88_KIND_DUPLICATE_ID,
    D88_KIND_STATUS,
    D88_KIND_SHORT_HEADER,
    D88_KIND_RAW_DUMP,        // no D88 image, but a raw sector dump's size
    D88_KIND_NO_IMAGE,        // the job's kinds
    D88_KIND_NO_DISK,
    D88_KIND_NO_GAME_TRACK,
    D88_KIND_ALREADY_COMPLETE,
    D88_KIND_FULL_TRACK,
    D88_KIND_MISSING_SECTOR,
    D88_KIND_SHORT_SECTOR,
    D88_KIND_SECTOR_STATUS,
    D88_KIND_DELETED,
    D88_KIND_LOST_STATUS,     // what a conversion to another format cannot carry
    D88_KIND_LOST_DELETED,
    D88_KIND_LOST_SIZE,
    D88_KIND_LOST_DENSITY,
    D88_KIND_LOST_MIXED,
    D88_KIND_LOST_ID,
    D88_KIND_LOST_GEOMETRY,
    D88_KIND_TRACK_TOO_LONG,
    D88_KIND_LOST_NAME,
    D88_KIND_LOST_PROTECT,
    D88_KIND_FAT_COPIES,      // the file systems' kinds (since 2.2)
    D88_KIND_CHAIN_LOOP,
    D88_KIND_CHAIN_RANGE,
    D88_KIND_ENTRY_RANGE,
    D88_KIND_CROSS_LINK,
    D88_KIND_FILE_SIZE,
    D88_KIND_FS_SECTOR,
    D88_KIND_LOST_MEDIA,      // a conversion's notes (since 2.3)
    D88_KIND_READ_AS,
    D88_KIND_WEAK,            // what a flux dump shows of its tracks (since 2.3)
    D88_KIND_NO_SECTOR,
    D88_KIND_RATE,
    D88_KIND_COUNT
} d88_finding_kind;

// The stable name of a kind ("disk-size", "missing-sector", ...) and of a
// severity ("error", "warning", "note"); null for a value outside them.
D88_API const char* d88_finding_kind_name(int32_t kind);
D88_API const char* d88_severity_name(int32_t severity);
// The severity a kind is reported with, or -1 for a value outside them.
D88_API int32_t d88_finding_kind_severity(int32_t kind);

typedef struct d88_finding {
    int32_t severity;     // D88_FINDING_ERROR, _WARNING or _NOTE
    const char* kind;     // the kind's name: d88_finding_kind_name(kind_id)
    int32_t disk;         // the disk, from 0; -1 where none applies
    int32_t slot;         // the track slot; -1 where none applies
    int32_t index;        // the sector's index in its slot, from 0; or -1
    int32_t c, h, r;      // that sector's ID; -1 without a sector
    int32_t offset;       // from the file's start, of the record the finding is about; or -1
    const char* message;  // what was found, in plain words
    int32_t kind_id;      // a d88_finding_kind (since 2.1)
} d88_finding;

typedef void (*d88_finding_handler)(const d88_finding* finding, void* context);
D88_API int32_t scan_d88_image(const uint8_t* buffer, int32_t size, d88_finding_handler handler, void* context,
                               d88_image* salvage);

// Other formats of disk images, to and from the D88 records (since 2.1):
// ImageDisk's IMD, the PC-98 formats HDM (a bare dump of 77 x 2 x 8 x 1024
// bytes) and FDI (a dump behind a 4096-byte header that gives its
// geometry), DIM (behind a 256-byte header whose media byte gives it) and
// NFD (every sector's ID and status; written as revision 0, read as 0 and
// 1), HFE, the bit stream of floppy emulators (written as version 1, read
// as versions 1 and 3), and raw sector dumps of the ten standard formats
// (since 2.3; .2d, .2dd, .2hd, .xdf, .img, known by their size).
// import_d88_image reads the bytes of one into image (which holds nothing),
// as one disk with every field the format has; 1, or -1 after a message.
// export_d88_disk writes one disk in the format: first it hands every
// sector, track or field the format cannot carry to handler as a finding
// (a D88_KIND_LOST_... or D88_KIND_TRACK_TOO_LONG error at its place; the
// name, write protection and media as notes), then, when there was no loss
// or force is non-zero, it makes a new buffer (*buffer_out, freed with
// free) of *size_out bytes: with force, every sector the format holds, a
// track too long for one revolution keeping every sector that fits whole.
// It returns the number of losses (a buffer was made unless force was zero
// and that number is not), or -1 after a message, also when the format
// cannot describe the disk's geometry at all (HDM, FDI, DIM and raw dumps
// hold uniform shapes; IMD 255 sectors a track): then no force helps, and
// no file any reader refuses is ever made.  options may be null: no force,
// and HFE's rotation by the media (rpm 0).
enum {
    D88_FILE_D88 = 0,
    D88_FILE_IMD = 1,
    D88_FILE_HDM = 2,
    D88_FILE_FDI = 3,
    D88_FILE_HFE = 4,
    D88_FILE_DIM = 5,
    D88_FILE_NFD = 6,
    D88_FILE_RAW = 7,   // since 2.3
    D88_FILE_SCP = 8,
    D88_FILE_KRYOFLUX = 9,
    D88_FILE_FORMAT_COUNT = 10
};
typedef struct d88_export_options {
    int32_t force;  // write what the format holds despite losses
    int32_t rpm;    // HFE and SCP: 300 or 360, 0 for the media's own (others are refused)
} d88_export_options;
// The name of a format ("d88", "imd", "hdm", "fdi", "hfe", "dim", "nfd",
// "raw", "scp", "kryoflux"), or null.
D88_API const char* d88_file_format_name(int32_t format);
// The format a name or a file's extension names (any case: "IMD",
// "disk.hdm", "GAME.D77", "GAME.2D"), or -1.
D88_API int32_t find_d88_file_format(const char* name);
// The format the bytes are by their content (since 2.3): a D88 header that
// makes sense, the signatures and headers of IMD, HFE, NFD, DIM and FDI,
// the size of a raw dump; -1 when they are none of them.
D88_API int32_t detect_d88_file_format(const uint8_t* buffer, int32_t size);
D88_API int32_t import_d88_image(d88_image* image, const uint8_t* buffer, int32_t size, int32_t format);
// A raw sector dump of standard format `geometry` (0 to 9, as
// create_d88_disk takes it), or of the one its size names (geometry -1)
// (since 2.3); 1, or -1 after a message.
D88_API int32_t import_d88_raw_image(d88_image* image, const uint8_t* buffer, int32_t size, int32_t geometry);
D88_API int32_t export_d88_disk(const d88_disk* disk, int32_t format, const d88_export_options* options,
                                d88_finding_handler handler, void* context, uint8_t** buffer_out, int32_t* size_out);

// Flux (since 2.3): the raw dumps of flux readers, the time between the
// magnetic transitions of each track over one or more revolutions, as SCP
// files (D88_FILE_SCP) and KryoFlux stream files (D88_FILE_KRYOFLUX, one
// file a track).  Each track is decoded without being told its format: a
// phase-locked loop turns its flux into bit cells at the rate the flux
// shows, and FM or MFM, whichever finds address marks, gives every ID and
// data field of every revolution, CRCs checked; a sector read in several
// revolutions keeps a copy with good CRCs, else the read most often made;
// a sector longer than the track reads on into the next revolution, as a
// controller reads it.  Deleted marks, CRC errors, a missing data field,
// FM sectors, the order of the sectors and IDs of any value are kept, with
// the statuses a controller reports.  import_d88_image reads an SCP file;
// export_d88_disk writes one (a revolution of each track, from the cells
// HFE writes; a track too long for it is a loss as for HFE).
//
// What a flux dump shows of one track, handed to a d88_flux_track_handler.
typedef struct d88_flux_track {
    int32_t slot;           // the D88 track slot: cylinder * 2 + head
    int32_t revolutions;    // whole revolutions read
    int32_t rpm;            // measured rotation, in hundredths of rpm; 0 unknown
    int32_t kbit;           // the data rate found, kbit/s; 0 when no sector was found
    int32_t fm;             // 1 FM, 0 MFM
    int32_t sectors;        // sectors kept in the slot
    int32_t good;           // of them, with good CRCs
    int32_t found[8];       // sectors found in each of the first 8 revolutions
    int32_t correct[8];     // of them, with good CRCs
} d88_flux_track;
typedef void (*d88_flux_track_handler)(const d88_flux_track* track, void* context);

// Reads a flux dump into image (which holds nothing) as one disk: an SCP
// file (count 1), or count KryoFlux stream files with the slot of each
// (cylinder * 2 + head) in slots.  Each track's facts go to tracks, and
// what is not plain (a weak sector, a CRC error, a track where no sector
// was found, a rate unlike the disk's) to findings, at its place; either
// may be null.  1, or -1 after a message.
D88_API int32_t import_d88_flux_image(d88_image* image, int32_t format, const uint8_t* const* buffers, const int32_t* sizes,
                                      const int32_t* slots, int32_t count, d88_finding_handler findings,
                                      d88_flux_track_handler tracks, void* context);
// export_d88_disk for SCP with `revolutions` revolutions of each track
// (1 to 5).
D88_API int32_t export_d88_scp_disk(const d88_disk* disk, const d88_export_options* options, int32_t revolutions,
                                    d88_finding_handler handler, void* context, uint8_t** buffer_out, int32_t* size_out);

// File systems inside a disk (since 2.2): N88-BASIC (PC-8801, PC-9801),
// Hu-BASIC (X1) and FAT12 as PC-98 DOS, Human68k and MSX-DOS write it,
// each on the media its machines lay it out on.  Names are bytes in the
// file system's own encoding (JIS X 0201 for N88-BASIC, Shift_JIS for the
// others): NAME or NAME.EXT, without the padding.  fs is a D88_FS_...
// value, or -1 to take the one find_d88_fs_of_disk recognises.  Each
// operation works on the disk's sector records alone: read_d88_file,
// list_d88_files and the look-ups change nothing; write_d88_file and
// delete_d88_file change the data of the file system's sectors and nothing
// else, format_d88_files the data of every sector; and they change nothing
// when they fail.  A file system with faults (a chain that loops or leaves
// the disk, an entry pointing outside, a missing sector; N88-BASIC's FAT
// copies that differ) is reported by check_d88_files, and is not written
// to; FAT12's first FAT copy is the one read, and a change writes every
// copy from it.
enum { D88_FS_N88 = 0, D88_FS_HU = 1, D88_FS_FAT12 = 2, D88_FS_COUNT = 3 };
// "n88", "hu", "fat12"; null for a value outside them.
D88_API const char* d88_fs_name(int32_t fs);
// The file system a name ("n88", "HU", ...) names, or -1.
D88_API int32_t find_d88_fs(const char* name);
// The file system the disk holds: its D88_FS_ value; -1 when none is
// recognised, -2 when several fit (name one then); no message.
D88_API int32_t find_d88_fs_of_disk(d88_disk* disk);
// What the file system of the disk is, for people: "N88-BASIC 2D", ...; or
// null when fs does not fit the disk.
D88_API const char* describe_d88_fs(d88_disk* disk, int32_t fs);
// The byte a format of file system fs fills every sector with, as its
// machines format a disk (N88-BASIC 0xFF; Hu-BASIC and FAT12 0xE5), or -1
// for a value outside them (since 2.3).
D88_API int32_t d88_fs_format_fill(int32_t fs);

// What a disk holds, for a format that would lay a new file system over
// it (since 2.3): the file system recognised (fs, as find_d88_fs_of_disk
// gives it) and the files of its root directory (its subdirectories and
// Hu-BASIC's IPL entry counted, a volume label not; the most of those that
// fit when several do), or files -1 when no file system is recognised
// whole; then the number of sectors whose bytes are not one value repeated
// and the ID of the first of them (a blank disk has none).  Returns 1 when
// the disk holds something (a file, or without a file system such a
// sector), 0 when it holds nothing (a blank disk, an empty file system), -1
// after a message.
typedef struct d88_disk_contents {
    int32_t fs;
    int32_t files;
    int32_t sectors;
    int32_t c, h, r;
} d88_disk_contents;
D88_API int32_t find_d88_disk_contents(d88_disk* disk, d88_disk_contents* contents);

enum {
    D88_TYPE_PLAIN = 0,      // FAT12's files
    D88_TYPE_BINARY = 1,     // machine code
    D88_TYPE_BASIC = 2,      // tokenised BASIC
    D88_TYPE_ASCII = 3,      // text
    D88_TYPE_DIRECTORY = 4,
    D88_TYPE_BOOT = 5,       // Hu-BASIC's IPL entry
    D88_TYPE_LABEL = 6,      // FAT12's volume label
    D88_TYPE_COUNT = 7
};
// "file", "bin", "bas", "asc", "dir", "ipl", "label"; or null.
D88_API const char* d88_file_type_name(int32_t type);

// One entry of a directory.
typedef struct d88_file_entry {
    char name[24];         // NAME.EXT as stored, padding left out
    int32_t type;          // a D88_TYPE_ value
    uint8_t attributes;    // the entry's attribute byte as stored
    char flags[8];         // its protection bits as letters (see d88disk(1))
    int32_t size;          // bytes
    int32_t start;         // first cluster; -1 for none (an empty FAT12 file)
    int32_t load, exec;    // addresses; -1 where the file system keeps none
    int32_t year, month, day, hour, minute, second;  // year 0: no date
} d88_file_entry;

// What write_d88_file stores beside the data.  type 0 takes the file
// system's default (bin, or FAT12's file); load and exec -1 store 0; a file
// replacing one of its name keeps the old one's type and addresses where
// they are not given (0 and -1), and its attributes (since 2.3).  year 0
// stores no date, else the date is one of the calendar from 1900 to 2107,
// and a file system refuses a year it cannot keep: Hu-BASIC keeps 1980 to
// 2079 (two BCD digits: 80 to 99 are 1980 to 1999, 00 to 79 2000 to 2079;
// no seconds), FAT12 1980 to 2107 (seconds in twos); N88-BASIC keeps no
// date.
typedef struct d88_file_options {
    int32_t type;
    int32_t load, exec;
    int32_t year, month, day, hour, minute, second;
} d88_file_options;

// The entries of the root directory in a new array (*entries_out, freed
// with free), and the number of bytes free in *free_out (may be null);
// the count, or -1 after a message.  Each fault found on the way goes to
// handler (which may be null) as a finding.
D88_API int32_t list_d88_files(d88_disk* disk, int32_t fs, d88_file_entry** entries_out, int32_t* free_out,
                               d88_finding_handler handler, void* context);
// The same for a subdirectory of FAT12: directory names it from the root,
// its names joined by '/' ("" for the root).  read_d88_file takes such a
// path too (DIR/NAME); the other operations work in the root.
D88_API int32_t list_d88_directory(d88_disk* disk, int32_t fs, const char* directory, d88_file_entry** entries_out,
                                   int32_t* free_out, d88_finding_handler handler, void* context);
// Hands each fault of the file system to handler; their number, or -1
// after a message when the disk holds no such file system.
D88_API int32_t check_d88_files(d88_disk* disk, int32_t fs, d88_finding_handler handler, void* context);
// The data of the file name in a new buffer (*data_out, freed with free)
// of *size_out bytes; 0, or -1 after a message.  N88-BASIC keeps no size:
// its files come in whole sectors.  A text file of Hu-BASIC (size 0 in its
// entry) gives its text up to the end mark 0x1A, which is left out.
D88_API int32_t read_d88_file(d88_disk* disk, int32_t fs, const char* name, uint8_t** data_out, int32_t* size_out);
// Looks up the file name (DIR/NAME in a FAT12 subdirectory too), as the
// other operations take it (since 2.3): 1, and its entry as list_d88_files
// gives it in *entry_out (may be null), when there is one; 0 when there is
// none; -1 after a message (also for a name the file system cannot hold).
D88_API int32_t find_d88_file(d88_disk* disk, int32_t fs, const char* name, d88_file_entry* entry_out);
// The name the file system stores for name (since 2.3), as list_d88_files
// shows it, into name_out (24 bytes): FAT12's in upper case; with fit
// non-zero a name or extension longer than the file system holds is cut
// to fit (at a character's boundary), else refused.  0, or -1 after a
// message when the file system cannot hold it.
D88_API int32_t make_d88_file_name(d88_disk* disk, int32_t fs, const char* name, int32_t fit, char* name_out);
// Stores size bytes as the file name, in place of a file of that name;
// 0, or -1 after a message (also when the data or the entry does not fit).
// Hu-BASIC holds a file of up to 65535 bytes; a text file (type asc) is
// stored as its machines store one: size 0 in its entry, the text followed
// by the end mark 0x1A (the data's own at its end is taken as the mark; one
// earlier is refused).  A new entry taking the end of the directory moves
// the end behind it.
D88_API int32_t write_d88_file(d88_disk* disk, int32_t fs, const char* name, const uint8_t* data, int32_t size,
                               const d88_file_options* options);
// Deletes the file name, freeing its clusters in every FAT copy; 0, or -1.
D88_API int32_t delete_d88_file(d88_disk* disk, int32_t fs, const char* name);
// Formats the disk as the machines of file system fs do: every sector
// filled with d88_fs_format_fill(fs) (since 2.3), then an empty file
// system laid down.  Its sectors must be those of a media fs has.  It
// erases whatever the disk holds: find_d88_disk_contents tells what that
// is.  0, or -1 after a message.
D88_API int32_t format_d88_files(d88_disk* disk, int32_t fs);

// An image changed in place (since 2.3).  bytes are the size bytes image
// was read from; the records may have changed in the disks' names, write
// protection and media bytes and in the data of their sectors, and in
// nothing else.  update_d88_image_bytes puts those changes back into the
// bytes, every other byte kept: a header's fields, and the data of each
// track slot whose sectors changed (a slot sharing its bytes with a changed
// one does not put the old data back).  The number of slots whose data
// changed, or -1 after a message, nothing changed, when the records no
// longer have the layout of the bytes (a sector added, moved or resized).
D88_API int32_t update_d88_image_bytes(const d88_image* image, uint8_t* bytes, int32_t size);

// Whole files, as the reader and the writer take them.  load_d88_file
// returns the bytes of the file at path in a new buffer (the caller frees
// it) and their number in *size_out; null after a message.  store_d88_file
// stores size bytes as the file at path, replacing an existing file only
// once the new contents are complete on the disk; 0, or -1 after a message.
// Paths are UTF-8 on Windows, bytes elsewhere.
D88_API uint8_t* load_d88_file(const char* path, int32_t* size_out);
D88_API int32_t store_d88_file(const char* path, const uint8_t* buffer, int32_t size);

#ifdef __cplusplus
}
#endif

#endif
