#pragma once

#include "main/members/MemberNode.h"

#include <QTreeWidgetItem>

// A node of the member tree. Its caption is its DisplayName and its state
// picture its State, read from the record each time the view asks, so the
// view always shows what the record holds.
class MemberItem : public QTreeWidgetItem {
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;
    static constexpr int StateRole = Qt::UserRole + 1; // the state picture's index

    explicit MemberItem(MemberNode record);

    QVariant data(int column, int role) const override;

    MemberNode node;
    quint64 treeOrder = 0; // position in tree order, kept by MemberIndex
};

// The record behind a tree item; null for anything else.
MemberItem *AsMember(QTreeWidgetItem *item);
