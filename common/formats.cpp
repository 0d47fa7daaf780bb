// formats.cpp -- the content decides, the name is a hint.
#include "formats.h"

#include "d88.h"
#include "text.h"

namespace {

// Whether two formats read the same bytes the same way: HDM is the raw
// dump of one geometry.
bool is_same_reading(int32_t a, int32_t b)
{
    const auto raw = [](int32_t f) { return f == D88_FILE_RAW || f == D88_FILE_HDM; };
    return a == b || (raw(a) && raw(b));
}

}  // namespace

int32_t choose_read_format(const uint8_t* bytes, int32_t size, const char* name)
{
    const int32_t content = detect_d88_file_format(bytes, size);
    const int32_t named = find_d88_file_format(name);
    if (content >= 0 && named >= 0 && !is_same_reading(content, named))
        print_text("note: '%s' holds the format %s by its content, not %s as its name says: read as %s\n", name,
                   d88_file_format_name(content), d88_file_format_name(named), d88_file_format_name(content));
    return content >= 0 && !is_same_reading(content, named) ? content : named;
}
