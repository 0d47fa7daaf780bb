// findings.cpp -- the kinds of finding: the one table of their stable
// names and the severity each is reported with.
#include "d88.h"

#include <iterator>

namespace {

struct kind_row {
    d88_finding_kind kind;
    const char* name;
    d88_severity severity;
};

constexpr kind_row KINDS[] = {
    {D88_KIND_FILE, "file", D88_FINDING_ERROR},
    {D88_KIND_DISK_SIZE, "disk-size", D88_FINDING_ERROR},
    {D88_KIND_WRITE_PROTECT, "write-protect", D88_FINDING_ERROR},
    {D88_KIND_MEDIA, "media", D88_FINDING_ERROR},
    {D88_KIND_TRACK_OFFSET, "track-offset", D88_FINDING_ERROR},
    {D88_KIND_SECTOR_COUNT, "sector-count", D88_FINDING_ERROR},
    {D88_KIND_SECTOR_DATA, "sector-data", D88_FINDING_ERROR},
    {D88_KIND_TRAILING_BYTES, "trailing-bytes", D88_FINDING_WARNING},
    {D88_KIND_IGNORED_BYTES, "ignored-bytes", D88_FINDING_WARNING},
    {D88_KIND_SHARED_OFFSET, "shared-offset", D88_FINDING_WARNING},
    {D88_KIND_DATA_SIZE, "data-size", D88_FINDING_WARNING},
    {D88_KIND_DUPLICATE_ID, "duplicate-id", D88_FINDING_WARNING},
    {D88_KIND_STATUS, "status", D88_FINDING_WARNING},
    {D88_KIND_SHORT_HEADER, "short-header", D88_FINDING_NOTE},
    {D88_KIND_RAW_DUMP, "raw-dump", D88_FINDING_ERROR},
    {D88_KIND_NO_IMAGE, "no-image", D88_FINDING_ERROR},
    {D88_KIND_NO_DISK, "no-disk", D88_FINDING_ERROR},
    {D88_KIND_NO_GAME_TRACK, "no-game-track", D88_FINDING_ERROR},
    {D88_KIND_ALREADY_COMPLETE, "already-complete", D88_FINDING_ERROR},
    {D88_KIND_FULL_TRACK, "full-track", D88_FINDING_ERROR},
    {D88_KIND_MISSING_SECTOR, "missing-sector", D88_FINDING_ERROR},
    {D88_KIND_SHORT_SECTOR, "short-sector", D88_FINDING_ERROR},
    {D88_KIND_SECTOR_STATUS, "sector-status", D88_FINDING_WARNING},
    {D88_KIND_DELETED, "deleted", D88_FINDING_WARNING},
    {D88_KIND_LOST_STATUS, "lost-status", D88_FINDING_ERROR},
    {D88_KIND_LOST_DELETED, "lost-deleted", D88_FINDING_ERROR},
    {D88_KIND_LOST_SIZE, "lost-size", D88_FINDING_ERROR},
    {D88_KIND_LOST_DENSITY, "lost-density", D88_FINDING_ERROR},
    {D88_KIND_LOST_MIXED, "lost-mixed", D88_FINDING_ERROR},
    {D88_KIND_LOST_ID, "lost-id", D88_FINDING_ERROR},
    {D88_KIND_LOST_GEOMETRY, "lost-geometry", D88_FINDING_ERROR},
    {D88_KIND_TRACK_TOO_LONG, "track-too-long", D88_FINDING_ERROR},
    {D88_KIND_LOST_NAME, "lost-name", D88_FINDING_NOTE},
    {D88_KIND_LOST_PROTECT, "lost-protect", D88_FINDING_NOTE},
    {D88_KIND_FAT_COPIES, "fat-copies", D88_FINDING_WARNING},
    {D88_KIND_CHAIN_LOOP, "chain-loop", D88_FINDING_WARNING},
    {D88_KIND_CHAIN_RANGE, "chain-range", D88_FINDING_WARNING},
    {D88_KIND_ENTRY_RANGE, "entry-range", D88_FINDING_WARNING},
    {D88_KIND_CROSS_LINK, "cross-link", D88_FINDING_WARNING},
    {D88_KIND_FILE_SIZE, "file-size", D88_FINDING_WARNING},
    {D88_KIND_FS_SECTOR, "fs-sector", D88_FINDING_WARNING},
    {D88_KIND_LOST_MEDIA, "lost-media", D88_FINDING_NOTE},
    {D88_KIND_READ_AS, "read-as", D88_FINDING_NOTE},
    {D88_KIND_WEAK, "weak", D88_FINDING_WARNING},
    {D88_KIND_NO_SECTOR, "no-sector", D88_FINDING_WARNING},
    {D88_KIND_RATE, "rate", D88_FINDING_WARNING},
};

static_assert(std::size(KINDS) == D88_KIND_COUNT, "every kind has a row");

constexpr bool rows_in_order()
{
    for (int i = 0; i < D88_KIND_COUNT; ++i) {
        if (KINDS[i].kind != i)
            return false;
    }
    return true;
}
static_assert(rows_in_order(), "a kind's row stands at its value");

constexpr const char* SEVERITIES[] = {"error", "warning", "note"};

}  // namespace

const char* d88_finding_kind_name(int32_t kind)
{
    return kind >= 0 && kind < D88_KIND_COUNT ? KINDS[kind].name : nullptr;
}

int32_t d88_finding_kind_severity(int32_t kind)
{
    return kind >= 0 && kind < D88_KIND_COUNT ? KINDS[kind].severity : -1;
}

const char* d88_severity_name(int32_t severity)
{
    return severity >= 0 && severity < static_cast<int32_t>(std::size(SEVERITIES)) ? SEVERITIES[severity] : nullptr;
}
