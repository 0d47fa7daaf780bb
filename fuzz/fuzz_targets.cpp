// fuzz_targets.cpp -- the properties checked on every fuzzed input.
#include "fuzz_targets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "d88.h"
#include "formats/shared/dump.h"
#include "job.h"

namespace {

// The fuzzer's inputs are mostly broken images: their chains of lines are
// of no interest here.
void ignore_message(const char*, void*) {}

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

// The image's bytes as the writer lays them out; null only for an image that
// cannot be written.  The caller releases them.
uint8_t* serialise(const d88_image& image, int32_t* size)
{
    uint8_t* out = nullptr;
    require(write_d88_image_to_buffer(&image, &out, size) == 0 && *size == calc_d88_image_size(&image),
            "an image read or completed can be written whole");
    return out;
}

// Written bytes read back to records that write the very same bytes again,
// with every disk's size as it was computed.
void require_round_trip(const uint8_t* bytes, int32_t size, int32_t disks)
{
    d88_image again = {};
    require(size == 0 || read_d88_image_from_buffer(&again, bytes, size) == disks, "written images read back");
    for (const d88_disk* disk = again.disks; disk != nullptr; disk = disk->next)
        require(disk->disk_size == calc_d88_disk_size(disk), "disk sizes are computed anew");
    int32_t second_size = 0;
    uint8_t* second = serialise(again, &second_size);
    require(second_size == size && std::memcmp(bytes, second, static_cast<size_t>(size)) == 0,
            "writing the image read back gives the same bytes");
    std::free(second);
    free_d88_image(&again, 0);
}

}  // namespace

// What the scan keeps of any input, its header bytes made valid as a repair
// makes them, is an image the reader accepts.
void require_salvage_reads(const uint8_t* data, int32_t size, bool readable)
{
    d88_image kept = {};
    const int32_t errors = scan_d88_image(data, size, nullptr, nullptr, &kept);
    require(errors >= 0 && (errors == 0) == readable, "the scan finds an error exactly where the reader refuses");
    for (d88_disk* disk = kept.disks; disk != nullptr; disk = disk->next) {
        disk->write_protect = disk->write_protect == 0 ? 0 : 0x10;
        disk->disk_type = disk->disk_type == 0x10 || disk->disk_type == 0x20 ? disk->disk_type : 0;
    }
    int32_t written = 0;
    uint8_t* out = serialise(kept, &written);
    require_round_trip(out, written, kept.disk_count);
    std::free(out);
    free_d88_image(&kept, 0);
}

void fuzz_read_image(const uint8_t* data, size_t size)
{
    set_d88_message_handler(ignore_message, nullptr);
    d88_image image = {};
    if (size > INT32_MAX)
        return;
    const bool readable = size > 0 && read_d88_image_from_buffer(&image, data, static_cast<int32_t>(size)) >= 0;
    require_salvage_reads(data, static_cast<int32_t>(size), readable);
    if (!readable) {
        require(image.disks == nullptr && image.disk_count == 0, "a failed read leaves the image empty");
        set_d88_message_handler(nullptr, nullptr);
        return;
    }
    int32_t written = 0;
    uint8_t* out = serialise(image, &written);
    require_round_trip(out, written, image.disk_count);
    std::free(out);
    free_d88_image(&image, 0);
    set_d88_message_handler(nullptr, nullptr);
}

// Layout of a job input: one byte choosing the track number (80 and above
// mean all of them), one byte the game disk's index, two 32-bit lengths
// for the game image and data disk #1, then the three images.
int32_t fuzz_run_job(const uint8_t* data, size_t size)
{
    if (size < 10 || size > INT32_MAX)
        return -1;
    set_d88_message_handler(ignore_message, nullptr);
    job request = {{}, data[1], data[0] < TRACK_NUMBER_COUNT ? data[0] : ALL_TRACKS};
    size_t game_size = static_cast<uint32_t>(get_le32(data + 2)), data1_size = static_cast<uint32_t>(get_le32(data + 6));
    size_t rest = size - 10;
    game_size = game_size < rest ? game_size : rest;
    rest -= game_size;
    data1_size = data1_size < rest ? data1_size : rest;
    const size_t sizes[JOB_IMAGE_COUNT] = {game_size, data1_size, rest - data1_size};
    const char* const names[JOB_IMAGE_COUNT] = {"GAME.D88", "DATA1.D88", "DATA2.D88"};
    const uint8_t* p = data + 10;
    for (int i = 0; i < JOB_IMAGE_COUNT; ++i) {
        request.image[i] = {names[i], p, static_cast<int32_t>(sizes[i])};
        p += sizes[i];
    }
    job_readiness readiness = {0, 0};
    const int32_t problems = check_job(request, nullptr, nullptr, &readiness);
    job_state state = {};
    int32_t result = -1;
    const bool completed = complete_job(request, &state) == 0;
    require(problems >= 0 && (problems == 0) == completed && (readiness.ready == readiness.tracks) == completed,
            "the job's check finds a problem exactly where the job fails");
    if (completed) {
        uint8_t* out = serialise(state.image[JOB_GAME], &result);
        require_round_trip(out, result, state.image[JOB_GAME].disk_count);
        std::free(out);
    }
    release_job(&state);
    set_d88_message_handler(nullptr, nullptr);
    return result;
}

