#pragma once

#include "server/ServerLog.h"
#include "wire/RetryPause.h"

#include <QString>

#include <chrono>

class AccountStore;

// Whether the node's store answers. A PostgreSQL that goes away (restarted,
// failed over, the network cut) does not come back by itself on the same
// connection: while it is lost the node accepts no logon (it could read no
// member list and keep no line for an absent colleague), says so once in its
// log, and opens the connection again at growing intervals: 1, 2, 4, 8 and
// 16 s, then every 30 s, so a database that restarts is used again within a
// second or two and one that is down for long is not hammered. The users
// already on keep what needs no store: presence, messages, rooms.
class StoreHealth {
public:
    using Clock = RetryPause::Clock;

    StoreHealth(AccountStore &store, QString shownStore, LogSink log);

    // Told by the node's poll what the store answered (false: nothing); while
    // lost, tries to open it again when the pause is over. Whether the store
    // answers now.
    bool check(bool answered, Clock::time_point now = Clock::now());
    bool isLost() const { return m_lost; }

private:
    AccountStore &m_store;
    QString m_shownStore;
    LogSink m_log;
    bool m_lost = false;
    RetryPause m_retry{std::chrono::seconds(1), std::chrono::seconds(30)};
};
