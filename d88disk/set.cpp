// set.cpp -- d88disk set: a disk's name or write protection changed in
// place.  Only those bytes of the file change; the file is replaced safely.
#include <cstring>

#include "text.h"
#include "core/layout.h"
#include "d88disk.h"

namespace {

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
    image_file file;
    if (!check_changes(line, name) || !open_image_file(path, line.disk, &file))
        return 1;
    if (line.name != nullptr)
        std::memcpy(file.disk->name, name, sizeof name);
    if (line.protect || line.writable)
        file.disk->write_protect = line.protect ? D88_PROTECTED : D88_WRITABLE;
    const bool stored = store_image_file(path, &file);
    close_image_file(&file);
    return stored ? 0 : 1;
}
