// run.cpp -- the command line and the run of vorkast from start to end.
//
// Parse and check the arguments, derive the output name, load the game disk
// image and the data disk images, transfer the selected tracks, write the
// result, release everything.  Status 0 means the output file was written.
// A run leaves nothing behind, so it may be called again in one process.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88.h"
#include "platform.h"
#include "vorkast.h"

namespace {

constexpr int SLOT_COUNT = 3;
constexpr int GAME = 0, DATA1 = 1, DATA2 = 2;
constexpr int32_t ALL_TRACKS = -1;

// What the command line asked for.
struct run_arguments {
    const char* path[SLOT_COUNT];
    uint32_t index;
    int32_t track;
    const char* output;
    bool version;  // --version: the run ends after saying which one this is
};

// The images of the run, empty from the start and released on every path.
struct run_state {
    d88_image image[SLOT_COUNT];
    d88_disk* disk[SLOT_COUNT];
    char* derived_output;

    ~run_state()
    {
        for (d88_image& slot : image)
            free_d88_image(&slot, 0);
        std::free(derived_output);
    }
};

int digit_value(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'z')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'Z')
        return ch - 'A' + 10;
    return 99;
}

void print_usage()
{
    std::puts("usage: vorkast [options] DISK.D88 DATA1.D88 DATA2.D88");
    std::puts("option: -i|--index #      specify index # of DISK.D88");
    std::puts("        -t|--track #      insert specified track only");
    std::puts("           --overwrite    overwrite output file");
    std::puts("        -?|--help         print usage");
    std::puts("");
    std::puts("supported disk image format is *.D88 only");
    std::puts("write modified disk image to filename.NEW.ext if not specifyed");
}

}  // namespace

// Reads an unsigned 32-bit number as strtoul does: a minus sign negates
// modulo 2^32, and an empty text reads as 0.
bool parse_number(const char* text, uint32_t* value)
{
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit_value(p[2]) < 16) {
        base = 16;
        p += 2;
    } else if (p[0] == '0') {
        base = 8;
    }
    const char* digits = p;
    uint64_t v = 0;
    bool overflow = false;
    for (; digit_value(*p) < base; ++p) {
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit_value(*p));
        if (v > UINT32_MAX) {
            overflow = true;
            v = UINT32_MAX;
        }
    }
    if (p == digits) {
        *value = 0;
        return *text == '\0';
    }
    *value = overflow ? UINT32_MAX : negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(v))
                                               : static_cast<uint32_t>(v);
    return *p == '\0';
}

// GAME.D88 becomes GAME.NEW.D88 and GAME becomes GAME.NEW; only a dot in the
// last path component counts, so folders (and a drive) keep their names.
char* derive_output_name(const char* path)
{
    const size_t length = std::strlen(path);
    char* name = static_cast<char*>(std::malloc(length + 5));
    if (name == nullptr) {
        std::puts("error: memory exhausted!");
        return nullptr;
    }
    const char* dot = std::strrchr(file_name_part(path), '.');
    const size_t stem = dot != nullptr ? static_cast<size_t>(dot - path) : length;
    std::memcpy(name, path, stem);
    std::memcpy(name + stem, ".NEW", 4);
    std::memcpy(name + stem + 4, path + stem, length - stem + 1);
    return name;
}

