// What a watch needs of the terminal and the process: whether output goes to a terminal, waits
// that an interrupt (Ctrl-C, SIGTERM) ends early, and time stamps.
#pragma once

#include <cstdio>
#include <string>

class Console {
public:
    // From here on an interrupt no longer ends the process; the waits below report it instead.
    Console();
    ~Console();
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    static bool isTerminal(std::FILE *stream);
    // Waits up to `ms` milliseconds; false as soon as an interrupt arrives (or arrived before).
    bool waitUnlessInterrupted(int ms);
    // Monotonic milliseconds, for spacing the polls.
    static long long nowMs();
    // The current time in UTC, "2026-01-31T12:34:56.789Z".
    static std::string timestamp();
};
