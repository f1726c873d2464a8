#include "server/RoomTable.h"

#include "wire/Cp932.h"
#include "wire/FieldList.h"
#include "wire/Fields.h"
#include "wire/FrameText.h"

#include <QTime>

#include <string>

namespace {

constexpr qsizetype MaxNameBytes = 50;      // room name and invitation message, as the dialog cuts them
constexpr qsizetype MaxChatBytes = 1024;    // a chat line, as the room window cuts it
constexpr qsizetype MaxInviteesPerFrame = 1000;
constexpr qsizetype MaxRooms = 10000;
// Rooms one user may be in: membership outlives connections, so without a
// bound one user could hold every room there is.
constexpr qsizetype MaxRoomsPerUser = 50;

QByteArray Stamp()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toLatin1();
}

QByteArray Text(const char16_t *text)
{
    return cp932::FromUnicode(QString::fromUtf16(text));
}

QByteArray RoomFrame(int roomId, std::initializer_list<QByteArrayView> subFrame)
{
    const QByteArray id = QByteArray::number(roomId);
    QByteArray frame = MakeFrame({"MRD", id}, TrailingTab::No);
    for (QByteArrayView field : subFrame)
        frame.append('\t').append(field);
    return frame.append('\t');
}

} // namespace

RoomTable::RoomTable(SendTo sendTo, IsOnline isOnline) : m_sendTo(std::move(sendTo)), m_isOnline(std::move(isOnline))
{
}

bool RoomTable::Room::has(const QByteArray &userId) const
{
    return std::any_of(members.begin(), members.end(), [&](const Member &m) { return m.id == userId; });
}

RoomTable::Room *RoomTable::find(int roomId)
{
    const auto it = m_rooms.find(roomId);
    return it == m_rooms.end() ? nullptr : &it->second;
}

void RoomTable::handle(const Member &user, const FieldList &fields)
{
    const QByteArrayView code = fields.code();
    const int roomId = fields.intField(1);
    if (code == "MRM" && roomId == 0) {
        create(user, fields);
        return;
    }
    Room *room = find(roomId);
    if (code == "MRJ") {
        if (room && room->invited.contains(user.id))
            answer(*room, user, fields);
        return;
    }
    if (!room || !room->has(user.id))
        return;
    if (code == "MRM") {
        invite(*room, user, fields.fieldOr(4), CleanFieldText(fields.fieldOr(3), MaxNameBytes));
    } else if (code == "MRC") {
        const QByteArray text = CleanFieldText(fields.field(2), MaxChatBytes);
        toMembers(*room, RoomFrame(room->id, {"CHA", Stamp(), user.id, user.displayName, text}));
    } else if (code == "MRI") {
        const QByteArray &typing = fields.field(2);
        if (typing != "N" && typing != "F")
            throw FrameError("MRI: the typing state is neither N nor F");
        toMembers(*room, RoomFrame(room->id, {"CHI", user.id, typing}), user.id);
    } else if (code == "MRE") {
        leave(*room, user.id);
    }
}

void RoomTable::create(const Member &user, const FieldList &fields)
{
    if (roomCount() >= MaxRooms)
        throw FrameError("MRM: too many rooms are open");
    if (m_roomsOf.value(user.id).size() >= MaxRoomsPerUser)
        throw FrameError("MRM: the user is in " + std::to_string(MaxRoomsPerUser) + " rooms already");
    const QByteArray name = CleanFieldText(fields.field(2), MaxNameBytes);
    Room &room = m_rooms[++m_lastRoomId];
    room.id = m_lastRoomId;
    room.name = name;
    join(room, user);
    m_sendTo(user.id, MakeFrame({"MRM", QByteArray::number(room.id), room.name}, TrailingTab::Yes));
    m_sendTo(user.id, RoomFrame(room.id, {"ADM", user.id, user.displayName}));
    systemLine(room, user.displayName + Text(u"さんが会議室を作成しました"));
    invite(room, user, fields.fieldOr(4), CleanFieldText(fields.fieldOr(3), MaxNameBytes));
}

