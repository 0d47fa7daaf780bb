// web_files.cpp -- the page's interface to the files inside a disk: list,
// read, put, delete and format, as d88disk ls, get, put, rm and format do
// them, with their refusals and their lines, on the bytes of a D88 image
// the page holds.  A change hands back a new copy of the image's bytes in
// which only the data of the file system's sectors changed, as d88disk
// writes the image; a refused change hands back nothing, so the page's
// image stays as it was.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88.h"
#include "core/message.h"
#include "names.h"
#include "web_glue.h"

static_assert(sizeof(d88_file_options) == 9 * sizeof(int32_t), "the page writes d88_file_options as 9 int32 fields");

namespace {

// --- the image --------------------------------------------------------------

// An image the page holds, read into records; for a change, from a copy of
// its bytes, which the change is put back into.
struct held_image {
    uint8_t* copy;
    const uint8_t* bytes;
    int32_t size;
    d88_image image;
    d88_disk* disk;
};

void close_image(held_image* held)
{
    std::free(held->copy);
    free_d88_image(&held->image, 0);
    *held = {};
}

// Reads the image and finds disk `index`; false after d88disk's lines.
bool open_image(const uint8_t* bytes, int32_t size, const char* name, int32_t index, bool change, held_image* held)
{
    *held = {};
    held->size = size;
    held->bytes = bytes;
    if (change && size > 0) {
        held->copy = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
        if (held->copy == nullptr) {
            print_d88_line("error: memory exhausted!");
            return false;
        }
        std::memcpy(held->copy, bytes, static_cast<size_t>(size));
        held->bytes = held->copy;
    }
    const int32_t disks = read_picked_image(&held->image, held->bytes, size, name);
    held->disk = disks > 0 ? get_d88_disk(&held->image, index) : nullptr;
    if (held->disk != nullptr)
        return true;
    if (disks < 0)
        print_d88_message("error: read d88 image '%s'\n", name);
    else if (disks == 0)
        print_d88_message("error: '%s' holds no D88 disk\n", name);
    else
        print_d88_message("error: no disk %d in '%s'\n", static_cast<int>(index), name);
    close_image(held);
    return false;
}

// Begins the change's JSON ({"disk":D) and opens disk `index` of a copy of
// the image for it, as d88disk's put, rm and format do; false without a
// result to fill, after the reader's lines, or for a write-protected disk
// (said, with "refused": "protected").
bool open_for_change(const uint8_t* bytes, int32_t size, const char* name, int32_t index, const web_result* result,
                     held_image* held, growing_text* json)
{
    append(json, "{\"disk\":%d", static_cast<int>(index));
    if (result == nullptr || !open_image(bytes, size, name, index, true, held))
        return false;
    if (held->disk->write_protect == 0)
        return true;
    print_d88_message("error: disk %d of '%s' is write-protected (d88disk set --writable lifts it)\n",
                      static_cast<int>(index), name);
    append(json, ",\"refused\":\"protected\"");
    return false;
}

// Puts the records' changes back into the copy of the bytes, which the
// result then holds; false after a line.
bool hand_back(held_image* held, const char* name, web_result* result)
{
    if (update_d88_image_bytes(&held->image, held->copy, held->size) < 0) {
        print_d88_message("error: write d88 image '%s'\n", name);
        return false;
    }
    result->image = held->copy;
    result->size = held->size;
    held->copy = nullptr;
    return true;
}

// Ends a change: the JSON as the result's text, status 0 when done (the
// result then holds the changed image), and the image given back.
web_result* finish_change(web_result* result, bool done, growing_text* json, held_image* held)
{
    append(json, "}");
    if (result != nullptr) {
        result->text = hand_over(json);
        result->status = done && result->text != nullptr ? 0 : 1;
        if (result->status != 0) {
            std::free(result->image);
            result->image = nullptr;
            result->size = 0;
        }
    } else {
        std::free(json->text);
    }
    close_image(held);
    end_call();
    return result;
}

// --- the files --------------------------------------------------------------

void append_entry(growing_text* json, const d88_file_entry& entry, bool first)
{
    char flags[sizeof entry.flags + 1];
    std::memcpy(flags, entry.flags, sizeof entry.flags);
    flags[sizeof entry.flags] = '\0';
    append(json, "%s{\"name\":", first ? "" : ",");
    append_json_bytes(json, entry.name, sizeof entry.name);
    append(json, ",\"type\":\"%s\",\"attributes\":%u,\"flags\":", d88_file_type_name(entry.type), entry.attributes);
    append_json_string(json, flags);
    append(json, ",\"size\":%d", static_cast<int>(entry.size));
    append(json, entry.start >= 0 ? ",\"cluster\":%d" : ",\"cluster\":null", static_cast<int>(entry.start & 0xFFFF));
    append(json, entry.load >= 0 ? ",\"load\":%d" : ",\"load\":null", static_cast<int>(entry.load & 0xFFFF));
    append(json, entry.exec >= 0 ? ",\"exec\":%d" : ",\"exec\":null", static_cast<int>(entry.exec & 0xFFFF));
    if (entry.year != 0)
        append(json, ",\"date\":[%d,%d,%d,%d,%d,%d]}", static_cast<int>(entry.year), static_cast<int>(entry.month),
               static_cast<int>(entry.day), static_cast<int>(entry.hour), static_cast<int>(entry.minute),
               static_cast<int>(entry.second));
    else
        append(json, ",\"date\":null}");
}

// d88disk put's own line after a failure.
void print_put_error(const char* given, const char* name, int32_t index)
{
    print_d88_message("error: put '%s' on disk %d of '%s'\n", given, static_cast<int>(index), name);
}

// The steps of d88disk put on the disk's records, its lines said: the date
// checked (none kept on N88-BASIC), the name stored chosen (given's own, cut
// to fit), a file of that name refused unless overwrite, the file
// written.  False after the lines.
bool put_file(held_image* held, const char* name, int32_t index, int32_t fs, const char* given, const uint8_t* data,
              int32_t size, bool overwrite, d88_file_options options, growing_text* json)
{
    const int32_t kind = fs >= 0 ? fs : find_d88_fs_of_disk(held->disk);
    if (kind == D88_FS_N88) {
        options.year = options.month = options.day = options.hour = options.minute = options.second = 0;
    } else if (options.year != 0 && (options.year < 1900 || options.year > 2107)) {
        print_d88_message("error: '%s' was last changed in %d, a year no file system keeps (--date gives another)\n",
                          given, static_cast<int>(options.year));
        return false;
    }
    char encoded[256], stored[24], shown[SHOWN_FILE_NAME_SIZE];
    d88_file_entry old;
    if (!encode_file_name(given, encoded, sizeof encoded))
        return false;
    const int32_t found = make_d88_file_name(held->disk, fs, encoded, 1, stored) == 0
                              ? find_d88_file(held->disk, fs, stored, &old)
                              : -1;
    if (found < 0) {
        print_put_error(given, name, index);
        return false;
    }
    show_file_name(stored, shown);
    if (found > 0 && !overwrite) {
        print_d88_message("error: disk %d of '%s' already holds '%s' (%s, %d bytes); --overwrite replaces it\n",
                          static_cast<int>(index), name, shown, d88_file_type_name(old.type), static_cast<int>(old.size));
        append(json, ",\"refused\":\"exists\",\"name\":");
        append_json_bytes(json, stored, sizeof stored);
        append(json, ",\"type\":\"%s\",\"size\":%d", d88_file_type_name(old.type), static_cast<int>(old.size));
        return false;
    }
    if (write_d88_file(held->disk, fs, stored, size > 0 ? data : nullptr, size, &options) != 0) {
        print_put_error(given, name, index);
        return false;
    }
    if (std::strcmp(shown, given) != 0)
        print_d88_message("'%s' stored as '%s'\n", given, shown);
    append(json, ",\"stored\":");
    append_json_bytes(json, stored, sizeof stored);
    return true;
}

// Text as a JSON string, or null for none.
void append_json_text(growing_text* json, const char* text)
{
    if (text != nullptr)
        append_json_string(json, text);
    else
        append(json, "null");
}

// Whether format may erase what the disk holds, as d88disk format decides
// without --force and says; false after the line.
bool allow_format(d88_disk* disk, const char* name, int32_t index, bool force, growing_text* json)
{
    d88_disk_contents contents;
    const int32_t held = find_d88_disk_contents(disk, &contents);
    if (held == 0 || (held > 0 && force))
        return true;
    const char* described = contents.fs >= 0 ? describe_d88_fs(disk, contents.fs) : nullptr;
    const char* fs = described != nullptr ? described : "several file systems fit it";
    if (held < 0)
        print_d88_message("error: tell what disk %d of '%s' holds\n", static_cast<int>(index), name);
    else if (contents.files > 0)
        print_d88_message("error: disk %d of '%s' holds %d file%s (%s); format erases %s: --force formats it all the "
                          "same\n",
                          static_cast<int>(index), name, static_cast<int>(contents.files), contents.files == 1 ? "" : "s",
                          fs, contents.files == 1 ? "it" : "them");
    else
        print_d88_message("error: disk %d of '%s' holds data in %d sector%s (the first C %d H %d R %d) and no file "
                          "system d88disk knows; format erases it: --force formats it all the same\n",
                          static_cast<int>(index), name, static_cast<int>(contents.sectors),
                          contents.sectors == 1 ? "" : "s", static_cast<int>(contents.c), static_cast<int>(contents.h),
                          static_cast<int>(contents.r));
    if (held > 0) {
        append(json, ",\"refused\":\"contents\",\"files\":%d,\"sectors\":%d,\"description\":",
               static_cast<int>(contents.files), static_cast<int>(contents.sectors));
        append_json_text(json, contents.files > 0 ? described : nullptr);
    }
    return false;
}

}  // namespace

