#include "server/SqliteStore.h"

#include "server/DataFolder.h"

#include <QAtomicInt>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString NextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("vantrel-sqlite-%1").arg(counter.fetchAndAddRelaxed(1));
}

class SqliteStore final : public AccountStore {
public:
    explicit SqliteStore(QString connectionName) : AccountStore(std::move(connectionName), false) {}

protected:
    bool prepare() override
    {
        // WAL lets readers go on while a write commits; FULL makes a stored
        // absence message survive a power cut, which is what "stored" promises
        // the sender. The server reads on its event loop while its writer
        // thread commits; a reader waits briefly rather than fail in the rare
        // moments WAL locks it out. (None of these may run in a transaction.)
        return exec(QStringLiteral("PRAGMA journal_mode=WAL")) && exec(QStringLiteral("PRAGMA synchronous=FULL")) &&
               exec(QStringLiteral("PRAGMA busy_timeout=2000")) &&
               // IMMEDIATE: a second opening waits for the first one's migration.
               migrate(beginTransaction(), {},
                       {[this] { return createTables() && addLaterColumns() && addChangeCounter(); },
                        [this] { return addAbsenceClaims(); }});
    }

    // In WAL, NORMAL syncs at checkpoints only; the next commit of a FULL
    // connection syncs the log with this one's frames in it.
    QString unsyncedCommits() const override { return QStringLiteral("PRAGMA synchronous=NORMAL"); }

    // A transaction that reads before it writes (is the recipient's queue
    // full? then add the message) cannot wait its turn to write once another
    // connection has written since its read: SQLite refuses it at once, and
    // the message would be lost. Taking the write lock at the start waits,
    // as the busy timeout allows.
    QString beginTransaction() const override { return QStringLiteral("BEGIN IMMEDIATE"); }

    QString greatest(const QString &a, const QString &b) const override
    {
        return QStringLiteral("MAX(%1, %2)").arg(a, b);
    }

private:
    // Version 1: the tables as they were before the schema had a version;
    // databases from then have some of them already.
    bool createTables()
    {
        return execAll({QStringLiteral("CREATE TABLE IF NOT EXISTS accounts ("
                                       " user_id BLOB PRIMARY KEY, corp INTEGER NOT NULL, pw_hash TEXT NOT NULL,"
                                       " display_name BLOB NOT NULL, mail BLOB NOT NULL, department BLOB NOT NULL,"
                                       " sort_order INTEGER NOT NULL)"),
                        // Each import reads the greatest sort_order: without the index
                        // that is a scan per account, quadratic in the size of the company.
                        QStringLiteral("CREATE INDEX IF NOT EXISTS accounts_by_order ON accounts (sort_order)"),
                        QStringLiteral("CREATE TABLE IF NOT EXISTS list_owners (owner BLOB PRIMARY KEY)"),
                        QStringLiteral("CREATE TABLE IF NOT EXISTS list_nodes ("
                                       " owner BLOB NOT NULL, position INTEGER NOT NULL, kind BLOB NOT NULL,"
                                       " node_id BLOB NOT NULL, depth INTEGER NOT NULL, display_name BLOB NOT NULL,"
                                       " PRIMARY KEY (owner, position))"),
                        QStringLiteral("CREATE TABLE IF NOT EXISTS absence_messages ("
                                       " id INTEGER PRIMARY KEY AUTOINCREMENT, recipient BLOB NOT NULL,"
                                       " received BLOB NOT NULL, sender_name BLOB NOT NULL, body BLOB NOT NULL)"),
                        QStringLiteral("CREATE INDEX IF NOT EXISTS absence_by_recipient"
                                       " ON absence_messages (recipient, id)")});
    }

    bool addLaterColumns()
    {
        // Databases made before accounts could be disabled, and before lists
        // recorded the accounts they had seen, lack the columns. Lists stored
        // until then count as having seen every account there is now.
        QSqlQuery query(QSqlDatabase::database(connectionName(), false));
        if (!query.exec(QStringLiteral(
                "SELECT (SELECT COUNT(*) FROM pragma_table_info('accounts') WHERE name = 'disabled'),"
                " (SELECT COUNT(*) FROM pragma_table_info('list_owners') WHERE name = 'accounts_seen')")) ||
            !query.next()) {
            m_lastError = query.lastError().text();
            return false;
        }
        const bool hasDisabled = query.value(0).toInt() > 0;
        const bool hasSeen = query.value(1).toInt() > 0;
        query.finish();
        return (hasDisabled ||
                exec(QStringLiteral("ALTER TABLE accounts ADD COLUMN disabled INTEGER NOT NULL DEFAULT 0"))) &&
               (hasSeen || (exec(QStringLiteral("ALTER TABLE list_owners ADD COLUMN accounts_seen INTEGER")) &&
                            exec(QStringLiteral("UPDATE list_owners SET accounts_seen ="
                                                " (SELECT COALESCE(MAX(sort_order), 0) FROM accounts)")))) &&
               // The next account's order reads the greatest of these at every
               // import line.
               exec(QStringLiteral("CREATE INDEX IF NOT EXISTS list_owners_by_seen ON list_owners (accounts_seen)"));
    }

    bool addChangeCounter()
    {
        // Every change to an account, whoever makes it, moves the counter; a
        // running server compares it to notice an administrator's changes.
        // (SQLite's data_version would move with the server's own writer too.)
        if (!exec(QStringLiteral("CREATE TABLE IF NOT EXISTS accounts_changes"
                                 " (id INTEGER PRIMARY KEY CHECK (id = 1), counter INTEGER NOT NULL)")) ||
            !exec(QStringLiteral("INSERT INTO accounts_changes (id, counter) VALUES (1, 0) ON CONFLICT DO NOTHING")))
            return false;
        for (const char *event : {"INSERT", "UPDATE", "DELETE"}) {
            const QString name = QStringLiteral("accounts_changed_on_%1").arg(QString::fromLatin1(event).toLower());
            if (!exec(QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER %2 ON accounts"
                                     " BEGIN UPDATE accounts_changes SET counter = counter + 1; END")
                          .arg(name, QString::fromLatin1(event))))
                return false;
        }
        return true;
    }

    // Version 2: the node delivering a message claims it for a while.
    bool addAbsenceClaims()
    {
        return execAll({QStringLiteral("ALTER TABLE absence_messages ADD COLUMN claimed_by TEXT"),
                        QStringLiteral("ALTER TABLE absence_messages ADD COLUMN claim_expires INTEGER")});
    }
};

} // namespace

std::unique_ptr<AccountStore> OpenSqliteStore(const QString &dataDir, QString *error)
{
    if (!PrepareDataFolder(dataDir, error))
        return nullptr;
    auto store = std::make_unique<SqliteStore>(NextConnectionName());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), store->connectionName());
        db.setDatabaseName(QDir(dataDir).filePath(QStringLiteral("im.db")));
        if (!db.open()) {
            *error = db.lastError().text();
            return nullptr;
        }
    }
    return store;
}
