#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QPointer>

// Presence values as the wire carries them; the same number is the node's state
// picture. 1 marks a group, not a presence.
namespace presence {
constexpr int GroupImage = 1;
constexpr int Away = 2;
constexpr int Available = 3;
constexpr int DoNotDisturb = 4;
constexpr int Offline = 5;
} // namespace presence

// The record every node of the member tree carries. Texts are cp932 bytes,
// compared byte for byte.
struct MemberNode {
    QByteArray Kind;        // "G" or "UG" for a group, "U" (or "u") for a member
    QByteArray Id;          // empty for a group made in this client
    QByteArray DefaultName; // the server's name, or the name a new group got
    QByteArray DisplayName; // the caption; the user may change it
    QByteArray Mail;        // members only
    qint32 ConnectionNo = -1;
    qint32 State = presence::GroupImage;
    QPointer<QObject> Window; // the open conversation with this member, if any
};

// Only an exact "U" is treated as a member by the editing commands; a "u"
// loads as a member but edits like a group.
inline bool IsExactMemberKind(QByteArrayView kind)
{
    return kind == "U";
}
