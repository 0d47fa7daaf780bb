// files.cpp -- the operations of d88.h on the files inside a disk: list,
// check, read, write, delete and format, over a volume opened on the disk.
// Each file system's own layout lives in its own file (n88, hu, fat12).
#include <cctype>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/message.h"
#include "core/words.h"
#include "fs.h"
#include "volume.h"

namespace {

constexpr const char* FS_NAMES[] = {"n88", "hu", "fat12"};
constexpr const char* TYPE_NAMES[] = {"file", "bin", "bas", "asc", "dir", "ipl", "label"};
constexpr uint8_t TEXT_END = 0x1A;  // where a text file of Hu-BASIC ends

// The bytes the chain of entry holds, read into a new buffer (*data_out):
// whole clusters, the last to the sectors it uses where the FAT keeps them
// (N88-BASIC, Hu-BASIC).  Their number; -1 when the chain is broken (no
// message: the check says it), -2 after a message when memory runs out.
int32_t read_chain(const fs_volume& volume, const d88_file_entry& entry, uint8_t** data_out)
{
    const fs_layout& layout = volume.layout;
    int32_t* owners = static_cast<int32_t*>(std::calloc(static_cast<size_t>(end_cluster(layout)), sizeof(int32_t)));
    int32_t last_sectors = 0, faults = 0;
    const int32_t clusters = owners != nullptr ? follow_chain(volume, entry, owners, &last_sectors, &faults) : 0;
    const int32_t held = clusters * cluster_bytes(layout);
    std::free(owners);
    uint8_t* data = owners != nullptr && faults == 0 ? static_cast<uint8_t*>(std::malloc(static_cast<size_t>(held) + 1))
                                                     : nullptr;
    if (owners == nullptr || (faults == 0 && data == nullptr)) {
        print_d88_line("memory exhaust!");
        return -2;
    }
    if (faults != 0)
        return -1;
    for (int32_t c = entry.start, copied = 0; copied < held; copied += cluster_bytes(layout)) {
        read_sectors(volume, first_lsn(layout, c), layout.cluster_sectors, data + copied);
        c = get_link(volume, c).value;
    }
    *data_out = data;
    return layout.fs == D88_FS_FAT12 ? held : chain_size(layout, clusters, last_sectors);
}

// Whether the entry raw is a Hu-BASIC text file whose size is its text's,
// to the end mark (a size in the entry, as S-OS writes, is taken as it is).
bool is_sized_by_end(const fs_layout& layout, const uint8_t* raw, const d88_file_entry& entry)
{
    return layout.fs == D88_FS_HU && entry.size == 0 && is_hu_text(raw);
}

// The size of a file whose chain holds `used` bytes of data: N88-BASIC's
// is its chain's, a Hu-BASIC text's runs to its end mark, the others' are
// kept in their entries.
int32_t file_size(const fs_layout& layout, const uint8_t* raw, const d88_file_entry& entry, const uint8_t* data,
                  int32_t used)
{
    if (layout.fs == D88_FS_N88)
        return used;
    if (!is_sized_by_end(layout, raw, entry))
        return entry.size;
    const void* end = used > 0 ? std::memchr(data, TEXT_END, static_cast<size_t>(used)) : nullptr;
    return end != nullptr ? static_cast<int32_t>(static_cast<const uint8_t*>(end) - data) : used;
}

// Sizes a Hu-BASIC text file to its end mark (left as it is when its chain
// is broken); false after a message when memory runs out.
bool size_text(const fs_volume& volume, const uint8_t* raw, d88_file_entry* entry)
{
    if (!is_sized_by_end(volume.layout, raw, *entry))
        return true;
    uint8_t* data = nullptr;
    const int32_t used = read_chain(volume, *entry, &data);
    if (used >= 0)
        entry->size = file_size(volume.layout, raw, *entry, data, used);
    std::free(data);
    return used != -2;
}

// Decodes the directory's entries into by_slot, and copies the files into
// listed, Hu-BASIC's IPL entry first, each sized as read_d88_file gives it;
// the whole file system is checked on the way (N88-BASIC's files sized from
// their chains when the directory is the root).  Their count, or -1 after a
// message.
int32_t collect_entries(const fs_volume& volume, const fs_directory& directory, d88_file_entry* by_slot,
                        d88_file_entry* listed, d88_finding_handler handler, void* context)
{
    const bool root = directory.start < 0;
    int32_t count = root && volume.layout.fs == D88_FS_HU && read_hu_boot_entry(volume, &listed[0]) ? 1 : 0;
    const int32_t slots = directory.size / volume.layout.entry_size;
    int32_t used = 0;
    while (used < slots && decode_entry(volume, directory.bytes + used * volume.layout.entry_size, &by_slot[used]) !=
                               ENTRY_END)
        ++used;
    if (check_open_volume(volume, root ? by_slot : nullptr, handler, context) < 0)
        return -1;
    for (int32_t i = 0; i < used; ++i) {
        if (!size_text(volume, directory.bytes + i * volume.layout.entry_size, &by_slot[i]))
            return -1;
        if (by_slot[i].name[0] != '\0')  // a file: others are decoded without a name
            listed[count++] = by_slot[i];
    }
    return count;
}

bool is_lead_byte(uint8_t b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The bytes of text (length bytes) that fit in room, whole characters
// (Shift_JIS where double_bytes) only.
size_t fitting(const char* text, size_t length, size_t room, bool double_bytes)
{
    size_t kept = 0;
    while (kept < length) {
        const size_t step = double_bytes && is_lead_byte(static_cast<uint8_t>(text[kept])) && kept + 1 < length ? 2 : 1;
        if (kept + step > room)
            break;
        kept += step;
    }
    return kept;
}

// Whether the bytes of text are characters a name of the file system
// holds (a double byte's second byte any).
bool is_name_part(const fs_layout& layout, const char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        const bool sound = layout.fs == D88_FS_N88     ? b != '.' && ((b >= 0x20 && b < 0x7F) || (b >= 0xA1 && b <= 0xDF))
                           : layout.fs == D88_FS_FAT12 ? b > 0x20 && std::strchr("\"*+,./:;<=>?[\\]|", b) == nullptr
                                                       : b >= 0x20 && b != '.';
        if (!sound)
            return false;
        i += layout.fs != D88_FS_N88 && is_lead_byte(b) && i + 1 < length;
    }
    return true;
}

// The padded name and extension an entry holds for name, or false after a
// message when the file system cannot hold it.  With fit, a name or
// extension too long is cut to the file system's sizes.
bool encode_entry_name(const fs_layout& layout, const char* name, bool fit, uint8_t* out)
{
    const char* dot = std::strrchr(name, '.');
    const bool double_bytes = layout.fs != D88_FS_N88;
    size_t base = dot != nullptr ? static_cast<size_t>(dot - name) : std::strlen(name);
    size_t ext = dot != nullptr ? std::strlen(dot + 1) : 0;
    if (fit) {
        base = fitting(name, base, static_cast<size_t>(layout.name_size), double_bytes);
        ext = dot != nullptr ? fitting(dot + 1, ext, static_cast<size_t>(layout.ext_size), double_bytes) : 0;
    }
    const bool fits = base >= 1 && base <= static_cast<size_t>(layout.name_size) &&
                      ext <= static_cast<size_t>(layout.ext_size);
    if (!fits || !is_name_part(layout, name, base) || (dot != nullptr && !is_name_part(layout, dot + 1, ext))) {
        char shown[24];
        printable_name(name, shown);
        print_d88_message("illegal name '%s': %s holds names of 1 to %d bytes%s%s\n", shown, layout.description,
                          layout.name_size, layout.ext_size > 0 ? " and an extension of up to 3" : "",
                          fits ? ", without the characters it refuses" : "");
        return false;
    }
    std::memset(out, ' ', static_cast<size_t>(layout.name_size + layout.ext_size));
    std::memcpy(out, name, base);
    if (ext > 0)
        std::memcpy(out + layout.name_size, dot + 1, ext);
    for (int32_t i = 0; layout.fs == D88_FS_FAT12 && i < layout.name_size + layout.ext_size; ++i) {
        if (is_lead_byte(out[i]))
            ++i;
        else
            out[i] = static_cast<uint8_t>(std::toupper(out[i]));
    }
    if (layout.fs == D88_FS_FAT12 && out[0] == 0xE5)
        out[0] = 0x05;
    return true;
}

// Whether an entry's name is the one padded (as encode_entry_name pads it):
// padding of 0x00 taken as spaces, and on FAT12 letters in any case, as
// Human68k stores lower case.
bool is_named(const fs_layout& layout, const uint8_t* field, const uint8_t* padded)
{
    const int32_t size = layout.name_size + layout.ext_size;
    for (int32_t i = 0; i < size; ++i) {
        const bool lead = layout.fs == D88_FS_FAT12 && is_lead_byte(padded[i]);  // its second byte is no letter
        const int byte = layout.fs == D88_FS_FAT12 && !lead ? std::toupper(field[i]) : field[i];
        if (byte != padded[i] && !(byte == 0x00 && padded[i] == ' '))
            return false;
        if (lead && i + 1 < size && field[i + 1] != padded[i + 1])
            return false;
        i += lead;
    }
    return true;
}

// The index of the file entry whose name is padded (as encode_entry_name
// pads it) in the directory, -1 when there is none.
int32_t find_entry(const fs_volume& volume, const fs_directory& directory, const uint8_t* padded,
                   d88_file_entry* entry)
{
    const fs_layout& layout = volume.layout;
    const int32_t count = directory.size / layout.entry_size;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* raw = directory.bytes + i * layout.entry_size;
        const entry_use use = decode_entry(volume, raw, entry);
        if (use == ENTRY_END)
            break;
        if (use == ENTRY_FILE && entry->type != D88_TYPE_LABEL && is_named(layout, raw + layout.name_at, padded))
            return i;
    }
    return -1;
}

