// create.cpp -- d88disk create: a blank disk of one of the standard formats.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <sys/stat.h>

#include "d88.h"
#include "d88disk.h"

namespace {

struct format_name {
    const char* name;
    const char* description;
};

// The library's ten formats, in the order of their numbers.
constexpr format_name FORMAT_NAMES[] = {
    {"2d", "2D   40 x 2 x 16 x 256 bytes, 320 KB"},
    {"2dd640", "2DD  80 x 2 x 8 x 512 bytes, 640 KB"},
    {"2dd720", "2DD  80 x 2 x 9 x 512 bytes, 720 KB"},
    {"2hd1232", "2HD  77 x 2 x 8 x 1024 bytes, 1232 KB"},
    {"2hd1280", "2HD  80 x 2 x 8 x 1024 bytes, 1280 KB"},
    {"2hd1440r", "2HD  80 x 2 x 9 x 1024 bytes, 1440 KB, sectors R 10 to 18"},
    {"2hd1440h", "2HD  80 x 2 x 9 x 1024 bytes, 1440 KB, heads H 0x80 and 0x81"},
    {"2hd1200", "2HD  80 x 2 x 15 x 512 bytes, 1200 KB"},
    {"2hd1440", "2HD  80 x 2 x 18 x 512 bytes, 1440 KB"},
    {"2hd1001", "2HD  77 x 2 x 26 x 256 bytes, 1001 KB"},
};

constexpr uint32_t FORMAT_COUNT = static_cast<uint32_t>(std::size(FORMAT_NAMES));

// The format's number, from its number or its name; -1 when neither.
int32_t find_format(const char* text)
{
    uint32_t number = 0;
    if (parse_count(text, FORMAT_COUNT - 1, &number))
        return static_cast<int32_t>(number);
    for (uint32_t i = 0; i < FORMAT_COUNT; ++i) {
        if (strcasecmp(text, FORMAT_NAMES[i].name) == 0)
            return static_cast<int32_t>(i);
    }
    return -1;
}

// True when path exists and overwriting was not allowed, after saying so.
bool refuse_existing(const char* path, bool overwrite)
{
    struct stat st;
    if (overwrite || stat(path, &st) != 0)
        return false;
    std::printf("'%s' already exists (give --overwrite to replace it)\n", path);
    return true;
}

}  // namespace

void print_format_list()
{
    std::puts("formats (by number or name):");
    for (uint32_t i = 0; i < FORMAT_COUNT; ++i)
        std::printf("  %u  %-9s %s\n", i, FORMAT_NAMES[i].name, FORMAT_NAMES[i].description);
}

void print_create_help()
{
    std::puts("usage: d88disk create FORMAT OUT [--name NAME] [--overwrite]");
    std::puts("");
    std::puts("Writes a blank disk as the one-disk image OUT: every sector present, filled");
    std::puts("with E5.  An existing OUT is replaced only with --overwrite.");
    std::puts("  --name NAME      the disk's name, up to 16 characters (default: blank)");
    std::puts("");
    print_format_list();
}

int run_create(int argc, char** argv)
{
    const char* positional[2] = {};
    int positionals = 0;
    const char* name = nullptr;
    bool overwrite = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--overwrite") == 0) {
            overwrite = true;
        } else if (std::strcmp(argv[i], "--name") == 0 && i + 1 < argc) {
            name = argv[++i];
        } else if (argv[i][0] == '-' || positionals == 2) {
            std::printf("error: unexpected argument '%s' (see d88disk create --help)\n", argv[i]);
            return 1;
        } else {
            positional[positionals++] = argv[i];
        }
    }
    if (positionals < 2) {
        std::puts("error: give a format and an output file (see d88disk create --help)");
        return 1;
    }
    const int32_t format = find_format(positional[0]);
    if (format < 0) {
        std::printf("error: unknown format '%s' (see d88disk create --help)\n", positional[0]);
        return 1;
    }
    if (refuse_existing(positional[1], overwrite))
        return 1;
    d88_disk* disk = create_d88_disk(name, format);
    if (disk == nullptr) {
        std::puts("error: create disk");
        return 1;
    }
    const int32_t result = write_d88_disk_file(disk, positional[1]);
    free_d88_disk(disk, 1);
    if (result < 0) {
        std::printf("error: write d88 image '%s'\n", positional[1]);
        return 1;
    }
    return 0;
}
