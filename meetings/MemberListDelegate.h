#pragma once

#include <QStyledItemDelegate>

class TfrmMeet;

// Hands the drawing of each row of a room's member list to the window's
// MemberListDrawItem; every row is 12 pixels high.
class MemberListDelegate : public QStyledItemDelegate {
public:
    MemberListDelegate(TfrmMeet &window, QObject *parent);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static constexpr int ItemHeight = 12;

private:
    TfrmMeet &m_window;
};
