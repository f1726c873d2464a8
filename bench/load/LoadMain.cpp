// vantrel-load: several hundred clients of one server on one epoll loop.
//
//   vantrel-load --port N[,N...] [--dialect vantrel|irc] [--server-pid PID[,PID...]] [options]
//
// Several ports spread the clients over several servers in turn (client i at
// the i-th port, modulo); several process ids are summed as "the server", and
// each one's CPU is printed too.
// Logs the clients on (a storm, with or without reconnects, or paced), then
// runs rounds of routing: a closed loop at saturation and a fixed rate. With
// --idle it instead alternates the fixed rate with and without that many idle
// connections open. With --handshakes it first measures what a connection
// costs the server up to its greeting (over TLS, the handshake). Prints each round, then one "RESULT key min median count"
// line per figure for scripts.

#include "Clock.h"
#include "HandshakeCost.h"
#include "LoadPhases.h"
#include "Summary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    LoadTarget target;
    std::vector<std::uint16_t> ports; // when more than one
    std::vector<pid_t> serverPids;
    int clients = 500;
    int firstUser = 0;
    std::string logon = "storm-reconnect"; // storm | storm-reconnect | paced
    double logonLimit = 150;
    int pacedLogons = 4;
    int rounds = 8;
    int window = 1;
    double warmup = 1;
    double saturateSeconds = 5;
    double rate = 5000;
    double rateSeconds = 5;
    int idle = 0;
    int idleUsers = 400;
    int textBytes = 40;
    long handshakes = 0;
    int handshakesInFlight = 4;
};

[[noreturn]] void Usage()
{
    std::fprintf(stderr,
                 "usage: vantrel-load --port N[,N...] [--host 127.0.0.1] [--dialect vantrel|irc]\n"
                 "  [--server-pid PID[,PID...]]\n"
                 "  [--clients 500] [--first-user 0] [--logon storm|storm-reconnect|paced] [--logon-limit 150]\n"
                 "  [--paced-logons 4] [--rounds 8] [--window 1] [--warmup 1] [--saturate-seconds 5]\n"
                 "  [--rate 5000] [--rate-seconds 5] [--idle 0] [--idle-users 400]\n  [--text-bytes 40]\n"
                 "  [--tls-ca FILE] [--handshakes 0] [--handshakes-in-flight 4]\n"
                 "Users are L<n> with password pw<n>; each messages the next one. Idle connections log on as\n"
                 "the --idle-users users after the clients', in turn. --tls-ca: every client speaks TLS, trusting\n"
                 "that authority. --handshakes N: rounds of N connections that close once greeted, first.\n");
    std::exit(2);
}

// "1,2,3" -> {1, 2, 3}
std::vector<long> NumberList(const char *text)
{
    std::vector<long> numbers;
    for (const char *at = text; *at;) {
        char *end = nullptr;
        numbers.push_back(std::strtol(at, &end, 10));
        at = *end == ',' ? end + 1 : end + std::strlen(end);
    }
    return numbers;
}

