// report.h -- what check and convert share in saying findings: a list
// that keeps them until the lines before them are printed, and the folding
// of findings of one kind and cause at consecutive places into one line.
#ifndef D88DISK_REPORT_H
#define D88DISK_REPORT_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "d88.h"

// Findings kept until the lines that stand before them are printed; each
// message is a copy.  Once memory runs out, failed is set and the rest is
// not kept.
template <class Finding>
struct kept_findings {
    Finding* items;
    int32_t count, room;
    bool failed;
};

template <class Finding>
void keep_finding(const Finding* f, void* context)
{
    kept_findings<Finding>* list = static_cast<kept_findings<Finding>*>(context);
    if (list->failed)
        return;
    if (list->count == list->room) {
        const int32_t room = list->room > 0 ? 2 * list->room : 16;
        Finding* items = static_cast<Finding*>(std::malloc(static_cast<size_t>(room) * sizeof(Finding)));
        if (items == nullptr) {
            list->failed = true;
            return;
        }
        if (list->count > 0)
            std::memcpy(items, list->items, static_cast<size_t>(list->count) * sizeof(Finding));
        std::free(list->items);
        list->items = items;
        list->room = room;
    }
    const size_t length = std::strlen(f->message) + 1;
    char* message = static_cast<char*>(std::malloc(length));
    if (message == nullptr) {
        list->failed = true;
        return;
    }
    std::memcpy(message, f->message, length);
    list->items[list->count] = *f;
    list->items[list->count++].message = message;
}

template <class Finding>
void release_findings(kept_findings<Finding>* list)
{
    for (int32_t i = 0; i < list->count; ++i)
        std::free(const_cast<char*>(list->items[i].message));
    std::free(list->items);
    *list = {};
}

// Whether two messages say the same but for their numbers (IDs, offsets,
// counts).
bool same_cause(const char* a, const char* b);

// Fewer findings alike than this keep a line each.
constexpr int32_t FOLDED_MIN = 3;

// How many findings from `first` on fold into its line: those of its
// kind, severity and cause whose places follow on from each other, as
// follows(previous, next) says.
template <class Finding, class Follows>
int32_t count_alike(const Finding* items, int32_t first, int32_t count, Follows follows)
{
    int32_t last = first;
    while (last + 1 < count && items[last + 1].severity == items[first].severity &&
           same_cause(items[last + 1].message, items[first].message) && follows(items[last], items[last + 1]))
        ++last;
    return last - first + 1 >= FOLDED_MIN ? last - first + 1 : 1;
}

// The end of a line: how many more it stands for.
void print_alike(int32_t alike);

// The findings of an image from `first` on as one line of text, after
// "PREFIX: " unless prefix is null: the first alone, or those at
// consecutive slots (or sectors of one slot) that fold with it; how many
// were printed.
int32_t print_finding_line(const d88_finding* items, int32_t first, int32_t count, const char* prefix);

// All the findings of an image as lines of text, after "PREFIX: " unless
// prefix is null: alike ones at consecutive places folded into one line,
// also where findings of another kind stand between them (a track's status
// and its duplicate ID, slot after slot): each folded line stands where
// its first finding stood.  The items are put in that order.
void print_finding_lines(d88_finding* items, int32_t count, const char* prefix);

#endif
