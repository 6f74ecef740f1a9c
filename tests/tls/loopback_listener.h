// Loopback helpers of the tests that put a TLS front (socat) before a device: a port of the
// system's choosing, and a wait until something accepts connections on a port.
#ifndef MBUS_TESTS_TLS_LOOPBACK_LISTENER_H
#define MBUS_TESTS_TLS_LOOPBACK_LISTENER_H

// A loopback listener on a port of the system's choosing (stored in *port), or -1.
int listenOnLoopback(int *port);
// Whether a connection to 127.0.0.1:port is accepted within withinMs.
bool acceptsConnections(int port, int withinMs);

#endif
