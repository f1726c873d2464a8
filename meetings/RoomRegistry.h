#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

// One open room: its key (the room id in canonical decimal) and its window.
struct RoomEntry {
    QByteArray key;
    QPointer<QObject> window;
};

// The rooms whose windows are open in this client, at most one row per key.
// It only refers to the windows; they belong to the main window. Lookup goes
// through an index, so a server that opens thousands of rooms costs no walk
// of the list per frame.
class RoomRegistry {
public:
    // The window of the room, or null when the key has no row (or its window
    // has gone without closing, as at the program's end).
    QObject *find(const QByteArray &key) const;
    // A new row at the end; a row the key had is replaced.
    void append(const QByteArray &key, QObject *window);
    void remove(const QByteArray &key);

    qsizetype size() const { return m_rows.size(); }
    // The rows in the order they were added.
    QList<RoomEntry> rows() const;

private:
    struct Row {
        QPointer<QObject> window;
        quint64 order;
    };
    QHash<QByteArray, Row> m_rows;
    quint64 m_added = 0;
};
