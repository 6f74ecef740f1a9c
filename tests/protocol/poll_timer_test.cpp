#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "protocol/poll_timer.h"

using namespace mbus;

namespace {
std::uint32_t fakeNow = 0;
std::vector<std::uint32_t> sleeps;

std::uint32_t fakeTicks()
{
    return fakeNow;
}

void fakeSleep(std::uint32_t ms)
{
    sleeps.push_back(ms);
    fakeNow += ms;
}

class PollTimerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakeNow = 0;
        sleeps.clear();
    }
};
} // namespace

TEST_F(PollTimerTest, ZeroDurationNeverSleeps)
{
    PollTimer timer(0, fakeTicks, fakeSleep);
    timer.waitUntilExpired();
    timer.restart(0);
    timer.waitUntilExpired();
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(PollTimerTest, SleepsOnceForTheRemainder)
{
    PollTimer timer(0, fakeTicks, fakeSleep);
    timer.restart(200);
    fakeNow += 50;
    timer.waitUntilExpired();
    ASSERT_EQ(1u, sleeps.size());
    EXPECT_EQ(150u, sleeps[0]);
    timer.waitUntilExpired(); // already expired
    EXPECT_EQ(1u, sleeps.size());
}

TEST_F(PollTimerTest, ExpiredIntervalReturnsAtOnce)
{
    PollTimer timer(0, fakeTicks, fakeSleep);
    timer.restart(200);
    fakeNow += 200;
    timer.waitUntilExpired();
    fakeNow += 5000;
    timer.waitUntilExpired();
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(PollTimerTest, TickWrapBetweenRestartAndWait)
{
    fakeNow = 0xFFFFFFF0u; // 16 ms before the counter wraps
    PollTimer timer(0, fakeTicks, fakeSleep);
    timer.restart(100);
    fakeNow += 40; // wraps to 24
    EXPECT_EQ(24u, fakeNow);
    timer.waitUntilExpired();
    ASSERT_EQ(1u, sleeps.size());
    EXPECT_EQ(60u, sleeps[0]);
}

TEST(PollTimerRealClock, SleepLastsAtLeastItsDuration)
{
    auto start = std::chrono::steady_clock::now();
    sleepMs(20);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 20);
    std::uint32_t before = tickCountMs();
    sleepMs(0);
    EXPECT_LT(tickCountMs() - before, 1000u);
}
