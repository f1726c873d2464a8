#include "main/members/MemberIndex.h"

#include "main/members/MemberItem.h"
#include "main/members/TreeWalk.h"

#include <QHashFunctions>

#include <algorithm>
#include <bit>

namespace {

// Probing stays short up to three quarters full.
bool Overfull(qsizetype used, size_t capacity)
{
    return size_t(used) * 4 > capacity * 3;
}

size_t CapacityFor(qsizetype ids)
{
    return std::bit_ceil(std::max<size_t>(16, size_t(ids) * 4 / 3 + 1));
}

} // namespace

MemberIndex::~MemberIndex()
{
    clear();
}

QByteArrayView MemberIndex::IdOf(Slot slot)
{
    return (IsSeveral(slot) ? AsSeveral(slot)->nodes.first() : AsNode(slot))->node.Id;
}

size_t MemberIndex::home(QByteArrayView id) const
{
    // Seeded per process, so a list cannot be made to collide on purpose.
    return qHash(id, QHashSeed::globalSeed()) & (m_slots.size() - 1);
}

size_t MemberIndex::slotFor(QByteArrayView id) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t i = home(id);; i = (i + 1) & mask)
        if (!m_slots[i] || IdOf(m_slots[i]) == id)
            return i;
}

void MemberIndex::rehash(size_t capacity)
{
    std::vector<Slot> old(capacity, 0);
    old.swap(m_slots);
    const size_t mask = capacity - 1;
    for (const Slot slot : old) {
        if (!slot)
            continue;
        size_t i = home(IdOf(slot));
        while (m_slots[i])
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

void MemberIndex::reserve(qsizetype ids)
{
    const size_t capacity = CapacityFor(m_used + ids);
    if (capacity > m_slots.size())
        rehash(capacity);
}

void MemberIndex::add(MemberItem *node)
{
    if (m_slots.empty() || Overfull(m_used + 1, m_slots.size()))
        rehash(std::max<size_t>(CapacityFor(m_used + 1), m_slots.size() * 2));
    Slot &slot = m_slots[slotFor(node->node.Id)];
    if (!slot) {
        slot = reinterpret_cast<Slot>(node);
        ++m_used;
    } else if (IsSeveral(slot)) {
        AsSeveral(slot)->nodes.append(node);
    } else {
        slot = reinterpret_cast<Slot>(new Several{{AsNode(slot), node}}) | 1;
    }
}

void MemberIndex::remove(MemberItem *node)
{
    if (m_slots.empty())
        return;
    const size_t i = slotFor(node->node.Id);
    const Slot slot = m_slots[i];
    if (!slot)
        return;
    if (!IsSeveral(slot)) {
        if (AsNode(slot) == node)
            erase(i);
        return;
    }
    Several *several = AsSeveral(slot);
    several->nodes.removeAll(node);
    if (several->nodes.size() == 1) {
        m_slots[i] = reinterpret_cast<Slot>(several->nodes.first());
        delete several;
    }
}

// Backward-shift deletion: the entries after the hole that may sit in it move
// up, so every entry stays reachable from its home without tombstones.
void MemberIndex::erase(size_t hole)
{
    const size_t mask = m_slots.size() - 1;
    for (size_t j = (hole + 1) & mask; m_slots[j]; j = (j + 1) & mask) {
        const size_t wanted = home(IdOf(m_slots[j]));
        if (((j - wanted) & mask) >= ((j - hole) & mask)) {
            m_slots[hole] = m_slots[j];
            hole = j;
        }
    }
    m_slots[hole] = 0;
    --m_used;
}

void MemberIndex::addBranch(QTreeWidgetItem *item)
{
    ForEachInBranch(item, [this](MemberItem *node, int) { add(node); });
    ++m_shape;
}

void MemberIndex::removeBranch(QTreeWidgetItem *item)
{
    ForEachInBranch(item, [this](MemberItem *node, int) { remove(node); });
}

void MemberIndex::orderChanged()
{
    ++m_shape;
}

void MemberIndex::clear()
{
    for (const Slot slot : m_slots)
        if (IsSeveral(slot))
            delete AsSeveral(slot);
    std::vector<Slot>().swap(m_slots);
    m_used = 0;
    ++m_shape;
}

QList<MemberItem *> MemberIndex::find(const QByteArray &id, const QTreeWidget &tree)
{
    if (m_slots.empty())
        return {};
    const Slot slot = m_slots[slotFor(id)];
    if (!slot)
        return {};
    if (!IsSeveral(slot))
        return {AsNode(slot)};
    Several *several = AsSeveral(slot);
    if (several->sortedAt != m_shape) {
        if (m_numberedAt != m_shape)
            numberNodes(tree);
        std::sort(several->nodes.begin(), several->nodes.end(),
                  [](const MemberItem *a, const MemberItem *b) { return a->treeOrder < b->treeOrder; });
        several->sortedAt = m_shape;
    }
    return several->nodes;
}

void MemberIndex::numberNodes(const QTreeWidget &tree)
{
    quint64 order = 0;
    ForEachInTree(tree, [&order](MemberItem *node, int) { node->treeOrder = order++; });
    m_numberedAt = m_shape;
}
