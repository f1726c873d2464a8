#include "server/AccountStore.h"

#include "server/DataFolder.h"

#include <QAtomicInt>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QSqlDatabase Db(const QString &name)
{
    return QSqlDatabase::database(name, false);
}

QString NextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("vantrel-store-%1").arg(counter.fetchAndAddRelaxed(1));
}

// Texts are blobs: cp932 bytes compare and come back exactly as stored.
QVariant Blob(const QByteArray &bytes)
{
    return QVariant(bytes.isNull() ? QByteArray("") : bytes);
}

} // namespace

AccountStore::AccountStore(QString connectionName) : m_connectionName(std::move(connectionName)) {}

AccountStore::~AccountStore()
{
    {
        QSqlDatabase db = Db(m_connectionName);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

std::unique_ptr<AccountStore> AccountStore::Open(const QString &dataDir, QString *error)
{
    if (!PrepareDataFolder(dataDir, error))
        return nullptr;
    std::unique_ptr<AccountStore> store(new AccountStore(NextConnectionName()));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), store->m_connectionName);
        db.setDatabaseName(QDir(dataDir).filePath(QStringLiteral("im.db")));
        if (!db.open()) {
            *error = db.lastError().text();
            return nullptr;
        }
    }
    if (!store->createSchema()) {
        *error = store->m_lastError;
        return nullptr;
    }
    return store;
}

bool AccountStore::exec(const QString &sql)
{
    QSqlQuery query(Db(m_connectionName));
    if (query.exec(sql))
        return true;
    m_lastError = query.lastError().text();
    return false;
}

bool AccountStore::createSchema()
{
    // WAL lets readers go on while a write commits; FULL makes a stored absence
    // message survive a power cut, which is what "stored" promises the sender.
    // The server reads on its event loop while its writer thread commits; a
    // reader waits briefly rather than fail in the rare moments WAL locks it out.
    return exec(QStringLiteral("PRAGMA journal_mode=WAL")) && exec(QStringLiteral("PRAGMA synchronous=FULL")) &&
           exec(QStringLiteral("PRAGMA busy_timeout=2000")) &&
           exec(QStringLiteral("CREATE TABLE IF NOT EXISTS accounts ("
                               " user_id BLOB PRIMARY KEY, corp INTEGER NOT NULL, pw_hash TEXT NOT NULL,"
                               " display_name BLOB NOT NULL, mail BLOB NOT NULL, department BLOB NOT NULL,"
                               " sort_order INTEGER NOT NULL)")) &&
           // Each import reads the greatest sort_order: without the index that is
           // a scan per account, quadratic in the size of the company.
           exec(QStringLiteral("CREATE INDEX IF NOT EXISTS accounts_by_order ON accounts (sort_order)")) &&
           exec(QStringLiteral("CREATE TABLE IF NOT EXISTS list_owners (owner BLOB PRIMARY KEY)")) &&
           exec(QStringLiteral("CREATE TABLE IF NOT EXISTS list_nodes ("
                               " owner BLOB NOT NULL, position INTEGER NOT NULL, kind BLOB NOT NULL,"
                               " node_id BLOB NOT NULL, depth INTEGER NOT NULL, display_name BLOB NOT NULL,"
                               " PRIMARY KEY (owner, position))")) &&
           exec(QStringLiteral("CREATE TABLE IF NOT EXISTS absence_messages ("
                               " id INTEGER PRIMARY KEY AUTOINCREMENT, recipient BLOB NOT NULL,"
                               " received BLOB NOT NULL, sender_name BLOB NOT NULL, body BLOB NOT NULL)")) &&
           exec(QStringLiteral("CREATE INDEX IF NOT EXISTS absence_by_recipient ON absence_messages (recipient, id)")) &&
           upgradeSchema();
}

bool AccountStore::transaction()
{
    return Db(m_connectionName).transaction();
}

bool AccountStore::commit()
{
    QSqlDatabase db = Db(m_connectionName);
    if (db.commit())
        return true;
    m_lastError = db.lastError().text();
    return false;
}

bool AccountStore::rollback()
{
    return Db(m_connectionName).rollback();
}

bool AccountStore::upsertAccount(const Account &account)
{
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("INSERT INTO accounts (user_id, corp, pw_hash, display_name, mail, department,"
                                 " sort_order) VALUES (?, ?, ?, ?, ?, ?, ") +
                  nextAccountOrder() +
                  QStringLiteral(") ON CONFLICT (user_id) DO UPDATE SET corp = excluded.corp, pw_hash = excluded.pw_hash,"
                                 " display_name = excluded.display_name, mail = excluded.mail,"
                                 " department = excluded.department"));
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
    // A savepoint, not a transaction: the list is written whole or not at
    // all, inside a batch of writes or on its own.
    if (!exec(QStringLiteral("SAVEPOINT save_list")))
        return false;
    QSqlQuery query(Db(m_connectionName));
    auto fail = [&] {
        m_lastError = query.lastError().text();
        exec(QStringLiteral("ROLLBACK TO save_list"));
        exec(QStringLiteral("RELEASE save_list"));
        return false;
    };
    query.prepare(QStringLiteral("DELETE FROM list_nodes WHERE owner = ?"));
    query.addBindValue(Blob(owner));
    if (!query.exec())
        return fail();
    query.prepare(QStringLiteral("INSERT INTO list_owners (owner, accounts_seen) VALUES (?,"
                                 " (SELECT COALESCE(MAX(sort_order), 0) FROM accounts))"
                                 " ON CONFLICT (owner) DO UPDATE SET accounts_seen = excluded.accounts_seen"));
    query.addBindValue(Blob(owner));
    if (!query.exec())
        return fail();
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
            return fail();
    }
    return exec(QStringLiteral("RELEASE save_list"));
}

std::optional<qint64> AccountStore::addAbsence(const QByteArray &recipient, const AbsenceMessage &message)
{
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral(
        "INSERT INTO absence_messages (recipient, received, sender_name, body) VALUES (?, ?, ?, ?)"));
    query.addBindValue(Blob(recipient));
    query.addBindValue(Blob(message.received));
    query.addBindValue(Blob(message.senderName));
    query.addBindValue(Blob(message.text));
    if (!query.exec()) {
        m_lastError = query.lastError().text();
        return std::nullopt;
    }
    return query.lastInsertId().toLongLong();
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
        result.append(AbsenceMessage{query.value(0).toLongLong(), query.value(1).toByteArray(),
                                     query.value(2).toByteArray(), query.value(3).toByteArray()});
    return result;
}

int AccountStore::absenceCount(const QByteArray &recipient) const
{
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM absence_messages WHERE recipient = ?"));
    query.addBindValue(Blob(recipient));
    if (!query.exec() || !query.next())
        return 0;
    return query.value(0).toInt();
}

bool AccountStore::deleteAbsence(qint64 rowId)
{
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("DELETE FROM absence_messages WHERE id = ?"));
    query.addBindValue(rowId);
    if (query.exec())
        return true;
    m_lastError = query.lastError().text();
    return false;
}
