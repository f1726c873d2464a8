#pragma once

#include "wire/FrameCutter.h"
#include "wire/InboundQueue.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>

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
        // Called once, after the socket is gone; the owner deletes the connection.
        virtual void onClosed(Connection &connection) = 0;

    protected:
        ~Owner() = default;
    };

    Connection(QTcpSocket *socket, Owner &owner, const ServerOptions &options, QObject *parent);
    ~Connection() override;

    // Sends the frame (CR LF is added). A client that lets more than the bound
    // wait unsent is cut off instead.
    void send(const QByteArray &frame);
    // As send(); `written` runs once the frame has been handed to the network.
    void send(const QByteArray &frame, std::function<void()> written);

    // Logs the reason and drops the connection at once, unsent bytes included.
    void cutOff(const QString &reason);
    // Closes once the frames already sent are written (or after a grace period).
    void closeAfterSending(const QString &reason);

    bool isClosing() const { return m_closing; }
    const QString &peer() const { return m_peer; }
    // The logon is done: the logon timer stops.
    void stopLogonTimer() { m_logonTimer.stop(); }
    // Frames wait, unread, until releaseFrames(): the owner cannot act on them
    // yet (a logon is being checked). What waits is bounded by the read buffer,
    // since nothing more is read from the socket meanwhile.
    void holdFrames() { m_held = true; }
    // Handles the frames that waited, from the event loop.
    void releaseFrames();

private:
    void readFrames();
    void onBytesWritten(qint64 count);
    void finish();

    QTcpSocket *m_socket;
    Owner &m_owner;
    const ServerOptions &m_options;
    QString m_peer;
    FrameCutter m_cutter;
    InboundQueue m_frames;
    QTimer m_logonTimer;
    bool m_closing = false;
    bool m_finished = false;
    bool m_held = false;
    qint64 m_bytesQueued = 0;
    qint64 m_bytesWritten = 0;
    // Callbacks waiting for the byte count at which their frame ends.
    std::deque<std::pair<qint64, std::function<void()>>> m_whenWritten;
};
