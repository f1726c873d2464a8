#pragma once

#include "server/Account.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

// The server's durable state in DIR/im.db (SQLite, WAL): the accounts, the
// lists that users uploaded, and the absence messages not yet delivered.
// Each instance is used from one thread only; several may share the file.
class AccountStore {
public:
    // Opens or creates the database; nothing and a reason when it cannot.
    static std::unique_ptr<AccountStore> Open(const QString &dataDir, QString *error);
    ~AccountStore();
    AccountStore(const AccountStore &) = delete;
    AccountStore &operator=(const AccountStore &) = delete;

    // Adds the account, or updates the one with the same id (which keeps its
    // place in the directory).
    bool upsertAccount(const Account &account);
    // All accounts, in the order in which they were first imported.
    QList<Account> accounts() const;

    // Administration (AccountStoreAdmin.cpp). Each is one transaction; false
    // and lastError() when nothing was changed.
    std::optional<Account> account(const QByteArray &id) const;
    bool addAccount(const Account &account); // refuses an id that exists
    bool setPasswordHash(const QByteArray &id, const QByteArray &hash);
    bool setDisabled(const QByteArray &id, bool disabled);
    // Also deletes the account's own list and the absence messages waiting for it.
    bool deleteAccount(const QByteArray &id);
    // The greatest account order when the owner last uploaded a list:
    // accounts after it are new to that list.
    qint64 accountsSeenBy(const QByteArray &owner) const;
    // The SQL value of the next account's order.
    static QString nextAccountOrder();
    // Moves with every change to an account, whoever makes it; 0 when it
    // cannot be read.
    qint64 accountsVersion() const;

    // The owner's uploaded list, or nothing when the owner never uploaded one.
    std::optional<QList<ListNode>> storedList(const QByteArray &owner) const;
    bool saveList(const QByteArray &owner, const QList<ListNode> &nodes);

    std::optional<qint64> addAbsence(const QByteArray &recipient, const AbsenceMessage &message);
    QList<AbsenceMessage> absencesFor(const QByteArray &recipient) const;
    int absenceCount(const QByteArray &recipient) const;
    bool deleteAbsence(qint64 rowId);

    bool transaction();
    bool commit();
    bool rollback();

    QString lastError() const { return m_lastError; }

private:
    explicit AccountStore(QString connectionName);
    bool createSchema();
    bool upgradeSchema();
    bool addChangeCounter();
    bool exec(const QString &sql);

    QString m_connectionName;
    mutable QString m_lastError;
};
