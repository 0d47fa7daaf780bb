// platform_posix.cpp -- the programs' system calls on POSIX systems.
#include "platform.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

bool path_exists(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0;
}

bool make_folder(const char* path)
{
    struct stat st;
    return mkdir(path, 0777) == 0 || (errno == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode));
}

const char* file_name_part(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

// Arguments and output are bytes already: nothing to do.
console_session::console_session(int count, char** arguments) : argc(count), argv(arguments), converted(nullptr), saved_code_page(0) {}

console_session::~console_session() = default;
