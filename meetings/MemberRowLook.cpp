#include "meetings/MemberRowLook.h"

MemberRowLook LookOfMemberRow(QByteArrayView typingState)
{
    if (typingState == "F")
        return {IdleNameColour, {}};
    if (typingState == "N")
        return {ActiveNameColour, QStringLiteral("応答中...")};
    return {ActiveNameColour, {}};
}
