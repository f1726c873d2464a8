#pragma once

#include "LoadEngine.h"
#include "ProcessProbe.h"

// The steps a load run is made of, each on the engine's clients.

struct StormResult {
    bool complete = false;     // every client logged on within the limit
    double allOnSeconds = 0;   // from the first connect to the last logon
    double seconds = 0;        // how long the storm ran
    int loggedOn = 0;
    LoadCounters counters;     // attempts, cut-offs, refusals during the storm
    double serverCpuSeconds = 0;
    // After the storm: how long the server went on burning CPU once the
    // clients had stopped trying, and how much.
    double busyAfterSeconds = 0;
    double cpuAfterSeconds = 0;
};

// Every client connects at once. With `reconnect` a client cut off before its
// logon tries again 200 ms later (as the desktop client does), until all are
// on or the limit passes; without, each gets one attempt. Clients still not on
// at the end are disconnected.
StormResult LogonStorm(LoadEngine &engine, const ProcessProbe &server, bool reconnect, double limitSeconds);

// Waits until the server's CPU use falls below 5% of a core; returns the
// seconds it took (0 at once) and the CPU seconds spent meanwhile.
double WaitForQuietServer(LoadEngine &engine, const ProcessProbe &server, double limitSeconds, double *cpuSeconds);

// Logs on every client not yet on, at most `inFlight` logons at a time.
// Returns whether all are on within the limit.
bool LogonPaced(LoadEngine &engine, int inFlight, double limitSeconds);

struct RoutingResult {
    long messages = 0;       // copies back within the measured span
    double seconds = 0;
    double messagesPerSecond = 0;
    double p50Ms = 0;
    double p99Ms = 0;
    double deliveryP50Ms = 0; // the line at its recipient, from the time it was due
    double deliveryP99Ms = 0;
    double serverCpuSeconds = 0;
    double cpuPer10k = 0;    // server CPU seconds per 10,000 messages
    std::vector<double> cpuEachSeconds; // of each process watched, when there are several
};

// Closed loop: each client keeps `window` messages in flight and sends the
// next when a copy comes back. Measures after a warm-up.
RoutingResult ClosedLoop(LoadEngine &engine, const ProcessProbe &server, int window, double warmupSeconds,
                         double seconds);

// `rate` messages a second in total, from the clients in turn, each stamped
// with the time it was due.
RoutingResult FixedRate(LoadEngine &engine, const ProcessProbe &server, double rate, double warmupSeconds,
                        double seconds);

// Waits until every message sent has come back, or the limit passes.
bool Drain(LoadEngine &engine, double limitSeconds);

// Opens `count` idle connections, a few hundred at a time (a server may refuse
// a crowd of connections that have not logged on yet), logs them on as `users`
// users from L<firstUser> on, in turn, and waits until all are on.
bool OpenIdleConnections(LoadEngine &engine, int count, int firstUser, int users, double limitSeconds);
