// create.cpp -- d88disk create: a blank disk of one of the standard
// formats; and the formats themselves, by number or name.
#include <cstdio>
#include <cstring>

#include "files.h"
#include "text.h"
#include "core/standard_formats.h"
#include "core/words.h"
#include "d88disk.h"

int32_t find_format(const char* text)
{
    uint32_t number = 0;
    if (parse_count(text, D88_FORMAT_COUNT - 1, &number))
        return static_cast<int32_t>(number);
    for (int32_t i = 0; i < D88_FORMAT_COUNT; ++i) {
        if (is_same_word(text, d88_format_table[i].name))
            return i;
    }
    print_text("error: unknown format '%s' (see d88disk --help)\n", text);
    return -1;
}

void print_format_list()
{
    print_text_line("formats (by number or name):");
    for (int32_t i = 0; i < D88_FORMAT_COUNT; ++i)
        print_text("  %d  %-9s %s\n", static_cast<int>(i), d88_format_table[i].name, d88_format_table[i].description);
}

// create FORMAT OUT: a blank disk of the format, written as a one-disk
// image.
int run_create(const command_line& line)
{
    const int32_t format = find_format(line.words[0]);
    const char* out = line.words[1];
    char name[17];
    if (format < 0 || (line.name != nullptr && !encode_disk_name(line.name, name)) || refuse_existing(out, line.overwrite))
        return 1;
    d88_disk* disk = create_d88_disk(line.name != nullptr ? name : nullptr, format);
    if (disk == nullptr) {
        print_text_line("error: memory exhausted!");  // after the library's line
        return 1;
    }
    const bool written = write_disk(disk, out);
    free_d88_disk(disk, 1);
    return written ? 0 : 1;
}
