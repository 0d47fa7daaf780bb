// info.cpp -- d88disk info: what an image holds, disk by disk, as text or
// as one JSON document.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text.h"
#include "core/layout.h"
#include "core/message.h"
#include "d88disk.h"
#include "report.h"

namespace {

const char* media_name(uint8_t disk_type)
{
    switch (disk_type) {
    case D88_MEDIA_2D: return "2D";
    case D88_MEDIA_2DD: return "2DD";
    case D88_MEDIA_2HD: return "2HD";
    default: return "?";
    }
}

int count_tracks(const d88_disk* disk)
{
    int present = 0;
    for (const d88_track& track : disk->track)
        present += track.sectors != nullptr;
    return present;
}

// Prints UTF-8 text padded with spaces to `width` columns of a terminal: a
// character of three bytes (kana, kanji) takes two, but for the half-width
// katakana (EF BD A1 to EF BE 9F).
void print_padded(const char* text, int width)
{
    int columns = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != '\0'; ++p) {
        const bool half_width = p[0] == 0xEF && ((p[1] == 0xBD && p[2] >= 0xA1) || (p[1] == 0xBE && p[2] <= 0x9F));
        columns += (*p & 0xC0) == 0x80 ? 0 : *p >= 0xE0 && !half_width ? 2 : 1;
    }
    print_text("%s%*s", text, width > columns ? width - columns : 0, "");
}

// RR:N/bytes, or CC/HH/RR:N/bytes for a sector whose C or H is not the
// track's.
void print_sector_id(const d88_sector& s, const d88_sector& first)
{
    if (s.c != first.c || s.h != first.h)
        print_text(" %02X/%02X/%02X:%u/%d", s.c, s.h, s.r, s.n, static_cast<int>(s.data_size));
    else
        print_text(" %02X:%u/%d", s.r, s.n, static_cast<int>(s.data_size));
    if (s.deleted_mark == 0 && s.density != D88_SINGLE_DENSITY && s.status == 0)
        return;
    print_text("[%s%s", s.deleted_mark != 0 ? "D" : "", s.density == D88_SINGLE_DENSITY ? "S" : "");
    if (s.status != 0)
        print_text("!%02X", s.status);
    print_text("]");
}

void print_disk(int index, const d88_disk* disk, bool tracks)
{
    char name[SHOWN_NAME_SIZE];
    show_disk_name(disk, name);
    print_text("disk %d  ", index);
    print_padded(name, 16);
    print_text("  %-3s  %-9s  %8d bytes  %3d tracks\n", media_name(disk->disk_type),
                disk->write_protect != 0 ? "protected" : "writable", static_cast<int>(disk->disk_size),
                count_tracks(disk));
    for (int slot = 0; tracks && slot < D88_TRACK_MAX; ++slot) {
        const d88_track& track = disk->track[slot];
        if (track.sectors == nullptr)
            continue;
        print_text("  slot %3d  %02X/%02X  %2d sectors:", slot, track.sectors[0].c, track.sectors[0].h,
                    static_cast<int>(track.count));
        for (int32_t i = 0; i < track.count; ++i)
            print_sector_id(track.sectors[i], track.sectors[0]);
        print_text("\n");
    }
}

// The name as a JSON string (control bytes never reach it: they show as
// '.').
void print_json_name(const d88_disk* disk)
{
    char name[SHOWN_NAME_SIZE];
    show_disk_name(disk, name);
    print_json_string(name);
}

void print_json_disk(int index, const d88_disk* disk, bool tracks, bool first)
{
    print_text("%s\n    {\"index\": %d, \"name\": ", first ? "" : ",", index);
    print_json_name(disk);
    print_text(", \"media\": \"%s\", \"write_protected\": %s, \"size\": %d", media_name(disk->disk_type),
                disk->write_protect != 0 ? "true" : "false", static_cast<int>(disk->disk_size));
    if (tracks) {
        const char* separator = "";
        print_text(", \"tracks\": [");
        for (int slot = 0; slot < D88_TRACK_MAX; ++slot) {
            const d88_track& track = disk->track[slot];
            if (track.sectors == nullptr)
                continue;
            print_text("%s\n      {\"slot\": %d, \"sectors\": [", separator, slot);
            for (int32_t i = 0; i < track.count; ++i) {
                const d88_sector& s = track.sectors[i];
                print_text("%s{\"c\": %u, \"h\": %u, \"r\": %u, \"n\": %u, \"size\": %d, \"density\": %u, "
                            "\"deleted\": %u, \"status\": %u}",
                            i == 0 ? "" : ", ", s.c, s.h, s.r, s.n, static_cast<int>(s.data_size), s.density,
                            s.deleted_mark, s.status);
            }
            print_text("]}");
            separator = ",";
        }
        print_text("\n    ]");
    }
    print_text("}");
}

