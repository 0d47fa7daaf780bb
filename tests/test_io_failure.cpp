// Every file operation of a whole vorkast run that replaces an existing
// output, made to fail in turn; then every read and write made to move only
// part of its bytes, or to be interrupted.  A failure is reported where it
// happens and the old output stays as it was; a partial or interrupted read
// or write is carried on to the end.  Linked with
// -Wl,--wrap for each operation, so that the library's calls come through
// the counter below.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <fcntl.h>
#include <sys/stat.h>
#include <regex>
#include <set>
#include <unistd.h>

#include "test_support.h"
#include "vorkast.h"

extern "C" int __real_open(const char* path, int flags, ...);
extern "C" int __real_openat(int dir, const char* path, int flags, ...);
extern "C" int __real_close(int fd);

namespace {

long chosen = 0;     // the operation that misbehaves, counted from 1; 0: none
enum mode { FAIL, PART, INTERRUPT };
mode misbehaving = FAIL;  // what the chosen read or write does: fail, move part of its bytes, or be interrupted
long counted = 0;
std::string chosen_kind;
long open_files = 0;   // opened and not yet closed
long left_open = 0;    // open_files when the run ended
std::string temp_name;  // the last name given to a new file

// Whether this operation is the chosen one, which then fails with EIO.
bool fails_now(const char* kind)
{
    if (chosen == 0 || ++counted != chosen)
        return false;
    chosen_kind = kind;
    errno = EIO;
    return true;
}

}  // namespace

