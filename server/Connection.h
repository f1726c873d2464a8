#pragma once

#include "wire/FrameCutter.h"
#include "wire/InboundQueue.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

class FieldList;
class QTcpSocket;
struct ServerOptions;

// One client's TCP connection: cuts what it reads into frames, writes frames
// with a bound on what may wait unsent, and closes itself when the client
// misbehaves. Its teardown is always reported to the owner from the event
// loop, never from inside a call, so the owner's tables change only between
// frames.
class Connection : public QObject {
    Q_OBJECT
public:
    class Owner {
    public:
        virtual void onFrame(Connection &connection, const FieldList &fields) = 0;
        // A frame with more fields than any code has, refused before it is split.
        virtual void onUnusableFrame(Connection &connection, const QString &reason) = 0;
        // Called once, after the socket is gone; the owner deletes the connection.
        virtual void onClosed(Connection &connection) = 0;

    protected:
        ~Owner() = default;
    };

    Connection(QTcpSocket *socket, Owner &owner, const ServerOptions &options, QObject *parent);
    ~Connection() override;

    // The next frame of a long answer, or nothing once it is all given.
    using FrameSource = std::function<std::optional<QByteArray>()>;

    // Sends the frame (CR LF is added) after those before it. Frames that
    // others cause count against the bound on what may wait unsent: a client
    // that lets more wait is not reading and is cut off instead.
    void send(const QByteArray &frame);
    // As send(); `written` runs once the frame has been handed to the network.
    void send(const QByteArray &frame, std::function<void()> written);
    // As send(), for the server's own answer to what the client asked (its
    // logon): it waits its turn but never counts as a backlog of the client.
    void answer(const QByteArray &frame, std::function<void()> written = {});
    // An answer too long to hold as bytes (a company list): its frames are
    // drawn from `source` only as the socket drains.
    void answerFrom(FrameSource source);

    // Logs the reason and drops the connection at once, unsent bytes included.
    void cutOff(const QString &reason);
    // Closes once the frames already sent are written (or after a grace period).
    void closeAfterSending(const QString &reason);

    bool isClosing() const { return m_closing; }
    const QString &peer() const { return m_peer; }
    // The logon is done: the logon timer stops, and frames may be as long as
    // the wire allows.
    void loggedOn();
    // Frames wait, unread, until releaseFrames(): the owner cannot act on them
    // yet (a logon is being checked). What waits is bounded by the read buffer,
    // since nothing more is read from the socket meanwhile. The logon timer
    // is paused meanwhile: the server's own delay is not the client's.
    void holdFrames();
    // Handles the frames that waited, from the event loop; the logon timer
    // goes on with the time it had left.
    void releaseFrames();

private:
    // A frame, or a source of frames, waiting for room in the socket.
    struct Pending {
        QByteArray frame;
        std::function<void()> written;
        FrameSource source;
        bool counted = false;
    };

    void readFrames();
    void enqueue(Pending pending);
    // Hands waiting frames to the socket while it holds less than a bound.
    void writeWaiting();
    void write(const QByteArray &frame, std::function<void()> written);
    void onBytesWritten(qint64 count);
    void finish();

    QTcpSocket *m_socket;
    Owner &m_owner;
    const ServerOptions &m_options;
    QString m_peer;
    FrameCutter m_cutter;
    InboundQueue m_frames;
    QTimer m_logonTimer;
    int m_logonTimeLeft = -1; // in ms, while the logon timer is paused
    bool m_closing = false;
    bool m_finished = false;
    bool m_held = false;
    bool m_loggedOn = false;
    std::deque<Pending> m_waiting;
    qint64 m_countedBytes = 0; // of the counted frames in m_waiting
    qint64 m_bytesQueued = 0;  // handed to the socket
    qint64 m_bytesWritten = 0;
    // Callbacks waiting for the byte count at which their frame ends.
    std::deque<std::pair<qint64, std::function<void()>>> m_whenWritten;
};
