#pragma once

#include "server/StoreLocation.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// `vantrel-server --data DIR accounts ...` (or --store URL): the administrator's commands on
// single accounts. Each refuses bad input with its reason and changes nothing
// then; a running server on the same folder sees the change without a restart.

// What `accounts add` takes besides the id and the password.
struct NewAccountDetails {
    QString name;
    QString department;
    QString mail;
    QString corp = QStringLiteral("0");
};

// Asks for the new password of the id; nothing and a reason when none came.
using PasswordSource = std::function<std::optional<QString>(const QString &userId, QString *error)>;

// Runs `accounts ARGS` (ARGS without the word "accounts"); output goes to
// standard output, refusals to standard error. Returns the exit status: 0
// done, 1 refused or failed, 2 a command line it cannot use.
int RunAccountsCommand(const StoreLocation &where, const QStringList &args, const NewAccountDetails &details,
                       const PasswordSource &password);
// The same on SQLite in the data folder.
int RunAccountsCommand(const QString &dataDir, const QStringList &args, const NewAccountDetails &details,
                       const PasswordSource &password);
