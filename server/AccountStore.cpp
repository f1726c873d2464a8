#include "server/AccountStore.h"

#include "server/PostgresStore.h"
#include "server/SqliteStore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

QSqlDatabase Db(const QString &name)
{
    return QSqlDatabase::database(name, false);
}

// Texts are blobs: cp932 bytes compare and come back exactly as stored.
QVariant Blob(const QByteArray &bytes)
{
    return QVariant(bytes.isNull() ? QByteArray("") : bytes);
}

AbsenceMessage AbsenceAt(const QSqlQuery &query)
{
    return AbsenceMessage{query.value(0).toLongLong(), query.value(1).toByteArray(), query.value(2).toByteArray(),
                          query.value(3).toByteArray()};
}

} // namespace

AccountStore::AccountStore(QString connectionName, bool postgres)
    : m_connectionName(std::move(connectionName)), m_postgres(postgres)
{
}

AccountStore::~AccountStore()
{
    m_prepared.clear(); // before the connection closes
    {
        QSqlDatabase db = Db(m_connectionName);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

std::unique_ptr<AccountStore> AccountStore::Open(const StoreLocation &where, QString *error)
{
    std::unique_ptr<AccountStore> store =
        where.isPostgres() ? OpenPostgresStore(where.postgresUrl, error) : OpenSqliteStore(where.dataDir, error);
    if (store && !store->prepare()) {
        *error = store->m_lastError;
        return nullptr;
    }
    return store;
}

std::unique_ptr<AccountStore> AccountStore::Open(const QString &dataDir, QString *error)
{
    StoreLocation where;
    where.dataDir = dataDir;
    return Open(where, error);
}

QSqlQuery &AccountStore::prepared(const QString &sql) const
{
    auto it = m_prepared.find(sql);
    if (it == m_prepared.end()) {
        it = m_prepared.insert(sql, QSqlQuery(Db(m_connectionName)));
        it->prepare(sql);
    }
    return *it;
}

bool AccountStore::exec(const QString &sql)
{
    QSqlQuery query(Db(m_connectionName));
    if (query.exec(sql))
        return true;
    m_lastError = query.lastError().text();
    return false;
}

bool AccountStore::execAll(const QStringList &statements)
{
    return std::all_of(statements.begin(), statements.end(), [this](const QString &sql) { return exec(sql); });
}

bool AccountStore::migrate(const QString &begin, const QString &lock, const QList<MigrationStep> &steps)
{
    Q_ASSERT(steps.size() == SchemaVersion);
    if (!exec(begin))
        return false;
    const auto fail = [this] {
        const QString error = m_lastError;
        exec(QStringLiteral("ROLLBACK"));
        m_lastError = QStringLiteral("cannot bring the schema to version %1: %2").arg(SchemaVersion).arg(error);
        return false;
    };
    if ((!lock.isEmpty() && !exec(lock)) ||
        !exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)")))
        return fail();
    int version = 0;
    {
        QSqlQuery query(Db(m_connectionName));
        if (!query.exec(QStringLiteral("SELECT version FROM schema_version"))) {
            m_lastError = query.lastError().text();
            return fail();
        }
        if (query.next())
            version = query.value(0).toInt();
        else if (!exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (0)")))
            return fail();
    }
    if (version > SchemaVersion) {
        m_lastError = QStringLiteral("the database is of a newer version (%1) than this program knows (%2)")
                          .arg(version)
                          .arg(SchemaVersion);
        exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    for (int step = version; step < SchemaVersion; ++step)
        if (!steps[step]())
            return fail();
    if (version < SchemaVersion &&
        !exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(SchemaVersion)))
        return fail();
    if (!exec(QStringLiteral("COMMIT")))
        return fail();
    m_stepsApplied = SchemaVersion - version;
    return true;
}

int AccountStore::schemaVersion() const
{
    QSqlQuery query(Db(m_connectionName));
    if (!query.exec(QStringLiteral("SELECT version FROM schema_version")) || !query.next())
        return 0;
    return query.value(0).toInt();
}

bool AccountStore::transaction()
{
    if (const QString begin = beginTransaction(); !begin.isEmpty()) {
        if (!exec(begin))
            return false;
    } else if (QSqlDatabase db = Db(m_connectionName); !db.transaction()) {
        m_lastError = db.lastError().text();
        return false;
    }
    ++m_transactionDepth;
    return true;
}

bool AccountStore::commit()
{
    QSqlDatabase db = Db(m_connectionName);
    m_transactionDepth = 0;
    if (db.commit())
        return true;
    m_lastError = db.lastError().text();
    return false;
}

bool AccountStore::rollback()
{
    m_transactionDepth = 0;
    return Db(m_connectionName).rollback();
}

bool AccountStore::isolated(const std::function<bool()> &work)
{
    if (m_transactionDepth == 0)
        return work();
    const QString name = QStringLiteral("step_%1").arg(++m_savepoints);
    if (!exec(QStringLiteral("SAVEPOINT ") + name))
        return false;
    if (work())
        return exec(QStringLiteral("RELEASE SAVEPOINT ") + name);
    const QString error = m_lastError;
    exec(QStringLiteral("ROLLBACK TO SAVEPOINT ") + name);
    exec(QStringLiteral("RELEASE SAVEPOINT ") + name);
    m_lastError = error;
    return false;
}

QString AccountStore::nextAccountOrder() const
{
    // Past every order a stored list has seen too, so that an account added
    // after the newest one was deleted is still new to those lists.
    return QStringLiteral("(SELECT ") +
           greatest(QStringLiteral("(SELECT COALESCE(MAX(sort_order), 0) FROM accounts)"),
                    QStringLiteral("(SELECT COALESCE(MAX(accounts_seen), 0) FROM list_owners)")) +
           QStringLiteral(" + 1)");
}

bool AccountStore::upsertAccount(const Account &account)
{
    return isolated([&] {
        QSqlQuery query(Db(m_connectionName));
        query.prepare(QStringLiteral("INSERT INTO accounts (user_id, corp, pw_hash, display_name, mail, department,"
                                     " sort_order) VALUES (?, ?, ?, ?, ?, ?, ") +
                      nextAccountOrder() +
                      QStringLiteral(") ON CONFLICT (user_id) DO UPDATE SET corp = excluded.corp,"
                                     " pw_hash = excluded.pw_hash, display_name = excluded.display_name,"
                                     " mail = excluded.mail, department = excluded.department"));
        query.addBindValue(Blob(account.id));
        query.addBindValue(account.corpIndex);
        query.addBindValue(QString::fromLatin1(account.passwordHash));
        query.addBindValue(Blob(account.displayName));
        query.addBindValue(Blob(account.mail));
        query.addBindValue(Blob(account.department));
        if (query.exec())
            return true;
        m_lastError = query.lastError().text();
        return false;
    });
}

QList<Account> AccountStore::accounts() const
{
    QList<Account> result;
    QSqlQuery query(Db(m_connectionName));
    if (!query.exec(QStringLiteral("SELECT user_id, corp, pw_hash, display_name, mail, department, disabled,"
                                   " sort_order FROM accounts ORDER BY sort_order"))) {
        m_lastError = query.lastError().text();
        return result;
    }
    while (query.next()) {
        result.append(Account{query.value(0).toByteArray(), query.value(1).toInt(),
                              query.value(2).toString().toLatin1(), query.value(3).toByteArray(),
                              query.value(4).toByteArray(), query.value(5).toByteArray(), query.value(6).toBool(),
                              query.value(7).toLongLong()});
    }
    return result;
}

std::optional<QList<ListNode>> AccountStore::storedList(const QByteArray &owner) const
{
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("SELECT 1 FROM list_owners WHERE owner = ?"));
    query.addBindValue(Blob(owner));
    if (!query.exec() || !query.next())
        return std::nullopt;
    QList<ListNode> nodes;
    query.prepare(QStringLiteral("SELECT kind, node_id, depth, display_name FROM list_nodes WHERE owner = ?"
                                 " ORDER BY position"));
    query.addBindValue(Blob(owner));
    if (!query.exec()) {
        m_lastError = query.lastError().text();
        return std::nullopt;
    }
    while (query.next())
        nodes.append(ListNode{query.value(0).toByteArray(), query.value(1).toByteArray(), query.value(2).toInt(),
                              query.value(3).toByteArray()});
    return nodes;
}

bool AccountStore::saveList(const QByteArray &owner, const QList<ListNode> &nodes)
{
    // The list is written whole or not at all, inside a batch of writes or
    // on its own.
    const bool alone = m_transactionDepth == 0;
    if (alone && !transaction())
        return false;
    const bool saved = isolated([&] {
        QSqlQuery query(Db(m_connectionName));
        const auto failed = [&] {
            m_lastError = query.lastError().text();
            return false;
        };
        query.prepare(QStringLiteral("DELETE FROM list_nodes WHERE owner = ?"));
        query.addBindValue(Blob(owner));
        if (!query.exec())
            return failed();
        query.prepare(QStringLiteral("INSERT INTO list_owners (owner, accounts_seen) VALUES (?,"
                                     " (SELECT COALESCE(MAX(sort_order), 0) FROM accounts))"
                                     " ON CONFLICT (owner) DO UPDATE SET accounts_seen = excluded.accounts_seen"));
        query.addBindValue(Blob(owner));
        if (!query.exec())
            return failed();
        query.prepare(QStringLiteral("INSERT INTO list_nodes (owner, position, kind, node_id, depth, display_name)"
                                     " VALUES (?, ?, ?, ?, ?, ?)"));
        for (qsizetype i = 0; i < nodes.size(); ++i) {
            query.addBindValue(Blob(owner));
            query.addBindValue(static_cast<qlonglong>(i));
            query.addBindValue(Blob(nodes[i].kind));
            query.addBindValue(Blob(nodes[i].id));
            query.addBindValue(nodes[i].depth);
            query.addBindValue(Blob(nodes[i].displayName));
            if (!query.exec())
                return failed();
        }
        return true;
    });
    if (!alone)
        return saved;
    if (saved && commit())
        return true;
    rollback();
    return false;
}

std::optional<qint64> AccountStore::addAbsence(const QByteArray &recipient, const AbsenceMessage &message,
                                               const QString &claimant, qint64 claimedUntil)
{
    std::optional<qint64> rowId;
    isolated([&] {
        QSqlQuery &query = prepared(QStringLiteral(
            "INSERT INTO absence_messages (recipient, received, sender_name, body, claimed_by, claim_expires)"
            " VALUES (?, ?, ?, ?, ?, ?) RETURNING id"));
        query.addBindValue(Blob(recipient));
        query.addBindValue(Blob(message.received));
        query.addBindValue(Blob(message.senderName));
        query.addBindValue(Blob(message.text));
        query.addBindValue(claimant.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(claimant));
        query.addBindValue(claimant.isEmpty() ? QVariant(QMetaType(QMetaType::LongLong)) : QVariant(claimedUntil));
        const bool ok = query.exec() && query.next();
        if (ok)
            rowId = query.value(0).toLongLong();
        else
            m_lastError = query.lastError().text();
        query.finish();
        return ok;
    });
    return rowId;
}

QList<AbsenceMessage> AccountStore::claimAbsences(const QByteArray &recipient, const QString &claimant, qint64 now,
                                                  qint64 claimedUntil)
{
    // One statement: PostgreSQL makes a second node's UPDATE wait for the
    // first one's rows and then look at them again, where it finds them
    // claimed; SQLite runs one writer at a time.
    QList<AbsenceMessage> result;
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("UPDATE absence_messages SET claimed_by = ?, claim_expires = ?"
                                 " WHERE recipient = ? AND (claimed_by IS NULL OR claimed_by = ? OR claim_expires < ?)"
                                 " RETURNING id, received, sender_name, body"));
    query.addBindValue(claimant);
    query.addBindValue(claimedUntil);
    query.addBindValue(Blob(recipient));
    query.addBindValue(claimant);
    query.addBindValue(now);
    if (!query.exec()) {
        m_lastError = query.lastError().text();
        return result;
    }
    while (query.next())
        result.append(AbsenceAt(query));
    std::sort(result.begin(), result.end(),
              [](const AbsenceMessage &a, const AbsenceMessage &b) { return a.rowId < b.rowId; });
    return result;
}

bool AccountStore::claimAbsence(qint64 rowId, const QString &claimant, qint64 now, qint64 claimedUntil)
{
    m_lastError.clear();
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("UPDATE absence_messages SET claimed_by = ?, claim_expires = ?"
                                 " WHERE id = ? AND (claimed_by IS NULL OR claimed_by = ? OR claim_expires < ?)"));
    query.addBindValue(claimant);
    query.addBindValue(claimedUntil);
    query.addBindValue(rowId);
    query.addBindValue(claimant);
    query.addBindValue(now);
    if (!query.exec()) {
        m_lastError = query.lastError().text();
        return false;
    }
    return query.numRowsAffected() == 1;
}

