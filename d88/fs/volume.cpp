// volume.cpp -- a file system opened on a disk: which one it is, its FAT
// links and entries through that file system's own code, its FAT copies and
// directory read and stored, and the check of every chain.
#include "volume.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/message.h"
#include "fs.h"

namespace {

constexpr const char* FS_TITLES[] = {"N88-BASIC", "Hu-BASIC", "FAT12"};

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

// The size the chain of a file holds: N88-BASIC keeps none in its entry.
int32_t follow_chain(const fs_volume& volume, const d88_file_entry& entry, int32_t index, int32_t* owners,
                     int32_t* last_sectors, int32_t* faults)
{
    fs_report report = {&volume, nullptr, nullptr, 0};
    const int32_t clusters = check_chain(volume, entry, index, owners, &report, last_sectors);
    *faults = report.count;
    return clusters;
}

int32_t chain_size(const fs_layout& layout, int32_t clusters, int32_t last_sectors)
{
    return clusters == 0 ? 0 : (clusters - 1) * cluster_bytes(layout) + last_sectors * layout.sector_size;
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
