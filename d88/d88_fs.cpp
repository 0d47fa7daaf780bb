// d88_fs.cpp -- the file systems inside a disk: opening one on a disk's
// sector records, following its chains, checking it, and the operations of
// d88.h over it.  Each file system's own layout lives in its own file.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88_fs.h"
#include "d88_message.h"

namespace {

constexpr const char* FS_NAMES[] = {"n88", "hu", "fat12"};
constexpr const char* FS_TITLES[] = {"N88-BASIC", "Hu-BASIC", "FAT12"};
constexpr const char* TYPE_NAMES[] = {"file", "bin", "bas", "asc", "dir", "ipl", "label"};

bool find_layout(d88_disk* disk, int32_t fs, bool marks, fs_layout* layout)
{
    switch (fs) {
    case D88_FS_N88:
        return find_n88_layout(disk, marks, layout);
    case D88_FS_HU:
        return find_hu_layout(disk, marks, layout);
    case D88_FS_FAT12:
        return find_fat12_layout(disk, marks, layout);
    default:
        return false;
    }
}

cluster_link get_link(const fs_volume& volume, int32_t cluster)
{
    switch (volume.layout.fs) {
    case D88_FS_N88:
        return get_n88_link(volume, cluster);
    case D88_FS_HU:
        return get_hu_link(volume, cluster);
    default:
        return get_fat12_link(volume, cluster);
    }
}

void set_link(fs_volume* volume, int32_t cluster, cluster_link link)
{
    switch (volume->layout.fs) {
    case D88_FS_N88:
        set_n88_link(volume, cluster, link);
        break;
    case D88_FS_HU:
        set_hu_link(volume, cluster, link);
        break;
    default:
        set_fat12_link(volume, cluster, link);
    }
}

entry_use decode_entry(const fs_volume& volume, const uint8_t* raw, d88_file_entry* entry)
{
    *entry = {};
    const entry_use use = volume.layout.fs == D88_FS_N88  ? decode_n88_entry(raw, entry)
                          : volume.layout.fs == D88_FS_HU ? decode_hu_entry(raw, entry)
                                                          : decode_fat12_entry(raw, entry);
    if (use == ENTRY_FILE)
        decode_entry_name(volume.layout, raw, entry->name);
    return use;
}

int32_t end_cluster(const fs_layout& layout)
{
    return layout.first_cluster + layout.cluster_count;
}

int32_t cluster_bytes(const fs_layout& layout)
{
    return layout.cluster_sectors * layout.sector_size;
}

int32_t first_lsn(const fs_layout& layout, int32_t cluster)
{
    return layout.data_lsn + (cluster - layout.first_cluster) * layout.cluster_sectors;
}

// Copies count sectors from lsn on into out; false when one is missing.
bool read_sectors(const fs_volume& volume, int32_t lsn, int32_t count, uint8_t* out)
{
    const int32_t size = volume.layout.sector_size;
    for (int32_t i = 0; i < count; ++i) {
        const d88_sector* sector = find_fs_sector(volume, lsn + i);
        if (sector == nullptr)
            return false;
        std::memcpy(out + i * size, sector->data, static_cast<size_t>(size));
    }
    return true;
}

void write_sectors(const fs_volume& volume, int32_t lsn, int32_t count, const uint8_t* bytes)
{
    const int32_t size = volume.layout.sector_size;
    for (int32_t i = 0; i < count; ++i)
        std::memcpy(find_fs_sector(volume, lsn + i)->data, bytes + i * size, static_cast<size_t>(size));
}

bool has_sectors(const fs_volume& volume, int32_t lsn, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (find_fs_sector(volume, lsn + i) == nullptr)
            return false;
    }
    return true;
}

void close_volume(fs_volume* volume)
{
    std::free(volume->fat);
    std::free(volume->dir);
    volume->fat = volume->dir = nullptr;
}

// Reads the FAT's first copy and the directory of the layout on disk, and
// notes the first FAT copy that differs; false after a message.
bool load_volume(d88_disk* disk, const fs_layout& layout, fs_volume* volume)
{
    *volume = {disk, layout, nullptr, nullptr, layout.fat_sectors * layout.sector_size,
               layout.dir_sectors * layout.sector_size, 0};
    volume->fat = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(volume->fat_size) * 2));
    volume->dir = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(volume->dir_size)));
    if (volume->fat == nullptr || volume->dir == nullptr) {
        print_d88_line("memory exhaust!");
        close_volume(volume);
        return false;
    }
    uint8_t* other = volume->fat + volume->fat_size;
    bool whole = read_sectors(*volume, layout.fat_lsn, layout.fat_sectors, volume->fat) &&
                 read_sectors(*volume, layout.dir_lsn, layout.dir_sectors, volume->dir);
    for (int32_t copy = 1; whole && copy < layout.fat_copies; ++copy) {
        whole = read_sectors(*volume, layout.fat_lsn + copy * layout.fat_sectors, layout.fat_sectors, other);
        if (whole && volume->differing_copy == 0 && std::memcmp(other, volume->fat, volume->fat_size) != 0)
            volume->differing_copy = copy;
    }
    if (!whole) {
        print_d88_message("illegal data: a sector of the %s file system's FAT or directory is missing\n",
                          layout.description);
        close_volume(volume);
    }
    return whole;
}

