#include "server/bus/Cluster.h"

#include "wire/FrameText.h"

#include <hiredis/hiredis.h>

#include <QRegularExpression>

#include <algorithm>
#include <set>
#include <thread>

namespace {

const QByteArray Channel = "vantrel:bus";
const QByteArray NodeCounter = "vantrel:nodes";
// 2^31 / 2^20: the node number must keep connection numbers positive 32-bit.
constexpr int MaxNodes = 2047;
constexpr std::chrono::milliseconds CheckInterval{1000};

QByteArray Number(int value)
{
    return QByteArray::number(value);
}

// How many fields each kind of message has, the node and the kind included.
// The last field (a frame or a text) is the rest of the message, whatever it
// holds.
int FieldCount(QByteArrayView kind)
{
    static const std::map<QByteArrayView, int> counts{
        {"hello", 2}, {"bye", 2},  {"up", 5},   {"sync", 5}, {"down", 4},  {"stc", 6},
        {"to", 5},    {"room", 5}, {"ams", 5},  {"line", 10}, {"copy", 5}};
    const auto it = counts.find(kind);
    return it == counts.end() ? 0 : it->second;
}

// At most `count` fields; the last holds whatever follows.
QByteArrayList SplitFields(const QByteArray &message, int count)
{
    QByteArrayList fields;
    qsizetype from = 0;
    while (fields.size() + 1 < count) {
        const qsizetype end = message.indexOf('\n', from);
        if (end < 0)
            break;
        fields.append(message.mid(from, end - from));
        from = end + 1;
    }
    fields.append(message.mid(from));
    return fields;
}

} // namespace

Cluster::Cluster(asio::io_context &io, RedisAddress address, Options options, Local &local, LogSink log)
    : m_options(options), m_local(local), m_log(log), m_bus(io, std::move(address), Channel, log), m_beat(io),
      m_check(io)
{
}

// The others learn at once that this node's users are gone, rather than when
// its key expires. Its loop no longer runs, so this blocks, briefly.
Cluster::~Cluster()
{
    if (m_node == 0)
        return;
    m_bus.commandNow({"DEL", keyOf(m_node)});
    m_bus.commandNow({"PUBLISH", Channel, Number(m_node) + "\nbye"});
}

bool Cluster::start(QString *error)
{
    // The counter names a node; the key it takes with NX makes sure that no
    // live node has that number (the counter starts again when Redis loses
    // its data).
    const auto takeNumber = [this](const RedisBus::Ask &ask) {
        if (!waitForLiveNodes(ask))
            return false;
        for (int attempt = 0; attempt < MaxNodes; ++attempt) {
            const std::optional<RedisBus::Answer> counted = ask({"INCR", NodeCounter});
            if (!counted)
                return false;
            const int node = int((counted->number - 1) % MaxNodes) + 1;
            const std::optional<RedisBus::Answer> taken =
                ask({"SET", keyOf(node), "1", "PX", Number(int(m_options.heartbeatTtl.count())), "NX"});
            if (!taken)
                return false;
            if (taken->number == 1) {
                m_node = node;
                m_bus.listenAlso(channelOf(node));
                return true;
            }
        }
        return false;
    };
    if (!m_bus.start(
            takeNumber, [this](const QByteArray &message) { onMessage(message); }, [this] { onSubscribed(); },
            [this] { beat(); }, error))
        return false;
    m_log(QStringLiteral("node %1 on the bus at %2").arg(m_node).arg(m_bus.address().shown()));
    beat();
    m_check.start(CheckInterval, [this] { checkNodes(); });
    return true;
}

// A Redis that has just started (again, and empty) knows none of the live
// nodes' keys until they reconnect and refresh them, which each does at once
// when its connection is back; until then the NX test above would let this
// node take a live node's number. So a node starting then waits until Redis
// has been up for longer than the others can take to come back.
bool Cluster::waitForLiveNodes(const RedisBus::Ask &ask)
{
    const std::optional<RedisBus::Answer> info = ask({"INFO", "server"});
    if (!info)
        return false;
    const QRegularExpressionMatch uptime =
        QRegularExpression(QStringLiteral("uptime_in_seconds:(\\d+)")).match(QString::fromLatin1(info->text));
    const auto up = std::chrono::seconds(uptime.hasMatch() ? uptime.captured(1).toLongLong() : 0);
    // The seconds are whole, so `up` may be most of one second short.
    const auto settled = RedisBus::LongestPause + std::chrono::seconds(1);
    if (up >= settled)
        return true;
    const auto wait = settled - up;
    m_log(QStringLiteral("the bus at %1 has just started; waiting %2 ms for the nodes already running to come back")
              .arg(m_bus.address().shown())
              .arg(std::chrono::duration_cast<std::chrono::milliseconds>(wait).count()));
    std::this_thread::sleep_for(wait);
    return true;
}

