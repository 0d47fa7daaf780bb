// convert.cpp -- d88disk convert: a disk image from one format into
// another, through the D88 records, naming everything the target cannot
// carry before anything is written.  export and import are conversions
// too: a disk to a raw dump, and a raw dump of a given geometry to D88.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88disk.h"
#include "files.h"
#include "formats.h"
#include "report.h"
#include "text.h"

namespace {

// "d88, imd, ... or kryoflux": the name of every format read, or (written)
// of every one written, which are all but KryoFlux.
void format_names(char* out, size_t size, bool written)
{
    const int32_t count = written ? D88_FILE_KRYOFLUX : D88_FILE_FORMAT_COUNT;
    out[0] = '\0';
    for (int32_t f = 0; f < count; ++f) {
        const size_t used = std::strlen(out);
        std::snprintf(out + used, size - used, "%s%s", f == 0 ? "" : f + 1 < count ? ", " : " or ", d88_file_format_name(f));
    }
}

// The format the output is written in: --to, else its extension; -1 after
// saying that there is none.
int32_t choose_output_format(const command_line& line, const char* path)
{
    char names[128];
    format_names(names, sizeof names, true);
    const int32_t format = find_d88_file_format(line.to != nullptr ? line.to : path);
    if ((format < 0 || format == D88_FILE_KRYOFLUX) && line.to != nullptr)
        print_text("error: unknown format '%s' (%s)\n", line.to, names);
    else if (format < 0 || format == D88_FILE_KRYOFLUX)
        print_text("error: no format is known by the name of '%s' (give --to: %s)\n", path, names);
    return format == D88_FILE_KRYOFLUX ? -1 : format;
}

// The format the input's bytes are read as: --from; else what their
// content is, said in a line where the name says otherwise; else what the
// name says.  -1 after saying that neither tells.
int32_t choose_input_format(const command_line& line, const char* path, const uint8_t* bytes, int32_t size)
{
    char names[128];
    format_names(names, sizeof names, false);
    if (line.from != nullptr) {
        const int32_t format = find_d88_file_format(line.from);
        if (format < 0)
            print_text("error: unknown format '%s' (%s)\n", line.from, names);
        return format;
    }
    const int32_t format = choose_read_format(bytes, size, path);
    if (format < 0)
        print_text("error: '%s' is no image of a format known by its content or its name (give --from: %s)\n", path, names);
    return format;
}

// A flux dump read, what its tracks show said as check says findings.
bool read_flux_input(const char* path, d88_image* image)
{
    kept_findings<d88_finding> found = {};
    const bool read = read_flux_dump(path, image, &found, nullptr);
    if (read)
        print_finding_lines(found.items, found.count, nullptr);
    release_findings(&found);
    return read;
}

// The image at path into image; false after the reader's lines.
bool read_input(const command_line& line, const char* path, d88_image* image)
{
    const bool named_flux = line.from != nullptr && (find_d88_file_format(line.from) == D88_FILE_SCP ||
                                                     find_d88_file_format(line.from) == D88_FILE_KRYOFLUX);
    if ((line.from == nullptr && is_kryoflux_dump(path)) || named_flux)
        return read_flux_input(path, image);
    int32_t size = 0;
    uint8_t* bytes = load_d88_file(path, &size);
    if (bytes == nullptr) {
        say_unreadable(path, -1);
        return false;
    }
    const int32_t format = choose_input_format(line, path, bytes, size);
    if (format == D88_FILE_SCP || format == D88_FILE_KRYOFLUX) {
        std::free(bytes);
        return read_flux_input(path, image);
    }
    const int32_t geometry = line.geometry != nullptr && format >= 0 ? find_format(line.geometry) : -1;
    int32_t disks = -1;
    if (line.geometry != nullptr && format >= 0 && format != D88_FILE_RAW)
        print_text("error: --geometry gives the shape of a raw dump; '%s' is read as %s\n", path, d88_file_format_name(format));
    else if (line.geometry != nullptr && geometry < 0)
        ;  // find_format has said why
    else if (format == D88_FILE_D88)
        disks = read_d88_image_from_named_buffer(image, bytes, size, path);
    else if (format == D88_FILE_RAW)
        disks = import_d88_raw_image(image, bytes, size, geometry);
    else if (format >= 0)
        disks = import_d88_image(image, bytes, size, format);
    std::free(bytes);
    if (disks < 0 && format >= 0 && (line.geometry == nullptr || (geometry >= 0 && format == D88_FILE_RAW)))
        say_unreadable(path, format);
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
    print_finding_lines(kept.items, kept.count, nullptr);
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
    const int32_t revolutions = line.revs_given ? static_cast<int32_t>(line.revs) : 1;
    const int32_t losses = to == D88_FILE_SCP ? export_d88_scp_disk(disk, &options, revolutions, keep_loss, &list, &bytes, size)
                                              : export_d88_disk(disk, to, &options, keep_loss, &list, &bytes, size);
    say_losses(list.kept);
    release_findings(&list.kept);
    if (losses < 0)
        print_text("error: %s cannot hold disk %u of '%s'; nothing written\n", d88_file_format_name(to), line.disk, in);
    else if (losses > 0 && bytes == nullptr)
        print_text("error: %d %s listed above; nothing written (give --force to write what %s holds)\n",
                   static_cast<int>(losses), losses == 1 ? "loss" : "losses", d88_file_format_name(to));
    return bytes;
}

// Gives every disk of the image the name --name holds; false after saying
// why it cannot be stored.
bool name_disks(const command_line& line, d88_image* image)
{
    char name[17];
    if (line.name == nullptr)
        return true;
    if (!encode_disk_name(line.name, name))
        return false;
    for (d88_disk* disk = image->disks; disk != nullptr; disk = disk->next)
        std::memcpy(disk->name, name, sizeof name);
    return true;
}

}  // namespace

