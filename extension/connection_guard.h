// Igor may run the module's thread-safe commands on several threads at once. A master carries one
// transaction at a time, so a command holds the guard of its host name for as long as it uses
// the connection: two threads never interleave frames on one connection, while commands for
// other devices go on in parallel. The clean-up holds every guard while it destroys the masters.
#ifndef ZORVANE_CONNECTION_GUARD_H
#define ZORVANE_CONNECTION_GUARD_H

#include <mutex>

class ConnectionGuard {
public:
    explicit ConnectionGuard(const char *hostName);
    ConnectionGuard(const ConnectionGuard &) = delete;
    ConnectionGuard &operator=(const ConnectionGuard &) = delete;

private:
    std::lock_guard<std::mutex> lock_;
};

// Waits until no command uses any connection, and keeps it so while it lives.
class AllConnectionsGuard {
public:
    AllConnectionsGuard();
    ~AllConnectionsGuard();
    AllConnectionsGuard(const AllConnectionsGuard &) = delete;
    AllConnectionsGuard &operator=(const AllConnectionsGuard &) = delete;
};

#endif
