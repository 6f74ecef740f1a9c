// A pseudo-terminal pair and a scripted device on its controlling side: the master under test
// opens the terminal device by path, the script expects request bytes, answers, pauses, chatters.
#ifndef MBUS_TESTS_SERIAL_PTY_PEER_H
#define MBUS_TESTS_SERIAL_PTY_PEER_H

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_frames.h"

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return controller >= 0 && terminal >= 0; }
    // Path of the terminal side, for openSerialPort.
    const std::string &devicePath() const { return path; }
    // The controlling side, where the scripted device reads and writes.
    int controllerFd() const { return controller; }
    // A descriptor of the terminal side held by the test, so that the controlling side sees no
    // hang-up when the master closes; also used to inspect the line settings.
    int terminalFd() const { return terminal; }
    void closeController();

private:
    int controller = -1;
    int terminal = -1;
    std::string path;
};

class ScriptedPeer {
public:
    using Clock = std::chrono::steady_clock;

    explicit ScriptedPeer(int controllerFd) : fd(controllerFd) {}
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer &) = delete;
    ScriptedPeer &operator=(const ScriptedPeer &) = delete;

    // Reads exactly these bytes (2 s at most); a mismatch or a shortfall is recorded as failure.
    ScriptedPeer &expect(const Bytes &bytes);
    // Writes the bytes in one go.
    ScriptedPeer &send(const Bytes &bytes);
    ScriptedPeer &pause(int ms);
    // Writes one junk byte every intervalMs until stopChatter() or maxBytes were written.
    ScriptedPeer &chatter(int intervalMs, int maxBytes);
    // Records a failure if anything arrives within ms.
    ScriptedPeer &expectSilence(int ms);

    void start();
    void stopChatter() { chatterStop = true; }
    // Waits for the script to end; returns the failures, empty when all went as expected.
    std::vector<std::string> finish();
    // When each expect step completed, in order.
    std::vector<Clock::time_point> expectTimes();
    int chatterBytes() const { return chattered; }

private:
    struct Step {
        enum Kind { Expect, Send, Pause, Chatter, Silence } kind;
        Bytes bytes;
        int ms;
        int count;
    };
    void run();
    void fail(const std::string &text);
    bool readExactly(Bytes &out, std::size_t count, int timeoutMs);
    void writeAll(const Bytes &bytes);

    int fd;
    std::vector<Step> steps;
    std::thread worker;
    std::mutex lock;
    std::vector<std::string> failures;
    std::vector<Clock::time_point> times;
    std::atomic<bool> chatterStop{false};
    std::atomic<int> chattered{0};
};

std::string hexOf(const Bytes &bytes);

#endif
