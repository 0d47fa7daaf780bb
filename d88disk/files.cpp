// files.cpp -- d88disk ls, get, put, rm and format: the files inside a
// disk's file system.  put, rm and format change the data of the file
// system's sectors and nothing else of the image file, which is replaced
// safely, as set replaces it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88disk.h"
#include "files.h"
#include "platform.h"
#include "report.h"

namespace {

// The file system --fs names, or -1 (recognise it) without --fs; -2 after a
// message when the name is none.
int32_t chosen_fs(const command_line& line)
{
    if (line.fs == nullptr)
        return -1;
    const int32_t fs = find_d88_fs(line.fs);
    if (fs < 0)
        print_text("error: --fs takes n88, hu or fat12, not '%s'\n", line.fs);
    return fs >= 0 ? fs : -2;
}

void print_finding_line(const d88_finding* finding, void*)
{
    print_text("%s: %s: %s\n", d88_severity_name(finding->severity), finding->kind, finding->message);
}

void print_finding_json(const d88_finding& finding, bool first)
{
    print_text("%s{\"severity\": \"%s\", \"kind\": \"%s\", \"message\": ", first ? "" : ", ",
               d88_severity_name(finding.severity), finding.kind);
    print_json_string(finding.message);
    print_text("}");
}

// "2026-12-07 13:51" or "", for an entry (fields out of range shown as read).
void format_date(const d88_file_entry& entry, char out[24])
{
    if (entry.year == 0)
        out[0] = '\0';
    else
        std::snprintf(out, 24, "%04d-%02d-%02d %02d:%02d", entry.year % 10000, entry.month % 100, entry.day % 100,
                      entry.hour % 100, entry.minute % 100);
}

// The columns text takes on a terminal: two for a wide character (kana
// and kanji; the half-width katakana of U+FF61 to U+FF9F take one), one for
// any other.
int count_columns(const char* text)
{
    int columns = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != '\0'; ++p) {
        if ((*p & 0xC0) == 0x80)
            continue;  // a continuation byte
        const bool three = (*p & 0xF0) == 0xE0 && p[1] != '\0' && p[2] != '\0';
        const int code = three ? (*p & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F) : 0;
        columns += code >= 0x1100 && !(code >= 0xFF61 && code <= 0xFF9F) ? 2 : 1;
    }
    return columns;
}

void print_entry_text(const d88_file_entry& entry)
{
    char name[SHOWN_FILE_NAME_SIZE], date[24], load[8] = "-", exec[8] = "-", start[8] = "-";
    show_file_name(entry.name, name);
    format_date(entry, date);
    if (entry.load >= 0)
        std::snprintf(load, sizeof load, "%04X", entry.load & 0xFFFF);
    if (entry.exec >= 0)
        std::snprintf(exec, sizeof exec, "%04X", entry.exec & 0xFFFF);
    if (entry.start >= 0)
        std::snprintf(start, sizeof start, "%d", entry.start & 0xFFFF);
    char attributes[8];
    std::snprintf(attributes, sizeof attributes, "%02X %.4s", entry.attributes, entry.flags);
    const int pad = 17 - count_columns(name);
    print_text("%s%*s %-5s %-7s %8d %7s %4s %4s%s%s\n", name, pad > 0 ? pad : 0, "", d88_file_type_name(entry.type),
               attributes, entry.size, start, load, exec, date[0] != '\0' ? " " : "", date);
}

void print_entry_json(const d88_file_entry& entry, bool first)
{
    char name[SHOWN_FILE_NAME_SIZE], date[24];
    show_file_name(entry.name, name);
    format_date(entry, date);
    print_text("%s\n    {\"name\": ", first ? "" : ",");
    print_json_string(name);
    print_text(", \"type\": \"%s\", \"attributes\": %d, \"flags\": \"%s\", \"size\": %d, \"cluster\": ",
               d88_file_type_name(entry.type), entry.attributes, entry.flags, entry.size);
    print_text(entry.start >= 0 ? "%d" : "null", entry.start);
    print_text(entry.load >= 0 ? ", \"load\": %d" : ", \"load\": null", entry.load);
    print_text(entry.exec >= 0 ? ", \"exec\": %d" : ", \"exec\": null", entry.exec);
    print_text(date[0] != '\0' ? ", \"date\": \"%s\"}" : ", \"date\": null}", date);
}

