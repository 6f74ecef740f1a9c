#include "tests/interop/device_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char **environ;

namespace {

long long millisecondsLeft(std::chrono::steady_clock::time_point deadline)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
        .count();
}

} // namespace

std::string DeviceProcess::start(const std::vector<std::string> &argv, int announceMs)
{
    stop();
    if (argv.empty())
        return "no program given";
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::string("pipe: ") + std::strerror(errno);

    // The child's standard output is the pipe; its standard error stays the test's, so that a
    // peer's complaints show up in the test log.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return "cannot run " + argv[0] + ": " + std::strerror(rc);
    }
    childPid = pid;
    outputFd = pipeFds[0];
    std::string problem = readAnnouncement(announceMs);
    if (!problem.empty()) {
        stop();
        return argv[0] + ": " + problem;
    }
    return {};
}

std::string DeviceProcess::readAnnouncement(int announceMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(announceMs);
    std::string line;
    while (line.find('\n') == std::string::npos) {
        long long left = millisecondsLeft(deadline);
        if (left <= 0)
            return "no announcement within " + std::to_string(announceMs) + " ms";
        pollfd fd{outputFd, POLLIN, 0};
        int ready = ::poll(&fd, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            return std::string("poll: ") + std::strerror(errno);
        if (ready <= 0)
            continue;
        char buf[256];
        ssize_t got = ::read(outputFd, buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return "exited before announcing where it serves (is its package installed?)";
        line.append(buf, static_cast<std::size_t>(got));
    }
    line.erase(line.find('\n'));
    if (line.rfind("port ", 0) == 0) {
        char *end = nullptr;
        long port = std::strtol(line.c_str() + 5, &end, 10);
        if (*end != '\0' || port <= 0 || port > 65535)
            return "bad announcement: " + line;
        tcpPort = static_cast<int>(port);
        return {};
    }
    if (line.rfind("pty /dev/", 0) == 0) {
        linePath = line.substr(4);
        return {};
    }
    return "bad announcement: " + line;
}

void DeviceProcess::stop()
{
    if (childPid > 0) {
        ::kill(childPid, SIGTERM);
        // Bounded: a device that ignores SIGTERM for two seconds is killed outright.
        bool reaped = false;
        for (int i = 0; i < 400 && !reaped; ++i) {
            pid_t done = ::waitpid(childPid, nullptr, WNOHANG);
            reaped = done == childPid || (done < 0 && errno != EINTR);
            if (!reaped)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!reaped) {
            ::kill(childPid, SIGKILL);
            while (::waitpid(childPid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        childPid = -1;
    }
    if (outputFd >= 0) {
        ::close(outputFd);
        outputFd = -1;
    }
    tcpPort = 0;
    linePath.clear();
}
