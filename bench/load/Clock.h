#pragma once

#include <cstdint>
#include <ctime>

// Nanoseconds on the monotonic clock: send times travel inside the message
// text, so the copy back alone tells its latency.
inline std::int64_t NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

constexpr std::int64_t NsPerSecond = 1000000000;
