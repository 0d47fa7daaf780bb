// in_place.cpp -- an image file changed in place: its bytes and the records
// read from them, for set and the commands on the files inside a disk.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "d88disk.h"

void close_image_file(image_file* file)
{
    std::free(file->bytes);
    free_d88_image(&file->image, 0);
}

bool open_image_file(const char* path, uint32_t index, image_file* file)
{
    *file = {};
    file->bytes = load_d88_file(path, &file->size);
    const int32_t disks =
        file->bytes != nullptr ? read_d88_image_from_named_buffer(&file->image, file->bytes, file->size, path) : -1;
    file->disk = get_d88_disk(&file->image, index <= INT32_MAX ? static_cast<int32_t>(index) : -1);
    if (disks > 0 && file->disk != nullptr)
        return true;
    if (disks <= 0)
        say_unreadable(path, D88_FILE_D88);
    else
        print_text("error: no disk %u in '%s'\n", index, path);
    close_image_file(file);
    return false;
}

bool store_image_file(const char* path, image_file* file)
{
    if (update_d88_image_bytes(&file->image, file->bytes, file->size) < 0 ||
        store_d88_file(path, file->bytes, file->size) < 0) {
        say_unwritable(path, D88_FILE_D88);
        return false;
    }
    print_text("wrote %s\n", path);
    return true;
}
