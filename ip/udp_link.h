// A UDP socket as a link: one datagram per request to the device's address, one datagram per
// reply from whatever sender.
#ifndef MBUS_IP_UDP_LINK_H
#define MBUS_IP_UDP_LINK_H

#include "ip/socket_link.h"

namespace mbus {

class UdpLink : public SocketLink {
public:
    // Creates the socket for datagrams to peer, of its family, closing an open one first: 0 or
    // MBUS_OPEN_ERROR. Nothing is sent, so it succeeds whether a device answers or not.
    int open(const net::Endpoint &peer);

    // Drops the datagrams of earlier, timed-out requests; never fails.
    int discardInput() override;
    // MBUS_SEND_TIMEOUT when not writable in time or sent in part, MBUS_IO_ERROR on failure.
    int send(const unsigned char *data, int count, int timeoutMs) override;
    // One datagram of at most count bytes: MBUS_REPLY_TIMEOUT when none comes in time,
    // MBUS_TCP_CONNECTION_ERROR when the device's host refused an earlier one, MBUS_IO_ERROR
    // for other failures and empty datagrams.
    int receive(unsigned char *buffer, int count, int timeoutMs, int *received) override;

private:
    net::Endpoint peerAddress;
};

} // namespace mbus

#endif
