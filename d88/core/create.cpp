// create.cpp -- blank images, disks and sector arrays.
//
// A blank disk has every sector of its format present, its ID set and its
// data filled with 0xE5, as a freshly formatted floppy reads.
#include "d88.h"
#include "message.h"
#include "standard_formats.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t FORMAT_FILL = 0xE5;

// Data length for size codes 1 to 6, at position N - 1.
constexpr int16_t d88_sector_size[] = {256, 512, 1024, 2048, 4096, 8192};


bool is_valid_sector_id(uint8_t c, uint8_t h, int32_t count, uint8_t density)
{
    return c <= 81 && (h == 0x00 || h == 0x01 || h == 0x80 || h == 0x81) && count >= 1 &&
           (density == 0x00 || density == 0x40);
}

bool is_valid_size_code(uint8_t n)
{
    return n >= 1 && n <= 6;
}

// Builds count sectors whose R and N come from the lists (R counting from
// 1 without a list); the arguments were checked by the caller.
d88_sector* make_d88_sectors(uint8_t c, uint8_t h, const uint8_t* r_list, uint8_t first_r, const uint8_t* n_list,
                             uint8_t n, int32_t count, uint8_t density)
{
    d88_sector* sectors = static_cast<d88_sector*>(std::calloc(static_cast<size_t>(count), sizeof(d88_sector)));
    if (sectors == nullptr) {
        print_d88_line("memory exhaust!");
        return nullptr;
    }
    for (int32_t i = 0; i < count; ++i) {
        d88_sector& s = sectors[i];
        s.c = c;
        s.h = h;
        s.r = r_list != nullptr ? r_list[i] : static_cast<uint8_t>(first_r + i);
        s.n = n_list != nullptr ? n_list[i] : n;
        s.sector_count = static_cast<uint16_t>(count);
        s.density = density;
        s.data_size = d88_sector_size[s.n - 1];
        s.data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(s.data_size)));
        if (s.data == nullptr) {
            print_d88_line("memory exhaust!");
            for (int32_t j = 0; j < i; ++j)
                std::free(sectors[j].data);
            std::free(sectors);
            return nullptr;
        }
        std::memset(s.data, FORMAT_FILL, static_cast<size_t>(s.data_size));
    }
    return sectors;
}

// Up to 16 characters of the name, padded with spaces; the 17th byte is 0.
void set_d88_disk_name(d88_disk* disk, const char* disk_name)
{
    size_t length = 0;
    while (disk_name != nullptr && length < 16 && disk_name[length] != '\0')
        ++length;
    if (length > 0)
        std::memcpy(disk->name, disk_name, length);
    std::memset(disk->name + length, ' ', 16 - length);
    disk->name[16] = '\0';
}

}  // namespace

// A new empty image, owned by the caller (free_d88_image(image, 1)).
d88_image* new_d88_image()
{
    d88_image* image = static_cast<d88_image*>(std::calloc(1, sizeof(d88_image)));
    if (image == nullptr)
        print_d88_line("memory exhaust!");
    return image;
}

// A freshly formatted disk of row format of the format table, belonging to
// no image; release it with free_d88_disk(disk, 1).
d88_disk* create_d88_disk(const char* disk_name, int32_t format)
{
    if (format < 0 || format >= D88_FORMAT_COUNT) {
        print_d88_line("create_d88_disk: illegal parameter");
        return nullptr;
    }
    d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
    if (disk == nullptr) {
        print_d88_line("memory exhaust!");
        return nullptr;
    }
    const d88_format& f = d88_format_table[format];
    set_d88_disk_name(disk, disk_name);
    disk->disk_type = f.disk_type;
    int32_t slot = 0;
    for (int32_t cylinder = 0; cylinder < f.cylinders; ++cylinder) {
        for (int32_t head = 0; head < f.heads; ++head, ++slot) {
            d88_track& track = disk->track[slot];
            track.sectors = create_d88_sectors(static_cast<uint8_t>(cylinder), static_cast<uint8_t>(head + f.head_base),
                                               f.first_r, f.n, f.sectors_per_track, f.density);
            if (track.sectors == nullptr) {
                print_d88_line("create sector error");
                free_d88_disk(disk, 1);
                return nullptr;
            }
            track.count = f.sectors_per_track;
        }
    }
    // Two formats mark their first sector apart from all the others.
    uint8_t first[4];
    find_standard_sector_id(format, 0, 0, first);
    disk->track[0].sectors[0].h = first[1];
    disk->track[0].sectors[0].r = first[2];
    disk->disk_size = calc_d88_disk_size(disk);
    return disk;
}

// count sectors of one size code, R running on from first_r modulo 256.
d88_sector* create_d88_sectors(uint8_t c, uint8_t h, uint8_t first_r, uint8_t n, int32_t count, uint8_t density)
{
    if (!is_valid_sector_id(c, h, count, density) || !is_valid_size_code(n)) {
        print_d88_line("create_d88_sectors: illegal parameter");
        return nullptr;
    }
    return make_d88_sectors(c, h, nullptr, first_r, nullptr, n, count, density);
}

// count sectors with R and N from the lists (R 1, 2, ... without r_list).
// Every N is checked before anything is allocated.
d88_sector* create_d88_custom_sectors(uint8_t c, uint8_t h, const uint8_t* r_list, const uint8_t* n_list,
                                      int32_t count, uint8_t density)
{
    bool valid = is_valid_sector_id(c, h, count, density) && n_list != nullptr;
    for (int32_t i = 0; valid && i < count; ++i)
        valid = is_valid_size_code(n_list[i]);
    if (!valid) {
        print_d88_line("create_d88_custom_sectors: illegal parameter");
        return nullptr;
    }
    return make_d88_sectors(c, h, r_list, 1, n_list, 0, count, density);
}
