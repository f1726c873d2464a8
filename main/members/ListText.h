#pragma once

#include "main/members/ListLines.h"
#include "main/members/MemberNode.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

#include <vector>

// The member list as the server sends it: one line per node, fields split by
// TAB — kind, depth, id, (unused), display name, default name, mail.

// Field n of a list line, or empty when the line is shorter.
QByteArray ListField(QByteArrayView line, int n);

// The lines of a list text, split at CR LF.
QByteArrayList SplitListText(QByteArrayView text);

// One node to place: its record and the entry it hangs under (-1: top level).
struct ListEntry {
    MemberNode node;
    int parent = -1;
};

// What a list text becomes: the nodes in the order the lines gave them, and
// the lines that could not be placed, in order.
struct ListLayout {
    std::vector<ListEntry> entries;
    QByteArrayList errorLines;
};

// Reads the lines. A node at depth L hangs under the node most recently placed
// at depth L-1 in the same lines. A kind other than G, UG, U or u, a depth that
// is neither "0" nor 1 to 99, or a depth whose parent level has no node yet
// makes the line an error line; the lines after it still load.
ListLayout LayoutListLines(const QByteArrayList &lines);
ListLayout LayoutListLines(const ListLines &lines);