Options Parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc)
            Usage();
        const char *value = argv[++i];
        if (name == "--host")
            o.target.host = value;
        else if (name == "--port") {
            for (long port : NumberList(value))
                o.ports.push_back(static_cast<std::uint16_t>(port));
            o.target.port = o.ports.empty() ? 0 : o.ports.front();
        }
        else if (name == "--dialect" && std::strcmp(value, "irc") == 0)
            o.target.dialect = Dialect::Irc;
        else if (name == "--dialect" && std::strcmp(value, "vantrel") == 0)
            o.target.dialect = Dialect::Vantrel;
        else if (name == "--server-pid")
            for (long pid : NumberList(value))
                o.serverPids.push_back(static_cast<pid_t>(pid));
        else if (name == "--clients")
            o.clients = std::atoi(value);
        else if (name == "--first-user")
            o.firstUser = std::atoi(value);
        else if (name == "--logon")
            o.logon = value;
        else if (name == "--logon-limit")
            o.logonLimit = std::atof(value);
        else if (name == "--paced-logons")
            o.pacedLogons = std::atoi(value);
        else if (name == "--rounds")
            o.rounds = std::atoi(value);
        else if (name == "--window")
            o.window = std::atoi(value);
        else if (name == "--warmup")
            o.warmup = std::atof(value);
        else if (name == "--saturate-seconds")
            o.saturateSeconds = std::atof(value);
        else if (name == "--rate")
            o.rate = std::atof(value);
        else if (name == "--rate-seconds")
            o.rateSeconds = std::atof(value);
        else if (name == "--idle")
            o.idle = std::atoi(value);
        else if (name == "--idle-users")
            o.idleUsers = std::atoi(value);
        else if (name == "--text-bytes")
            o.textBytes = std::atoi(value);
        else if (name == "--tls-ca")
            o.target.tlsCaFile = value;
        else if (name == "--handshakes")
            o.handshakes = std::atol(value);
        else if (name == "--handshakes-in-flight")
            o.handshakesInFlight = std::atoi(value);
        else
            Usage();
    }
    if (o.target.port == 0 || o.clients < 2 ||
        (o.logon != "storm" && o.logon != "storm-reconnect" && o.logon != "paced") ||
        (o.idle > 0 && !o.target.tlsCaFile.empty()))
        Usage();
    return o;
}

// Figures over rounds, printed as RESULT lines at the end.
class Results {
public:
    void add(const std::string &key, double value) { m_values[key].push_back(value); }
    void print() const
    {
        for (const auto &[key, values] : m_values) {
            const MinMedian s = Summarise(values);
            std::printf("RESULT %s %.6g %.6g %d\n", key.c_str(), s.min, s.median, s.count);
        }
    }

private:
    std::map<std::string, std::vector<double>> m_values;
};

// The 1-, 5- and 15-minute load averages, as /proc gives them.
std::string LoadAverage()
{
    char text[64] = {};
    if (FILE *file = std::fopen("/proc/loadavg", "re")) {
        if (!std::fgets(text, sizeof text, file))
            text[0] = 0;
        std::fclose(file);
    }
    std::string average(text);
    const size_t third = average.find(' ', average.find(' ', average.find(' ') + 1) + 1);
    return average.substr(0, third);
}

void PrintStorm(const char *name, const StormResult &storm, int clients, Results &results)
{
    const LoadCounters &c = storm.counters;
    if (storm.complete)
        std::printf("%s: all %d logged on in %.2f s", name, clients, storm.allOnSeconds);
    else
        std::printf("%s: %d of %d logged on in %.1f s", name, storm.loggedOn, clients, storm.seconds);
    std::printf("; %ld connection attempts, %ld cut off before the logon answer, %ld refused, %ld failed connects, "
                "%ld dropped after logon\n",
                c.attempts, c.cutOff, c.refused, c.failedConnects, c.dropped);
    std::printf("%s: server %.1f CPU-s during the storm; still busy %.1f s (%.1f CPU-s) after it ended\n", name,
                storm.serverCpuSeconds, storm.busyAfterSeconds, storm.cpuAfterSeconds);
    // The bound a storm is judged by: the server's CPU time spread over every core.
    const double cores = static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN));
    const double spread = storm.serverCpuSeconds / cores;
    if (storm.complete && spread > 0.5)
        std::printf("%s: all on after %.2fx the server's CPU time over %.0f cores (%.1f s)\n", name,
                    storm.allOnSeconds / spread, cores, spread);
    // On a shared machine the server may get far less than every core: say how much it got.
    const double used = storm.seconds > 0 ? storm.serverCpuSeconds / storm.seconds : 0;
    std::printf("%s: the server used %.2f cores on average; the machine's load average is %s\n", name, used,
                LoadAverage().c_str());
    const std::string key = name;
    results.add(key + "_logged_on", storm.loggedOn);
    if (storm.complete)
        results.add(key + "_all_on_s", storm.allOnSeconds);
    results.add(key + "_attempts", static_cast<double>(c.attempts));
    results.add(key + "_cut_off", static_cast<double>(c.cutOff));
    results.add(key + "_server_cpu_s", storm.serverCpuSeconds);
    results.add(key + "_busy_after_s", storm.busyAfterSeconds);
    if (storm.complete && spread > 0.5)
        results.add(key + "_all_on_vs_cpu", storm.allOnSeconds / spread);
    results.add(key + "_server_cores", used);
}

