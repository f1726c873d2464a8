#include "platform/WrappingMenuBar.h"

#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QVBoxLayout>

WrappingMenuBar::WrappingMenuBar(QWidget *parent) : QWidget(parent), m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    row(0);
}

QMenu *WrappingMenuBar::addMenu(QMenu *menu)
{
    m_menus.append(menu);
    m_wrappedAt = -1;
    wrap(width());
    return menu;
}

QList<QMenuBar *> WrappingMenuBar::rows() const
{
    QList<QMenuBar *> shown;
    for (QMenuBar *bar : m_rows)
        if (!bar->isHidden())
            shown.append(bar);
    return shown;
}

QMenuBar *WrappingMenuBar::row(int index)
{
    while (m_rows.size() <= index) {
        auto *bar = new QMenuBar(this);
        // Kept in the window: a desktop-wide menu would take only one row.
        bar->setNativeMenuBar(false);
        m_layout->addWidget(bar);
        m_rows.append(bar);
    }
    return m_rows[index];
}

void WrappingMenuBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    wrap(event->size().width());
}

bool WrappingMenuBar::event(QEvent *event)
{
    // A new font or style changes every menu's width.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_wrappedAt = -1;
        wrap(width());
    }
    return QWidget::event(event);
}

// Fills each row with as many menus as fit, in order; a menu too wide for any
// row still gets one of its own.
void WrappingMenuBar::wrap(int width)
{
    if (width == m_wrappedAt || width <= 0)
        return;
    m_wrappedAt = width;
    for (QMenuBar *bar : m_rows)
        bar->clear();
    int current = 0;
    for (QMenu *menu : m_menus) {
        QMenuBar *bar = row(current);
        bar->addAction(menu->menuAction());
        if (bar->actions().size() > 1 && bar->sizeHint().width() > width) {
            bar->removeAction(menu->menuAction());
            row(++current)->addAction(menu->menuAction());
        }
    }
    for (int i = 0; i < m_rows.size(); ++i)
        m_rows[i]->setVisible(i <= current);
}
