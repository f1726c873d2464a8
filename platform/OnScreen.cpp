#include "platform/OnScreen.h"

#include <QScreen>
#include <QWidget>

void KeepOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    QRect inside = frame;
    // Bottom and right first, so that a window taller or wider than the free
    // area keeps its title bar and left edge in view.
    if (inside.bottom() > free.bottom())
        inside.moveBottom(free.bottom());
    if (inside.right() > free.right())
        inside.moveRight(free.right());
    if (inside.top() < free.top())
        inside.moveTop(free.top());
    if (inside.left() < free.left())
        inside.moveLeft(free.left());
    if (inside.topLeft() != frame.topLeft())
        window->move(inside.topLeft());
}
