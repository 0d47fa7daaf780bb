// repair.cpp -- the repair of an imperfect image: each finding's change,
// said as it is made.
#include "repair.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/decode.h"
#include "core/layout.h"
#include "core/words.h"
#include "text.h"

namespace {

// What a repair does about each kind of finding; a kind not listed changes
// nothing (a data size, an ID, a status are kept as they are).
struct repair_action {
    d88_finding_kind kind;
    const char* action;
    bool loses;  // sectors, or a whole track, are not kept
};

constexpr repair_action ACTIONS[] = {
    {D88_KIND_DISK_SIZE, "the disk size is computed anew", false},
    {D88_KIND_WRITE_PROTECT, "the byte becomes 0x10 (protected)", false},
    {D88_KIND_TRACK_OFFSET, "the track cannot be located: it is lost", true},
    {D88_KIND_SECTOR_COUNT, "only the whole sectors the bytes hold are kept: the others are lost", true},
    {D88_KIND_SECTOR_DATA, "the sector is cut: it, and any after it in its track, are lost", true},
    {D88_KIND_TRAILING_BYTES, "they are dropped", false},
    {D88_KIND_IGNORED_BYTES, "they are dropped", false},
    {D88_KIND_SHARED_OFFSET, "the track is written as one of its own", false},
    {D88_KIND_SHORT_HEADER, "the disk gets the full 688-byte header", false},
};

// Says what the repair does about a finding.
void say_change(const d88_finding* f, void* context)
{
    repair_plan* repair = static_cast<repair_plan*>(context);
    char place[96];
    format_finding_place(*f, place, sizeof place);
    const char* separator = place[0] != '\0' ? ": " : "";
    if (f->kind_id == D88_KIND_RAW_DUMP) {
        repair->raw_dump = true;
        print_text("%s\n", f->message);
        return;
    }
    if (f->kind_id == D88_KIND_MEDIA) {
        repair->unknown_media += 1;
        if (repair->media >= 0)
            print_text("%s%s%s -- the byte becomes 0x%02X\n", place, separator, f->message, static_cast<unsigned>(repair->media));
        else
            print_text("%s%s%s -- give --media 2D, 2DD or 2HD to say which it is\n", place, separator, f->message);
        return;
    }
    for (const repair_action& action : ACTIONS) {
        if (f->kind_id != action.kind)
            continue;
        print_text("%s%s%s -- %s\n", place, separator, f->message, action.action);
        repair->changes += 1;
        repair->losses += action.loses;
    }
}


// Makes the header bytes of every kept disk ones the reader accepts.
void fix_headers(d88_image* image, int32_t media)
{
    for (d88_disk* disk = image->disks; disk != nullptr; disk = disk->next) {
        if (disk->write_protect != D88_WRITABLE)
            disk->write_protect = D88_PROTECTED;
        if (!is_d88_media(disk->disk_type))
            disk->disk_type = static_cast<uint8_t>(media);
    }
}

bool holds_tracks(const d88_image& image)
{
    for (const d88_disk* disk = image.disks; disk != nullptr; disk = disk->next) {
        for (const d88_track& track : disk->track) {
            if (track.sectors != nullptr)
                return true;
        }
    }
    return false;
}

// Whether what the scan kept may be written; false after saying why not.
// A repair that lost every track is no repair, even when forced.
bool may_write(const repair_plan& repair, const d88_image& kept, const char* image, bool force)
{
    if (repair.raw_dump)
        print_text("error: '%s' is a raw sector dump, not a D88 image; nothing written\n", image);
    else if (kept.disk_count == 0)
        print_text("error: '%s' holds no D88 disk; nothing written\n", image);
    else if (repair.unknown_media > 0 && repair.media < 0)
        print_text("error: %d %s of unknown media; nothing written (give --media)\n", static_cast<int>(repair.unknown_media),
                   repair.unknown_media == 1 ? "disk is" : "disks are");
    else if (repair.losses > 0 && !force)
        print_text("error: sectors are lost at %d %s listed above; nothing written (give --force to write the rest)\n",
                   static_cast<int>(repair.losses), repair.losses == 1 ? "place" : "places");
    else if (repair.losses > 0 && !holds_tracks(kept))
        print_text("error: no track of '%s' could be kept; nothing written\n", image);
    else
        return true;
    return false;
}

}  // namespace

// The media byte named by --media, or -1 after saying that there is none.
int32_t find_media(const char* name)
{
    const struct {
        const char* name;
        uint8_t byte;
    } media[] = {{"2D", D88_MEDIA_2D}, {"2DD", D88_MEDIA_2DD}, {"2HD", D88_MEDIA_2HD}};
    for (const auto& m : media) {
        if (is_same_word(name, m.name))
            return m.byte;
    }
    print_text("error: unknown media '%s' (2D, 2DD or 2HD)\n", name);
    return -1;
}

int32_t repair_d88_bytes(const uint8_t* bytes, int32_t size, const char* name, int32_t media, bool force, d88_image* kept)
{
    repair_plan repair = {media, 0, 0, 0, false};
    const int32_t errors = scan_d88_image(bytes, size, say_change, &repair, kept);
    if (errors < 0)
        return -1;
    if (repair.changes + repair.unknown_media == 0 && !repair.raw_dump)
        print_text("nothing to repair in '%s': it is written in the canonical layout\n", name);
    if (!may_write(repair, *kept, name, force)) {
        free_d88_image(kept, 0);
        return 1;
    }
    fix_headers(kept, repair.media);
    return 0;
}
