// mbbench-device: an independent Modbus/TCP device in a process of its own, started and stopped
// by mbbench. It listens on 127.0.0.1 at a port the system picks, writes that port as one line
// to its standard output, and answers until it is stopped, its parent ends or its lifetime is
// over.
//   mbbench-device libmodbus [SECONDS]   libmodbus's server (a few connections)
//   mbbench-device epoll [SECONDS]       a lean epoll reply loop (thousands of connections)
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

#include "epoll_reply_loop.h"
#ifdef MBBENCH_HAVE_LIBMODBUS
#include "libmodbus_server.h"
#endif

namespace {
template <class Device>
int run(Device &device)
{
    int port = device.listen();
    if (port <= 0) {
        std::fprintf(stderr, "mbbench-device: cannot listen\n");
        return 1;
    }
    std::printf("%d\n", port);
    std::fflush(stdout);
    device.serve();
    return 1;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: mbbench-device libmodbus|epoll [SECONDS]\n");
        return 2;
    }
    ::prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlive mbbench
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 600;
    ::alarm(static_cast<unsigned>(seconds > 0 ? seconds : 600)); // SIGALRM ends the process
#ifdef MBBENCH_HAVE_LIBMODBUS
    if (std::strcmp(argv[1], "libmodbus") == 0) {
        LibmodbusServer server;
        return run(server);
    }
#endif
    if (std::strcmp(argv[1], "epoll") == 0) {
        EpollReplyLoop loop;
        return run(loop);
    }
    std::fprintf(stderr, "mbbench-device: unknown device %s\n", argv[1]);
    return 2;
}
