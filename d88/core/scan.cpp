// scan.cpp -- checking an imperfect image: every fault at once.
//
// The scan follows the reader's rules, but where the reader stops at the
// first fault the scan reports it and goes on as far as the bytes allow: a
// bad header byte does not stop the disk, a track that cannot be located is
// skipped, a cut sector ends its track, a cut file ends its last disk.  An
// error is exactly what makes read_d88_image_from_buffer refuse the bytes.
// Positions are computed in 64 bits; nothing outside the bytes is read.
#include "d88.h"
#include "decode.h"
#include "standard_formats.h"
#include "layout.h"
#include "message.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// What the whole scan shares: the bytes, where findings go, the error
// count and what is kept.
struct scan_state {
    const uint8_t* bytes;
    int32_t size;
    d88_finding_handler handler;
    void* context;
    int32_t errors;
    d88_image* salvage;
    bool out_of_memory;
};

// Where a finding applies: disk, slot, sector index, the sector's ID (or
// null) and the record's offset in the file; -1 where none applies.
struct place {
    int32_t disk, slot, index;
    const d88_sector* id;
    int64_t offset;
};

constexpr place nowhere(int64_t offset)
{
    return {-1, -1, -1, nullptr, offset};
}

#if defined(__GNUC__)
void report(scan_state* scan, d88_finding_kind kind, const place& at, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
#endif

void report(scan_state* scan, d88_finding_kind kind, const place& at, const char* format, ...)
{
    const int32_t severity = d88_finding_kind_severity(kind);
    char message[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    scan->errors += severity == D88_FINDING_ERROR;
    if (scan->handler == nullptr)
        return;
    const d88_finding finding = {severity,
                                 d88_finding_kind_name(kind),
                                 at.disk,
                                 at.slot,
                                 at.index,
                                 at.id != nullptr ? at.id->c : -1,
                                 at.id != nullptr ? at.id->h : -1,
                                 at.id != nullptr ? at.id->r : -1,
                                 static_cast<int32_t>(at.offset),
                                 message,
                                 kind};
    scan->handler(&finding, scan->context);
}

// The meaning of the common FDC status bytes a dump records.
const char* status_meaning(uint8_t status)
{
    switch (status) {
    case D88_STATUS_DELETED: return "deleted data mark";
    case D88_STATUS_ID_CRC: return "ID CRC error";
    case D88_STATUS_DATA_CRC: return "data CRC error";
    case D88_STATUS_NO_ADDRESS: return "no address mark";
    case D88_STATUS_NO_DATA: return "no data mark";
    default: return "not a status the format names";
    }
}

// The warnings of a whole sector: a data size its N does not stand for, an
// ID seen before in its track, an error status.
void check_whole_sector(scan_state* scan, const place& at, const d88_sector& s, const d88_sector* before, int32_t found)
{
    const int32_t nominal = sector_size_of_code(s.n);
    if (nominal < 0)
        report(scan, D88_KIND_DATA_SIZE, at, "holds %d bytes of data; size code N %u stands for no size",
               static_cast<int>(s.data_size), s.n);
    else if (s.data_size != nominal)
        report(scan, D88_KIND_DATA_SIZE, at, "holds %d bytes of data, not the %d that size code N %u stands for",
               static_cast<int>(s.data_size), static_cast<int>(nominal), s.n);
    for (int32_t i = 0; i < found; ++i) {
        if (before[i].c == s.c && before[i].h == s.h && before[i].r == s.r) {
            report(scan, D88_KIND_DUPLICATE_ID, at, "has the ID of sector %d of its track; a look-up by ID finds that one",
                   static_cast<int>(i));
            break;
        }
    }
    if (s.status != 0)
        report(scan, D88_KIND_STATUS, at, "was read with status 0x%02X: %s", s.status, status_meaning(s.status));
}

// A slot of the disk being scanned: its offset and end in the disk, and
// where the disk starts in the file.
struct slot_bounds {
    int32_t disk, slot;
    int64_t disk_start, offset, end, bytes_left;  // bytes_left: from the disk's start to the end of the file
};

// Reads the sectors of one slot as long as they are whole: their headers
// always (a later sector's ID is compared with them), their data too when
// track is given, which then keeps them.  False only when memory runs out.
bool scan_sectors(scan_state* scan, const slot_bounds& b, int32_t count, d88_sector* kept, d88_track* track)
{
    const uint8_t* disk = scan->bytes + b.disk_start;
    const place slot_at = {b.disk, b.slot, -1, nullptr, b.disk_start + b.offset};
    int64_t position = b.offset;
    int32_t found = 0;
    for (; found < count; ++found) {
        if (!is_d88_sector_header_inside(position, b.end)) {
            if (position < b.end)
                report(scan, D88_KIND_SECTOR_DATA, {b.disk, b.slot, found, nullptr, b.disk_start + position},
                       "the sector header at 0x%08X is cut by the end of its track at 0x%08X",
                       static_cast<unsigned>(position), static_cast<unsigned>(b.end));
            report(scan, D88_KIND_SECTOR_COUNT, slot_at,
                   "the track counts %d sectors, but its bytes hold %d", static_cast<int>(count), static_cast<int>(found));
            break;
        }
        d88_sector& s = kept[found];
        const uint16_t stored_size = decode_d88_sector_header(disk + position, &s);
        const place at = {b.disk, b.slot, found, &s, b.disk_start + position};
        if (stored_size > D88_DATA_SIZE_MAX) {
            report(scan, D88_KIND_SECTOR_DATA, at, "the data size 0x%04X is 0x8000 or more",
                   static_cast<unsigned>(stored_size));
            break;
        }
        if (!is_d88_sector_inside(position, stored_size, b.end)) {
            report(scan, D88_KIND_SECTOR_DATA, at,
                   "its %d bytes of data pass the end of its track at 0x%08X", static_cast<int>(stored_size),
                   static_cast<unsigned>(b.end));
            break;
        }
        check_whole_sector(scan, at, s, kept, found);
        if (track != nullptr) {
            if (!copy_d88_sector_data(&s, disk + position + D88_SECTOR_HEADER_SIZE, stored_size))
                return false;
            track->count = found + 1;
        }
        position += D88_SECTOR_HEADER_SIZE + stored_size;
    }
    if (found == count && position < b.end)
        report(scan, D88_KIND_IGNORED_BYTES, {b.disk, b.slot, -1, nullptr, b.disk_start + position},
               "%d bytes after the track's last sector belong to no sector", static_cast<int>(b.end - position));
    return true;
}

// One slot: its first header, then its sectors, kept in track when it is
// given.  False only when memory runs out.
bool scan_track(scan_state* scan, const slot_bounds& b, d88_track* track)
{
    const uint8_t* first = scan->bytes + b.disk_start + b.offset;
    if (!is_d88_sector_header_inside(b.offset, b.bytes_left)) {
        report(scan, D88_KIND_SECTOR_DATA, {b.disk, b.slot, 0, nullptr, b.disk_start + b.offset},
               "the first sector header passes the end of the file");
        return true;
    }
    const int32_t count = decode_d88_track_count(first);
    if (count == 0) {
        if (!is_d88_empty_slot(first))
            report(scan, D88_KIND_SECTOR_COUNT, {b.disk, b.slot, -1, nullptr, b.disk_start + b.offset},
                   "the first sector header counts 0 sectors in the track, yet is not all zero");
        return true;  // an empty slot, or one that cannot be read
    }
    d88_sector* kept = static_cast<d88_sector*>(std::calloc(static_cast<size_t>(count), sizeof(d88_sector)));
    if (kept == nullptr)
        return false;
    if (track != nullptr)
        track->sectors = kept;
    const bool scanned = scan_sectors(scan, b, count, kept, track);
    if (track == nullptr || track->count == 0) {
        if (track != nullptr)
            track->sectors = nullptr;
        std::free(kept);
    }
    return scanned;
}

// The header's checks, in the reader's order but each one reported: the
// number of bytes the disk takes in the file.  The disk record, when
// given, gets the header's fields.
int64_t scan_header(scan_state* scan, int32_t index, int64_t start, int64_t left, d88_disk* disk)
{
    d88_disk header = {};
    decode_d88_disk_header(scan->bytes + start, &header);
    const place at = {index, -1, -1, nullptr, start};
    const int32_t stored = header.disk_size;
    const int64_t extent = is_d88_disk_size(stored, left) ? stored : left;
    if (stored < D88_HEADER_SIZE_160)
        report(scan, D88_KIND_DISK_SIZE, at,
               "the disk size 0x%08X is below the 672 bytes of a header; the disk is taken to end with the file",
               static_cast<unsigned>(stored));
    else if (stored > left)
        report(scan, D88_KIND_DISK_SIZE, at, "the disk size 0x%08X passes the end of the file at 0x%08X: the file is cut",
               static_cast<unsigned>(stored), static_cast<unsigned>(start + left));
    if (!is_d88_write_protect(header.write_protect))
        report(scan, D88_KIND_WRITE_PROTECT, at,
               "the write protect byte 0x%02X is neither 0x00 (writable) nor 0x10 (protected)", header.write_protect);
    if (!is_d88_media(header.disk_type))
        report(scan, D88_KIND_MEDIA, at, "the media byte 0x%02X is none of 0x00 (2D), 0x10 (2DD) and 0x20 (2HD)",
               header.disk_type);
    header.disk_size = static_cast<int32_t>(extent);
    if (disk != nullptr)
        *disk = header;
    return extent;
}

// Where an unusable track offset lies, in words.
const char* misplaced_offset(int32_t offset, bool cut)
{
    return offset < D88_HEADER_SIZE && offset >= 0 ? "inside the disk's header"
           : cut                                   ? "past the end of the cut file"
                                                   : "past the end of the disk";
}

// One disk from start, with `left` bytes from there to the end of the file:
// the number of bytes it takes, or -1 when memory runs out.  Offsets the
// reader refuses are reported and dropped from the table, so that they end
// no other track.
int64_t scan_disk(scan_state* scan, int32_t index, int64_t start, int64_t left, d88_disk* disk)
{
    const uint8_t* b = scan->bytes + start;
    const int64_t extent = scan_header(scan, index, start, left, disk);
    const int32_t room = static_cast<int32_t>(left);
    int32_t offsets[D88_TRACK_MAX];
    decode_d88_track_table(b, room, offsets);
    if (is_d88_short_header(offsets, room)) {
        report(scan, D88_KIND_SHORT_HEADER, {index, -1, -1, nullptr, start},
               "the disk has the short 672-byte header, with 160 track offsets");
        for (int32_t slot = D88_SHORT_TRACK_MAX; slot < D88_TRACK_MAX; ++slot)
            offsets[slot] = 0;
    }
    const bool cut = get_le32(b + D88_DISK_SIZE_AT) > left;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        if (offsets[slot] == 0 || is_d88_track_offset(offsets[slot], slot, extent))
            continue;
        report(scan, D88_KIND_TRACK_OFFSET, {index, slot, -1, nullptr, start + D88_TRACK_TABLE_AT + 4 * slot},
               "the track offset 0x%08X lies %s", static_cast<unsigned>(offsets[slot]), misplaced_offset(offsets[slot], cut));
        offsets[slot] = 0;
    }
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        if (offsets[slot] == 0)
            continue;
        for (int32_t other = 0; other < slot; ++other) {
            if (offsets[other] != offsets[slot])
                continue;
            report(scan, D88_KIND_SHARED_OFFSET, {index, slot, -1, nullptr, start + offsets[slot]},
                   "the track starts where slot %d's does: both are read from the same bytes", static_cast<int>(other));
            break;
        }
        const int32_t end = find_d88_track_end(offsets, slot, static_cast<int32_t>(extent));
        const slot_bounds bounds = {index, slot, start, offsets[slot], end, left};
        if (!scan_track(scan, bounds, disk != nullptr ? &disk->track[slot] : nullptr))
            return -1;
        if (disk != nullptr)
            disk->track_offset[slot] = offsets[slot];
    }
    return extent;
}