void print_hex_dump(const uint8_t* data, int32_t size)
{
    for (int32_t line = 0; line < size; line += 16) {
        print_text("%04X ", static_cast<unsigned>(line));
        char text[17] = {};
        for (int32_t i = 0; i < 16; ++i) {
            if (line + i < size) {
                const uint8_t b = data[line + i];
                print_text(" %02X", b);
                text[i] = b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
            } else {
                print_text("   ");
            }
        }
        print_text("  |%s|\n", text);
    }
}

// The sector that --sector or --slot/--index names; null after saying that
// there is none.
const d88_sector* find_shown_sector(d88_disk* disk, const command_line& line)
{
    if (line.sector) {
        const d88_sector* s = find_d88_sector(disk, static_cast<uint8_t>(line.c), static_cast<uint8_t>(line.h),
                                              static_cast<uint8_t>(line.r));
        if (s == nullptr)
            print_text("error: no sector %02X/%02X/%02X on disk %u of '%s'\n", line.c, line.h, line.r, line.disk,
                        line.words[0]);
        return s;
    }
    const d88_track* track = line.slot < D88_TRACK_MAX ? &disk->track[line.slot] : nullptr;
    if (track != nullptr && track->sectors != nullptr && line.index < static_cast<uint32_t>(track->count))
        return &track->sectors[line.index];
    print_text("error: no sector %u in slot %u on disk %u of '%s' (", line.index, line.slot, line.disk, line.words[0]);
    if (track == nullptr)
        print_text("slots run from 0 to %d)\n", D88_TRACK_MAX - 1);
    else
        print_text("the slot holds %d)\n", static_cast<int>(track->count));
    return nullptr;
}

int print_sector(d88_disk* disk, const command_line& line)
{
    const d88_sector* s = find_shown_sector(disk, line);
    if (s == nullptr)
        return 1;
    print_text("disk %u  ", line.disk);
    if (line.slot_given)
        print_text("slot %u  index %u  ", line.slot, line.index);
    print_text("sector %02X/%02X/%02X  N %u  %d bytes\n", s->c, s->h, s->r, s->n, static_cast<int>(s->data_size));
    print_hex_dump(s->data, s->data_size);
    return 0;
}

// Lists the disks (or disk N alone) as text or as JSON.
void print_disks(const d88_image& image, const command_line& line)
{
    if (line.json)
        print_text("{\"disks\": [");
    int index = 0, listed = 0;
    for (const d88_disk* disk = image.disks; disk != nullptr; disk = disk->next, ++index) {
        if (line.disk_given && static_cast<uint32_t>(index) != line.disk)
            continue;
        if (line.json)
            print_json_disk(index, disk, line.tracks, listed == 0);
        else
            print_disk(index, disk, line.tracks);
        ++listed;
    }
    if (line.json)
        print_text("\n]}\n");
}

}  // namespace

namespace {

// Whether path is a flux dump: a KryoFlux dump, or an SCP file by its
// content.
bool is_flux_file(const char* path)
{
    if (is_kryoflux_dump(path))
        return true;
    int32_t size = 0;
    const d88_message_route found = take_d88_messages([](const char*, void*) {}, nullptr);
    uint8_t* bytes = load_d88_file(path, &size);
    give_back_d88_messages(found);
    const bool scp = bytes != nullptr && detect_d88_file_format(bytes, size) == D88_FILE_SCP;
    std::free(bytes);
    return scp;
}

// A flux dump decoded into image, each track's facts said first (unless
// the listing is JSON); false after the reader's lines.
bool read_flux_info(const char* path, d88_image* image, bool json)
{
    kept_findings<d88_finding> found = {};
    flux_tracks* tracks = static_cast<flux_tracks*>(std::calloc(1, sizeof(flux_tracks)));
    const bool read = tracks != nullptr && read_flux_dump(path, image, &found, tracks);
    if (tracks == nullptr)
        print_text_line("error: memory exhausted!");
    if (read && !json)
        print_flux_tracks(*tracks);
    std::free(tracks);
    release_findings(&found);
    return read;
}

}  // namespace

int run_info(const command_line& line)
{
    const char* path = line.words[0];
    if (line.slot_given != line.index_given || (line.slot_given && line.sector)) {
        print_text_line("error: show one sector with --sector, or with --slot and --index together");
        return 1;
    }
    d88_image image = {};
    if (!(is_flux_file(path) ? read_flux_info(path, &image, line.json) : load_image(&image, path)))
        return 1;
    d88_disk* disk = get_d88_disk(&image, static_cast<int32_t>(line.disk));
    const bool one_sector = line.sector || line.slot_given;
    int status = 0;
    if (disk == nullptr && (line.disk_given || one_sector)) {
        print_text("error: no disk %u in '%s'\n", line.disk, path);
        status = 1;
    } else if (one_sector) {
        status = print_sector(disk, line);
    } else {
        print_disks(image, line);
    }
    free_d88_image(&image, 0);
    return status;
}
