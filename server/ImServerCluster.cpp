// The server's side of a cluster: numbers unique across nodes, rooms that
// live at the node where they were made, and what the other nodes tell it.
#include "server/ImServer.h"

#include "wire/FieldList.h"
#include "wire/FrameText.h"

bool ImServer::startCluster(QString *error)
{
    RedisAddress address;
    if (!ParseRedisUrl(m_options.busUrl, &address, error))
        return false;
    Cluster::Options options;
    options.heartbeatTtl = m_options.heartbeatTtl;
    m_cluster = std::make_unique<Cluster>(m_io, std::move(address), options, static_cast<Cluster::Local &>(*this),
                                          m_options.log);
    if (!m_cluster->start(error)) {
        m_cluster.reset();
        return false;
    }
    m_lastNumber = m_cluster->firstNumber();
    m_rooms.numberFrom(m_cluster->firstNumber());
    return true;
}

// Without a bus the numbers simply count. With one, each node counts in its
// own range and, once through it, starts again, passing numbers still in use.
int ImServer::nextNumber()
{
    if (!m_cluster)
        return ++m_lastNumber;
    const int first = m_cluster->firstNumber();
    const int last = first + (1 << Cluster::NodeShift) - 1;
    do
        m_lastNumber = m_lastNumber >= last ? first + 1 : m_lastNumber + 1;
    while (m_byNumber.contains(m_lastNumber));
    return m_lastNumber;
}

// A room lives where it was made, and one node orders all of its traffic as
// a single server does: the room table is not shared. Its frames from users
// at other nodes travel there over the bus, and what it sends reaches its
// members wherever they are. Rooms last only while someone is in them, so a
// room lost with its node costs no stored data; sharing the table in Redis
// would need every change made atomic across nodes for the same result.
void ImServer::routeRoomFrame(const Session &session, const FieldList &fields)
{
    const int roomId = fields.intField(1);
    const bool creates = fields.code() == "MRM" && roomId == 0;
    if (m_cluster && !creates && Cluster::NodeOf(roomId) != m_cluster->node()) {
        m_cluster->toRoomHome(roomId, session.userId, fields.all().join('\t'));
        return;
    }
    m_rooms.handle(RoomTable::Member{session.userId, displayName(session.userId)}, fields);
}

void ImServer::roomFrame(const QByteArray &userId, const QByteArray &frame)
{
    try {
        m_rooms.handle(RoomTable::Member{userId, displayName(userId)}, FieldList(frame));
    } catch (const FrameError &error) {
        m_options.log(QStringLiteral("rejected a room frame of a user at another node: %1")
                          .arg(QString::fromUtf8(error.what())));
    }
}

void ImServer::toEveryone(const QByteArray &frame)
{
    for (const auto &[number, connection] : m_byNumber)
        connection->send(frame);
}

void ImServer::toUser(const QByteArray &userId, int number, const QByteArray &frame)
{
    const auto named = m_byNumber.find(number);
    if (named != m_byNumber.end() && m_connections[named->second].userId == userId)
        named->second->send(frame);
    else
        toLocalUser(userId, frame);
}

void ImServer::announceEveryone()
{
    for (const auto &[number, connection] : m_byNumber)
        m_cluster->sync(number, m_connections[connection].userId, m_connections[connection].state);
}

// The user is back, at another node: the rooms that live here bring their
// windows up to date there.
void ImServer::remoteLogon(const QByteArray &userId, int number)
{
    m_seatsKept.remove(userId);
    m_rooms.rejoin(userId, [this, userId, number](const QByteArray &frame) { sendTo(userId, number, frame); });
}

void ImServer::remoteLogoff(const QByteArray &userId, int number)
{
    if (!isOnline(userId)) {
        keepRoomSeats(userId);
        return;
    }
    // As at one node: when the newest connection goes, the newest left is
    // announced again; the node that holds it does so.
    const QList<Connection *> here = m_online.value(userId);
    if (here.isEmpty())
        return;
    Session &newest = m_connections[here.last()];
    const bool newerElsewhere = std::any_of(m_cluster->remote().begin(), m_cluster->remote().end(),
                                            [&](const auto &remote) {
                                                return remote.second.userId == userId && remote.first > newest.number;
                                            });
    if (newest.number < number && !newerElsewhere) {
        toEveryone(uaddFrame(*here.last()));
        m_cluster->announce(newest.number, userId, newest.state);
    }
}

// At one node a line's copy back goes once the line is queued for a live
// connection of its recipient, or once it is stored as an absence message
// when the recipient has gone. A line for a connection at another node is
// copied back as soon as it is on its way there: that node hands it over, or
// stores it if the recipient left while the line crossed the bus, and the
// bus keeps the line here until that node acknowledges it (see
// Cluster::line). Without the bus the line cannot reach the other node; it
// is stored, and copied back once it is. False when the line is for this
// node.
bool ImServer::lineToOtherNode(Connection &sender, const Session &session, const QByteArray &peer, int number,
                               const QByteArray &text, const QByteArray &stamp, const QByteArray &copy)
{
    const auto named = m_byNumber.find(number);
    if (named != m_byNumber.end() && m_connections[named->second].userId == peer)
        return false;
    Cluster::Line line;
    line.recipient = peer;
    line.number = number;
    line.senderId = session.userId;
    line.stamp = stamp;
    line.text = text;
    if (m_cluster->holds(peer, number)) {
        line.node = Cluster::NodeOf(number);
    } else if (m_online.contains(peer)) {
        return false; // handed over here now; to the peer's other nodes as well
    } else {
        // A number gone stale reaches every connection of the user; their
        // latest node answers for it.
        line.toAll = true;
        line.node = Cluster::NodeOf(m_cluster->newestNumberOf(peer));
    }
    if (!m_cluster->isUp()) {
        storeAbsence(peer, displayName(session.userId), text, [sender = sender.weak_from_this(), copy] {
            if (const auto live = sender.lock())
                live->send(copy);
        });
        return true;
    }
    m_cluster->line(std::move(line));
    sender.send(copy);
    return true;
}

void ImServer::lineFor(const Cluster::Line &line)
{
    const QByteArray frame = MakeFrame({"MSG", line.senderId, line.senderId, line.text, line.stamp}, TrailingTab::Yes);
    if (line.node != m_cluster->node()) {
        if (line.toAll)
            toLocalUser(line.recipient, frame);
        return;
    }
    const auto named = m_byNumber.find(line.number);
    if (named != m_byNumber.end() && m_connections[named->second].userId == line.recipient) {
        named->second->send(frame);
    } else if (m_online.contains(line.recipient)) {
        toLocalUser(line.recipient, frame);
    } else {
        storeAbsence(line.recipient, displayName(line.senderId), line.text, [this, line] {
            if (m_cluster)
                m_cluster->acknowledge(line);
        });
        return;
    }
    m_cluster->acknowledge(line);
}

void ImServer::unacknowledged(const Cluster::Line &line)
{
    storeAbsence(line.recipient, displayName(line.senderId), line.text, {});
}
