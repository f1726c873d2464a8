#include "platform/MessageInput.h"

#include <QEvent>
#include <QKeyEvent>
#include <QTextEdit>

namespace {

class KeyHandlers : public QObject {
public:
    KeyHandlers(QObject *box, MessageInputHandlers handlers) : QObject(box), m_handlers(std::move(handlers)) {}

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            bool consumed = false;
            m_handlers.keyDown(consumed, static_cast<QKeyEvent *>(event)->key());
            return consumed;
        }
        if (event->type() == QEvent::KeyRelease && m_handlers.keyUp)
            m_handlers.keyUp();
        return false;
    }

private:
    MessageInputHandlers m_handlers;
};

} // namespace

QTextEdit *NewMessageInput(QWidget *parent, MessageInputHandlers handlers)
{
    auto *box = new QTextEdit(parent);
    box->setAcceptRichText(false);
    box->setTabChangesFocus(true);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->installEventFilter(new KeyHandlers(box, std::move(handlers)));
    return box;
}
