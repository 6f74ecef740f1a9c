// A TCP connection as a link: connect with a time-out, then sends and exact-length receives in
// which the time-out bounds each wait between chunks, not the whole reply. A receive asks the
// socket for a whole frame, so a reply that arrives in one piece takes one system call however
// its codec reads it; bytes beyond what was asked for wait in the link for the next receive,
// as they would in the socket, and the next drain drops them.
#ifndef MBUS_IP_TCP_LINK_H
#define MBUS_IP_TCP_LINK_H

#include "ip/socket_link.h"
#include "protocol/clock.h"

namespace mbus {

class TcpLink : public SocketLink {
public:
    // Connects to the first of count peers that accepts, tried in order, closing a connection
    // first. All tries share the one time-out: each gets what the earlier ones left, and none
    // starts once it has run out. 0, or the failure of the last try (MBUS_TCP_CONNECTION_ERROR
    // for a refusal or a time-out, MBUS_IO_ERROR, or MBUS_OPEN_ERROR when no earlier try got
    // further than that); closed on failure.
    int connect(const net::Endpoint peers[], int count, int timeoutMs, const Clock &clock);

    // MBUS_CONNECTION_CLOSED when the peer has closed or a receive failed.
    int discardInput() override;
    // MBUS_SEND_TIMEOUT when not writable in time or sent in part, MBUS_CONNECTION_CLOSED on failure.
    int send(const unsigned char *data, int count, int timeoutMs) override;
    // MBUS_REPLY_TIMEOUT when a wait ends without data, MBUS_CONNECTION_CLOSED on failure or a
    // closed peer.
    int receive(unsigned char *buffer, int count, int timeoutMs, int *received) override;

    // What has arrived behind the last reply, up to capacity bytes, without waiting: a byte
    // count, 0 when the peer has closed, or below 0 when nothing has come or the receive failed.
    long takeArrived(unsigned char *buffer, int capacity);

private:
    int connectTo(const net::Endpoint &peer, int timeoutMs);
    int takeBuffered(unsigned char *buffer, int count);

    // Received but not yet taken: bytes first to last - 1 of scratch.
    int first = 0;
    int last = 0;
};

} // namespace mbus

#endif
