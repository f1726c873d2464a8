#pragma once

#include "server/AccountStore.h"

// The default store: SQLite in DIR/im.db, WAL, one server process.
std::unique_ptr<AccountStore> OpenSqliteStore(const QString &dataDir, QString *error);