// Stores the FAT, in every copy, and the directory into their sectors.
void store_volume(const fs_volume& volume)
{
    const fs_layout& layout = volume.layout;
    for (int32_t copy = 0; copy < layout.fat_copies; ++copy)
        write_sectors(volume, layout.fat_lsn + copy * layout.fat_sectors, layout.fat_sectors, volume.fat);
    write_sectors(volume, layout.dir_lsn, layout.dir_sectors, volume.dir);
}

// The file system fs (or the one recognised, fs -1) opened on disk; false
// after a message.
bool open_volume(d88_disk* disk, int32_t fs, fs_volume* volume)
{
    if (fs < 0)
        fs = find_d88_fs_of_disk(disk);
    fs_layout layout = {};
    if (fs == -2) {
        print_d88_line("illegal data: several file systems fit the disk; name one");
        return false;
    }
    if (fs < 0 || !find_layout(disk, fs, true, &layout)) {
        print_d88_message("illegal data: no %s file system on the disk\n",
                          fs < 0 ? "N88-BASIC, Hu-BASIC or FAT12" : FS_TITLES[fs]);
        return false;
    }
    return load_volume(disk, layout, volume);
}

// An entry's name with every byte outside printable ASCII as '?', for the
// messages of findings.
void printable_name(const char* name, char out[24])
{
    int i = 0;
    for (; name[i] != '\0' && i < 23; ++i)
        out[i] = name[i] >= 0x20 && name[i] < 0x7F ? name[i] : '?';
    out[i] = '\0';
}

// Findings of one check, handed to the caller's handler.
struct fs_report {
    const fs_volume* volume;
    d88_finding_handler handler;
    void* context;
    int32_t count;
};