// Enters the subdirectory at path (names joined by '/', from the root),
// for reading: FAT12's alone are entered.  *directory is the root, or new
// bytes owned by the caller.  False after a message.
bool enter_directory(const fs_volume& volume, const char* path, fs_directory* directory)
{
    *directory = root_directory(volume);
    for (const char* at = path; *at != '\0';) {
        const char* slash = std::strchr(at, '/');
        const size_t length = slash != nullptr ? static_cast<size_t>(slash - at) : std::strlen(at);
        char name[24];
        std::snprintf(name, sizeof name, "%.*s", static_cast<int>(length < sizeof name ? length : sizeof name - 1), at);
        char shown[24];
        printable_name(name, shown);
        uint8_t padded[16];
        d88_file_entry entry;
        if (volume.layout.fs != D88_FS_FAT12) {
            print_d88_message("illegal data: %s's subdirectories are not entered\n", volume.layout.description);
            return false;
        }
        // A name cut short here is longer than any FAT12 holds: refused.
        const int32_t index =
            encode_entry_name(volume.layout, name, false, padded) ? find_entry(volume, *directory, padded, &entry) : -2;
        const bool found = index >= 0 && entry.type == D88_TYPE_DIRECTORY && entry.start >= 0;
        if (index != -2 && !found)
            print_d88_message("no directory '%s'\n", shown);
        fs_directory inside = {};
        const bool entered = found && read_subdirectory(volume, entry.start, shown, &inside);
        if (directory->start >= 0)
            std::free(directory->bytes);
        *directory = entered ? inside : root_directory(volume);
        if (!entered)
            return false;
        at += slash != nullptr ? length + 1 : length;
    }
    return true;
}

