#include "server/bus/LinesInFlight.h"

// Numbers start from the clock, so that a late acknowledgement meant for this
// node's previous run, under the same node number, matches no line of this one.
LinesInFlight::LinesInFlight(std::size_t bound)
    : m_bound(bound),
      m_lastSeq(std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count())
{
}

void LinesInFlight::add(ClusterLine &line, Clock::time_point now, std::vector<ClusterLine> *pushedOut)
{
    if (m_lines.size() >= m_bound && !m_lines.empty()) {
        pushedOut->push_back(std::move(m_lines.begin()->second.line));
        m_lines.erase(m_lines.begin());
    }
    line.seq = ++m_lastSeq;
    m_lines.emplace(line.seq, Entry{line, now});
}

void LinesInFlight::acknowledged(int node, qint64 seq)
{
    const auto it = m_lines.find(seq);
    if (it != m_lines.end() && it->second.line.node == node)
        m_lines.erase(it);
}

std::vector<ClusterLine> LinesInFlight::takeNode(int node)
{
    std::vector<ClusterLine> taken;
    for (auto it = m_lines.begin(); it != m_lines.end();) {
        if (it->second.line.node == node) {
            taken.push_back(std::move(it->second.line));
            it = m_lines.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

std::vector<ClusterLine> LinesInFlight::takeSentBefore(Clock::time_point cutoff)
{
    std::vector<ClusterLine> taken;
    while (!m_lines.empty() && m_lines.begin()->second.sent < cutoff) {
        taken.push_back(std::move(m_lines.begin()->second.line));
        m_lines.erase(m_lines.begin());
    }
    return taken;
}

std::set<int> LinesInFlight::nodes() const
{
    std::set<int> nodes;
    for (const auto &[seq, entry] : m_lines)
        nodes.insert(entry.line.node);
    return nodes;
}