bool AccountStore::releaseAbsences(const QList<qint64> &rowIds, const QString &claimant)
{
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("UPDATE absence_messages SET claimed_by = NULL, claim_expires = NULL"
                                 " WHERE id = ? AND claimed_by = ?"));
    for (qint64 rowId : rowIds) {
        query.addBindValue(rowId);
        query.addBindValue(claimant);
        if (!query.exec()) {
            m_lastError = query.lastError().text();
            return false;
        }
    }
    return true;
}

bool AccountStore::releaseAllAbsenceClaims()
{
    return exec(QStringLiteral("UPDATE absence_messages SET claimed_by = NULL, claim_expires = NULL"
                               " WHERE claimed_by IS NOT NULL"));
}

bool AccountStore::commitWithoutSync()
{
    m_unsyncedCommits = true;
    return exec(unsyncedCommits());
}

bool AccountStore::reconnect()
{
    m_prepared.clear(); // they belong to the connection that broke
    m_transactionDepth = 0;
    m_savepoints = 0;
    QSqlDatabase db = Db(m_connectionName);
    db.close();
    if (!db.open()) {
        m_lastError = db.lastError().text();
        return false;
    }
    return !m_unsyncedCommits || exec(unsyncedCommits());
}

QList<AbsenceMessage> AccountStore::absencesFor(const QByteArray &recipient) const
{
    QList<AbsenceMessage> result;
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral(
        "SELECT id, received, sender_name, body FROM absence_messages WHERE recipient = ? ORDER BY id"));
    query.addBindValue(Blob(recipient));
    if (!query.exec()) {
        m_lastError = query.lastError().text();
        return result;
    }
    while (query.next())
        result.append(AbsenceAt(query));
    return result;
}

int AccountStore::absenceCount(const QByteArray &recipient) const
{
    QSqlQuery &query = prepared(QStringLiteral("SELECT COUNT(*) FROM absence_messages WHERE recipient = ?"));
    query.addBindValue(Blob(recipient));
    const int count = query.exec() && query.next() ? query.value(0).toInt() : 0;
    query.finish(); // a SQLite statement left open would hold its snapshot
    return count;
}

bool AccountStore::deleteAbsence(qint64 rowId)
{
    return isolated([&] {
        QSqlQuery &query = prepared(QStringLiteral("DELETE FROM absence_messages WHERE id = ?"));
        query.addBindValue(rowId);
        const bool ok = query.exec();
        if (!ok)
            m_lastError = query.lastError().text();
        query.finish();
        return ok;
    });
}
