// Accounts changed while the server runs. Administrators change them from
// another process (vantrel-server accounts ...) in the same database, where
// triggers move a counter with every change to an account. When it moved,
// the directory is read again: a new account or password counts at the next
// logon, which checks first, and a disabled or deleted account is logged off
// at the next poll.
#include "server/ImServer.h"

#include "server/MemberList.h"
#include "server/StoredListUpdate.h"

namespace {

// Room in an uploaded list for the groups, and the copies of members, that a
// user adds to the company list the server sends.
constexpr qsizetype ExtraListNodes = 5000;

} // namespace

void ImServer::loadAccounts()
{
    m_accountsVersion = m_store->accountsVersion();
    m_directory = Directory(m_store->accounts());
    m_companyList = CompanyListFrames(m_directory);
    m_maxListNodes = m_companyList.size() + ExtraListNodes;
}

void ImServer::watchAccounts()
{
    loadAccounts();
    pollAccounts();
}

void ImServer::pollAccounts()
{
    m_accountsPoll.start(m_options.accountsPollInterval, [this] {
        refreshAccounts();
        pollAccounts();
    });
}

// The accounts' counter; nothing while the store is lost, when the accounts
// known stay as they are rather than log everyone off.
std::optional<qint64> ImServer::readAccountsVersion()
{
    qint64 version = m_store->accountsVersion();
    if (!m_storeHealth->check(version >= 0))
        return std::nullopt;
    if (version < 0) // opened again just now
        version = m_store->accountsVersion();
    return version < 0 ? std::nullopt : std::optional(version);
}

void ImServer::refreshAccounts()
{
    const std::optional<qint64> version = readAccountsVersion();
    if (!version || *version == m_accountsVersion)
        return;
    loadAccounts();
    m_options.log(QStringLiteral("the accounts changed: %1 accounts").arg(m_directory.accounts().size()));

    QList<Connection *> leaving;
    for (auto it = m_connections.constBegin(); it != m_connections.constEnd(); ++it) {
        const QByteArray &userId = it.value().userId;
        const Account *account = userId.isEmpty() ? nullptr : m_directory.find(userId);
        if (!userId.isEmpty() && (!account || account->disabled))
            leaving.append(it.key());
    }
    for (Connection *connection : leaving) {
        const QByteArray userId = m_connections.value(connection).userId;
        release(*connection); // watchers get UDEL
        // Rooms keep the seats of a user who may come back; this one cannot.
        m_seatsKept.remove(userId);
        m_rooms.leaveAll(userId);
        connection->cutOff(QStringLiteral("the account %1 was %2")
                               .arg(QString::fromLatin1(userId.toPercentEncoding()),
                                    m_directory.find(userId) ? QStringLiteral("disabled") : QStringLiteral("deleted")));
    }
}

std::optional<StoredList> ImServer::storedListOf(const QByteArray &owner) const
{
    std::optional<QList<ListNode>> stored = m_store->storedList(owner);
    if (!stored)
        return std::nullopt;
    return UpdateStoredList(m_directory, *std::move(stored), m_store->accountsSeenBy(owner));
}
