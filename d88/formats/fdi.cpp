// fdi.cpp -- the FDI images of a PC-98 emulator: a dump of sector data
// behind a 4096-byte header that gives its geometry (cylinders, heads,
// sectors a track, sector size) and the drive type, which says the media.
// Each track holds its sectors R 1 upwards, with the C and H of the track.
#include "formats.h"

#include "core/layout.h"
#include "core/message.h"
#include "shared/dump.h"

namespace {

// The header; offsets of its 32-bit fields.
constexpr int32_t FDI_HEADER_SIZE = 4096;
constexpr int32_t FDI_TYPE_AT = 0x04, FDI_HEADER_SIZE_AT = 0x08, FDI_DATA_SIZE_AT = 0x0C, FDI_SECTOR_SIZE_AT = 0x10,
                  FDI_SECTORS_AT = 0x14, FDI_HEADS_AT = 0x18, FDI_CYLINDERS_AT = 0x1C, FDI_FIELDS_END = 0x20;
// The drive types of the header: 1.2 MB-class and 1.44 MB-class 2HD, 2DD.
constexpr uint32_t FDI_2HD = 0x90, FDI_2HD_144 = 0x30, FDI_2DD = 0x10, FDI_CLASS_MASK = 0xF0;
// What a header may describe, and so what is written.
constexpr int32_t FDI_CYLINDERS_MAX = 82, FDI_SIZE_CODE_MIN = 1, FDI_SIZE_CODE_MAX = 6;

bool is_describable(const dump_geometry& g)
{
    return g.sectors >= 1 && g.sectors <= DUMP_SECTORS_MAX && g.n >= FDI_SIZE_CODE_MIN && g.n <= FDI_SIZE_CODE_MAX &&
           g.cylinders <= FDI_CYLINDERS_MAX;
}

uint32_t drive_type_of(const d88_disk* disk, const dump_geometry& g)
{
    if (disk->disk_type != D88_MEDIA_2HD)
        return FDI_2DD;
    return is_144_class_track(dump_track_size(g)) ? FDI_2HD_144 : FDI_2HD;
}

// The media of a dump from its drive type, else from its track size.
uint8_t media_of(uint32_t drive_type, const dump_geometry& g)
{
    const uint32_t drive_class = drive_type & FDI_CLASS_MASK;
    if (drive_class == FDI_2HD || drive_class == FDI_2HD_144)
        return D88_MEDIA_2HD;
    return media_of_geometry(drive_class != FDI_2DD && dump_track_size(g) > DD_TRACK_BYTES_MAX, g.cylinders);
}

}  // namespace

bool is_fdi_image(const uint8_t* bytes, int32_t size)
{
    if (size < FDI_FIELDS_END)
        return false;
    const int64_t header = static_cast<uint32_t>(get_le32(bytes + FDI_HEADER_SIZE_AT));
    const int64_t data = static_cast<uint32_t>(get_le32(bytes + FDI_DATA_SIZE_AT));
    const int32_t cylinders = get_le32(bytes + FDI_CYLINDERS_AT), heads = get_le32(bytes + FDI_HEADS_AT),
                  sectors = get_le32(bytes + FDI_SECTORS_AT), n = size_code_of_size(get_le32(bytes + FDI_SECTOR_SIZE_AT));
    const bool shaped = cylinders >= 1 && cylinders <= FDI_CYLINDERS_MAX && heads >= 1 && heads <= 2 && sectors >= 1 &&
                        sectors <= DUMP_SECTORS_MAX && n >= 0;
    return shaped && header >= FDI_FIELDS_END && header + data == size &&
           int64_t{cylinders} * heads * sectors * sector_size_of_code(static_cast<uint32_t>(n)) == data;
}

int32_t write_fdi_disk(const d88_disk* disk, loss_report* report, byte_sink* sink)
{
    dump_geometry g = find_plain_geometry(disk);
    if (!is_describable(g)) {
        char shape[48];
        describe_dump_geometry(g, shape, sizeof shape);
        print_d88_message("illegal data: the disk's geometry (%s) is none FDI holds: 1 to 82 cylinders of 1 to 255 sectors of "
                          "256 to 8192 bytes\n", shape);
        return -1;
    }
    const uint32_t drive_type = drive_type_of(disk, g);
    g.media = media_of(drive_type, g);
    check_dump_disk(disk, g, "FDI", report);
    uint8_t header[FDI_HEADER_SIZE] = {};
    put_le32(header + FDI_TYPE_AT, drive_type);
    put_le32(header + FDI_HEADER_SIZE_AT, FDI_HEADER_SIZE);
    put_le32(header + FDI_DATA_SIZE_AT, static_cast<uint32_t>(dump_data_size(g)));
    put_le32(header + FDI_SECTOR_SIZE_AT, static_cast<uint32_t>(sector_size_of_code(g.n)));
    put_le32(header + FDI_SECTORS_AT, static_cast<uint32_t>(g.sectors));
    put_le32(header + FDI_HEADS_AT, static_cast<uint32_t>(g.heads));
    put_le32(header + FDI_CYLINDERS_AT, static_cast<uint32_t>(g.cylinders));
    put_sink_bytes(sink, header, sizeof header);
    write_dump_data(disk, g, sink);
    return 0;
}

int32_t read_fdi_disk(d88_disk* disk, const uint8_t* bytes, int32_t size)
{
    if (size < FDI_FIELDS_END) {
        print_d88_line("illegal data: the FDI header is cut");
        return -1;
    }
    const uint32_t drive_type = static_cast<uint32_t>(get_le32(bytes + FDI_TYPE_AT));
    const int64_t header = static_cast<uint32_t>(get_le32(bytes + FDI_HEADER_SIZE_AT));
    const int32_t sector_size = get_le32(bytes + FDI_SECTOR_SIZE_AT);
    const int32_t cylinders = get_le32(bytes + FDI_CYLINDERS_AT), heads = get_le32(bytes + FDI_HEADS_AT),
                  sectors = get_le32(bytes + FDI_SECTORS_AT), n = size_code_of_size(sector_size);
    if (n < FDI_SIZE_CODE_MIN || n > FDI_SIZE_CODE_MAX || heads < 1 || heads > 2 || cylinders < 1 ||
        cylinders > FDI_CYLINDERS_MAX || sectors < 1 || sectors > DUMP_SECTORS_MAX || header < FDI_FIELDS_END) {
        print_d88_message("illegal data: FDI geometry %d x %d x %d x %d bytes, header %lld bytes\n", static_cast<int>(cylinders),
                          static_cast<int>(heads), static_cast<int>(sectors), static_cast<int>(sector_size),
                          static_cast<long long>(header));
        return -1;
    }
    dump_geometry g = {cylinders, heads, sectors, static_cast<uint8_t>(n), -1, 0};
    g.media = media_of(drive_type, g);
    if (header + dump_data_size(g) != size) {
        print_d88_message("illegal data: %d bytes, but the FDI header's geometry needs %lld\n", static_cast<int>(size),
                          static_cast<long long>(header + dump_data_size(g)));
        return -1;
    }
    return read_dump_data(disk, g, bytes + header);
}
