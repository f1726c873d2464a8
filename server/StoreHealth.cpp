#include "server/StoreHealth.h"

#include "server/AccountStore.h"

StoreHealth::StoreHealth(AccountStore &store, QString shownStore, LogSink log)
    : m_store(store), m_shownStore(std::move(shownStore)), m_log(std::move(log)) {}

bool StoreHealth::check(bool answered, Clock::time_point now) {
    if (answered && !m_lost)
        return true;
    if (!m_lost) {
        m_lost = true;
        m_retry.failed(now);
        m_log(QStringLiteral("lost the store at %1: %2; accepting no logon until it is back")
                  .arg(m_shownStore, m_store.lastError().trimmed()));
        return false;
    }
    if (m_retry.holds(now))
        return false;
    if (!m_store.reconnect()) {
        m_retry.failed(now);
        return false;
    }
    m_lost = false;
    m_retry.reset();
    m_log(QStringLiteral("the store at %1 is back; accepting logons again").arg(m_shownStore));
    return true;
}
