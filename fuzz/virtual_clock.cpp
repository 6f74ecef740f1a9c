// The fuzz build's clock: the library's poll-delay timer and sleeps run on a virtual millisecond
// counter that a sleep advances, so a poll delay or an RS-485 turnaround the input asks for costs
// no time. Replaces protocol/poll_timer.cpp in the fuzz library; PollTimer itself is the same.
#include "protocol/poll_timer.h"

using namespace mbus;

namespace {
std::uint32_t &virtualNow()
{
    static std::uint32_t now = 0;
    return now;
}
} // namespace

std::uint32_t tickCountMs()
{
    return virtualNow();
}

void sleepMs(std::uint32_t ms)
{
    virtualNow() += ms;
}

PollTimer::PollTimer(std::uint32_t duration, TickSource tickSource, Sleeper sleepFunction)
    : startTick(tickSource()), durationMs(duration), ticks(tickSource), sleeper(sleepFunction)
{
}

void PollTimer::restart(std::uint32_t duration)
{
    durationMs = duration;
    startTick = ticks();
}

void PollTimer::waitUntilExpired()
{
    std::uint32_t elapsed = ticks() - startTick;
    if (elapsed < durationMs)
        sleeper(durationMs - elapsed);
}