void leave_directory(fs_directory* directory)
{
    if (directory->start >= 0)
        std::free(directory->bytes);
    *directory = {};
}

// Whether name leads into a subdirectory, where nothing is written; true
// after saying so.
bool refuse_path(const fs_layout& layout, const char* name)
{
    if (layout.fs != D88_FS_FAT12 || std::strchr(name, '/') == nullptr)
        return false;
    print_d88_line("illegal data: files are added and deleted in the root directory alone");
    return true;
}

// Finds the file name in an open volume: its entry's index in *directory
// (the root, or for reading a FAT12 subdirectory its name leads through:
// DIR/NAME), -1 when there is none, -2 after a message.  The caller leaves
// the directory.
int32_t locate_file(const fs_volume& volume, const char* name, bool change, fs_directory* directory,
                    d88_file_entry* entry)
{
    *directory = root_directory(volume);
    const char* slash = volume.layout.fs == D88_FS_FAT12 && !change ? std::strrchr(name, '/') : nullptr;
    if (change && refuse_path(volume.layout, name))
        return -2;
    if (slash != nullptr) {
        char path[256];
        if (slash - name >= static_cast<std::ptrdiff_t>(sizeof path))  // deeper than any directory a disk can hold
            return -1;
        std::snprintf(path, sizeof path, "%.*s", static_cast<int>(slash - name), name);
        if (!enter_directory(volume, path, directory))
            return -2;
        name = slash + 1;
    }
    uint8_t padded[16];
    if (!encode_entry_name(volume.layout, name, false, padded))
        return -2;
    return find_entry(volume, *directory, padded, entry);
}

// Opens the file system and finds the file name in it: its entry's index,
// or -1 after a message (also when it is none, or a directory).
int32_t open_file(d88_disk* disk, int32_t fs, const char* name, bool change, fs_volume* volume,
                  fs_directory* directory, d88_file_entry* entry)
{
    if (!(change ? open_for_change(disk, fs, volume) : open_volume(disk, fs, volume)))
        return -1;
    const int32_t index = locate_file(*volume, name, change, directory, entry);
    const bool file = index >= 0 && entry->type != D88_TYPE_DIRECTORY;
    const char* last = std::strrchr(name, '/');
    char shown[24];
    printable_name(last != nullptr && !change ? last + 1 : name, shown);
    if (index == -1 || (index >= 0 && !file))
        print_d88_message(index == -1 ? "file not found: '%s'\n" : "'%s' is a directory\n", shown);
    if (!file) {
        leave_directory(directory);
        close_volume(volume);
    }
    return file ? index : -1;
}

