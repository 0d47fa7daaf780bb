// create.cpp -- d88disk create: a blank disk of one of the standard formats.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "d88.h"
#include "d88_formats.h"
#include "d88disk.h"
#include "platform.h"

namespace {

constexpr uint32_t FORMAT_COUNT = static_cast<uint32_t>(D88_FORMAT_COUNT);

// Whether a and b are the same text but for the case of ASCII letters.
bool same_name(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

// The format's number, from its number or its name; -1 when neither.
int32_t find_format(const char* text)
{
    uint32_t number = 0;
    if (parse_count(text, FORMAT_COUNT - 1, &number))
        return static_cast<int32_t>(number);
    for (uint32_t i = 0; i < FORMAT_COUNT; ++i) {
        if (same_name(text, d88_format_table[i].name))
            return static_cast<int32_t>(i);
    }
    return -1;
}

// True when path exists and overwriting was not allowed, after saying so.
bool refuse_existing(const char* path, bool overwrite)
{
    if (overwrite || !path_exists(path))
        return false;
    std::printf("'%s' already exists (give --overwrite to replace it)\n", path);
    return true;
}

}  // namespace

void print_format_list()
{
    std::puts("formats (by number or name):");
    for (uint32_t i = 0; i < FORMAT_COUNT; ++i)
        std::printf("  %u  %-9s %s\n", i, d88_format_table[i].name, d88_format_table[i].description);
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
