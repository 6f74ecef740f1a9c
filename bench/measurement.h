// Timing of a run of transactions: rate, median and 99th-percentile latency, and the median of
// several interleaved rounds.
#ifndef MBUS_BENCH_MEASUREMENT_H
#define MBUS_BENCH_MEASUREMENT_H

#include <functional>
#include <vector>

struct Sample {
    double perSecond = 0;
    double p50Us = 0;
    double p99Us = 0;
};

// Times `count` calls of one operation; an operation that fails ends the program.
Sample measure(int count, const std::function<bool()> &operation);
// Field by field median of the rounds.
Sample median(const std::vector<Sample> &rounds);

#endif
