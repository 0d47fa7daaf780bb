// volume.cpp -- a file system opened on a disk: which one it is, its FAT
// links and entries through that file system's own code, its FAT copies and
// directory read and stored, its subdirectories read, and the check of
// every chain from the root down.
#include "volume.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/message.h"
#include "fs.h"

namespace {

constexpr const char* FS_TITLES[] = {"N88-BASIC", "Hu-BASIC", "FAT12"};
constexpr int32_t PATH_SIZE = 64;        // a file's path in a finding, cut there
constexpr int32_t DIRECTORY_DEPTH = 16;  // subdirectories deeper are not checked

// Findings of one check, handed to the caller's handler; and the clusters
// the files' chains hold: owners[c] is the first cluster + 1 of the file
// holding c, names[f] the path of the file starting at f.
struct fs_report {
    const fs_volume* volume;
    d88_finding_handler handler;
    void* context;
    int32_t count;
    int32_t* owners;
    char (*names)[PATH_SIZE];  // null: files are not named
};

// a then b in out, cut to fit.
void join_path(char out[PATH_SIZE], const char* a, const char* b)
{
    size_t at = 0;
    for (; *a != '\0' && at + 1 < static_cast<size_t>(PATH_SIZE); ++a)
        out[at++] = *a;
    for (; *b != '\0' && at + 1 < static_cast<size_t>(PATH_SIZE); ++b)
        out[at++] = *b;
    out[at] = '\0';
}

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

// The lsn of the sector holding entry index of a directory: in the root's
// sectors, or in the clusters of a subdirectory's chain (sound: it was
// read).
int32_t entry_lsn(const fs_volume& volume, const fs_directory& directory, int32_t index)
{
    const fs_layout& layout = volume.layout;
    const int32_t offset = index * layout.entry_size;
    if (directory.start < 0)
        return layout.dir_lsn + offset / layout.sector_size;
    int32_t cluster = directory.start;
    for (int32_t k = offset / cluster_bytes(layout); k > 0; --k)
        cluster = get_link(volume, cluster).value;
    return first_lsn(layout, cluster) + offset % cluster_bytes(layout) / layout.sector_size;
}

// Follows the chain of the file `path` (its entry in sector lsn) through
// the FAT, marking each cluster as the file's; reports a chain that leaves
// the clusters, runs into one that is not a link, comes back to itself or
// into another file's.  The number of clusters, and the sectors used of the
// last in *last_sectors.
int32_t check_chain(const fs_volume& volume, const d88_file_entry& entry, const char* path, int32_t lsn,
                    fs_report* report, int32_t* last_sectors)
{
    const fs_layout& layout = volume.layout;
    *last_sectors = 0;
    if (entry.start < 0)
        return 0;
    if (entry.start < layout.first_cluster || entry.start >= end_cluster(layout)) {
        report_fs(report, D88_KIND_ENTRY_RANGE, lsn, "'%s' starts at cluster %d, outside %d to %d", path, entry.start,
                  layout.first_cluster, end_cluster(layout) - 1);
        return 0;
    }
    int32_t* owners = report->owners;
    const int32_t self = entry.start + 1;
    if (report->names != nullptr && owners[entry.start] == 0)
        join_path(report->names[entry.start], path, "");
    int32_t count = 0;
    for (int32_t cluster = entry.start;;) {
        if (owners[cluster] == self && count > 0) {
            report_fs(report, D88_KIND_CHAIN_LOOP, lsn, "the chain of '%s' comes back to cluster %d", path, cluster);
            return count;
        }
        if (owners[cluster] != 0) {
            report_fs(report, D88_KIND_CROSS_LINK, lsn, "'%s' runs into cluster %d of '%s'", path, cluster,
                      report->names != nullptr ? report->names[owners[cluster] - 1] : "another file");
            return count;
        }
        owners[cluster] = self;
        ++count;
        if (!has_sectors(volume, first_lsn(layout, cluster), layout.cluster_sectors))
            report_fs(report, D88_KIND_FS_SECTOR, -1, "a sector of cluster %d of '%s' is missing", cluster, path);
        const cluster_link link = get_link(volume, cluster);
        if (link.state == LINK_LAST) {
            *last_sectors = link.value;
            return count;
        }
        if (link.state != LINK_NEXT) {
            report_fs(report, D88_KIND_CHAIN_RANGE, lsn, "the chain of '%s' runs from cluster %d into %s", path,
                      cluster, link.state == LINK_FREE ? "a free cluster" : link.state == LINK_RESERVED
                                                                            ? "a reserved cluster"
                                                                            : "a value no cluster has");
            return count;
        }
        cluster = link.value;
    }
}

// A size the entry keeps that its chain does not hold.  N88-BASIC keeps
// none, nor a directory, nor Hu-BASIC's text file (size 0: its text runs
// to an end mark).
void check_size(const fs_volume& volume, const d88_file_entry& entry, const uint8_t* raw, const char* path,
                int32_t lsn, int32_t clusters, int32_t last_sectors, fs_report* report)
{
    const fs_layout& layout = volume.layout;
    if (layout.fs == D88_FS_N88 || entry.type == D88_TYPE_DIRECTORY ||
        (layout.fs == D88_FS_HU && entry.size == 0 && is_hu_text(raw)))
        return;
    const int32_t bytes = cluster_bytes(layout);
    const int32_t needed = entry.size / bytes + (entry.size % bytes != 0);
    const int32_t held = layout.fs == D88_FS_HU ? chain_size(layout, clusters, last_sectors) : clusters * bytes;
    const bool fits_hu = entry.size <= held && clusters == (needed > 0 ? needed : 1);
    const bool fits = entry.size >= 0 && (layout.fs == D88_FS_HU ? fits_hu : clusters == needed);
    if (!fits)
        report_fs(report, D88_KIND_FILE_SIZE, lsn, "'%s' is %u bytes, but its chain holds %d cluster%s (%d bytes)",
                  path, static_cast<uint32_t>(entry.size), clusters, clusters == 1 ? "" : "s", held);
}

// Checks every file's chain in a directory, and each subdirectory of FAT12
// whose chain is sound; sizes N88-BASIC's files from their chains in sized
// (by slot) when it is not null.  False after a message when memory runs
// out.
bool check_directory(const fs_directory& directory, const char* parent, int32_t depth, d88_file_entry* sized,
                     fs_report* report)
{
    const fs_volume& volume = *report->volume;
    const int32_t count = directory.size / volume.layout.entry_size;
    bool whole = true;
    for (int32_t i = 0; whole && i < count; ++i) {
        const uint8_t* raw = directory.bytes + i * volume.layout.entry_size;
        d88_file_entry entry;
        const entry_use use = decode_entry(volume, raw, &entry);
        if (use == ENTRY_END)
            break;
        if (use != ENTRY_FILE || entry.type == D88_TYPE_LABEL || is_dot_entry(volume, raw))
            continue;
        char name[24], path[PATH_SIZE];
        printable_name(entry.name, name);
        join_path(path, parent, name);
        const int32_t lsn = entry_lsn(volume, directory, i);
        int32_t last_sectors = 0;
        const int32_t faults = report->count;
        const int32_t clusters = check_chain(volume, entry, path, lsn, report, &last_sectors);
        if (report->count == faults)  // a broken chain says nothing of the size
            check_size(volume, entry, raw, path, lsn, clusters, last_sectors, report);
        if (sized != nullptr && volume.layout.fs == D88_FS_N88)
            sized[i].size = chain_size(volume.layout, clusters, last_sectors);
        fs_directory inside = {};
        if (volume.layout.fs == D88_FS_FAT12 && entry.type == D88_TYPE_DIRECTORY && entry.start >= 0 &&
            report->count == faults && depth < DIRECTORY_DEPTH) {
            char below[PATH_SIZE];
            join_path(below, path, "/");
            whole = read_subdirectory(volume, entry.start, name, &inside) &&
                    check_directory(inside, below, depth + 1, nullptr, report);
        }
        std::free(inside.bytes);
    }
    return whole;
}

}  // namespace

