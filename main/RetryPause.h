#pragma once

#include <chrono>

// How long the session waits before shaking hands again with a server whose
// TLS it refused. A refused TCP connection costs the server nothing and is
// retried at every tick; a handshake costs it a key exchange, and a
// certificate that failed does not mend itself in 100 ms, so a company of
// clients with a wrong CAFILE would otherwise keep the server busy with
// thousands of handshakes a second. The pause starts at one tick and doubles
// up to 30 s; a connection that succeeds, or a logoff, ends it.
class RetryPause {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::milliseconds First{100};
    static constexpr std::chrono::milliseconds Longest{30'000};

    void failed(Clock::time_point now);
    void reset();
    // Whether an attempt must still wait at `now`.
    bool holds(Clock::time_point now) const { return now < m_until; }
    std::chrono::milliseconds pause() const { return m_pause; }

private:
    std::chrono::milliseconds m_pause{0};
    Clock::time_point m_until{};
};
