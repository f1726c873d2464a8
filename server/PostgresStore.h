#pragma once

#include "server/AccountStore.h"

// The store that several nodes share: a PostgreSQL database through Qt's
// QPSQL driver.
std::unique_ptr<AccountStore> OpenPostgresStore(const QString &url, QString *error);
