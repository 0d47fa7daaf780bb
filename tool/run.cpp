// run.cpp -- the command line and the run of vorkast from start to end.
//
// Parse and check the arguments, derive the output name, load the game disk
// image and the data disk images, transfer the selected tracks, write the
// result, release everything.  Status 0 means the output file was written.
// A run leaves nothing behind, so it may be called again in one process.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "files.h"
#include "text.h"
#include "d88.h"
#include "numbers.h"
#include "vorkast.h"

namespace {

// What the command line asked for.
struct run_arguments {
    job request;
    const char* output;
    bool overwrite;  // --overwrite: replace an existing output without asking
    bool version;    // --version: the run ends after saying which one this is
};

void print_usage()
{
    print_text_line("usage: vorkast [options] DISK.D88 DATA1.D88 DATA2.D88");
    print_text_line("option: -i|--index #      specify index # of DISK.D88");
    print_text_line("        -t|--track #      insert specified track only");
    print_text_line("           --overwrite    overwrite output file");
    print_text_line("        -?|--help         print usage");
    print_text_line("");
    print_text_line("supported disk image format is *.D88 only");
    print_text_line("write modified disk image to filename.NEW.ext if not specifyed");
}

bool is_option(const char* arg, const char* short_name, const char* long_name)
{
    return (short_name != nullptr && std::strcmp(arg, short_name) == 0) || std::strcmp(arg, long_name) == 0;
}

// Examines the arguments from first to last; the first error, or -?/--help,
// prints its line(s) and ends the parse with false.
bool parse_arguments(int argc, char** argv, run_arguments* args)
{
    int expected = JOB_IMAGE_COUNT;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (is_option(arg, "-?", "--help")) {
            print_usage();
            return false;
        } else if (is_option(arg, nullptr, "--version")) {
            print_text("vorkast %s\n", D88_VERSION_STRING);
            args->version = true;
            return false;
        } else if (is_option(arg, "-i", "--index")) {
            if (value == nullptr) {
                print_text_line("error: no image index");
                return false;
            }
            if (!parse_number(value, &args->request.index)) {
                print_text("error: illegal image index '%s'\n", value);
                return false;
            }
            ++i;
        } else if (is_option(arg, "-t", "--track")) {
            if (value == nullptr) {
                print_text_line("error: no track number");
                return false;
            }
            if (!parse_track_number(value, &args->request.track))
                return false;
            ++i;
        } else if (is_option(arg, "-o", "--output")) {
            if (value == nullptr) {
                print_text_line("error: no output filename");
                return false;
            }
            args->output = value;
            ++i;
        } else if (is_option(arg, nullptr, "--overwrite")) {
            args->overwrite = true;
        } else if (arg[0] == '-') {
            print_text("error: unknown option '%s'\n", arg);
            return false;
        } else if (expected == 0) {
            print_text("error: illegal parameter '%s'\n", arg);
            return false;
        } else {
            args->request.image[JOB_IMAGE_COUNT - expected--].name = arg;
        }
    }
    return true;
}

}  // namespace

namespace {

// The stages in order; the first failure ends the run with status 1, and
// whatever was loaded is released on every path.
int run_stages(int argc, char** argv)
{
    run_arguments args = {{{}, 0, ALL_TRACKS}, nullptr, false, false};
    if (!parse_arguments(argc, argv, &args))
        return args.version ? 0 : 1;
    if (!check_job_images(&args.request))
        return 1;
    char* derived_output = args.output == nullptr ? derive_output_name(args.request.image[JOB_GAME].name) : nullptr;
    const char* output = args.output != nullptr ? args.output : derived_output;
    const char* const inputs[JOB_IMAGE_COUNT] = {args.request.image[JOB_GAME].name, args.request.image[JOB_DATA1].name,
                                                 args.request.image[JOB_DATA2].name};
    if (output == nullptr || refuse_input_as_output(output, inputs, JOB_IMAGE_COUNT)) {
        std::free(derived_output);
        return 1;
    }
    job_state state = {};
    const bool written = complete_job(args.request, &state) == 0 &&
                         write_output_image(&state.image[JOB_GAME], output, args.overwrite) == 0;
    release_job(&state);
    std::free(derived_output);
    return written ? 0 : 1;
}

}  // namespace

// The whole run; a line left without its end goes out with it.
int run_vorkast(int argc, char** argv)
{
    const int status = run_stages(argc, argv);
    finish_text();
    return status;
}