QByteArray Cluster::keyOf(int node) const
{
    return "vantrel:node:" + Number(node);
}

// What is for one node only goes on that node's channel, so the others
// neither receive nor read it, and a node's share of the bus's traffic does
// not grow with the number of nodes.
QByteArray Cluster::channelOf(int node) const
{
    return Channel + ':' + Number(node);
}

QByteArray Cluster::message(const QByteArray &kind, const QByteArrayList &fields) const
{
    QByteArray message = Number(m_node) + '\n' + kind;
    for (const QByteArray &field : fields)
        message.append('\n').append(field);
    return message;
}

void Cluster::publish(const QByteArray &kind, const QByteArrayList &fields)
{
    m_bus.publish(message(kind, fields));
}

void Cluster::publishTo(int node, const QByteArray &kind, const QByteArrayList &fields)
{
    m_bus.publishTo(channelOf(node), message(kind, fields));
}

// On every (re)subscription: what was said while this node was not
// listening is lost, so it forgets what it knew and the others say again who
// is online with them.
void Cluster::onSubscribed()
{
    if (std::exchange(m_subscribed, true))
        while (!m_remote.empty())
            remove(m_remote.begin()->first);
    publish("hello", {});
}

void Cluster::announce(int number, const QByteArray &userId, int state)
{
    publish("up", {Number(number), userId, Number(state)});
}

void Cluster::sync(int number, const QByteArray &userId, int state)
{
    publish("sync", {Number(number), userId, Number(state)});
}

void Cluster::loggedOff(int number, const QByteArray &userId)
{
    publish("down", {Number(number), userId});
}

void Cluster::presence(int number, const QByteArray &userId, int state, const QByteArray &frame)
{
    publish("stc", {Number(number), userId, Number(state), frame});
}

void Cluster::toUser(const QByteArray &userId, int number, const QByteArray &frame)
{
    if (holds(userId, number))
        publishTo(NodeOf(number), "to", {userId, Number(number), frame});
    else
        publish("to", {userId, Number(number), frame});
}

void Cluster::toRoomHome(int roomId, const QByteArray &userId, const QByteArray &frame)
{
    publishTo(NodeOf(roomId), "room", {Number(NodeOf(roomId)), userId, frame});
}

void Cluster::absenceStored(const QByteArray &recipient, qint64 rowId, const QByteArray &frame)
{
    publish("ams", {recipient, QByteArray::number(rowId), frame});
}

void Cluster::line(const Line &line)
{
    const QByteArrayList fields{line.recipient,          Number(line.number), Number(line.node),
                                line.toAll ? "1" : "0",  Number(line.senderNumber), line.senderId,
                                line.stamp,              line.text};
    if (line.toAll && !allAt(line.recipient, line.node))
        publish("line", fields);
    else
        publishTo(line.node, "line", fields);
}

bool Cluster::allAt(const QByteArray &userId, int node) const
{
    const QList<int> numbers = m_numbersOf.value(userId);
    return std::all_of(numbers.begin(), numbers.end(), [node](int number) { return NodeOf(number) == node; });
}

void Cluster::copyBack(int senderNumber, const QByteArray &senderId, const QByteArray &frame)
{
    publishTo(NodeOf(senderNumber), "copy", {Number(senderNumber), senderId, frame});
}

int Cluster::newestNumberOf(const QByteArray &userId) const
{
    const auto numbers = m_numbersOf.find(userId);
    return numbers == m_numbersOf.end() || numbers->isEmpty() ? 0 : numbers->last();
}

bool Cluster::holds(const QByteArray &userId, int number) const
{
    const auto it = m_remote.find(number);
    return it != m_remote.end() && it->second.userId == userId;
}

