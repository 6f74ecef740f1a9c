#include "raw_client.h"

#include <sys/socket.h>
#include <unistd.h>

#include "loopback.h"

RawClient::RawClient(int port) : fd(connectLoopback(port)) {}

RawClient::~RawClient()
{
    if (fd >= 0)
        ::close(fd);
}

bool RawClient::exchange(const unsigned char *request, std::size_t requestSize, std::size_t replySize)
{
    if (replySize > sizeof reply || ::send(fd, request, requestSize, MSG_NOSIGNAL) != static_cast<ssize_t>(requestSize))
        return false;
    std::size_t got = 0;
    while (got < replySize) {
        ssize_t n = ::recv(fd, reply + got, replySize - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}