void fuzz_import_image(const uint8_t* data, size_t size)
{
    if (size < 2 || size > INT32_MAX)
        return;
    set_d88_message_handler(ignore_message, nullptr);
    const int32_t format = 1 + data[0] % (D88_FILE_FORMAT_COUNT - 1);
    d88_image image = {};
    if (import_d88_image(&image, data + 1, static_cast<int32_t>(size - 1), format) == 1) {
        int32_t written = 0;
        uint8_t* d88 = serialise(image, &written);
        require_round_trip(d88, written, 1);
        uint8_t* out = nullptr;
        int32_t out_size = 0;
        const int32_t losses = export_d88_disk(image.disks, format, nullptr, nullptr, nullptr, &out, &out_size);
        require(losses >= 0, "an image read can be written in its format, or its losses said");
        d88_image again = {};
        if (losses == 0) {
            require(import_d88_image(&again, out, out_size, format) == 1, "what is written in a format reads back");
            int32_t again_size = 0;
            uint8_t* again_d88 = serialise(again, &again_size);
            require(again_size == written && std::memcmp(again_d88, d88, static_cast<size_t>(written)) == 0,
                    "an image written in its format without a loss reads back as the same records");
            std::free(again_d88);
        }
        free_d88_image(&again, 0);
        std::free(out);
        std::free(d88);
    }
    free_d88_image(&image, 0);
    set_d88_message_handler(nullptr, nullptr);
}

namespace {

// Where the fuzzed bytes of a file system go: a standard format, the file
// system laid on it, and the first slot of the tracks that hold its FAT
// and directory.
struct fuzzed_layout {
    int32_t format, fs, slot;
};

constexpr fuzzed_layout FUZZED_LAYOUTS[] = {
    {0, D88_FS_N88, 37}, {9, D88_FS_N88, 70}, {0, D88_FS_HU, 0}, {9, D88_FS_HU, 0}, {3, D88_FS_FAT12, 0}, {2, D88_FS_FAT12, 0},
};

// Copies data over the sectors from slot on, sector by sector.
void spray(d88_disk* disk, int32_t slot, const uint8_t* data, size_t size)
{
    for (; size > 0 && slot < D88_TRACK_MAX; ++slot) {
        d88_track& track = disk->track[slot];
        for (int32_t i = 0; size > 0 && i < track.count; ++i) {
            const size_t part = size < static_cast<size_t>(track.sectors[i].data_size) ? size : track.sectors[i].data_size;
            std::memcpy(track.sectors[i].data, data, part);
            data += part;
            size -= part;
        }
    }
}

// The disk's bytes as the writer lays them out; the caller frees them.
uint8_t* disk_bytes(const d88_disk* disk, int32_t* size)
{
    const d88_image alone = {1, const_cast<d88_disk*>(disk)};
    return serialise(alone, size);
}

// A write or delete either succeeds or leaves the disk as it was.
void require_all_or_nothing(d88_disk* disk, int32_t result, const uint8_t* before, int32_t before_size)
{
    int32_t size = 0;
    uint8_t* after = disk_bytes(disk, &size);
    require(result == 0 || (size == before_size && std::memcmp(after, before, static_cast<size_t>(size)) == 0),
            "a failed change of a file system changes nothing");
    std::free(after);
}

}  // namespace

