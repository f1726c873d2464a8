#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>

#include <functional>
#include <map>

class FieldList;

// The meeting rooms: who is in each, who has been invited, and the traffic
// that MRM, MRJ, MRC, MRI and MRE from a member cause. Rooms live only while
// someone is in them; a room with nobody left is deleted.
class RoomTable {
public:
    struct Member {
        QByteArray id;
        QByteArray displayName;
    };
    using SendTo = std::function<void(const QByteArray &userId, const QByteArray &frame)>;
    using IsOnline = std::function<bool(const QByteArray &userId)>;

    RoomTable(SendTo sendTo, IsOnline isOnline);

    // Acts on one room frame of `user`. Throws FrameError for a frame that is
    // malformed; a frame about a room that the user may not touch (gone, not a
    // member, not invited) is ignored.
    void handle(const Member &user, const FieldList &fields);
    // The user's connection ended: they leave every room they are in.
    void leaveAll(const QByteArray &userId);

    qsizetype roomCount() const { return static_cast<qsizetype>(m_rooms.size()); }

private:
    struct Room {
        int id = 0;
        QByteArray name;
        QList<Member> members;
        QSet<QByteArray> invited;
        bool has(const QByteArray &userId) const;
    };

    void create(const Member &user, const FieldList &fields);
    void invite(Room &room, const Member &user, const QByteArray &idList, const QByteArray &message);
    void answer(Room &room, const Member &user, const FieldList &fields);
    void leave(Room &room, const QByteArray &userId);
    Room *find(int roomId);

    void toMembers(const Room &room, const QByteArray &frame, const QByteArray &except = {});
    void systemLine(const Room &room, const QByteArray &text);

    SendTo m_sendTo;
    IsOnline m_isOnline;
    std::map<int, Room> m_rooms;
    int m_lastRoomId = 0;
};
