// report.cpp -- findings said as lines, alike ones folded.
#include "report.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text.h"

namespace {

// Findings of an image at consecutive slots of one disk, or at consecutive
// sectors of one slot.
bool follows_in_disk(const d88_finding& a, const d88_finding& b)
{
    return a.kind_id == b.kind_id && a.disk == b.disk && a.slot >= 0 &&
           (b.slot == a.slot + 1 || (b.slot == a.slot && a.index >= 0 && b.index == a.index + 1));
}

// Whether finding b lies past every place that could follow on from a's:
// findings come in the order of their places.
bool lies_beyond(const d88_finding& a, const d88_finding& b)
{
    return b.disk != a.disk || b.slot > a.slot + 1;
}

}  // namespace

// Whether two messages say the same but for their numbers (IDs, offsets,
// counts): runs holding a digit are skipped alike in both.
bool same_cause(const char* a, const char* b)
{
    const auto number_end = [](const char* p) {
        const char* q = p;
        bool digit = false;
        for (; std::isxdigit(static_cast<unsigned char>(*q)) || *q == 'x' || *q == '/'; ++q)
            digit = digit || std::isdigit(static_cast<unsigned char>(*q));
        return digit ? q : p;
    };
    while (*a != '\0' && *b != '\0') {
        const char *a_end = number_end(a), *b_end = number_end(b);
        if ((a_end == a) != (b_end == b))
            return false;
        if (a_end == a && *a != *b)
            return false;
        a = a_end != a ? a_end : a + 1;
        b = b_end != b ? b_end : b + 1;
    }
    return *a == *b;
}

namespace {

// Puts the findings that fold together next to each other, the others in
// their order; leaves them as they are when memory runs out.
void group_alike(d88_finding* items, int32_t count)
{
    if (count < 2)
        return;
    bool* placed = static_cast<bool*>(std::calloc(static_cast<size_t>(count) + 1, sizeof(bool)));
    d88_finding* grouped = static_cast<d88_finding*>(std::malloc(sizeof(d88_finding) * (static_cast<size_t>(count) + 1)));
    int32_t n = 0;
    for (int32_t i = 0; placed != nullptr && grouped != nullptr && i < count; ++i) {
        if (placed[i])
            continue;
        grouped[n++] = items[i];
        for (int32_t j = i + 1, last = i; j < count && !lies_beyond(items[last], items[j]); ++j) {
            const bool joins = !placed[j] && items[j].severity == items[i].severity &&
                               same_cause(items[j].message, items[i].message) && follows_in_disk(items[last], items[j]);
            if (joins) {
                grouped[n++] = items[j];
                placed[j] = true;
                last = j;
            }
        }
    }
    if (placed != nullptr && grouped != nullptr)
        std::memcpy(items, grouped, sizeof(d88_finding) * static_cast<size_t>(count));
    std::free(placed);
    std::free(grouped);
}

}  // namespace

// The end of a line: how many more it stands for.
void print_alike(int32_t alike)
{
    if (alike > 1)
        print_text(" (and %d more like it)", static_cast<int>(alike - 1));
    print_text("\n");
}

// The findings of an image from `first` on as one line of text: the first
// alone, or those that fold with it; how many were printed.
int32_t print_finding_line(const d88_finding* items, int32_t first, int32_t count, const char* prefix)
{
    const d88_finding& f = items[first];
    const int32_t alike = count_alike(items, first, count, follows_in_disk);
    const d88_finding& last = items[first + alike - 1];
    char place[96];
    if (alike == 1)
        format_finding_place(f, place, sizeof place);
    else if (last.slot != f.slot)
        std::snprintf(place, sizeof place, "disk %d, slots %d-%d", static_cast<int>(f.disk), static_cast<int>(f.slot),
                      static_cast<int>(last.slot));
    else
        std::snprintf(place, sizeof place, "disk %d, slot %d, sectors %d-%d", static_cast<int>(f.disk),
                      static_cast<int>(f.slot), static_cast<int>(f.index), static_cast<int>(last.index));
    if (prefix != nullptr)
        print_text("%s: ", prefix);
    print_text("%s%s%s %s: %s", place, place[0] != '\0' ? ": " : "", d88_severity_name(f.severity),
               d88_finding_kind_name(f.kind_id), f.message);
    print_alike(alike);
    return alike;
}


void print_finding_lines(d88_finding* items, int32_t count, const char* prefix)
{
    group_alike(items, count);
    for (int32_t i = 0; i < count;)
        i += print_finding_line(items, i, count, prefix);
}
