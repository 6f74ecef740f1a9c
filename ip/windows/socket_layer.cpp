// Windows Sockets. Waits use select(), which on Windows takes a list of sockets rather than a
// bit set of descriptor numbers, so it has no limit on socket values. A reply is awaited with a
// wait and then received: a receive that runs out its SO_RCVTIMEO leaves a Windows socket in an
// indeterminate state, and the UDP master goes on using its socket after a time-out.
#include "ip/socket_layer.h"

// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <climits>
#include <cstring>

namespace mbus {
namespace net {

namespace {

// Version 1.1 covers every call made here.
constexpr WORD kWinsockVersion = 0x0101;

SOCKET handleOf(Socket socket)
{
    return static_cast<SOCKET>(socket);
}

int familyOf(Endpoint::Family family)
{
    return family == Endpoint::Family::Ipv6 ? AF_INET6 : AF_INET;
}

// The system's form of an endpoint, and its length.
int toSockaddr(const Endpoint &endpoint, sockaddr_storage *storage)
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

// Send and receive take an int length.
int clampedLength(std::size_t count)
{
    return count > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
}

timeval toTimeval(int timeoutMs)
{
    timeval limit{};
    limit.tv_sec = timeoutMs / 1000;
    limit.tv_usec = (timeoutMs % 1000) * 1000;
    return limit;
}

enum class Direction { Read, Write };

// Milliseconds left of a limit started at start (wrap-safe tick arithmetic), 0 once it is over.
int leftOf(DWORD start, int limitMs)
{
    const DWORD elapsed = ::GetTickCount() - start;
    return elapsed < static_cast<DWORD>(limitMs) ? limitMs - static_cast<int>(elapsed) : 0;
}

WaitResult waitFor(Socket socket, Direction direction, int timeoutMs)
{
    const DWORD start = ::GetTickCount();
    const int limitMs = timeoutMs;
    for (;;) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(handleOf(socket), &ready);
        // A non-blocking connect that fails is reported in the exception set, never as
        // writable: watching both ends the connect wait at once instead of at the time limit.
        fd_set failed;
        FD_ZERO(&failed);
        FD_SET(handleOf(socket), &failed);
        const bool reading = direction == Direction::Read;
        timeval limit = toTimeval(timeoutMs);
        const int highest = static_cast<int>(handleOf(socket) + 1); // ignored by Windows
        const int count = ::select(highest, reading ? &ready : nullptr, reading ? nullptr : &ready,
                                   reading ? nullptr : &failed, timeoutMs < 0 ? nullptr : &limit);
        if (count > 0)
            return WaitResult::Ready; // a failed connect counts as ready: the pending error tells
        if (count == 0)
            return WaitResult::TimedOut;
        if (::WSAGetLastError() != WSAEINTR)
            return WaitResult::Failed;
        // An interrupted wait goes on with what is left of it, not with the whole limit again.
        if (limitMs >= 0)
            timeoutMs = leftOf(start, limitMs);
    }
}

long transferResult(int count)
{
    if (count != SOCKET_ERROR)
        return static_cast<long>(count);
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

// Waits at most timeoutMs for input, then receives once; a socket that was readable but has
// nothing after all is waited for again, as long as time is left.
long receiveWaiting(Socket socket, char *buffer, int capacity, int timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        const int left = leftOf(start, timeoutMs < 0 ? 0 : timeoutMs);
        const WaitResult wait = waitFor(socket, Direction::Read, left);
        if (wait == WaitResult::TimedOut)
            return kWouldBlock;
        if (wait == WaitResult::Failed)
            return kFailed;
        // A datagram longer than the buffer fails with WSAEMSGSIZE after filling it: a failure.
        const long got = transferResult(::recv(handleOf(socket), buffer, capacity, 0));
        if (got != kWouldBlock || left == 0)
            return got;
    }
}

void setIntOption(Socket socket, int level, int option, int value)
{
    ::setsockopt(handleOf(socket), level, option, reinterpret_cast<const char *>(&value), sizeof value);
}

Socket adopt(SOCKET created)
{
    if (created == INVALID_SOCKET)
        return kInvalidSocket;
    // Programs the host starts must not inherit the device connection.
    ::SetHandleInformation(reinterpret_cast<HANDLE>(created), HANDLE_FLAG_INHERIT, 0);
    return static_cast<Socket>(created);
}

} // namespace

void startup()
{
    // Counted by the system: every call is matched by one cleanup(). A failure shows later as
    // failing socket calls.
    WSADATA data;
    ::WSAStartup(kWinsockVersion, &data);
}

void cleanup()
{
    ::WSACleanup();
}

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
    const bool parsed = fromSockaddr(found->ai_addr, address);
    ::freeaddrinfo(found);
    return parsed;
}

