#include "main/members/MemberTree.h"

#include "main/members/EditRules.h"
#include "main/members/MemberItem.h"
#include "main/members/TreeWalk.h"
#include "main/members/UploadText.h"

#include <QTreeWidget>

namespace {

bool IsInBranch(const QTreeWidgetItem *item, const QTreeWidgetItem *branch)
{
    for (; item; item = item->parent())
        if (item == branch)
            return true;
    return false;
}

} // namespace

QByteArrayList MemberTree::load(const QByteArrayList &lines)
{
    return place(LayoutListLines(lines));
}

QByteArrayList MemberTree::load(const ListLines &lines)
{
    return place(LayoutListLines(lines));
}

QByteArrayList MemberTree::place(ListLayout layout)
{
    // The nodes are built apart from the view and handed over in one insertion,
    // so the view lays itself out once per list.
    std::vector<MemberItem *> made;
    made.reserve(layout.entries.size());
    QList<QTreeWidgetItem *> topLevel;
    for (ListEntry &entry : layout.entries) {
        auto *item = new MemberItem(std::move(entry.node));
        made.push_back(item);
        if (entry.parent < 0)
            topLevel.append(item);
        else
            made[entry.parent]->addChild(item);
    }
    m_tree.addTopLevelItems(topLevel);
    m_index.reserve(static_cast<qsizetype>(made.size()));
    for (QTreeWidgetItem *item : topLevel)
        m_index.addBranch(item);
    return layout.errorLines;
}

void MemberTree::clear()
{
    m_index.clear();
    m_tree.clear();
}

MemberItem *MemberTree::addGroup(QTreeWidgetItem *parent, const QByteArray &name)
{
    MemberNode record;
    record.Kind = "UG";
    record.DefaultName = name;
    record.DisplayName = name;
    auto *item = new MemberItem(std::move(record));
    if (parent)
        parent->addChild(item);
    else
        m_tree.addTopLevelItem(item);
    m_index.addBranch(item);
    return item;
}

void MemberTree::remove(MemberItem *node)
{
    m_index.removeBranch(node);
    delete node; // the item leaves its parent and the view as it goes
}

bool MemberTree::move(MemberItem *dragged, MemberItem *target)
{
    const DropPlacement placement = PlaceDrop(target->node.Kind, IsInBranch(target, dragged));
    if (placement == DropPlacement::None)
        return false;
    const auto take = [this](QTreeWidgetItem *item) {
        if (QTreeWidgetItem *parent = item->parent())
            parent->removeChild(item);
        else
            m_tree.takeTopLevelItem(m_tree.indexOfTopLevelItem(item));
    };
    take(dragged);
    QTreeWidgetItem *newParent = target;
    if (placement == DropPlacement::BeforeTarget) {
        newParent = target->parent();
        if (newParent)
            newParent->insertChild(newParent->indexOfChild(target), dragged);
        else
            m_tree.insertTopLevelItem(m_tree.indexOfTopLevelItem(target), dragged);
    } else {
        target->insertChild(0, dragged);
    }
    if (newParent)
        newParent->setExpanded(true);
    m_index.orderChanged();
    return true;
}

QList<MemberItem *> MemberTree::find(const QByteArray &id)
{
    return m_index.find(id, m_tree);
}

QByteArrayList MemberTree::uploadFrames() const
{
    QByteArrayList frames{UploadStart.toByteArray()};
    ForEachInTree(m_tree, [&frames](MemberItem *node, int depth) {
        frames.append(UploadNodeFrame(node->node, depth));
    });
    frames.append(UploadEnd.toByteArray());
    return frames;
}
