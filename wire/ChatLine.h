#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The line a transcript shows for something said: "[" stamp "]" name " >>> "
// text, with nothing between the bracket and the name. The stamp is the
// server's, shown as it comes.
QByteArray ChatLine(QByteArrayView stamp, QByteArrayView name, QByteArrayView text);

// The typing notice a key release calls for: "N" when the input has just
// become non-empty, "F" when it has just become empty, nothing otherwise.
// `typing` follows the input either way.
enum class TypingNotice { None, Composing, Idle };
TypingNotice NextTypingNotice(bool &typing, bool inputEmpty);
QByteArrayView TypingStateText(TypingNotice notice); // "N" or "F"
