// convert.cpp -- d88disk convert: a disk image from one format into
// another, through the D88 records, naming everything the target cannot
// carry before anything is written.
#include <cstdio>
#include <cstdlib>

#include "d88disk.h"
#include "files.h"
#include "report.h"
#include "text.h"

namespace {

// The format named by option, else by the file's extension; -1 after
// saying that there is none.
int32_t choose_format(const char* option, const char* path)
{
    const int32_t format = find_d88_file_format(option != nullptr ? option : path);
    if (format < 0 && option != nullptr)
        print_text("error: unknown format '%s' (d88, imd, hdm, fdi, hfe, dim or nfd)\n", option);
    else if (format < 0)
        print_text("error: no format is known by the name of '%s' (give --from or --to: d88, imd, hdm, fdi, hfe, dim or nfd)\n", path);
    return format;
}

// The image at path, read as format; false after the reader's lines.
bool import_file(d88_image* image, const char* path, int32_t format)
{
    int32_t size = 0;
    uint8_t* bytes = load_d88_file(path, &size);
    int32_t disks = -1;
    if (bytes != nullptr && format == D88_FILE_D88)
        disks = read_d88_image_from_named_buffer(image, bytes, size, path);
    else if (bytes != nullptr)
        disks = import_d88_image(image, bytes, size, format);
    std::free(bytes);
    if (disks < 0)
        print_text("error: read %s image '%s'\n", d88_file_format_name(format), path);
    else if (disks == 0)
        print_text("error: '%s' holds no D88 disk\n", path);
    return disks > 0;
}

// The losses of an export, kept with the place of the disk in the image.
struct loss_list {
    kept_findings<d88_finding> kept;
    int32_t disk;
};

void keep_loss(const d88_finding* f, void* context)
{
    loss_list* list = static_cast<loss_list*>(context);
    d88_finding at = *f;
    at.disk = list->disk;
    keep_finding(&at, &list->kept);
}

// Says every loss, as check says findings: alike ones at consecutive
// tracks in one line.
void say_losses(const kept_findings<d88_finding>& kept)
{
    for (int32_t i = 0; i < kept.count;)
        i += print_finding_line(kept.items, i, kept.count, nullptr);
    if (kept.failed)
        print_text_line("error: memory exhausted!");
}

// The bytes of the target: the whole image for D88 (or disk N alone), one
// disk for the other formats; null after saying why not.
uint8_t* convert_image(const d88_image& image, const command_line& line, int32_t to, int32_t* size)
{
    const char* in = line.words[0];
    if (to != D88_FILE_D88 && !line.disk_given && image.disk_count > 1) {
        print_text("error: '%s' holds %d disks, and %s holds one: say which with --disk N\n", in,
                   static_cast<int>(image.disk_count), d88_file_format_name(to));
        return nullptr;
    }
    uint8_t* bytes = nullptr;
    if (to == D88_FILE_D88 && !line.disk_given)
        return write_d88_image_to_buffer(&image, &bytes, size) == 0 ? bytes : nullptr;
    const d88_disk* disk = get_d88_disk(const_cast<d88_image*>(&image), static_cast<int32_t>(line.disk));
    if (disk == nullptr) {
        print_text("error: no disk %u in '%s'\n", line.disk, in);
        return nullptr;
    }
    const d88_export_options options = {line.force, static_cast<int32_t>(line.rpm)};
    loss_list list = {{}, static_cast<int32_t>(line.disk)};
    const int32_t losses = export_d88_disk(disk, to, &options, keep_loss, &list, &bytes, size);
    say_losses(list.kept);
    release_findings(&list.kept);
    if (losses > 0 && bytes == nullptr)
        print_text("error: %d %s listed above; nothing written (give --force to write what %s holds)\n",
                   static_cast<int>(losses), losses == 1 ? "loss" : "losses", d88_file_format_name(to));
    return bytes;
}

}  // namespace

int run_convert(const command_line& line)
{
    const char* in = line.words[0];
    const char* out = line.words[1];
    if (line.rpm != 0 && line.rpm != 300 && line.rpm != 360) {
        print_text("error: --rpm is 300 or 360, not %u\n", line.rpm);
        return 1;
    }
    const int32_t from = choose_format(line.from, in);
    const int32_t to = from >= 0 ? choose_format(line.to, out) : -1;
    d88_image image = {};
    if (to < 0 || refuse_input_as_output(out, &in, 1) || refuse_existing(out, line.overwrite) || !import_file(&image, in, from)) {
        free_d88_image(&image, 0);
        return 1;
    }
    int32_t size = 0;
    uint8_t* bytes = convert_image(image, line, to, &size);
    const bool written = bytes != nullptr && store_d88_file(out, bytes, size) == 0;
    if (written)
        print_text("wrote %s\n", out);
    else if (bytes != nullptr)
        print_text("error: write %s image '%s'\n", d88_file_format_name(to), out);
    std::free(bytes);
    free_d88_image(&image, 0);
    return written ? 0 : 1;
}
