#include "server/Directory.h"

Directory::Directory(QList<Account> accounts) : m_accounts(std::move(accounts))
{
    for (qsizetype i = 0; i < m_accounts.size(); ++i) {
        m_byId.insert(m_accounts[i].id, i);
        if (!m_departmentSet.contains(m_accounts[i].department)) {
            m_departmentSet.insert(m_accounts[i].department);
            m_departments.append(m_accounts[i].department);
        }
    }
}

const Account *Directory::find(const QByteArray &id) const
{
    const auto it = m_byId.constFind(id);
    return it == m_byId.constEnd() ? nullptr : &m_accounts[*it];
}
