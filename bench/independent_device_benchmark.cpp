#include "independent_device_benchmark.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "device_clients.h"
#include "device_process.h"
#include "loopback.h"
#include "measurement.h"
#include "syscall_counter.h"
#include "workload.h"

namespace {
using Clock = std::chrono::steady_clock;

// What one of the calls that separate the clients costs here and now: a receive that finds
// nothing (the drain) and a zero-time poll, each on an idle connection to the device.
void printCallCosts(int port)
{
    int fd = connectLoopback(port);
    if (fd < 0)
        return;
    constexpr int kCalls = 200000;
    unsigned char buffer[260];
    auto start = Clock::now();
    for (int i = 0; i < kCalls; ++i) {
        if (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) >= 0)
            break; // the device never writes unasked
    }
    const double receiveUs = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kCalls;
    pollfd entry{fd, POLLIN, 0};
    start = Clock::now();
    for (int i = 0; i < kCalls; ++i)
        ::poll(&entry, 1, 0);
    const double pollUs = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kCalls;
    ::close(fd);
    std::printf("one call on an idle connection: recv finding nothing %.2f us, poll with no wait %.2f us "
                "(mean of %d)\n\n",
                receiveUs, pollUs, kCalls);
}
} // namespace

IndependentDeviceBenchmark::IndependentDeviceBenchmark(int n, int r, bool calls)
    : count(n), rounds(r), countSystemCalls(calls)
{
}

bool IndependentDeviceBenchmark::run()
{
#ifndef MBBENCH_HAVE_LIBMODBUS
    std::printf("(libmodbus not installed: no independent device to measure against)\n\n");
    return true;
#endif
    // The device ends by itself well after the last round, even at a millisecond per transaction.
    DeviceProcess device("libmodbus", 600 + static_cast<int>(std::min(count * rounds * 16.0 / 1000, 86400.0)));
    if (device.port() <= 0) {
        std::fprintf(stderr, "mbbench: libmodbus's server did not start (mbbench-device libmodbus)\n");
        return false;
    }
    DeviceClients clients(device.port());
    if (!clients.failure().empty()) {
        std::fprintf(stderr, "mbbench: %s\n", clients.failure().c_str());
        return false;
    }
    const bool tracing = countSystemCalls && SyscallCounter::available();
    std::printf("Against libmodbus's server in a separate process (pid %d): %d transactions per client and round, "
                "median of %d interleaved rounds\n",
                static_cast<int>(device.pid()), count, rounds);
    std::printf("system calls per transaction: %s\n\n",
                tracing ? "strace -c -f on a probe process, 1000 transactions net of set-up"
                        : "not counted (strace not installed or --no-strace)");

    const std::vector<Workload> &workloads = Workload::all();
    for (std::size_t w = 0; w < workloads.size(); ++w) {
        std::vector<Sample> samples[DeviceClients::kClientCount];
        std::function<bool()> operations[DeviceClients::kClientCount];
        for (int c = 0; c < DeviceClients::kClientCount; ++c) {
            auto client = static_cast<DeviceClients::Client>(c);
            if (clients.has(client))
                operations[c] = clients.operation(client, w);
        }
        for (int r = 0; r < rounds; ++r) {
            for (int c = 0; c < DeviceClients::kClientCount; ++c) {
                if (operations[c])
                    samples[c].push_back(measure(count, operations[c]));
            }
        }
        std::printf("%s\n  %-10s %9s %8s %8s %9s  %s\n", workloads[w].name, "client", "tx/s", "p50 us", "p99 us",
                    "calls/tx", "system calls per transaction");
        Sample result[DeviceClients::kClientCount];
        for (int c = 0; c < DeviceClients::kClientCount; ++c) {
            auto client = static_cast<DeviceClients::Client>(c);
            if (!operations[c])
                continue;
            result[c] = median(samples[c]);
            SyscallCounter::Count calls;
            if (tracing)
                calls = SyscallCounter::perTransaction(DeviceClients::name(client), workloads[w].shortName,
                                                       device.port());
            char total[16] = "-";
            if (calls.valid)
                std::snprintf(total, sizeof total, "%.2f", calls.total);
            std::printf("  %-10s %9.0f %8.1f %8.1f %9s  %s\n", DeviceClients::name(client), result[c].perSecond,
                        result[c].p50Us, result[c].p99Us, total, calls.breakdown.c_str());
        }
        const double raw = result[DeviceClients::Raw].perSecond;
        const double peer = result[DeviceClients::Libmodbus].perSecond;
        auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        std::printf("  by tx/s:  library/raw %.2f  library/libmodbus %.2f  prototype/raw %.2f  prototype/libmodbus %.2f\n",
                    ratio(result[DeviceClients::Library].perSecond, raw),
                    ratio(result[DeviceClients::Library].perSecond, peer),
                    ratio(result[DeviceClients::Prototype].perSecond, raw),
                    ratio(result[DeviceClients::Prototype].perSecond, peer));
        // The median latency is less moved by other work on the CPU than the rate is.
        const double rawP50 = result[DeviceClients::Raw].p50Us, peerP50 = result[DeviceClients::Libmodbus].p50Us;
        std::printf("  by p50:   library/raw %.2f  library/libmodbus %.2f  prototype/raw %.2f  prototype/libmodbus %.2f\n\n",
                    ratio(rawP50, result[DeviceClients::Library].p50Us),
                    ratio(peerP50, result[DeviceClients::Library].p50Us),
                    ratio(rawP50, result[DeviceClients::Prototype].p50Us),
                    ratio(peerP50, result[DeviceClients::Prototype].p50Us));
        std::fflush(stdout);
    }
    printCallCosts(device.port());
    return true;
}
