// The system's clock: a monotonic millisecond count and the thread sleep. Kept apart from the
// rest of the core so that a build for simulation can link a virtual clock in its place.
#include "protocol/clock.h"

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

} // namespace mbus
