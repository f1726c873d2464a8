#pragma once

#include "LoadEngine.h"
#include "ProcessProbe.h"

struct HandshakeCostResult {
    long greeted = 0;
    double seconds = 0;
    double serverCpuSeconds = 0;
    double cpuPerConnection = 0; // server CPU seconds per connection greeted
};

// `count` connections, `inFlight` at a time, each closing as soon as the
// server greets it: what a connection costs the server up to the logon
// request, which over TLS is mostly the handshake. Run before the logon, on
// clients that are down.
HandshakeCostResult HandshakeCost(LoadEngine &engine, const ProcessProbe &server, long count, int inFlight,
                                  double limitSeconds);