int list_files(const command_line& line, d88_disk* disk, int32_t fs)
{
    d88_file_entry* entries = nullptr;
    int32_t free_bytes = 0;
    char directory[256] = "";
    if (line.word_count > 1 && !encode_file_name(line.words[1], directory, sizeof directory))
        return 1;
    kept_findings<d88_finding> found = {};
    const int32_t count = list_d88_directory(disk, fs, directory, &entries, &free_bytes,
                                             line.json ? keep_finding<d88_finding> : print_finding_line, &found);
    if (count >= 0 && found.failed)
        print_text_line("error: memory exhausted!");
    if (count < 0 || found.failed) {
        print_text("error: list the files of disk %u of '%s'\n", line.disk, line.words[0]);
        std::free(entries);
        release_findings(&found);
        return 1;
    }
    const int32_t kind = fs >= 0 ? fs : find_d88_fs_of_disk(disk);
    if (line.json) {
        print_text("{\"disk\": %u, \"file_system\": \"%s\", \"description\": \"%s\", \"free\": %d, \"files\": [",
                   line.disk, d88_fs_name(kind), describe_d88_fs(disk, kind), free_bytes);
        for (int32_t i = 0; i < count; ++i)
            print_entry_json(entries[i], i == 0);
        print_text("%s], \"findings\": [", count > 0 ? "\n  " : "");
        for (int32_t i = 0; i < found.count; ++i)
            print_finding_json(found.items[i], i == 0);
        print_text("]}\n");
    } else {
        print_text("disk %u: %s (%s)\n", line.disk, describe_d88_fs(disk, kind), d88_fs_name(kind));
        print_text("%-17s %-5s %-7s %8s %7s %4s %4s %s\n", "NAME", "TYPE", "ATTR", "SIZE", "CLUSTER", "LOAD", "EXEC",
                   "DATE");
        for (int32_t i = 0; i < count; ++i)
            print_entry_text(entries[i]);
        print_text("%d file%s, %d bytes free\n", count, count == 1 ? "" : "s", free_bytes);
    }
    std::free(entries);
    release_findings(&found);
    return 0;
}

// Writes size bytes as the file at path; false after the chain of lines.
bool write_out(const char* path, const uint8_t* data, int32_t size)
{
    if (store_d88_file(path, data, size) < 0) {
        say_unwritable(path, -1);
        return false;
    }
    print_text("wrote %s\n", path);
    return true;
}

// Extracts the file stored as `stored` (its entry: date) to path, its time
// the date the file system keeps; false after a message.
bool extract_file(const command_line& line, d88_disk* disk, int32_t fs, const char* stored,
                  const d88_file_entry& entry, const char* path)
{
    if (refuse_input_as_output(path, line.words, 1) || refuse_existing(path, line.overwrite))
        return false;
    uint8_t* data = nullptr;
    int32_t size = 0;
    if (read_d88_file(disk, fs, stored, &data, &size) < 0) {
        print_text("error: read '%s' from disk %u of '%s'\n", stored, line.disk, line.words[0]);
        return false;
    }
    const int time[6] = {entry.year, entry.month, entry.day, entry.hour, entry.minute, entry.second};
    bool written = write_out(path, data, size);
    std::free(data);
    if (written && entry.year != 0 && !set_file_time(path, time)) {
        print_text("error: cannot set the time of '%s'\n", path);
        written = false;
    }
    return written;
}

// A file's name as a name in a folder: its UTF-8 text with each slash,
// backslash or colon as '_'.
void folder_file_name(const char* stored, char out[SHOWN_FILE_NAME_SIZE])
{
    show_file_name(stored, out);
    for (char* p = out; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\' || *p == ':')
            *p = '_';
    }
}

