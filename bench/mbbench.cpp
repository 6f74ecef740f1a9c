// mbbench: Modbus/TCP transactions per second, latency and system calls on loopback.
//
// Five parts, all by default (--only picks one):
//   device  this library's master, a raw blocking client of the same bytes, libmodbus's client
//           and the three-call exchange prototype against libmodbus's server in a separate
//           process (mbbench-device), with system calls per transaction counted by strace;
//   faults  the prototype beside the library against the simulated device's faults;
//   sim     the library's master, a raw ping-pong of the same byte counts and libmodbus's client
//           against the in-process simulated device, and every IP master and serial RTU;
//   many    1 to 1,024 masters on connections of their own, polled by 1, 2 and 8 threads;
//   tls     the Modbus/TCP master over TLS beside the plain one, against libmodbus's server
//           behind socat, and the time a full and a resumed handshake take.
// Workloads run in interleaved rounds; tables show medians over the rounds. Run it pinned to one
// CPU (taskset -c 1 mbbench, or --cpu 1) so that a round trip does not wait for the other CPU to
// wake up; the device process inherits the pinning.
#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "device_clients.h"
#include "independent_device_benchmark.h"
#include "many_masters_benchmark.h"
#include "prototype_fault_check.h"
#include "simulator_benchmark.h"
#include "tls_benchmark.h"
#include "workload.h"

namespace {
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

// mbbench --probe CLIENT WORKLOAD PORT COUNT: COUNT transactions and nothing else, for strace;
// mbbench --probe tls WORKLOAD PORT COUNT FOLDER for the TLS master.
int probe(int argc, char **argv)
{
    if (argc == 7 && std::strcmp(argv[2], "tls") == 0)
        return TlsBenchmark::probe(argv[3], std::atoi(argv[4]), std::atoi(argv[5]), argv[6]);
    if (argc != 6)
        return 1;
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
        std::printf("usage: mbbench [--count N] [--rounds R] [--only device|faults|sim|many|tls] [--cpu C]\n"
                    "               [--many-seconds S] [--no-strace]\n"
                    "  N transactions per workload, client and round (default 20000), R interleaved rounds\n"
                    "  (default 5). --only runs one part: device (against libmodbus's server in a separate\n"
                    "  process), faults (the three-call prototype beside the library against the simulated\n"
                    "  device's faults), sim (against the in-process simulated device), many (1 to 1,024\n"
                    "  masters), tls (the TLS master beside the plain one against libmodbus's server behind\n"
                    "  socat, and handshake times; needs socat and openssl).\n"
                    "  --cpu pins mbbench and its device processes to CPU C (as taskset -c C mbbench does).\n"
                    "  S seconds per point of the many-masters table (default 0.5). --no-strace skips the\n"
                    "  count of system calls.\n"
                    "  mbbench --probe CLIENT WORKLOAD PORT COUNT [FOLDER] runs COUNT transactions for strace\n"
                    "  (CLIENT tls takes the certificates' FOLDER).\n");
        return 0;
    }
    if (argc >= 6 && std::strcmp(argv[1], "--probe") == 0)
        return probe(argc, argv);
    const int count = std::max(100, argumentValue(argc, argv, "--count", 20000));
    const int rounds = std::max(1, argumentValue(argc, argv, "--rounds", 5));
    const std::string only = argumentText(argc, argv, "--only", "");
    const int cpu = argumentValue(argc, argv, "--cpu", -1);
    const double manySeconds = std::atof(argumentText(argc, argv, "--many-seconds", "0.5"));
    if (!only.empty() && only != "device" && only != "faults" && only != "sim" && only != "many" && only != "tls") {
        std::fprintf(stderr, "mbbench: --only takes device, faults, sim, many or tls\n");
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
        SimulatorBenchmark simulator(count, rounds);
        if (!simulator.run())
            return 1;
        std::printf("\n");
    }
    if (only.empty() || only == "many") {
        ManyMastersBenchmark many({1, 4, 16, 64, 256, 1024}, {1, 2, 8}, manySeconds > 0 ? manySeconds : 0.5, rounds);
        if (!many.run())
            return 1;
    }
    if (only.empty() || only == "tls") {
        TlsBenchmark tls(count, rounds, !hasFlag(argc, argv, "--no-strace"));
        if (!tls.run())
            return 1;
    }
    return 0;
}
