// volume.h -- a file system opened on a disk for the operations of d88.h:
// the file system recognised or named, its FAT links and entries read
// through that file system's own code, its FAT copies and directory loaded
// and stored, its subdirectories read, and the check of its chains.
// Private to the library's file systems.
#ifndef D88_FS_VOLUME_H
#define D88_FS_VOLUME_H

#include <cstdint>

#include "shared/sectors.h"

// "N88-BASIC", "Hu-BASIC" or "FAT12" for a D88_FS_ value.
const char* fs_title(int32_t fs);

// The file system the disk holds: its D88_FS_ value; -1 when none is
// recognised, -2 when several fit.
int32_t recognise_fs(d88_disk* disk);

// The variant of file system fs on the disk (see fs.h); false when none.
bool find_layout(d88_disk* disk, int32_t fs, bool marks, fs_layout* layout);
cluster_link get_link(const fs_volume& volume, int32_t cluster);
void set_link(fs_volume* volume, int32_t cluster, cluster_link link);
// An entry decoded, its name included when it is a file's.
entry_use decode_entry(const fs_volume& volume, const uint8_t* raw, d88_file_entry* entry);
// The fill of a format of file system fs, and the byte of an entry that
// ends a directory.
uint8_t format_fill(int32_t fs);
uint8_t end_fill(int32_t fs);
// Whether an entry is one of a subdirectory's own two ("." and "..").
bool is_dot_entry(const fs_volume& volume, const uint8_t* raw);

// Reads the FAT's first copy and the directory of the layout on disk, and
// notes the first FAT copy that differs; false after a message.
bool load_volume(d88_disk* disk, const fs_layout& layout, fs_volume* volume);
// Stores the FAT, in every copy, and the directory into their sectors.
void store_volume(const fs_volume& volume);
void close_volume(fs_volume* volume);
// The file system fs (or the one recognised, fs -1) opened on disk; false
// after a message.
bool open_volume(d88_disk* disk, int32_t fs, fs_volume* volume);
// Opens the file system for a change: false after a message when it cannot
// be opened, or has faults.  FAT12 copies that differ are none: the first
// is used, and every copy written.
bool open_for_change(d88_disk* disk, int32_t fs, fs_volume* volume);

// The root directory of an open volume, as a directory to walk.
fs_directory root_directory(const fs_volume& volume);
// The clusters of the subdirectory whose chain starts at start, read into
// new bytes (*out, its bytes owned by the caller); false after a message
// when the chain is broken (`name` names it) or memory runs out.
bool read_subdirectory(const fs_volume& volume, int32_t start, const char* name, fs_directory* out);

// Runs the check on an open volume from its root directory down, handing
// each fault to handler (may be null), and sizes N88-BASIC's files from
// their chains in sized (by the root's slots) when it is not null; the
// number of faults, or -1 after a message.
int32_t check_open_volume(const fs_volume& volume, d88_file_entry* sized, d88_finding_handler handler,
                          void* context);
// Follows the chain of a file: its clusters, and the sectors used of the
// last in *last_sectors; *faults counts what is wrong on the way.  A chain
// that loops or leaves the disk ends there.  owners (end_cluster entries,
// zero) takes the clusters passed.
int32_t follow_chain(const fs_volume& volume, const d88_file_entry& entry, int32_t* owners, int32_t* last_sectors,
                     int32_t* faults);
// The size the chain of a file holds: N88-BASIC keeps none in its entry.
int32_t chain_size(const fs_layout& layout, int32_t clusters, int32_t last_sectors);
// Whether cluster c can take data: free in the FAT, and all its sectors
// there.  The free clusters are those that can.
bool is_usable_free_cluster(const fs_volume& volume, int32_t c);
int32_t count_free_clusters(const fs_volume& volume);

#endif
