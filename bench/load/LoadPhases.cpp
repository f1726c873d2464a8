#include "LoadPhases.h"

#include "Clock.h"
#include "Summary.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::int64_t ReconnectPauseNs = 200 * 1000000LL;
constexpr std::int64_t TickNs = 10 * 1000000LL;

double SecondsSince(std::int64_t startNs)
{
    return static_cast<double>(NowNs() - startNs) / 1e9;
}

// Turns the engine for `seconds`.
void RunFor(LoadEngine &engine, double seconds)
{
    const std::int64_t end = NowNs() + static_cast<std::int64_t>(seconds * 1e9);
    while (NowNs() < end)
        engine.turn(TickNs);
}

bool Pending(const LoadClient &client)
{
    return client.state == LoadClient::State::Connecting || client.state == LoadClient::State::LoggingOn ||
           client.reconnectAt != 0;
}

RoutingResult Finish(LoadEngine &engine, const ProcessProbe &server, long copiesBefore, double cpuBefore,
                     const std::vector<double> &eachBefore, std::int64_t startNs)
{
    RoutingResult result;
    result.seconds = SecondsSince(startNs);
    result.messages = engine.counters().copies - copiesBefore;
    result.messagesPerSecond = static_cast<double>(result.messages) / result.seconds;
    result.p50Ms = PercentileMs(engine.latencies(), 0.50);
    result.p99Ms = PercentileMs(engine.latencies(), 0.99);
    result.deliveryP50Ms = PercentileMs(engine.deliveryLatencies(), 0.50);
    result.deliveryP99Ms = PercentileMs(engine.deliveryLatencies(), 0.99);
    if (server.active()) {
        result.serverCpuSeconds = server.sample().cpuSeconds - cpuBefore;
        if (result.messages > 0)
            result.cpuPer10k = result.serverCpuSeconds / static_cast<double>(result.messages) * 1e4;
        if (server.count() > 1) {
            result.cpuEachSeconds = server.cpuEach();
            for (size_t i = 0; i < result.cpuEachSeconds.size() && i < eachBefore.size(); ++i)
                result.cpuEachSeconds[i] -= eachBefore[i];
        }
    }
    return result;
}

} // namespace

StormResult LogonStorm(LoadEngine &engine, const ProcessProbe &server, bool reconnect, double limitSeconds)
{
    StormResult result;
    const LoadCounters before = engine.counters();
    const double cpuBefore = server.sample().cpuSeconds;
    engine.setReconnectDelay(reconnect ? ReconnectPauseNs : -1);
    const std::int64_t start = NowNs();
    for (LoadClient &client : engine.clients())
        engine.connect(client);
    const int all = static_cast<int>(engine.clients().size());
    while (engine.onCount() < all && SecondsSince(start) < limitSeconds) {
        engine.turn(TickNs);
        if (!reconnect && std::none_of(engine.clients().begin(), engine.clients().end(), Pending))
            break;
    }
    result.seconds = SecondsSince(start);
    result.complete = engine.onCount() == all;
    result.allOnSeconds = result.complete ? static_cast<double>(engine.lastLogonNs() - start) / 1e9 : 0;
    result.loggedOn = engine.onCount();
    engine.setReconnectDelay(-1);
    for (LoadClient &client : engine.clients())
        if (client.state != LoadClient::State::On)
            engine.disconnect(client);
    const LoadCounters &after = engine.counters();
    result.counters.attempts = after.attempts - before.attempts;
    result.counters.failedConnects = after.failedConnects - before.failedConnects;
    result.counters.cutOff = after.cutOff - before.cutOff;
    result.counters.refused = after.refused - before.refused;
    result.counters.dropped = after.dropped - before.dropped;
    result.counters.loggedOn = after.loggedOn - before.loggedOn;
    if (server.active()) {
        result.serverCpuSeconds = server.sample().cpuSeconds - cpuBefore;
        result.busyAfterSeconds = WaitForQuietServer(engine, server, 300, &result.cpuAfterSeconds);
    }
    return result;
}

double WaitForQuietServer(LoadEngine &engine, const ProcessProbe &server, double limitSeconds, double *cpuSeconds)
{
    constexpr double Step = 0.5;
    const std::int64_t start = NowNs();
    const double cpuStart = server.sample().cpuSeconds;
    double last = cpuStart;
    double busyUntil = 0;
    int quiet = 0;
    // Two quiet half-seconds in a row end the wait.
    while (quiet < 2 && SecondsSince(start) < limitSeconds) {
        RunFor(engine, Step);
        const double now = server.sample().cpuSeconds;
        if (now - last < 0.05 * Step) {
            ++quiet;
        } else {
            quiet = 0;
            busyUntil = SecondsSince(start);
        }
        last = now;
    }
    *cpuSeconds = last - cpuStart;
    return busyUntil;
}

