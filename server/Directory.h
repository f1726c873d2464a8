#pragma once

#include "server/Account.h"

#include <QHash>
#include <QList>

// The accounts as the running server knows them, loaded once at start: in
// import order for the company directory, and by id for logon and lookups.
class Directory {
public:
    Directory() = default;
    explicit Directory(QList<Account> accounts);

    const QList<Account> &accounts() const { return m_accounts; }
    const Account *find(const QByteArray &id) const;
    // Departments in the order of their first member.
    QList<QByteArray> departments() const;

private:
    QList<Account> m_accounts;
    QHash<QByteArray, qsizetype> m_byId;
};
