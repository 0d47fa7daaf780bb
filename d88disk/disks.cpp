// disks.cpp -- d88disk split and join: an image cut into one-disk images,
// and one image made of the disks of several.  Every disk is laid out anew.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "files.h"
#include "text.h"
#include "d88disk.h"
#include "platform.h"

namespace {

// BASE.N.EXT for disk N of the image at path, in folder (or the image's own
// folder when folder is null); null when memory runs out.
char* split_name(const char* path, const char* folder, int index)
{
    const char* name = file_name_part(path);
    const char* dot = std::strrchr(name, '.');
    const int base = static_cast<int>(dot != nullptr ? dot - name : static_cast<long>(std::strlen(name)));
    const char* extension = dot != nullptr ? dot : "";
    const size_t folder_length = folder != nullptr ? std::strlen(folder) : static_cast<size_t>(name - path);
    const bool separator = folder != nullptr && folder_length > 0 && folder[folder_length - 1] != '/' &&
                           folder[folder_length - 1] != '\\';
    const size_t size = folder_length + 1 + std::strlen(name) + 16;
    char* out = static_cast<char*>(std::malloc(size));
    if (out != nullptr)
        std::snprintf(out, size, "%.*s%s%.*s.%d%s", static_cast<int>(folder_length), folder != nullptr ? folder : path,
                      separator ? "/" : "", base, name, index, extension);
    return out;
}

// The names of every disk's file, or null after a message (memory, or a
// file that is there and may not be replaced).  The caller releases them.
char** split_names(const char* path, const char* folder, int count, bool overwrite)
{
    char** names = static_cast<char**>(std::calloc(static_cast<size_t>(count), sizeof(char*)));
    bool ready = names != nullptr;
    for (int i = 0; ready && i < count; ++i) {
        names[i] = split_name(path, folder, i);
        ready = names[i] != nullptr;
    }
    if (!ready)
        print_text_line("error: memory exhausted!");
    for (int i = 0; names != nullptr && i < count; ++i)
        ready = !refuse_input_as_output(names[i], &path, 1) && !refuse_existing(names[i], overwrite) && ready;
    if (ready)
        return names;
    for (int i = 0; names != nullptr && i < count; ++i)
        std::free(names[i]);
    std::free(names);
    return nullptr;
}

}  // namespace

int run_split(const command_line& line)
{
    const char* path = line.words[0];
    if (line.out != nullptr && !make_output_folder(line.out))
        return 1;
    d88_image image = {};
    if (!load_image(&image, path))
        return 1;
    const int count = image.disk_count;
    char** names = split_names(path, line.out, count, line.overwrite);
    int status = names != nullptr ? 0 : 1;
    const d88_disk* disk = image.disks;
    for (int i = 0; status == 0 && i < count; ++i, disk = disk->next)
        status = write_disk(disk, names[i]) ? 0 : 1;
    for (int i = 0; names != nullptr && i < count; ++i)
        std::free(names[i]);
    std::free(names);
    free_d88_image(&image, 0);
    return status;
}

int run_join(const command_line& line)
{
    const char* out = line.words[0];
    if (refuse_input_as_output(out, line.words + 1, line.word_count - 1) || refuse_existing(out, line.overwrite))
        return 1;
    d88_image joined = {};
    d88_disk** tail = &joined.disks;
    bool loaded = true;
    for (int i = 1; loaded && i < line.word_count; ++i) {
        d88_image part = {};
        loaded = load_image(&part, line.words[i]);
        *tail = part.disks;
        joined.disk_count += part.disk_count;
        while (*tail != nullptr)
            tail = &(*tail)->next;
    }
    const int status = loaded && write_image(&joined, out) ? 0 : 1;
    free_d88_image(&joined, 0);
    return status;
}
