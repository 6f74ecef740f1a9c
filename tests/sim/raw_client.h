// A plain TCP client for driving the simulated devices byte by byte in tests.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

class RawClient {
public:
    enum class End { Open, Closed, Reset, Error };

    explicit RawClient(int port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(std::uint16_t(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0) {
            const int one = 1;
            ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
    }
    ~RawClient()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool ok() const { return fd_ >= 0; }
    End end() const { return end_; }

    bool send(const Bytes& bytes)
    {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }

    // Up to `count` bytes; fewer when `timeoutMs` of silence pass or the peer ends the stream.
    Bytes receive(std::size_t count, int timeoutMs = 2000)
    {
        Bytes out;
        while (out.size() < count && end_ == End::Open) {
            if (!waitReadable(timeoutMs)) break;
            std::uint8_t buf[1024];
            const std::size_t want = std::min(sizeof buf, count - out.size());
            if (!readOnce(buf, want, out)) break;
        }
        return out;
    }

    // Everything that arrives until `quietMs` pass without a byte.
    Bytes receiveUntilQuiet(int quietMs)
    {
        Bytes out;
        while (end_ == End::Open && waitReadable(quietMs)) {
            std::uint8_t buf[1024];
            if (!readOnce(buf, sizeof buf, out)) break;
        }
        return out;
    }

    // One recv() after the socket became readable, the way a master reads a text answer.
    Bytes receiveOnce(int timeoutMs = 2000)
    {
        Bytes out;
        std::uint8_t buf[1024];
        if (waitReadable(timeoutMs)) readOnce(buf, sizeof buf, out);
        return out;
    }

private:
    bool waitReadable(int timeoutMs)
    {
        pollfd p{fd_, POLLIN, 0};
        for (int i = 0; i < 100; ++i) {
            const int rc = ::poll(&p, 1, timeoutMs);
            if (rc < 0 && errno == EINTR) continue;
            return rc > 0;
        }
        return false;
    }

    bool readOnce(std::uint8_t* buf, std::size_t want, Bytes& out)
    {
        const ssize_t n = ::recv(fd_, buf, want, 0);
        if (n > 0) {
            out.insert(out.end(), buf, buf + n);
            return true;
        }
        if (n == 0) end_ = End::Closed;
        else end_ = errno == ECONNRESET ? End::Reset : End::Error;
        return false;
    }

    int fd_ = -1;
    End end_ = End::Open;
};

// Milliseconds since `start`.
inline long long elapsedMs(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

} // namespace simtest