int run_convert(const command_line& line)
{
    const char* in = line.words[0];
    const char* out = line.words[1];
    if (line.rpm_given && line.rpm != 300 && line.rpm != 360) {
        print_text("error: --rpm is 300 or 360, not %u\n", line.rpm);
        return 1;
    }
    if (line.revs_given && (line.revs < 1 || line.revs > 5)) {
        print_text("error: --revs is 1 to 5, not %u\n", line.revs);
        return 1;
    }
    const int32_t to = choose_output_format(line, out);
    if (to >= 0 && line.revs_given && to != D88_FILE_SCP) {
        print_text("error: --revs gives the revolutions of an SCP file; '%s' is written as %s\n", out, d88_file_format_name(to));
        return 1;
    }
    d88_image image = {};
    if (to < 0 || refuse_input_as_output(out, &in, 1) || refuse_existing(out, line.overwrite) || !read_input(line, in, &image) ||
        !name_disks(line, &image)) {
        free_d88_image(&image, 0);
        return 1;
    }
    int32_t size = 0;
    uint8_t* bytes = convert_image(image, line, to, &size);
    const bool written = bytes != nullptr && store_d88_file(out, bytes, size) == 0;
    if (written)
        print_text("wrote %s\n", out);
    else if (bytes != nullptr)
        say_unwritable(out, to);
    std::free(bytes);
    free_d88_image(&image, 0);
    return written ? 0 : 1;
}

// export IMAGE OUT: the raw dump of a disk, as convert --to raw writes it.
int run_export(const command_line& line)
{
    command_line raw = line;
    raw.to = "raw";
    raw.disk_given = true;  // disk 0 unless told otherwise, as export always took
    return run_convert(raw);
}

// import FORMAT RAW OUT: a raw dump of FORMAT's geometry as a D88 disk, as
// convert --from raw --geometry FORMAT reads it.
int run_import(const command_line& line)
{
    command_line raw = line;
    raw.geometry = line.words[0];
    raw.words = line.words + 1;
    raw.word_count = 2;
    raw.from = "raw";
    raw.to = "d88";
    return run_convert(raw);
}
