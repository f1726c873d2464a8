#pragma once

#include <QString>

// The application's title: the caption of every message box and the tooltip of
// the notification-area icon.
inline QString ApplicationTitle()
{
    return QStringLiteral("VantrelＩＭ");
}
