#include "epoll_reply_loop.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "loopback.h"

namespace {
constexpr std::size_t kMaxFrame = 260;
constexpr std::size_t kHead = 7; // MBAP header with the unit identifier

unsigned readU16(const unsigned char *p)
{
    return static_cast<unsigned>(p[0] << 8 | p[1]);
}

void putU16(unsigned char *p, unsigned value)
{
    p[0] = static_cast<unsigned char>(value >> 8);
    p[1] = static_cast<unsigned char>(value & 0xFF);
}

// Builds the reply to one request frame into `reply`; its size.
std::size_t replyTo(const unsigned char *request, std::size_t size, unsigned char *reply)
{
    for (std::size_t i = 0; i < kHead + 1; ++i)
        reply[i] = request[i];
    const unsigned char function = request[7];
    std::size_t length = 0; // bytes after the function code
    if (function == 0x03 && size >= 12 && readU16(request + 10) >= 1 && readU16(request + 10) <= 125) {
        unsigned count = readU16(request + 10);
        reply[8] = static_cast<unsigned char>(2 * count);
        for (unsigned i = 0; i < count; ++i)
            putU16(reply + 9 + 2 * i, (readU16(request + 8) + i) & 0xFFFF); // register n holds n
        length = 1 + 2 * count;
    } else if ((function == 0x06 || function == 0x10) && size >= 12) {
        for (std::size_t i = 8; i < 12; ++i)
            reply[i] = request[i];
        length = 4;
    } else {
        reply[7] = static_cast<unsigned char>(function | 0x80);
        reply[8] = 1; // illegal function
        length = 1;
    }
    putU16(reply + 4, static_cast<unsigned>(length + 2));
    return 8 + length;
}
} // namespace

// The connections end with the process, which a signal stops.
EpollReplyLoop::~EpollReplyLoop()
{
    if (epollFd >= 0)
        ::close(epollFd);
    if (listenFd >= 0)
        ::close(listenFd);
}

int EpollReplyLoop::listen()
{
    int port = -1;
    listenFd = listenLoopback(4096, &port);
    // Accepted until none is left: the listening socket must not block.
    if (listenFd < 0 || ::fcntl(listenFd, F_SETFL, ::fcntl(listenFd, F_GETFL, 0) | O_NONBLOCK) != 0)
        return -1;
    epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listenFd;
    if (epollFd < 0 || ::epoll_ctl(epollFd, EPOLL_CTL_ADD, listenFd, &event) != 0)
        return -1;
    return port;
}

void EpollReplyLoop::serve()
{
    epoll_event events[256];
    for (;;) {
        int ready = ::epoll_wait(epollFd, events, 256, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        for (int i = 0; i < ready; ++i) {
            int fd = events[i].data.fd;
            if (fd == listenFd)
                acceptAll();
            else if (!answer(fd))
                closeConnection(fd);
        }
    }
}

void EpollReplyLoop::acceptAll()
{
    for (;;) {
        int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return; // EAGAIN: all taken; anything else: try again on the next wake-up
        setNoDelay(fd);
        if (static_cast<std::size_t>(fd) >= connections.size())
            connections.resize(static_cast<std::size_t>(fd) + 1);
        connections[static_cast<std::size_t>(fd)].fill = 0;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        if (::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &event) != 0)
            ::close(fd);
    }
}

bool EpollReplyLoop::answer(int fd)
{
    Connection &c = connections[static_cast<std::size_t>(fd)];
    ssize_t got = ::recv(fd, c.in + c.fill, sizeof c.in - c.fill, 0);
    if (got <= 0)
        return got < 0 && (errno == EAGAIN || errno == EINTR);
    c.fill += static_cast<std::size_t>(got);
    std::size_t used = 0;
    unsigned char reply[kMaxFrame];
    while (c.fill - used >= kHead) {
        const unsigned char *frame = c.in + used;
        std::size_t size = 6 + readU16(frame + 4);
        if (size < kHead + 1 || size > kMaxFrame)
            return false; // not a Modbus/TCP stream
        if (c.fill - used < size)
            break;
        std::size_t replySize = replyTo(frame, size, reply);
        if (::send(fd, reply, replySize, MSG_NOSIGNAL) != static_cast<ssize_t>(replySize))
            return false; // one request at a time never fills the buffer
        used += size;
    }
    for (std::size_t i = used; i < c.fill; ++i)
        c.in[i - used] = c.in[i];
    c.fill -= used;
    return true;
}

void EpollReplyLoop::closeConnection(int fd)
{
    ::epoll_ctl(epollFd, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
}
