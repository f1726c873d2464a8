#include "main/MemberLabelDelegate.h"

#include "main/members/MemberItem.h"
#include "resources/Pictures.h"

#include <QPainter>

namespace {
constexpr int ImageSize = 16;
constexpr int ImageGap = 2;
constexpr int TextPadding = 2;
} // namespace

MemberLabelDelegate::MemberLabelDelegate(QObject *parent)
    : QStyledItemDelegate(parent), m_stateImages(pictures::ImageList1())
{
}

MemberLabelDelegate::Look MemberLabelDelegate::look(const QStyleOptionViewItem &option,
                                                    const QModelIndex &index) const
{
    const int state = index.data(MemberItem::StateRole).toInt();
    Look look{LabelStyleFor(state, option.state.testFlag(QStyle::State_Selected)), option.font};
    look.font.setPointSize(9);
    look.font.setBold(look.style.bold);
    return look;
}

void MemberLabelDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    const int state = index.data(MemberItem::StateRole).toInt();
    const QRect row = option.rect;
    if (state > 0 && state < m_stateImages.size())
        painter->drawPixmap(row.left(), row.top() + (row.height() - ImageSize) / 2, m_stateImages[state]);

    const Look look = this->look(option, index);
    const QString caption = index.data(Qt::DisplayRole).toString();
    const QFontMetrics metrics(look.font);
    const QRect label(row.left() + ImageSize + ImageGap, row.top(),
                      metrics.horizontalAdvance(caption) + 2 * TextPadding, row.height());
    painter->save();
    painter->fillRect(label, look.style.background);
    painter->setFont(look.font);
    painter->setPen(look.style.text);
    painter->drawText(label.adjusted(TextPadding, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, caption);
    painter->restore();
}

QSize MemberLabelDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const Look look = this->look(option, index);
    const QFontMetrics metrics(look.font);
    const QString caption = index.data(Qt::DisplayRole).toString();
    return {ImageSize + ImageGap + metrics.horizontalAdvance(caption) + 2 * TextPadding,
            std::max(ImageSize + 2, metrics.height() + 2)};
}
