// The clients of DeviceClients against libmodbus's server in a separate process, in interleaved
// rounds: per workload and client the median rate and latency, the system calls per
// transaction (where strace is installed), and the ratios of this library and of the prototype
// to the raw client and to libmodbus's client.
#ifndef MBUS_BENCH_INDEPENDENT_DEVICE_BENCHMARK_H
#define MBUS_BENCH_INDEPENDENT_DEVICE_BENCHMARK_H

class IndependentDeviceBenchmark {
public:
    IndependentDeviceBenchmark(int count, int rounds, bool countSystemCalls);
    // False when the device or a client could not be set up.
    bool run();

private:
    int count;
    int rounds;
    bool countSystemCalls;
};

#endif
