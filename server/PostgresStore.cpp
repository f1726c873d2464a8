#include "server/PostgresStore.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>

namespace {

QString NextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("vantrel-postgres-%1").arg(counter.fetchAndAddRelaxed(1));
}

class PostgresStore final : public AccountStore {
public:
    explicit PostgresStore(QString connectionName) : AccountStore(std::move(connectionName), true) {}

protected:
    bool prepare() override
    {
        // The advisory lock holds off the other nodes that start at the same
        // moment until this one's migration is committed.
        return exec(QStringLiteral("SET client_min_messages = warning")) &&
               migrate(QStringLiteral("BEGIN"), QStringLiteral("SELECT pg_advisory_xact_lock(736501)"),
                       {[this] { return createTables(); }, [this] { return addAbsenceClaims(); }});
    }

    QString unsyncedCommits() const override { return QStringLiteral("SET synchronous_commit = off"); }

    QString greatest(const QString &a, const QString &b) const override
    {
        return QStringLiteral("GREATEST(%1, %2)").arg(a, b);
    }

private:
    // Version 1: what SQLite databases had before the schema had a version.
    // Texts are BYTEA: cp932 bytes compare and come back exactly as stored.
    bool createTables()
    {
        return execAll(
            {QStringLiteral("CREATE TABLE accounts ("
                            " user_id BYTEA PRIMARY KEY, corp INTEGER NOT NULL, pw_hash TEXT NOT NULL,"
                            " display_name BYTEA NOT NULL, mail BYTEA NOT NULL, department BYTEA NOT NULL,"
                            " sort_order BIGINT NOT NULL, disabled INTEGER NOT NULL DEFAULT 0)"),
             QStringLiteral("CREATE INDEX accounts_by_order ON accounts (sort_order)"),
             QStringLiteral("CREATE TABLE list_owners (owner BYTEA PRIMARY KEY, accounts_seen BIGINT)"),
             QStringLiteral("CREATE INDEX list_owners_by_seen ON list_owners (accounts_seen)"),
             QStringLiteral("CREATE TABLE list_nodes ("
                            " owner BYTEA NOT NULL, position INTEGER NOT NULL, kind BYTEA NOT NULL,"
                            " node_id BYTEA NOT NULL, depth INTEGER NOT NULL, display_name BYTEA NOT NULL,"
                            " PRIMARY KEY (owner, position))"),
             QStringLiteral("CREATE TABLE absence_messages ("
                            " id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, recipient BYTEA NOT NULL,"
                            " received BYTEA NOT NULL, sender_name BYTEA NOT NULL, body BYTEA NOT NULL)"),
             QStringLiteral("CREATE INDEX absence_by_recipient ON absence_messages (recipient, id)"),
             // Every change to an account, whoever makes it, moves the counter;
             // a running server compares it to notice an administrator's changes.
             QStringLiteral("CREATE TABLE accounts_changes"
                            " (id INTEGER PRIMARY KEY CHECK (id = 1), counter BIGINT NOT NULL)"),
             QStringLiteral("INSERT INTO accounts_changes (id, counter) VALUES (1, 0)"),
             QStringLiteral("CREATE FUNCTION accounts_changed() RETURNS trigger LANGUAGE plpgsql AS"
                            " $$ BEGIN UPDATE accounts_changes SET counter = counter + 1; RETURN NULL; END $$"),
             QStringLiteral("CREATE TRIGGER accounts_changed AFTER INSERT OR UPDATE OR DELETE ON accounts"
                            " FOR EACH ROW EXECUTE FUNCTION accounts_changed()")});
    }

    // Version 2: the node delivering a message claims it for a while.
    bool addAbsenceClaims()
    {
        return exec(QStringLiteral("ALTER TABLE absence_messages ADD COLUMN claimed_by TEXT,"
                                   " ADD COLUMN claim_expires BIGINT"));
    }
};

} // namespace

std::unique_ptr<AccountStore> OpenPostgresStore(const QString &url, QString *error)
{
    PostgresAddress address;
    if (!ParsePostgresUrl(url, &address, error))
        return nullptr;
    const QString shown = QStringLiteral("%1:%2/%3").arg(address.host).arg(address.port).arg(address.database);
    auto store = std::make_unique<PostgresStore>(NextConnectionName());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), store->connectionName());
        if (!db.isValid()) {
            *error = QStringLiteral("cannot use PostgreSQL at %1: Qt's QPSQL driver is not installed"
                                    " (Debian package libqt6sql6-psql)")
                         .arg(shown);
            return nullptr;
        }
        db.setHostName(address.host);
        db.setPort(address.port);
        db.setUserName(address.user);
        db.setPassword(address.password);
        db.setDatabaseName(address.database);
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
        if (!db.open()) {
            *error = QStringLiteral("cannot reach PostgreSQL at %1: %2").arg(shown, db.lastError().text().trimmed());
            return nullptr;
        }
    }
    return store;
}