// Frees every cluster of the chain from start (which the check found
// sound).
void free_chain(fs_volume* volume, int32_t start)
{
    for (int32_t cluster = start; cluster >= 0;) {
        const cluster_link link = get_link(*volume, cluster);
        set_link(volume, cluster, {LINK_FREE, 0});
        cluster = link.state == LINK_NEXT ? link.value : -1;
    }
}

// The first entry free for a new file, or -1; *at_end when it is the
// directory's end (the entry after it then becomes the end).
int32_t find_free_entry(const fs_volume& volume, bool* at_end)
{
    const int32_t count = volume.dir_size / volume.layout.entry_size;
    for (int32_t i = 0; i < count; ++i) {
        d88_file_entry entry;
        const entry_use use = decode_entry(volume, volume.dir + i * volume.layout.entry_size, &entry);
        *at_end = use == ENTRY_END;
        if (use == ENTRY_FREE || use == ENTRY_END)
            return i;
    }
    return -1;
}

// Picks `count` free clusters whose sectors are all there, lowest first,
// into out; false when fewer are.
bool pick_clusters(const fs_volume& volume, int32_t count, int32_t* out)
{
    int32_t picked = 0;
    for (int32_t c = volume.layout.first_cluster; picked < count && c < end_cluster(volume.layout); ++c) {
        if (is_usable_free_cluster(volume, c))
            out[picked++] = c;
    }
    return picked == count;
}

// Writes size bytes of data into the clusters, padding the last sector
// used with fill, and links them into one chain.
void write_chain(fs_volume* volume, const int32_t* clusters, int32_t count, const uint8_t* data, int32_t size,
                 uint8_t fill)
{
    const fs_layout& layout = volume->layout;
    const int32_t sector_size = layout.sector_size;
    uint8_t sector[1024];
    for (int32_t i = 0; i < count; ++i) {
        const int32_t offset = i * cluster_bytes(layout);
        const int32_t bytes = size - offset < cluster_bytes(layout) ? size - offset : cluster_bytes(layout);
        const int32_t sectors = bytes > 0 ? (bytes + sector_size - 1) / sector_size : 1;
        for (int32_t s = 0; s < sectors; ++s) {
            const int32_t at = offset + s * sector_size;
            const int32_t part = size - at < sector_size ? (size - at > 0 ? size - at : 0) : sector_size;
            std::memset(sector, fill, static_cast<size_t>(sector_size));
            if (part > 0)
                std::memcpy(sector, data + at, static_cast<size_t>(part));
            write_sectors(*volume, first_lsn(layout, clusters[i]) + s, 1, sector);
        }
        set_link(volume, clusters[i], i + 1 < count ? cluster_link{LINK_NEXT, clusters[i + 1]}
                                                    : cluster_link{LINK_LAST, sectors});
    }
}

// Whether the options hold no date (year 0) or one of the calendar from
// 1900 to 2107.
bool is_date(const d88_file_options& o)
{
    return o.year == 0 || (o.year >= 1900 && o.year <= 2107 && o.day >= 1 && o.day <= days_in_month(o.year, o.month) &&
                           o.hour >= 0 && o.hour <= 23 && o.minute >= 0 && o.minute <= 59 && o.second >= 0 &&
                           o.second <= 59);
}

// Whether the options fit the file system; false after a message.  Its
// years: Hu-BASIC's two BCD digits are 1980 to 2079, FAT12's 1980 to 2107;
// N88-BASIC keeps no date.
bool check_options(const fs_layout& layout, const d88_file_options& options, int32_t size)
{
    const bool typed = options.type == 0 || (layout.fs == D88_FS_FAT12 ? options.type == D88_TYPE_PLAIN
                                                                        : options.type >= D88_TYPE_BINARY &&
                                                                              options.type <= D88_TYPE_ASCII);
    const bool addressed = layout.fs == D88_FS_HU || (options.load < 0 && options.exec < 0);
    if (!typed || !addressed || options.load > 0xFFFF || options.exec > 0xFFFF) {
        print_d88_message("illegal data: %s keeps no %s\n", layout.description,
                          !typed ? "such file type" : "load or exec address (or none above 0xFFFF)");
        return false;
    }
    const int32_t last_year = layout.fs == D88_FS_HU ? 2079 : 2107;
    if (layout.fs != D88_FS_N88 && options.year != 0 && (options.year < 1980 || options.year > last_year)) {
        print_d88_message("illegal data: %s keeps the years 1980 to %d, not %d\n", layout.description, last_year,
                          options.year);
        return false;
    }
    if (layout.fs == D88_FS_HU && options.type != D88_TYPE_ASCII && size > 0xFFFF) {
        print_d88_message("illegal data: %s holds files of up to 65535 bytes, not %d\n", layout.description, size);
        return false;
    }
    return true;
}

