// fs.h -- each file system's own code, as the volume layer calls it: its
// variant on a disk (found by its media and its marks; with `marks` false by
// the media alone, for formatting), its FAT links, its entries (a replaced
// one keeping what the file system keeps of the old file), and the bytes of
// an empty one.  Private to the library's file systems.
#ifndef D88_FS_FS_H
#define D88_FS_FS_H

#include "shared/sectors.h"

// The byte each one's format fills every sector with before it lays the
// empty file system down, and the bytes of an entry that ends a directory.
constexpr uint8_t N88_FORMAT_FILL = 0xFF;
constexpr uint8_t HU_FORMAT_FILL = 0xE5;
constexpr uint8_t FAT12_FORMAT_FILL = 0xE5;
constexpr uint8_t N88_END_FILL = 0xFF;
constexpr uint8_t HU_END_FILL = 0xFF;
constexpr uint8_t FAT12_END_FILL = 0x00;

bool find_n88_layout(d88_disk* disk, bool marks, fs_layout* layout);
cluster_link get_n88_link(const fs_volume& volume, int32_t cluster);
void set_n88_link(fs_volume* volume, int32_t cluster, cluster_link link);
entry_use decode_n88_entry(const uint8_t* raw, d88_file_entry* entry);
void encode_n88_entry(uint8_t* raw, int32_t type, int32_t start, bool replacing);
void format_n88_volume(fs_volume* volume);
void mark_n88_deleted(uint8_t* raw);

bool find_hu_layout(d88_disk* disk, bool marks, fs_layout* layout);
cluster_link get_hu_link(const fs_volume& volume, int32_t cluster);
void set_hu_link(fs_volume* volume, int32_t cluster, cluster_link link);
entry_use decode_hu_entry(const uint8_t* raw, d88_file_entry* entry);
// A text file: its entry's size is 0, its text runs to 0x1A.
bool is_hu_text(const uint8_t* raw);
void encode_hu_entry(uint8_t* raw, int32_t size, int32_t start, const d88_file_options& options, bool replacing);
void format_hu_volume(fs_volume* volume);
void mark_hu_deleted(uint8_t* raw);
bool read_hu_boot_entry(const fs_volume& volume, d88_file_entry* entry);

bool find_fat12_layout(d88_disk* disk, bool marks, fs_layout* layout);
cluster_link get_fat12_link(const fs_volume& volume, int32_t cluster);
void set_fat12_link(fs_volume* volume, int32_t cluster, cluster_link link);
entry_use decode_fat12_entry(const uint8_t* raw, d88_file_entry* entry);
void encode_fat12_entry(uint8_t* raw, int32_t size, int32_t start, const d88_file_options& options, bool replacing);
void format_fat12_volume(fs_volume* volume, d88_sector* boot);
void mark_fat12_deleted(uint8_t* dir, int32_t index);

#endif