// Where get writes a file shown as `shown`: OUT itself, or into OUT when
// OUT is a folder or ends with a separator (as cp does); the name as it
// came with no OUT.  Null after a message when memory runs out.
char* choose_get_output(const command_line& line, const char* shown)
{
    const char* out = line.word_count > 2 ? line.words[2] : shown;
    const size_t length = std::strlen(out);
    const bool ends_with_separator = length > 0 && (out[length - 1] == '/' || out[length - 1] == '\\');
    const bool into_folder = line.word_count > 2 && (ends_with_separator || is_folder(out));
    const size_t room = length + 1 + (into_folder ? std::strlen(shown) + 1 : 0);
    char* path = static_cast<char*>(std::malloc(room));
    if (path == nullptr)
        print_text_line("error: memory exhausted!");
    else if (into_folder)
        std::snprintf(path, room, "%s%s%s", out, ends_with_separator ? "" : "/", shown);
    else
        std::snprintf(path, room, "%s", out);
    return path;
}

int extract_all(const command_line& line, d88_disk* disk, int32_t fs)
{
    if (!make_output_folder(line.all))
        return 1;
    d88_file_entry* entries = nullptr;
    const int32_t count = list_d88_files(disk, fs, &entries, nullptr, print_finding_line, nullptr);
    bool done = count >= 0;
    for (int32_t i = 0; i < count; ++i) {  // a file that fails leaves the others to come out
        const int32_t type = entries[i].type;
        if (type == D88_TYPE_DIRECTORY || type == D88_TYPE_LABEL || type == D88_TYPE_BOOT)
            continue;
        char name[SHOWN_FILE_NAME_SIZE];
        folder_file_name(entries[i].name, name);
        const size_t room = std::strlen(line.all) + sizeof name + 2;
        char* path = static_cast<char*>(std::malloc(room));
        if (path == nullptr)
            print_text_line("error: memory exhausted!");
        else
            std::snprintf(path, room, "%s/%s", line.all, name);
        done = path != nullptr && extract_file(line, disk, fs, entries[i].name, entries[i], path) && done;
        std::free(path);
    }
    if (count < 0)
        print_text("error: list the files of disk %u of '%s'\n", line.disk, line.words[0]);
    std::free(entries);
    return done ? 0 : 1;
}

// put's own line after a failure.
void print_put_error(const command_line& line, const char* path)
{
    if (line.as != nullptr)
        print_text("error: put '%s' as '%s' on disk %u of '%s'\n", path, line.as, line.disk, line.words[0]);
    else
        print_text("error: put '%s' on disk %u of '%s'\n", path, line.disk, line.words[0]);
}

// The date --date gives: YYYY-MM-DD, then THH:MM and :SS (or a space for
// the T); "none" for no date.  False after a message.
bool parse_date(const char* text, d88_file_options* options)
{
    int fields[6] = {0, 0, 0, 0, 0, 0}, used = 0;
    char separator = 'T';
    const int parsed = std::strcmp(text, "none") == 0 ? 0
                       : std::sscanf(text, "%4d-%2d-%2d%n%c%2d:%2d%n:%2d%n", &fields[0], &fields[1], &fields[2], &used,
                                     &separator, &fields[3], &fields[4], &used, &fields[5], &used);
    const bool shaped = parsed == 0 || ((parsed == 3 || parsed == 6 || parsed == 7) && text[used] == '\0' &&
                                        (separator == 'T' || separator == ' '));
    const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (fields[0] % 4 == 0 && fields[0] % 100 != 0) || fields[0] % 400 == 0;
    const bool real = parsed == 0 || (fields[1] >= 1 && fields[1] <= 12 && fields[2] >= 1 &&
                                      fields[2] <= days[fields[1] - 1] - (fields[1] == 2 && !leap) &&
                                      fields[3] <= 23 && fields[4] <= 59 && fields[5] <= 59);
    const bool kept = parsed == 0 || (fields[0] >= 1900 && fields[0] <= 2107 && fields[3] >= 0 && fields[4] >= 0 &&
                                      fields[5] >= 0);
    if (!shaped || !real || !kept) {
        print_text("error: --date takes YYYY-MM-DD[THH:MM[:SS]], a day from 1900 to 2107, or none; not '%s'\n", text);
        return false;
    }
    options->year = fields[0];
    options->month = fields[1];
    options->day = fields[2];
    options->hour = fields[3];
    options->minute = fields[4];
    options->second = fields[5];
    return true;
}

