#include "extension/output_lines.h"

#include <cstdarg>
#include <cstdio>

#include "host/host_services.h"

void diagnosticLine(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fflush(stderr);
}

void historyLine(const char *format, ...)
{
    // Host names are at most 254 characters; the longest line adds about 130.
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    printHistoryLine(text);
}
