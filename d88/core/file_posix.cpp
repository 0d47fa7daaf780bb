// file_posix.cpp -- loading and storing whole files on POSIX systems.
//
// A file is replaced by writing a new file beside it, flushing it to the
// disk and renaming it over the old one, then flushing the folder: at every
// moment the path holds either the old file or the complete new one.  On
// Linux the new file has no name until it is complete (O_TMPFILE), so a run
// killed while writing leaves nothing behind; elsewhere it is written under
// a hidden temporary name (".NAME.XXXXXX" beside NAME) that such a run can
// leave, never a damaged NAME.
#include "d88.h"
#include "file.h"
#include "message.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Why the last store failed: the errno of the call that failed, or 0.
int store_error = 0;

// Notes errno as the reason of a failed store; the result given back.
bool note_store_error(bool done)
{
    if (!done && store_error == 0)
        store_error = errno != 0 ? errno : EIO;
    return done;
}

constexpr int SYMLINK_HOPS_MAX = 40;
constexpr int TEMP_TRIES_MAX = 100;
constexpr size_t TEMP_SUFFIX = 8;  // the dot before the name and ".XXXXXX"

// The file's length, once it is known to be a file that can be taken
// whole; -1 after printing why not.
int64_t measure_file(int fd, const char* path)
{
    struct stat st;
    off_t length = -1;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
        print_d88_message("read error '%s'\n", path);
    else if ((length = lseek(fd, 0, SEEK_END)) < 0)
        print_d88_message("seek error(SEEK_END) '%s'\n", path);
    else if (length > INT32_MAX)
        print_d88_message("file too large '%s'\n", path);
    else if (lseek(fd, 0, SEEK_SET) != 0)
        print_d88_message("seek error(SEEK_SET) '%s'\n", path);
    else
        return length;
    return -1;
}