// The options of put: --type, --load, --exec, and --date or the date of
// the file (none where the file system keeps none).
bool read_put_options(const command_line& line, d88_disk* disk, int32_t fs, const char* path,
                      d88_file_options* options)
{
    *options = {0, line.load_given ? static_cast<int32_t>(line.load) : -1,
                line.exec_given ? static_cast<int32_t>(line.exec) : -1, 0, 0, 0, 0, 0, 0};
    if (line.type != nullptr) {
        for (int32_t type = D88_TYPE_PLAIN; type <= D88_TYPE_ASCII; ++type) {
            if (std::strcmp(line.type, d88_file_type_name(type)) == 0)
                options->type = type;
        }
        if (options->type == 0 && std::strcmp(line.type, "file") != 0) {
            print_text("error: --type takes bin, bas, asc or file, not '%s'\n", line.type);
            return false;
        }
    }
    if (line.date != nullptr)
        return parse_date(line.date, options);
    int time[6];
    if ((fs >= 0 ? fs : find_d88_fs_of_disk(disk)) == D88_FS_N88 || !get_file_time(path, time))
        return true;  // a date it keeps not
    if (time[0] < 1900 || time[0] > 2107) {
        print_text("error: '%s' was last changed in %d, a year no file system keeps (--date gives another)\n", path,
                   time[0]);
        return false;
    }
    *options = {options->type, options->load, options->exec, time[0], time[1], time[2], time[3], time[4], time[5]};
    return true;
}

// The name put stores, FILE's own cut to fit or --as's as given, into
// stored; a file already there of that name refused without --overwrite.
// False after a message (the library's ones followed by put's own line).
bool choose_stored_name(const command_line& line, d88_disk* disk, int32_t fs, const char* given, char stored[24])
{
    char encoded[256];
    d88_file_entry old;
    if (!encode_file_name(given, encoded, sizeof encoded))
        return false;
    const int32_t found = make_d88_file_name(disk, fs, encoded, line.as == nullptr, stored) == 0
                              ? find_d88_file(disk, fs, stored, &old)
                              : -1;
    if (found < 0)
        print_put_error(line, line.words[1]);
    if (found <= 0 || line.overwrite)
        return found >= 0;
    char shown[SHOWN_FILE_NAME_SIZE];
    show_file_name(stored, shown);
    print_text("error: disk %u of '%s' already holds '%s' (%s, %d bytes); --overwrite replaces it\n", line.disk,
               line.words[0], shown, d88_file_type_name(old.type), old.size);
    return false;
}

// Adds the file at line.words[1] to the disk's records; false after a
// message.
bool put_file(const command_line& line, d88_disk* disk, int32_t fs)
{
    const char* path = line.words[1];
    const char* given = line.as != nullptr ? line.as : file_name_part(path);
    d88_file_options options;
    char stored[24];
    if (!read_put_options(line, disk, fs, path, &options) || !choose_stored_name(line, disk, fs, given, stored))
        return false;
    int32_t size = 0;
    const bool empty = path_exists(path) && std::strcmp(describe_unreadable_file(path), "the file is empty") == 0;
    uint8_t* data = empty ? nullptr : load_d88_file(path, &size);
    const bool written = (data != nullptr || empty) && write_d88_file(disk, fs, stored, data, size, &options) == 0;
    char shown[SHOWN_FILE_NAME_SIZE];
    show_file_name(stored, shown);
    if (!written)
        print_put_error(line, path);
    else if (std::strcmp(shown, given) != 0)
        print_text("'%s' stored as '%s'\n", given, shown);
    std::free(data);
    return written;
}