// A file that is no D88 image but has the size of a raw sector dump of
// standard formats (as d88disk import takes them): its first disk header
// makes no sense, and the scan says what the file is instead of listing
// the faults of a header that is not one.  True when it said so.
bool report_raw_dump(scan_state* scan)
{
    d88_disk header = {};
    if (scan->size < D88_HEADER_SIZE)
        return false;
    decode_d88_disk_header(scan->bytes, &header);
    if (is_d88_disk_size(header.disk_size, scan->size) && is_d88_write_protect(header.write_protect) &&
        is_d88_media(header.disk_type))
        return false;
    int32_t found[D88_FORMAT_COUNT];
    int32_t matches = 0;
    for (int32_t i = 0; i < D88_FORMAT_COUNT; ++i) {
        if (standard_data_size(i) == scan->size)
            found[matches++] = i;
    }
    char names[128] = "";
    for (int32_t i = 0; i < matches; ++i) {
        const size_t used = std::strlen(names);
        std::snprintf(names + used, sizeof names - used, "%s%s", i == 0 ? "" : i + 1 < matches ? ", " : " or ",
                      d88_format_table[found[i]].name);
    }
    if (matches > 0)
        report(scan, D88_KIND_RAW_DUMP, nowhere(-1),
               "no D88 image: its %d bytes are a raw sector dump of format %s; d88disk import %s FILE OUT makes a D88 "
               "image of it",
               static_cast<int>(scan->size), names, matches == 1 ? names : "FORMAT");
    return matches > 0;
}

}  // namespace

