// numbers.h -- numbers on the command lines of vorkast and d88disk, and in
// the page's fields, all read one way.
#ifndef COMMON_NUMBERS_H
#define COMMON_NUMBERS_H

#include <cstdint>

// Reads a number as the command line takes it: decimal, hexadecimal after
// 0x, octal after a leading 0, with optional white space and sign; a value
// past 32 bits reads as all bits set.  False unless the whole text is taken.
bool parse_number(const char* text, uint32_t* value);

// A number read as parse_number reads it; false unless the whole text is a
// number from 0 to max.
bool parse_count(const char* text, uint32_t max, uint32_t* value);

#endif
