#include "socat_process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "loopback.h"

extern char **environ;

namespace {
// A port the system hands out now; socat binds it a moment later (reuseaddr).
int freePort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}
} // namespace

SocatProcess::SocatProcess(const char *listen, const std::string &options, int devicePort)
{
    const int port = freePort();
    if (port <= 0)
        return;
    std::string from = std::string(listen) + ":" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr,fork,nodelay" +
                       (options.empty() ? "" : "," + options);
    std::string to = "TCP:127.0.0.1:" + std::to_string(devicePort) + ",nodelay";
    char *argv[] = {const_cast<char *>("socat"), const_cast<char *>(from.c_str()), const_cast<char *>(to.c_str()),
                    nullptr};
    // socat complains on standard error about every connection that ends before its handshake,
    // the readiness probe below among them.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&socatPid, "socat", &actions, nullptr, argv, environ) != 0)
        socatPid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (socatPid <= 0)
        return;
    // Listening once a plain connection is accepted; that probe costs socat one short-lived child.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        int fd = connectLoopback(port);
        if (fd >= 0) {
            ::close(fd);
            listenPort = port;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop();
}

SocatProcess::~SocatProcess()
{
    stop();
}

void SocatProcess::stop()
{
    if (socatPid <= 0)
        return;
    ::kill(socatPid, SIGTERM);
    while (::waitpid(socatPid, nullptr, 0) < 0 && errno == EINTR) {
    }
    socatPid = -1;
    listenPort = -1;
}

bool SocatProcess::installed(const char *program)
{
    const char *path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (::access((dir + "/" + program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}
