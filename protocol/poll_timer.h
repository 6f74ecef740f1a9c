// Millisecond deadline timer of the poll delay.
#ifndef MBUS_PROTOCOL_POLL_TIMER_H
#define MBUS_PROTOCOL_POLL_TIMER_H

#include <cstdint>

#include "protocol/clock.h"

namespace mbus {

class PollTimer {
public:
    // The clock is injectable so that tests can wind it to the wrap.
    using TickSource = std::uint32_t (*)();
    using Sleeper = void (*)(std::uint32_t);

    explicit PollTimer(std::uint32_t durationMs = 0, TickSource ticks = tickCountMs, Sleeper sleeper = sleepMs);

    void restart(std::uint32_t durationMs);
    // Sleeps once for whatever is left of the running interval.
    void waitUntilExpired();

    std::uint32_t getStartTick() const { return startTick; }
    std::uint32_t getDuration() const { return durationMs; }

private:
    std::uint32_t startTick;
    std::uint32_t durationMs;
    TickSource ticks;
    Sleeper sleeper;
};

} // namespace mbus

#endif
