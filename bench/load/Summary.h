#pragma once

#include <cstdint>
#include <vector>

// A percentile of latencies in nanoseconds, as milliseconds; 0 when there are none.
double PercentileMs(std::vector<std::int64_t> &latenciesNs, double fraction);

// Min and median of one figure over rounds.
struct MinMedian {
    double min = 0;
    double median = 0;
    int count = 0;
};
MinMedian Summarise(std::vector<double> values);
