// losses.cpp -- what a format cannot carry, handed on as findings.
#include "losses.h"

#include <cstdarg>
#include <cstdio>

void report_loss(loss_report* report, d88_finding_kind kind, int32_t slot, int32_t index, const d88_sector* sector,
                 const char* format, ...)
{
    char message[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    const int32_t severity = d88_finding_kind_severity(kind);
    report->losses += severity == D88_FINDING_ERROR;
    const d88_finding finding = {severity, d88_finding_kind_name(kind), 0, slot, index,
                                 sector != nullptr ? sector->c : -1, sector != nullptr ? sector->h : -1,
                                 sector != nullptr ? sector->r : -1, -1, message, kind};
    if (report->handler != nullptr)
        report->handler(&finding, report->context);
}
