// libmodbus's own server as an independent device: modbus_tcp_listen, modbus_receive and
// modbus_reply over a table of 256 holding registers, serving a few connections at once.
// libmodbus waits with select() inside modbus_receive, so it is meant for low descriptor numbers,
// not for a thousand connections.
#ifndef MBUS_BENCH_LIBMODBUS_SERVER_H
#define MBUS_BENCH_LIBMODBUS_SERVER_H

#include <modbus.h>

class LibmodbusServer {
public:
    LibmodbusServer();
    ~LibmodbusServer();
    LibmodbusServer(const LibmodbusServer &) = delete;
    LibmodbusServer &operator=(const LibmodbusServer &) = delete;

    // Listens on 127.0.0.1 at a port the system picks; the port, or -1.
    int listen();
    // Answers requests until the process ends.
    void serve();

private:
    modbus_t *context = nullptr;
    modbus_mapping_t *mapping = nullptr;
    int listenFd = -1;
};

#endif
