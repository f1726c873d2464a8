#pragma once

#include <QByteArray>

#include <chrono>
#include <cstddef>
#include <map>
#include <set>
#include <vector>

// A conversation line for a user held at other nodes. The node `node`
// answers for it: it hands the line over or stores it as an absence message,
// then acknowledges it to `origin` under `seq`. With `toAll` (the line named
// no live connection) every node delivers it to the user's connections there
// as well.
struct ClusterLine {
    int origin = 0;
    qint64 seq = 0;
    QByteArray recipient;
    int number = 0;
    int node = 0;
    bool toAll = false;
    QByteArray senderId;
    QByteArray stamp;
    QByteArray text;
};

// The lines this node has sent to other nodes and already copied back to
// their senders, kept until the node that answers for each acknowledges it.
// What is never acknowledged (its node died, lost its bus, or stays silent
// too long) comes out again here, for the sending node to store itself.
// Bounded: past `bound` lines the oldest comes out at once.
class LinesInFlight {
public:
    using Clock = std::chrono::steady_clock;

    explicit LinesInFlight(std::size_t bound);

    // Gives the line its number. `pushedOut` gets the oldest line when the
    // table is full.
    void add(ClusterLine &line, Clock::time_point now, std::vector<ClusterLine> *pushedOut);
    // An acknowledgement counts only from the node the line was sent to.
    void acknowledged(int node, qint64 seq);
    std::vector<ClusterLine> takeNode(int node);
    std::vector<ClusterLine> takeSentBefore(Clock::time_point cutoff);

    std::size_t size() const { return m_lines.size(); }
    // The nodes that owe an acknowledgement.
    std::set<int> nodes() const;

private:
    struct Entry {
        ClusterLine line;
        Clock::time_point sent;
    };
    std::size_t m_bound;
    qint64 m_lastSeq;
    std::map<qint64, Entry> m_lines; // by number, which is also the order they were sent in
};
