#pragma once

#include "server/EventLoop.h"
#include "wire/FrameCutter.h"
#include "wire/InboundQueue.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class ByteStream;
class FieldList;
struct ServerOptions;

// One client's connection: cuts what it reads into frames, writes frames as
// fast as the socket takes them, and closes itself when the client
// misbehaves. Its teardown is always reported to the owner from the event
// loop, never from inside a call, so the owner's tables change only between
// frames.
//
// Push-back: every frame a client's frame causes for others (presence to its
// watchers, a line and its copy) is charged to that client until the
// receiver's socket has taken it. A client with too much charged stops being
// read until its receivers catch up, so a flood slows its sender down rather
// than growing the queues of everyone who reads at full speed. Only a
// receiver that takes nothing for a long while, or whose queue passes a hard
// bound, is cut off as not reading.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    class Owner {
    public:
        virtual void onFrame(Connection &connection, const FieldList &fields) = 0;
        // A frame with more fields than any code has, refused before it is split.
        virtual void onUnusableFrame(Connection &connection, const QString &reason) = 0;
        // Called once, after the socket is gone; the owner drops the connection.
        virtual void onClosed(Connection &connection) = 0;

    protected:
        ~Owner() = default;
    };

    Connection(asio::io_context &io, std::unique_ptr<ByteStream> stream, Owner &owner, const ServerOptions &options);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Starts the logon clock and reading (after the TLS handshake, if any).
    // `ready` runs once the connection can carry frames.
    void start(std::function<void()> ready);

    // The next frame of a long answer, or nothing once it is all given.
    using FrameSource = std::function<std::optional<QByteArray>()>;

    // Sends the frame (CR LF is added) after those before it; it counts
    // against this client's bound on what may wait unsent.
    void send(const QByteArray &frame);
    // As send(); `acknowledged` runs once the client's TCP stack has
    // acknowledged every byte of the frame, and never if the connection ends
    // before.
    void send(const QByteArray &frame, std::function<void()> acknowledged);
    // As send(), for the server's own answer to what the client asked (its
    // logon): it waits its turn but never counts as a backlog of the client.
    void answer(const QByteArray &frame, std::function<void()> acknowledged = {});
    // An answer too long to hold as bytes (a company list): its frames are
    // drawn from `source` only as the socket drains.
    void answerFrom(FrameSource source);

    // Logs the reason and drops the connection at once, unsent bytes included.
    void cutOff(const QString &reason);
    // Closes once the frames already sent are written (or after a grace period).
    void closeAfterSending(const QString &reason);

    bool isClosing() const { return m_closing; }
    const QString &peer() const { return m_peer; }
    const QByteArray &address() const { return m_address; }
    bool isLoggedOn() const { return m_loggedOn; }
    // The logon is done: the logon clock stops, and frames may be as long as
    // the wire allows.
    void loggedOn();
    // Frames wait, unread, until releaseFrames(): the owner cannot act on them
    // yet (a logon is being checked). Reading goes on only for a few
    // frames, so that a client that leaves is noticed.
    void holdFrames() { m_held = true; }
    // Handles the frames that waited, from the event loop.
    void releaseFrames();
    // Time that the server itself makes a client wait (its password check in
    // the queue) does not count against the client's time to log on.
    void pauseLogonClock();
    void resumeLogonClock();
    bool isLogonClockPaused() const { return m_logonClockPaused; }

    // Runs `task` after the delay unless the connection has closed meanwhile.
    void after(std::chrono::milliseconds delay, std::function<void()> task);

    // Bytes this client's frames caused that wait in others' queues.
    qint64 chargedBytes() const;

private:
    struct Charge;
    struct Pending {
        QByteArray frame;
        std::function<void()> acknowledged;
        FrameSource source;
        std::shared_ptr<Charge> charge; // the client whose frame caused it, if another's
        bool counted = false;
    };

    void enqueue(Pending pending);
    void scheduleWrite();
    void writeSome();
    void onWritten(const std::error_code &error, std::size_t bytes);
    void frameTaken(Pending &pending);
    void checkAcknowledged();
    void watchStalledReader();

    void readMore();
    void onRead(const std::error_code &error, QByteArrayView bytes);
    void handleFrames();
    void uncharge(qint64 bytes);
    bool pushedBack() const;

    void closeWhenDrained();
    void finish();

    asio::io_context &m_io;
    std::unique_ptr<ByteStream> m_stream;
    Owner &m_owner;
    const ServerOptions &m_options;
    QString m_peer;
    QByteArray m_address;

    FrameCutter m_cutter;
    InboundQueue m_frames;
    bool m_reading = false;
    bool m_started = false;
    bool m_held = false;
    bool m_loggedOn = false;
    bool m_closing = false;
    bool m_draining = false; // closing once what waits is written
    bool m_finished = false;
    std::shared_ptr<Charge> m_charge;

    LoopTimer m_logonTimer;
    std::chrono::steady_clock::time_point m_logonDeadline;
    std::chrono::milliseconds m_logonLeft{0};
    bool m_logonClockPaused = false;

    // Frames not yet taken by the socket, oldest first; the first
    // m_inFlight of them are being written.
    std::deque<Pending> m_out;
    qsizetype m_inFlight = 0;
    qsizetype m_firstFrameOffset = 0; // bytes of m_out's first frame already written
    bool m_writing = false;
    bool m_writeScheduled = false;
    qint64 m_countedBytes = 0; // of the counted frames in m_out
    qint64 m_bytesTaken = 0;   // by the socket, since the start
    qint64 m_writeRequested = 0;
    LoopTimer m_stallTimer;
    qint64 m_takenAtStallCheck = 0;

    // Callbacks waiting for the socket's byte count at which their frame ends
    // to be acknowledged.
    // Seldom used (lines stored for absent colleagues): a list, which holds
    // nothing while empty, where a deque would hold half a kilobyte.
    QList<std::pair<qint64, std::function<void()>>> m_unacknowledged;
    LoopTimer m_ackTimer;
    LoopTimer m_graceTimer;
};