// The contents of the disk a format would erase, refused without --force;
// false after a message.
bool allow_format(const command_line& line, d88_disk* disk)
{
    d88_disk_contents contents;
    const int32_t held = find_d88_disk_contents(disk, &contents);
    if (held == 0 || (held > 0 && line.force))
        return true;
    if (held < 0)
        print_text("error: tell what disk %u of '%s' holds\n", line.disk, line.words[0]);
    else if (contents.files > 0)
        print_text("error: disk %u of '%s' holds %d file%s (%s); format erases %s: --force formats it all the same\n",
                   line.disk, line.words[0], contents.files, contents.files == 1 ? "" : "s",
                   contents.fs >= 0 ? describe_d88_fs(disk, contents.fs) : "several file systems fit it",
                   contents.files == 1 ? "it" : "them");
    else
        print_text("error: disk %u of '%s' holds data in %d sector%s (the first C %d H %d R %d) and no file system "
                   "d88disk knows; format erases it: --force formats it all the same\n",
                   line.disk, line.words[0], contents.sectors, contents.sectors == 1 ? "" : "s", contents.c,
                   contents.h, contents.r);
    return false;
}

}  // namespace

int run_files(const command_line& line)
{
    const char* path = line.words[0];
    const int32_t fs = chosen_fs(line);
    const bool change = std::strcmp(line.command, "ls") != 0 && std::strcmp(line.command, "get") != 0;
    if (fs == -2)
        return 1;
    if (std::strcmp(line.command, "format") == 0 && fs < 0) {
        print_text_line("error: format needs --fs n88, hu or fat12");
        return 1;
    }
    if (std::strcmp(line.command, "get") == 0 && (line.all != nullptr) == (line.word_count > 1)) {
        print_text_line("error: get takes a NAME, or --all DIR");
        return 1;
    }
    image_file file;
    if (!open_image_file(path, line.disk, &file))
        return 1;
    if (change && file.disk->write_protect != 0) {
        print_text("error: disk %u of '%s' is write-protected (d88disk set --writable lifts it)\n", line.disk, path);
        close_image_file(&file);
        return 1;
    }
    bool done = false;
    if (std::strcmp(line.command, "ls") == 0) {
        done = list_files(line, file.disk, fs) == 0;
    } else if (std::strcmp(line.command, "get") == 0 && line.all != nullptr) {
        done = extract_all(line, file.disk, fs) == 0;
    } else if (std::strcmp(line.command, "get") == 0) {
        char stored[256], shown[SHOWN_FILE_NAME_SIZE];
        d88_file_entry entry = {};
        done = encode_file_name(line.words[1], stored, sizeof stored);
        const char* last = std::strrchr(stored, '/');
        if (done)
            folder_file_name(last != nullptr ? last + 1 : stored, shown);
        const int32_t found = done ? find_d88_file(file.disk, fs, stored, &entry) : -1;
        if (done && found < 0)
            print_text("error: read '%s' from disk %u of '%s'\n", line.words[1], line.disk, path);
        char* out = found >= 0 ? choose_get_output(line, shown) : nullptr;
        done = out != nullptr && extract_file(line, file.disk, fs, stored, entry, out);
        std::free(out);
    } else if (std::strcmp(line.command, "put") == 0) {
        done = put_file(line, file.disk, fs);
    } else if (std::strcmp(line.command, "rm") == 0) {
        char stored[24];
        done = encode_file_name(line.words[1], stored, sizeof stored) && delete_d88_file(file.disk, fs, stored) == 0;
        if (!done)
            print_text("error: delete '%s' from disk %u of '%s'\n", line.words[1], line.disk, path);
    } else if (allow_format(line, file.disk)) {
        done = format_d88_files(file.disk, fs) == 0;
        if (!done)
            print_text("error: format disk %u of '%s' as %s\n", line.disk, path, d88_fs_name(fs));
    }
    done = done && (!change || store_image_file(path, &file));
    close_image_file(&file);
    return done ? 0 : 1;
}
