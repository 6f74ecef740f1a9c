#include "cli/console.h"

#include <atomic>
#include <cstdio>
#include <io.h>
#include <windows.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

// The console calls its handlers on a thread of its own and passes them no context, so the event
// they set has to be reachable from here. One Console lives at a time.
std::atomic<HANDLE> interruptEvent{nullptr};

// Ctrl+C and Ctrl+Break end the wait; closing the window or logging off keep the default (the
// process ends), because Windows ends it after the handlers return anyway.
BOOL WINAPI onControl(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    // Without an event nothing would end the wait: the default handler ends the process then.
    HANDLE event = interruptEvent.load();
    return event && SetEvent(event);
}

// The console's output mode before the watch, put back after it; null if output is no console.
HANDLE consoleOutput = nullptr;
DWORD outputModeBefore = 0;

} // namespace

// The event is manual-reset: an interrupt during a transaction stays set, so the next wait ends at
// once, as with a pending signal on POSIX.
Console::Console()
{
    interruptEvent.store(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SetConsoleCtrlHandler(onControl, TRUE);
    // The live table redraws with escape sequences, which a console shows only when asked to.
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output && output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &outputModeBefore)) {
        consoleOutput = output;
        SetConsoleMode(output, outputModeBefore | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

Console::~Console()
{
    SetConsoleCtrlHandler(onControl, FALSE);
    if (HANDLE event = interruptEvent.exchange(nullptr))
        CloseHandle(event);
    if (consoleOutput)
        SetConsoleMode(consoleOutput, outputModeBefore);
    consoleOutput = nullptr;
}

// A console answers GetConsoleMode; _isatty would also call the NUL device a terminal.
bool Console::isTerminal(std::FILE *stream)
{
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    DWORD mode = 0;
    return handle != -1 && GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode);
}

bool Console::waitUnlessInterrupted(int ms)
{
    HANDLE event = interruptEvent.load();
    const DWORD wait = DWORD(ms > 0 ? ms : 0);
    const DWORD outcome = event ? WaitForSingleObject(event, wait) : WAIT_FAILED;
    if (outcome == WAIT_OBJECT_0)
        return false;
    // Without a usable event the wait still spaces the polls rather than spinning.
    if (outcome == WAIT_FAILED)
        Sleep(wait);
    return true;
}

long long Console::nowMs()
{
    return (long long)GetTickCount64();
}

std::string Console::timestamp()
{
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", unsigned(utc.wYear), unsigned(utc.wMonth),
                  unsigned(utc.wDay), unsigned(utc.wHour), unsigned(utc.wMinute), unsigned(utc.wSecond),
                  unsigned(utc.wMilliseconds));
    return text;
}
