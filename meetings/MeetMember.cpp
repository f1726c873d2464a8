#include "meetings/MeetMember.h"

#include "wire/Cp932.h"

std::optional<MeetMember> MeetMemberFromAdm(const QByteArrayList &subFrame)
{
    if (subFrame.size() < 3)
        return std::nullopt;
    MeetMember member{subFrame.mid(1)};
    member.fields.append("F");
    return member;
}

QByteArray FoldUserId(QByteArrayView userId)
{
    QByteArray folded(userId.data(), userId.size());
    for (qsizetype i = 0; i < folded.size(); ++i) {
        const auto byte = static_cast<unsigned char>(folded[i]);
        if (cp932::IsLeadByte(byte))
            ++i; // its second byte stays as it is
        else if (byte >= 'A' && byte <= 'Z')
            folded[i] = static_cast<char>(byte - 'A' + 'a');
    }
    return folded;
}
