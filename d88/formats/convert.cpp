// convert.cpp -- D88 records to and from other image formats: the formats
// by name and by content, and the export and import every format goes
// through.
#include "formats.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "core/decode.h"
#include "core/message.h"
#include "core/standard_formats.h"
#include "core/words.h"
#include "shared/flux.h"

namespace {

// Each format's name and the extensions its files carry.
struct file_format {
    const char* name;
    const char* extensions[8];
};

constexpr file_format FORMATS[] = {
    {"d88", {"d88", "d77", "d68", "d98", "88d"}},
    {"imd", {"imd"}},
    {"hdm", {"hdm"}},
    {"fdi", {"fdi"}},
    {"hfe", {"hfe"}},
    {"dim", {"dim"}},
    {"nfd", {"nfd"}},
    {"raw", {"2d", "2dd", "2hd", "xdf", "img", "ima"}},
    {"scp", {"scp"}},
    {"kryoflux", {"raw"}},  // trackCC.H.raw
};
static_assert(std::size(FORMATS) == D88_FILE_FORMAT_COUNT, "every format has a row");

// Whether rpm is a rotation a drive turns at (0: the media's own).  The
// writers' track lengths and HFE's 16-bit offsets hold for these alone.
bool is_drive_rpm(int32_t rpm)
{
    return rpm == 0 || rpm == 300 || rpm == 360;
}

// Writes the disk in the format into sink; -1 after a message when the
// format cannot describe it.
int32_t write_disk(const d88_disk* disk, int32_t format, const d88_export_options& options, int32_t revolutions,
                   loss_report* report, byte_sink* sink)
{
    switch (format) {
    case D88_FILE_SCP:
        return write_scp_disk(disk, options.rpm, revolutions, report, sink);
    case D88_FILE_KRYOFLUX:
        print_d88_line("illegal data: KryoFlux streams are read, not written: write SCP");
        return -1;
    case D88_FILE_IMD:
        return write_imd_disk(disk, report, sink);
    case D88_FILE_HFE:
        return write_hfe_disk(disk, options.rpm, report, sink);
    case D88_FILE_NFD:
        return write_nfd_disk(disk, report, sink);
    case D88_FILE_FDI:
        return write_fdi_disk(disk, report, sink);
    case D88_FILE_DIM:
        return write_dim_disk(disk, report, sink);
    default:
        return write_raw_disk(disk, format, report, sink);
    }
}

int32_t read_disk(d88_disk* disk, const uint8_t* bytes, int32_t size, int32_t format, int32_t row)
{
    switch (format) {
    case D88_FILE_IMD:
        return read_imd_disk(disk, bytes, size);
    case D88_FILE_HFE:
        return read_hfe_disk(disk, bytes, size);
    case D88_FILE_NFD:
        return read_nfd_disk(disk, bytes, size);
    case D88_FILE_FDI:
        return read_fdi_disk(disk, bytes, size);
    case D88_FILE_DIM:
        return read_dim_disk(disk, bytes, size);
    case D88_FILE_KRYOFLUX:
        print_d88_line("illegal data: a KryoFlux dump is a set of stream files, one a track: read them together");
        return -1;
    default:
        return read_raw_disk(disk, bytes, size, format, row);
    }
}

// Reads a flux dump (an SCP file, or KryoFlux stream files of the slots
// given) as one disk into image.
int32_t import_flux(d88_image* image, int32_t format, const uint8_t* const* buffers, const int32_t* sizes, const int32_t* slots,
                    int32_t count, loss_report* report, d88_flux_track_handler tracks, void* context)
{
    *image = d88_image{0, nullptr};
    d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
    flux_reading* reading = static_cast<flux_reading*>(std::calloc(1, sizeof(flux_reading)));
    if (disk == nullptr || reading == nullptr) {
        print_d88_line("memory exhaust!");
        std::free(disk);
        std::free(reading);
        return -1;
    }
    *reading = flux_reading{report, tracks, context, {}, 0, nullptr, 0, nullptr, 0};
    std::memset(disk->name, ' ', 16);
    int32_t result = 0;
    for (int32_t i = 0; i < count && result == 0; ++i)
        result = format == D88_FILE_SCP ? read_scp_disk(disk, buffers[i], sizes[i], reading)
                                        : read_kryoflux_track(disk, buffers[i], sizes[i], slots[i], reading);
    end_flux_reading(disk, reading);
    std::free(reading);
    if (result < 0) {
        print_d88_message("read %s image error\n", FORMATS[format].name);
        free_d88_disk(disk, 1);
        return -1;
    }
    disk->disk_size = calc_d88_disk_size(disk);
    append_d88_disk(image, disk);
    return image->disk_count;
}

// Reads the bytes as one disk of the format into image.
int32_t import_disk(d88_image* image, const uint8_t* buffer, int32_t size, int32_t format, int32_t row)
{
    *image = d88_image{0, nullptr};
    d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
    if (disk == nullptr) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    if (read_disk(disk, buffer, size, format, row) < 0) {
        print_d88_message("read %s image error\n", FORMATS[format].name);
        free_d88_disk(disk, 1);
        return -1;
    }
    disk->disk_size = calc_d88_disk_size(disk);
    append_d88_disk(image, disk);
    return image->disk_count;
}

// Writes the disk in the format; the number of losses, a buffer made as
// export_d88_disk says.
int32_t export_disk(const d88_disk* disk, int32_t format, const d88_export_options& chosen, int32_t revolutions,
                    d88_finding_handler handler, void* context, uint8_t** buffer_out, int32_t* size_out)
{
    loss_report report = {handler, context, 0};
    byte_sink sink = {nullptr, 0, 0, false};
    if (write_disk(disk, format, chosen, revolutions, &report, &sink) < 0) {
        std::free(sink.bytes);
        return -1;
    }
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
        if (is_same_word(name, FORMATS[format].name))
            return format;
        for (const char* known : FORMATS[format].extensions) {
            if (known != nullptr && (is_same_word(name, known) || is_same_word(extension, known)))
                return format;
        }
    }
    return -1;
}

