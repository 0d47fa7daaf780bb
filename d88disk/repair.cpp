// repair.cpp -- d88disk repair: an imperfect image made into one vorkast's
// reader accepts, written as OUT.
#include <cstdlib>

#include "d88disk.h"
#include "files.h"
#include "repair.h"
#include "text.h"

int run_repair(const command_line& line)
{
    const char* path = line.words[0];
    const char* out = line.words[1];
    int32_t media = -1;
    if ((line.media != nullptr && (media = find_media(line.media)) < 0) || refuse_input_as_output(out, &path, 1) ||
        refuse_existing(out, line.overwrite))
        return 1;
    int32_t size = 0;
    uint8_t* bytes = load_d88_file(path, &size);
    if (bytes == nullptr) {
        say_unreadable(path, D88_FILE_D88);
        return 1;
    }
    d88_image kept = {};
    const int32_t result = repair_d88_bytes(bytes, size, path, media, line.force, &kept);
    std::free(bytes);
    const bool written = result == 0 && write_image(&kept, out);
    free_d88_image(&kept, 0);
    return written ? 0 : 1;
}
