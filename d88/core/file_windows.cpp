// file_windows.cpp -- loading and storing whole files on Windows.
//
// Paths arrive as UTF-8 and go to the wide calls as UTF-16, so names in any
// script work.  A file is replaced by writing a hidden temporary file in its
// folder, flushing it and moving it over the old one: at every moment the
// path holds either the old file or the complete new one.  A run killed
// while writing leaves at most the temporary file (".NAME.XXXXXX" beside
// NAME).  The new file takes the folder's default permissions; the old one's
// ACL and hard links are not carried over.
#include "d88.h"
#include "file.h"
#include "message.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <windows.h>

namespace {

// Why the last store failed: the code of the call that failed, or 0.
DWORD store_error = 0;

// Notes GetLastError as the reason of a failed store; the result given
// back.
bool note_store_error(bool done)
{
    if (!done && store_error == 0)
        store_error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    return done;
}

constexpr int TEMP_TRIES_MAX = 100;
constexpr size_t TEMP_SUFFIX = 8;  // the dot before the name and ".XXXXXX"
constexpr size_t NAME_MAX_UNITS = 255;
constexpr size_t PATH_MAX_UNITS = MAX_PATH - 1;
constexpr DWORD CHUNK = 1u << 30;

// The wide path, or null after printing "memory exhaust!" or, for a path
// that names no file, "open error".
wchar_t* wide_path(const char* path)
{
    bool no_memory = false;
    wchar_t* wide = path[0] != '\0' ? widen_d88_path(path, &no_memory) : nullptr;
    if (no_memory)
        print_d88_line("memory exhaust!");
    else if (wide == nullptr)
        print_d88_message("open error '%s'\n", path);
    return wide;
}

// Moves exactly size bytes with move(done, want, &moved), a read or a write
// of up to `want` bytes from `done` on, in pieces a DWORD can count; false
// at an error, or when a file ends first.
template <class Move>
bool move_all(size_t size, Move move)
{
    size_t done = 0;
    while (done < size) {
        DWORD moved = 0;
        const DWORD want = size - done < CHUNK ? static_cast<DWORD>(size - done) : CHUNK;
        if (!move(done, want, &moved) || moved == 0)
            return false;
        done += moved;
    }
    return true;
}

bool read_all(HANDLE file, uint8_t* buffer, size_t size)
{
    return move_all(size, [&](size_t done, DWORD want, DWORD* moved) {
        return ReadFile(file, buffer + done, want, moved, nullptr) != 0;
    });
}

bool write_all(HANDLE file, const uint8_t* buffer, size_t size)
{
    return move_all(size, [&](size_t done, DWORD want, DWORD* moved) {
        return WriteFile(file, buffer + done, want, moved, nullptr) != 0;
    });
}

// Reads the open file whole into a new buffer; null after printing why.
uint8_t* read_whole_file(HANDLE file, const char* path, int32_t* size_out)
{
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file, &length)) {
        print_d88_message("seek error(SEEK_END) '%s'\n", path);
        return nullptr;
    }
    if (length.QuadPart > INT32_MAX) {
        print_d88_message("file too large '%s'\n", path);
        return nullptr;
    }
    const size_t size = static_cast<size_t>(length.QuadPart);
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (buffer == nullptr) {
        print_d88_line("memory exhaust!");
        return nullptr;
    }
    if (size == 0 || !read_all(file, buffer, size)) {
        print_d88_message("read error '%s'\n", path);
        std::free(buffer);
        return nullptr;
    }
    *size_out = static_cast<int32_t>(size);
    return buffer;
}

// The length of the folder part of path: up to its last separator, or past
// its drive.
size_t folder_length(const wchar_t* path)
{
    size_t folder = path[0] != L'\0' && path[1] == L':' ? 2 : 0;
    for (size_t i = folder; path[i] != L'\0'; ++i) {
        if (path[i] == L'/' || path[i] == L'\\')
            folder = i + 1;
    }
    return folder;
}

