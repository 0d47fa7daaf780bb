// run.cpp -- d88disk: look into D88 images, create blank and sample disks.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88disk.h"

namespace {

void print_help()
{
    std::puts("usage: d88disk COMMAND [arguments]");
    std::puts("");
    std::puts("commands:");
    std::puts("  info IMAGE          list the disks of a D88 image, their tracks and sectors");
    std::puts("  create FORMAT OUT   write a blank formatted disk");
    std::puts("  sample DIR          write a sample game disk and two data disks for vorkast");
    std::puts("");
    std::puts("'d88disk COMMAND --help' tells more about each command.");
    std::puts("");
    print_format_list();
}

bool asks_for_help(int argc, char** argv)
{
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-?") == 0)
            return true;
    }
    return false;
}

}  // namespace

bool parse_count(const char* text, uint32_t max, uint32_t* value)
{
    if (text[0] < '0' || text[0] > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 16 : 10);
    if (errno != 0 || *end != '\0' || v > max)
        return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

// Runs one command line of d88disk: 0 on success, 1 after a message.
int run_d88disk(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-?") == 0) {
        print_help();
        return argc < 2 ? 1 : 0;
    }
    const char* command = argv[1];
    const bool help = asks_for_help(argc - 2, argv + 2);
    if (std::strcmp(command, "info") == 0) {
        if (help)
            print_info_help();
        return help ? 0 : run_info(argc - 2, argv + 2);
    }
    if (std::strcmp(command, "create") == 0) {
        if (help)
            print_create_help();
        return help ? 0 : run_create(argc - 2, argv + 2);
    }
    if (std::strcmp(command, "sample") == 0) {
        if (help)
            print_sample_help();
        return help ? 0 : run_sample(argc - 2, argv + 2);
    }
    std::printf("error: unknown command '%s' (see d88disk --help)\n", command);
    return 1;
}
