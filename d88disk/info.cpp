// info.cpp -- d88disk info: what an image holds, disk by disk.
#include <cstdio>
#include <cstring>

#include "d88.h"
#include "d88disk.h"

namespace {

struct info_request {
    const char* path;
    bool tracks;
    bool sector;
    bool one_disk;
    uint32_t c, h, r, disk;
};

const char* media_name(uint8_t disk_type)
{
    switch (disk_type) {
    case 0x00: return "2D";
    case 0x10: return "2DD";
    case 0x20: return "2HD";
    default: return "?";
    }
}

// The name as 16 printable characters, unprintable bytes shown as '.'.
void format_name(const d88_disk* disk, char out[17])
{
    size_t i = 0;
    for (; i < 16 && disk->name[i] != '\0'; ++i) {
        const unsigned char ch = static_cast<unsigned char>(disk->name[i]);
        out[i] = ch >= 0x20 && ch < 0x7F ? static_cast<char>(ch) : '.';
    }
    out[i] = '\0';
}

int count_tracks(const d88_disk* disk)
{
    int present = 0;
    for (const d88_track& track : disk->track)
        present += track.sectors != nullptr;
    return present;
}

void print_sector_id(const d88_sector& s)
{
    std::printf(" %02X:%u/%d", s.r, s.n, static_cast<int>(s.data_size));
    if (s.deleted_mark == 0 && s.density != 0x40 && s.status == 0)
        return;
    std::printf("[%s%s", s.deleted_mark != 0 ? "D" : "", s.density == 0x40 ? "S" : "");
    if (s.status != 0)
        std::printf("!%02X", s.status);
    std::printf("]");
}

void print_tracks(const d88_disk* disk)
{
    for (int slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const d88_track& track = disk->track[slot];
        if (track.sectors == nullptr)
            continue;
        std::printf("  slot %3d  C %02X H %02X  %2d sectors:", slot, track.sectors[0].c, track.sectors[0].h,
                    static_cast<int>(track.count));
        for (int32_t i = 0; i < track.count; ++i)
            print_sector_id(track.sectors[i]);
        std::printf("\n");
    }
}

void print_disk(int index, const d88_disk* disk, bool tracks)
{
    char name[17];
    format_name(disk, name);
    std::printf("disk %d  %-16s  %-3s  %-9s  %8d bytes  %3d tracks\n", index, name, media_name(disk->disk_type),
                disk->write_protect != 0 ? "protected" : "writable", static_cast<int>(disk->disk_size),
                count_tracks(disk));
    if (tracks)
        print_tracks(disk);
}

void print_hex_dump(const uint8_t* data, int32_t size)
{
    for (int32_t line = 0; line < size; line += 16) {
        std::printf("%04X ", static_cast<unsigned>(line));
        char text[17] = {};
        for (int32_t i = 0; i < 16; ++i) {
            if (line + i < size) {
                const uint8_t b = data[line + i];
                std::printf(" %02X", b);
                text[i] = b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
            } else {
                std::printf("   ");
            }
        }
        std::printf("  |%s|\n", text);
    }
}

int print_sector(d88_image* image, const info_request& req)
{
    d88_disk* disk = get_d88_disk(image, static_cast<int32_t>(req.disk));
    if (disk == nullptr) {
        std::printf("error: no disk %u in '%s'\n", req.disk, req.path);
        return 1;
    }
    const d88_sector* s = find_d88_sector(disk, static_cast<uint8_t>(req.c), static_cast<uint8_t>(req.h),
                                          static_cast<uint8_t>(req.r));
    if (s == nullptr) {
        std::printf("error: no sector %02X/%02X/%02X on disk %u of '%s'\n", req.c, req.h, req.r, req.disk, req.path);
        return 1;
    }
    std::printf("disk %u  sector %02X/%02X/%02X  N %u  %d bytes\n", req.disk, req.c, req.h, req.r, s->n,
                static_cast<int>(s->data_size));
    print_hex_dump(s->data, s->data_size);
    return 0;
}

bool parse_info(int argc, char** argv, info_request* req)
{
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--tracks") == 0) {
            req->tracks = true;
        } else if (std::strcmp(arg, "--sector") == 0) {
            if (i + 3 >= argc || !parse_count(argv[i + 1], 255, &req->c) || !parse_count(argv[i + 2], 255, &req->h) ||
                !parse_count(argv[i + 3], 255, &req->r)) {
                std::puts("error: --sector takes three numbers C H R from 0 to 255");
                return false;
            }
            req->sector = true;
            i += 3;
        } else if (std::strcmp(arg, "--disk") == 0) {
            if (i + 1 >= argc || !parse_count(argv[i + 1], INT32_MAX, &req->disk)) {
                std::puts("error: --disk takes a disk number");
                return false;
            }
            req->one_disk = true;
            ++i;
        } else if (arg[0] == '-' || req->path != nullptr) {
            std::printf("error: unexpected argument '%s' (see d88disk info --help)\n", arg);
            return false;
        } else {
            req->path = arg;
        }
    }
    if (req->path == nullptr) {
        std::puts("error: no image given (see d88disk info --help)");
        return false;
    }
    return true;
}

}  // namespace

void print_info_help()
{
    std::puts("usage: d88disk info IMAGE [--tracks] [--sector C H R [--disk N]]");
    std::puts("");
    std::puts("Lists each disk of IMAGE: its number, name, media type, write protection,");
    std::puts("size and number of tracks.");
    std::puts("  --tracks         also list every track: its slot, the C and H of its first");
    std::puts("                   sector, and each sector as R:N/bytes, marked [D] when");
    std::puts("                   deleted, [S] when single density, [!xx] with a status");
    std::puts("  --sector C H R   show the data of that sector as a hex dump");
    std::puts("  --disk N         the disk to take the sector from (default 0)");
    std::puts("Numbers are decimal, or hexadecimal with 0x.");
}

int run_info(int argc, char** argv)
{
    info_request req = {};
    if (!parse_info(argc, argv, &req))
        return 1;
    d88_image image = {};
    if (read_d88_image_file(&image, req.path) < 0) {
        std::printf("error: read d88 image '%s'\n", req.path);
        return 1;
    }
    int status = 0;
    if (req.sector) {
        status = print_sector(&image, req);
    } else {
        uint32_t index = 0;
        for (const d88_disk* disk = image.disks; disk != nullptr; disk = disk->next, ++index)
            if (!req.one_disk || index == req.disk)
                print_disk(static_cast<int>(index), disk, req.tracks);
    }
    free_d88_image(&image, 0);
    return status;
}
