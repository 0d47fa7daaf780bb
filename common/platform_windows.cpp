// platform_windows.cpp -- the programs' system calls on Windows.  Paths
// arrive as UTF-8 and go to the wide calls as UTF-16.
#include "platform.h"

#include "core/file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <windows.h>
#include <shellapi.h>

namespace {

// path as a new UTF-16 string, or null when it is no valid UTF-8 or memory
// runs out: the library's conversion.
wchar_t* widen(const char* path)
{
    bool no_memory = false;
    return widen_d88_path(path, &no_memory);
}

// text as a new UTF-8 string, or null when memory runs out.
char* narrow(const wchar_t* text)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    char* utf8 = length > 0 ? static_cast<char*>(std::malloc(static_cast<size_t>(length))) : nullptr;
    if (utf8 != nullptr)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, length, nullptr, nullptr);
    return utf8;
}

DWORD attributes_of(const char* path)
{
    wchar_t* wide = widen(path);
    const DWORD attributes = wide != nullptr ? GetFileAttributesW(wide) : INVALID_FILE_ATTRIBUTES;
    std::free(wide);
    return attributes;
}

// The identity of the file at path, links followed; false when it cannot
// be opened.
bool identify_file(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    wchar_t* wide = widen(path);
    const HANDLE file = wide != nullptr ? CreateFileW(wide, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                                        : INVALID_HANDLE_VALUE;
    std::free(wide);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool known = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return known;
}

void free_arguments(int count, char** arguments)
{
    for (int i = 0; arguments != nullptr && i < count; ++i)
        std::free(arguments[i]);
    std::free(arguments);
}

}  // namespace

bool path_exists(const char* path)
{
    return attributes_of(path) != INVALID_FILE_ATTRIBUTES;
}

bool is_same_file(const char* a, const char* b)
{
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return identify_file(a, &ia) && identify_file(b, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

const char* describe_unreadable_file(const char* path)
{
    const DWORD attributes = attributes_of(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? "no such file"
               : error == ERROR_ACCESS_DENIED                                 ? "permission denied"
                                                                               : "the file cannot be read";
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return "a folder, not a file";
    BY_HANDLE_FILE_INFORMATION info;
    if (identify_file(path, &info) && info.nFileSizeHigh == 0 && info.nFileSizeLow == 0)
        return "the file is empty";
    return "the file cannot be read whole";
}

bool is_folder(const char* path)
{
    const DWORD attributes = attributes_of(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

const char* describe_store_error(int code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "no such folder";
    case ERROR_DIRECTORY:
        return "a folder, not a file";
    case ERROR_WRITE_PROTECT:
        return "read-only file system";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "no space left";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return "permission denied";
    default:
        return "the system refused it";
    }
}

bool make_folder(const char* path, const char** reason)
{
    wchar_t* wide = widen(path);
    const bool made = wide != nullptr && CreateDirectoryW(wide, nullptr) != 0;
    const DWORD error = wide != nullptr ? GetLastError() : ERROR_PATH_NOT_FOUND;
    std::free(wide);
    if (made || is_folder(path))
        return true;
    *reason = error == ERROR_ALREADY_EXISTS ? "a file, not a folder" : describe_store_error(static_cast<int>(error));
    return false;
}

const char* file_name_part(const char* path)
{
    const char* name = path[0] != '\0' && path[1] == ':' ? path + 2 : path;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    return name;
}

bool get_file_time(const char* path, int fields[6])
{
    wchar_t* wide = widen(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    SYSTEMTIME time;
    const bool known = wide != nullptr && GetFileAttributesExW(wide, GetFileExInfoStandard, &data) &&
                       FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &time);
    std::free(wide);
    if (!known)
        return false;
    const int values[6] = {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
    std::memcpy(fields, values, sizeof values);
    return true;
}

bool set_file_time(const char* path, const int fields[6])
{
    SYSTEMTIME time = {};
    time.wYear = static_cast<WORD>(fields[0]);
    time.wMonth = static_cast<WORD>(fields[1]);
    time.wDay = static_cast<WORD>(fields[2]);
    time.wHour = static_cast<WORD>(fields[3]);
    time.wMinute = static_cast<WORD>(fields[4]);
    time.wSecond = static_cast<WORD>(fields[5]);
    FILETIME local, utc;
    wchar_t* wide = widen(path);
    const HANDLE file = wide != nullptr ? CreateFileW(wide, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                      nullptr, OPEN_EXISTING, 0, nullptr)
                                        : INVALID_HANDLE_VALUE;
    std::free(wide);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool set = SystemTimeToFileTime(&time, &local) && LocalFileTimeToFileTime(&local, &utc) &&
                     SetFileTime(file, nullptr, &utc, &utc);
    CloseHandle(file);
    return set;
}

int cp932_char_to_utf8(const unsigned char* bytes, int count, char out[4])
{
    wchar_t wide[2];
    const int units = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes), count, wide, 2);
    return units > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, units, out, 4, nullptr, nullptr) : 0;
}

int utf8_to_cp932(const char* text, char* out, int size)
{
    wchar_t* wide = widen(text);
    BOOL lost = FALSE;
    const int units = wide != nullptr ? static_cast<int>(wcslen(wide)) : 0;
    const int length = units > 0 ? WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide, units, nullptr, 0, nullptr, &lost) : 0;
    const bool fits = wide != nullptr && !lost && length <= size;
    if (fits && units > 0)
        WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide, units, out, size, nullptr, nullptr);
    std::free(wide);
    return fits ? length : -1;
}

// Takes the arguments from the wide command line, so that names outside
// the ANSI code page arrive whole, and sets the console to UTF-8.  When
// memory runs out the arguments stay as the C library gave them.
console_session::console_session(int count, char** arguments)
    : argc(count), argv(arguments), converted(nullptr), saved_code_page(GetConsoleOutputCP())
{
    SetConsoleOutputCP(CP_UTF8);
    int wide_count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wide_count);
    char** utf8 = wide != nullptr ? static_cast<char**>(std::calloc(static_cast<size_t>(wide_count) + 1, sizeof(char*))) : nullptr;
    bool complete = utf8 != nullptr;
    for (int i = 0; complete && i < wide_count; ++i)
        complete = (utf8[i] = narrow(wide[i])) != nullptr;
    LocalFree(wide);
    if (!complete) {
        free_arguments(wide_count, utf8);
        return;
    }
    argc = wide_count;
    argv = converted = utf8;
}

console_session::~console_session()
{
    std::fflush(stdout);
    if (saved_code_page != 0)
        SetConsoleOutputCP(saved_code_page);
    free_arguments(argc, converted);
}
