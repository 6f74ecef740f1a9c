// mbbench: Modbus/TCP transactions per second, latency and system calls on loopback.
//
// Four parts, all by default (--only picks one):
//   device  this library's master, a raw blocking client of the same bytes, libmodbus's client
//           and the three-call exchange prototype against libmodbus's server in a separate
//           process (mbbench-device), with system calls per transaction counted by strace;
//   faults  the prototype beside the library against the simulated device's faults;
//   sim     the library's master, a raw ping-pong of the same byte counts and libmodbus's client
//           against the in-process simulated device, and every IP master and serial RTU;
//   many    1 to 1,024 masters on connections of their own, polled by 1, 2 and 8 threads.
// Workloads run in interleaved rounds; tables show medians over the rounds. Run it pinned to one
// CPU (taskset -c 1 mbbench, or --cpu 1) so that a round trip does not wait for the other CPU to
// wake up; the device process inherits the pinning.
#include <algorithm>
#include <sched.h>
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
#include "independent_device_benchmark.h"
#include "many_masters_benchmark.h"
#include "measurement.h"
#include "ping_pong.h"
#include "prototype_fault_check.h"
#include "serial/rtu_master_protocol.h"
#include "sim/ascii_over_tcp_device.h"
#include "sim/serial_device.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/tcp_device.h"
#include "sim/udp_device.h"
#include "device_clients.h"
#include "workload.h"

#ifdef MBBENCH_HAVE_LIBMODBUS
#include <modbus.h>
#endif

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

int argumentValue(int argc, char **argv, const char *name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    }
    return fallback;
}

const char *argumentText(int argc, char **argv, const char *name, const char *fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return argv[i + 1];
    }
    return fallback;
}

bool hasFlag(int argc, char **argv, const char *name)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return true;
    }
    return false;
}

// The library's master, a ping-pong and libmodbus's client against the in-process simulated
// device; then every IP master and serial RTU.
bool measureAgainstSimulator(int count, int rounds)
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

// mbbench --probe CLIENT WORKLOAD PORT COUNT: COUNT transactions and nothing else, for strace.
int probe(char **argv)
{
    DeviceClients::Client client = DeviceClients::byName(argv[2]);
    const Workload *workload = Workload::find(argv[3]);
    DeviceClients clients(std::atoi(argv[4]));
    if (client == DeviceClients::kClientCount || workload == nullptr || !clients.has(client) ||
        !clients.failure().empty())
        return 1;
    std::function<bool()> operation = clients.operation(client, static_cast<std::size_t>(workload - Workload::all().data()));
    for (int i = std::atoi(argv[5]); i > 0; --i) {
        if (!operation())
            return 1;
    }
    return 0;
}

// "CPUs 1" or "CPUs 0-1": where this process and the device processes it starts may run.
std::string affinityText()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0)
        return "unknown";
    std::string text;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &set))
            text += (text.empty() ? "" : ",") + std::to_string(cpu);
    }
    return text;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: mbbench [--count N] [--rounds R] [--only device|faults|sim|many] [--cpu C]\n"
                    "               [--many-seconds S] [--no-strace]\n"
                    "  N transactions per workload, client and round (default 20000), R interleaved rounds\n"
                    "  (default 5). --only runs one part: device (against libmodbus's server in a separate\n"
                    "  process), faults (the three-call prototype beside the library against the simulated\n"
                    "  device's faults), sim (against the in-process simulated device), many (1 to 1,024\n"
                    "  masters).\n"
                    "  --cpu pins mbbench and its device processes to CPU C (as taskset -c C mbbench does).\n"
                    "  S seconds per point of the many-masters table (default 0.5). --no-strace skips the\n"
                    "  count of system calls.\n"
                    "  mbbench --probe CLIENT WORKLOAD PORT COUNT runs COUNT transactions for strace.\n");
        return 0;
    }
    if (argc == 6 && std::strcmp(argv[1], "--probe") == 0)
        return probe(argv);
    const int count = std::max(100, argumentValue(argc, argv, "--count", 20000));
    const int rounds = std::max(1, argumentValue(argc, argv, "--rounds", 5));
    const std::string only = argumentText(argc, argv, "--only", "");
    const int cpu = argumentValue(argc, argv, "--cpu", -1);
    const double manySeconds = std::atof(argumentText(argc, argv, "--many-seconds", "0.5"));
    if (!only.empty() && only != "device" && only != "faults" && only != "sim" && only != "many") {
        std::fprintf(stderr, "mbbench: --only takes device, faults, sim or many\n");
        return 2;
    }
    if (cpu >= 0) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        if (::sched_setaffinity(0, sizeof set, &set) != 0) {
            std::fprintf(stderr, "mbbench: cannot pin to CPU %d\n", cpu);
            return 2;
        }
    }
    std::printf("mbbench: runs on CPUs %s (device processes inherit it)\n\n", affinityText().c_str());
    std::fflush(stdout);

    if (only.empty() || only == "device") {
        IndependentDeviceBenchmark independent(count, rounds, !hasFlag(argc, argv, "--no-strace"));
        if (!independent.run())
            return 1;
    }
    if (only.empty() || only == "faults") {
        PrototypeFaultCheck check;
        bool agreed = check.run();
        std::printf("\n");
        if (!agreed) {
            std::fprintf(stderr, "mbbench: the prototype's results differ from the library's\n");
            return 1;
        }
    }
    if (only.empty() || only == "sim") {
        if (!measureAgainstSimulator(count, rounds))
            return 1;
        std::printf("\n");
    }
    if (only.empty() || only == "many") {
        ManyMastersBenchmark many({1, 4, 16, 64, 256, 1024}, {1, 2, 8}, manySeconds > 0 ? manySeconds : 0.5, rounds);
        if (!many.run())
            return 1;
    }
    return 0;
}
