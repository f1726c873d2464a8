#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

#include <optional>

// A member of a room as its ADM sub-frame described it: user id, display
// name, typing state ("F" idle, "N" composing), then any further fields,
// kept and not used.
struct MeetMember {
    QByteArrayList fields;

    const QByteArray &userId() const { return fields[0]; }
    const QByteArray &displayName() const { return fields[1]; }
    const QByteArray &typingState() const { return fields[2]; }
    void setTypingState(const QByteArray &state) { fields[2] = state; }
};

// The record an ADM sub-frame (field 0 "ADM") gives: its fields from the user
// id on, with "F" appended, so that a frame without a typing state reads as
// idle. None for a frame without a display name.
std::optional<MeetMember> MeetMemberFromAdm(const QByteArrayList &subFrame);

// The key by which a room finds a member: the user id with ASCII letters
// folded to lower case. The second byte of a double-byte character is never
// folded — it may look like a letter but belongs to the character.
QByteArray FoldUserId(QByteArrayView userId);
