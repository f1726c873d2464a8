#include "wire/ChatLine.h"

QByteArray ChatLine(QByteArrayView stamp, QByteArrayView name, QByteArrayView text)
{
    QByteArray line;
    line.reserve(stamp.size() + name.size() + text.size() + 7);
    line.append('[').append(stamp).append(']').append(name).append(" >>> ").append(text);
    return line;
}

TypingNotice NextTypingNotice(bool &typing, bool inputEmpty)
{
    if (inputEmpty && typing) {
        typing = false;
        return TypingNotice::Idle;
    }
    if (!inputEmpty && !typing) {
        typing = true;
        return TypingNotice::Composing;
    }
    return TypingNotice::None;
}

QByteArrayView TypingStateText(TypingNotice notice)
{
    return notice == TypingNotice::Composing ? "N" : "F";
}
