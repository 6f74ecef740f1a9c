// The least a client can do against a device: a blocking send of the request's bytes and a
// blocking receive of the reply's, two system calls per transaction. Nothing is checked beyond
// the reply's size; it is the limit the Modbus clients are measured against.
#ifndef MBUS_BENCH_RAW_CLIENT_H
#define MBUS_BENCH_RAW_CLIENT_H

#include <cstddef>

class RawClient {
public:
    explicit RawClient(int port);
    ~RawClient();
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    bool ready() const { return fd >= 0; }
    // Sends the request and waits for exactly replySize bytes (at most 260); false on failure.
    bool exchange(const unsigned char *request, std::size_t requestSize, std::size_t replySize);

private:
    int fd = -1;
    unsigned char reply[260] = {};
};

#endif
