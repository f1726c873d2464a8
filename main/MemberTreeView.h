#pragma once

#include <QTreeWidget>

// The member tree's view. A drag out of it only ever offers a copy: moves
// within the tree are made by the window's own drop handling, and a move
// accepted anywhere else would delete nodes behind the id index's back.
class MemberTreeView : public QTreeWidget {
    Q_OBJECT
public:
    using QTreeWidget::QTreeWidget;

protected:
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
};
