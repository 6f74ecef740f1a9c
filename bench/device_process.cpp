#include "device_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {
// mbbench-device sits beside the running mbbench.
std::string devicePath()
{
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "mbbench-device";
    std::string path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + "mbbench-device";
}

// The first line the device writes: its port. Waits at most five seconds.
int readPort(int fd)
{
    std::string line;
    pollfd entry{fd, POLLIN, 0};
    while (line.find('\n') == std::string::npos) {
        int ready = ::poll(&entry, 1, 5000);
        if (ready < 0 && errno == EINTR)
            continue;
        char buffer[32];
        ssize_t n = ready > 0 ? ::read(fd, buffer, sizeof buffer) : -1;
        if (n <= 0)
            return -1;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    return std::atoi(line.c_str());
}
} // namespace

DeviceProcess::DeviceProcess(const char *kind, int lifetimeSeconds)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::string path = devicePath();
    std::string seconds = std::to_string(lifetimeSeconds);
    char *argv[] = {const_cast<char *>(path.c_str()), const_cast<char *>(kind), const_cast<char *>(seconds.c_str()),
                    nullptr};
    if (posix_spawn(&devicePid, path.c_str(), &actions, nullptr, argv, environ) != 0)
        devicePid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (devicePid > 0) {
        devicePort = readPort(pipeFds[0]);
        if (devicePort <= 0)
            stop();
    }
    ::close(pipeFds[0]);
}

DeviceProcess::~DeviceProcess()
{
    stop();
}

void DeviceProcess::stop()
{
    if (devicePid <= 0)
        return;
    ::kill(devicePid, SIGTERM);
    while (::waitpid(devicePid, nullptr, 0) < 0 && errno == EINTR) {
    }
    devicePid = -1;
    devicePort = -1;
}
