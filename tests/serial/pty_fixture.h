// A serial master of one family opened on a pseudo terminal, with a scripted device behind it.
#ifndef MBUS_TESTS_SERIAL_PTY_FIXTURE_H
#define MBUS_TESTS_SERIAL_PTY_FIXTURE_H

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "mbus.h"
#include "pty_peer.h"

template <class Master>
class MasterOnPty : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;

    PtyPair pty;
    ScriptedPeer peer{pty.controllerFd()};
    Master master;

    void SetUp() override { ASSERT_TRUE(pty.ok()); }

    // Settings go in before the port opens; replies that should come are given a generous
    // limit, so only the time-out cases wait for long.
    void open(int baudRate = 9600, int timeoutMs = 1000, int retries = 0, int pollDelayMs = 0, int dataBits = 8,
              int parity = MBUS_PARITY_NONE)
    {
        ASSERT_EQ(master.setTimeout(timeoutMs), MBUS_SUCCESS);
        ASSERT_EQ(master.setRetryCnt(retries), MBUS_SUCCESS);
        ASSERT_EQ(master.setPollDelay(pollDelayMs), MBUS_SUCCESS);
        ASSERT_EQ(master.openSerialPort(pty.devicePath().c_str(), baudRate, dataBits, 1, parity), MBUS_SUCCESS);
    }

    void expectScriptDone()
    {
        std::string text;
        for (const std::string &failure : peer.finish())
            text += failure + "\n";
        EXPECT_TRUE(text.empty()) << text;
    }
};

#endif
