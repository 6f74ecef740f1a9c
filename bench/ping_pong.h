// The physical limit of a loopback round trip: a blocking client and a server thread that
// exchange fixed-size messages with nothing else to do.
#ifndef MBUS_BENCH_PING_PONG_H
#define MBUS_BENCH_PING_PONG_H

#include <atomic>
#include <cstddef>
#include <thread>

class PingPong {
public:
    PingPong(std::size_t requestSize, std::size_t replySize);
    ~PingPong();
    PingPong(const PingPong &) = delete;
    PingPong &operator=(const PingPong &) = delete;

    bool ready() const { return clientFd >= 0; }
    // One round trip; false when the connection failed.
    bool roundTrip();

private:
    void serve(int listenFd);

    std::size_t requestSize;
    std::size_t replySize;
    int clientFd = -1;
    std::thread server;
};

#endif
