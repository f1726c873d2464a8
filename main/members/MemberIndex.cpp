#include "main/members/MemberIndex.h"

#include "main/members/MemberItem.h"
#include "main/members/TreeWalk.h"

#include <algorithm>

void MemberIndex::reserve(qsizetype ids)
{
    m_byId.reserve(m_byId.size() + ids);
}

void MemberIndex::addBranch(QTreeWidgetItem *item)
{
    ForEachInBranch(item, [this](MemberItem *node, int) { m_byId[node->node.Id].nodes.append(node); });
    ++m_shape;
}

void MemberIndex::removeBranch(QTreeWidgetItem *item)
{
    ForEachInBranch(item, [this](MemberItem *node, int) {
        const auto entry = m_byId.find(node->node.Id);
        if (entry == m_byId.end())
            return;
        entry->nodes.removeAll(node);
        if (entry->nodes.isEmpty())
            m_byId.erase(entry);
    });
}

void MemberIndex::orderChanged()
{
    ++m_shape;
}

void MemberIndex::clear()
{
    m_byId.clear();
    ++m_shape;
}

QList<MemberItem *> MemberIndex::find(const QByteArray &id, const QTreeWidget &tree)
{
    const auto entry = m_byId.find(id);
    if (entry == m_byId.end())
        return {};
    if (entry->nodes.size() > 1 && entry->sortedAt != m_shape) {
        if (m_numberedAt != m_shape)
            numberNodes(tree);
        std::sort(entry->nodes.begin(), entry->nodes.end(),
                  [](const MemberItem *a, const MemberItem *b) { return a->treeOrder < b->treeOrder; });
        entry->sortedAt = m_shape;
    }
    return QList<MemberItem *>(entry->nodes.begin(), entry->nodes.end());
}

void MemberIndex::numberNodes(const QTreeWidget &tree)
{
    quint64 order = 0;
    ForEachInTree(tree, [&order](MemberItem *node, int) { node->treeOrder = order++; });
    m_numberedAt = m_shape;
}
