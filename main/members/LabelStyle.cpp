#include "main/members/LabelStyle.h"

#include "main/members/MemberNode.h"

LabelStyle LabelStyleFor(int state, bool selected)
{
    const QColor green(0, 128, 0);
    const bool online = state == presence::Away || state == presence::Available ||
                        state == presence::DoNotDisturb;
    const QColor ink = online ? green : QColor(Qt::black);
    if (selected)
        return {ink, QColor(Qt::white), online};
    return {QColor(Qt::white), ink, online};
}
