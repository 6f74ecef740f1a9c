// The fuzz build's clock: the library's poll-delay timer and sleeps run on a virtual millisecond
// counter that a sleep advances, so a poll delay or an RS-485 turnaround the input asks for costs
// no time. Linked in place of the system clock (protocol/system_clock.cpp).
#include "protocol/clock.h"

namespace mbus {

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

} // namespace mbus
