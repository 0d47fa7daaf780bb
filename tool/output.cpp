// output.cpp -- the overwrite question and the writing of the result.
#include <cstdio>

#include "text.h"
#include "platform.h"
#include "vorkast.h"

// Asks question on the console and waits for Y or N, skipping any other
// character.  When standard input ends first the answer is No: the tool
// never waits for ever, and never replaces a file nobody agreed to.
int ask_yes_no(const char* question)
{
    print_text("%s (Y or N): ", question);
    finish_text();
    std::fflush(stdout);
    for (;;) {
        const int ch = std::getchar();
        if (ch == 'Y' || ch == 'y')
            return 1;
        if (ch == 'N' || ch == 'n')
            return 0;
        if (ch == EOF) {
            print_text("\n");
            return 0;
        }
    }
}

// Writes the whole game image to path, asking first when a file is there
// and --overwrite was not given.  0 when the file was written.
int32_t write_output_image(const d88_image* image, const char* path, bool overwrite)
{
    if (!overwrite && path_exists(path)) {
        print_text("'%s' already exists\n", path);
        if (!ask_yes_no("overwrite ?"))
            return -1;
    }
    if (write_d88_image_file(image, path) < 0) {
        print_text("error: write d88 image '%s'\n", path);
        return -1;
    }
    return 0;
}