const char* fs_title(int32_t fs)
{
    return FS_TITLES[fs];
}

int32_t recognise_fs(d88_disk* disk)
{
    int32_t found = -1;
    fs_layout layout;
    for (int32_t fs = 0; fs < D88_FS_COUNT; ++fs) {
        if (find_layout(disk, fs, true, &layout))
            found = found == -1 ? fs : -2;
    }
    return found;
}

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

uint8_t format_fill(int32_t fs)
{
    return fs == D88_FS_N88 ? N88_FORMAT_FILL : fs == D88_FS_HU ? HU_FORMAT_FILL : FAT12_FORMAT_FILL;
}

uint8_t end_fill(int32_t fs)
{
    return fs == D88_FS_N88 ? N88_END_FILL : fs == D88_FS_HU ? HU_END_FILL : FAT12_END_FILL;
}

bool is_dot_entry(const fs_volume& volume, const uint8_t* raw)
{
    return volume.layout.fs == D88_FS_FAT12 && raw[0] == '.';
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
        fs = recognise_fs(disk);
    fs_layout layout = {};
    if (fs == -2) {
        print_d88_line("illegal data: several file systems fit the disk; name one");
        return false;
    }
    if (fs < 0 || !find_layout(disk, fs, true, &layout)) {
        print_d88_message("illegal data: no %s file system on the disk\n",
                          fs < 0 ? "N88-BASIC, Hu-BASIC or FAT12" : fs_title(fs));
        return false;
    }
    return load_volume(disk, layout, volume);
}

