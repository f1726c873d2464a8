#pragma once

#include <QByteArray>
#include <QByteArrayList>

// Absence messages delivered to the user, waiting to be shown one at a time,
// oldest first. Each entry is the four fields of its AMS frame, each followed
// by a TAB. Nothing taken is ever dropped: the server has deleted its copy.
class AbsenceMessageQueue {
public:
    // A server could send absence messages without end. Past these bounds, far
    // more than anyone leaves unread, append() refuses the entry by throwing,
    // which fails its frame like any bad frame and tells the user.
    static constexpr qsizetype MaxEntries = 10000;
    static constexpr qsizetype MaxBytes = 16 * 1024 * 1024;

    void append(QByteArray entry);
    bool isEmpty() const { return m_entries.isEmpty(); }
    qsizetype size() const { return m_entries.size(); }
    QByteArray takeFirst();

private:
    QByteArrayList m_entries;
    qsizetype m_bytes = 0;
};

// One entry cut at its TABs; the second field is never shown.
struct AbsenceEntry {
    QByteArray received;
    QByteArray sender;
    QByteArray text;
};
AbsenceEntry ReadAbsenceEntry(const QByteArray &entry);
