// volume.h -- a file system opened on a disk for the operations of d88.h:
// the file system recognised or named, its FAT links and entries read
// through that file system's own code, its FAT copies and directory loaded
// and stored, and the check of its chains.  Private to the library's file
// systems.
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
// be opened, or has faults.
bool open_for_change(d88_disk* disk, int32_t fs, fs_volume* volume);

// Runs the check on an open volume, handing each fault to handler (may be
// null), and sizes N88-BASIC's files from their chains when entries is
// not null; the number of faults, or -1 after a message.
int32_t check_open_volume(const fs_volume& volume, d88_file_entry* entries, d88_finding_handler handler,
                          void* context);
// Follows the chain of entry index; its clusters (and the sectors used of
// the last in *last_sectors), each marked in owners with index + 1.  A
// fault found on the way is counted in *faults (and not handed on).
int32_t follow_chain(const fs_volume& volume, const d88_file_entry& entry, int32_t index, int32_t* owners,
                     int32_t* last_sectors, int32_t* faults);
// The size the chain of a file holds: N88-BASIC keeps none in its entry.
int32_t chain_size(const fs_layout& layout, int32_t clusters, int32_t last_sectors);
int32_t count_free_clusters(const fs_volume& volume);

#endif
