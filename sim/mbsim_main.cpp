// mbsim: a Modbus/TCP device on the command line, for demos and manual tests.
#include "sim/tcp_device.h"

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

void usage(std::FILE* out)
{
    std::fprintf(out,
        "usage: mbsim [--port N] [--seconds S] [--host ADDR]\n"
        "Serves Modbus/TCP until S seconds have passed (default 60), or SIGINT/SIGTERM.\n"
        "  --port N     TCP port, 0 = chosen by the system (default 0)\n"
        "  --seconds S  lifetime in seconds, 1..86400 (default 60)\n"
        "  --host ADDR  dotted IPv4 address to listen on (default 127.0.0.1)\n"
        "The first line printed is \"listening on ADDR:PORT\".\n"
        "Demo contents (wire addresses):\n"
        "  holding registers 0..99 = 0..99\n"
        "  input registers   0..99 = 1000..1099\n"
        "  coils 0..15 = 1,0,1,0,... (even addresses on)\n"
        "  discrete inputs 0..15 = 0,1,0,1,... (odd addresses on)\n"
        "  exception status = 0x6D\n"
        "  everything else 0; a text command written to register 9999 is answered with\n"
        "  \"OK <command>\" behind the next read of that register.\n");
}

bool parseInt(const char* text, long lo, long hi, long& out)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    long port = 0, seconds = 60;
    std::string host = "127.0.0.1";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--port" && hasValue) {
            if (!parseInt(argv[++i], 0, 65535, port)) { usage(stderr); return 2; }
        } else if (arg == "--seconds" && hasValue) {
            if (!parseInt(argv[++i], 1, 86400, seconds)) { usage(stderr); return 2; }
        } else if (arg == "--host" && hasValue) {
            host = argv[++i];
        } else {
            usage(stderr);
            return 2;
        }
    }

    // Signals are taken synchronously below, so no handler and no shared flag are needed.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::TcpDevice dev;
    for (unsigned a = 0; a < 100; ++a) {
        dev.setHoldingRegister(std::uint16_t(a), std::uint16_t(a));
        dev.setInputRegister(std::uint16_t(a), std::uint16_t(1000 + a));
    }
    for (unsigned a = 0; a < 16; ++a) {
        dev.setCoil(std::uint16_t(a), a % 2 == 0);
        dev.setDiscreteInput(std::uint16_t(a), a % 2 == 1);
    }
    dev.setExceptionStatus(0x6D);
    dev.setLifetimeSeconds(int(seconds) + 1);
    const int chosen = dev.start(int(port), host);
    if (chosen < 0) {
        std::fprintf(stderr, "mbsim: cannot listen on %s:%ld: %s\n", host.c_str(), port,
                     std::strerror(errno));
        return 1;
    }
    std::printf("listening on %s:%d\n", host.c_str(), chosen);
    std::fflush(stdout);

    timespec limit{seconds, 0};
    const int sig = sigtimedwait(&stopSignals, nullptr, &limit);
    dev.stop();
    std::printf("stopped after %s, %d connection(s), %zu request(s)\n",
                sig > 0 ? "a signal" : "its lifetime", dev.connectionCount(), dev.requests().size());
    return 0;
}
