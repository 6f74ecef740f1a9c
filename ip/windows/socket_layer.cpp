// Windows Sockets. Waits use select(), which on Windows takes a list of sockets rather than a
// bit set of descriptor numbers, so it has no limit on socket values.
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

sockaddr_in toSockaddr(const Ipv4Endpoint &endpoint)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    address.sin_addr.s_addr = endpoint.address;
    return address;
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

WaitResult waitFor(Socket socket, Direction direction, int timeoutMs)
{
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
    }
}

long transferResult(int count)
{
    if (count != SOCKET_ERROR)
        return static_cast<long>(count);
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
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

bool lookupHost(const char *name, std::uint32_t *address)
{
    // IPv4 only; the first address of the list is taken and the others ignored.
    const hostent *entry = ::gethostbyname(name);
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr)
        return false;
    std::memcpy(address, entry->h_addr_list[0], sizeof *address);
    return true;
}

Socket openStream()
{
    return adopt(::socket(AF_INET, SOCK_STREAM, 0));
}

Socket openDatagram()
{
    return adopt(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
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

ConnectResult startConnect(Socket socket, const Ipv4Endpoint &peer)
{
    sockaddr_in address = toSockaddr(peer);
    if (::connect(handleOf(socket), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
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

long sendDatagram(Socket socket, const void *data, std::size_t count, const Ipv4Endpoint &peer)
{
    sockaddr_in address = toSockaddr(peer);
    return transferResult(::sendto(handleOf(socket), static_cast<const char *>(data), clampedLength(count), 0,
                                   reinterpret_cast<const sockaddr *>(&address), sizeof address));
}

long receiveDatagram(Socket socket, void *buffer, std::size_t capacity)
{
    // A datagram longer than the buffer fails with WSAEMSGSIZE after filling it: a failure,
    // as the contract asks.
    return transferResult(::recv(handleOf(socket), static_cast<char *>(buffer), clampedLength(capacity), 0));
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
