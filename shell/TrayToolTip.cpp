#include "shell/TrayToolTip.h"

namespace {

// The own-state menu's captions, without their accelerators.
QString StateName(int state)
{
    switch (state) {
    case 2:
        return QStringLiteral("離席中");
    case 4:
        return QStringLiteral("応答不可");
    default:
        return QStringLiteral("応答可");
    }
}

} // namespace

QString TrayToolTip(const QString &title, const QString &ownName, int ownState, bool loggedOn)
{
    if (!loggedOn || ownName.isEmpty())
        return title;
    return QStringLiteral("%1\n%2（%3）").arg(title, ownName, StateName(ownState));
}
