#include "platform/FrameSize.h"

#include <QEvent>
#include <QWidget>

namespace {

class FrameWatch : public QObject {
public:
    FrameWatch(QWidget *window, QSize outer) : QObject(window), m_window(window), m_outer(outer) {}

    bool eventFilter(QObject *, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::Show && type != QEvent::Move && type != QEvent::Resize)
            return false;
        const QSize frame = m_window->frameGeometry().size() - m_window->size();
        if (frame.isNull())
            return false;
        m_window->removeEventFilter(this);
        m_window->resize(m_outer - frame);
        deleteLater();
        return false;
    }

private:
    QWidget *m_window;
    QSize m_outer;
};

} // namespace

void ResizeFrameTo(QWidget *window, QSize outer)
{
    window->resize(outer);
    window->installEventFilter(new FrameWatch(window, outer));
}
