#pragma once

#include "server/Account.h"

#include <QHash>
#include <QList>
#include <QSet>

// The accounts as the running server knows them, loaded once at start: in
// import order for the company directory, and by id for logon and lookups.
class Directory {
public:
    Directory() = default;
    explicit Directory(QList<Account> accounts);

    const QList<Account> &accounts() const { return m_accounts; }
    const Account *find(const QByteArray &id) const;
    // Departments in the order of their first member.
    const QList<QByteArray> &departments() const { return m_departments; }
    bool hasDepartment(const QByteArray &department) const { return m_departmentSet.contains(department); }

private:
    QList<Account> m_accounts;
    QHash<QByteArray, qsizetype> m_byId;
    QList<QByteArray> m_departments;
    QSet<QByteArray> m_departmentSet;
};
