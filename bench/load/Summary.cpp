#include "Summary.h"

#include <algorithm>

double PercentileMs(std::vector<std::int64_t> &latenciesNs, double fraction)
{
    if (latenciesNs.empty())
        return 0;
    const size_t at = std::min(latenciesNs.size() - 1, static_cast<size_t>(fraction * latenciesNs.size()));
    std::nth_element(latenciesNs.begin(), latenciesNs.begin() + static_cast<std::ptrdiff_t>(at), latenciesNs.end());
    return static_cast<double>(latenciesNs[at]) / 1e6;
}

MinMedian Summarise(std::vector<double> values)
{
    MinMedian result;
    result.count = static_cast<int>(values.size());
    if (values.empty())
        return result;
    std::sort(values.begin(), values.end());
    result.min = values.front();
    const size_t n = values.size();
    result.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return result;
}