// A text for Hu-BASIC: data with its end mark after it, in a new buffer
// (*text_out, *size_out); the data's own mark at its end is taken as the
// end.  False after a message when a mark comes earlier, or memory runs
// out.
bool make_text(const uint8_t* data, int32_t size, const char* name, uint8_t** text_out, int32_t* size_out)
{
    const bool marked = size > 0 && data[size - 1] == TEXT_END;
    const void* early = size > 1 ? std::memchr(data, TEXT_END, static_cast<size_t>(size - 1)) : nullptr;
    if (early != nullptr) {
        print_d88_message("illegal data: '%s' holds the end mark 0x1A at byte %d: a text ends at its first\n", name,
                          static_cast<int32_t>(static_cast<const uint8_t*>(early) - data));
        return false;
    }
    if (!marked && size == INT32_MAX) {  // its end mark would not fit any disk, nor an int
        print_d88_message("illegal data: the disk is full: '%s' holds %d bytes\n", name, size);
        return false;
    }
    *size_out = marked ? size : size + 1;
    *text_out = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(*size_out)));
    if (*text_out == nullptr) {
        print_d88_line("memory exhaust!");
        return false;
    }
    if (size > 0)
        std::memcpy(*text_out, data, static_cast<size_t>(size));
    (*text_out)[*size_out - 1] = TEXT_END;
    return true;
}

// The write itself, on a volume open for a change: the old file of the
// name (old, or -1) replaced; name is the name as messages show it.
int32_t write_file(fs_volume* volume, const char* name, const uint8_t* padded, int32_t old,
                   const d88_file_entry& old_entry, const uint8_t* data, int32_t size, const d88_file_options& options)
{
    const fs_layout& layout = volume->layout;
    const int32_t clusters = size == 0 ? (layout.fs == D88_FS_FAT12 ? 0 : 1)
                                       : size / cluster_bytes(layout) + (size % cluster_bytes(layout) != 0);
    bool at_end = false;
    const int32_t slot = old >= 0 ? old : find_free_entry(*volume, &at_end);
    int32_t* picked = static_cast<int32_t*>(std::calloc(static_cast<size_t>(clusters) + 1, sizeof(int32_t)));
    if (picked == nullptr) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    if (old >= 0 && old_entry.start >= 0)
        free_chain(volume, old_entry.start);
    const int32_t free = count_free_clusters(*volume);
    const bool room = slot >= 0 && pick_clusters(*volume, clusters, picked);
    if (!room) {  // the volume's FAT is not stored: the old file stays
        if (slot < 0)
            print_d88_message("illegal data: the directory is full; '%s' has no entry\n", name);
        else
            print_d88_message("illegal data: the disk is full: '%s' needs %d cluster%s of %d bytes, %d %s free\n", name,
                              clusters, clusters == 1 ? "" : "s", cluster_bytes(layout), free,
                              free == 1 ? "is" : "are");
        std::free(picked);
        return -1;
    }
    const bool ascii = layout.fs == D88_FS_N88 && options.type == D88_TYPE_ASCII;
    write_chain(volume, picked, clusters, data, size, ascii ? 0x1A : 0x00);
    uint8_t* raw = volume->dir + slot * layout.entry_size;
    const int32_t slots = volume->dir_size / layout.entry_size;
    if (at_end && slot + 1 < slots)  // the directory's end, behind the new entry
        std::memset(raw + layout.entry_size, end_fill(layout.fs), static_cast<size_t>(layout.entry_size));
    std::memcpy(raw + layout.name_at, padded, static_cast<size_t>(layout.name_size + layout.ext_size));
    const int32_t start = clusters > 0 ? picked[0] : -1;
    if (layout.fs == D88_FS_N88)
        encode_n88_entry(raw, options.type, start, old >= 0);
    else if (layout.fs == D88_FS_HU)
        encode_hu_entry(raw, size, start, options, old >= 0);
    else
        encode_fat12_entry(raw, size, start, options, old >= 0);
    store_volume(*volume);
    std::free(picked);
    return 0;
}

// The options of a file replacing old (or a new one when old is null):
// the type and addresses not given are the old file's, else the file
// system's default type.
d88_file_options options_for(const fs_layout& layout, const d88_file_options& given, const d88_file_entry* old)
{
    d88_file_options chosen = given;
    if (chosen.type == 0 && layout.fs != D88_FS_FAT12)
        chosen.type = old != nullptr ? old->type : D88_TYPE_BINARY;
    if (old != nullptr && chosen.load < 0)
        chosen.load = old->load;
    if (old != nullptr && chosen.exec < 0)
        chosen.exec = old->exec;
    return chosen;
}

