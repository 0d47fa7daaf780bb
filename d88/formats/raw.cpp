// raw.cpp -- raw sector dumps: the data of every sector and nothing else,
// track by track, each track's sectors in the order of their IDs.  A raw
// dump (.2d, .2dd, .2hd, .xdf, .img) holds one of the ten standard
// geometries, known by its size; HDM is the PC-98 one of 77 x 2 x 8 x 1024
// bytes.  A disk of any other shape cannot be put into them.
#include "formats.h"

#include <cstdio>

#include "core/message.h"
#include "core/standard_formats.h"
#include "shared/dump.h"

namespace {

constexpr int32_t HDM_ROW = 3;  // 2HD 77 x 2 x 8 x 1024 bytes
// Where several geometries have one size, the one a dump of that size
// most often holds: 1440 KB is 18 x 512 bytes.
constexpr int32_t PREFERRED_ROWS[] = {8};

bool is_preferred(int32_t row)
{
    for (const int32_t preferred : PREFERRED_ROWS) {
        if (row == preferred)
            return true;
    }
    return false;
}

// Refuses a disk whose shape the format cannot hold, naming both; -1.
int32_t refuse_shape(const d88_disk* disk, const char* holds, const char* name)
{
    char shape[48];
    describe_dump_geometry(find_plain_geometry(disk), shape, sizeof shape);
    print_d88_message("illegal data: the disk's geometry (%s) is none %s holds: %s\n", shape, name, holds);
    return -1;
}

}  // namespace

int32_t find_raw_row_of_size(int32_t size)
{
    int32_t found = -1;
    for (int32_t row = 0; row < D88_FORMAT_COUNT; ++row) {
        if (standard_data_size(row) == size && (found < 0 || is_preferred(row)))
            found = row;
    }
    return found;
}

int32_t write_raw_disk(const d88_disk* disk, int32_t format, loss_report* report, byte_sink* sink)
{
    const bool hdm = format == D88_FILE_HDM;
    const int32_t row = find_standard_row(disk);
    if (hdm && row != HDM_ROW)
        return refuse_shape(disk, "77 x 2 x 8 x 1024 bytes", "HDM");
    if (row < 0)
        return refuse_shape(disk, "those of the standard formats (2d, 2dd640, 2dd720, 2hd1232, 2hd1280, 2hd1440r, 2hd1440h, 2hd1200, "
                                  "2hd1440, 2hd1001)",
                            "a raw dump");
    const dump_geometry g = standard_dump_geometry(row);
    check_dump_disk(disk, g, hdm ? "HDM" : "a raw dump", report);
    const int32_t read_as = find_raw_row_of_size(standard_data_size(row));
    if (read_as != row)
        report_loss(report, D88_KIND_READ_AS, -1, -1, nullptr,
                    "its size is that of %s too, which a reader takes it for: read it back as %s (--geometry %s)",
                    d88_format_table[read_as].name, d88_format_table[row].name, d88_format_table[row].name);
    write_dump_data(disk, g, sink);
    return 0;
}

int32_t read_raw_disk(d88_disk* disk, const uint8_t* bytes, int32_t size, int32_t format, int32_t row)
{
    const bool hdm = format == D88_FILE_HDM;
    const int32_t chosen = hdm ? HDM_ROW : row >= 0 ? row : find_raw_row_of_size(size);
    if (chosen < 0 || standard_data_size(chosen) != size) {
        if (chosen < 0)
            print_d88_message("illegal data: %d bytes are the size of no standard geometry\n", static_cast<int>(size));
        else
            print_d88_message("illegal data: %d bytes, but the %s geometry needs %d\n", static_cast<int>(size),
                              hdm ? "HDM" : d88_format_table[chosen].name, static_cast<int>(standard_data_size(chosen)));
        return -1;
    }
    return read_dump_data(disk, standard_dump_geometry(chosen), bytes);
}
