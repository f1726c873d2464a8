// The administrator's changes to single accounts, and the counter by which a
// running server notices them.
#include "server/AccountStore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <limits>

namespace {

QSqlDatabase Db(const QString &name)
{
    return QSqlDatabase::database(name, false);
}

} // namespace

qint64 AccountStore::accountsSeenBy(const QByteArray &owner) const
{
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("SELECT accounts_seen FROM list_owners WHERE owner = ?"));
    query.addBindValue(owner);
    if (!query.exec() || !query.next() || query.value(0).isNull())
        return std::numeric_limits<qint64>::max();
    return query.value(0).toLongLong();
}

std::optional<Account> AccountStore::account(const QByteArray &id) const
{
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("SELECT user_id, corp, pw_hash, display_name, mail, department, disabled,"
                                 " sort_order FROM accounts WHERE user_id = ?"));
    query.addBindValue(id);
    if (!query.exec()) {
        m_lastError = query.lastError().text();
        return std::nullopt;
    }
    if (!query.next())
        return std::nullopt;
    return Account{query.value(0).toByteArray(), query.value(1).toInt(), query.value(2).toString().toLatin1(),
                   query.value(3).toByteArray(), query.value(4).toByteArray(), query.value(5).toByteArray(),
                   query.value(6).toBool(), query.value(7).toLongLong()};
}

bool AccountStore::addAccount(const Account &account)
{
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("INSERT INTO accounts (user_id, corp, pw_hash, display_name, mail, department,"
                                 " disabled, sort_order) VALUES (?, ?, ?, ?, ?, ?, ?, ") +
                  nextAccountOrder() + QStringLiteral(")"));
    query.addBindValue(account.id);
    query.addBindValue(account.corpIndex);
    query.addBindValue(QString::fromLatin1(account.passwordHash));
    query.addBindValue(account.displayName);
    query.addBindValue(account.mail.isNull() ? QByteArray("") : account.mail);
    query.addBindValue(account.department);
    query.addBindValue(account.disabled ? 1 : 0);
    if (query.exec())
        return true;
    m_lastError = query.lastError().text();
    return false;
}

namespace {

// Runs one statement that must change exactly one account.
bool ChangeOne(QSqlQuery &query, QString *lastError)
{
    if (!query.exec()) {
        *lastError = query.lastError().text();
        return false;
    }
    if (query.numRowsAffected() != 1) {
        *lastError = QStringLiteral("no such account");
        return false;
    }
    return true;
}

} // namespace

bool AccountStore::setPasswordHash(const QByteArray &id, const QByteArray &hash)
{
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("UPDATE accounts SET pw_hash = ? WHERE user_id = ?"));
    query.addBindValue(QString::fromLatin1(hash));
    query.addBindValue(id);
    return ChangeOne(query, &m_lastError);
}

bool AccountStore::setDisabled(const QByteArray &id, bool disabled)
{
    QSqlQuery query(Db(m_connectionName));
    query.prepare(QStringLiteral("UPDATE accounts SET disabled = ? WHERE user_id = ?"));
    query.addBindValue(disabled ? 1 : 0);
    query.addBindValue(id);
    return ChangeOne(query, &m_lastError);
}

bool AccountStore::deleteAccount(const QByteArray &id)
{
    QSqlDatabase db = Db(m_connectionName);
    if (!db.transaction()) {
        m_lastError = db.lastError().text();
        return false;
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral("DELETE FROM accounts WHERE user_id = ?"));
    query.addBindValue(id);
    bool ok = ChangeOne(query, &m_lastError);
    for (const char *sql : {"DELETE FROM list_nodes WHERE owner = ?", "DELETE FROM list_owners WHERE owner = ?",
                            "DELETE FROM absence_messages WHERE recipient = ?"}) {
        if (!ok)
            break;
        query.prepare(QString::fromLatin1(sql));
        query.addBindValue(id);
        ok = query.exec();
        if (!ok)
            m_lastError = query.lastError().text();
    }
    if (ok && db.commit())
        return true;
    if (ok)
        m_lastError = db.lastError().text();
    db.rollback();
    return false;
}

qint64 AccountStore::accountsVersion() const
{
    QSqlQuery query(Db(m_connectionName));
    if (!query.exec(QStringLiteral("SELECT counter FROM accounts_changes")) || !query.next()) {
        m_lastError = query.lastError().text();
        return -1;
    }
    return query.value(0).toLongLong();
}