int32_t scan_d88_image(const uint8_t* buffer, int32_t size, d88_finding_handler handler, void* context,
                       d88_image* salvage)
{
    if ((buffer == nullptr && size > 0) || size < 0) {
        print_d88_line("scan_d88_image: illegal parameter");
        return -1;
    }
    scan_state scan = {buffer, size, handler, context, 0, salvage, false};
    if (salvage != nullptr)
        *salvage = d88_image{0, nullptr};
    if (size == 0)
        report(&scan, D88_KIND_FILE, nowhere(-1), "the file is empty");
    if (report_raw_dump(&scan))
        return scan.errors;
    int64_t position = 0;
    for (int32_t index = 0; position < size; ++index) {
        const int64_t left = size - position;
        if (!has_d88_disk_room(left)) {
            report(&scan, D88_KIND_TRAILING_BYTES, nowhere(position),
                   "%lld bytes after the last disk are too few for a disk; the reader ignores them",
                   static_cast<long long>(left));
            break;
        }
        d88_disk* disk = nullptr;
        if (salvage != nullptr && (disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)))) == nullptr) {
            scan.out_of_memory = true;
            break;
        }
        const int64_t extent = scan_disk(&scan, index, position, left, disk);
        if (disk != nullptr)
            append_d88_disk(salvage, disk);
        if (extent < 0) {
            scan.out_of_memory = true;
            break;
        }
        position += extent;
    }
    if (scan.out_of_memory) {
        print_d88_line("memory exhaust!");
        free_d88_image(salvage, 0);
        return -1;
    }
    return scan.errors;
}
