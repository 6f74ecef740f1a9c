#include "many_masters_benchmark.h"

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "device_process.h"
#include "ip/tcp_master_protocol.h"
#include "mbus.h"

using mbus::MbusTcpMasterProtocol;

namespace {
using Clock = std::chrono::steady_clock;
constexpr long kMaxTransactionsPerThread = 5000000; // a bound besides the time

// Room for every master's socket and the device's descriptors in both processes.
int raiseDescriptorLimit(int wanted)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur < static_cast<rlim_t>(wanted)) {
        limit.rlim_cur = std::min(limit.rlim_max, static_cast<rlim_t>(wanted));
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<int>(std::min(limit.rlim_cur, static_cast<rlim_t>(1 << 30)));
}

std::size_t heapInUse()
{
    return mallinfo2().uordblks; // every arena
}
} // namespace

ManyMastersBenchmark::ManyMastersBenchmark(std::vector<int> masters, std::vector<int> threads, double seconds,
                                           int roundCount)
    : masterCounts(std::move(masters)), threadCounts(std::move(threads)), secondsPerPoint(seconds), rounds(roundCount)
{
}

double ManyMastersBenchmark::poll(const std::vector<MbusTcpMasterProtocol *> &masters, int threads)
{
    std::atomic<bool> go{false};
    std::atomic<int> failure{MBUS_SUCCESS};
    std::vector<long> done(static_cast<std::size_t>(threads), 0);
    std::vector<std::thread> pollers;
    const auto duration = std::chrono::duration<double>(secondsPerPoint);
    for (int t = 0; t < threads; ++t) {
        pollers.emplace_back([&, t] {
            short value = 0;
            while (!go.load()) {
                std::this_thread::yield();
            }
            const auto end = Clock::now() + duration;
            long count = 0;
            const auto step = static_cast<std::size_t>(threads);
            while (Clock::now() < end && count < kMaxTransactionsPerThread && failure.load() == MBUS_SUCCESS) {
                for (std::size_t i = static_cast<std::size_t>(t); i < masters.size(); i += step) {
                    int result = masters[i]->readMultipleRegisters(1, 1, &value, 1);
                    if (result != MBUS_SUCCESS)
                        failure = result;
                    ++count;
                }
            }
            done[static_cast<std::size_t>(t)] = count;
        });
    }
    auto start = Clock::now();
    go = true;
    for (std::thread &poller : pollers)
        poller.join();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    long total = 0;
    for (long count : done)
        total += count;
    if (failure.load() != MBUS_SUCCESS) {
        std::fprintf(stderr, "mbbench: a read failed: %s\n", mbusGetErrorText(failure.load()));
        return -1.0;
    }
    return total / seconds;
}

bool ManyMastersBenchmark::run()
{
    int most = *std::max_element(masterCounts.begin(), masterCounts.end());
    int limit = raiseDescriptorLimit(most + 256);
    if (limit < most + 64) {
        std::fprintf(stderr, "mbbench: %d descriptors allowed, too few for %d masters\n", limit, most);
        return false;
    }
    // The device ends by itself well after the last point.
    const double points = static_cast<double>(masterCounts.size() * threadCounts.size()) * rounds;
    DeviceProcess device("epoll", 120 + static_cast<int>(std::min(points * secondsPerPoint * 2, 86400.0)));
    if (device.port() <= 0) {
        std::fprintf(stderr, "mbbench: the epoll device did not start\n");
        return false;
    }
    std::printf("Many devices: masters on connections of their own to one epoll device process (pid %d), "
                "read 1 register each in turn, %.1f s per point, median of %d interleaved rounds\n",
                static_cast<int>(device.pid()), secondsPerPoint, rounds);
    std::printf("sizeof(MbusTcpMasterProtocol) = %zu bytes\n\n", sizeof(MbusTcpMasterProtocol));
    std::printf("%8s %14s", "masters", "heap B/master");
    for (int threads : threadCounts)
        std::printf(" %9d thr tx/s", threads);
    std::printf("\n");

    // Every master is made before any is polled or destroyed, so that the heap measured is what
    // construction and open took, not what poller threads or freed chunks left in the allocator.
    std::vector<std::unique_ptr<MbusTcpMasterProtocol>> owned;
    owned.reserve(static_cast<std::size_t>(most));
    std::vector<double> heapPerMaster;
    heapPerMaster.reserve(masterCounts.size());
    const std::size_t heapBefore = heapInUse();
    for (int count : masterCounts) {
        while (static_cast<int>(owned.size()) < count) {
            owned.push_back(std::make_unique<MbusTcpMasterProtocol>());
            MbusTcpMasterProtocol &master = *owned.back();
            if (master.setPort(static_cast<std::uint16_t>(device.port())) != MBUS_SUCCESS ||
                master.openConnection("127.0.0.1") != MBUS_SUCCESS) {
                std::fprintf(stderr, "mbbench: master %zu of %d cannot connect\n", owned.size(), count);
                return false;
            }
        }
        heapPerMaster.push_back(static_cast<double>(heapInUse() - heapBefore) / count);
    }
    // rates[row][column] over the rounds; every round runs every point once.
    std::vector<std::vector<std::vector<double>>> rates(
        masterCounts.size(), std::vector<std::vector<double>>(threadCounts.size()));
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t row = 0; row < masterCounts.size(); ++row) {
            std::vector<MbusTcpMasterProtocol *> masters;
            for (int i = 0; i < masterCounts[row]; ++i)
                masters.push_back(owned[static_cast<std::size_t>(i)].get());
            for (std::size_t column = 0; column < threadCounts.size(); ++column) {
                if (threadCounts[column] > masterCounts[row])
                    continue;
                double rate = poll(masters, threadCounts[column]);
                if (rate < 0)
                    return false;
                rates[row][column].push_back(rate);
            }
        }
    }
    for (std::size_t row = 0; row < masterCounts.size(); ++row) {
        std::printf("%8d %14.0f", masterCounts[row], heapPerMaster[row]);
        for (std::vector<double> &values : rates[row]) {
            if (values.empty()) {
                std::printf(" %18s", "-");
                continue;
            }
            std::sort(values.begin(), values.end());
            std::printf(" %18.0f", values[values.size() / 2]);
        }
        std::printf("\n");
    }
    return true;
}
