// mbsim: a simulated Modbus device on the command line, for demos and manual tests.
#include "sim/ascii_over_tcp_device.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/serial_device.h"
#include "sim/tcp_device.h"
#include "sim/udp_device.h"

#include <pthread.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

namespace {

void usage(std::FILE* out)
{
    std::fprintf(out,
        "usage: mbsim [--mode MODE] [--port N] [--seconds S] [--host ADDR]\n"
        "Serves a simulated Modbus device until S seconds have passed (default 60), or until\n"
        "SIGINT/SIGTERM.\n"
        "  --mode MODE  tcp (Modbus/TCP, default), udp (Modbus/UDP), rtu-over-tcp,\n"
        "               ascii-over-tcp, rtu-pty, ascii-pty, elam-pty (RTU with two-byte\n"
        "               addresses for slaves 248..2295) on a pseudo-terminal\n"
        "  --port N     TCP/UDP port, 0 = chosen by the system (default 0)\n"
        "  --seconds S  lifetime in seconds, 1..86400 (default 60)\n"
        "  --host ADDR  IPv4 or IPv6 address to listen on (default 127.0.0.1)\n"
        "The first line printed is \"listening on ADDR:PORT\", or for the pty modes\n"
        "\"serial line on PATH\" (the tty a master opens).\n"
        "Every unit / slave address is answered (serial: broadcasts are not answered).\n"
        "Demo contents (wire addresses):\n"
        "  holding registers 0..99 = 0..99\n"
        "  input registers   0..99 = 1000..1099\n"
        "  coils 0..15 = 1,0,1,0,... (even addresses on)\n"
        "  discrete inputs 0..15 = 0,1,0,1,... (odd addresses on)\n"
        "  exception status = 0x6D\n"
        "  everything else 0. Modbus/TCP: a text command written to register 9999 is\n"
        "  answered with \"OK <command>\" right behind the next read of that register.\n");
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

void fillDemo(sim::DeviceBase& dev)
{
    for (unsigned a = 0; a < 100; ++a) {
        dev.setHoldingRegister(std::uint16_t(a), std::uint16_t(a));
        dev.setInputRegister(std::uint16_t(a), std::uint16_t(1000 + a));
    }
    for (unsigned a = 0; a < 16; ++a) {
        dev.setCoil(std::uint16_t(a), a % 2 == 0);
        dev.setDiscreteInput(std::uint16_t(a), a % 2 == 1);
    }
    dev.setExceptionStatus(0x6D);
}

} // namespace

int main(int argc, char** argv)
{
    long port = 0, seconds = 60;
    std::string host = "127.0.0.1", mode = "tcp";
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
        } else if (arg == "--mode" && hasValue) {
            mode = argv[++i];
        } else {
            usage(stderr);
            return 2;
        }
    }

    // Signals are taken synchronously below, so no handler and no shared flag are needed.
    // Blocked before any thread starts, so the device threads inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const int lifetime = int(seconds) + 1;  // the device stops by itself even if we hang
    std::unique_ptr<sim::DeviceBase> dev;
    std::string where;
    if (mode == "tcp" || mode == "rtu-over-tcp" || mode == "ascii-over-tcp") {
        std::unique_ptr<sim::StreamServer> s;
        if (mode == "tcp") s = std::make_unique<sim::TcpDevice>();
        else if (mode == "rtu-over-tcp") s = std::make_unique<sim::RtuOverTcpDevice>();
        else s = std::make_unique<sim::AsciiOverTcpDevice>();
        fillDemo(*s);
        s->setLifetimeSeconds(lifetime);
        const int chosen = s->start(int(port), host);
        if (chosen >= 0) where = "listening on " + host + ":" + std::to_string(chosen);
        dev = std::move(s);
    } else if (mode == "udp") {
        auto u = std::make_unique<sim::UdpDevice>();
        fillDemo(*u);
        u->setLifetimeSeconds(lifetime);
        const int chosen = u->start(int(port), host);
        if (chosen >= 0) where = "listening on " + host + ":" + std::to_string(chosen);
        dev = std::move(u);
    } else if (mode == "rtu-pty" || mode == "ascii-pty" || mode == "elam-pty") {
        auto d = std::make_unique<sim::SerialDevice>();
        fillDemo(*d);
        d->setLifetimeSeconds(lifetime);
        const std::string path = d->start(mode == "rtu-pty"     ? sim::SerialFraming::Rtu
                                          : mode == "ascii-pty" ? sim::SerialFraming::Ascii
                                                                : sim::SerialFraming::ExtendedRtu);
        if (!path.empty()) where = "serial line on " + path;
        dev = std::move(d);
    } else {
        usage(stderr);
        return 2;
    }
    if (where.empty()) {
        std::fprintf(stderr, "mbsim: cannot start %s on %s:%ld: %s\n", mode.c_str(), host.c_str(),
                     port, std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", where.c_str());
    std::fflush(stdout);

    timespec limit{seconds, 0};
    const int sig = sigtimedwait(&stopSignals, nullptr, &limit);
    const std::size_t requests = dev->requests().size();
    dev.reset();  // stops and joins the device thread
    std::printf("stopped after %s, %zu request(s)\n", sig > 0 ? "a signal" : "its lifetime", requests);
    return 0;
}
