// convert.cpp -- D88 records to and from other image formats: the
// formats by name, the report of losses, and the export and import that
// every format goes through.
#include "formats.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "core/decode.h"
#include "core/message.h"
#include "core/words.h"

namespace {

// Each format's name and the extensions its files carry.
struct file_format {
    const char* name;
    const char* extensions[4];
};

constexpr file_format FORMATS[] = {
    {"d88", {"d88", "d77", "d68", "d98"}},
    {"imd", {"imd"}},
    {"hdm", {"hdm"}},
    {"fdi", {"fdi"}},
    {"hfe", {"hfe"}},
    {"dim", {"dim"}},
    {"nfd", {"nfd"}},
};
static_assert(std::size(FORMATS) == D88_FILE_FORMAT_COUNT, "every format has a row");


}  // namespace

const char* d88_file_format_name(int32_t format)
{
    return format >= 0 && format < D88_FILE_FORMAT_COUNT ? FORMATS[format].name : nullptr;
}

int32_t find_d88_file_format(const char* name)
{
    if (name == nullptr)
        return -1;
    const char* dot = std::strrchr(name, '.');
    const char* extension = dot != nullptr ? dot + 1 : name;
    for (int32_t format = 0; format < D88_FILE_FORMAT_COUNT; ++format) {
        for (const char* known : FORMATS[format].extensions) {
            if (known != nullptr && (is_same_word(name, known) || is_same_word(extension, known)))
                return format;
        }
    }
    return -1;
}

int32_t export_d88_disk(const d88_disk* disk, int32_t format, const d88_export_options* options,
                        d88_finding_handler handler, void* context, uint8_t** buffer_out, int32_t* size_out)
{
    const d88_export_options chosen = options != nullptr ? *options : d88_export_options{0, 0};
    if (disk == nullptr || buffer_out == nullptr || size_out == nullptr || format < 0 || format >= D88_FILE_FORMAT_COUNT) {
        print_d88_line("export_d88_disk: illegal parameter");
        return -1;
    }
    *buffer_out = nullptr;
    *size_out = 0;
    loss_report report = {handler, context, 0};
    byte_sink sink = {nullptr, 0, 0, false};
    if (format == D88_FILE_D88) {  // a D88 carries everything: the disk alone, as the writer lays it out
        d88_disk alone = *disk;
        alone.next = nullptr;
        const d88_image image = {1, &alone};
        return write_d88_image_to_buffer(&image, buffer_out, size_out) < 0 ? -1 : 0;
    }
    if (format == D88_FILE_IMD)
        write_imd_disk(disk, &report, &sink);
    else if (format == D88_FILE_HFE)
        write_hfe_disk(disk, chosen.rpm, &report, &sink);
    else if (format == D88_FILE_NFD)
        write_nfd_disk(disk, &report, &sink);
    else
        write_raw_disk(disk, format, &report, &sink);
    if (sink.failed || sink.size > INT32_MAX) {
        std::free(sink.bytes);
        print_d88_line("memory exhaust!");
        return -1;
    }
    if (report.losses > 0 && chosen.force == 0) {
        std::free(sink.bytes);
        return report.losses;
    }
    *buffer_out = sink.bytes;
    *size_out = static_cast<int32_t>(sink.size);
    return report.losses;
}

int32_t import_d88_image(d88_image* image, const uint8_t* buffer, int32_t size, int32_t format)
{
    if (image == nullptr || buffer == nullptr || size <= 0 || format < 0 || format >= D88_FILE_FORMAT_COUNT) {
        print_d88_line("import_d88_image: illegal parameter");
        return -1;
    }
    if (format == D88_FILE_D88)
        return read_d88_image_from_buffer(image, buffer, size);
    *image = d88_image{0, nullptr};
    d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
    if (disk == nullptr) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    const int32_t read = format == D88_FILE_IMD   ? read_imd_disk(disk, buffer, size)
                         : format == D88_FILE_HFE ? read_hfe_disk(disk, buffer, size)
                         : format == D88_FILE_NFD ? read_nfd_disk(disk, buffer, size)
                                                  : read_raw_disk(disk, buffer, size, format);
    if (read < 0) {
        print_d88_message("read %s image error\n", FORMATS[format].name);
        free_d88_disk(disk, 1);
        return -1;
    }
    disk->disk_size = calc_d88_disk_size(disk);
    append_d88_disk(image, disk);
    return image->disk_count;
}
