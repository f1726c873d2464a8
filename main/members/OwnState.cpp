#include "main/members/OwnState.h"

#include "main/members/MemberNode.h"
#include "wire/FrameText.h"

QString OwnStateCaption(int state)
{
    switch (state) {
    case presence::Away:
        return QStringLiteral("離席中▼");
    case presence::DoNotDisturb:
        return QStringLiteral("応答不可▼");
    default:
        return QStringLiteral("応答可▼");
    }
}

std::optional<QByteArray> AnnounceOwnState(int chosen, int &announced)
{
    if (chosen == announced)
        return std::nullopt;
    announced = chosen;
    return MakeFrame({"STC", QByteArray::number(chosen)}, TrailingTab::Yes);
}
