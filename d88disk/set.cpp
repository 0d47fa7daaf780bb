// set.cpp -- d88disk set: a disk's name or write protection changed in
// place.  Only those bytes of the file change; the file is replaced safely.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text.h"
#include "d88_layout.h"
#include "d88disk.h"

namespace {

// Where disk index starts in the image's bytes: after the disks before it,
// each as long as its header says.  -1 when there is no such disk.
int64_t find_disk_offset(const d88_image& image, uint32_t index)
{
    int64_t offset = 0;
    const d88_disk* disk = image.disks;
    for (; disk != nullptr && index > 0; disk = disk->next, --index)
        offset += disk->disk_size;
    return disk != nullptr ? offset : -1;
}

// The changes asked for are sound; false after saying why not.
bool check_changes(const command_line& line, char name[17])
{
    if (line.name == nullptr && !line.protect && !line.writable) {
        print_text_line("error: say what to change: --name NAME, --protect or --writable");
        return false;
    }
    if (line.protect && line.writable) {
        print_text_line("error: --protect and --writable exclude each other");
        return false;
    }
    return line.name == nullptr || encode_disk_name(line.name, name);
}

}  // namespace

int run_set(const command_line& line)
{
    const char* path = line.words[0];
    char name[17];
    if (!check_changes(line, name))
        return 1;
    int32_t size = 0;
    uint8_t* bytes = load_d88_file(path, &size);
    d88_image image = {};
    const int32_t disks = bytes != nullptr ? read_d88_image_from_named_buffer(&image, bytes, size, path) : -1;
    const int64_t offset = find_disk_offset(image, line.disk);
    free_d88_image(&image, 0);
    if (disks <= 0 || offset < 0) {
        if (disks < 0)
            print_text("error: read d88 image '%s'\n", path);
        else if (disks == 0)
            print_text("error: '%s' holds no D88 disk\n", path);
        else
            print_text("error: no disk %u in '%s'\n", line.disk, path);
        std::free(bytes);
        return 1;
    }
    uint8_t* header = bytes + offset;
    if (line.name != nullptr)
        std::memcpy(header + D88_NAME_AT, name, sizeof name);
    if (line.protect || line.writable)
        header[D88_WRITE_PROTECT_AT] = line.protect ? D88_PROTECTED : D88_WRITABLE;
    const int32_t result = store_d88_file(path, bytes, size);
    std::free(bytes);
    print_text(result < 0 ? "error: write d88 image '%s'\n" : "wrote %s\n", path);
    return result < 0 ? 1 : 0;
}
