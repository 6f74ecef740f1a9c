// mbbench: Modbus/TCP transactions per second and latency on loopback.
//
// For each workload the library's master, a raw TCP ping-pong of the same byte counts and, where
// installed, libmodbus's client run against the same in-process simulated device, in
// interleaved rounds; the table shows medians over the rounds. Run it pinned to one CPU
// (taskset -c 1 mbbench) so that a round trip does not wait for the other CPU to wake up.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ip/ascii_over_tcp_master_protocol.h"
#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "ping_pong.h"
#include "serial/rtu_master_protocol.h"
#include "sim/ascii_over_tcp_device.h"
#include "sim/serial_device.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/tcp_device.h"
#include "sim/udp_device.h"

#ifdef MBBENCH_HAVE_LIBMODBUS
#include <modbus.h>

using namespace mbus;
#endif

namespace {
using Clock = std::chrono::steady_clock;

struct Sample {
    double perSecond = 0;
    double p50Us = 0;
    double p99Us = 0;
};

struct Workload {
    const char *name;
    int requestBytes; // whole ADU, MBAP header included
    int replyBytes;
};

// Times `count` calls of one operation; an operation that fails ends the run.
Sample measure(int count, const std::function<bool()> &operation)
{
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(count));
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        auto before = Clock::now();
        if (!operation()) {
            std::fprintf(stderr, "mbbench: operation failed\n");
            std::exit(1);
        }
        latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(latencies.begin(), latencies.end());
    Sample sample;
    sample.perSecond = count / seconds;
    sample.p50Us = latencies[latencies.size() / 2];
    sample.p99Us = latencies[latencies.size() * 99 / 100];
    return sample;
}

Sample median(std::vector<Sample> rounds)
{
    auto pick = [&rounds](double Sample::*field) {
        std::vector<double> values;
        for (const Sample &s : rounds)
            values.push_back(s.*field);
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    return Sample{pick(&Sample::perSecond), pick(&Sample::p50Us), pick(&Sample::p99Us)};
}

// Reads of 1 and of 125 registers through one master against its own device.
template <class Master, class Device>
void measureTransport(const char *name, int count, int rounds)
{
    Device device;
    int port = device.start();
    Master master;
    if (port <= 0 || master.setPort(static_cast<std::uint16_t>(port)) != MBUS_SUCCESS ||
        master.openConnection("127.0.0.1") != MBUS_SUCCESS) {
        std::fprintf(stderr, "mbbench: cannot set up %s\n", name);
        std::exit(1);
    }
    static short regs[125];
    std::vector<Sample> one, many;
    for (int r = 0; r < rounds; ++r) {
        one.push_back(measure(count, [&] { return master.readMultipleRegisters(1, 1, regs, 1) == MBUS_SUCCESS; }));
        many.push_back(measure(count, [&] { return master.readMultipleRegisters(1, 1, regs, 125) == MBUS_SUCCESS; }));
    }
    Sample a = median(one), b = median(many);
    std::printf("%-30s %12.0f %9.1f %9.1f %12.0f %9.1f %9.1f\n", name, a.perSecond, a.p50Us, a.p99Us, b.perSecond,
                b.p50Us, b.p99Us);
}

// Reads over a pseudo-terminal: the line has no speed, so this is the cost of the framing, the
// port driver and the terminal layer.
void measureSerialRtu(int count, int rounds)
{
    sim::SerialDevice device;
    std::string path = device.start(sim::SerialFraming::Rtu);
    MbusRtuMasterProtocol master;
    if (path.empty() || master.openSerialPort(path.c_str(), 115200, 8, 1, MBUS_PARITY_NONE) != MBUS_SUCCESS) {
        std::fprintf(stderr, "mbbench: cannot set up serial RTU on a pseudo-terminal\n");
        std::exit(1);
    }
    static short regs[125];
    std::vector<Sample> one, many;
    for (int r = 0; r < rounds; ++r) {
        one.push_back(measure(count, [&] { return master.readMultipleRegisters(1, 1, regs, 1) == MBUS_SUCCESS; }));
        many.push_back(measure(count, [&] { return master.readMultipleRegisters(1, 1, regs, 125) == MBUS_SUCCESS; }));
    }
    Sample a = median(one), b = median(many);
    std::printf("%-30s %12.0f %9.1f %9.1f %12.0f %9.1f %9.1f\n", "serial RTU (pseudo-terminal)", a.perSecond, a.p50Us,
                a.p99Us, b.perSecond, b.p50Us, b.p99Us);
}

int argumentValue(int argc, char **argv, const char *name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    }
    return fallback;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: mbbench [--count N] [--rounds R]\n"
                    "  N transactions per workload and round (default 20000), R interleaved rounds (default 5).\n"
                    "  Pin it to one CPU for repeatable figures: taskset -c 1 mbbench\n");
        return 0;
    }
    const int count = std::max(100, argumentValue(argc, argv, "--count", 20000));
    const int rounds = std::max(1, argumentValue(argc, argv, "--rounds", 5));

    sim::TcpDevice device;
    int port = device.start();
    if (port <= 0) {
        std::fprintf(stderr, "mbbench: cannot start the simulated device\n");
        return 1;
    }
    MbusTcpMasterProtocol master;
    master.setPort(static_cast<std::uint16_t>(port));
    if (master.openConnection("127.0.0.1") != MBUS_SUCCESS) {
        std::fprintf(stderr, "mbbench: cannot connect\n");
        return 1;
    }
