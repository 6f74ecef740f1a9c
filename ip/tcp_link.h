// A TCP connection as a link: connect with a time-out, then sends and exact-length receives in
// which the time-out bounds each wait between chunks, not the whole reply.
#ifndef MBUS_IP_TCP_LINK_H
#define MBUS_IP_TCP_LINK_H

#include "ip/socket_link.h"

namespace mbus {

class TcpLink : public SocketLink {
public:
    // Connects to peer, closing a connection first: 0, MBUS_OPEN_ERROR, MBUS_TCP_CONNECTION_ERROR
    // (refused, or not connected within timeoutMs) or MBUS_IO_ERROR. Closed on failure.
    int connect(const net::Ipv4Endpoint &peer, int timeoutMs);

    // MBUS_CONNECTION_CLOSED when the peer has closed or a receive failed.
    int discardInput() override;
    // MBUS_SEND_TIMEOUT when not writable in time or sent in part, MBUS_CONNECTION_CLOSED on failure.
    int send(const unsigned char *data, int count, int timeoutMs) override;
    // MBUS_REPLY_TIMEOUT when a wait ends without data, MBUS_CONNECTION_CLOSED on failure or a
    // closed peer.
    int receive(unsigned char *buffer, int count, int timeoutMs, int *received) override;

private:
    // Once part of a reply has come, the rest is usually there already: a receive is tried
    // before waiting, which saves a system call.
    bool replyUnderway = false;
};

} // namespace mbus

#endif
