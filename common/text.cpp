// text.cpp -- the programs' output, line by line through the library's route.
#include "text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d88.h"
#include "core/message.h"

namespace {

// The beginning of a line whose end has not been printed yet.  A line
// longer than this goes on in pieces.
char pending[4096];
size_t pending_length = 0;

void hand_on_pending()
{
    if (pending_length == 0)
        return;
    pending[pending_length] = '\0';
    print_d88_message("%s", pending);
    pending_length = 0;
}

// Adds length bytes of text: every line it completes goes on.
void add_text(const char* text, size_t length)
{
    while (length > 0) {
        const char* newline = static_cast<const char*>(std::memchr(text, '\n', length));
        const size_t piece = newline != nullptr ? static_cast<size_t>(newline - text) + 1 : length;
        const size_t room = sizeof pending - 1 - pending_length;
        const size_t taken = piece < room ? piece : room;
        std::memcpy(pending + pending_length, text, taken);
        pending_length += taken;
        if (taken < piece || newline != nullptr)
            hand_on_pending();
        text += taken;
        length -= taken;
    }
}

}  // namespace

// Formats on the stack, or on the heap for a long text; when memory runs
// out the text is cut rather than lost.
void print_text(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0)
        return;
    if (static_cast<size_t>(length) < sizeof text) {
        add_text(text, static_cast<size_t>(length));
        return;
    }
    char* long_text = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (long_text == nullptr) {
        add_text(text, sizeof text - 1);
        return;
    }
    va_start(args, format);
    std::vsnprintf(long_text, static_cast<size_t>(length) + 1, format, args);
    va_end(args);
    add_text(long_text, static_cast<size_t>(length));
    std::free(long_text);
}

void print_text_line(const char* text)
{
    print_text("%s\n", text);
}

void finish_text()
{
    hand_on_pending();
}

void format_finding_place(const d88_finding& f, char* out, size_t size)
{
    int n = 0;
    const auto add = [&](const char* format, int a, int b = 0, int c = 0) {
        if (n >= 0 && static_cast<size_t>(n) < size)
            n += std::snprintf(out + n, size - static_cast<size_t>(n), format, a, b, c);
    };
    out[0] = '\0';
    if (f.disk >= 0)
        add("disk %d", f.disk);
    if (f.slot >= 0)
        add(", slot %d", f.slot);
    if (f.index >= 0)
        add(", sector %d", f.index);
    if (f.c >= 0)
        add(" (%02X/%02X/%02X)", f.c, f.h, f.r);
    if (f.offset >= 0)
        add(n > 0 ? " at 0x%08X" : "at 0x%08X", f.offset);
}
