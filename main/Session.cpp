#include "main/Session.h"

TSessionState SessionState = ssIdle;
QByteArray OwnDisplayName;

SessionStep NextSessionStep(TSessionState &state, bool socketConnected)
{
    switch (state) {
    case ssConnectRequested:
        state = ssIdle;
        return SessionStep::OpenSocket;
    case ssOnline:
        if (!socketConnected)
            state = ssConnectRequested;
        return SessionStep::None;
    case ssLogoffRequested:
        return SessionStep::CloseSocket;
    case ssIdle:
        break;
    }
    return SessionStep::None;
}
