#include "meetings/MemberListDelegate.h"

#include "meetings/TfrmMeet.h"

#include <QPainter>

MemberListDelegate::MemberListDelegate(TfrmMeet &window, QObject *parent)
    : QStyledItemDelegate(parent), m_window(window)
{
}

void MemberListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    painter->save();
    m_window.MemberListDrawItem(*painter, index.row(), option.rect, option.state.testFlag(QStyle::State_Selected));
    painter->restore();
}

QSize MemberListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return {option.rect.width(), ItemHeight};
}
