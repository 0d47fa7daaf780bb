// nfd.cpp -- the NFD images of a PC-98 emulator, revisions 0 and 1.
//
// Both start with a 0x120-byte header: "T98FDDIMAGE.R0" (or R1) and a zero,
// a comment of 256 bytes, the size of the header (where the data starts),
// the write protection and the number of heads.  A sector ID is 16 bytes:
// C, H, R, N, MFM (1) or FM (0), deleted data mark, status, the FDC's ST0
// to ST2, then in revision 0 the PDA (the media: 0x90 2HD, 0x30 1.44 MB
// 2HD, 0x10 2DD), in revision 1 a retry count and the PDA.  Revision 0 has a
// table of 163 tracks of 26 IDs (C 0xFF: none); revision 1 a table of 164
// track offsets, each track a count of sectors and of diagnostic entries,
// its IDs and the entries.  The data follows the header in the order of the
// IDs (revision 1: each sector followed by its retries, then each
// diagnostic's data).
#include "formats.h"

#include <cstdlib>
#include <cstring>

#include "core/decode.h"
#include "core/layout.h"
#include "core/message.h"
#include "shared/media.h"

namespace {

constexpr char NFD_R0[] = "T98FDDIMAGE.R0", NFD_R1[] = "T98FDDIMAGE.R1";
constexpr int32_t NFD_SIGNATURE_SIZE = 15, NFD_COMMENT_AT = 0x10, NFD_COMMENT_SIZE = 0x100, NFD_HEADER_SIZE_AT = 0x110,
                  NFD_PROTECT_AT = 0x114, NFD_HEADS_AT = 0x115, NFD_FILE_HEADER = 0x120;
constexpr int32_t R0_TRACKS = 163, R0_SECTORS = 26, ID_SIZE = 16;
constexpr int32_t R0_HEADER = NFD_FILE_HEADER + R0_TRACKS * R0_SECTORS * ID_SIZE + 16;  // and 16 reserved bytes
constexpr int32_t R1_TRACKS = 164, R1_HEADER = 0x3C0;
// The fields of a sector ID.
constexpr int32_t ID_MFM = 4, ID_DDAM = 5, ID_STATUS = 6, ID_ST0 = 7, ID_ST1 = 8, ID_ST2 = 9, ID_R0_PDA = 10, ID_R1_RETRY = 10,
                  ID_R1_PDA = 11, ID_DIAG_LENGTH = 10, ID_DIAG_RETRY = 9;
constexpr int32_t R0_EMPTY_FILL = 11;  // an absent ID: its first 11 bytes FF
// ST0's head bit, ST1's and ST2's data error bits, ST1's and ST2's missing
// address mark bits.
constexpr uint8_t ST0_HEAD = 0x04, ST0_ABNORMAL = 0x40, ST_DATA_ERROR = 0x20, ST1_NO_ID_MARK = 0x01, ST2_NO_DATA_MARK = 0x01;
constexpr uint8_t PDA_2HD = 0x90, PDA_2HD_144 = 0x30, PDA_2DD = 0x10;
constexpr uint8_t R0_NO_SECTOR = 0xFF;  // the C of an absent ID
constexpr sector_reach NFD_REACH = {false, false};

uint8_t pda_of(const d88_disk* disk)
{
    return disk->disk_type != D88_MEDIA_2HD ? PDA_2DD : is_144_class_disk(disk) ? PDA_2HD_144 : PDA_2HD;
}

// Whether revision 0 holds the sector: an ID whose C is not 0xFF, of a
// size code it stores data for.
bool is_storable(const d88_sector& s)
{
    return s.c != R0_NO_SECTOR && sector_size_of_code(s.n) >= 0;
}

// The sector of an ID: its fields as a dump of a real disk records them.
void read_id(d88_sector* s, const uint8_t* id)
{
    s->c = id[0], s->h = id[1], s->r = id[2], s->n = id[3];
    s->density = id[ID_MFM] != 0 ? 0 : D88_SINGLE_DENSITY;
    s->deleted_mark = id[ID_DDAM] != 0 ? D88_STATUS_DELETED : 0;
    // ST1's data error is a CRC error in the ID or the data field, ST2's in
    // the data field; ST1's missing mark is the ID's, or with ST2's the data's
    const uint8_t st1 = id[ID_ST1], st2 = id[ID_ST2];
    s->status = (st2 & ST_DATA_ERROR) != 0      ? D88_STATUS_DATA_CRC
                : (st1 & ST_DATA_ERROR) != 0    ? D88_STATUS_ID_CRC
                : (st2 & ST2_NO_DATA_MARK) != 0 ? D88_STATUS_NO_DATA
                : (st1 & ST1_NO_ID_MARK) != 0   ? D88_STATUS_NO_ADDRESS
                : id[ID_DDAM] != 0              ? D88_STATUS_DELETED
                                                : 0;
}

// The sectors of one track from their IDs, each with a copy of its data
// from *at on (skipping `copies` retry copies after each); false after a
// message.
bool read_track_sectors(d88_track* track, const uint8_t* ids, int32_t count, const uint8_t* bytes, int32_t size, int64_t* at,
                        bool r1)
{
    track->sectors = static_cast<d88_sector*>(std::calloc(static_cast<size_t>(count), sizeof(d88_sector)));
    if (track->sectors == nullptr) {
        print_d88_line("memory exhaust!");
        return false;
    }
    track->count = count;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* id = ids + i * ID_SIZE;
        d88_sector& s = track->sectors[i];
        read_id(&s, id);
        s.sector_count = static_cast<uint16_t>(count);
        const int32_t data = sector_size_of_code(id[3]);
        const int64_t copies = r1 ? id[ID_R1_RETRY] : 0;
        if (data < 0 || *at + data * (copies + 1) > size) {
            print_d88_message("illegal data: NFD sector %02X/%02X/%02X passes the end of the file\n", id[0], id[1], id[2]);
            return false;
        }
        if (!copy_d88_sector_data(&s, bytes + *at, static_cast<uint16_t>(data))) {
            print_d88_line("memory exhaust!");
            return false;
        }
        s.data_size = static_cast<int16_t>(data);
        *at += data * (copies + 1);
    }
    return true;
}