// Whether a sector's bytes are one value repeated (a blank sector).
bool is_blank(const d88_sector& sector)
{
    for (int32_t i = 1; i < sector.data_size; ++i) {
        if (sector.data[i] != sector.data[0])
            return false;
    }
    return true;
}

// The files of the root directory of file system fs on the disk (and
// Hu-BASIC's IPL entry), or -1 when the disk holds no such file system
// whole enough to tell; -2 after a message when memory runs out.
int32_t count_files(d88_disk* disk, int32_t fs)
{
    fs_layout layout = {};
    if (!find_layout(disk, fs, true, &layout))
        return -1;
    fs_volume volume = {disk, layout, nullptr, nullptr, 0, 0, 0};
    for (int32_t copy = 0; copy < layout.fat_copies; ++copy) {
        if (!has_sectors(volume, layout.fat_lsn + copy * layout.fat_sectors, layout.fat_sectors))
            return -1;
    }
    if (!has_sectors(volume, layout.dir_lsn, layout.dir_sectors))
        return -1;
    if (!load_volume(disk, layout, &volume))
        return -2;
    d88_file_entry entry;
    int32_t files = fs == D88_FS_HU && read_hu_boot_entry(volume, &entry) ? 1 : 0;
    for (int32_t i = 0; i < volume.dir_size / layout.entry_size; ++i) {
        const entry_use use = decode_entry(volume, volume.dir + i * layout.entry_size, &entry);
        if (use == ENTRY_END)
            break;
        files += use == ENTRY_FILE && entry.type != D88_TYPE_LABEL;
    }
    close_volume(&volume);
    return files;
}

}  // namespace

const char* d88_fs_name(int32_t fs)
{
    return fs >= 0 && fs < D88_FS_COUNT ? FS_NAMES[fs] : nullptr;
}

int32_t find_d88_fs(const char* name)
{
    for (int32_t fs = 0; name != nullptr && fs < D88_FS_COUNT; ++fs) {
        if (is_same_word(name, FS_NAMES[fs]))
            return fs;
    }
    return -1;
}

const char* d88_file_type_name(int32_t type)
{
    return type >= 0 && type < D88_TYPE_COUNT ? TYPE_NAMES[type] : nullptr;
}

int32_t d88_fs_format_fill(int32_t fs)
{
    return fs >= 0 && fs < D88_FS_COUNT ? format_fill(fs) : -1;
}

int32_t find_d88_fs_of_disk(d88_disk* disk)
{
    return disk != nullptr ? recognise_fs(disk) : -1;
}

const char* describe_d88_fs(d88_disk* disk, int32_t fs)
{
    fs_layout layout;
    return disk != nullptr && find_layout(disk, fs, true, &layout) ? layout.description : nullptr;
}

int32_t check_d88_files(d88_disk* disk, int32_t fs, d88_finding_handler handler, void* context)
{
    if (disk == nullptr || fs < -1 || fs >= D88_FS_COUNT) {
        print_d88_line("check_d88_files: illegal parameter");
        return -1;
    }
    fs_volume volume;
    if (!open_volume(disk, fs, &volume))
        return -1;
    const int32_t faults = check_open_volume(volume, nullptr, handler, context);
    close_volume(&volume);
    return faults;
}

int32_t list_d88_files(d88_disk* disk, int32_t fs, d88_file_entry** entries_out, int32_t* free_out,
                       d88_finding_handler handler, void* context)
{
    if (disk == nullptr || fs < -1 || fs >= D88_FS_COUNT || entries_out == nullptr) {
        print_d88_line("list_d88_files: illegal parameter");
        return -1;
    }
    return list_d88_directory(disk, fs, "", entries_out, free_out, handler, context);
}

int32_t list_d88_directory(d88_disk* disk, int32_t fs, const char* directory, d88_file_entry** entries_out,
                           int32_t* free_out, d88_finding_handler handler, void* context)
{
    if (disk == nullptr || fs < -1 || fs >= D88_FS_COUNT || directory == nullptr || entries_out == nullptr) {
        print_d88_line("list_d88_directory: illegal parameter");
        return -1;
    }
    fs_volume volume;
    fs_directory listed_directory = {};
    if (!open_volume(disk, fs, &volume))
        return -1;
    if (!enter_directory(volume, directory, &listed_directory)) {
        close_volume(&volume);
        return -1;
    }
    const size_t slots = static_cast<size_t>(listed_directory.size / volume.layout.entry_size);
    d88_file_entry* by_slot = static_cast<d88_file_entry*>(std::calloc(slots, sizeof(d88_file_entry)));
    d88_file_entry* listed = static_cast<d88_file_entry*>(std::calloc(slots + 1, sizeof(d88_file_entry)));
    const bool allocated = by_slot != nullptr && listed != nullptr;
    const int32_t count =
        allocated ? collect_entries(volume, listed_directory, by_slot, listed, handler, context) : -1;
    if (!allocated)
        print_d88_line("memory exhaust!");
    if (free_out != nullptr)
        *free_out = count_free_clusters(volume) * cluster_bytes(volume.layout);
    leave_directory(&listed_directory);
    close_volume(&volume);
    std::free(by_slot);
    if (count < 0) {
        std::free(listed);
        return -1;
    }
    *entries_out = listed;
    return count;
}

