#include "tests/hardening/raw_peer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {
constexpr int kLifetimeMs = 120000; // the thread ends by itself even if nobody stops it

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void sendAll(int fd, const std::uint8_t *data, std::size_t count)
{
    std::size_t sent = 0;
    while (sent < count) {
        ssize_t n = ::send(fd, data + sent, count - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}
} // namespace

RawPeer::~RawPeer()
{
    stop();
}

int RawPeer::start()
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return -1;
    }
    thread_ = std::thread([this] { run(); });
    return ntohs(address.sin_port);
}

void RawPeer::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    for (Link &link : links_)
        closeLink(link, false);
    links_.clear();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    listenFd_ = -1;
}

void RawPeer::closeLink(Link &link, bool reset)
{
    if (link.fd < 0)
        return;
    if (reset) {
        linger abortive{1, 0}; // close with RST
        ::setsockopt(link.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    ::close(link.fd);
    link.fd = -1;
}

void RawPeer::run()
{
    const long long endMs = nowMs() + kLifetimeMs;
    while (!stopping_ && nowMs() < endMs) {
        std::vector<pollfd> fds;
        fds.push_back({listenFd_, POLLIN, 0});
        for (const Link &link : links_)
            fds.push_back({link.fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 5);
        if (fds[0].revents & POLLIN) {
            int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                links_.push_back({fd, 0});
                ++connections_;
            }
        }
        for (std::size_t i = 1; i < fds.size() && i - 1 < links_.size(); ++i) {
            if (fds[i].revents != 0)
                serve(links_[i - 1]);
        }
        const long long now = nowMs();
        for (Link &link : links_) {
            if (link.resetAtMs != 0 && now >= link.resetAtMs)
                closeLink(link, true);
        }
        std::vector<Link> open;
        for (const Link &link : links_) {
            if (link.fd >= 0)
                open.push_back(link);
        }
        links_.swap(open);
    }
}

void RawPeer::serve(Link &link)
{
    std::uint8_t buffer[1024];
    ssize_t got = ::recv(link.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        closeLink(link, false);
        return;
    }
    if (got < 0)
        return;
    ++requests_;
    std::vector<std::uint8_t> reply = builder_(std::vector<std::uint8_t>(buffer, buffer + got));
    const std::size_t half = reply.size() / 2;
    switch (ending_.load()) {
    case Ending::Whole:
        sendAll(link.fd, reply.data(), reply.size());
        break;
    case Ending::HalfThenClose:
        sendAll(link.fd, reply.data(), half);
        closeLink(link, false);
        break;
    case Ending::HalfThenReset:
        sendAll(link.fd, reply.data(), half);
        closeLink(link, true);
        break;
    case Ending::HalfThenSilence:
        sendAll(link.fd, reply.data(), half);
        break;
    case Ending::CloseAtOnce:
        closeLink(link, false);
        break;
    case Ending::ResetAtOnce:
        closeLink(link, true);
        break;
    case Ending::WholeThenResetLater:
        sendAll(link.fd, reply.data(), reply.size());
        link.resetAtMs = nowMs() + resetDelayMs_;
        break;
    }
}
