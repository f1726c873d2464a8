#include "platform/Anchors.h"

#include <QEvent>
#include <QWidget>

namespace {

// One axis: where the control starts and how long it is once the container
// has grown by `growth` along that axis.
std::pair<int, int> Stretch(int start, int length, int growth, bool nearSide, bool farSide)
{
    if (nearSide && farSide)
        return {start, std::max(0, length + growth)};
    if (farSide)
        return {start + growth, length};
    return {start, length};
}

} // namespace

Anchors::Anchors(QWidget *container, QSize designSize)
    : QObject(container), m_container(container), m_designSize(designSize)
{
    container->installEventFilter(this);
}

void Anchors::place(QWidget *child, QRect design, int sides)
{
    m_placements.append({child, design, sides});
    arrange();
}

bool Anchors::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_container && event->type() == QEvent::Resize)
        arrange();
    return false;
}

void Anchors::arrange()
{
    const int dx = m_container->width() - m_designSize.width();
    const int dy = m_container->height() - m_designSize.height();
    for (const Placement &p : m_placements) {
        const auto [x, w] = Stretch(p.design.x(), p.design.width(), dx, p.sides & Left, p.sides & Right);
        const auto [y, h] = Stretch(p.design.y(), p.design.height(), dy, p.sides & Top, p.sides & Bottom);
        p.child->setGeometry(x, y, w, h);
    }
}
