#pragma once

#include "server/Account.h"
#include "server/Directory.h"

#include <QList>

// A stored list as a logon sends it, with the directory that its members'
// places refer to.
struct StoredList {
    Directory directory;
    QList<ListNode> nodes;
};

// A user's stored arrangement brought up to date with the company: members
// whose accounts were deleted are dropped, and accounts added since the list
// was uploaded (their order is past `accountsSeen`) join it, at the end of
// their department's group, or of a new group for the department when the
// list has none.
StoredList UpdateStoredList(Directory directory, QList<ListNode> nodes, qint64 accountsSeen);
