#pragma once

#include "main/members/LabelStyle.h"

#include <QFont>
#include <QPixmap>
#include <QStyledItemDelegate>

// Draws a member tree row: the state picture, then the label with the colours
// and weight of its state, filling only the label's own rectangle.
class MemberLabelDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit MemberLabelDelegate(QObject *parent = nullptr);

    // The look of one label: its style by state and selection, and the font
    // (the tree's font at 9 points, bold for online members).
    struct Look {
        LabelStyle style;
        QFont font;
    };
    Look look(const QStyleOptionViewItem &option, const QModelIndex &index) const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QList<QPixmap> m_stateImages;
};
