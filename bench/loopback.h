// Loopback sockets for the benchmark's clients and devices.
#ifndef MBUS_BENCH_LOOPBACK_H
#define MBUS_BENCH_LOOPBACK_H

// A blocking TCP connection to 127.0.0.1:port without the Nagle delay, or -1.
int connectLoopback(int port);
// A listening socket on 127.0.0.1 at a port the system picks (stored in *port), or -1.
int listenLoopback(int backlog, int *port);
void setNoDelay(int fd);

#endif
