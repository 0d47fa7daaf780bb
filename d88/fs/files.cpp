// files.cpp -- the operations of d88.h on the files inside a disk: list,
// check, read, write, delete and format, over a volume opened on the disk.
// Each file system's own layout lives in its own file (n88, hu, fat12).
#include <cctype>
#include <cstdarg>
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

// Decodes the directory's entries into by_slot, sizing N88-BASIC's files
// from their chains as the check follows them, and copies the files into
// listed, Hu-BASIC's IPL entry first; their count, or -1 after a message.
int32_t collect_entries(const fs_volume& volume, d88_file_entry* by_slot, d88_file_entry* listed,
                        d88_finding_handler handler, void* context)
{
    int32_t count = volume.layout.fs == D88_FS_HU && read_hu_boot_entry(volume, &listed[0]) ? 1 : 0;
    const int32_t slots = volume.dir_size / volume.layout.entry_size;
    int32_t used = 0;
    while (used < slots && decode_entry(volume, volume.dir + used * volume.layout.entry_size, &by_slot[used]) != ENTRY_END)
        ++used;
    if (check_open_volume(volume, by_slot, handler, context) < 0)
        return -1;
    for (int32_t i = 0; i < used; ++i) {
        if (by_slot[i].name[0] != '\0')  // a file: others are decoded without a name
            listed[count++] = by_slot[i];
    }
    return count;
}

// The padded name and extension an entry holds for name, or false after a
// message when the file system cannot hold it.
bool encode_entry_name(const fs_layout& layout, const char* name, uint8_t* out)
{
    const char* dot = std::strrchr(name, '.');
    const size_t base = dot != nullptr ? static_cast<size_t>(dot - name) : std::strlen(name);
    const size_t ext = dot != nullptr ? std::strlen(dot + 1) : 0;
    const bool fits = base >= 1 && base <= static_cast<size_t>(layout.name_size) &&
                      ext <= static_cast<size_t>(layout.ext_size);
    bool sound = fits;
    for (size_t i = 0; sound && name[i] != '\0'; ++i) {
        const uint8_t b = static_cast<uint8_t>(name[i]);
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (name + i == dot)
            continue;
        if (layout.fs == D88_FS_N88)
            sound = b != '.' && ((b >= 0x20 && b < 0x7F) || (b >= 0xA1 && b <= 0xDF));
        else if (layout.fs == D88_FS_FAT12)
            sound = b > 0x20 && std::strchr("\"*+,./:;<=>?[\\]|", b) == nullptr;
        else
            sound = b >= 0x20 && b != '.';
        i += lead && layout.fs != D88_FS_N88 && name[i + 1] != '\0';
    }
    if (!sound) {
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
        const bool lead = (out[i] >= 0x81 && out[i] <= 0x9F) || (out[i] >= 0xE0 && out[i] <= 0xFC);
        if (lead)
            ++i;
        else
            out[i] = static_cast<uint8_t>(std::toupper(out[i]));
    }
    if (layout.fs == D88_FS_FAT12 && out[0] == 0xE5)
        out[0] = 0x05;
    return true;
}

// The index of the file entry whose name is name (as encode_entry_name
// pads it), -1 when there is none.
int32_t find_entry(const fs_volume& volume, const uint8_t* padded, d88_file_entry* entry)
{
    const fs_layout& layout = volume.layout;
    const int32_t count = volume.dir_size / layout.entry_size;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* raw = volume.dir + i * layout.entry_size;
        const entry_use use = decode_entry(volume, raw, entry);
        if (use == ENTRY_END)
            break;
        if (use == ENTRY_FILE && entry->type != D88_TYPE_LABEL &&
            std::memcmp(raw + layout.name_at, padded, static_cast<size_t>(layout.name_size + layout.ext_size)) == 0)
            return i;
    }
    return -1;
}