// Creates a new hidden file beside target, ".NAME.XXXXXX" for its NAME, cut
// so that it fits wherever NAME fits.  Returns its handle and its name in
// *temp_out, or INVALID_HANDLE_VALUE after printing why.
HANDLE create_temp_file(const wchar_t* target, wchar_t** temp_out, const char* path)
{
    const size_t folder = folder_length(target);
    const size_t name = wcslen(target + folder);
    size_t kept = std::min(name, NAME_MAX_UNITS - TEMP_SUFFIX);
    if (folder + TEMP_SUFFIX < PATH_MAX_UNITS)
        kept = std::min(kept, PATH_MAX_UNITS - folder - TEMP_SUFFIX);
    wchar_t* temp = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * (folder + kept + TEMP_SUFFIX + 1)));
    if (temp == nullptr) {
        print_d88_line("memory exhaust!");
        return INVALID_HANDLE_VALUE;
    }
    std::memcpy(temp, target, sizeof(wchar_t) * folder);
    temp[folder] = L'.';
    std::memcpy(temp + folder + 1, target + folder, sizeof(wchar_t) * kept);
    wchar_t* suffix = temp + folder + 1 + kept;
    uint64_t seed = static_cast<uint64_t>(GetCurrentProcessId()) * 0x9E3779B97F4A7C15u ^ GetTickCount64();
    for (int attempt = 0; attempt < TEMP_TRIES_MAX; ++attempt) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        suffix[0] = L'.';
        for (size_t i = 1; i < TEMP_SUFFIX - 1; ++i)
            suffix[i] = L"0123456789abcdef"[(seed >> (36 + 4 * i)) & 15];
        suffix[TEMP_SUFFIX - 1] = L'\0';
        const HANDLE file = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            *temp_out = temp;
            return file;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    note_store_error(false);
    print_d88_message("open error '%s'\n", path);
    std::free(temp);
    return INVALID_HANDLE_VALUE;
}

// Writes the temporary file, flushes it, makes it an ordinary file and
// moves it over target.
int32_t store_by_move(const wchar_t* target, const uint8_t* buffer, int32_t size, const char* path)
{
    wchar_t* temp = nullptr;
    const HANDLE file = create_temp_file(target, &temp, path);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    bool stored = note_store_error(write_all(file, buffer, static_cast<size_t>(size))) && note_store_error(FlushFileBuffers(file));
    stored = note_store_error(CloseHandle(file)) && stored;
    stored = stored && note_store_error(SetFileAttributesW(temp, FILE_ATTRIBUTE_NORMAL)) &&
             note_store_error(MoveFileExW(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    if (!stored) {
        DeleteFileW(temp);
        print_d88_message("write error '%s'\n", path);
    }
    std::free(temp);
    return stored ? 0 : -1;
}

}  // namespace

uint8_t* load_d88_file(const char* path, int32_t* size_out)
{
    wchar_t* wide = wide_path(path);
    if (wide == nullptr)
        return nullptr;
    const HANDLE file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD attributes = GetFileAttributesW(wide);
    std::free(wide);
    if (file == INVALID_HANDLE_VALUE) {
        const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        print_d88_message(folder ? "read error '%s'\n" : "open error '%s'\n", path);
        return nullptr;
    }
    uint8_t* buffer = read_whole_file(file, path, size_out);
    CloseHandle(file);
    return buffer;
}

// A read-only file, or a folder, is not replaced: "open error", as opening
// it for writing would say.
int32_t store_d88_file(const char* path, const uint8_t* buffer, int32_t size)
{
    store_error = 0;
    wchar_t* target = wide_path(path);
    if (target == nullptr) {
        store_error = path[0] == '\0' ? ERROR_FILE_NOT_FOUND : 0;
        return -1;
    }
    const DWORD attributes = GetFileAttributesW(target);
    int32_t result = -1;
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        store_error = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ERROR_DIRECTORY : ERROR_ACCESS_DENIED;
        print_d88_message("open error '%s'\n", path);
    }
    else
        result = store_by_move(target, buffer, size, path);
    std::free(target);
    return result;
}

int read_d88_store_error()
{
    return static_cast<int>(store_error);
}

// Nothing to prepare: Windows maps the pages as they are filled.
void prepare_large_buffer(void*, size_t) {}

wchar_t* widen_d88_path(const char* path, bool* no_memory)
{
    *no_memory = false;
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (length <= 0)
        return nullptr;
    wchar_t* wide = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * static_cast<size_t>(length)));
    *no_memory = wide == nullptr;
    if (wide != nullptr)
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, length);
    return wide;
}

bool read_d88_clock(int fields[6])
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    const int read[6] = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    std::memcpy(fields, read, sizeof read);
    return true;
}
