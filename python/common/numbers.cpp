// numbers.cpp -- reading numbers as strtoul does, without its locale.
#include "numbers.h"

#include <cctype>

namespace {

int digit_value(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'z')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'Z')
        return ch - 'A' + 10;
    return 99;
}

}  // namespace

// Reads an unsigned 32-bit number as strtoul does: a minus sign negates
// modulo 2^32, and an empty text reads as 0.
bool parse_number(const char* text, uint32_t* value)
{
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit_value(p[2]) < 16) {
        base = 16;
        p += 2;
    } else if (p[0] == '0') {
        base = 8;
    }
    const char* digits = p;
    uint64_t v = 0;
    bool overflow = false;
    for (; digit_value(*p) < base; ++p) {
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit_value(*p));
        if (v > UINT32_MAX) {
            overflow = true;
            v = UINT32_MAX;
        }
    }
    if (p == digits) {
        *value = 0;
        return *text == '\0';
    }
    *value = overflow ? UINT32_MAX : negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(v))
                                               : static_cast<uint32_t>(v);
    return *p == '\0';
}

bool parse_count(const char* text, uint32_t max, uint32_t* value)
{
    uint32_t number = 0;
    if (!parse_number(text, &number) || number > max)
        return false;
    *value = number;
    return true;
}
