// The millisecond clock and the sleep of the library: the system's by default; tests and
// simulations put a virtual one in their place.
#ifndef MBUS_PROTOCOL_CLOCK_H
#define MBUS_PROTOCOL_CLOCK_H

#include <cstdint>

namespace mbus {

// Millisecond tick count of a monotonic clock, truncated to 32 bits. Elapsed times are always
// differences modulo 2^32, so the wrap of the counter is harmless.
std::uint32_t tickCountMs();

// Suspends the calling thread for ms milliseconds; returns at once for 0.
void sleepMs(std::uint32_t ms);

struct Clock {
    std::uint32_t (*ticks)() = tickCountMs;
    void (*sleep)(std::uint32_t) = sleepMs;
};

} // namespace mbus

#endif
