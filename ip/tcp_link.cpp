#include "ip/tcp_link.h"

#include <cstring>

#include "mbus.h"

namespace mbus {

int TcpLink::connect(const net::Endpoint peers[], int count, int timeoutMs, const Clock &clock)
{
    close();
    first = last = 0;
    const std::uint32_t start = clock.ticks();
    int result = MBUS_TCP_CONNECTION_ERROR;
    for (int i = 0; i < count; ++i) {
        int remaining = timeoutMs; // the first try has it all, as with a single address
        if (i > 0 && timeoutMs > 0) {
            const std::uint32_t elapsed = clock.ticks() - start;
            if (elapsed >= static_cast<std::uint32_t>(timeoutMs))
                break;
            remaining = timeoutMs - static_cast<int>(elapsed);
        }
        const int tried = connectTo(peers[i], remaining);
        if (tried == MBUS_SUCCESS)
            return tried;
        // A socket of one family that cannot be made does not hide why another address failed.
        if (i == 0 || tried != MBUS_OPEN_ERROR)
            result = tried;
    }
    return result;
}

int TcpLink::connectTo(const net::Endpoint &peer, int timeoutMs)
{
    int opened = adopt(net::openStream(peer.family));
    if (opened != MBUS_SUCCESS)
        return opened;
    net::ConnectResult started = net::startConnect(handle, peer);
    if (started == net::ConnectResult::Failed) {
        close();
        return MBUS_TCP_CONNECTION_ERROR;
    }
    if (started == net::ConnectResult::InProgress) {
        net::WaitResult wait = net::waitWritable(handle, timeoutMs);
        if (wait != net::WaitResult::Ready) {
            close();
            return wait == net::WaitResult::TimedOut ? MBUS_TCP_CONNECTION_ERROR : MBUS_IO_ERROR;
        }
    }
    if (net::pendingError(handle) != 0) {
        close();
        return MBUS_TCP_CONNECTION_ERROR;
    }
    net::setStreamOptions(handle, kFrameSize);
    return MBUS_SUCCESS;
}

int TcpLink::discardInput()
{
    first = last = 0;
    for (;;) {
        long got = net::receiveBytes(handle, scratch, sizeof scratch);
        if (got == net::kWouldBlock)
            return MBUS_SUCCESS;
        if (got <= 0)
            return MBUS_CONNECTION_CLOSED; // the peer closed, or the receive failed
    }
}

int TcpLink::send(const unsigned char *data, int count, int timeoutMs)
{
    // A connected socket with free buffer space is writable: try first, wait only when full.
    long sent = net::sendBytes(handle, data, static_cast<std::size_t>(count));
    if (sent == net::kWouldBlock) {
        net::WaitResult wait = net::waitWritable(handle, timeoutMs);
        if (wait == net::WaitResult::TimedOut)
            return MBUS_SEND_TIMEOUT;
        if (wait == net::WaitResult::Failed)
            return MBUS_CONNECTION_CLOSED;
        sent = net::sendBytes(handle, data, static_cast<std::size_t>(count));
        if (sent == net::kWouldBlock)
            return MBUS_SEND_TIMEOUT;
    }
    if (sent < 0)
        return MBUS_CONNECTION_CLOSED;
    // The remainder of a partial send is not sent: the request is lost either way.
    return sent == count ? MBUS_SUCCESS : MBUS_SEND_TIMEOUT;
}

int TcpLink::receive(unsigned char *buffer, int count, int timeoutMs, int *received)
{
    *received = 0;
    int got = takeBuffered(buffer, count);
    if (got < count && !limitReceives(timeoutMs))
        return MBUS_CONNECTION_CLOSED;
    while (got < count) {
        // A whole frame is asked for; only what is still missing goes straight to the caller
        // when that alone fills a frame.
        const bool direct = count - got >= kFrameSize;
        unsigned char *into = direct ? buffer + got : scratch;
        const int capacity = direct ? count - got : kFrameSize;
        long chunk = net::receiveWithin(handle, into, static_cast<std::size_t>(capacity), timeoutMs);
        if (chunk == net::kWouldBlock)
            return MBUS_REPLY_TIMEOUT; // the bytes so far are dropped: the attempt has failed
        if (chunk <= 0)
            return MBUS_CONNECTION_CLOSED;
        if (direct) {
            got += static_cast<int>(chunk);
        } else {
            first = 0;
            last = static_cast<int>(chunk);
            got += takeBuffered(buffer + got, count - got);
        }
    }
    *received = got;
    return MBUS_SUCCESS;
}

long TcpLink::takeArrived(unsigned char *buffer, int capacity)
{
    const int taken = takeBuffered(buffer, capacity);
    if (taken == capacity)
        return taken;
    long more = net::receiveBytes(handle, buffer + taken, static_cast<std::size_t>(capacity - taken));
    if (more > 0)
        return taken + more;
    return taken > 0 ? taken : more;
}

int TcpLink::takeBuffered(unsigned char *buffer, int count)
{
    const int taken = last - first < count ? last - first : count;
    if (taken <= 0)
        return 0;
    std::memcpy(buffer, scratch + first, static_cast<std::size_t>(taken));
    first += taken;
    return taken;
}

} // namespace mbus
