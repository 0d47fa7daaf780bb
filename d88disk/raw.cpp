// raw.cpp -- a disk and the raw dump of its sectors' data (the .2D, .2DD
// and .2HD files of other tools), slot by slot and, within a track, in the
// order the disk holds its sectors: d88disk export, and the disk that
// d88disk import makes.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "files.h"
#include "text.h"
#include "d88disk.h"

namespace {

int64_t count_data_bytes(const d88_disk* disk)
{
    int64_t total = 0;
    for (const d88_track& track : disk->track)
        for (int32_t i = 0; track.sectors != nullptr && i < track.count; ++i)
            total += track.sectors[i].data_size;
    return total;
}

// Copies between a raw dump and the disk's sectors, in the dump's order.
void copy_raw(d88_disk* disk, uint8_t* raw, bool into_disk)
{
    for (d88_track& track : disk->track) {
        for (int32_t i = 0; track.sectors != nullptr && i < track.count; ++i) {
            d88_sector& s = track.sectors[i];
            if (s.data_size > 0)
                std::memcpy(into_disk ? s.data : raw, into_disk ? raw : s.data, static_cast<size_t>(s.data_size));
            raw += s.data_size;
        }
    }
}

}  // namespace

d88_disk* import_disk(int32_t format, const char* name, const char* raw_path)
{
    int32_t size = 0;
    uint8_t* raw = load_d88_file(raw_path, &size);
    if (raw == nullptr) {
        print_text("error: read raw image '%s'\n", raw_path);
        return nullptr;
    }
    d88_disk* disk = create_d88_disk(name, format);
    const int64_t expected = disk != nullptr ? count_data_bytes(disk) : 0;
    if (disk == nullptr) {
        print_text_line("error: memory exhausted!");
    } else if (size != expected) {
        print_text("error: '%s' holds %d bytes, but format %d holds %lld\n", raw_path, static_cast<int>(size),
                    static_cast<int>(format), static_cast<long long>(expected));
        free_d88_disk(disk, 1);
        disk = nullptr;
    } else {
        copy_raw(disk, raw, true);
    }
    std::free(raw);
    return disk;
}

int run_export(const command_line& line)
{
    const char* path = line.words[0];
    const char* out = line.words[1];
    d88_image image = {};
    if (refuse_input_as_output(out, &path, 1) || refuse_existing(out, line.overwrite) || !load_image(&image, path))
        return 1;
    d88_disk* disk = get_d88_disk(&image, static_cast<int32_t>(line.disk));
    const int64_t size = disk != nullptr ? count_data_bytes(disk) : 0;
    uint8_t* raw = disk != nullptr ? static_cast<uint8_t*>(std::malloc(size > 0 ? static_cast<size_t>(size) : 1)) : nullptr;
    int status = 1;
    if (disk == nullptr)
        print_text("error: no disk %u in '%s'\n", line.disk, path);
    else if (raw == nullptr)
        print_text_line("error: memory exhausted!");
    else
        copy_raw(disk, raw, false);
    if (raw != nullptr && store_d88_file(out, raw, static_cast<int32_t>(size)) == 0) {
        print_text("wrote %s\n", out);
        status = 0;
    } else if (raw != nullptr) {
        print_text("error: write raw image '%s'\n", out);
    }
    std::free(raw);
    free_d88_image(&image, 0);
    return status;
}
