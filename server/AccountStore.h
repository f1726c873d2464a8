#pragma once

#include "server/Account.h"
#include "server/StoreLocation.h"

#include <QHash>
#include <QList>
#include <QSqlQuery>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// The server's durable state: the accounts, the lists that users uploaded,
// and the absence messages not yet delivered. Rooms live only in memory.
// Two engines keep it behind this one interface: SQLite in DIR/im.db (the
// default, SqliteStore.cpp) and PostgreSQL, which several nodes share
// (PostgresStore.cpp); the statements both understand are here. Each instance
// is used from one thread only; several may share the database.
class AccountStore {
public:
    // The schema a store is brought to when it opens.
    static constexpr int SchemaVersion = 2;

    // Opens the store, creating or migrating its schema in one transaction;
    // nothing and a reason when it cannot.
    static std::unique_ptr<AccountStore> Open(const StoreLocation &where, QString *error);
    // SQLite in the data folder.
    static std::unique_ptr<AccountStore> Open(const QString &dataDir, QString *error);
    virtual ~AccountStore();
    AccountStore(const AccountStore &) = delete;
    AccountStore &operator=(const AccountStore &) = delete;

    bool isPostgres() const { return m_postgres; }
    // The migration steps this opening applied: 0 when the schema was current.
    int schemaStepsApplied() const { return m_stepsApplied; }
    // The version the database records; 0 when it cannot be read.
    int schemaVersion() const;

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
    // Moves with every change to an account, whoever makes it; 0 when it
    // cannot be read.
    qint64 accountsVersion() const; // -1 when it cannot be read

    // The owner's uploaded list, or nothing when the owner never uploaded one.
    std::optional<QList<ListNode>> storedList(const QByteArray &owner) const;
    bool saveList(const QByteArray &owner, const QList<ListNode> &nodes);

    // Absence messages. A node delivering messages claims them first, in one
    // statement that no other node can interleave with: a message claimed by
    // one node is not given to another until the claim is released or, its
    // node dead, expires. Times are milliseconds since the epoch.
    // Stores the message, claimed by `claimant` until `claimedUntil` when a
    // claimant is given (its recipient is online at that node).
    std::optional<qint64> addAbsence(const QByteArray &recipient, const AbsenceMessage &message,
                                     const QString &claimant = {}, qint64 claimedUntil = 0);
    // Claims for `claimant` the recipient's messages that nobody else holds
    // (those it holds already included), oldest first.
    QList<AbsenceMessage> claimAbsences(const QByteArray &recipient, const QString &claimant, qint64 now,
                                        qint64 claimedUntil);
    // Claims the one message for `claimant`; false when another holds it
    // or it is gone, or when the store fails: lastError() is empty unless so.
    bool claimAbsence(qint64 rowId, const QString &claimant, qint64 now, qint64 claimedUntil);
    // Gives the claimant's claims on these messages up: they wait for the next logon.
    bool releaseAbsences(const QList<qint64> &rowIds, const QString &claimant);
    // Gives every claim up; for a store no other process delivers from.
    bool releaseAllAbsenceClaims();
    // Lets this connection's commits return before they reach the disk: for
    // a connection that writes only claims, which a power cut may lose (the
    // messages are then delivered again). Other connections keep theirs.
    bool commitWithoutSync();
    // Every message waiting for the recipient, claimed or not, oldest first.
    QList<AbsenceMessage> absencesFor(const QByteArray &recipient) const;
    int absenceCount(const QByteArray &recipient) const;
    bool deleteAbsence(qint64 rowId);

    // Opens the connection to the database again, as it was set up: a
    // PostgreSQL connection that broke does not come back by itself.
    bool reconnect();

    bool transaction();
    bool commit();
    bool rollback();
    // Runs `work` so that its failure undoes only what it did: in a
    // transaction (where PostgreSQL would otherwise refuse everything after
    // the failed statement) behind a savepoint, outside one as it is.
    bool isolated(const std::function<bool()> &work);

    QString lastError() const { return m_lastError; }
    // Qt's name of the store's database connection.
    QString connectionName() const { return m_connectionName; }

protected:
    AccountStore(QString connectionName, bool postgres);
    // The engine's own part of the opening: its settings, then migrate().
    virtual bool prepare() = 0;
    // The engine's setting for commitWithoutSync().
    virtual QString unsyncedCommits() const = 0;
    // The statement that opens a transaction; empty for the driver's own.
    virtual QString beginTransaction() const { return {}; }
    // The SQL value of the greater of two.
    virtual QString greatest(const QString &a, const QString &b) const = 0;

    // Brings the schema from the recorded version to SchemaVersion in one
    // transaction that `begin` opens (and that holds off every other
    // opening of the same database); step i takes version i to i + 1.
    using MigrationStep = std::function<bool()>;
    bool migrate(const QString &begin, const QString &lock, const QList<MigrationStep> &steps);
    bool exec(const QString &sql);
    bool execAll(const QStringList &statements);
    mutable QString m_lastError;

private:
    // The SQL value of the next account's order.
    QString nextAccountOrder() const;
    // The statement, prepared once for this connection: the writer runs a
    // few statements again and again, and PostgreSQL would otherwise take
    // three round trips (prepare, execute, deallocate) for each.
    QSqlQuery &prepared(const QString &sql) const;

    mutable QHash<QString, QSqlQuery> m_prepared;

    QString m_connectionName;
    bool m_postgres = false;
    int m_stepsApplied = 0;
    int m_transactionDepth = 0;
    int m_savepoints = 0;
    bool m_unsyncedCommits = false;
};
