#include "tcp_exchange_prototype.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "mbus.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kHeadSize = 9; // MBAP header, function code and one more byte
constexpr unsigned char kExceptionFlag = 0x80;

unsigned readU16(const unsigned char *p)
{
    return static_cast<unsigned>(p[0] << 8 | p[1]);
}

void putU16(unsigned char *p, unsigned value)
{
    p[0] = static_cast<unsigned char>(value >> 8);
    p[1] = static_cast<unsigned char>(value & 0xFF);
}

bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd entry{fd, events, 0};
    for (;;) {
        int ready = ::poll(&entry, 1, timeoutMs);
        if (ready >= 0)
            return ready > 0;
        if (errno != EINTR)
            return false;
    }
}

void setIntOption(int fd, int level, int option, int value)
{
    ::setsockopt(fd, level, option, &value, sizeof value);
}
} // namespace

TcpExchangePrototype::~TcpExchangePrototype()
{
    close();
}

void TcpExchangePrototype::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int TcpExchangePrototype::open(int port, int timeOutMs)
{
    close();
    timeOut = timeOutMs;
    // Connected like the library: non-blocking, so that the connect wait has a limit.
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return MBUS_OPEN_ERROR;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<unsigned short>(port));
    int error = 0;
    socklen_t length = sizeof error;
    if ((::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 && errno != EINPROGRESS) ||
        !waitFor(fd, POLLOUT, timeOut) || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        close();
        return MBUS_TCP_CONNECTION_ERROR;
    }
    setIntOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    setIntOption(fd, SOL_SOCKET, SO_SNDBUF, kFrameSize);
    setIntOption(fd, SOL_SOCKET, SO_RCVBUF, kFrameSize);
    setIntOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    // From here on the socket blocks, and each receive waits at most the time-out for the next
    // piece of a reply. The time-out is at least 1 ms (0 would mean no limit at all).
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || !setReceiveLimit(timeOut)) {
        close();
        return MBUS_OPEN_ERROR;
    }
    return MBUS_SUCCESS;
}

bool TcpExchangePrototype::drain()
{
    surplus = 0;
    for (;;) {
        ssize_t got = ::recv(fd, frame, sizeof frame, MSG_DONTWAIT);
        if (got > 0)
            continue;
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK); // 0: the peer closed
    }
}

int TcpExchangePrototype::send(int length)
{
    // A connected socket with buffer space takes the request at once; wait only when it is full.
    for (bool waited = false;;) {
        ssize_t sent = ::send(fd, frame, static_cast<std::size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent == length)
            return MBUS_SUCCESS;
        if (sent >= 0)
            return MBUS_SEND_TIMEOUT; // only part went out
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || waited)
            return errno == EAGAIN || errno == EWOULDBLOCK ? MBUS_SEND_TIMEOUT : MBUS_CONNECTION_CLOSED;
        if (!waitFor(fd, POLLOUT, timeOut))
            return MBUS_SEND_TIMEOUT;
        waited = true;
    }
}

int TcpExchangePrototype::receive()
{
    int got = 0;
    int needed = kHeadSize;
    bool headChecked = false;
    bool shortened = false; // the receive time-out holds what was left after an interruption
    int result = MBUS_SUCCESS;
    Clock::time_point pieceStart = Clock::now(); // read from the vDSO, not a system call
    while (got < needed) {
        // Asks for a whole frame: the reply normally comes in one piece and one call.
        ssize_t n = ::recv(fd, frame + got, static_cast<std::size_t>(kFrameSize - got), 0);
        if (n < 0 && errno == EINTR) {
            // A signal ends the wait early; the wait for this piece goes on with what is left of
            // the time-out, so that a stream of signals cannot stretch it.
            auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - pieceStart).count();
            int left = timeOut - static_cast<int>(waited);
            if (left <= 0) {
                result = MBUS_REPLY_TIMEOUT;
                break;
            }
            shortened = setReceiveLimit(left) || shortened;
            continue;
        }
        if (n < 0) {
            // EAGAIN/EWOULDBLOCK: the receive time-out ran out before the next piece.
            result = errno == EAGAIN || errno == EWOULDBLOCK ? MBUS_REPLY_TIMEOUT : MBUS_CONNECTION_CLOSED;
            break;
        }
        if (n == 0) {
            result = MBUS_CONNECTION_CLOSED;
            break;
        }
        got += static_cast<int>(n);
        if (shortened)
            shortened = !setReceiveLimit(timeOut);
        pieceStart = Clock::now(); // the next piece gets the whole time-out again
        if (!headChecked && got >= kHeadSize) {
            headChecked = true;
            // A foreign reply is not read further; the next drain drops the rest.
            if (frame[2] != 0 || frame[3] != 0 || readU16(frame) != transactionId) {
                result = MBUS_INVALID_MBAP_ID;
                break;
            }
            if ((frame[7] & kExceptionFlag) == 0) {
                int rest = static_cast<int>(readU16(frame + 4)) - 3;
                if (kHeadSize + rest > kFrameSize) {
                    result = MBUS_INVALID_REPLY_ERROR;
                    break;
                }
                if (rest > 0)
                    needed += rest;
            }
        }
    }
    if (shortened)
        setReceiveLimit(timeOut);
    if (result != MBUS_SUCCESS)
        return result;
    replySize = needed;
    surplus = got - needed;
    return MBUS_SUCCESS;
}

