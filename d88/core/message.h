// message.h -- the one way out for the library's messages: each line goes
// to the handler a program installed with set_d88_message_handler, or to
// standard output.  Private to the library and the code built beside it.
#ifndef D88_CORE_MESSAGE_H
#define D88_CORE_MESSAGE_H

#include "d88.h"

#if defined(__GNUC__)
#define D88_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define D88_PRINTF_LIKE
#endif

// A formatted message that carries its own newline.
void print_d88_message(const char* format, ...) D88_PRINTF_LIKE;

// A fixed text, as a line of its own.
void print_d88_line(const char* text);

// The lines taken by another handler for a while: install it with
// take_d88_messages, which returns the handler it stands in for, and put
// that one back with give_back_d88_messages, so that a program's own
// handler is never lost.
struct d88_message_route {
    d88_message_handler handler;
    void* context;
};

inline d88_message_route take_d88_messages(d88_message_handler handler, void* context)
{
    d88_message_route found = {nullptr, nullptr};
    found.handler = get_d88_message_handler(&found.context);
    set_d88_message_handler(handler, context);
    return found;
}

inline void give_back_d88_messages(const d88_message_route& found)
{
    set_d88_message_handler(found.handler, found.context);
}

#endif
