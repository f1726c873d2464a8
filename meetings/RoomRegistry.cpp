#include "meetings/RoomRegistry.h"

#include <algorithm>

QObject *RoomRegistry::find(const QByteArray &key) const
{
    const auto row = m_rows.constFind(key);
    return row == m_rows.cend() ? nullptr : row->window.data();
}

void RoomRegistry::append(const QByteArray &key, QObject *window)
{
    Row &row = m_rows[key];
    if (row.order == 0)
        row.order = ++m_added; // a row entered as pending keeps its place
    row.window = window;
    row.queued = -1;
}

void RoomRegistry::remove(const QByteArray &key)
{
    m_rows.remove(key);
}

void RoomRegistry::appendPending(PendingRoom room)
{
    m_rows.insert(room.key, Row{nullptr, ++m_added, m_pending.size()});
    m_pending.append(std::move(room));
}

PendingRoom *RoomRegistry::pendingRoom(const QByteArray &key)
{
    const auto row = m_rows.constFind(key);
    return row == m_rows.cend() || row->queued < 0 ? nullptr : &m_pending[row->queued];
}

std::optional<PendingRoom> RoomRegistry::takeFirstPending()
{
    if (m_pendingFront >= m_pending.size())
        return std::nullopt;
    PendingRoom room = std::move(m_pending[m_pendingFront++]);
    if (const auto row = m_rows.find(room.key); row != m_rows.end())
        row->queued = -1;
    if (m_pendingFront == m_pending.size()) {
        m_pending.clear();
        m_pendingFront = 0;
    }
    return room;
}

QList<RoomEntry> RoomRegistry::rows() const
{
    QList<std::pair<quint64, RoomEntry>> ordered;
    ordered.reserve(m_rows.size());
    for (auto row = m_rows.cbegin(); row != m_rows.cend(); ++row)
        ordered.append({row->order, RoomEntry{row.key(), row->window}});
    std::sort(ordered.begin(), ordered.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<RoomEntry> entries;
    entries.reserve(ordered.size());
    for (const auto &[order, entry] : ordered)
        entries.append(entry);
    return entries;
}