// Moves exactly size bytes with move(done), a read or a write of the bytes
// from `done` on, however the system splits them and whatever interrupts
// them; false at an error, or when a file ends first.
template <class Move>
bool move_all(size_t size, Move move)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = move(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool read_all(int fd, uint8_t* buffer, size_t size)
{
    return move_all(size, [&](size_t done) { return read(fd, buffer + done, size - done); });
}

bool write_all(int fd, const uint8_t* buffer, size_t size)
{
    return move_all(size, [&](size_t done) { return write(fd, buffer + done, size - done); });
}

// Reads length bytes into a new buffer, which the caller owns; a file of
// length 0 fails like any short one.
uint8_t* read_whole_file(int fd, int64_t length, const char* path)
{
    const size_t size = static_cast<size_t>(length);
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (buffer == nullptr) {
        print_d88_line("memory exhaust!");
        return nullptr;
    }
    prepare_large_buffer(buffer, size);
    if (size == 0 || !read_all(fd, buffer, size)) {
        print_d88_message("read error '%s'\n", path);
        std::free(buffer);
        return nullptr;
    }
    return buffer;
}

char* join_text(const char* a, size_t a_length, const char* b, size_t b_length)
{
    char* text = static_cast<char*>(std::malloc(a_length + b_length + 1));
    if (text == nullptr)
        return nullptr;
    std::memcpy(text, a, a_length);
    std::memcpy(text + a_length, b, b_length);
    text[a_length + b_length] = '\0';
    return text;
}

// The length of the folder part of path, its last slash included.
size_t folder_length(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? 0 : static_cast<size_t>(slash - path) + 1;
}

// The file that writing to path replaces: path itself, or the end of its
// chain of symbolic links, so that links stay links.  Null after printing
// why when the chain cannot be followed to its end (a loop, an unreadable
// link) or memory runs out.
char* resolve_target(const char* path)
{
    char* current = join_text(path, std::strlen(path), "", 0);
    for (int hop = 0; current != nullptr; ++hop) {
        struct stat st;
        if (lstat(current, &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char link[4096];
        const ssize_t length = readlink(current, link, sizeof link);
        if (hop == SYMLINK_HOPS_MAX || length <= 0 || static_cast<size_t>(length) >= sizeof link) {
            errno = hop == SYMLINK_HOPS_MAX ? ELOOP : errno;
            note_store_error(false);
            print_d88_message("open error '%s'\n", path);
            std::free(current);
            return nullptr;
        }
        const size_t folder = link[0] == '/' ? 0 : folder_length(current);
        char* next = join_text(current, folder, link, static_cast<size_t>(length));
        std::free(current);
        current = next;
    }
    print_d88_line("memory exhaust!");
    return nullptr;
}

// Room for the hidden temporary name of the target NAME in the folder open
// as dir: ".NAME" cut so that ".NAME.XXXXXX" fits wherever NAME fits.  Null
// after printing why.
char* new_temp_name(int dir, const char* name)
{
    const long limit = fpathconf(dir, _PC_NAME_MAX);
    const size_t name_max = limit > static_cast<long>(TEMP_SUFFIX) ? static_cast<size_t>(limit) : 255;
    const size_t length = std::strlen(name);
    const size_t kept = length + TEMP_SUFFIX <= name_max ? length : name_max - TEMP_SUFFIX;
    char* temp = static_cast<char*>(std::malloc(kept + TEMP_SUFFIX + 1));
    if (temp == nullptr) {
        print_d88_line("memory exhaust!");
        return nullptr;
    }
    temp[0] = '.';
    std::memcpy(temp + 1, name, kept);
    temp[kept + 1] = '\0';
    return temp;
}

// Tries names ".NAME.XXXXXX" in temp until make(temp) creates the file
// under one (>= 0) or fails otherwise than with EEXIST (-1).
template <class Make>
int try_temp_names(char* temp, Make make)
{
    const size_t at = std::strlen(temp);
    uint64_t seed = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15u ^ static_cast<uint64_t>(std::time(nullptr));
    for (int attempt = 0; attempt < TEMP_TRIES_MAX; ++attempt) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        std::snprintf(temp + at, TEMP_SUFFIX, ".%06llx", static_cast<unsigned long long>(seed >> 40) & 0xFFFFFFu);
        const int result = make(temp);
        if (result >= 0 || errno != EEXIST)
            return result;
    }
    return -1;
}

// A new file in the folder open as dir that has no name yet, so that a run
// killed before it is complete leaves nothing behind; -1 where the file
// system cannot make one.  The kernel applies the umask to 0666, as for
// any new file.
int open_unnamed_file(int dir)
{
#ifdef O_TMPFILE
    return openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#else
    (void)dir;
    return -1;
#endif
}

// Gives the complete unnamed file fd a name in the folder open as dir.
bool link_unnamed_file(int fd, int dir, char* temp)
{
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    return try_temp_names(temp, [&](const char* tried) {
               return linkat(AT_FDCWD, proc, dir, tried, AT_SYMLINK_FOLLOW);
           }) >= 0;
}

// Writes the new contents as a file in the folder open as dir, flushes it,
// and renames it over name.  The file gets its hidden temporary name only
// once it is complete, where the file system allows, else when it is made.
// A replaced file's owner and permission bits carry over (set-id bits only
// where the owner could be kept).
bool write_and_rename(int dir, const char* name, const struct stat* old, const uint8_t* buffer, int32_t size,
                      const char* path)
{
    char* temp = new_temp_name(dir, name);
    if (temp == nullptr)
        return false;
    int fd = open_unnamed_file(dir);
    bool named = false;
    if (fd < 0) {
        fd = try_temp_names(temp, [&](const char* tried) {
            return openat(dir, tried, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        });
        named = fd >= 0;
    }
    if (!note_store_error(fd >= 0)) {
        print_d88_message("open error '%s'\n", path);
        std::free(temp);
        return false;
    }
    bool stored = true;
    if (old != nullptr) {
        const mode_t mode = old->st_mode & (fchown(fd, old->st_uid, old->st_gid) == 0 ? 07777 : 0777);
        stored = note_store_error(fchmod(fd, mode) == 0);
    }
    stored = stored && note_store_error(write_all(fd, buffer, static_cast<size_t>(size))) && note_store_error(fsync(fd) == 0);
    if (stored && !named)
        stored = named = note_store_error(link_unnamed_file(fd, dir, temp));
    stored = note_store_error(close(fd) == 0) && stored;
    stored = stored && note_store_error(renameat(dir, temp, dir, name) == 0);
    if (!stored && named)
        unlinkat(dir, temp, 0);
    if (!stored)
        print_d88_message("write error '%s'\n", path);
    std::free(temp);
    return stored;
}

// Writes straight into something that is not a regular file: a device or a
// pipe, which cannot be replaced by renaming.
int32_t store_in_place(const char* target, const uint8_t* buffer, int32_t size, const char* path)
{
    const int fd = open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (!note_store_error(fd >= 0)) {
        print_d88_message("open error '%s'\n", path);
        return -1;
    }
    const bool written = note_store_error(write_all(fd, buffer, static_cast<size_t>(size)));
    if (!note_store_error(close(fd) == 0) || !written) {
        print_d88_message("write error '%s'\n", path);
        return -1;
    }
    return 0;
}

// Replaces (or creates) the regular file target through a temporary file
// in its folder, then flushes the folder so that the rename survives a
// power loss (a hint where the file system has no use for it).
int32_t store_by_rename(const char* target, const struct stat* old, const uint8_t* buffer, int32_t size,
                        const char* path)
{
    if (old != nullptr && !note_store_error(access(target, W_OK) == 0)) {
        print_d88_message("open error '%s'\n", path);
        return -1;
    }
    const size_t folder = folder_length(target);
    char* folder_path = join_text(target, folder, folder == 0 ? "." : "", folder == 0 ? 1 : 0);
    if (folder_path == nullptr) {
        print_d88_line("memory exhaust!");
        return -1;
    }
    const int dir = open(folder_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::free(folder_path);
    if (!note_store_error(dir >= 0)) {
        print_d88_message("open error '%s'\n", path);
        return -1;
    }
    const bool stored = write_and_rename(dir, target + folder, old, buffer, size, path);
    if (stored)
        fsync(dir);
    close(dir);
    return stored ? 0 : -1;
}

}  // namespace

uint8_t* load_d88_file(const char* path, int32_t* size_out)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        print_d88_message("open error '%s'\n", path);
        return nullptr;
    }
    const int64_t length = measure_file(fd, path);
    uint8_t* buffer = length >= 0 ? read_whole_file(fd, length, path) : nullptr;
    close(fd);
    *size_out = static_cast<int32_t>(length);
    return buffer;
}

int32_t store_d88_file(const char* path, const uint8_t* buffer, int32_t size)
{
    store_error = 0;
    errno = 0;
    if (path[0] == '\0') {
        store_error = ENOENT;
        print_d88_message("open error '%s'\n", path);
        return -1;
    }
    char* target = resolve_target(path);
    if (target == nullptr)
        return -1;
    struct stat st;
    const bool exists = stat(target, &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        store_error = EISDIR;
        print_d88_message("open error '%s'\n", path);
        std::free(target);
        return -1;
    }
    const int32_t result = exists && !S_ISREG(st.st_mode) ? store_in_place(target, buffer, size, path)
                                                           : store_by_rename(target, exists ? &st : nullptr, buffer, size, path);
    std::free(target);
    return result;
}

// Backs a large buffer with huge pages and maps its pages in one call where
// the system allows: faulting them in one by one costs more than filling
// them.
void prepare_large_buffer(void* buffer, size_t size)
{
    constexpr uintptr_t PAGE = 4096;
    constexpr size_t WORTH_IT = size_t{64} << 10;
    if (size < WORTH_IT)
        return;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(buffer) + PAGE - 1) & ~(PAGE - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(buffer) + size) & ~(PAGE - 1);
    void* pages = reinterpret_cast<void*>(start);
#ifdef MADV_HUGEPAGE
    madvise(pages, end - start, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    madvise(pages, end - start, MADV_POPULATE_WRITE);
#endif
    (void)pages;
}

bool read_d88_clock(int fields[6])
{
    const std::time_t now = std::time(nullptr);
    struct tm local;
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr)
        return false;
    const int read[6] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
    std::memcpy(fields, read, sizeof read);
    return true;
}

int read_d88_store_error()
{
    return store_error;
}