void RoomTable::invite(Room &room, const Member &user, const QByteArray &idList, const QByteArray &message)
{
    const QByteArrayList ids = idList.split(',');
    if (ids.size() > MaxInviteesPerFrame)
        throw FrameError("MRM: too many invitees in one frame");
    for (const QByteArray &id : ids) {
        if (id.isEmpty() || room.has(id) || !m_isOnline(id))
            continue;
        room.invited.insert(id);
        m_sendTo(id, MakeFrame({"MRJ", QByteArray::number(room.id), room.name, user.displayName, message},
                               TrailingTab::Yes));
    }
}

void RoomTable::answer(Room &room, const Member &user, const FieldList &fields)
{
    const int answer = fields.intField(2);
    if (answer != 0 && answer != 1)
        throw FrameError("MRJ: the answer is neither 0 nor 1");
    if (answer == 0 && m_roomsOf.value(user.id).size() >= MaxRoomsPerUser)
        throw FrameError("MRJ: the user is in " + std::to_string(MaxRoomsPerUser) + " rooms already");
    room.invited.remove(user.id);
    if (answer == 1) {
        const QByteArray reason = CleanFieldText(fields.fieldOr(3), MaxNameBytes);
        systemLine(room, user.displayName + Text(u"さんは参加を断りました：") + reason);
        return;
    }
    join(room, user);
    m_sendTo(user.id, MakeFrame({"MRM", QByteArray::number(room.id), room.name}, TrailingTab::Yes));
    for (const Member &member : room.members)
        m_sendTo(user.id, RoomFrame(room.id, {"ADM", member.id, member.displayName}));
    toMembers(room, RoomFrame(room.id, {"ADM", user.id, user.displayName}), user.id);
    systemLine(room, user.displayName + Text(u"さんが入室しました"));
}

void RoomTable::join(Room &room, const Member &user)
{
    room.members.append(user);
    m_roomsOf[user.id].insert(room.id);
}

void RoomTable::leave(Room &room, const QByteArray &userId)
{
    const auto it = std::find_if(room.members.begin(), room.members.end(),
                                 [&](const Member &m) { return m.id == userId; });
    if (it == room.members.end())
        return;
    const QByteArray name = it->displayName;
    room.members.erase(it);
    room.seenByOffline.remove(userId);
    if (auto rooms = m_roomsOf.find(userId); rooms != m_roomsOf.end()) {
        rooms->remove(room.id);
        if (rooms->isEmpty())
            m_roomsOf.erase(rooms);
    }
    if (room.members.isEmpty()) {
        m_rooms.erase(room.id);
        return;
    }
    toMembers(room, RoomFrame(room.id, {"DLM", userId}));
    systemLine(room, name + Text(u"さんが退室しました"));
}

void RoomTable::wentOffline(const QByteArray &userId)
{
    for (int id : m_roomsOf.value(userId)) {
        Room &room = m_rooms.at(id);
        QList<QByteArray> &seen = room.seenByOffline[userId];
        seen.clear();
        for (const Member &member : room.members)
            seen.append(member.id);
    }
}

void RoomTable::rejoin(const QByteArray &userId, const std::function<void(const QByteArray &frame)> &send)
{
    for (int id : m_roomsOf.value(userId)) {
        Room &room = m_rooms.at(id);
        send(MakeFrame({"MRM", QByteArray::number(room.id), room.name}, TrailingTab::Yes));
        for (const QByteArray &seen : room.seenByOffline.take(userId))
            if (!room.has(seen))
                send(RoomFrame(room.id, {"DLM", seen}));
        for (const Member &member : room.members)
            send(RoomFrame(room.id, {"ADM", member.id, member.displayName}));
    }
}

void RoomTable::leaveAll(const QByteArray &userId)
{
    const QSet<int> rooms = m_roomsOf.value(userId); // leave() changes the set
    for (int id : rooms)
        leave(m_rooms.at(id), userId);
    for (auto &[id, room] : m_rooms)
        room.invited.remove(userId);
}

void RoomTable::toMembers(const Room &room, const QByteArray &frame, const QByteArray &except)
{
    for (const Member &member : room.members)
        if (member.id != except)
            m_sendTo(member.id, frame);
}

void RoomTable::systemLine(const Room &room, const QByteArray &text)
{
    toMembers(room, RoomFrame(room.id, {"SYS", text}));
}
