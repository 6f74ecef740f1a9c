// POSIX sockets. Waits use poll(), which, unlike select(), has no limit on descriptor numbers;
// a reply is awaited inside a blocking recv bounded by the socket's receive time-out
// (SO_RCVTIMEO), which saves the poll before it. Sends and the drain pass MSG_DONTWAIT, so they
// never block whatever the socket's mode.
#include "ip/socket_layer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace mbus {
namespace net {

namespace {
using Clock = std::chrono::steady_clock;

int fd(Socket socket)
{
    return static_cast<int>(socket);
}

int familyOf(Endpoint::Family family)
{
    return family == Endpoint::Family::Ipv6 ? AF_INET6 : AF_INET;
}

// The system's form of an endpoint, and its length.
socklen_t toSockaddr(const Endpoint &endpoint, sockaddr_storage *storage)
{
    *storage = sockaddr_storage{};
    if (endpoint.family == Endpoint::Family::Ipv6) {
        auto *address = reinterpret_cast<sockaddr_in6 *>(storage);
        address->sin6_family = AF_INET6;
        address->sin6_port = htons(endpoint.port);
        std::memcpy(&address->sin6_addr, endpoint.address, sizeof address->sin6_addr);
        address->sin6_scope_id = endpoint.scopeId;
        return sizeof *address;
    }
    auto *address = reinterpret_cast<sockaddr_in *>(storage);
    address->sin_family = AF_INET;
    address->sin_port = htons(endpoint.port);
    std::memcpy(&address->sin_addr, endpoint.address, sizeof address->sin_addr);
    return sizeof *address;
}

// False for a family other than IPv4 and IPv6.
bool fromSockaddr(const sockaddr *source, Endpoint *endpoint)
{
    *endpoint = Endpoint{};
    if (source->sa_family == AF_INET6) {
        const auto *address = reinterpret_cast<const sockaddr_in6 *>(source);
        endpoint->family = Endpoint::Family::Ipv6;
        std::memcpy(endpoint->address, &address->sin6_addr, sizeof address->sin6_addr);
        endpoint->scopeId = address->sin6_scope_id;
        return true;
    }
    if (source->sa_family == AF_INET) {
        std::memcpy(endpoint->address, &reinterpret_cast<const sockaddr_in *>(source)->sin_addr, 4);
        return true;
    }
    return false;
}

// What is left until deadline, rounded up, and 0 once it has passed.
template <class Unit>
long long leftUntil(Clock::time_point deadline)
{
    const long long left = std::chrono::ceil<Unit>(deadline - Clock::now()).count();
    return left > 0 ? left : 0;
}

WaitResult waitFor(Socket socket, short events, int timeoutMs)
{
    pollfd entry{fd(socket), events, 0};
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    int limit = timeoutMs < 0 ? -1 : timeoutMs;
    for (;;) {
        int ready = ::poll(&entry, 1, limit);
        if (ready > 0)
            return WaitResult::Ready; // error and hang-up states count as ready: the next call reports them
        if (ready == 0)
            return WaitResult::TimedOut;
        if (errno != EINTR)
            return WaitResult::Failed;
        // Signals must not stretch the wait: it goes on with what is left (a zero-time poll
        // is never interrupted).
        if (timeoutMs >= 0)
            limit = static_cast<int>(leftUntil<std::chrono::milliseconds>(deadline));
    }
}

bool setReceiveLimit(Socket socket, long long microseconds)
{
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(microseconds / 1000000);
    limit.tv_usec = static_cast<suseconds_t>(microseconds % 1000000);
    return ::setsockopt(fd(socket), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

// A blocking recv bounded by the armed receive time-out. The kernel counts that limit in its
// clock ticks and may end it up to one tick early; a signal ends it at once. Both are rare,
// and then the wait goes on for exactly what is left, after which the armed limit is restored.
ssize_t receiveWaiting(Socket socket, void *buffer, std::size_t capacity, int flags, int timeoutMs)
{
    ssize_t got;
    if (timeoutMs <= 0) { // a zero receive time-out would mean no limit at all
        do {
            got = ::recv(fd(socket), buffer, capacity, flags | MSG_DONTWAIT);
        } while (got < 0 && errno == EINTR);
        return got;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool shortened = false;
    for (;;) {
        got = ::recv(fd(socket), buffer, capacity, flags);
        if (got >= 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
            break;
        const long long left = leftUntil<std::chrono::microseconds>(deadline);
        if (left == 0) {
            errno = EAGAIN;
            break;
        }
        if (!setReceiveLimit(socket, left))
            break;
        shortened = true;
    }
    if (shortened) {
        const int error = errno;
        setReceiveLimit(socket, 1000LL * timeoutMs);
        errno = error;
    }
    return got;
}

long transferResult(ssize_t count)
{
    if (count >= 0)
        return static_cast<long>(count);
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : kFailed;
}

// A datagram longer than capacity, whose real size MSG_TRUNC reported, is a failure.
long datagramResult(ssize_t got, std::size_t capacity)
{
    if (got > static_cast<ssize_t>(capacity)) {
        errno = EMSGSIZE;
        return kFailed;
    }
    return transferResult(got);
}

void setIntOption(Socket socket, int level, int option, int value)
{
    ::setsockopt(fd(socket), level, option, &value, sizeof value);
}
} // namespace

void startup() {}
void cleanup() {}

std::uint32_t parseDottedAddress(const char *text)
{
    return ::inet_addr(text);
}

bool parseIpv6Address(const char *text, Endpoint *address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST; // never a name lookup
    addrinfo *found = nullptr;
    if (::getaddrinfo(text, nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    bool parsed = fromSockaddr(found->ai_addr, address);
    ::freeaddrinfo(found);
    return parsed;
}

int lookupHost(const char *name, Endpoint found[kFamilyCount])
{
    // No AI_ADDRCONFIG: it hides IPv6 addresses on hosts whose only IPv6 address is ::1.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &list) != 0)
        return 0;
    int count = 0;
    for (const addrinfo *entry = list; entry != nullptr && count < kFamilyCount; entry = entry->ai_next) {
        Endpoint candidate;
        if (!fromSockaddr(entry->ai_addr, &candidate) || (count > 0 && candidate.family == found[0].family))
            continue;
        found[count++] = candidate;
    }
    ::freeaddrinfo(list);
    return count;
}

Socket openStream(Endpoint::Family family)
{
    int s = ::socket(familyOf(family), SOCK_STREAM | SOCK_CLOEXEC, 0);
    return s < 0 ? kInvalidSocket : s;
}

Socket openDatagram(Endpoint::Family family)
{
    int s = ::socket(familyOf(family), SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return s < 0 ? kInvalidSocket : s;
}

void closeSocket(Socket socket)
{
    if (socket != kInvalidSocket)
        ::close(fd(socket)); // not retried on EINTR: the descriptor is released either way on Linux
}

bool setNonBlocking(Socket socket)
{
    int flags = ::fcntl(fd(socket), F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

ConnectResult startConnect(Socket socket, const Endpoint &peer)
{
    sockaddr_storage address;
    const socklen_t length = toSockaddr(peer, &address);
    for (;;) {
        if (::connect(fd(socket), reinterpret_cast<const sockaddr *>(&address), length) == 0)
            return ConnectResult::Connected;
        if (errno == EINPROGRESS || errno == EWOULDBLOCK)
            return ConnectResult::InProgress;
        if (errno == EINTR)
            return ConnectResult::InProgress; // the connect goes on in the background
        return ConnectResult::Failed;
    }
}

int pendingError(Socket socket)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

void setStreamOptions(Socket socket, int bufferSize)
{
    setIntOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    setIntOption(socket, SOL_SOCKET, SO_SNDBUF, bufferSize);
    setIntOption(socket, SOL_SOCKET, SO_RCVBUF, bufferSize);
    setIntOption(socket, SOL_SOCKET, SO_KEEPALIVE, 1);
}

void setDatagramOptions(Socket socket, int bufferSize)
{
    setIntOption(socket, SOL_SOCKET, SO_SNDBUF, bufferSize);
    setIntOption(socket, SOL_SOCKET, SO_RCVBUF, bufferSize);
}

WaitResult waitReadable(Socket socket, int timeoutMs)
{
    return waitFor(socket, POLLIN, timeoutMs);
}

WaitResult waitWritable(Socket socket, int timeoutMs)
{
    return waitFor(socket, POLLOUT, timeoutMs);
}

long sendBytes(Socket socket, const void *data, std::size_t count)
{
    ssize_t sent;
    do {
        sent = ::send(fd(socket), data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    return transferResult(sent);
}

long receiveBytes(Socket socket, void *buffer, std::size_t capacity)
{
    ssize_t got;
    do {
        got = ::recv(fd(socket), buffer, capacity, MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    return transferResult(got);
}

long sendDatagram(Socket socket, const void *data, std::size_t count, const Endpoint &peer)
{
    sockaddr_storage address;
    const socklen_t length = toSockaddr(peer, &address);
    ssize_t sent;
    do {
        sent = ::sendto(fd(socket), data, count, MSG_NOSIGNAL | MSG_DONTWAIT,
                        reinterpret_cast<const sockaddr *>(&address), length);
    } while (sent < 0 && errno == EINTR);
    return transferResult(sent);
}

long receiveDatagram(Socket socket, void *buffer, std::size_t capacity)
{
    ssize_t got;
    do {
        got = ::recv(fd(socket), buffer, capacity, MSG_DONTWAIT | MSG_TRUNC); // MSG_TRUNC: the real size
    } while (got < 0 && errno == EINTR);
    return datagramResult(got, capacity);
}

bool armReceiveTimeout(Socket socket, int timeoutMs)
{
    // Blocking from here on: only the receives that wait block, bounded by this limit.
    int flags = ::fcntl(fd(socket), F_GETFL, 0);
    if (flags < 0 || ((flags & O_NONBLOCK) != 0 && ::fcntl(fd(socket), F_SETFL, flags & ~O_NONBLOCK) != 0))
        return false;
    return timeoutMs <= 0 || setReceiveLimit(socket, 1000LL * timeoutMs);
}

long receiveWithin(Socket socket, void *buffer, std::size_t capacity, int timeoutMs)
{
    return transferResult(receiveWaiting(socket, buffer, capacity, 0, timeoutMs));
}

long receiveDatagramWithin(Socket socket, void *buffer, std::size_t capacity, int timeoutMs)
{
    return datagramResult(receiveWaiting(socket, buffer, capacity, MSG_TRUNC, timeoutMs), capacity);
}

bool lastFailureWasReset()
{
    return errno == ECONNRESET || errno == ECONNREFUSED;
}

} // namespace net
} // namespace mbus
