// socat relaying one loopback port to a device's port, started as a separate process and stopped
// by its process id: OPENSSL-LISTEN (a TLS front of the device) or TCP-LISTEN (a plain relay, to
// tell what the relay costs from what TLS costs). It forks a child per connection.
#ifndef MBUS_BENCH_SOCAT_PROCESS_H
#define MBUS_BENCH_SOCAT_PROCESS_H

#include <string>
#include <sys/types.h>

class SocatProcess {
public:
    // listen: "OPENSSL-LISTEN" or "TCP-LISTEN"; options are appended to its port and
    // ",reuseaddr,fork,nodelay" (without nodelay the first reply of a TLS connection waits
    // about 40 ms for the delayed acknowledgement).
    SocatProcess(const char *listen, const std::string &options, int devicePort);
    ~SocatProcess();
    SocatProcess(const SocatProcess &) = delete;
    SocatProcess &operator=(const SocatProcess &) = delete;

    // The listening port, or -1 when socat did not start or accept within five seconds.
    int port() const { return listenPort; }

    // Whether a program of that name is on the PATH.
    static bool installed(const char *program);

private:
    void stop();

    pid_t socatPid = -1;
    int listenPort = -1;
};

#endif