bool TcpExchangePrototype::setReceiveLimit(int milliseconds)
{
    timeval limit{};
    limit.tv_sec = milliseconds / 1000;
    limit.tv_usec = (milliseconds % 1000) * 1000;
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

int TcpExchangePrototype::exchange(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                                   unsigned char *replyData, int replyLen, int *receivedLen)
{
    if (receivedLen)
        *receivedLen = 0;
    if (fd < 0)
        return MBUS_ILLEGAL_STATE;
    if (requestLen < 0 || requestLen > kFrameSize - 8 || (requestLen > 0 && requestData == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    if (!drain())
        return MBUS_CONNECTION_CLOSED;

    transactionId = static_cast<std::uint16_t>(transactionId + 1);
    putU16(frame, transactionId);
    putU16(frame + 2, 0);
    putU16(frame + 4, static_cast<unsigned>(requestLen + 2));
    frame[6] = static_cast<unsigned char>(slaveAddr);
    frame[7] = static_cast<unsigned char>(functionCode);
    if (requestLen > 0)
        std::memcpy(frame + 8, requestData, static_cast<std::size_t>(requestLen));

    int result = send(requestLen + 8);
    if (result == MBUS_SUCCESS)
        result = receive();
    if (result != MBUS_SUCCESS)
        return result;

    if ((frame[7] & ~kExceptionFlag) != functionCode || (frame[6] != slaveAddr && frame[6] != 0))
        return MBUS_INVALID_FRAME_ERROR;
    if (frame[7] & kExceptionFlag)
        return MBUS_EXCEPTION_RESPONSE + static_cast<signed char>(frame[8]);
    int stored = replySize - 8 < replyLen ? replySize - 8 : replyLen;
    if (stored > 0)
        std::memcpy(replyData, frame + 8, static_cast<std::size_t>(stored));
    if (receivedLen)
        *receivedLen = stored;
    return MBUS_SUCCESS;
}

int TcpExchangePrototype::readHoldingRegisters(int slaveAddr, int address, short *values, int count)
{
    putU16(pdu, static_cast<unsigned>(address));
    putU16(pdu + 2, static_cast<unsigned>(count));
    int received = 0;
    int result = exchange(slaveAddr, 3, pdu, 4, pdu, 1 + 2 * count, &received);
    if (result != MBUS_SUCCESS)
        return result;
    if (received != 1 + 2 * count || pdu[0] != 2 * count)
        return MBUS_INVALID_REPLY_ERROR;
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<short>(readU16(pdu + 1 + 2 * i));
    return MBUS_SUCCESS;
}

int TcpExchangePrototype::writeSingleRegister(int slaveAddr, int address, int value)
{
    unsigned char request[4];
    putU16(request, static_cast<unsigned>(address));
    putU16(request + 2, static_cast<unsigned>(value) & 0xFFFF);
    int received = 0;
    int result = exchange(slaveAddr, 6, request, 4, pdu, 4, &received);
    if (result != MBUS_SUCCESS)
        return result;
    return received == 4 && std::memcmp(pdu, request, 4) == 0 ? MBUS_SUCCESS : MBUS_INVALID_REPLY_ERROR;
}

int TcpExchangePrototype::writeMultipleRegisters(int slaveAddr, int address, const short *values, int count)
{
    putU16(pdu, static_cast<unsigned>(address));
    putU16(pdu + 2, static_cast<unsigned>(count));
    pdu[4] = static_cast<unsigned char>(2 * count);
    for (int i = 0; i < count; ++i)
        putU16(pdu + 5 + 2 * i, static_cast<unsigned>(values[i]) & 0xFFFF);
    unsigned char echo[4];
    int received = 0;
    int result = exchange(slaveAddr, 16, pdu, 5 + 2 * count, echo, 4, &received);
    if (result != MBUS_SUCCESS)
        return result;
    return received == 4 && std::memcmp(echo, pdu, 4) == 0 ? MBUS_SUCCESS : MBUS_INVALID_REPLY_ERROR;
}
