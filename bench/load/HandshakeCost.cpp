#include "HandshakeCost.h"

#include "Clock.h"

#include <algorithm>

HandshakeCostResult HandshakeCost(LoadEngine &engine, const ProcessProbe &server, long count, int inFlight,
                                  double limitSeconds)
{
    HandshakeCostResult result;
    engine.setGreetingOnly(true);
    const long before = engine.counters().greeted;
    const double cpuBefore = server.sample().cpuSeconds;
    const std::int64_t start = NowNs();
    const std::int64_t end = start + static_cast<std::int64_t>(limitSeconds * 1e9);
    std::vector<LoadClient> &clients = engine.clients();
    const size_t lanes = std::min(clients.size(), static_cast<size_t>(std::max(1, inFlight)));
    long started = 0;
    while (engine.counters().greeted - before < count && NowNs() < end) {
        // A lane whose connection ended (greeted, or failed) starts the next.
        for (size_t i = 0; i < lanes && started < count; ++i)
            if (clients[i].state == LoadClient::State::Down) {
                engine.connect(clients[i]);
                ++started;
            }
        engine.turn(1000000);
    }
    result.seconds = static_cast<double>(NowNs() - start) / 1e9;
    result.greeted = engine.counters().greeted - before;
    if (server.active()) {
        result.serverCpuSeconds = server.sample().cpuSeconds - cpuBefore;
        if (result.greeted > 0)
            result.cpuPerConnection = result.serverCpuSeconds / static_cast<double>(result.greeted);
    }
    for (size_t i = 0; i < lanes; ++i)
        engine.disconnect(clients[i]);
    engine.setGreetingOnly(false);
    return result;
}
