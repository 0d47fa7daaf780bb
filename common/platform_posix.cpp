// platform_posix.cpp -- the programs' system calls on POSIX systems.
#include "platform.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <iconv.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An encoding's name as a C library without code page 932 knows it: its
// core, Shift_JIS (musl's, and so the page's).
const char* fallback_name(const char* encoding)
{
    return std::strcmp(encoding, "CP932") == 0 ? "SHIFT_JIS" : encoding;
}

// Converts all of in through iconv; the bytes written, or -1 when a
// character has no code in the target or the result does not fit.
int convert(const char* to, const char* from, const char* in, size_t in_size, char* out, size_t out_size)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = iconv_open(fallback_name(to), fallback_name(from));
    if (cd == reinterpret_cast<iconv_t>(-1))
        return -1;
    char* source = const_cast<char*>(in);
    char* target = out;
    size_t left = out_size;
    const bool done = iconv(cd, &source, &in_size, &target, &left) != static_cast<size_t>(-1) &&
                      iconv(cd, nullptr, nullptr, &target, &left) != static_cast<size_t>(-1);
    iconv_close(cd);
    return done ? static_cast<int>(out_size - left) : -1;
}

}  // namespace

bool path_exists(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0;
}

bool is_same_file(const char* a, const char* b)
{
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool is_folder(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

const char* describe_unreadable_file(const char* path)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return errno == ENOENT ? "no such file" : std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return "a folder, not a file";
    if (access(path, R_OK) != 0)
        return errno == EACCES ? "permission denied" : std::strerror(errno);
    return st.st_size == 0 ? "the file is empty" : "the file cannot be read whole";
}

const char* describe_store_error(int code)
{
    switch (code) {
    case ENOENT:
    case ENOTDIR:
        return "no such folder";
    case EISDIR:
        return "a folder, not a file";
    case EROFS:
        return "read-only file system";
    case ENOSPC:
    case EDQUOT:
        return "no space left";
    case EACCES:
    case EPERM:
        return "permission denied";
    default:
        return std::strerror(code);
    }
}

bool make_folder(const char* path, const char** reason)
{
    if (mkdir(path, 0777) == 0 || (errno == EEXIST && is_folder(path)))
        return true;
    *reason = errno == EEXIST ? "a file, not a folder" : describe_store_error(errno);
    return false;
}

const char* file_name_part(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

bool get_file_time(const char* path, int fields[6])
{
    struct stat st;
    struct tm local;
    if (stat(path, &st) != 0 || localtime_r(&st.st_mtime, &local) == nullptr)
        return false;
    const int values[6] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                           local.tm_hour, local.tm_min, local.tm_sec};
    std::memcpy(fields, values, sizeof values);
    return true;
}

bool set_file_time(const char* path, const int fields[6])
{
    struct tm local = {};
    local.tm_year = fields[0] - 1900;
    local.tm_mon = fields[1] - 1;
    local.tm_mday = fields[2];
    local.tm_hour = fields[3];
    local.tm_min = fields[4];
    local.tm_sec = fields[5];
    local.tm_isdst = -1;
    const time_t when = std::mktime(&local);
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    return when != static_cast<time_t>(-1) && utimensat(AT_FDCWD, path, times, 0) == 0;
}

int cp932_char_to_utf8(const unsigned char* bytes, int count, char out[4])
{
    const int length = convert("UTF-8", "CP932", reinterpret_cast<const char*>(bytes), static_cast<size_t>(count), out, 4);
    return length > 0 ? length : 0;
}

int utf8_to_cp932(const char* text, char* out, int size)
{
    return convert("CP932", "UTF-8", text, std::strlen(text), out, static_cast<size_t>(size));
}

// Arguments and output are bytes already: nothing to do.
console_session::console_session(int count, char** arguments) : argc(count), argv(arguments), converted(nullptr), saved_code_page(0) {}

console_session::~console_session() = default;
