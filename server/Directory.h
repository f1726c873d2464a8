#pragma once

#include "server/Account.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>

// The texts of an account that its member list node shows.
struct AccountText {
    QByteArrayView id;
    QByteArrayView displayName;
    QByteArrayView mail;
};

// The accounts as the running server knows them, loaded once at start: in
// import order for the company directory, and by id for logon and lookups.
// Copies share everything and are cheap.
class Directory {
public:
    Directory() = default;
    explicit Directory(QList<Account> accounts);

    const QList<Account> &accounts() const { return m_accounts; }
    const Account *find(const QByteArray &id) const;
    // The index in accounts() of the account with this id, or -1.
    qsizetype indexOf(const QByteArray &id) const { return m_byId.value(id, -1); }
    // Departments in the order of their first member.
    const QList<QByteArray> &departments() const { return m_departments; }
    bool hasDepartment(const QByteArray &department) const { return m_departmentNumbers.contains(department); }
    // Where a department, or the account at `index`, is in departments(); -1 for no department.
    int departmentNumber(const QByteArray &department) const { return m_departmentNumbers.value(department, -1); }
    int departmentOf(qsizetype index) const { return m_departmentOf[index]; }
    // The texts of the account at `index`, from a copy of them kept for lists.
    AccountText text(qsizetype index) const;

private:
    QList<Account> m_accounts;
    QHash<QByteArray, qsizetype> m_byId;
    QList<QByteArray> m_departments;
    QHash<QByteArray, int> m_departmentNumbers;
    QList<int> m_departmentOf;
    // A logon's list reads the id, name and mail of thousands of members,
    // department by department. In the accounts each is a record and three
    // texts apart, strewn over the heap: here they are side by side, the
    // members of a department next to each other, so that a member costs a
    // cache line or two read in order.
    QByteArray m_texts;
    QList<qsizetype> m_textAt; // by account index
};
