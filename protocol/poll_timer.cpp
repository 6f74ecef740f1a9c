#include "protocol/poll_timer.h"

namespace mbus {

PollTimer::PollTimer(std::uint32_t duration, TickSource tickSource, Sleeper sleepFunction)
    : startTick(tickSource()), durationMs(duration), ticks(tickSource), sleeper(sleepFunction)
{}

void PollTimer::restart(std::uint32_t duration)
{
    durationMs = duration;
    startTick = ticks();
}

void PollTimer::waitUntilExpired()
{
    std::uint32_t elapsed = ticks() - startTick; // unsigned: correct across the wrap
    if (elapsed < durationMs)
        sleeper(durationMs - elapsed);
}

} // namespace mbus
