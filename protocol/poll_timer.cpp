#include "protocol/poll_timer.h"

#include <chrono>
#include <thread>

namespace mbus {

std::uint32_t tickCountMs()
{
    auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

void sleepMs(std::uint32_t ms)
{
    if (ms == 0)
        return;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
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
    std::uint32_t elapsed = ticks() - startTick; // unsigned: correct across the wrap
    if (elapsed < durationMs)
        sleeper(durationMs - elapsed);
}

} // namespace mbus
