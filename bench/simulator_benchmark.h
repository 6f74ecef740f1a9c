// The library's master, a raw ping-pong of the same byte counts and libmodbus's client against
// the in-process simulated device, in interleaved rounds; then every IP master and serial RTU
// against a simulated device of their own.
#ifndef MBUS_BENCH_SIMULATOR_BENCHMARK_H
#define MBUS_BENCH_SIMULATOR_BENCHMARK_H

class SimulatorBenchmark {
public:
    SimulatorBenchmark(int count, int rounds);
    // False when a device or a client could not be set up.
    bool run();

private:
    int count;
    int rounds;
};

#endif