void fuzz_file_system(const uint8_t* data, size_t size)
{
    if (size < 1)
        return;
    set_d88_message_handler(ignore_message, nullptr);
    const fuzzed_layout& layout = FUZZED_LAYOUTS[data[0] % std::size(FUZZED_LAYOUTS)];
    d88_disk* disk = create_d88_disk("FUZZ", layout.format);
    require(disk != nullptr && format_d88_files(disk, layout.fs) == 0, "a blank disk of the format takes the file system");
    spray(disk, layout.slot, data + 1, size - 1);
    d88_file_entry* entries = nullptr;
    const int32_t count = list_d88_files(disk, -1, &entries, nullptr, nullptr, nullptr);
    const int32_t faults = count >= 0 ? check_d88_files(disk, -1, nullptr, nullptr) : -1;
    for (int32_t i = 0; faults == 0 && i < count; ++i) {
        uint8_t* file = nullptr;
        int32_t file_size = 0;
        const bool plain = entries[i].type != D88_TYPE_DIRECTORY && entries[i].type != D88_TYPE_LABEL &&
                           entries[i].type != D88_TYPE_BOOT;
        if (plain && entries[i].name[0] != '\0' && std::strchr(entries[i].name, '.') != entries[i].name)
            read_d88_file(disk, -1, entries[i].name, &file, &file_size);
        std::free(file);
        d88_file_entry* inside = nullptr;
        if (entries[i].type == D88_TYPE_DIRECTORY)
            list_d88_directory(disk, -1, entries[i].name, &inside, nullptr, nullptr, nullptr);
        std::free(inside);
    }
    d88_disk_contents contents;
    d88_file_entry found;
    char stored[24];
    require(find_d88_disk_contents(disk, &contents) >= 0 && (count <= 0 || contents.files >= 0),
            "what a disk holds is told, and its files where a file system was listed");
    const int32_t looked_up = count > 0 ? find_d88_file(disk, -1, entries[0].name, &found) : -1;
    require(looked_up != 1 || (std::strcmp(found.name, entries[0].name) == 0 &&
                               make_d88_file_name(disk, -1, entries[0].name, 0, stored) == 0),
            "a file found by the name listed has that name, one the file system holds");
    int32_t before_size = 0;
    uint8_t* before = disk_bytes(disk, &before_size);
    const uint8_t payload[300] = {1, 2, 3};
    require_all_or_nothing(disk, write_d88_file(disk, -1, "FUZZ.BIN", payload, sizeof payload, nullptr), before,
                           before_size);
    std::free(before);
    before = disk_bytes(disk, &before_size);
    const d88_file_options text = {D88_TYPE_ASCII, -1, -1, 2079, 12, 31, 23, 59, 0};
    require_all_or_nothing(disk, write_d88_file(disk, -1, "TEXT.ASC", payload + 1, 2, &text), before, before_size);
    std::free(before);
    before = disk_bytes(disk, &before_size);
    require_all_or_nothing(disk, delete_d88_file(disk, -1, count > 0 ? entries[0].name : "NONE"), before, before_size);
    std::free(before);
    std::free(entries);
    free_d88_disk(disk, 1);
    set_d88_message_handler(nullptr, nullptr);
}

namespace {

// The sectors of two disks are the same records; by R within each track
// for a dump, which keeps a track's sectors in R order.
bool is_same_sectors(const d88_disk& a, const d88_disk& b, bool by_r)
{
    for (int32_t slot = 0; slot < D88_TRACK_MAX; ++slot) {
        const d88_track& x = a.track[slot];
        const d88_track& y = b.track[slot];
        if (x.count != y.count)
            return false;
        for (int32_t i = 0; i < x.count; ++i) {
            const d88_sector* s = &x.sectors[i];
            const d88_sector* t = &y.sectors[i];
            for (int32_t j = 0; by_r && j < y.count; ++j)
                t = y.sectors[j].r == s->r ? &y.sectors[j] : t;
            if (s->c != t->c || s->h != t->h || s->r != t->r || s->n != t->n || s->density != t->density ||
                s->deleted_mark != t->deleted_mark || s->status != t->status || s->data_size != t->data_size ||
                (s->data_size > 0 && std::memcmp(s->data, t->data, static_cast<size_t>(s->data_size)) != 0))
                return false;
        }
    }
    return true;
}

// The kinds of finding an export said, as bits.
void note_kind(const d88_finding* finding, void* context)
{
    *static_cast<uint64_t*>(context) |= uint64_t{1} << finding->kind_id;
}

// Changes a blank disk as a patch of four bytes says: a field of sector
// `index` of `slot` (C, H, R, N, density, deleted mark, status), its data
// cut to a size, the sector or the whole track taken out, the media byte.
void apply_patch(d88_disk* disk, const uint8_t* patch)
{
    d88_track& track = disk->track[patch[0] % D88_TRACK_MAX];
    const uint8_t value = patch[3];
    if (patch[2] % 11 == 10) {
        disk->disk_type = value & 0x30;
        return;
    }
    if (track.count == 0)
        return;
    const int32_t index = patch[1] % track.count;
    d88_sector& s = track.sectors[index];
    uint8_t* fields[] = {&s.c, &s.h, &s.r, &s.n, &s.density, &s.deleted_mark, &s.status};
    switch (patch[2] % 11) {
    case 7:  // cut the data
        s.data_size = s.data_size < value ? s.data_size : value;
        if (s.data_size == 0) {
            std::free(s.data);
            s.data = nullptr;
        }
        break;
    case 8:  // take the sector out
        std::free(s.data);
        std::memmove(&s, &s + 1, sizeof s * static_cast<size_t>(track.count - index - 1));
        --track.count;
        break;
    case 9:  // take the track out
        for (int32_t i = 0; i < track.count; ++i)
            std::free(track.sectors[i].data);
        std::free(track.sectors);
        track = d88_track{0, nullptr};
        break;
    default:
        *fields[patch[2] % 11] = value;
    }
}

// The disk the input stands for: after the first byte, a D88 image; or a
// blank disk of a standard format and four-byte patches of it.
d88_disk* fuzzed_disk(const uint8_t* data, size_t size, d88_image* image)
{
    const int32_t base = data[0] >> 4;
    if (base == 0 || base > 10)
        return read_d88_image_from_buffer(image, data + 1, static_cast<int32_t>(size - 1)) > 0 ? image->disks : nullptr;
    image->disks = create_d88_disk(nullptr, base - 1);
    image->disk_count = image->disks != nullptr;
    for (size_t at = 1; image->disks != nullptr && at + 4 <= size; at += 4)
        apply_patch(image->disks, data + at);
    return image->disks;
}

}  // namespace