void PrintRouting(const char *name, int round, const RoutingResult &r, Results &results)
{
    std::printf("round %d %s: %ld messages in %.2f s = %.0f msgs/s; copy back p50 %.2f ms, p99 %.2f ms; "
                "delivery p50 %.2f ms, p99 %.2f ms",
                round, name, r.messages, r.seconds, r.messagesPerSecond, r.p50Ms, r.p99Ms, r.deliveryP50Ms,
                r.deliveryP99Ms);
    if (r.serverCpuSeconds > 0)
        std::printf("; server %.2f CPU-s = %.3f per 10,000", r.serverCpuSeconds, r.cpuPer10k);
    std::printf("\n");
    const std::string key = name;
    results.add(key + "_msgs_per_s", r.messagesPerSecond);
    results.add(key + "_p50_ms", r.p50Ms);
    results.add(key + "_p99_ms", r.p99Ms);
    results.add(key + "_delivery_p50_ms", r.deliveryP50Ms);
    results.add(key + "_delivery_p99_ms", r.deliveryP99Ms);
    if (r.serverCpuSeconds > 0)
        results.add(key + "_cpu_per_10k", r.cpuPer10k);
    if (r.cpuEachSeconds.empty() || r.messages <= 0)
        return;
    std::printf("round %d %s by process, CPU-s per 10,000:", round, name);
    for (size_t i = 0; i < r.cpuEachSeconds.size(); ++i) {
        const double per10k = r.cpuEachSeconds[i] / static_cast<double>(r.messages) * 1e4;
        std::printf(" %.3f", per10k);
        results.add(key + "_cpu_per_10k_process" + std::to_string(i + 1), per10k);
    }
    std::printf("\n");
}

