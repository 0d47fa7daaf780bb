// text.h -- what vorkast and d88disk print: put together piece by piece where
// a line is built in parts, and handed on line by line through the one
// message route of the library (set_d88_message_handler), so that a program
// that embeds a run receives its whole output, in order, with the library's
// own lines.  Standard output is the default.
#ifndef COMMON_TEXT_H
#define COMMON_TEXT_H

#include <cstddef>

#if defined(__GNUC__)
#define TEXT_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define TEXT_PRINTF_LIKE
// A finding's place as the reports write it: "disk 0, slot 5, sector 2
// (05/01/03) at 0x000012F0", as much of it as applies; empty for none.
struct d88_finding;
void format_finding_place(const d88_finding& finding, char* out, size_t size);

#endif

// Formatted text; each complete line goes on at once, a line's beginning
// waits for its end.
void print_text(const char* format, ...) TEXT_PRINTF_LIKE;

// A fixed text as a line of its own.
void print_text_line(const char* text);

// Hands on a line's beginning that has no end yet (a question waiting for
// its answer, or the end of a run).
void finish_text();

// A finding's place as the reports write it: "disk 0, slot 5, sector 2
// (05/01/03) at 0x000012F0", as much of it as applies; empty for none.
struct d88_finding;
void format_finding_place(const d88_finding& finding, char* out, size_t size);

#endif
