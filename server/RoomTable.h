#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <functional>
#include <map>

class FieldList;

// The meeting rooms: who is in each, who has been invited, and the traffic
// that MRM, MRJ, MRC, MRI and MRE from a member cause. Membership is the
// user's, not a connection's: a member whose connection ends stays in the
// room until told to leave (leaveAll), since the client keeps its room windows
// across a reconnect. Rooms live only while someone is in them; a room with
// nobody left is deleted.
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
    // The user's last connection ended: what each of their rooms' windows
    // shows is noted, so that rejoin() can bring it up to date.
    void wentOffline(const QByteArray &userId);
    // A connection of the user logged on: for each room the user is in, MRM
    // (for a client that closed the window), DLM for whoever left since the
    // user went offline, and ADM for every member, all through `send`.
    void rejoin(const QByteArray &userId, const std::function<void(const QByteArray &frame)> &send);
    // The user leaves every room they are in and loses their invitations.
    void leaveAll(const QByteArray &userId);
    bool hasRooms(const QByteArray &userId) const { return m_roomsOf.contains(userId); }

    // Room ids go on from `last`: each node of a cluster numbers its own.
    void numberFrom(int last) { m_lastRoomId = last; }

    qsizetype roomCount() const { return static_cast<qsizetype>(m_rooms.size()); }

private:
    struct Room {
        int id = 0;
        QByteArray name;
        QList<Member> members;
        QSet<QByteArray> invited;
        // The members each offline member's window showed when they went.
        QHash<QByteArray, QList<QByteArray>> seenByOffline;
        bool has(const QByteArray &userId) const;
    };

    void create(const Member &user, const FieldList &fields);
    void invite(Room &room, const Member &user, const QByteArray &idList, const QByteArray &message);
    void answer(Room &room, const Member &user, const FieldList &fields);
    void join(Room &room, const Member &user);
    void leave(Room &room, const QByteArray &userId);
    Room *find(int roomId);

    void toMembers(const Room &room, const QByteArray &frame, const QByteArray &except = {});
    void systemLine(const Room &room, const QByteArray &text);

    SendTo m_sendTo;
    IsOnline m_isOnline;
    std::map<int, Room> m_rooms;
    QHash<QByteArray, QSet<int>> m_roomsOf; // by member
    int m_lastRoomId = 0;
};
