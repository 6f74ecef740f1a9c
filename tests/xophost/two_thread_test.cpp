// The module in the stand-in host, in this process, with commands on the host's preemptive thread
// running while the main thread runs others: on two connections, and on one connection from both
// threads. Built and run under ThreadSanitizer by scripts/tsan, where a data race, a callback the
// module makes off the main thread that is not thread-safe, or frames interleaved on one
// connection fail it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "extension/xop_main.h"
#include "sim/tcp_device.h"
#include "xophost/stand_in_host.h"

namespace {

constexpr int kRounds = 40;

std::string contents(std::FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

std::size_t count(const std::string &text, const std::string &part)
{
    std::size_t found = 0;
    for (std::size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1))
        ++found;
    return found;
}

TEST(TwoThreadTest, CommandsOnBothThreadsAtOnceKeepTheirConnectionsApart)
{
    sim::TcpDevice device;
    const int port = device.start(0);
    ASSERT_GT(port, 0);
    device.setHoldingRegister(1, 1234);
    device.setHoldingRegister(2, 4321);
    std::FILE *history = std::tmpfile();
    std::FILE *errors = std::tmpfile();
    ASSERT_NE(history, nullptr);
    ASSERT_NE(errors, nullptr);
    {
        StandInHost host(800, history, errors);
        std::string error;
        ASSERT_TRUE(host.startModule(XOPMain, XOPGetResource, error)) << error;
        // Two names, two connections to the one device.
        for (const char *name : {"127.0.0.1", "127.1"}) {
            ASSERT_EQ(host.runLine(std::string("MBOpen IP=\"") + name + "\", port=" + std::to_string(port) +
                                   ", timeout=5000, delay=0"),
                      StandInHost::Outcome::Done);
        }
        for (int i = 0; i < kRounds; ++i) {
            ASSERT_EQ(host.runLine("&MBRead IP=\"127.1\", HoldingRegister=1"), StandInHost::Outcome::Done);
            ASSERT_EQ(host.runLine("MBRead IP=\"127.0.0.1\", HoldingRegister=2"), StandInHost::Outcome::Done);
            // The same connection from both threads.
            ASSERT_EQ(host.runLine("&MBWrite /Q IP=\"127.0.0.1\", Register={3, " + std::to_string(i) + "}"),
                      StandInHost::Outcome::Done);
            ASSERT_EQ(host.runLine("MBGetStatus /Q IP=\"127.0.0.1\""), StandInHost::Outcome::Done);
        }
        EXPECT_EQ(host.waitForThread(), StandInHost::Outcome::Done);
        ASSERT_EQ(host.runLine("MBRead IP=\"127.0.0.1\", HoldingRegister=3"), StandInHost::Outcome::Done);
        double value = 0;
        ASSERT_TRUE(host.variable("V_MBHoldingRegister", value));
        EXPECT_EQ(value, kRounds - 1);
    }
    const std::string out = contents(history);
    EXPECT_EQ(count(out, "=> MODBUS/TCP device returned 1234 from holding register #1\n"),
              static_cast<std::size_t>(kRounds));
    EXPECT_EQ(count(out, "=> MODBUS/TCP device returned 4321 from holding register #2\n"),
              static_cast<std::size_t>(kRounds));
    EXPECT_EQ(contents(errors), "");
    std::fclose(history);
    std::fclose(errors);
    device.stop();
}

} // namespace