bool LogonPaced(LoadEngine &engine, int inFlight, double limitSeconds)
{
    engine.setReconnectDelay(-1);
    const std::int64_t start = NowNs();
    auto &clients = engine.clients();
    const int all = static_cast<int>(clients.size());
    while (engine.onCount() < all && SecondsSince(start) < limitSeconds) {
        int pending = 0;
        for (const LoadClient &client : clients)
            pending += Pending(client) ? 1 : 0;
        for (LoadClient &client : clients) {
            if (pending >= inFlight)
                break;
            if (client.state == LoadClient::State::Down) {
                engine.connect(client);
                ++pending;
            }
        }
        engine.turn(TickNs);
    }
    return engine.onCount() == all;
}

RoutingResult ClosedLoop(LoadEngine &engine, const ProcessProbe &server, int window, double warmupSeconds,
                         double seconds)
{
    engine.setClosedLoop(true);
    const std::int64_t now = NowNs();
    for (LoadClient &client : engine.clients())
        for (int k = 0; k < window; ++k)
            engine.sendMessage(client, now);
    RunFor(engine, warmupSeconds);
    engine.clearLatencies();
    const long copiesBefore = engine.counters().copies;
    const double cpuBefore = server.sample().cpuSeconds;
    const std::vector<double> eachBefore = server.cpuEach();
    const std::int64_t start = NowNs();
    engine.setRecording(true);
    RunFor(engine, seconds);
    engine.setRecording(false);
    RoutingResult result = Finish(engine, server, copiesBefore, cpuBefore, eachBefore, start);
    engine.setClosedLoop(false);
    Drain(engine, 30);
    return result;
}

RoutingResult FixedRate(LoadEngine &engine, const ProcessProbe &server, double rate, double warmupSeconds,
                        double seconds)
{
    engine.setClosedLoop(false);
    std::vector<LoadClient *> senders;
    for (LoadClient &client : engine.clients())
        if (client.state == LoadClient::State::On)
            senders.push_back(&client);
    RoutingResult result;
    if (senders.empty() || rate <= 0)
        return result;
    const double period = 1e9 / rate;
    const std::int64_t begin = NowNs();
    const std::int64_t measureFrom = begin + static_cast<std::int64_t>(warmupSeconds * 1e9);
    const std::int64_t end = measureFrom + static_cast<std::int64_t>(seconds * 1e9);
    long sentCount = 0;
    size_t next = 0;
    bool measuring = false;
    long copiesBefore = 0;
    double cpuBefore = 0;
    std::vector<double> eachBefore;
    for (;;) {
        const std::int64_t now = NowNs();
        if (!measuring && now >= measureFrom) {
            measuring = true;
            engine.clearLatencies();
            copiesBefore = engine.counters().copies;
            cpuBefore = server.sample().cpuSeconds;
            eachBefore = server.cpuEach();
            engine.setRecording(true);
        }
        if (now >= end)
            break;
        std::int64_t due = begin + static_cast<std::int64_t>(static_cast<double>(sentCount) * period);
        while (due <= now) {
            engine.sendMessage(*senders[next], due);
            next = (next + 1) % senders.size();
            ++sentCount;
            due = begin + static_cast<std::int64_t>(static_cast<double>(sentCount) * period);
        }
        const std::int64_t wait = std::min(due, measuring ? end : measureFrom) - now;
        engine.turn(std::max<std::int64_t>(0, wait));
    }
    engine.setRecording(false);
    result = Finish(engine, server, copiesBefore, cpuBefore, eachBefore, measureFrom);
    Drain(engine, 30);
    return result;
}

bool Drain(LoadEngine &engine, double limitSeconds)
{
    const std::int64_t start = NowNs();
    while (engine.inFlight() > 0 && SecondsSince(start) < limitSeconds)
        engine.turn(TickNs);
    return engine.inFlight() == 0;
}

bool OpenIdleConnections(LoadEngine &engine, int count, int firstUser, int users, double limitSeconds)
{
    constexpr int Batch = 64;
    constexpr int MaxWaiting = 256;
    const int first = engine.idleOpened();
    const std::int64_t start = NowNs();
    while (engine.idleReady() < first + count && SecondsSince(start) < limitSeconds) {
        const int opened = engine.idleOpened() - first;
        const int waiting = engine.idleOpened() - engine.idleReady();
        if (opened < count && waiting < MaxWaiting)
            engine.openIdle(std::min(Batch, count - opened), firstUser, users);
        engine.turn(TickNs);
    }
    return engine.idleReady() >= first + count && engine.idleOpen() >= first + count;
}