// An operation that fails when chosen, unless only partial transfers are
// being tried.
#define FAILING(type, name, parameters, arguments)                              \
    extern "C" type __real_##name parameters;                                   \
    extern "C" type __wrap_##name parameters                                    \
    {                                                                           \
        return misbehaving == FAIL && fails_now(#name) ? -1 : __real_##name arguments;      \
    }

FAILING(off_t, lseek, (int fd, off_t offset, int whence), (fd, offset, whence))
// What a descriptor is open on, for the kind of a failure: the folder the
// new file goes into, a file being read, or the new file ("").
std::string opened_as(int fd)
{
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
        return "-folder";
    return (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY ? "-read" : "";
}

// A flush of the folder only makes a rename last; a flush of the new file
// must succeed before it replaces the old one.
extern "C" int __real_fsync(int fd);
extern "C" int __wrap_fsync(int fd)
{
    const std::string kind = "fsync" + opened_as(fd);
    return misbehaving == FAIL && fails_now(kind.c_str()) ? -1 : __real_fsync(fd);
}
FAILING(int, renameat, (int from_dir, const char* from, int to_dir, const char* to), (from_dir, from, to_dir, to))

// The unnamed new file gets its temporary name here.
extern "C" int __real_linkat(int from_dir, const char* from, int to_dir, const char* to, int flags);
extern "C" int __wrap_linkat(int from_dir, const char* from, int to_dir, const char* to, int flags)
{
    temp_name = to;
    return misbehaving == FAIL && fails_now("linkat") ? -1 : __real_linkat(from_dir, from, to_dir, to, flags);
}

// The mode exists only when a file is created.
extern "C" int __wrap_open(const char* path, int flags, ...)
{
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    const int fd = misbehaving == FAIL && fails_now("open") ? -1 : __real_open(path, flags, mode);
    open_files += fd >= 0;
    return fd;
}

extern "C" int __wrap_openat(int dir, const char* path, int flags, ...)
{
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    const int fd = misbehaving == FAIL && fails_now("openat") ? -1 : __real_openat(dir, path, flags, mode);
    open_files += fd >= 0;
    return fd;
}

// A read or write that, when chosen, fails, moves part of its bytes or is
// interrupted.
#define MOVING(name, buffer_type)                                                  \
    extern "C" ssize_t __real_##name(int fd, buffer_type buffer, size_t size);     \
    extern "C" ssize_t __wrap_##name(int fd, buffer_type buffer, size_t size)      \
    {                                                                              \
        if (!fails_now(#name))                                                     \
            return __real_##name(fd, buffer, size);                                \
        if (misbehaving == PART)                                                   \
            return __real_##name(fd, buffer, size - size / 2);                     \
        errno = misbehaving == INTERRUPT ? EINTR : EIO;                            \
        return -1;                                                                 \
    }

MOVING(read, void*)
MOVING(write, const void*)

// A failing close still closes.
extern "C" int __wrap_close(int fd)
{
    const std::string kind = "close" + opened_as(fd);
    const int result = __real_close(fd);
    open_files -= result == 0;
    return misbehaving == FAIL && fails_now(kind.c_str()) ? -1 : result;
}

TEST(IoFailure, WholeRunReplacingAnOutput)
{
    temp_dir dir;
    test_disk game = {"GAME", 0, 0, std::vector<test_track>(42)};
    game.slots[41] = {{20, 1, 1, 1, bytes(256, 6)}};
    const test_disk data = filled_disk("DATA2");
    write_file(dir.file("GAME.D88"), build_disk(game));
    write_file(dir.file("DATA2.D88"), build_disk(data));
    const bytes old = {'o', 'l', 'd'}, done = build_disk(completed(game, data, data, 41));
    const auto run = [&](long k, mode how) {
        write_file(dir.file("GAME.NEW.D88"), old);
        return run_in(dir, "vorkast", [&](int argc, char** argv) {
            chosen = k;
            misbehaving = how;
            counted = 0;
            chosen_kind.clear();
            open_files = 0;
            const int status = run_vorkast(argc, argv);
            left_open = open_files;
            chosen = 0;
            return status;
        }, {"--overwrite", "-t", "41", "GAME.D88", "DATA2.D88"});
    };
    std::map<std::string, bytes> after = files_below(dir.path);
    run(LONG_MAX, FAIL);
    const long operations = counted;
    ASSERT_GT(operations, 12);
    EXPECT_EQ(left_open, 0);
    EXPECT_TRUE(std::regex_match(temp_name, std::regex("\\.GAME\\.NEW\\.D88\\.[0-9a-f]{6}")));
    const std::regex chain("(open|seek|read) error(\\(SEEK_(END|SET)\\))? '(GAME|DATA2).D88'\nerror: read d88 image '\\4.D88'\n|"
                           "(open|write) error 'GAME.NEW.D88'\nerror: write d88 image 'GAME.NEW.D88'\n");
    std::set<std::string> refused;  // the kinds of failure that ended a run
    for (long k = 1; k <= operations; ++k) {
        for (mode how : {FAIL, PART, INTERRUPT}) {
            const run_result r = run(k, how);
            SCOPED_TRACE(std::to_string(k) + " " + std::to_string(how) + " " + chosen_kind + "\n" + r.out);
            // Harmless: a folder's flush or close, a read file's close, an
            // unnamed new file refused (a named one is made instead).  A
            // failed flush or close of the new file is a write error.
            const bool harmless = how != FAIL || chosen_kind.empty() || chosen_kind == "fsync-folder" ||
                                  chosen_kind == "close-folder" || chosen_kind == "close-read" ||
                                  (chosen_kind == "openat" && r.status == 0);
            EXPECT_EQ(r.status, harmless ? 0 : 1);
            if (r.status != 0)
                refused.insert(chosen_kind);
            EXPECT_TRUE(harmless ? r.out.empty() : std::regex_match(r.out, chain));
            after["GAME.NEW.D88"] = r.status == 0 ? done : old;
            EXPECT_TRUE(files_below(dir.path) == after);  // and no temporary file left
            EXPECT_EQ(left_open, 0);
        }
    }
    for (const char* kind : {"fsync", "close", "write", "renameat", "linkat"})
        EXPECT_EQ(refused.count(kind), 1u) << kind << " of the new file never failed the run";
}
