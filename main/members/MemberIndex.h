#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <vector>

class MemberItem;
class QTreeWidget;
class QTreeWidgetItem;

// Finds the nodes of a member id without walking the tree: id → nodes. The
// nodes of one id come back in tree order; they are put in order lazily, by
// one numbering walk after the tree changed shape, and only for ids that
// occur more than once.
//
// A list can hold tens of thousands of nodes, so the index costs one pointer
// slot per id and keeps no copy of the id: an open-addressed table whose slot
// points at the node itself, whose Id is the key (ids never change once a node
// is made). Only an id with several nodes has a list of its own.
class MemberIndex {
public:
    MemberIndex() = default;
    ~MemberIndex();
    MemberIndex(const MemberIndex &) = delete;
    MemberIndex &operator=(const MemberIndex &) = delete;

    void reserve(qsizetype ids);              // before adding that many more ids
    void addBranch(QTreeWidgetItem *item);    // a node placed, with its children
    void removeBranch(QTreeWidgetItem *item); // before the node is deleted
    void orderChanged();                       // nodes moved among the others
    void clear();

    QList<MemberItem *> find(const QByteArray &id, const QTreeWidget &tree);

private:
    struct Several {
        QList<MemberItem *> nodes;
        quint64 sortedAt = 0;
    };
    // Empty (0), the one node of its id, or a Several with the low bit set.
    using Slot = quintptr;
    static bool IsSeveral(Slot slot) { return slot & 1; }
    static Several *AsSeveral(Slot slot) { return reinterpret_cast<Several *>(slot & ~Slot(1)); }
    static MemberItem *AsNode(Slot slot) { return reinterpret_cast<MemberItem *>(slot); }
    static QByteArrayView IdOf(Slot slot);

    void add(MemberItem *node);
    void remove(MemberItem *node);
    size_t home(QByteArrayView id) const;
    // The slot that holds id, or the empty slot where it would go.
    size_t slotFor(QByteArrayView id) const;
    void erase(size_t slot);
    void rehash(size_t capacity);
    void numberNodes(const QTreeWidget &tree);

    std::vector<Slot> m_slots; // a power of two in size, or empty
    qsizetype m_used = 0;
    quint64 m_shape = 1;      // bumped whenever tree order may have changed
    quint64 m_numberedAt = 0; // the shape the treeOrder numbers belong to
};
