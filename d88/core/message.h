// message.h -- the one way out for the library's messages: each line goes
// to the handler a program installed with set_d88_message_handler, or to
// standard output.  Private to the library and the code built beside it.
#ifndef D88_CORE_MESSAGE_H
#define D88_CORE_MESSAGE_H

#if defined(__GNUC__)
#define D88_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define D88_PRINTF_LIKE
#endif

// A formatted message that carries its own newline.
void print_d88_message(const char* format, ...) D88_PRINTF_LIKE;

// A fixed text, as a line of its own.
void print_d88_line(const char* text);

#endif