fs_directory root_directory(const fs_volume& volume)
{
    return {volume.dir, volume.dir_size, -1};
}

bool read_subdirectory(const fs_volume& volume, int32_t start, const char* name, fs_directory* out)
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
        return false;
    }
    uint8_t* bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(count) * cluster_bytes(layout)));
    if (bytes == nullptr) {
        print_d88_line("memory exhaust!");
        return false;
    }
    for (int32_t i = 0, cluster = start; i < count; ++i, cluster = get_link(volume, cluster).value)
        read_sectors(volume, first_lsn(layout, cluster), layout.cluster_sectors, bytes + i * cluster_bytes(layout));
    *out = {bytes, count * cluster_bytes(layout), start};
    return true;
}

int32_t follow_chain(const fs_volume& volume, const d88_file_entry& entry, int32_t* owners, int32_t* last_sectors,
                     int32_t* faults)
{
    fs_report report = {&volume, nullptr, nullptr, 0, owners, nullptr};
    const int32_t clusters = check_chain(volume, entry, "", -1, &report, last_sectors);
    *faults = report.count;
    return clusters;
}

int32_t chain_size(const fs_layout& layout, int32_t clusters, int32_t last_sectors)
{
    return clusters == 0 ? 0 : (clusters - 1) * cluster_bytes(layout) + last_sectors * layout.sector_size;
}

bool is_usable_free_cluster(const fs_volume& volume, int32_t c)
{
    const fs_layout& layout = volume.layout;
    return get_link(volume, c).state == LINK_FREE && has_sectors(volume, first_lsn(layout, c), layout.cluster_sectors);
}

int32_t count_free_clusters(const fs_volume& volume)
{
    int32_t free = 0;
    for (int32_t c = volume.layout.first_cluster; c < end_cluster(volume.layout); ++c)
        free += is_usable_free_cluster(volume, c);
    return free;
}

// Runs the check on an open volume; its count, or -1 after a message.
int32_t check_open_volume(const fs_volume& volume, d88_file_entry* sized, d88_finding_handler handler,
                          void* context)
{
    const size_t clusters = static_cast<size_t>(end_cluster(volume.layout));
    fs_report report = {&volume, handler, context, 0, static_cast<int32_t*>(std::calloc(clusters, sizeof(int32_t))),
                        static_cast<char (*)[PATH_SIZE]>(std::calloc(clusters, PATH_SIZE))};
    bool whole = report.owners != nullptr && report.names != nullptr;
    if (!whole)
        print_d88_line("memory exhaust!");
    if (whole && volume.differing_copy > 0)
        report_fs(&report, D88_KIND_FAT_COPIES, volume.layout.fat_lsn + volume.differing_copy * volume.layout.fat_sectors,
                  "FAT copy %d differs from copy 1", volume.differing_copy + 1);
    whole = whole && check_directory(root_directory(volume), "", 0, sized, &report);
    std::free(report.owners);
    std::free(report.names);
    return whole ? report.count : -1;
}

// Opens the file system for a change: false after a message when it cannot
// be opened, or has faults.
bool open_for_change(d88_disk* disk, int32_t fs, fs_volume* volume)
{
    if (!open_volume(disk, fs, volume))
        return false;
    const int32_t found = check_open_volume(*volume, nullptr, nullptr, nullptr);
    const bool copies = volume->layout.fs == D88_FS_FAT12 && volume->differing_copy > 0;
    const int32_t faults = found > 0 && copies ? found - 1 : found;
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
