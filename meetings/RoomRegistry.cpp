#include "meetings/RoomRegistry.h"

#include <algorithm>

QObject *RoomRegistry::find(const QByteArray &key) const
{
    const auto row = m_rows.constFind(key);
    return row == m_rows.cend() ? nullptr : row->window.data();
}

void RoomRegistry::append(const QByteArray &key, QObject *window)
{
    m_rows.insert(key, Row{window, ++m_added});
}

void RoomRegistry::remove(const QByteArray &key)
{
    m_rows.remove(key);
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