extern "C" {

// The files of a directory of disk `index` (directory "" is the root; a
// FAT12 subdirectory's stored names joined by '/'), as d88disk ls gives
// them: {"disk":D,"fs":F,"name":"fat12","description":"...","free":BYTES,
// "files":[{name (its stored bytes), type, attributes, flags, size,
// cluster, load, exec, date ([y,m,d,h,m,s] or null)}],"findings":[...]};
// fs is a D88_FS_ value or -1 (recognise it).  When the disk's file
// system cannot be listed, "files" is null and "fs" what
// find_d88_fs_of_disk says (-1 none, -2 several), after the lines.  Null
// after the reader's lines.  Released with vorkast_web_free.
char* vorkast_web_files(const uint8_t* bytes, int32_t size, const char* name, int32_t index, int32_t fs,
                        const char* directory)
{
    start_call();
    held_image held;
    char* text = nullptr;
    if (open_image(bytes, size, name, index, false, &held)) {
        growing_text json = {nullptr, 0, 0, false}, findings = {nullptr, 0, 0, false};
        json_list list = {&findings, 0};
        d88_file_entry* entries = nullptr;
        int32_t free_bytes = 0;
        const int32_t count = list_d88_directory(held.disk, fs, directory, &entries, &free_bytes, append_image_finding, &list);
        const int32_t kind = fs >= 0 ? fs : find_d88_fs_of_disk(held.disk);
        append(&json, "{\"disk\":%d,\"fs\":%d", static_cast<int>(index), static_cast<int>(kind));
        if (count >= 0) {
            append(&json, ",\"name\":\"%s\",\"description\":", d88_fs_name(kind));
            append_json_text(&json, describe_d88_fs(held.disk, kind));
            append(&json, ",\"free\":%d,\"files\":[", static_cast<int>(free_bytes));
            for (int32_t i = 0; i < count; ++i)
                append_entry(&json, entries[i], i == 0);
            append(&json, "]");
        } else {
            print_d88_message("error: list the files of disk %d of '%s'\n", static_cast<int>(index), name);
            append(&json, ",\"files\":null");
        }
        append(&json, ",\"findings\":[%s]}", findings.text != nullptr ? findings.text : "");
        json.failed = json.failed || findings.failed;
        std::free(findings.text);
        std::free(entries);
        text = hand_over(&json);
        close_image(&held);
    }
    end_call();
    return text;
}

// The data of the file `stored` (its stored bytes; DIR/NAME in a FAT12
// subdirectory) of disk `index`, as d88disk get extracts it, in a new
// buffer of *size_out bytes; null after the lines (shown names the file in
// them).  Released with vorkast_web_free.
uint8_t* vorkast_web_read_file(const uint8_t* bytes, int32_t size, const char* name, int32_t index, int32_t fs,
                               const char* stored, const char* shown, int32_t* size_out)
{
    start_call();
    held_image held;
    uint8_t* data = nullptr;
    *size_out = 0;
    if (open_image(bytes, size, name, index, false, &held)) {
        int32_t length = 0;
        const bool read = read_d88_file(held.disk, fs, stored, &data, &length) == 0;
        if (read && data == nullptr)
            data = static_cast<uint8_t*>(std::malloc(1));
        if (!read)
            print_d88_message("error: read '%s' from disk %d of '%s'\n", shown, static_cast<int>(index), name);
        else if (data == nullptr)
            print_d88_line("error: memory exhausted!");
        *size_out = data != nullptr ? length : 0;
        close_image(&held);
    }
    end_call();
    return data;
}

// d88disk put of the file `given` (its name in UTF-8, its size bytes of
// data) on disk `index` of the image `name`: options as write_d88_file
// takes them (the date the file's own; N88-BASIC keeps none), a file of
// the name it is stored as replaced only when overwrite is non-zero.  The
// text is JSON: {"disk":D,"stored":NAME} (the stored bytes) when done; on
// a refusal "refused": "protected" (a write-protected disk) or "exists"
// (with the name, type and size of the file there).
web_result* vorkast_web_put(const uint8_t* bytes, int32_t size, const char* name, int32_t index, int32_t fs,
                            const char* given, const uint8_t* data, int32_t data_size, int32_t overwrite,
                            const d88_file_options* options)
{
    start_call();
    web_result* result = new_result();
    growing_text json = {nullptr, 0, 0, false};
    held_image held = {};
    const bool done = open_for_change(bytes, size, name, index, result, &held, &json) &&
                      put_file(&held, name, index, fs, given, data, data_size, overwrite != 0, *options, &json) &&
                      hand_back(&held, name, result);
    return finish_change(result, done, &json, &held);
}

// d88disk rm of the file `stored` (its stored bytes; shown names it in the
// lines) from disk `index`.  The text is JSON: {"disk":D}, with "refused":
// "protected" for a write-protected disk.
web_result* vorkast_web_delete(const uint8_t* bytes, int32_t size, const char* name, int32_t index, int32_t fs,
                               const char* stored, const char* shown)
{
    start_call();
    web_result* result = new_result();
    growing_text json = {nullptr, 0, 0, false};
    held_image held = {};
    bool done = open_for_change(bytes, size, name, index, result, &held, &json);
    if (done && delete_d88_file(held.disk, fs, stored) != 0) {
        print_d88_message("error: delete '%s' from disk %d of '%s'\n", shown, static_cast<int>(index), name);
        done = false;
    }
    done = done && hand_back(&held, name, result);
    return finish_change(result, done, &json, &held);
}

// d88disk format --fs of disk `index` (force: --force): a disk that holds
// anything is refused without force.  The text is JSON: {"disk":D}, with
// "refused": "protected", or "contents" with what the disk holds ("files",
// "sectors" of data, and the "description" of the file system holding the
// files, or null).
web_result* vorkast_web_format(const uint8_t* bytes, int32_t size, const char* name, int32_t index, int32_t fs,
                               int32_t force)
{
    start_call();
    web_result* result = new_result();
    growing_text json = {nullptr, 0, 0, false};
    held_image held = {};
    bool done = open_for_change(bytes, size, name, index, result, &held, &json) && allow_format(held.disk, name, index, force != 0, &json);
    if (done && format_d88_files(held.disk, fs) != 0) {
        print_d88_message("error: format disk %d of '%s' as %s\n", static_cast<int>(index), name,
                          d88_fs_name(fs) != nullptr ? d88_fs_name(fs) : "?");
        done = false;
    }
    done = done && hand_back(&held, name, result);
    return finish_change(result, done, &json, &held);
}

}  // extern "C"
