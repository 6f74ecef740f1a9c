#include "measurement.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {
using Clock = std::chrono::steady_clock;
}

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

Sample median(const std::vector<Sample> &rounds)
{
    auto pick = [&rounds](double Sample::*field) {
        std::vector<double> values;
        for (const Sample &s : rounds)
            values.push_back(s.*field);
        std::sort(values.begin(), values.end());
        return values.empty() ? 0.0 : values[values.size() / 2];
    };
    return Sample{pick(&Sample::perSecond), pick(&Sample::p50Us), pick(&Sample::p99Us)};
}
