#include "wire/FrameText.h"

#include "wire/ClientGlobals.h"

QByteArray MakeFrame(std::initializer_list<QByteArrayView> codeAndFields, TrailingTab trailing)
{
    // Sized once: frames are made per message and per member of a logon's
    // list, and growing each field by field cost more than the rest.
    qsizetype size = 0;
    for (QByteArrayView part : codeAndFields)
        size += part.size() + 1; // and a tab before it or after the last
    QByteArray frame;
    frame.reserve(size);
    const char separator = FieldSeparator.front(); // appended as a char, the cheaper call
    bool first = true;
    for (QByteArrayView part : codeAndFields) {
        if (!first)
            frame.append(separator);
        frame.append(part);
        first = false;
    }
    if (trailing == TrailingTab::Yes)
        frame.append(separator);
    return frame;
}
