#include "pty_peer.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

std::string hexOf(const Bytes &bytes)
{
    std::string text;
    char pair[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X ", b);
        text += pair;
    }
    return text;
}

PtyPair::PtyPair()
{
    char name[128] = {};
    if (::openpty(&controller, &terminal, name, nullptr, nullptr) != 0) {
        controller = terminal = -1;
        return;
    }
    path = name;
    // Raw on the terminal side from the start, so that nothing is echoed or translated before
    // the master configures the line.
    struct termios tio {};
    ::tcgetattr(terminal, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(terminal, TCSANOW, &tio);
    ::fcntl(controller, F_SETFL, ::fcntl(controller, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    closeController();
    if (terminal >= 0)
        ::close(terminal);
}

void PtyPair::closeController()
{
    if (controller >= 0)
        ::close(controller);
    controller = -1;
}

ScriptedPeer::~ScriptedPeer()
{
    chatterStop = true;
    if (worker.joinable())
        worker.join();
}

ScriptedPeer &ScriptedPeer::expect(const Bytes &bytes)
{
    steps.push_back({Step::Expect, bytes, 0, 0});
    return *this;
}

ScriptedPeer &ScriptedPeer::send(const Bytes &bytes)
{
    steps.push_back({Step::Send, bytes, 0, 0});
    return *this;
}

ScriptedPeer &ScriptedPeer::pause(int ms)
{
    steps.push_back({Step::Pause, {}, ms, 0});
    return *this;
}

ScriptedPeer &ScriptedPeer::chatter(int intervalMs, int maxBytes)
{
    steps.push_back({Step::Chatter, {}, intervalMs, maxBytes});
    return *this;
}

ScriptedPeer &ScriptedPeer::expectSilence(int ms)
{
    steps.push_back({Step::Silence, {}, ms, 0});
    return *this;
}

void ScriptedPeer::start()
{
    worker = std::thread([this] { run(); });
}

std::vector<std::string> ScriptedPeer::finish()
{
    if (worker.joinable())
        worker.join();
    std::lock_guard<std::mutex> guard(lock);
    return failures;
}

std::vector<ScriptedPeer::Clock::time_point> ScriptedPeer::expectTimes()
{
    std::lock_guard<std::mutex> guard(lock);
    return times;
}

void ScriptedPeer::fail(const std::string &text)
{
    std::lock_guard<std::mutex> guard(lock);
    failures.push_back(text);
}

bool ScriptedPeer::readExactly(Bytes &out, std::size_t count, int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        struct pollfd entry {};
        entry.fd = fd;
        entry.events = POLLIN;
        int n = ::poll(&entry, 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            continue;
        std::uint8_t buf[512];
        std::size_t want = count - out.size();
        ssize_t got = ::read(fd, buf, want < sizeof buf ? want : sizeof buf);
        if (got > 0)
            out.insert(out.end(), buf, buf + got);
        else if (got < 0 && errno != EAGAIN && errno != EINTR)
            return false;
    }
    return true;
}

void ScriptedPeer::writeAll(const Bytes &bytes)
{
    std::size_t done = 0;
    auto deadline = Clock::now() + std::chrono::seconds(2);
    while (done < bytes.size() && Clock::now() < deadline) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            fail("write failed");
            return;
        }
        struct pollfd entry {};
        entry.fd = fd;
        entry.events = POLLOUT;
        ::poll(&entry, 1, 10);
    }
    if (done < bytes.size())
        fail("could not write " + hexOf(bytes));
}

void ScriptedPeer::run()
{
    for (const Step &step : steps) {
        switch (step.kind) {
        case Step::Expect: {
            Bytes got;
            bool complete = readExactly(got, step.bytes.size(), 2000);
            if (!complete || got != step.bytes) {
                fail("expected " + hexOf(step.bytes) + "got " + hexOf(got));
                return;
            }
            std::lock_guard<std::mutex> guard(lock);
            times.push_back(Clock::now());
            break;
        }
        case Step::Send:
            writeAll(step.bytes);
            break;
        case Step::Pause:
            std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
            break;
        case Step::Chatter:
            for (int i = 0; i < step.count && !chatterStop; ++i) {
                std::uint8_t junk = 0x5A;
                if (::write(fd, &junk, 1) == 1)
                    ++chattered;
                std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
            }
            break;
        case Step::Silence: {
            Bytes got;
            readExactly(got, 1, step.ms);
            if (!got.empty())
                fail("expected silence, got " + hexOf(got));
            break;
        }
        }
    }
}
