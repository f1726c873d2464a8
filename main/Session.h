#pragma once

#include <QByteArray>

// What the session wants of the connection. Commands and socket events set it;
// Timer1 acts on it every 100 ms.
enum TSessionState {
    ssIdle = 0,              // nothing to do; also while a connection attempt runs
    ssConnectRequested = 1,  // open the connection at the next tick
    ssOnline = 2,            // connected; a connection found closed is opened again
    ssLogoffRequested = 50,  // close the connection at every tick
};

extern TSessionState SessionState;

// The user's display name as the server gave it in "002".
extern QByteArray OwnDisplayName;

enum class SessionStep { None, OpenSocket, CloseSocket };

// At most one step per tick, tested in this order: a requested connection is
// opened, a lost one is requested again, a logoff closes the socket (again at
// every tick, until something requests a connection).
SessionStep NextSessionStep(TSessionState &state, bool socketConnected);
