// What the TCP and the UDP link share: one socket, closed with the link, whose receives wait at
// most the time-out (set once per socket and time-out, not per transaction).
#ifndef MBUS_IP_SOCKET_LINK_H
#define MBUS_IP_SOCKET_LINK_H

#include "ip/socket_layer.h"
#include "mbus.h"
#include "protocol/link.h"

namespace mbus {

class SocketLink : public Link {
public:
    ~SocketLink() override { close(); }

    bool isOpen() const { return handle != net::kInvalidSocket; }
    void close()
    {
        if (handle != net::kInvalidSocket) {
            net::closeSocket(handle);
            handle = net::kInvalidSocket;
        }
        armedTimeoutMs = 0;
    }
    net::Socket socket() const { return handle; }

    // Lets the socket's waiting receives wait at most timeoutMs: false when it cannot be set.
    bool limitReceives(int timeoutMs)
    {
        if (timeoutMs == armedTimeoutMs)
            return true;
        if (!net::armReceiveTimeout(handle, timeoutMs))
            return false;
        armedTimeoutMs = timeoutMs;
        return true;
    }

protected:
    // Takes a new socket and makes it non-blocking: 0, or MBUS_OPEN_ERROR (and closed).
    int adopt(net::Socket created)
    {
        handle = created;
        armedTimeoutMs = 0;
        if (handle == net::kInvalidSocket)
            return MBUS_OPEN_ERROR;
        if (!net::setNonBlocking(handle)) {
            close();
            return MBUS_OPEN_ERROR;
        }
        return MBUS_SUCCESS;
    }

    // One frame: what the socket buffers hold and what a drain reads at a time.
    static constexpr int kFrameSize = 260;

    net::Socket handle = net::kInvalidSocket;
    int armedTimeoutMs = 0; // 0: none yet on this socket
    unsigned char scratch[kFrameSize] = {};
};

} // namespace mbus

#endif
