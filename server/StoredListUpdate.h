#pragma once

#include "server/Account.h"

#include <QList>

class Directory;

// A user's stored arrangement brought up to date with the company: members
// whose accounts were deleted are dropped, and accounts added since the list
// was uploaded (their order is past `accountsSeen`) join it, at the end of
// their department's group, or of a new group for the department when the
// list has none.
QList<ListNode> UpdateStoredList(const Directory &directory, QList<ListNode> nodes, qint64 accountsSeen);
