#include "server/StoreHealth.h"

#include "server/AccountStore.h"

namespace {

constexpr std::chrono::seconds LongestPause{30};

} // namespace

StoreHealth::StoreHealth(AccountStore &store, QString shownStore, LogSink log)
    : m_store(store), m_shownStore(std::move(shownStore)), m_log(std::move(log)) {}

bool StoreHealth::check(bool answered, Clock::time_point now) {
    if (answered && !m_lost)
        return true;
    if (!m_lost) {
        m_lost = true;
        m_pause = std::chrono::seconds(1);
        m_nextAttempt = now + m_pause;
        m_log(QStringLiteral("lost the store at %1: %2; accepting no logon until it is back")
                  .arg(m_shownStore, m_store.lastError().trimmed()));
        return false;
    }
    if (now < m_nextAttempt)
        return false;
    if (!m_store.reconnect()) {
        m_pause = std::min(m_pause * 2, LongestPause);
        m_nextAttempt = now + m_pause;
        return false;
    }
    m_lost = false;
    m_log(QStringLiteral("the store at %1 is back; accepting logons again").arg(m_shownStore));
    return true;
}
