// A peer device running as a child process of the test: started with its arguments, asked where
// it can be reached (its first line of output), and stopped again by its own process id.
#ifndef MBUS_TESTS_INTEROP_DEVICE_PROCESS_H
#define MBUS_TESTS_INTEROP_DEVICE_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

class DeviceProcess {
public:
    DeviceProcess() = default;
    DeviceProcess(const DeviceProcess &) = delete;
    DeviceProcess &operator=(const DeviceProcess &) = delete;
    ~DeviceProcess() { stop(); }

    // Runs argv[0] with the arguments and waits up to announceMs for its first line: "port N" or
    // "pty PATH". Returns an empty text on success, else what went wrong (the child is stopped).
    std::string start(const std::vector<std::string> &argv, int announceMs);

    // Ends the child (SIGTERM, then SIGKILL if it lingers) and reaps it; nothing if none runs.
    void stop();

    int port() const { return tcpPort; }
    const std::string &ptyPath() const { return linePath; }
    pid_t pid() const { return childPid; }

private:
    std::string readAnnouncement(int announceMs);

    pid_t childPid = -1;
    int outputFd = -1;
    int tcpPort = 0;
    std::string linePath;
};

#endif