// The fixed rate with the clients alone, then with the idle connections open
// beside them, then alone again: opening thousands of logged-on connections (and every UADD that
// goes with them) is done once, not once a round.
int IdleRounds(LoadEngine &engine, const ProcessProbe &server, const Options &o, Results &results)
{
    for (int round = 1; round <= o.rounds; ++round)
        PrintRouting("fixed_rate", round, FixedRate(engine, server, o.rate, o.warmup, o.rateSeconds), results);
    if (!OpenIdleConnections(engine, o.idle, o.firstUser + o.clients, o.idleUsers, 600)) {
        std::printf("only %d of %d idle connections logged on (%d still open)\n", engine.idleReady(), o.idle,
                    engine.idleOpen());
        return 1;
    }
    double cpu = 0;
    WaitForQuietServer(engine, server, 120, &cpu);
    const ProcessSample memory = server.sample();
    std::printf("%d idle connections logged on beside the clients; server RSS %.1f MB\n", o.idle, memory.rssMb);
    for (int round = 1; round <= o.rounds; ++round)
        PrintRouting("fixed_rate_idle", round, FixedRate(engine, server, o.rate, o.warmup, o.rateSeconds),
                     results);
    if (engine.idleOpen() < o.idle || engine.onCount() < o.clients) {
        std::printf("the server closed %d idle connections and %d clients during the rounds\n",
                    o.idle - engine.idleOpen(), o.clients - engine.onCount());
        return 1;
    }
    // And without them again: the machine's other work changes over minutes, so
    // the rounds without idle connections come before and after those with.
    engine.closeIdle();
    WaitForQuietServer(engine, server, 120, &cpu);
    for (int round = o.rounds + 1; round <= 2 * o.rounds; ++round)
        PrintRouting("fixed_rate", round, FixedRate(engine, server, o.rate, o.warmup, o.rateSeconds), results);
    results.print();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const Options o = Parse(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    LoadEngine engine(o.target, o.clients, o.firstUser, o.textBytes);
    const ProcessProbe server(o.serverPids);
    Results results;
    if (o.ports.size() > 1) {
        engine.spreadOver(o.ports);
        std::printf("spread over %zu ports: %d of %d clients message a partner at another port\n", o.ports.size(),
                    engine.partnersElsewhere(), o.clients);
    }

    std::printf("%d clients of %s:%u (%s%s); the machine's load average is %s\n", o.clients, o.target.host.c_str(),
                o.target.port, o.target.dialect == Dialect::Irc ? "IRC" : "our wire",
                o.target.tlsCaFile.empty() ? "" : " over TLS", LoadAverage().c_str());
    for (int round = 1; o.handshakes > 0 && round <= std::max(1, o.rounds); ++round) {
        const HandshakeCostResult h = HandshakeCost(engine, server, o.handshakes, o.handshakesInFlight, 120);
        std::printf("round %d handshakes: %ld connections greeted in %.2f s; server %.2f CPU-s = %.3f ms each\n",
                    round, h.greeted, h.seconds, h.serverCpuSeconds, h.cpuPerConnection * 1e3);
        if (h.greeted < o.handshakes) {
            std::printf("only %ld of %ld connections were greeted\n", h.greeted, o.handshakes);
            return 1;
        }
        results.add("connection_cpu_ms", h.cpuPerConnection * 1e3);
    }
    if (o.logon == "paced") {
        if (!LogonPaced(engine, o.pacedLogons, o.logonLimit)) {
            std::printf("only %d of %d logged on within %.0f s\n", engine.onCount(), o.clients, o.logonLimit);
            return 1;
        }
    } else {
        const bool reconnect = o.logon == "storm-reconnect";
        const StormResult storm = LogonStorm(engine, server, reconnect, o.logonLimit);
        PrintStorm(reconnect ? "storm_reconnect" : "storm_once", storm, o.clients, results);
        if (!storm.complete && (o.rounds > 0)) {
            std::printf("logging on the other %d for the routing rounds, %d at a time\n", o.clients - storm.loggedOn,
                        o.pacedLogons);
            if (!LogonPaced(engine, o.pacedLogons, 10 * o.logonLimit)) {
                std::printf("only %d of %d logged on\n", engine.onCount(), o.clients);
                return 1;
            }
        }
    }
    if (server.active() && o.rounds > 0) {
        // The server settles (writes, list sending) before its memory is read.
        double cpu = 0;
        WaitForQuietServer(engine, server, 60, &cpu);
        const ProcessSample memory = server.sample();
        std::printf("server RSS with %d users logged on: %.1f MB (peak so far %.1f MB)\n", engine.onCount(),
                    memory.rssMb, memory.peakRssMb);
        results.add("rss_logged_on_mb", memory.rssMb);
        results.add("rss_peak_mb", memory.peakRssMb);
    }

    if (o.idle > 0)
        return IdleRounds(engine, server, o, results);
    for (int round = 1; round <= o.rounds; ++round) {
        PrintRouting("saturated", round, ClosedLoop(engine, server, o.window, o.warmup, o.saturateSeconds), results);
        PrintRouting("fixed_rate", round, FixedRate(engine, server, o.rate, o.warmup, o.rateSeconds), results);
        if (engine.onCount() < o.clients) {
            std::printf("round %d: %d clients lost their connection\n", round, o.clients - engine.onCount());
            return 1;
        }
    }
    const LoadCounters &c = engine.counters();
    std::printf("in all: %ld messages sent, %ld delivered, %ld copies back\n", c.sent, c.deliveries, c.copies);
    results.print();
    return 0;
}
