// A Modbus/TCP device for many connections at once: one epoll loop that accepts every
// connection and answers reads of holding registers (fc 3) and register writes (fc 6, fc 16)
// with the least work per request, so that the masters, not the device, set the pace.
#ifndef MBUS_BENCH_EPOLL_REPLY_LOOP_H
#define MBUS_BENCH_EPOLL_REPLY_LOOP_H

#include <cstddef>
#include <vector>

class EpollReplyLoop {
public:
    EpollReplyLoop() = default;
    ~EpollReplyLoop();
    EpollReplyLoop(const EpollReplyLoop &) = delete;
    EpollReplyLoop &operator=(const EpollReplyLoop &) = delete;

    // Listens on 127.0.0.1 at a port the system picks; the port, or -1.
    int listen();
    // Answers requests until the process ends.
    void serve();

private:
    struct Connection {
        unsigned char in[520];
        std::size_t fill = 0;
    };

    void acceptAll();
    // Reads what has arrived and answers every whole request; false when the connection ends.
    bool answer(int fd);
    void closeConnection(int fd);

    int listenFd = -1;
    int epollFd = -1;
    std::vector<Connection> connections; // indexed by descriptor
};

#endif
