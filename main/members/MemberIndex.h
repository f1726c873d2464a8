#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QVarLengthArray>

class MemberItem;
class QTreeWidget;
class QTreeWidgetItem;

// Finds the nodes of a member id without walking the tree: id → nodes. The
// nodes of one id come back in tree order; they are put in order lazily, by
// one numbering walk after the tree changed shape, and only for ids that
// occur more than once.
class MemberIndex {
public:
    void reserve(qsizetype ids);              // before adding that many more ids
    void addBranch(QTreeWidgetItem *item);    // a node placed, with its children
    void removeBranch(QTreeWidgetItem *item); // before the node is deleted
    void orderChanged();                       // nodes moved among the others
    void clear();

    QList<MemberItem *> find(const QByteArray &id, const QTreeWidget &tree);

private:
    struct Entry {
        QVarLengthArray<MemberItem *, 1> nodes; // most ids have one node
        quint64 sortedAt = 0;
    };
    void numberNodes(const QTreeWidget &tree);

    QHash<QByteArray, Entry> m_byId;
    quint64 m_shape = 1;      // bumped whenever tree order may have changed
    quint64 m_numberedAt = 0; // the shape the treeOrder numbers belong to
};