void Cluster::onMessage(const QByteArray &message)
{
    const QByteArrayList head = SplitFields(message, 3);
    bool ok = false;
    const int from = head.value(0).toInt(&ok);
    const int count = FieldCount(head.value(1));
    if (!ok || from == m_node || count == 0)
        return;
    const QByteArrayList fields = SplitFields(message, count);
    if (fields.size() != count)
        return;
    const QByteArray &kind = fields[1];
    const auto number = [&](int index) { return fields.value(index).toInt(); };
    if (kind == "hello") {
        m_local.announceEveryone();
    } else if (kind == "up") {
        add(number(2), fields[3], number(4), true);
    } else if (kind == "sync") {
        add(number(2), fields[3], number(4), !holds(fields[3], number(2)));
    } else if (kind == "down") {
        if (holds(fields[3], number(2)))
            remove(number(2));
    } else if (kind == "stc") {
        const auto it = m_remote.find(number(2));
        if (it != m_remote.end())
            it->second.state = number(4);
        m_local.toEveryone(fields[5]);
    } else if (kind == "to") {
        const int to = number(3);
        if (!holds(fields[2], to)) // else the node that holds it delivers
            m_local.toUser(fields[2], to, fields[4]);
    } else if (kind == "room") {
        if (number(2) == m_node)
            m_local.roomFrame(fields[3], fields[4]);
    } else if (kind == "ams") {
        m_local.absenceStored(fields[2], fields[3].toLongLong(), fields[4]);
    } else if (kind == "line") {
        m_local.lineFor(Line{fields[2], number(3), number(4), fields[5] == "1", number(6), fields[7], fields[8],
                             fields[9]});
    } else if (kind == "copy") {
        if (NodeOf(number(2)) == m_node)
            m_local.copyBack(number(2), fields[3], fields[4]);
    } else if (kind == "bye") {
        std::vector<int> gone;
        for (const auto &[n, remote] : m_remote)
            if (NodeOf(n) == from)
                gone.push_back(n);
        for (int n : gone)
            remove(n);
    }
}

// An "up" for a known connection is an announcement again (its user's newest
// connection, or a node that had lost the bus): the clients hear it again.
void Cluster::add(int number, const QByteArray &userId, int state, bool forward)
{
    if (number <= 0 || userId.isEmpty())
        return;
    const auto [it, added] = m_remote.try_emplace(number, Remote{userId, state});
    it->second.state = state;
    if (added)
        m_numbersOf[userId].append(number);
    if (forward)
        m_local.toEveryone(MakeFrame({"UADD", Number(number), userId, Number(state)}, TrailingTab::Yes));
    if (added)
        m_local.remoteLogon(userId, number);
}

void Cluster::remove(int number)
{
    const auto it = m_remote.find(number);
    if (it == m_remote.end())
        return;
    const QByteArray userId = it->second.userId;
    m_remote.erase(it);
    auto numbers = m_numbersOf.find(userId);
    numbers->removeOne(number);
    if (numbers->isEmpty())
        m_numbersOf.erase(numbers);
    m_local.toEveryone(MakeFrame({"UDEL", Number(number), userId}, TrailingTab::Yes));
    m_local.remoteLogoff(userId, number);
}

// The key is refreshed at a third of its life. Found missing, it had expired
// while this node lived (a stalled loop, Redis restarted): the others have
// taken its users as gone, so it announces them again.
void Cluster::beat()
{
    m_bus.command({"SET", keyOf(m_node), "1", "PX", Number(int(m_options.heartbeatTtl.count())), "GET"},
                  [this, first = !std::exchange(m_beaten, true)](const redisReply *reply) {
                      if (reply && reply->type == REDIS_REPLY_NIL && !first)
                          m_local.announceEveryone();
                  });
    m_beat.start(std::max(m_options.heartbeatTtl / 3, std::chrono::milliseconds(1)), [this] { beat(); });
}

// The nodes that hold connections this node knows of, each asked whether its
// key still lives; one that is gone takes its users with it.
void Cluster::checkNodes()
{
    m_check.start(CheckInterval, [this] { checkNodes(); });
    if (m_checking)
        return;
    std::set<int> nodes;
    for (const auto &[number, remote] : m_remote)
        nodes.insert(NodeOf(number));
    if (nodes.empty())
        return;
    std::vector<QByteArray> args{"MGET"};
    for (int node : nodes)
        args.push_back(keyOf(node));
    m_checking = true;
    m_bus.command(args, [this, nodes](const redisReply *reply) {
        m_checking = false;
        if (!reply || reply->type != REDIS_REPLY_ARRAY || reply->elements != nodes.size())
            return; // no answer is no news
        auto node = nodes.begin();
        for (std::size_t i = 0; i < reply->elements; ++i, ++node) {
            if (reply->element[i]->type != REDIS_REPLY_NIL)
                continue;
            m_log(QStringLiteral("node %1 is gone; its users are logged off").arg(*node));
            std::vector<int> gone;
            for (const auto &[number, remote] : m_remote)
                if (NodeOf(number) == *node)
                    gone.push_back(number);
            for (int number : gone)
                remove(number);
        }
    });
}
