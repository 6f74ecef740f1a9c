// The two outputs of the module: diagnostic lines to the process's standard error, and history
// lines to the host. Both are printf-formatted and end in "\r" by their format.
#ifndef ZORVANE_OUTPUT_LINES_H
#define ZORVANE_OUTPUT_LINES_H

#if defined(__GNUC__)
#define ZORVANE_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define ZORVANE_PRINTF(fmt, first)
#endif

void diagnosticLine(const char *format, ...) ZORVANE_PRINTF(1, 2);
void historyLine(const char *format, ...) ZORVANE_PRINTF(1, 2);

#endif
