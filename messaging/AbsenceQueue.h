#pragma once

#include <QByteArray>
#include <QByteArrayList>

// Absence messages delivered to the user, waiting to be shown one at a time,
// oldest first. Each entry is the four fields of its AMS frame, each followed
// by a TAB. Nothing is ever dropped: the server has deleted its copy.
class AbsenceMessageQueue {
public:
    void append(QByteArray entry) { m_entries.append(std::move(entry)); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    qsizetype size() const { return m_entries.size(); }
    QByteArray takeFirst() { return m_entries.takeFirst(); }

private:
    QByteArrayList m_entries;
};

// One entry cut at its TABs; the second field is never shown.
struct AbsenceEntry {
    QByteArray received;
    QByteArray sender;
    QByteArray text;
};
AbsenceEntry ReadAbsenceEntry(const QByteArray &entry);
