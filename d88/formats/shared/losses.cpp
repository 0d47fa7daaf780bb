// losses.cpp -- what a format cannot carry, handed on as findings.
#include "losses.h"

#include <cstdarg>
#include <cstdio>

#include "core/layout.h"

void report_loss(loss_report* report, d88_finding_kind kind, int32_t slot, int32_t index, const d88_sector* sector,
                 const char* format, ...)
{
    char message[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    const int32_t severity = d88_finding_kind_severity(kind);
    report->losses += severity == D88_FINDING_ERROR;
    const d88_finding finding = {severity, d88_finding_kind_name(kind), 0, slot, index,
                                 sector != nullptr ? sector->c : -1, sector != nullptr ? sector->h : -1,
                                 sector != nullptr ? sector->r : -1, -1, message, kind};
    if (report->handler != nullptr)
        report->handler(&finding, report->context);
}

namespace {

bool is_recorded(const d88_sector& s, sector_reach reach)
{
    const bool deleted = s.deleted_mark == D88_STATUS_DELETED;
    if (s.deleted_mark != 0 && !deleted)
        return false;
    switch (s.status) {
    case D88_STATUS_OK:
        return !deleted;
    case D88_STATUS_DELETED:
        return deleted;
    case D88_STATUS_DATA_CRC:
        return true;
    case D88_STATUS_ID_CRC:
        return reach.id_crc;
    case D88_STATUS_NO_DATA:
        return reach.no_data && !deleted && s.data_size == 0;
    default:
        return false;
    }
}

const char* media_name(uint8_t media)
{
    return media == D88_MEDIA_2HD ? "2HD" : media == D88_MEDIA_2DD ? "2DD" : media == D88_MEDIA_2D ? "2D" : "unknown";
}

}  // namespace

void check_recorded_sector(const d88_sector& s, int32_t slot, int32_t index, const char* name, sector_reach reach,
                           loss_report* report)
{
    const int32_t size = sector_size_of_code(s.n);
    const bool without_data = s.status == D88_STATUS_NO_DATA && s.data_size == 0;
    if (!is_recorded(s, reach))
        report_loss(report, s.deleted_mark != 0 && s.deleted_mark != D88_STATUS_DELETED ? D88_KIND_LOST_DELETED : D88_KIND_LOST_STATUS,
                    slot, index, &s, "status 0x%02X with deleted mark 0x%02X and %d bytes: %s records %s", s.status,
                    s.deleted_mark, static_cast<int>(s.data_size), name,
                    reach.id_crc ? "a deleted mark (0x10, status 0x10), a data or ID CRC error, a missing data field"
                                 : reach.no_data ? "a deleted mark (0x10, status 0x10), a data CRC error, a missing sector"
                                                 : "a deleted mark (0x10, status 0x10) and a data CRC error");
    if (size < 0)
        report_loss(report, D88_KIND_LOST_SIZE, slot, index, &s, "size code N %u stands for no size %s records", s.n, name);
    else if (s.data_size != size && !(without_data && reach.no_data))
        report_loss(report, D88_KIND_LOST_SIZE, slot, index, &s, "%d bytes of data where N %u stands for %d", static_cast<int>(s.data_size),
                    s.n, static_cast<int>(size));
}

bool check_track_density(const d88_track& track, int32_t slot, const char* name, loss_report* report)
{
    const bool fm = track.count > 0 && track.sectors[0].density == D88_SINGLE_DENSITY;
    for (int32_t i = 0; i < track.count; ++i) {
        const d88_sector& s = track.sectors[i];
        if (s.density != D88_SINGLE_DENSITY && s.density != D88_DOUBLE_DENSITY)
            report_loss(report, D88_KIND_LOST_DENSITY, slot, i, &s, "density 0x%02X: %s records FM (0x40) or MFM (0x00)", s.density,
                        name);
        else if ((s.density == D88_SINGLE_DENSITY) != fm)
            report_loss(report, D88_KIND_LOST_MIXED, slot, i, &s, "a %s sector in a track recorded in %s: %s has one density a track",
                        fm ? "double-density" : "single-density", fm ? "FM" : "MFM", name);
    }
    return fm;
}

void check_disk_fields(const d88_disk* disk, const char* name, bool keeps_name, bool keeps_protect, uint8_t media_read_back,
                       loss_report* report)
{
    if (!keeps_name && disk->name[0] != '\0' && disk->name[0] != ' ')
        report_loss(report, D88_KIND_LOST_NAME, -1, -1, nullptr, "%s has no place for the disk's name", name);
    if (!keeps_protect && disk->write_protect != D88_WRITABLE)
        report_loss(report, D88_KIND_LOST_PROTECT, -1, -1, nullptr, "%s has no place for the write protection", name);
    if (disk->disk_type != media_read_back)
        report_loss(report, D88_KIND_LOST_MEDIA, -1, -1, nullptr, "%s keeps no media byte: a %s disk of this shape reads back as %s",
                    name, media_name(disk->disk_type), media_name(media_read_back));
}
