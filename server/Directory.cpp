#include "server/Directory.h"

Directory::Directory(QList<Account> accounts) : m_accounts(std::move(accounts))
{
    for (qsizetype i = 0; i < m_accounts.size(); ++i)
        m_byId.insert(m_accounts[i].id, i);
}

const Account *Directory::find(const QByteArray &id) const
{
    const auto it = m_byId.constFind(id);
    return it == m_byId.constEnd() ? nullptr : &m_accounts[*it];
}

QList<QByteArray> Directory::departments() const
{
    QList<QByteArray> result;
    for (const Account &account : m_accounts)
        if (!result.contains(account.department))
            result.append(account.department);
    return result;
}
