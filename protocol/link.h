// One byte stream to a device as the transaction routine sees it: a TCP connection, a UDP
// socket or a serial line. Each link maps its own failures to library result codes.
#ifndef MBUS_PROTOCOL_LINK_H
#define MBUS_PROTOCOL_LINK_H

namespace mbus {

class Link {
public:
    Link() = default;
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;
    virtual ~Link() = default;

    // Drops whatever input is waiting, so that stale bytes are not taken for the next reply.
    virtual int discardInput() = 0;
    // Sends all count bytes within timeoutMs.
    virtual int send(const unsigned char *data, int count, int timeoutMs) = 0;
    // Reads exactly count bytes, each wait bounded by timeoutMs; a datagram link reads one
    // datagram of at most count bytes instead. *received gets the number of bytes read.
    virtual int receive(unsigned char *buffer, int count, int timeoutMs, int *received) = 0;
};

} // namespace mbus

#endif
