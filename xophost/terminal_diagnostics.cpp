#include "xophost/terminal_diagnostics.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

// Room for far more diagnostics than one command writes between two drains.
constexpr int kPipeSize = 1 << 20;

void writeAll(int fd, const char *data, ssize_t length)
{
    while (length > 0) {
        const ssize_t written = write(fd, data, static_cast<size_t>(length));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        length -= written;
    }
}

} // namespace

TerminalDiagnostics::~TerminalDiagnostics()
{
    stop();
}

bool TerminalDiagnostics::start()
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    std::fflush(stderr);
    const int terminal = dup(STDERR_FILENO);
    if (terminal < 0 || dup2(fds[1], STDERR_FILENO) < 0) {
        if (terminal >= 0)
            close(terminal);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    close(fds[1]);
    fcntl(fds[0], F_SETPIPE_SZ, kPipeSize);
    // Neither end may block: the host reads only what is there, and a writer that somehow
    // outran every drain loses text rather than hanging the session.
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    fcntl(STDERR_FILENO, F_SETFL, fcntl(STDERR_FILENO, F_GETFL) | O_NONBLOCK);
    terminal_ = terminal;
    pipeRead_ = fds[0];
    return true;
}

void TerminalDiagnostics::drain()
{
    if (pipeRead_ < 0)
        return;
    std::fflush(stderr);
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(pipeRead_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == '\r')
                buffer[i] = '\n';
        }
        writeAll(terminal_, buffer, n);
    }
}

void TerminalDiagnostics::stop()
{
    if (pipeRead_ < 0)
        return;
    drain();
    dup2(terminal_, STDERR_FILENO);
    close(terminal_);
    close(pipeRead_);
    terminal_ = -1;
    pipeRead_ = -1;
}
