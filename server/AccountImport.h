#pragma once

#include "server/PasswordHash.h"

#include <QByteArray>
#include <QStringList>

class AccountStore;

// What one import did: how many accounts it wrote and one text per line it
// skipped ("line N: reason").
struct ImportReport {
    int written = 0;
    QStringList skipped;
};

// Reads accounts from UTF-8 text, one a line, TAB-separated: user id,
// corporate index, password, display name, mail address, department. Empty
// lines and lines starting with # are skipped. Existing ids are updated. The
// import is one transaction.
ImportReport ImportAccounts(AccountStore &store, const QByteArray &utf8Tsv, HashCost cost);
