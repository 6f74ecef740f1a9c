#include "cli/console.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

sigset_t interruptSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

// Blocked signals stay pending, so an interrupt during a transaction is taken at the next wait
// and no handler or shared flag is needed.
Console::Console()
{
    const sigset_t set = interruptSignals();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

Console::~Console()
{
    const sigset_t set = interruptSignals();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

bool Console::isTerminal(std::FILE *stream) { return isatty(fileno(stream)) == 1; }

bool Console::waitUnlessInterrupted(int ms)
{
    const sigset_t set = interruptSignals();
    const long long deadline = nowMs() + (ms > 0 ? ms : 0);
    for (;;) {
        const long long left = deadline - nowMs();
        const timespec wait{time_t(left > 0 ? left / 1000 : 0), long(left > 0 ? left % 1000 : 0) * 1000000L};
        if (sigtimedwait(&set, nullptr, &wait) > 0)
            return false;
        // EAGAIN: the time is up; EINTR: another signal, so the wait goes on.
        if (errno == EAGAIN || nowMs() >= deadline)
            return true;
    }
}

long long Console::nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

std::string Console::timestamp()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03ldZ", now.tv_nsec / 1000000);
    return text;
}