#ifdef MBBENCH_HAVE_LIBMODBUS
    modbus_t *peer = modbus_new_tcp("127.0.0.1", port);
    if (peer == nullptr || modbus_connect(peer) != 0) {
        std::fprintf(stderr, "mbbench: libmodbus cannot connect\n");
        return 1;
    }
    modbus_set_slave(peer, 1);
#endif

    static short regs[125];
    static std::uint16_t peerRegs[125];
    const Workload workloads[] = {
        {"read 1 holding register", 12, 11},
        {"read 125 holding registers", 12, 259},
        {"write 1 register (fc 6)", 12, 12},
        {"write 123 registers (fc 16)", 259, 12},
    };
    const std::function<bool()> libraryCalls[] = {
        [&] { return master.readMultipleRegisters(1, 1, regs, 1) == MBUS_SUCCESS; },
        [&] { return master.readMultipleRegisters(1, 1, regs, 125) == MBUS_SUCCESS; },
        [&] { return master.writeSingleRegister(1, 1, 42) == MBUS_SUCCESS; },
        [&] { return master.writeMultipleRegisters(1, 1, regs, 123) == MBUS_SUCCESS; },
    };
#ifdef MBBENCH_HAVE_LIBMODBUS
    const std::function<bool()> peerCalls[] = {
        [&] { return modbus_read_registers(peer, 0, 1, peerRegs) == 1; },
        [&] { return modbus_read_registers(peer, 0, 125, peerRegs) == 125; },
        [&] { return modbus_write_register(peer, 0, 42) == 1; },
        [&] { return modbus_write_registers(peer, 0, 123, peerRegs) == 123; },
    };
#endif

    std::printf("mbbench: %d transactions per workload and round, median of %d rounds\n\n", count, rounds);
    std::printf("%-30s %12s %9s %9s %12s %12s %8s\n", "workload", "library/s", "p50 us", "p99 us", "ping-pong/s",
                "libmodbus/s", "lib/pp");
    for (std::size_t w = 0; w < sizeof workloads / sizeof workloads[0]; ++w) {
        PingPong pingPong(static_cast<std::size_t>(workloads[w].requestBytes),
                          static_cast<std::size_t>(workloads[w].replyBytes));
        if (!pingPong.ready()) {
            std::fprintf(stderr, "mbbench: ping-pong set-up failed\n");
            return 1;
        }
        std::vector<Sample> library, raw, other;
        for (int r = 0; r < rounds; ++r) {
            library.push_back(measure(count, libraryCalls[w]));
            raw.push_back(measure(count, [&] { return pingPong.roundTrip(); }));
#ifdef MBBENCH_HAVE_LIBMODBUS
            other.push_back(measure(count, peerCalls[w]));
#endif
        }
        Sample lib = median(library), pp = median(raw);
        std::string otherText = "-";
        if (!other.empty())
            otherText = std::to_string(static_cast<long>(median(other).perSecond));
        std::printf("%-30s %12.0f %9.1f %9.1f %12.0f %12s %8.2f\n", workloads[w].name, lib.perSecond, lib.p50Us,
                    lib.p99Us, pp.perSecond, otherText.c_str(), lib.perSecond / pp.perSecond);
    }
#ifdef MBBENCH_HAVE_LIBMODBUS
    modbus_close(peer);
    modbus_free(peer);
#else
    std::printf("\n(libmodbus not installed: its column is empty)\n");
#endif

    std::printf("\nEvery IP master against its own simulated device\n");
    std::printf("%-30s %12s %9s %9s %12s %9s %9s\n", "master", "read 1/s", "p50 us", "p99 us", "read 125/s", "p50 us",
                "p99 us");
    measureTransport<MbusTcpMasterProtocol, sim::TcpDevice>("Modbus/TCP", count, rounds);
    measureTransport<MbusUdpMasterProtocol, sim::UdpDevice>("Modbus/UDP", count, rounds);
    measureTransport<MbusRtuOverTcpMasterProtocol, sim::RtuOverTcpDevice>("RTU over TCP", count, rounds);
    measureTransport<MbusAsciiOverTcpMasterProtocol, sim::AsciiOverTcpDevice>("ASCII over TCP", count, rounds);
    measureSerialRtu(std::max(100, count / 10), rounds);
    return 0;
}
