#include "ip/udp_link.h"

#include "mbus.h"

namespace mbus {

int UdpLink::open(const net::Endpoint &peer)
{
    close();
    peerAddress = peer;
    int opened = adopt(net::openDatagram(peer.family));
    if (opened != MBUS_SUCCESS)
        return opened;
    net::setDatagramOptions(handle, kFrameSize);
    return MBUS_SUCCESS;
}

int UdpLink::discardInput()
{
    // A failing receive just ends the drain.
    while (net::receiveDatagram(handle, scratch, sizeof scratch) > 0) {
    }
    return MBUS_SUCCESS;
}

int UdpLink::send(const unsigned char *data, int count, int timeoutMs)
{
    const std::size_t length = static_cast<std::size_t>(count);
    long sent = net::sendDatagram(handle, data, length, peerAddress);
    if (sent == net::kWouldBlock) {
        net::WaitResult wait = net::waitWritable(handle, timeoutMs);
        if (wait == net::WaitResult::TimedOut)
            return MBUS_SEND_TIMEOUT;
        if (wait == net::WaitResult::Failed)
            return MBUS_IO_ERROR;
        sent = net::sendDatagram(handle, data, length, peerAddress);
        if (sent == net::kWouldBlock)
            return MBUS_SEND_TIMEOUT;
    }
    if (sent < 0)
        return MBUS_IO_ERROR;
    return static_cast<std::size_t>(sent) == length ? MBUS_SUCCESS : MBUS_SEND_TIMEOUT;
}

int UdpLink::receive(unsigned char *buffer, int count, int timeoutMs, int *received)
{
    *received = 0;
    // One call waits for the datagram and takes it.
    long got = limitReceives(timeoutMs)
                   ? net::receiveDatagramWithin(handle, buffer, static_cast<std::size_t>(count), timeoutMs)
                   : net::kFailed;
    if (got == net::kWouldBlock)
        return MBUS_REPLY_TIMEOUT;
    if (got <= 0)
        return (got < 0 && net::lastFailureWasReset()) ? MBUS_TCP_CONNECTION_ERROR : MBUS_IO_ERROR;
    *received = static_cast<int>(got);
    return MBUS_SUCCESS;
}

} // namespace mbus
