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
// Acknowledgements wait this long to go out together: they are off the
// senders' path, and one bus message then answers many lines.
constexpr std::chrono::milliseconds AcknowledgeAfter{10};
// At 100,000 lines a second, a second's worth; a node that falls that far
// behind in acknowledging is taken as not answering for the oldest.
constexpr std::size_t MaxLinesInFlight = 100000;

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
        {"to", 5},    {"room", 5}, {"ams", 5},  {"line", 10}, {"ack", 3}};
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
    : m_options(options), m_local(local), m_log(log), m_bus(io, std::move(address), Channel, log),
      m_inFlight(MaxLinesInFlight), m_acknowledge(io), m_beat(io), m_check(io)
{
}

// The others learn at once that this node's users are gone, rather than when
// its key expires, and get the acknowledgements still due: a line not
// acknowledged by a node that said goodbye is stored by its sender. The
// loop no longer runs, so this blocks, briefly.
Cluster::~Cluster()
{
    if (m_node == 0)
        return;
    std::vector<std::vector<QByteArray>> last;
    for (const auto &[node, numbers] : m_acknowledgements)
        last.push_back({"PUBLISH", channelOf(node), message("ack", {numbers})});
    last.push_back({"DEL", keyOf(m_node)});
    last.push_back({"PUBLISH", Channel, message("bye", {})});
    m_bus.commandsNow(last);
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

// A line's copy back goes to its sender as soon as the line is on its way
// to a node where the recipient is online, as one node copies it back once
// the line is queued for the recipient's socket; the bus's hop is not paid
// twice on the sender's path. The promise of the copy back holds all the
// same: this node keeps the line until the recipient's node says it handed
// the line over or stored it (if the recipient had just gone), and stores it
// itself if that node dies, is away from the bus, or stays silent past a
// heartbeat's life. A line the other node did deliver but whose
// acknowledgement was lost is then stored too and comes once more at the
// next logon: a rare duplicate rather than a line lost behind a receipt.
void Cluster::line(Line line)
{
    line.origin = m_node;
    std::vector<Line> pushedOut;
    m_inFlight.add(line, LinesInFlight::Clock::now(), &pushedOut);
    const QByteArrayList fields{QByteArray::number(line.seq),     line.recipient, Number(line.number), Number(line.node),
                                line.toAll ? "1" : "0", line.senderId,  line.stamp,          line.text};
    if (line.toAll && !allAt(line.recipient, line.node))
        publish("line", fields);
    else
        publishTo(line.node, "line", fields);
    unacknowledged(std::move(pushedOut), "too many lines waiting for an acknowledgement");
}

void Cluster::acknowledge(const Line &line)
{
    QByteArray &numbers = m_acknowledgements[line.origin];
    if (!numbers.isEmpty())
        numbers.append(' ');
    numbers.append(QByteArray::number(line.seq));
    if (!m_acknowledge.isActive())
        m_acknowledge.start(AcknowledgeAfter, [this] { sendAcknowledgements(); });
}

void Cluster::sendAcknowledgements()
{
    for (const auto &[node, numbers] : m_acknowledgements)
        publishTo(node, "ack", {numbers});
    m_acknowledgements.clear();
}

void Cluster::unacknowledged(std::vector<Line> lines, const char *why)
{
    if (lines.empty())
        return;
    m_log(QStringLiteral("%1 lines sent to other nodes were not acknowledged (%2); stored here")
              .arg(lines.size())
              .arg(QLatin1String(why)));
    for (const Line &line : lines)
        m_local.unacknowledged(line);
}

bool Cluster::allAt(const QByteArray &userId, int node) const
{
    const QList<int> numbers = m_numbersOf.value(userId);
    return std::all_of(numbers.begin(), numbers.end(), [node](int number) { return NodeOf(number) == node; });
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
        m_local.lineFor(Line{from, fields[2].toLongLong(), fields[3], number(4), number(5), fields[6] == "1", fields[7],
                             fields[8], fields[9]});
    } else if (kind == "ack") {
        for (const QByteArray &seq : fields[2].split(' '))
            m_inFlight.acknowledged(from, seq.toLongLong());
    } else if (kind == "bye") {
        nodeGone(from);
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
    unacknowledged(m_inFlight.takeSentBefore(LinesInFlight::Clock::now() - m_options.heartbeatTtl),
                   "no answer within a heartbeat's life");
    if (m_checking)
        return;
    std::set<int> nodes = m_inFlight.nodes();
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
            nodeGone(*node);
        }
    });
}

void Cluster::nodeGone(int node)
{
    std::vector<int> gone;
    for (const auto &[number, remote] : m_remote)
        if (NodeOf(number) == node)
            gone.push_back(number);
    for (int number : gone)
        remove(number);
    unacknowledged(m_inFlight.takeNode(node), "their node is gone");
}
