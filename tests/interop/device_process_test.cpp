// The harness that runs the peer devices: a peer that cannot start or does not say where it
// serves is reported as a problem (and so fails the interop tests), and its process is reaped.
#include "tests/interop/device_process.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>

TEST(DeviceProcess, ReadsWhereTheDeviceServes)
{
    DeviceProcess tcp;
    ASSERT_EQ("", tcp.start({"/bin/sh", "-c", "echo port 1502; exec sleep 30"}, 5000));
    EXPECT_EQ(1502, tcp.port());
    const pid_t pid = tcp.pid();
    ASSERT_GT(pid, 0);
    tcp.stop();
    // Reaped by stop: no child of ours is left under that id.
    EXPECT_EQ(-1, ::waitpid(pid, nullptr, WNOHANG));
    EXPECT_EQ(ECHILD, errno);
    EXPECT_EQ(0, tcp.port());

    DeviceProcess pty;
    ASSERT_EQ("", pty.start({"/bin/sh", "-c", "printf 'pty /dev/pts/7\\n'; exec sleep 30"}, 5000));
    EXPECT_EQ("/dev/pts/7", pty.ptyPath());
}

TEST(DeviceProcess, MissingOrSilentPeersAreProblems)
{
    DeviceProcess device;
    EXPECT_NE("", device.start({"/nonexistent/peer"}, 5000));
    // What a missing Python module looks like: the interpreter exits before announcing.
    EXPECT_NE("", device.start({"/bin/sh", "-c", "exit 1"}, 5000));
    EXPECT_NE("", device.start({"/bin/sh", "-c", "echo port 70000; exec sleep 30"}, 5000));
    EXPECT_NE("", device.start({"/bin/sh", "-c", "echo listening; exec sleep 30"}, 5000));
    EXPECT_NE("", device.start({"/bin/sh", "-c", "exec sleep 30"}, 200));
    EXPECT_EQ(-1, device.pid());
}
