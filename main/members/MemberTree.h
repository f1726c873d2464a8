#pragma once

#include "main/members/ListText.h"
#include "main/members/MemberIndex.h"
#include "main/members/MemberNode.h"

#include <QByteArrayList>
#include <QList>

class MemberItem;
class QTreeWidget;
class QTreeWidgetItem;

// The member tree's contents and the changes made to them: loading a list,
// adding groups, deleting, moving by drag and drop, finding a member and
// writing the tree out for the server. Keeps the id index in step with every
// change; the window only asks and shows.
class MemberTree {
public:
    explicit MemberTree(QTreeWidget &tree) : m_tree(tree) {}

    // Adds the nodes of the list lines after the nodes already there, in one
    // insertion; returns the lines that could not be placed.
    QByteArrayList load(const QByteArrayList &lines);
    QByteArrayList load(const ListLines &lines);

    // Deletes every node.
    void clear();

    // A new group made here ("UG", no id) as the last child of parent, or as
    // the last top-level node when parent is null.
    MemberItem *addGroup(QTreeWidgetItem *parent, const QByteArray &name);

    // Deletes the node and its record (the caller has checked it may).
    void remove(MemberItem *node);

    // Drops `dragged` on `target`; false when the drop moves nothing.
    bool move(MemberItem *dragged, MemberItem *target);

    // Every node with this id, byte for byte, in tree order.
    QList<MemberItem *> find(const QByteArray &id);

    // LSETS, one LSETD per node in tree order, LSETE.
    QByteArrayList uploadFrames() const;

private:
    QByteArrayList place(ListLayout layout);

    QTreeWidget &m_tree;
    MemberIndex m_index;
};