int lookupHost(const char *name, Endpoint found[kFamilyCount])
{
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
    return adopt(::socket(familyOf(family), SOCK_STREAM, 0));
}

Socket openDatagram(Endpoint::Family family)
{
    return adopt(::socket(familyOf(family), SOCK_DGRAM, IPPROTO_UDP));
}

void closeSocket(Socket socket)
{
    if (socket != kInvalidSocket)
        ::closesocket(handleOf(socket));
}

bool setNonBlocking(Socket socket)
{
    u_long on = 1;
    return ::ioctlsocket(handleOf(socket), FIONBIO, &on) == 0;
}

ConnectResult startConnect(Socket socket, const Endpoint &peer)
{
    sockaddr_storage address;
    const int length = toSockaddr(peer, &address);
    if (::connect(handleOf(socket), reinterpret_cast<const sockaddr *>(&address), length) == 0)
        return ConnectResult::Connected;
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS)
        return ConnectResult::InProgress;
    return ConnectResult::Failed;
}

int pendingError(Socket socket)
{
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(handleOf(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length) != 0)
        return ::WSAGetLastError();
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
    return waitFor(socket, Direction::Read, timeoutMs);
}

WaitResult waitWritable(Socket socket, int timeoutMs)
{
    return waitFor(socket, Direction::Write, timeoutMs);
}

long sendBytes(Socket socket, const void *data, std::size_t count)
{
    // Windows raises no signal for a closed connection; send just fails.
    return transferResult(::send(handleOf(socket), static_cast<const char *>(data), clampedLength(count), 0));
}

long receiveBytes(Socket socket, void *buffer, std::size_t capacity)
{
    return transferResult(::recv(handleOf(socket), static_cast<char *>(buffer), clampedLength(capacity), 0));
}

long sendDatagram(Socket socket, const void *data, std::size_t count, const Endpoint &peer)
{
    sockaddr_storage address;
    const int length = toSockaddr(peer, &address);
    return transferResult(::sendto(handleOf(socket), static_cast<const char *>(data), clampedLength(count), 0,
                                   reinterpret_cast<const sockaddr *>(&address), length));
}

long receiveDatagram(Socket socket, void *buffer, std::size_t capacity)
{
    // A datagram longer than the buffer fails with WSAEMSGSIZE after filling it: a failure,
    // as the contract asks.
    return transferResult(::recv(handleOf(socket), static_cast<char *>(buffer), clampedLength(capacity), 0));
}

bool armReceiveTimeout(Socket, int)
{
    return true; // the socket stays non-blocking; receiveWithin waits before it receives
}

long receiveWithin(Socket socket, void *buffer, std::size_t capacity, int timeoutMs)
{
    return receiveWaiting(socket, static_cast<char *>(buffer), clampedLength(capacity), timeoutMs);
}

long receiveDatagramWithin(Socket socket, void *buffer, std::size_t capacity, int timeoutMs)
{
    return receiveWaiting(socket, static_cast<char *>(buffer), clampedLength(capacity), timeoutMs);
}

bool lastFailureWasReset()
{
    // On a datagram socket WSAECONNRESET reports that an earlier datagram was refused by the
    // device's host.
    const int error = ::WSAGetLastError();
    return error == WSAECONNRESET || error == WSAECONNREFUSED || error == WSAENETRESET;
}

} // namespace net
} // namespace mbus
