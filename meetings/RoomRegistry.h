#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

#include <optional>

// One open room: its key (the room id in canonical decimal) and its window,
// which is null while the window is still to be made.
struct RoomEntry {
    QByteArray key;
    QPointer<QObject> window;
};

// A room whose row exists but whose window is still to be made, with the
// room's traffic that arrived meanwhile (sub-frames, sub-code first), to be
// handed to the window once it is made.
struct PendingRoom {
    QByteArray key;
    int roomId = 0;
    QByteArray name;
    QList<QByteArrayList> subFrames;
};

// The rooms open in this client, at most one row per key. It only refers to
// the windows; they belong to the main window. Lookup goes through an index,
// so a server that opens thousands of rooms costs no walk of the list per
// frame. A row may be entered before its window is made (see
// appendPending): a burst of rooms is then opened a few at a time, between
// which the program answers the user.
class RoomRegistry {
public:
    // Whether the key has a row, with its window made or still pending.
    bool contains(const QByteArray &key) const { return m_rows.contains(key); }
    // The window of the room, or null when the key has no row, its window is
    // still pending, or it has gone without closing (as at the program's end).
    QObject *find(const QByteArray &key) const;
    // A row with its window; a row the key had is replaced.
    void append(const QByteArray &key, QObject *window);
    void remove(const QByteArray &key);

    // A row whose window is to be made later, in the order rooms arrived.
    void appendPending(PendingRoom room);
    bool hasPending() const { return m_pendingFront < m_pending.size(); }
    // The waiting room of this key, to add its traffic to; null when the key
    // has no row or its window is made.
    PendingRoom *pendingRoom(const QByteArray &key);
    // The oldest room still waiting for its window; its row stays, waiting
    // for append.
    std::optional<PendingRoom> takeFirstPending();

    qsizetype size() const { return m_rows.size(); }
    // The rows in the order they were added.
    QList<RoomEntry> rows() const;

private:
    struct Row {
        QPointer<QObject> window;
        quint64 order;
        qsizetype queued = -1; // its place in m_pending while its window is to be made
    };
    QHash<QByteArray, Row> m_rows;
    QList<PendingRoom> m_pending; // a queue, read from m_pendingFront
    qsizetype m_pendingFront = 0;
    quint64 m_added = 0;
};
