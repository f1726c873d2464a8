#pragma once

#include "server/EventLoop.h"
#include "server/bus/LinesInFlight.h"
#include "server/bus/RedisBus.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <chrono>
#include <map>
#include <memory>

// This node's part in a cluster of servers that share one store and talk
// over a Redis channel. Every node publishes what happens to its own users
// (logons, logoffs, presence) and keeps a table of the other nodes' online
// connections, so that it can answer "who is online" and route a frame to a
// user wherever they are. Each node announces itself with a key that expires
// unless refreshed; the users of a node whose key is gone are taken as
// logged off.
class Cluster {
public:
    using Line = ClusterLine;

    // What this node does with what the others tell it.
    class Local {
    public:
        virtual ~Local() = default;
        // To every connection logged on at this node.
        virtual void toEveryone(const QByteArray &frame) = 0;
        // To the user's connection with that number when it is here, else to
        // each of the user's connections here.
        virtual void toUser(const QByteArray &userId, int number, const QByteArray &frame) = 0;
        // Every connection logged on here, through sync().
        virtual void announceEveryone() = 0;
        // A connection of the user logged on at another node, or went.
        virtual void remoteLogon(const QByteArray &userId, int number) = 0;
        virtual void remoteLogoff(const QByteArray &userId, int number) = 0;
        // A room frame of the user for a room that lives at this node.
        virtual void roomFrame(const QByteArray &userId, const QByteArray &frame) = 0;
        // An absence message stored at another node for a user online here.
        virtual void absenceStored(const QByteArray &recipient, qint64 rowId, const QByteArray &frame) = 0;
        // A conversation line from a user at another node; see ClusterLine.
        // The node that answers for it calls acknowledge() once it is handed
        // over or stored.
        virtual void lineFor(const Line &line) = 0;
        // A line this node sent that its node never acknowledged: this node
        // stores it as an absence message.
        virtual void unacknowledged(const Line &line) = 0;
    };

    struct Options {
        // A node whose key has not been refreshed for this long is dead.
        std::chrono::milliseconds heartbeatTtl{6000};
    };

    Cluster(asio::io_context &io, RedisAddress address, Options options, Local &local, LogSink log);
    ~Cluster();

    // Takes the node's number and announces the node; false and a reason
    // naming the address when Redis cannot be reached.
    bool start(QString *error);

    // Connection and room numbers carry the node in their high bits, so
    // they are unique across the cluster and tell where a room lives.
    static constexpr int NodeShift = 20;
    int node() const { return m_node; }
    int firstNumber() const { return m_node << NodeShift; }
    static int NodeOf(int number) { return number >> NodeShift; }

    // What happens at this node.
    void announce(int number, const QByteArray &userId, int state); // online, or announced again
    // The same, for others who may know it already: heard by clients only
    // where it is news.
    void sync(int number, const QByteArray &userId, int state);
    void loggedOff(int number, const QByteArray &userId);
    void presence(int number, const QByteArray &userId, int state, const QByteArray &frame);
    // To the user's connection `number` at the node that holds it, or to
    // all of the user's connections at other nodes.
    void toUser(const QByteArray &userId, int number, const QByteArray &frame);
    void toRoomHome(int roomId, const QByteArray &userId, const QByteArray &frame);
    void absenceStored(const QByteArray &recipient, qint64 rowId, const QByteArray &frame);
    // Sends the line to the node that answers for it and keeps it until
    // that node acknowledges it.
    void line(Line line);
    // The line is handed over or stored here; its sending node hears it soon.
    void acknowledge(const Line &line);
    std::size_t linesInFlight() const { return m_inFlight.size(); }
    // A node without its bus would serve users that the others cannot see.
    bool isUp() const { return m_bus.isUp(); }

    struct Remote {
        QByteArray userId;
        int state = 3;
    };
    bool isOnline(const QByteArray &userId) const { return m_numbersOf.contains(userId); }
    // A live connection of that user at another node.
    bool holds(const QByteArray &userId, int number) const;
    // The user's connection at another node that was announced last; 0 for none.
    int newestNumberOf(const QByteArray &userId) const;
    const std::map<int, Remote> &remote() const { return m_remote; }

private:
    void onMessage(const QByteArray &message);
    void onSubscribed();
    QByteArray message(const QByteArray &kind, const QByteArrayList &fields) const;
    void publish(const QByteArray &kind, const QByteArrayList &fields);
    void publishTo(int node, const QByteArray &kind, const QByteArrayList &fields);
    QByteArray channelOf(int node) const;
    // Every connection of the user at other nodes is at that one.
    bool allAt(const QByteArray &userId, int node) const;
    void add(int number, const QByteArray &userId, int state, bool forward);
    void remove(int number);
    bool waitForLiveNodes(const RedisBus::Ask &ask);
    void beat();
    void checkNodes();
    void nodeGone(int node);
    void sendAcknowledgements();
    void unacknowledged(std::vector<Line> lines, const char *why);
    QByteArray keyOf(int node) const;

    Options m_options;
    Local &m_local;
    LogSink m_log;
    RedisBus m_bus;
    int m_node = 0;
    std::map<int, Remote> m_remote; // other nodes' online connections, by number
    QHash<QByteArray, QList<int>> m_numbersOf; // by user
    LinesInFlight m_inFlight;
    std::map<int, QByteArray> m_acknowledgements; // numbers of lines to acknowledge, by node
    LoopTimer m_acknowledge;
    LoopTimer m_beat;
    LoopTimer m_check;
    bool m_checking = false;
    bool m_beaten = false;
    bool m_subscribed = false;
};
