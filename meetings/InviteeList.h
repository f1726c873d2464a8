#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

struct MemberNode;

// One member to invite: the caption the member tree showed and the user id,
// both copied when the entry was made, so reloading the tree changes nothing.
struct Invitee {
    QByteArray text;
    QByteArray userId;
};

// The members gathered in the room dialog, in the order they were added. No
// two entries share a user id (compared byte for byte, letter case included).
class InviteeList {
public:
    const QList<Invitee> &entries() const { return m_entries; }
    qsizetype size() const { return m_entries.size(); }
    bool contains(QByteArrayView userId) const;

    // The rule shared by the drop, the add button and the button's enabling:
    // a node is selected, it is a member (kind exactly "U"), and not listed yet.
    bool mayAdd(const MemberNode *selected) const;

    // False, and nothing added, when the id is listed already.
    bool add(const QByteArray &text, const QByteArray &userId);
    // Deletes entry `row` and returns the row to select next: the entry now
    // at the same place, the last one if the deleted one was last, or -1 when
    // none is left.
    qsizetype removeAt(qsizetype row);
    void clear() { m_entries.clear(); }

    // The user ids as the MRM frame carries them: each followed by a comma.
    QByteArray idField() const;

private:
    QList<Invitee> m_entries;
};

// The one frame the dialog sends: MRM, the room id text ("0" creates), the
// room name, the invitation message and the id list, each followed by a TAB.
QByteArray RoomRequestFrame(const QByteArray &roomIdText, const QByteArray &roomName, const QByteArray &message,
                            const InviteeList &invitees);
