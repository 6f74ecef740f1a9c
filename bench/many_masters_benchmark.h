// Many devices: 1 to 1,024 Modbus/TCP masters, each on its own connection to a device process
// that accepts them all (mbbench-device epoll), polled round-robin by 1, 2 and 8 threads, each
// thread with masters of its own. Prints total transactions per second and the memory of one
// master object: sizeof and the heap bytes taken by construction and open.
#ifndef MBUS_BENCH_MANY_MASTERS_BENCHMARK_H
#define MBUS_BENCH_MANY_MASTERS_BENCHMARK_H

#include <vector>

#include "ip/tcp_master_protocol.h"

class ManyMastersBenchmark {
public:
    ManyMastersBenchmark(std::vector<int> masterCounts, std::vector<int> threadCounts, double secondsPerPoint,
                         int rounds);
    // False when the device or a master could not be set up.
    bool run();

private:
    // Transactions per second of `masters` masters shared out among `threads` threads; negative
    // on a failed transaction.
    double poll(const std::vector<mbus::MbusTcpMasterProtocol *> &masters, int threads);

    std::vector<int> masterCounts;
    std::vector<int> threadCounts;
    double secondsPerPoint;
    int rounds;
};

#endif
