#pragma once

#include <chrono>

// How long to wait before trying a connection again that keeps failing: the
// pause starts at `first` and doubles with each failure up to `longest`, so a
// peer that comes back soon is used again soon and one that stays away is not
// hammered. A success ends it.
class RetryPause {
public:
    using Clock = std::chrono::steady_clock;

    RetryPause(std::chrono::milliseconds first, std::chrono::milliseconds longest)
        : m_first(first), m_longest(longest) {}

    void failed(Clock::time_point now);
    void reset();
    // Whether an attempt must still wait at `now`.
    bool holds(Clock::time_point now) const { return now < m_until; }
    std::chrono::milliseconds pause() const { return m_pause; }

private:
    std::chrono::milliseconds m_first;
    std::chrono::milliseconds m_longest;
    std::chrono::milliseconds m_pause{0};
    Clock::time_point m_until{};
};
