#pragma once

#include "main/members/MemberItem.h"

#include <QTreeWidget>

// Visits a node and its descendants in tree order (parent first, siblings in
// order, collapsed branches too) with each node's depth below the start.
template <typename Visit> void ForEachInBranch(QTreeWidgetItem *start, Visit &&visit, int depth = 0)
{
    if (MemberItem *node = AsMember(start))
        visit(node, depth);
    for (int i = 0; i < start->childCount(); ++i)
        ForEachInBranch(start->child(i), visit, depth + 1);
}

// Visits every node of the tree in tree order with its level (0 = top level).
template <typename Visit> void ForEachInTree(const QTreeWidget &tree, Visit &&visit)
{
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        ForEachInBranch(tree.topLevelItem(i), visit);
}
