#include "settings/WindowBounds.h"

QRect PlaceMainWindow(const TUserSettings &s, QSize screen)
{
    int left = (s.FormLeft >= 0 && s.FormLeft < screen.width()) ? s.FormLeft : 0;
    int top = (s.FormTop >= 0 && s.FormTop < screen.height()) ? s.FormTop : 0;
    const int width = s.FormWidth <= screen.width() ? s.FormWidth : 220;
    const int height = s.FormHeight <= screen.height() ? s.FormHeight : 350;
    // Compared in 64 bits: stored values can be anything up to INT_MAX.
    if (qint64(top) + height > screen.height())
        top = 0;
    if (qint64(left) + width > screen.width())
        left = 0;
    return QRect(left, top, width, height);
}
