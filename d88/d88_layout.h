// d88_layout.h -- where each field of a D88 disk header and of a sector
// header lies, and the values the header's bytes take.  Private to the
// library and the programs built beside it.
#ifndef D88_D88_LAYOUT_H
#define D88_D88_LAYOUT_H

#include <cstdint>

// The disk header; offsets from the disk's first byte.
constexpr int32_t D88_NAME_AT = 0x00;           // 17 bytes: 16 and a zero
constexpr int32_t D88_NAME_SIZE = 17;
constexpr int32_t D88_RESERVED_AT = 0x11;       // 9 bytes
constexpr int32_t D88_WRITE_PROTECT_AT = 0x1A;
constexpr int32_t D88_MEDIA_AT = 0x1B;
constexpr int32_t D88_DISK_SIZE_AT = 0x1C;      // u32
constexpr int32_t D88_TRACK_TABLE_AT = 0x20;    // u32 per slot
constexpr int32_t D88_SHORT_TRACK_MAX = 160;    // slots of the 672-byte header

// Write protection and media bytes the reader accepts.
constexpr uint8_t D88_WRITABLE = 0x00;
constexpr uint8_t D88_PROTECTED = 0x10;
constexpr uint8_t D88_MEDIA_2D = 0x00;
constexpr uint8_t D88_MEDIA_2DD = 0x10;
constexpr uint8_t D88_MEDIA_2HD = 0x20;

// The sector header; offsets from its first byte.
constexpr int32_t D88_SECTOR_C_AT = 0;
constexpr int32_t D88_SECTOR_H_AT = 1;
constexpr int32_t D88_SECTOR_R_AT = 2;
constexpr int32_t D88_SECTOR_N_AT = 3;
constexpr int32_t D88_SECTOR_COUNT_AT = 4;      // u16
constexpr int32_t D88_DENSITY_AT = 6;
constexpr int32_t D88_DELETED_AT = 7;
constexpr int32_t D88_STATUS_AT = 8;
constexpr int32_t D88_SECTOR_RESERVED_AT = 9;   // 5 bytes
constexpr int32_t D88_DATA_SIZE_AT = 14;        // u16
constexpr uint8_t D88_SINGLE_DENSITY = 0x40;

// The largest data size a sector record may hold.
constexpr int32_t D88_DATA_SIZE_MAX = 0x7FFF;

#endif
