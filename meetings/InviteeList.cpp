#include "meetings/InviteeList.h"

#include "main/members/MemberNode.h"

#include <algorithm>

bool InviteeList::contains(QByteArrayView userId) const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const Invitee &e) { return e.userId == userId; });
}

bool InviteeList::mayAdd(const MemberNode *selected) const
{
    return selected && IsExactMemberKind(selected->Kind) && !contains(selected->Id);
}

bool InviteeList::add(const QByteArray &text, const QByteArray &userId)
{
    if (contains(userId))
        return false;
    m_entries.append({text, userId});
    return true;
}

qsizetype InviteeList::removeAt(qsizetype row)
{
    if (row < 0 || row >= m_entries.size())
        return -1;
    m_entries.removeAt(row);
    if (m_entries.isEmpty())
        return -1;
    return std::min(row, m_entries.size() - 1);
}

QByteArray InviteeList::idField() const
{
    QByteArray ids;
    for (const Invitee &entry : m_entries)
        ids.append(entry.userId).append(',');
    return ids;
}

QByteArray RoomRequestFrame(const QByteArray &roomIdText, const QByteArray &roomName, const QByteArray &message,
                            const InviteeList &invitees)
{
    QByteArray frame = "MRM\t";
    for (const QByteArray &field : {roomIdText, roomName, message, invitees.idField()})
        frame.append(field).append('\t');
    return frame;
}