namespace {

bool is_option(const char* arg, const char* short_name, const char* long_name)
{
    return (short_name != nullptr && std::strcmp(arg, short_name) == 0) || std::strcmp(arg, long_name) == 0;
}

// Examines the arguments from first to last; the first error, or -?/--help,
// prints its line(s) and ends the parse with false.
bool parse_arguments(int argc, char** argv, run_arguments* args)
{
    int expected = SLOT_COUNT;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (is_option(arg, "-?", "--help")) {
            print_usage();
            return false;
        } else if (is_option(arg, nullptr, "--version")) {
            std::printf("vorkast %s\n", D88_VERSION_STRING);
            args->version = true;
            return false;
        } else if (is_option(arg, "-i", "--index")) {
            if (value == nullptr) {
                std::puts("error: no image index");
                return false;
            }
            if (!parse_number(value, &args->index)) {
                std::printf("error: illegal image index '%s'\n", value);
                return false;
            }
            ++i;
        } else if (is_option(arg, "-t", "--track")) {
            uint32_t track = 0;
            if (value == nullptr) {
                std::puts("error: no track number");
                return false;
            }
            if (!parse_number(value, &track) || static_cast<int32_t>(track) >= TRACK_NUMBER_COUNT) {
                std::printf("error: illegal track number '%s'\n", value);
                return false;
            }
            args->track = static_cast<int32_t>(track) < 0 ? ALL_TRACKS : static_cast<int32_t>(track);
            ++i;
        } else if (is_option(arg, "-o", "--output")) {
            if (value == nullptr) {
                std::puts("error: no output filename");
                return false;
            }
            args->output = value;
            ++i;
        } else if (is_option(arg, nullptr, "--overwrite")) {
            force_overwrite = 1;
        } else if (arg[0] == '-') {
            std::printf("error: unknown option '%s'\n", arg);
            return false;
        } else if (expected == 0) {
            std::printf("error: illegal parameter '%s'\n", arg);
            return false;
        } else {
            args->path[SLOT_COUNT - expected--] = arg;
        }
    }
    return true;
}

// A single track number of 40 or more needs only data disk #2, which then
// comes second on the command line.
bool check_slots(run_arguments* args)
{
    if (args->path[GAME] == nullptr) {
        std::puts("error: no game disk image");
        return false;
    }
    if (args->path[DATA1] == nullptr) {
        std::puts("error: no data disk #1 image");
        return false;
    }
    if (args->path[DATA2] == nullptr) {
        if (args->track == ALL_TRACKS) {
            std::puts("error: no data disk #2 image");
            return false;
        }
        if (args->track >= TRACKS_PER_DATA_DISK) {
            args->path[DATA2] = args->path[DATA1];
            args->path[DATA1] = nullptr;
        }
    }
    return true;
}

// Reads each slot's image and selects its disk: the -i disk of the game
// image, the first disk of each data image.
bool load_images(const run_arguments& args, run_state* run)
{
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const char* path = args.path[slot];
        if (path == nullptr)
            continue;
        if (read_d88_image_file(&run->image[slot], path) < 0) {
            std::printf("error: read d88 image '%s'\n", path);
            return false;
        }
        const int32_t index = slot == GAME ? static_cast<int32_t>(args.index) : 0;
        run->disk[slot] = get_d88_disk(&run->image[slot], index);
        if (run->disk[slot] == nullptr) {
            std::printf("error: get disk %d from image '%s'\n", static_cast<int>(index), path);
            return false;
        }
    }
    return true;
}

}  // namespace

// The stages in order; the first failure ends the run with status 1, and
// run_state releases whatever was loaded on every path.
int run_vorkast(int argc, char** argv)
{
    force_overwrite = 0;
    run_arguments args = {{nullptr, nullptr, nullptr}, 0, ALL_TRACKS, nullptr, false};
    if (!parse_arguments(argc, argv, &args))
        return args.version ? 0 : 1;
    if (!check_slots(&args))
        return 1;

    run_state run = {};
    const char* output = args.output;
    if (output == nullptr) {
        run.derived_output = derive_output_name(args.path[GAME]);
        if (run.derived_output == nullptr)
            return 1;
        output = run.derived_output;
    }
    if (!load_images(args, &run))
        return 1;
    uint8_t track_buffer[TRACK_DATA_SIZE];
    if (transfer_tracks(run.disk[GAME], run.disk[DATA1], run.disk[DATA2], args.track, track_buffer) < 0)
        return 1;
    return write_output_image(&run.image[GAME], output) < 0 ? 1 : 0;
}
