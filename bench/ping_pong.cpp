#include "ping_pong.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {
bool transfer(int fd, unsigned char *buffer, std::size_t count, bool sending)
{
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = sending ? ::send(fd, buffer + done, count - done, MSG_NOSIGNAL)
                            : ::recv(fd, buffer + done, count - done, 0);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void noDelay(int fd)
{
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}
} // namespace

PingPong::PingPong(std::size_t request, std::size_t reply) : requestSize(request), replySize(reply)
{
    int listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listenFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(listenFd, 1) != 0 ||
        ::getsockname(listenFd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(listenFd);
        return;
    }
    server = std::thread(&PingPong::serve, this, listenFd);
    clientFd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(clientFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(clientFd);
        clientFd = -1;
        return;
    }
    noDelay(clientFd);
}

PingPong::~PingPong()
{
    if (clientFd >= 0)
        ::close(clientFd); // the server sees the end of the stream and stops
    if (server.joinable())
        server.join();
}

void PingPong::serve(int listenFd)
{
    int fd = ::accept(listenFd, nullptr, nullptr);
    ::close(listenFd);
    if (fd < 0)
        return;
    noDelay(fd);
    std::vector<unsigned char> request(requestSize), reply(replySize, 0x5A);
    while (transfer(fd, request.data(), requestSize, false) && transfer(fd, reply.data(), replySize, true)) {
    }
    ::close(fd);
}

bool PingPong::roundTrip()
{
    unsigned char buffer[512] = {};
    return transfer(clientFd, buffer, requestSize, true) && transfer(clientFd, buffer, replySize, false);
}
