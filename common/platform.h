// platform.h -- what the two programs need of the system beyond the
// library, one source per platform (platform_posix.cpp,
// platform_windows.cpp).  Paths are UTF-8 on Windows, bytes elsewhere.
#ifndef VORKAST_PLATFORM_H
#define VORKAST_PLATFORM_H

// Whether anything is at path.
bool path_exists(const char* path);

// Whether a and b name one and the same file, links followed (device and
// inode; on Windows the volume and the file's index).  False when either
// is not there.
bool is_same_file(const char* a, const char* b);

// Whether path is a folder.
bool is_folder(const char* path);

// Why the file at path cannot be read whole, in the system's words ("no
// such file", "a folder", "permission denied", ...).
const char* describe_unreadable_file(const char* path);

// A failed store's reason as the library's file layer noted it (errno; on
// Windows GetLastError's code), in the system's words ("read-only file
// system", "no space left", "no such folder", ...).
const char* describe_store_error(int code);

// Makes the folder at path unless one is there; false when neither, with
// the system's reason in *reason ("a file, not a folder", "no such folder",
// ...).
bool make_folder(const char* path, const char** reason);

// The last component of path: what follows its last folder separator (and,
// on Windows, its drive).
const char* file_name_part(const char* path);

// When the file at path was last changed, in local time: year, month,
// day, hour, minute, second; false when that cannot be told.
bool get_file_time(const char* path, int fields[6]);
// Sets the time the file at path was last changed (and read) to the local
// time in fields, as get_file_time gives it; false when that fails.
bool set_file_time(const char* path, const int fields[6]);

// The UTF-8 text of one character of code page 932 (Shift_JIS as Windows
// has it, where 5C and 7E are the backslash and the tilde), given as `count`
// (1 or 2) bytes: its length, at most 4, or 0 when they are no character.
int cp932_char_to_utf8(const unsigned char* bytes, int count, char out[4]);

// text (UTF-8) in code page 932, into out of `size` bytes: their number, or
// -1 when a character has no code there or the result does not fit.
int utf8_to_cp932(const char* text, char* out, int size);

// The console for one run of a program, from main to its end.  On Windows
// the arguments are taken from the system as UTF-16 and handed on as UTF-8,
// and the console shows UTF-8 until the run ends; elsewhere they stay as
// they came.
struct console_session {
    int argc;
    char** argv;
    char** converted;  // the arguments made here, released at the end
    unsigned int saved_code_page;
    console_session(int count, char** arguments);
    ~console_session();
    console_session(const console_session&) = delete;
    console_session& operator=(const console_session&) = delete;
};

#endif