// The PDA of the first ID of revision 0's track t that is present.
uint8_t first_r0_pda(const uint8_t* bytes, int32_t t)
{
    for (int32_t i = 0; i < R0_SECTORS; ++i) {
        const uint8_t* id = bytes + NFD_FILE_HEADER + (t * R0_SECTORS + i) * ID_SIZE;
        if (id[0] != R0_NO_SECTOR)
            return id[ID_R0_PDA];
    }
    return 0;
}

int32_t read_r0(d88_disk* disk, const uint8_t* bytes, int32_t size, int64_t at)
{
    for (int32_t t = 0; t < R0_TRACKS; ++t) {
        uint8_t ids[R0_SECTORS * ID_SIZE];
        int32_t count = 0;
        for (int32_t i = 0; i < R0_SECTORS; ++i) {
            const uint8_t* id = bytes + NFD_FILE_HEADER + (t * R0_SECTORS + i) * ID_SIZE;
            if (id[0] != R0_NO_SECTOR)
                std::memcpy(ids + ID_SIZE * count++, id, ID_SIZE);
        }
        if (count > 0 && !read_track_sectors(&disk->track[t], ids, count, bytes, size, &at, false))
            return -1;
    }
    return 0;
}

int32_t read_r1(d88_disk* disk, const uint8_t* bytes, int32_t size, int32_t header_size, int64_t at)
{
    for (int32_t t = 0; t < R1_TRACKS; ++t) {
        const int64_t where = static_cast<uint32_t>(get_le32(bytes + NFD_FILE_HEADER + 4 * t));
        if (where == 0)
            continue;
        const int32_t count = where + 16 <= header_size ? get_le16(bytes + where) : 0;
        const int32_t diagnostics = where + 16 <= header_size ? get_le16(bytes + where + 2) : 0;
        if (where < R1_HEADER || where + 16 + int64_t{ID_SIZE} * (count + diagnostics) > header_size) {
            print_d88_message("illegal data: NFD track %d's header at 0x%08X passes the header\n", static_cast<int>(t),
                              static_cast<unsigned>(where));
            return -1;
        }
        if (count > 0 && !read_track_sectors(&disk->track[t], bytes + where + 16, count, bytes, size, &at, true))
            return -1;
        for (int32_t d = 0; d < diagnostics; ++d) {  // their data is no sector's
            const uint8_t* id = bytes + where + 16 + ID_SIZE * (count + d);
            at += int64_t{static_cast<uint32_t>(get_le32(id + ID_DIAG_LENGTH))} * (id[ID_DIAG_RETRY] + 1);
        }
        if (at > size) {
            print_d88_message("illegal data: NFD track %d's data passes the end of the file\n", static_cast<int>(t));
            return -1;
        }
    }
    return 0;
}

}  // namespace