int32_t find_d88_file(d88_disk* disk, int32_t fs, const char* name, d88_file_entry* entry_out)
{
    if (disk == nullptr || fs < -1 || fs >= D88_FS_COUNT || name == nullptr) {
        print_d88_line("find_d88_file: illegal parameter");
        return -1;
    }
    fs_volume volume;
    fs_directory directory = {};
    d88_file_entry entry;
    if (!open_volume(disk, fs, &volume))
        return -1;
    const int32_t index = locate_file(volume, name, false, &directory, &entry);
    bool whole = index != -2;
    if (index >= 0 && volume.layout.fs == D88_FS_N88) {  // sized from its chain, as listed
        uint8_t* data = nullptr;
        const int32_t used = read_chain(volume, entry, &data);
        entry.size = used >= 0 ? used : entry.size;
        whole = used != -2;
        std::free(data);
    }
    whole = whole && (index < 0 || size_text(volume, directory.bytes + index * volume.layout.entry_size, &entry));
    leave_directory(&directory);
    close_volume(&volume);
    if (whole && index >= 0 && entry_out != nullptr)
        *entry_out = entry;
    return !whole ? -1 : index >= 0 ? 1 : 0;
}

int32_t make_d88_file_name(d88_disk* disk, int32_t fs, const char* name, int32_t fit, char* name_out)
{
    if (disk == nullptr || fs < -1 || fs >= D88_FS_COUNT || name == nullptr || name_out == nullptr) {
        print_d88_line("make_d88_file_name: illegal parameter");
        return -1;
    }
    fs_volume volume;
    if (!open_volume(disk, fs, &volume))
        return -1;
    uint8_t raw[64] = {};
    const bool made = encode_entry_name(volume.layout, name, fit != 0, raw + volume.layout.name_at);
    if (made)
        decode_entry_name(volume.layout, raw, name_out);
    close_volume(&volume);
    return made ? 0 : -1;
}

int32_t read_d88_file(d88_disk* disk, int32_t fs, const char* name, uint8_t** data_out, int32_t* size_out)
{
    if (disk == nullptr || fs < -1 || fs >= D88_FS_COUNT || name == nullptr || data_out == nullptr ||
        size_out == nullptr) {
        print_d88_line("read_d88_file: illegal parameter");
        return -1;
    }
    fs_volume volume;
    fs_directory directory = {};
    d88_file_entry entry;
    const int32_t index = open_file(disk, fs, name, false, &volume, &directory, &entry);
    if (index < 0)
        return -1;
    uint8_t* data = nullptr;
    const int32_t used = read_chain(volume, entry, &data);
    const uint8_t* raw = directory.bytes + index * volume.layout.entry_size;
    const int32_t size = used >= 0 ? file_size(volume.layout, raw, entry, data, used) : -1;
    const bool whole = size >= 0 && size <= used;
    if (used == -1 || (used >= 0 && !whole))
        print_d88_message("illegal data: the chain of '%s' is broken (see d88disk check)\n", entry.name);
    leave_directory(&directory);
    close_volume(&volume);
    if (!whole) {
        std::free(data);
        return -1;
    }
    *data_out = data;
    *size_out = size;
    return 0;
}

int32_t write_d88_file(d88_disk* disk, int32_t fs, const char* name, const uint8_t* data, int32_t size,
                       const d88_file_options* options)
{
    const d88_file_options plain = {0, -1, -1, 0, 0, 0, 0, 0, 0};
    if (disk == nullptr || fs < -1 || fs >= D88_FS_COUNT || name == nullptr || size < 0 ||
        (data == nullptr && size > 0) || (options != nullptr && !is_date(*options))) {
        print_d88_line("write_d88_file: illegal parameter");
        return -1;
    }
    fs_volume volume;
    if (!open_for_change(disk, fs, &volume))
        return -1;
    uint8_t padded[16];
    d88_file_entry old_entry = {};
    int32_t result = -1;
    char shown[24];
    printable_name(name, shown);
    const fs_directory root = root_directory(volume);
    const int32_t old = !refuse_path(volume.layout, name) && encode_entry_name(volume.layout, name, false, padded)
                            ? find_entry(volume, root, padded, &old_entry)
                            : -2;
    const d88_file_options chosen =
        options_for(volume.layout, options != nullptr ? *options : plain, old >= 0 ? &old_entry : nullptr);
    const bool text = volume.layout.fs == D88_FS_HU && chosen.type == D88_TYPE_ASCII;
    uint8_t* marked = nullptr;
    int32_t marked_size = size;
    if (old == -2 || !check_options(volume.layout, chosen, size)) {
        // said
    } else if (old >= 0 && old_entry.type == D88_TYPE_DIRECTORY) {
        print_d88_message("illegal data: '%s' is a directory\n", shown);
    } else if (!text || make_text(data, size, shown, &marked, &marked_size)) {
        result = write_file(&volume, shown, padded, old, old_entry, text ? marked : data, marked_size, chosen);
    }
    std::free(marked);
    close_volume(&volume);
    return result;
}

