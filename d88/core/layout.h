// layout.h -- where each field of a D88 disk header and of a sector header
// lies, the values its bytes take, and the rules every part of the library
// and the programs built beside it shares: a sector's size from its size
// code, the status bytes a dump records, the media class of a geometry.
// Private to the library and the programs built beside it.
#ifndef D88_CORE_LAYOUT_H
#define D88_CORE_LAYOUT_H

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
constexpr uint8_t D88_DOUBLE_DENSITY = 0x00;
constexpr uint8_t D88_SINGLE_DENSITY = 0x40;

// The largest data size a sector record may hold.
constexpr int32_t D88_DATA_SIZE_MAX = 0x7FFF;

// The status bytes a dump records, as a floppy controller reports a
// sector: read whole, with a deleted data mark, with a CRC error in its ID
// or its data, without an address mark, without a data mark.
constexpr uint8_t D88_STATUS_OK = 0x00;
constexpr uint8_t D88_STATUS_DELETED = 0x10;
constexpr uint8_t D88_STATUS_ID_CRC = 0xA0;
constexpr uint8_t D88_STATUS_DATA_CRC = 0xB0;
constexpr uint8_t D88_STATUS_NO_ADDRESS = 0xE0;
constexpr uint8_t D88_STATUS_NO_DATA = 0xF0;

// The largest size code a sector of a real disk has: 16384 bytes.
constexpr uint8_t D88_SIZE_CODE_MAX = 7;

// The bytes size code n stands for: 128 << n; -1 for a size code past 7,
// which stands for none.
constexpr int32_t sector_size_of_code(uint32_t n)
{
    return n <= D88_SIZE_CODE_MAX ? 128 << n : -1;
}

// The size code whose bytes are exactly size, or -1.
constexpr int32_t size_code_of_size(int32_t size)
{
    for (uint8_t n = 0; n <= D88_SIZE_CODE_MAX; ++n) {
        if (sector_size_of_code(n) == size)
            return n;
    }
    return -1;
}

// The media of a disk from its geometry: high density (a 500 kbit/s rate,
// or tracks of more than 9 x 512 bytes) is 2HD, else more than 42
// cylinders are 2DD, fewer 2D.
constexpr uint8_t media_of_geometry(bool high_density, int32_t cylinders)
{
    return high_density ? D88_MEDIA_2HD : cylinders > 42 ? D88_MEDIA_2DD : D88_MEDIA_2D;
}
constexpr int32_t DD_TRACK_BYTES_MAX = 9 * 512;

// Whether a 2HD track of `bytes` of data is of the 1.44 MB class (turning
// at 300 rpm, as the 9 x 1024 and 18 x 512 shapes do) rather than of the
// 1.2 MB class (8 x 1024 bytes at 360 rpm).
constexpr bool is_144_class_track(int32_t bytes)
{
    return bytes > 8 * 1024;
}

#endif