bool is_nfd_image(const uint8_t* bytes, int32_t size)
{
    return size >= NFD_FILE_HEADER &&
           (std::memcmp(bytes, NFD_R0, NFD_SIGNATURE_SIZE) == 0 || std::memcmp(bytes, NFD_R1, NFD_SIGNATURE_SIZE) == 0);
}

// Revision 0: IDs with ST0's head bit and the media's PDA, as a dump of a
// real disk records them; the disk's name in the comment.
int32_t write_nfd_disk(const d88_disk* disk, loss_report* report, byte_sink* sink)
{
    uint8_t* header = static_cast<uint8_t*>(std::calloc(1, R0_HEADER));
    if (header == nullptr) {
        sink->failed = true;
        return 0;
    }
    std::memcpy(header, NFD_R0, sizeof NFD_R0);
    int32_t named = 0;
    while (named < 16 && disk->name[named] != '\0')
        ++named;
    while (named > 0 && disk->name[named - 1] == ' ')
        --named;
    std::memcpy(header + NFD_COMMENT_AT, disk->name, static_cast<size_t>(named));
    put_le32(header + NFD_HEADER_SIZE_AT, R0_HEADER);
    header[NFD_PROTECT_AT] = disk->write_protect != D88_WRITABLE ? 1 : 0;
    header[NFD_HEADS_AT] = 2;
    const uint8_t pda = pda_of(disk);
    int32_t last = -1;
    for (int32_t t = 0; t < R0_TRACKS; ++t) {
        const d88_track& track = disk->track[t];
        const bool fm = check_track_density(track, t, "NFD", report);
        int32_t stored = 0;
        for (int32_t i = 0; i < track.count; ++i) {
            const d88_sector& s = track.sectors[i];
            if (stored == R0_SECTORS)
                report_loss(report, D88_KIND_LOST_GEOMETRY, t, i, &s, "NFD holds 26 sectors a track");
            else if (s.c == R0_NO_SECTOR)
                report_loss(report, D88_KIND_LOST_ID, t, i, &s, "NFD takes C 0xFF for no sector");
            else if (!is_storable(s))
                report_loss(report, D88_KIND_LOST_SIZE, t, i, &s, "NFD stores no data for size code N %u", s.n);
            if (stored == R0_SECTORS || !is_storable(s))
                continue;
            check_recorded_sector(s, t, i, "NFD", NFD_REACH, report);
            uint8_t* id = header + NFD_FILE_HEADER + (t * R0_SECTORS + stored++) * ID_SIZE;
            const bool error = s.status == D88_STATUS_DATA_CRC;
            id[0] = s.c, id[1] = s.h, id[2] = s.r, id[3] = s.n;
            id[ID_MFM] = fm ? 0 : 1;
            id[ID_DDAM] = s.deleted_mark != 0 || s.status == D88_STATUS_DELETED ? 1 : 0;
            id[ID_STATUS] = 0;
            id[ID_ST0] = static_cast<uint8_t>((t % 2 != 0 ? ST0_HEAD : 0) | (error ? ST0_ABNORMAL : 0));
            id[ID_ST1] = error ? ST_DATA_ERROR : 0;
            id[ID_ST2] = error ? ST_DATA_ERROR : 0;
            id[ID_R0_PDA] = pda;
        }
        for (int32_t i = stored; i < R0_SECTORS; ++i)
            std::memset(header + NFD_FILE_HEADER + (t * R0_SECTORS + i) * ID_SIZE, 0xFF, R0_EMPTY_FILL);
        last = stored > 0 ? t : last;
    }
    for (int32_t slot = R0_TRACKS; slot < D88_TRACK_MAX; ++slot) {
        if (disk->track[slot].count > 0)
            report_loss(report, D88_KIND_LOST_GEOMETRY, slot, -1, nullptr, "NFD holds 163 tracks");
    }
    check_disk_fields(disk, "NFD", true, true,
                      pda == PDA_2DD ? media_of_geometry(false, last / 2 + 1) : D88_MEDIA_2HD, report);
    put_sink_bytes(sink, header, R0_HEADER);
    std::free(header);
    for (int32_t t = 0; t < R0_TRACKS; ++t) {
        const d88_track& track = disk->track[t];
        for (int32_t i = 0, stored = 0; i < track.count && stored < R0_SECTORS; ++i) {
            const d88_sector& s = track.sectors[i];
            if (!is_storable(s))
                continue;
            const int32_t size = sector_size_of_code(s.n), kept = s.data_size < size ? s.data_size : size;
            put_sink_bytes(sink, s.data, kept);
            put_sink_fill(sink, 0, size - kept);
            ++stored;
        }
    }
    return 0;
}