// The clusters of the directory whose chain starts at start, read into a
// new buffer of *size bytes; null after a message when the chain is broken.
uint8_t* read_directory_chain(const fs_volume& volume, int32_t start, const char* name, int32_t* size)
{
    const fs_layout& layout = volume.layout;
    int32_t count = 0;
    cluster_link link = {LINK_NEXT, start};
    while (link.state == LINK_NEXT && count < layout.cluster_count && link.value >= layout.first_cluster &&
           has_sectors(volume, first_lsn(layout, link.value), layout.cluster_sectors)) {
        ++count;
        link = get_link(volume, link.value);
    }
    if (link.state != LINK_LAST) {
        print_d88_message("illegal data: the chain of the directory '%s' is broken (see d88disk check)\n", name);
        return nullptr;
    }
    uint8_t* bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(count) * cluster_bytes(layout)));
    if (bytes == nullptr) {
        print_d88_line("memory exhaust!");
        return nullptr;
    }
    for (int32_t i = 0, cluster = start; i < count; ++i, cluster = get_link(volume, cluster).value)
        read_sectors(volume, first_lsn(layout, cluster), layout.cluster_sectors, bytes + i * cluster_bytes(layout));
    *size = count * cluster_bytes(layout);
    return bytes;
}

// Makes the subdirectory at path (names joined by '/', from the root) the
// volume's directory, for reading: FAT12's alone are entered.  False after
// a message.
bool enter_directory(fs_volume* volume, const char* path)
{
    for (const char* at = path; *at != '\0';) {
        const char* slash = std::strchr(at, '/');
        const size_t length = slash != nullptr ? static_cast<size_t>(slash - at) : std::strlen(at);
        char name[24];
        std::snprintf(name, sizeof name, "%.*s", static_cast<int>(length < sizeof name ? length : sizeof name - 1), at);
        char shown[24];
        printable_name(name, shown);
        uint8_t padded[16];
        d88_file_entry entry;
        if (volume->layout.fs != D88_FS_FAT12) {
            print_d88_message("illegal data: %s's subdirectories are not entered\n", volume->layout.description);
            return false;
        }
        // A name cut short here is longer than any FAT12 holds: refused.
        const int32_t index = encode_entry_name(volume->layout, name, padded) ? find_entry(*volume, padded, &entry) : -2;
        if (index == -1 || (index >= 0 && (entry.type != D88_TYPE_DIRECTORY || entry.start < 0)))
            print_d88_message("no directory '%s'\n", shown);
        int32_t size = 0;
        uint8_t* bytes = index >= 0 && entry.type == D88_TYPE_DIRECTORY && entry.start >= 0
                             ? read_directory_chain(*volume, entry.start, shown, &size)
                             : nullptr;
        if (bytes == nullptr)
            return false;
        std::free(volume->dir);
        volume->dir = bytes;
        volume->dir_size = size;
        at += slash != nullptr ? length + 1 : length;
    }
    return true;
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

// Opens the file system and finds the file name in it: its entry's index,
// or -1 after a message.  For reading, a FAT12 name may lead through
// subdirectories (DIR/NAME).
int32_t open_file(d88_disk* disk, int32_t fs, const char* name, bool change, fs_volume* volume,
                  d88_file_entry* entry)
{
    if (!(change ? open_for_change(disk, fs, volume) : open_volume(disk, fs, volume)))
        return -1;
    const char* slash = volume->layout.fs == D88_FS_FAT12 && !change ? std::strrchr(name, '/') : nullptr;
    if (change && refuse_path(volume->layout, name)) {
        close_volume(volume);
        return -1;
    }
    if (slash != nullptr) {
        char path[256];
        std::snprintf(path, sizeof path, "%.*s", static_cast<int>(slash - name), name);
        if (!enter_directory(volume, path)) {
            close_volume(volume);
            return -1;
        }
        name = slash + 1;
    }
    uint8_t padded[16];
    const int32_t index = encode_entry_name(volume->layout, name, padded) ? find_entry(*volume, padded, entry) : -2;
    const bool file = index >= 0 && entry->type != D88_TYPE_DIRECTORY;
    char shown[24];
    printable_name(name, shown);
    if (index == -1 || (index >= 0 && !file))
        print_d88_message(index == -1 ? "file not found: '%s'\n" : "'%s' is a directory\n", shown);
    if (!file)
        close_volume(volume);
    return file ? index : -1;
}

// Frees every cluster of the chain from start (which check_volume found
// sound).
void free_chain(fs_volume* volume, int32_t start)
{
    for (int32_t cluster = start; cluster >= 0;) {
        const cluster_link link = get_link(*volume, cluster);
        set_link(volume, cluster, {LINK_FREE, 0});
        cluster = link.state == LINK_NEXT ? link.value : -1;
    }
}

// The first entry free for a new file, or -1.
int32_t find_free_entry(const fs_volume& volume)
{
    const int32_t count = volume.dir_size / volume.layout.entry_size;
    for (int32_t i = 0; i < count; ++i) {
        d88_file_entry entry;
        const entry_use use = decode_entry(volume, volume.dir + i * volume.layout.entry_size, &entry);
        if (use == ENTRY_FREE || use == ENTRY_END)
            return i;
    }
    return -1;
}

// Picks `count` free clusters, lowest first, into out; false when fewer are
// free.
bool pick_clusters(const fs_volume& volume, int32_t count, int32_t* out)
{
    int32_t picked = 0;
    for (int32_t c = volume.layout.first_cluster; picked < count && c < end_cluster(volume.layout); ++c) {
        if (get_link(volume, c).state == LINK_FREE)
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

// Whether the options hold no date (year 0) or one a file system can keep.
bool is_date(const d88_file_options& o)
{
    return o.year == 0 || (o.year >= 1900 && o.year <= 2107 && o.month >= 1 && o.month <= 12 && o.day >= 1 &&
                           o.day <= 31 && o.hour >= 0 && o.hour <= 23 && o.minute >= 0 && o.minute <= 59 &&
                           o.second >= 0 && o.second <= 59);
}

// Whether the options fit the file system; false after a message.
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
    if (layout.fs == D88_FS_HU && size > 0xFFFF) {
        print_d88_message("illegal data: %s holds files of up to 65535 bytes, not %d\n", layout.description, size);
        return false;
    }
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
    const int32_t slot = old >= 0 ? old : find_free_entry(*volume);
    int32_t* picked = static_cast<int32_t*>(std::calloc(static_cast<size_t>(clusters) + 1, sizeof(int32_t)));
    if (picked == nullptr) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    if (old >= 0 && old_entry.start >= 0)
        free_chain(volume, old_entry.start);
    const int32_t free = count_free_clusters(*volume);
    const bool room = slot >= 0 && pick_clusters(*volume, clusters, picked);
    bool whole = room;
    for (int32_t i = 0; whole && i < clusters; ++i)
        whole = has_sectors(*volume, first_lsn(layout, picked[i]), layout.cluster_sectors);
    if (!whole) {  // the volume's FAT is not stored: the old file stays
        if (slot < 0)
            print_d88_message("illegal data: the directory is full; '%s' has no entry\n", name);
        else if (!room)
            print_d88_message("illegal data: the disk is full: '%s' needs %d cluster%s of %d bytes, %d %s free\n", name,
                              clusters, clusters == 1 ? "" : "s", cluster_bytes(layout), free,
                              free == 1 ? "is" : "are");
        else
            print_d88_message("illegal data: a sector of the clusters for '%s' is missing\n", name);
        std::free(picked);
        return -1;
    }
    const bool ascii = layout.fs == D88_FS_N88 && options.type == D88_TYPE_ASCII;
    write_chain(volume, picked, clusters, data, size, ascii ? 0x1A : 0x00);
    uint8_t* raw = volume->dir + slot * layout.entry_size;
    std::memcpy(raw + layout.name_at, padded, static_cast<size_t>(layout.name_size + layout.ext_size));
    const int32_t start = clusters > 0 ? picked[0] : -1;
    if (layout.fs == D88_FS_N88)
        encode_n88_entry(raw, options.type, start);
    else if (layout.fs == D88_FS_HU)
        encode_hu_entry(raw, size, start, options);
    else
        encode_fat12_entry(raw, size, start, options);
    store_volume(*volume);
    std::free(picked);
    return 0;
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
    if (!open_volume(disk, fs, &volume))
        return -1;
    if (!enter_directory(&volume, directory)) {
        close_volume(&volume);
        return -1;
    }
    const size_t slots = static_cast<size_t>(volume.dir_size / volume.layout.entry_size);
    d88_file_entry* by_slot = static_cast<d88_file_entry*>(std::calloc(slots, sizeof(d88_file_entry)));
    d88_file_entry* listed = static_cast<d88_file_entry*>(std::calloc(slots + 1, sizeof(d88_file_entry)));
    const bool allocated = by_slot != nullptr && listed != nullptr;
    const int32_t count = allocated ? collect_entries(volume, by_slot, listed, handler, context) : -1;
    if (!allocated)
        print_d88_line("memory exhaust!");
    if (free_out != nullptr)
        *free_out = count_free_clusters(volume) * cluster_bytes(volume.layout);
    close_volume(&volume);
    std::free(by_slot);
    if (count < 0) {
        std::free(listed);
        return -1;
    }
    *entries_out = listed;
    return count;
}

int32_t read_d88_file(d88_disk* disk, int32_t fs, const char* name, uint8_t** data_out, int32_t* size_out)
{
    if (disk == nullptr || fs < -1 || fs >= D88_FS_COUNT || name == nullptr || data_out == nullptr ||
        size_out == nullptr) {
        print_d88_line("read_d88_file: illegal parameter");
        return -1;
    }
    fs_volume volume;
    d88_file_entry entry;
    const int32_t index = open_file(disk, fs, name, false, &volume, &entry);
    if (index < 0)
        return -1;
    const fs_layout& layout = volume.layout;
    int32_t* owners = static_cast<int32_t*>(std::calloc(static_cast<size_t>(end_cluster(layout)), sizeof(int32_t)));
    int32_t last_sectors = 0, faults = 0;
    const int32_t clusters = owners != nullptr ? follow_chain(volume, entry, index, owners, &last_sectors, &faults) : 0;
    if (layout.fs == D88_FS_N88)
        entry.size = chain_size(layout, clusters, last_sectors);
    const int32_t held = clusters * cluster_bytes(layout);
    uint8_t* data = owners != nullptr ? static_cast<uint8_t*>(std::malloc(static_cast<size_t>(held) + 1)) : nullptr;
    int32_t copied = 0;
    for (int32_t c = entry.start; data != nullptr && faults == 0 && copied < held;) {
        read_sectors(volume, first_lsn(layout, c), layout.cluster_sectors, data + copied);
        copied += cluster_bytes(layout);
        c = get_link(volume, c).value;
    }
    const bool whole = data != nullptr && faults == 0 && entry.size >= 0 && entry.size <= held;
    if (owners == nullptr || data == nullptr)
        print_d88_line("memory exhaust!");
    else if (!whole)
        print_d88_message("illegal data: the chain of '%s' is broken (see d88disk check)\n", entry.name);
    std::free(owners);
    close_volume(&volume);
    if (!whole) {
        std::free(data);
        return -1;
    }
    *data_out = data;
    *size_out = entry.size;
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
    d88_file_options chosen = options != nullptr ? *options : plain;
    if (chosen.type == 0 && volume.layout.fs != D88_FS_FAT12)
        chosen.type = D88_TYPE_BINARY;
    uint8_t padded[16];
    d88_file_entry old_entry = {};
    int32_t result = -1;
    char shown[24];
    printable_name(name, shown);
    if (!refuse_path(volume.layout, name) && check_options(volume.layout, chosen, size) &&
        encode_entry_name(volume.layout, name, padded)) {
        const int32_t old = find_entry(volume, padded, &old_entry);
        if (old >= 0 && old_entry.type == D88_TYPE_DIRECTORY)
            print_d88_message("illegal data: '%s' is a directory\n", shown);
        else
            result = write_file(&volume, shown, padded, old, old_entry, data, size, chosen);
    }
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
    d88_file_entry entry;
    const int32_t index = open_file(disk, fs, name, true, &volume, &entry);
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
        print_d88_message("illegal data: the disk has not the tracks of a %s disk\n", fs_title(fs));
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
    if (fs == D88_FS_N88)
        format_n88_volume(&volume);
    else if (fs == D88_FS_HU)
        format_hu_volume(&volume, find_fs_sector(volume, 0));
    else
        format_fat12_volume(&volume, find_fs_sector(volume, 0));
    store_volume(volume);
    close_volume(&volume);
    return 0;
}
