#include "server/AccountAdmin.h"

#include "server/AccountFields.h"
#include "server/AccountStore.h"
#include "server/PasswordHash.h"
#include "wire/Cp932.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <variant>

namespace {

enum Status { Done = 0, Refused = 1, Usage = 2 };

void Say(std::FILE *stream, const QString &line)
{
    std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
}

int Refuse(const QString &reason)
{
    Say(stderr, QStringLiteral("vantrel-server: %1").arg(reason));
    return Refused;
}

std::unique_ptr<AccountStore> OpenStore(const StoreLocation &where, bool mayCreate, QString *error)
{
    // Only an added account may start a SQLite database: elsewhere a missing
    // one is a mistyped --data.
    if (!where.isPostgres() && !mayCreate &&
        !QFileInfo::exists(QDir(where.dataDir).filePath(QStringLiteral("im.db")))) {
        *error = QStringLiteral("there is no database in %1 (see --data)").arg(where.dataDir);
        return nullptr;
    }
    auto store = AccountStore::Open(where, error);
    if (!store)
        *error = QStringLiteral("cannot open the database in %1: %2").arg(where.shown(), *error);
    return store;
}

// The stored hash of a new password, or why there is none.
std::variant<QByteArray, QString> NewPasswordHash(const QString &userId, const PasswordSource &source)
{
    QString error;
    const std::optional<QString> password = source(userId, &error);
    if (!password)
        return error;
    // The password obeys the same rules as in an import file.
    AccountTexts texts{QStringLiteral("x"), QStringLiteral("0"), *password, QStringLiteral("x"), {},
                       QStringLiteral("x")};
    QByteArray bytes;
    const auto checked = CheckAccountTexts(texts, FieldNames, &bytes);
    if (const QString *reason = std::get_if<QString>(&checked))
        return *reason;
    const auto hash = HashPassword(bytes, HashCost::Interactive);
    if (!hash)
        return QStringLiteral("the password could not be hashed");
    return *hash;
}

QString Text(const QByteArray &cp932Text)
{
    return cp932::ToUnicode(cp932Text);
}

int List(AccountStore &store)
{
    const QList<Account> accounts = store.accounts();
    if (!store.lastError().isEmpty())
        return Refuse(store.lastError());
    for (const Account &account : accounts)
        Say(stdout, QStringList{Text(account.id), QString::number(account.corpIndex), Text(account.displayName),
                                Text(account.mail), Text(account.department),
                                account.disabled ? QStringLiteral("disabled") : QStringLiteral("enabled")}
                        .join(QLatin1Char('\t')));
    return Done;
}

int Add(const StoreLocation &where, const QString &userId, const NewAccountDetails &details,
        const PasswordSource &source)
{
    if (details.name.isEmpty() || details.department.isEmpty())
        return Refuse(QStringLiteral("accounts add needs --name and --department"));
    // Everything but the password is checked before it is asked for.
    QByteArray unused;
    const AccountTexts texts{userId, details.corp, QStringLiteral("x"), details.name, details.mail,
                             details.department};
    auto checked = CheckAccountTexts(texts, FieldNames, &unused);
    if (const QString *reason = std::get_if<QString>(&checked))
        return Refuse(*reason);
    Account account = std::get<Account>(std::move(checked));

    QString error;
    auto store = OpenStore(where, true, &error);
    if (!store)
        return Refuse(error);
    if (store->account(account.id))
        return Refuse(QStringLiteral("the account %1 exists already").arg(userId));
    const auto hash = NewPasswordHash(userId, source);
    if (const QString *reason = std::get_if<QString>(&hash))
        return Refuse(*reason);
    account.passwordHash = std::get<QByteArray>(hash);
    if (!store->addAccount(account))
        return Refuse(QStringLiteral("cannot add %1: %2").arg(userId, store->lastError()));
    Say(stdout, QStringLiteral("added %1").arg(userId));
    return Done;
}

int Change(AccountStore &store, const QString &command, const QString &userId, const PasswordSource &source)
{
    const QByteArray id = cp932::FromUnicode(userId);
    const std::optional<Account> account = store.account(id);
    if (!account)
        return Refuse(QStringLiteral("there is no account %1").arg(userId));
    bool ok = false;
    QString done;
    if (command == QLatin1String("passwd")) {
        const auto hash = NewPasswordHash(userId, source);
        if (const QString *reason = std::get_if<QString>(&hash))
            return Refuse(*reason);
        ok = store.setPasswordHash(id, std::get<QByteArray>(hash));
        done = QStringLiteral("changed the password of %1");
    } else if (command == QLatin1String("disable") || command == QLatin1String("enable")) {
        ok = store.setDisabled(id, command == QLatin1String("disable"));
        done = command == QLatin1String("disable") ? QStringLiteral("disabled %1") : QStringLiteral("enabled %1");
    } else {
        ok = store.deleteAccount(id);
        done = QStringLiteral("deleted %1, its member list and the messages waiting for it");
    }
    if (!ok)
        return Refuse(QStringLiteral("cannot %1 %2: %3").arg(command, userId, store.lastError()));
    Say(stdout, done.arg(userId));
    return Done;
}

} // namespace

int RunAccountsCommand(const StoreLocation &where, const QStringList &args, const NewAccountDetails &details,
                       const PasswordSource &password)
{
    const QString command = args.value(0);
    const bool takesId = QStringList{QStringLiteral("add"), QStringLiteral("passwd"), QStringLiteral("disable"),
                                     QStringLiteral("enable"), QStringLiteral("delete")}
                             .contains(command);
    if (!(command == QLatin1String("list") && args.size() == 1) && !(takesId && args.size() == 2)) {
        Say(stderr, QStringLiteral("vantrel-server: accounts takes list, or add, passwd, disable, enable or "
                                   "delete and one user id (see --help)"));
        return Usage;
    }
    if (command == QLatin1String("add"))
        return Add(where, args[1], details, password);

    QString error;
    auto store = OpenStore(where, false, &error);
    if (!store)
        return Refuse(error);
    if (command == QLatin1String("list"))
        return List(*store);
    return Change(*store, command, args[1], password);
}

int RunAccountsCommand(const QString &dataDir, const QStringList &args, const NewAccountDetails &details,
                       const PasswordSource &password)
{
    StoreLocation where;
    where.dataDir = dataDir;
    return RunAccountsCommand(where, args, details, password);
}
