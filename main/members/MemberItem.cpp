#include "main/members/MemberItem.h"

#include "platform/WidgetText.h"

MemberItem::MemberItem(MemberNode record) : QTreeWidgetItem(Type), node(std::move(record)) {}

QVariant MemberItem::data(int column, int role) const
{
    if (column == 0 && role == Qt::DisplayRole)
        return ToLabelText(node.DisplayName);
    if (column == 0 && role == StateRole)
        return node.State;
    return QTreeWidgetItem::data(column, role);
}

MemberItem *AsMember(QTreeWidgetItem *item)
{
    return item && item->type() == MemberItem::Type ? static_cast<MemberItem *>(item) : nullptr;
}