void fuzz_export_image(const uint8_t* data, size_t size)
{
    if (size < 2 || size > INT32_MAX)
        return;
    set_d88_message_handler(ignore_message, nullptr);
    const int32_t format = 1 + (data[0] & 7) % (D88_FILE_FORMAT_COUNT - 1);
    const bool force = (data[0] & 8) != 0;
    d88_image image = {};
    const d88_disk* disk = fuzzed_disk(data, size, &image);
    uint8_t* out = nullptr;
    int32_t out_size = 0;
    uint64_t kinds = 0;
    const d88_export_options options = {force, 0};
    const int32_t losses = disk != nullptr ? export_d88_disk(disk, format, &options, note_kind, &kinds, &out, &out_size) : -1;
    require(losses < 0 ? out == nullptr : (out != nullptr) == (losses == 0 || force),
            "a buffer is made exactly when nothing was lost or force was given");
    d88_image again = {};
    if (out != nullptr) {
        const int32_t row = format == D88_FILE_RAW ? find_standard_row(disk) : -1;
        const int32_t read = format == D88_FILE_RAW ? import_d88_raw_image(&again, out, out_size, row)
                                                    : import_d88_image(&again, out, out_size, format);
        require(read == 1, "every file written, forced or not, reads back");
        const int32_t known = detect_d88_file_format(out, out_size);
        require(known == format || (format == D88_FILE_HDM && known == D88_FILE_RAW), "a file written is known by its content");
        const bool dump = format == D88_FILE_RAW || format == D88_FILE_HDM || format == D88_FILE_FDI || format == D88_FILE_DIM;
        require(losses > 0 || is_same_sectors(*disk, *again.disks, dump), "what is written without a loss reads back whole");
        require(losses > 0 || (kinds >> D88_KIND_LOST_MEDIA & 1) != 0 || again.disks->disk_type == disk->disk_type,
                "the media reads back, or a note says it does not");
    }
    free_d88_image(&again, 0);
    std::free(out);
    free_d88_image(&image, 0);
    set_d88_message_handler(nullptr, nullptr);
}

void fuzz_flux_image(const uint8_t* data, size_t size)
{
    if (size < 3 || size > INT32_MAX)
        return;
    set_d88_message_handler(ignore_message, nullptr);
    const int32_t format = data[0] % 2 == 0 ? D88_FILE_SCP : D88_FILE_KRYOFLUX;
    const int32_t slot = data[1] % D88_TRACK_MAX;
    const uint8_t* file = data + 2;
    const int32_t file_size = static_cast<int32_t>(size - 2);
    d88_image image = {};
    int32_t tracks = 0;
    const auto count_track = [](const d88_flux_track* track, void* context) {
        require(track->slot >= 0 && track->slot < D88_TRACK_MAX && track->sectors >= 0 && track->good <= track->sectors,
                "a track's facts are in range");
        ++*static_cast<int32_t*>(context);
    };
    if (import_d88_flux_image(&image, format, &file, &file_size, &slot, 1, nullptr, count_track, &tracks) == 1) {
        require(image.disk_count == 1 && tracks <= D88_TRACK_MAX, "a flux dump reads as one disk");
        int32_t written = 0;
        uint8_t* d88 = serialise(image, &written);
        require_round_trip(d88, written, 1);
        std::free(d88);
    }
    free_d88_image(&image, 0);
    set_d88_message_handler(nullptr, nullptr);
}
