// message.cpp -- every line the library reports, handed to the
// program's handler or written to standard output.
#include "d88.h"
#include "message.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

d88_message_handler installed_handler = nullptr;
void* installed_context = nullptr;

void deliver(const char* line)
{
    if (installed_handler != nullptr)
        installed_handler(line, installed_context);
    else
        std::fputs(line, stdout);
}

}  // namespace

void set_d88_message_handler(d88_message_handler handler, void* context)
{
    installed_handler = handler;
    installed_context = handler != nullptr ? context : nullptr;
}

d88_message_handler get_d88_message_handler(void** context_out)
{
    if (context_out != nullptr)
        *context_out = installed_context;
    return installed_handler;
}

// Formats into a buffer on the stack, or on the heap for a long line (a
// long path); when memory runs out the line is cut rather than lost.
void print_d88_message(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    char* long_line = length >= static_cast<int>(sizeof line)
                          ? static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1))
                          : nullptr;
    if (long_line != nullptr) {
        va_start(args, format);
        std::vsnprintf(long_line, static_cast<size_t>(length) + 1, format, args);
        va_end(args);
    }
    if (length >= static_cast<int>(sizeof line) && long_line == nullptr)
        line[sizeof line - 2] = '\n';  // cut, but still a line
    if (length >= 0)
        deliver(long_line != nullptr ? long_line : line);
    std::free(long_line);
}

void print_d88_line(const char* text)
{
    print_d88_message("%s\n", text);
}
