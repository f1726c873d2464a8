#include "wire/FrameText.h"

#include "wire/ClientGlobals.h"

QByteArray MakeFrame(std::initializer_list<QByteArrayView> codeAndFields, TrailingTab trailing)
{
    QByteArray frame;
    bool first = true;
    for (QByteArrayView part : codeAndFields) {
        if (!first)
            frame.append(FieldSeparator);
        frame.append(part);
        first = false;
    }
    if (trailing == TrailingTab::Yes)
        frame.append(FieldSeparator);
    return frame;
}