#if defined(__GNUC__)
void report_fs(fs_report* report, d88_finding_kind kind, int32_t lsn, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
#endif
void report_fs(fs_report* report, d88_finding_kind kind, int32_t lsn, const char* format, ...)
{
    char message[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    ++report->count;
    if (report->handler == nullptr)
        return;
    const d88_sector* sector = lsn >= 0 ? find_fs_sector(*report->volume, lsn) : nullptr;
    const d88_finding finding = {d88_finding_kind_severity(kind), d88_finding_kind_name(kind), -1, -1, -1,
                                 sector != nullptr ? sector->c : -1, sector != nullptr ? sector->h : -1,
                                 sector != nullptr ? sector->r : -1, -1, message, kind};
    report->handler(&finding, report->context);
}

// The lsn of a directory entry's sector.
int32_t entry_lsn(const fs_volume& volume, int32_t index)
{
    return volume.layout.dir_lsn + index * volume.layout.entry_size / volume.layout.sector_size;
}

// Follows the chain of entry `index` (file `name`) through the FAT, marking
// each cluster with owner index + 1; reports a chain that leaves the
// clusters, runs into one that is not a link, comes back to itself or into
// another file's, or is shorter or longer than the size says.  The number
// of clusters, and the sectors used of the last in *last_sectors.
int32_t check_chain(const fs_volume& volume, const d88_file_entry& entry, int32_t index, int32_t* owners,
                    fs_report* report, int32_t* last_sectors)
{
    const fs_layout& layout = volume.layout;
    char name[24];
    printable_name(entry.name, name);
    const int32_t lsn = entry_lsn(volume, index);
    *last_sectors = 0;
    if (entry.start < 0)
        return 0;
    if (entry.start < layout.first_cluster || entry.start >= end_cluster(layout)) {
        report_fs(report, D88_KIND_ENTRY_RANGE, lsn, "'%s' starts at cluster %d, outside %d to %d", name, entry.start,
                  layout.first_cluster, end_cluster(layout) - 1);
        return 0;
    }
    int32_t count = 0;
    for (int32_t cluster = entry.start;;) {
        if (owners[cluster] == index + 1) {
            report_fs(report, D88_KIND_CHAIN_LOOP, lsn, "the chain of '%s' comes back to cluster %d", name, cluster);
            return count;
        }
        if (owners[cluster] != 0) {
            report_fs(report, D88_KIND_CROSS_LINK, lsn, "'%s' runs into cluster %d of entry %d", name, cluster,
                      owners[cluster] - 1);
            return count;
        }
        owners[cluster] = index + 1;
        ++count;
        if (!has_sectors(volume, first_lsn(layout, cluster), layout.cluster_sectors))
            report_fs(report, D88_KIND_FS_SECTOR, -1, "a sector of cluster %d of '%s' is missing", cluster, name);
        const cluster_link link = get_link(volume, cluster);
        if (link.state == LINK_LAST) {
            *last_sectors = link.value;
            return count;
        }
        if (link.state != LINK_NEXT) {
            report_fs(report, D88_KIND_CHAIN_RANGE, lsn, "the chain of '%s' runs from cluster %d into %s", name,
                      cluster, link.state == LINK_FREE ? "a free cluster" : link.state == LINK_RESERVED
                                                                            ? "a reserved cluster"
                                                                            : "a value no cluster has");
            return count;
        }
        cluster = link.value;
    }
}

// The size the chain of a file holds: N88-BASIC keeps none in its entry.
int32_t chain_size(const fs_layout& layout, int32_t clusters, int32_t last_sectors)
{
    return clusters == 0 ? 0 : (clusters - 1) * cluster_bytes(layout) + last_sectors * layout.sector_size;
}

void check_size(const fs_volume& volume, const d88_file_entry& entry, int32_t index, int32_t clusters,
                int32_t last_sectors, fs_report* report)
{
    const fs_layout& layout = volume.layout;
    if (layout.fs == D88_FS_N88 || entry.type == D88_TYPE_DIRECTORY)
        return;
    const int32_t bytes = cluster_bytes(layout);
    const int32_t needed = entry.size / bytes + (entry.size % bytes != 0);
    const int32_t held = layout.fs == D88_FS_HU ? chain_size(layout, clusters, last_sectors) : clusters * bytes;
    const bool fits_hu = entry.size <= held && clusters == (needed > 0 ? needed : 1);
    const bool fits = entry.size >= 0 && (layout.fs == D88_FS_HU ? fits_hu : clusters == needed);
    if (!fits) {
        char name[24];
        printable_name(entry.name, name);
        report_fs(report, D88_KIND_FILE_SIZE, entry_lsn(volume, index),
                  "'%s' is %u bytes, but its chain holds %d cluster%s (%d bytes)", name,
                  static_cast<uint32_t>(entry.size), clusters, clusters == 1 ? "" : "s", held);
    }
}

// Checks the FAT copies and every file's chain; sizes N88-BASIC's files
// from their chains when entries is not null.  The number of faults.
int32_t check_volume(const fs_volume& volume, d88_file_entry* entries, int32_t* owners, fs_report* report)
{
    if (volume.differing_copy > 0)
        report_fs(report, D88_KIND_FAT_COPIES, volume.layout.fat_lsn + volume.differing_copy * volume.layout.fat_sectors,
                  "FAT copy %d differs from copy 1", volume.differing_copy + 1);
    const int32_t count = volume.dir_size / volume.layout.entry_size;
    for (int32_t i = 0; i < count; ++i) {
        d88_file_entry entry;
        const entry_use use = decode_entry(volume, volume.dir + i * volume.layout.entry_size, &entry);
        if (use == ENTRY_END)
            break;
        if (use != ENTRY_FILE || entry.type == D88_TYPE_LABEL)
            continue;
        int32_t last_sectors = 0;
        const int32_t faults = report->count;
        const int32_t clusters = check_chain(volume, entry, i, owners, report, &last_sectors);
        if (report->count == faults)  // a broken chain says nothing of the size
            check_size(volume, entry, i, clusters, last_sectors, report);
        if (entries != nullptr && volume.layout.fs == D88_FS_N88)
            entries[i].size = chain_size(volume.layout, clusters, last_sectors);
    }
    return report->count;
}

int32_t count_free_clusters(const fs_volume& volume)
{
    int32_t free = 0;
    for (int32_t c = volume.layout.first_cluster; c < end_cluster(volume.layout); ++c)
        free += get_link(volume, c).state == LINK_FREE;
    return free;
}

// Runs the check on an open volume; its count, or -1 after a message.
int32_t check_open_volume(const fs_volume& volume, d88_file_entry* entries, d88_finding_handler handler,
                          void* context)
{
    int32_t* owners = static_cast<int32_t*>(std::calloc(static_cast<size_t>(end_cluster(volume.layout)), sizeof(int32_t)));
    if (owners == nullptr) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    fs_report report = {&volume, handler, context, 0};
    const int32_t faults = check_volume(volume, entries, owners, &report);
    std::free(owners);
    return faults;
}

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

// Opens the file system for a change: false after a message when it cannot
// be opened, or has faults.
bool open_for_change(d88_disk* disk, int32_t fs, fs_volume* volume)
{
    if (!open_volume(disk, fs, volume))
        return false;
    const int32_t faults = check_open_volume(*volume, nullptr, nullptr, nullptr);
    if (faults != 0) {
        if (faults > 0)
            print_d88_message("illegal data: the %s file system has %d fault%s (see d88disk check); "
                              "nothing is changed\n",
                              volume->layout.description, faults, faults == 1 ? "" : "s");
        close_volume(volume);
        return false;
    }
    return true;
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

d88_sector* find_fs_sector(const fs_volume& volume, int32_t lsn)
{
    const fs_layout& layout = volume.layout;
    const int32_t track = lsn / layout.sectors;
    if (lsn < 0 || track >= layout.cylinders * layout.heads)
        return nullptr;
    d88_sector* sector = find_d88_sector(volume.disk, static_cast<uint8_t>(track / layout.heads),
                                         static_cast<uint8_t>(track % layout.heads),
                                         static_cast<uint8_t>(lsn % layout.sectors + 1));
    return sector != nullptr && sector->data_size >= layout.sector_size ? sector : nullptr;
}

void decode_entry_name(const fs_layout& layout, const uint8_t* raw, char name[24])
{
    const uint8_t* field = raw + layout.name_at;
    int32_t base = layout.name_size;
    int32_t ext = layout.ext_size;
    while (base > 0 && field[base - 1] == ' ')
        --base;
    while (ext > 0 && field[layout.name_size + ext - 1] == ' ')
        --ext;
    std::memcpy(name, field, static_cast<size_t>(base));
    if (layout.fs == D88_FS_FAT12 && base > 0 && field[0] == 0x05)
        name[0] = static_cast<char>(0xE5);
    name[base] = '.';
    std::memcpy(name + base + 1, field + layout.name_size, static_cast<size_t>(ext));
    name[ext > 0 ? base + 1 + ext : base] = '\0';
}

uint8_t to_bcd(int32_t value)
{
    return static_cast<uint8_t>(value / 10 % 10 << 4 | value % 10);
}

int32_t from_bcd(uint8_t value)
{
    return (value >> 4) * 10 + (value & 0x0F);
}

const char* d88_fs_name(int32_t fs)
{
    return fs >= 0 && fs < D88_FS_COUNT ? FS_NAMES[fs] : nullptr;
}

int32_t find_d88_fs(const char* name)
{
    for (int32_t fs = 0; name != nullptr && fs < D88_FS_COUNT; ++fs) {
        const char* a = FS_NAMES[fs];
        const char* b = name;
        while (*a != '\0' && std::tolower(static_cast<unsigned char>(*b)) == *a)
            ++a, ++b;
        if (*a == '\0' && *b == '\0')
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
    int32_t found = -1;
    fs_layout layout;
    for (int32_t fs = 0; disk != nullptr && fs < D88_FS_COUNT; ++fs) {
        if (find_layout(disk, fs, true, &layout))
            found = found == -1 ? fs : -2;
    }
    return found;
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
    fs_report report = {&volume, nullptr, nullptr, 0};
    int32_t last_sectors = 0;
    const int32_t clusters = owners != nullptr ? check_chain(volume, entry, index, owners, &report, &last_sectors) : 0;
    if (layout.fs == D88_FS_N88)
        entry.size = chain_size(layout, clusters, last_sectors);
    const int32_t held = clusters * cluster_bytes(layout);
    uint8_t* data = owners != nullptr ? static_cast<uint8_t*>(std::malloc(static_cast<size_t>(held) + 1)) : nullptr;
    int32_t copied = 0;
    for (int32_t c = entry.start; data != nullptr && report.count == 0 && copied < held;) {
        read_sectors(volume, first_lsn(layout, c), layout.cluster_sectors, data + copied);
        copied += cluster_bytes(layout);
        c = get_link(volume, c).value;
    }
    const bool whole = data != nullptr && report.count == 0 && entry.size >= 0 && entry.size <= held;
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
        print_d88_message("illegal data: the disk has not the tracks of a %s disk\n", FS_TITLES[fs]);
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