int32_t detect_d88_file_format(const uint8_t* buffer, int32_t size)
{
    if (buffer == nullptr || size <= 0)
        return -1;
    if (is_imd_image(buffer, size))
        return D88_FILE_IMD;
    if (is_hfe_image(buffer, size))
        return D88_FILE_HFE;
    if (is_nfd_image(buffer, size))
        return D88_FILE_NFD;
    if (is_dim_image(buffer, size))
        return D88_FILE_DIM;
    if (is_scp_image(buffer, size))
        return D88_FILE_SCP;
    if (is_d88_header(buffer, size))
        return D88_FILE_D88;
    if (is_fdi_image(buffer, size))
        return D88_FILE_FDI;
    if (is_kryoflux_stream(buffer, size))
        return D88_FILE_KRYOFLUX;
    return find_raw_row_of_size(size) >= 0 ? D88_FILE_RAW : -1;
}

int32_t export_d88_disk(const d88_disk* disk, int32_t format, const d88_export_options* options,
                        d88_finding_handler handler, void* context, uint8_t** buffer_out, int32_t* size_out)
{
    const d88_export_options chosen = options != nullptr ? *options : d88_export_options{0, 0};
    if (disk == nullptr || buffer_out == nullptr || size_out == nullptr || format < 0 || format >= D88_FILE_FORMAT_COUNT ||
        !is_drive_rpm(chosen.rpm)) {
        print_d88_line("export_d88_disk: illegal parameter");
        return -1;
    }
    *buffer_out = nullptr;
    *size_out = 0;
    if (format == D88_FILE_D88) {  // a D88 carries everything: the disk alone, as the writer lays it out
        d88_disk alone = *disk;
        alone.next = nullptr;
        const d88_image image = {1, &alone};
        return write_d88_image_to_buffer(&image, buffer_out, size_out) < 0 ? -1 : 0;
    }
    return export_disk(disk, format, chosen, 1, handler, context, buffer_out, size_out);
}

int32_t export_d88_scp_disk(const d88_disk* disk, const d88_export_options* options, int32_t revolutions,
                            d88_finding_handler handler, void* context, uint8_t** buffer_out, int32_t* size_out)
{
    const d88_export_options chosen = options != nullptr ? *options : d88_export_options{0, 0};
    if (disk == nullptr || buffer_out == nullptr || size_out == nullptr || !is_drive_rpm(chosen.rpm)) {
        print_d88_line("export_d88_scp_disk: illegal parameter");
        return -1;
    }
    *buffer_out = nullptr;
    *size_out = 0;
    return export_disk(disk, D88_FILE_SCP, chosen, revolutions, handler, context, buffer_out, size_out);
}

int32_t import_d88_flux_image(d88_image* image, int32_t format, const uint8_t* const* buffers, const int32_t* sizes,
                              const int32_t* slots, int32_t count, d88_finding_handler findings, d88_flux_track_handler tracks,
                              void* context)
{
    bool sound = image != nullptr && buffers != nullptr && sizes != nullptr && count > 0 &&
                 (format == D88_FILE_SCP ? count == 1 : format == D88_FILE_KRYOFLUX && slots != nullptr);
    for (int32_t i = 0; sound && i < count; ++i)
        sound = buffers[i] != nullptr && sizes[i] > 0;
    if (!sound) {
        print_d88_line("import_d88_flux_image: illegal parameter");
        return -1;
    }
    loss_report report = {findings, context, 0};
    return import_flux(image, format, buffers, sizes, slots, count, &report, tracks, context);
}

int32_t import_d88_image(d88_image* image, const uint8_t* buffer, int32_t size, int32_t format)
{
    if (image == nullptr || buffer == nullptr || size <= 0 || format < 0 || format >= D88_FILE_FORMAT_COUNT) {
        print_d88_line("import_d88_image: illegal parameter");
        return -1;
    }
    if (format == D88_FILE_D88)
        return read_d88_image_from_buffer(image, buffer, size);
    if (format == D88_FILE_SCP) {
        loss_report report = {nullptr, nullptr, 0};
        return import_flux(image, format, &buffer, &size, nullptr, 1, &report, nullptr, nullptr);
    }
    return import_disk(image, buffer, size, format, -1);
}

int32_t import_d88_raw_image(d88_image* image, const uint8_t* buffer, int32_t size, int32_t geometry)
{
    if (image == nullptr || buffer == nullptr || size <= 0 || geometry < -1 || geometry >= D88_FORMAT_COUNT) {
        print_d88_line("import_d88_raw_image: illegal parameter");
        return -1;
    }
    return import_disk(image, buffer, size, D88_FILE_RAW, geometry);
}
