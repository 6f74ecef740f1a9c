#include "simulator_benchmark.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "ip/ascii_over_tcp_master_protocol.h"
#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "measurement.h"
#include "ping_pong.h"
#include "serial/rtu_master_protocol.h"
#include "sim/ascii_over_tcp_device.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/serial_device.h"
#include "sim/tcp_device.h"
#include "sim/udp_device.h"
#include "workload.h"

#ifdef MBBENCH_HAVE_LIBMODBUS
#include <modbus.h>
#endif

using namespace mbus;

namespace {
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
} // namespace

SimulatorBenchmark::SimulatorBenchmark(int n, int r) : count(n), rounds(r) {}

bool SimulatorBenchmark::run()
{
    sim::TcpDevice device;
    int port = device.start();
    if (port <= 0) {
        std::fprintf(stderr, "mbbench: cannot start the simulated device\n");
        return false;
    }
    MbusTcpMasterProtocol master;
    master.setPort(static_cast<std::uint16_t>(port));
    if (master.openConnection("127.0.0.1") != MBUS_SUCCESS) {
        std::fprintf(stderr, "mbbench: cannot connect\n");
        return false;
    }
#ifdef MBBENCH_HAVE_LIBMODBUS
    modbus_t *peer = modbus_new_tcp("127.0.0.1", port);
    if (peer == nullptr || modbus_connect(peer) != 0) {
        std::fprintf(stderr, "mbbench: libmodbus cannot connect\n");
        return false;
    }
    modbus_set_slave(peer, 1);
#endif

    static short regs[125];
    static std::uint16_t peerRegs[125];
    const std::vector<Workload> &workloads = Workload::all();
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

    std::printf("Against the in-process simulated device: %d transactions per workload and round, median of %d "
                "rounds\n\n",
                count, rounds);
    std::printf("%-30s %12s %9s %9s %12s %12s %8s\n", "workload", "library/s", "p50 us", "p99 us", "ping-pong/s",
                "libmodbus/s", "lib/pp");
    for (std::size_t w = 0; w < workloads.size(); ++w) {
        PingPong pingPong(workloads[w].request.size(), workloads[w].replyBytes);
        if (!pingPong.ready()) {
            std::fprintf(stderr, "mbbench: ping-pong set-up failed\n");
            return false;
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
    return true;
}