int32_t delete_d88_file(d88_disk* disk, int32_t fs, const char* name)
{
    if (disk == nullptr || fs < -1 || fs >= D88_FS_COUNT || name == nullptr) {
        print_d88_line("delete_d88_file: illegal parameter");
        return -1;
    }
    fs_volume volume;
    fs_directory directory = {};
    d88_file_entry entry;
    const int32_t index = open_file(disk, fs, name, true, &volume, &directory, &entry);
    if (index < 0)
        return -1;
    if (entry.start >= 0)
        free_chain(&volume, entry.start);
    uint8_t* raw = volume.dir + index * volume.layout.entry_size;
    if (volume.layout.fs == D88_FS_N88)
        mark_n88_deleted(raw);
    else if (volume.layout.fs == D88_FS_HU)
        mark_hu_deleted(raw);
    else
        mark_fat12_deleted(volume.dir, index);
    store_volume(volume);
    close_volume(&volume);
    return 0;
}

int32_t find_d88_disk_contents(d88_disk* disk, d88_disk_contents* contents)
{
    if (disk == nullptr || contents == nullptr) {
        print_d88_line("find_d88_disk_contents: illegal parameter");
        return -1;
    }
    *contents = {recognise_fs(disk), -1, 0, -1, -1, -1};
    for (int32_t fs = 0; fs < D88_FS_COUNT; ++fs) {
        const int32_t files = contents->fs == fs || contents->fs == -2 ? count_files(disk, fs) : -1;
        if (files == -2)
            return -1;
        contents->files = files > contents->files ? files : contents->files;
    }
    for (int32_t slot = 0; contents->files < 0 && slot < D88_TRACK_MAX; ++slot) {
        const d88_track& track = disk->track[slot];
        for (int32_t i = 0; i < track.count; ++i) {
            const d88_sector& sector = track.sectors[i];
            if (is_blank(sector))
                continue;
            if (contents->sectors++ == 0) {
                contents->c = sector.c;
                contents->h = sector.h;
                contents->r = sector.r;
            }
        }
    }
    return contents->files > 0 || contents->sectors > 0 ? 1 : 0;
}

int32_t format_d88_files(d88_disk* disk, int32_t fs)
{
    if (disk == nullptr || fs < 0 || fs >= D88_FS_COUNT) {
        print_d88_line("format_d88_files: illegal parameter");
        return -1;
    }
    fs_layout layout = {};
    fs_volume volume = {};
    const bool fits = find_layout(disk, fs, false, &layout);
    const int32_t lsn_count = layout.cylinders * layout.heads * layout.sectors;
    // N88-BASIC leaves cylinder 0 head 0 alone: on 2HD it is single density.
    const int32_t first = fs == D88_FS_N88 ? layout.sectors : 0;
    if (!fits || !has_sectors({disk, layout, nullptr, nullptr, 0, 0, 0}, first, lsn_count - first)) {
        print_d88_message("illegal data: the disk's tracks are those of no %s disk\n", fs_title(fs));
        return -1;
    }
    volume = {disk, layout, nullptr, nullptr, layout.fat_sectors * layout.sector_size,
              layout.dir_sectors * layout.sector_size, 0};
    volume.fat = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(volume.fat_size)));
    volume.dir = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(volume.dir_size)));
    if (volume.fat == nullptr || volume.dir == nullptr) {
        print_d88_line("memory exhaust!");
        close_volume(&volume);
        return -1;
    }
    // As the machine formats: every sector filled, then the file system.
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        for (int32_t i = 0; i < disk->track[slot].count; ++i) {
            const d88_sector& sector = disk->track[slot].sectors[i];
            if (sector.data != nullptr)
                std::memset(sector.data, format_fill(fs), static_cast<size_t>(sector.data_size));
        }
    }
    if (fs == D88_FS_N88)
        format_n88_volume(&volume);
    else if (fs == D88_FS_HU)
        format_hu_volume(&volume);
    else
        format_fat12_volume(&volume, find_fs_sector(volume, 0));
    store_volume(volume);
    close_volume(&volume);
    return 0;
}