int32_t read_nfd_disk(d88_disk* disk, const uint8_t* bytes, int32_t size)
{
    const bool r0 = size >= NFD_FILE_HEADER && std::memcmp(bytes, NFD_R0, NFD_SIGNATURE_SIZE) == 0;
    const bool r1 = size >= NFD_FILE_HEADER && std::memcmp(bytes, NFD_R1, NFD_SIGNATURE_SIZE) == 0;
    const int64_t header_size = r0 || r1 ? static_cast<uint32_t>(get_le32(bytes + NFD_HEADER_SIZE_AT)) : 0;
    if (!r0 && !r1) {
        print_d88_line("illegal data: no NFD header");
        return -1;
    }
    if (header_size < (r0 ? R0_HEADER - 16 : R1_HEADER) || header_size > size) {
        print_d88_message("illegal data: NFD header of %lld bytes in a file of %d\n", static_cast<long long>(header_size),
                          static_cast<int>(size));
        return -1;
    }
    std::memset(disk->name, ' ', 16);
    const uint8_t* comment = bytes + NFD_COMMENT_AT;
    int32_t named = 0;
    while (named < NFD_COMMENT_SIZE && comment[named] != 0)
        ++named;
    if (named <= 16)
        std::memcpy(disk->name, comment, static_cast<size_t>(named));  // a short comment is the disk's name
    disk->write_protect = bytes[NFD_PROTECT_AT] != 0 ? D88_PROTECTED : D88_WRITABLE;
    const int32_t result = r0 ? read_r0(disk, bytes, size, header_size)
                              : read_r1(disk, bytes, size, static_cast<int32_t>(header_size), header_size);
    uint8_t pda = 0;
    int32_t last = 0;
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        if (disk->track[slot].count == 0)
            continue;
        last = slot;
        pda = pda != 0 || !r0 ? pda : first_r0_pda(bytes, slot);
    }
    if (r1) {  // the PDA of the first track's first ID
        const int64_t where = static_cast<uint32_t>(get_le32(bytes + NFD_FILE_HEADER));
        pda = where >= R1_HEADER && where + 32 <= header_size ? bytes[where + 16 + ID_R1_PDA] : 0;
    }
    disk->disk_type = pda == PDA_2HD || pda == PDA_2HD_144 ? D88_MEDIA_2HD : media_of_geometry(false, last / 2 + 1);
    return result;
}
