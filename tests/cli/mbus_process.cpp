#include "tests/cli/mbus_process.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace {
constexpr int kLimitMs = 30000;

long long nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}
} // namespace

MbusRun runMbus(const std::vector<std::string> &arguments, bool terminal)
{
    MbusRun run;
    int outPipe[2], errPipe[2];
    if ((terminal ? openpty(&outPipe[0], &outPipe[1], nullptr, nullptr, nullptr) : pipe(outPipe)) != 0 ||
        pipe(errPipe) != 0)
        return run;
    std::vector<char *> argv{const_cast<char *>(MBUS_PROGRAM)};
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, MBUS_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&run.out, &run.err};
    const long long deadline = nowMs() + kLimitMs;
    bool killed = false;
    while (spawned == 0 && (fds[0].fd >= 0 || fds[1].fd >= 0)) {
        const long long left = deadline - nowMs();
        if (left <= 0) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        if (poll(fds, 2, int(left)) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, std::size_t(got));
            } else if (got == 0 || errno != EINTR) { // a terminal's end reads as EIO
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    for (const pollfd &fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    int status = 0;
    if (spawned == 0 && waitpid(pid, &status, 0) == pid && !killed && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    return run;
}
