#include "server/Connection.h"

#include "server/ServerOptions.h"
#include "wire/FieldList.h"
#include "wire/Fields.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {

// Bytes taken from one client per turn of the event loop, so that a client
// that sends without pause cannot starve the others.
constexpr qint64 ReadChunkBytes = 64 * 1024;
constexpr int CloseGraceMs = 5000;
// Before the logon only a logon request is expected, and it is well under this.
constexpr qsizetype PreLogonFrameBytes = 1024;
// The widest frame a client sends has seven fields; lone CRs and LFs in a
// text split it further. A frame with more separators than this is refused
// before it is split, since splitting a 1 MiB frame of TABs is costly.
constexpr qsizetype MaxSeparators = 64;

qsizetype Separators(QByteArrayView frame)
{
    qsizetype count = 0;
    for (const char c : frame)
        count += (c == '\t' || c == '\r' || c == '\n') ? 1 : 0;
    return count;
}
// What the socket may hold beyond what the network took. More waits as
// frames (or as a source of frames) until the socket drains.
constexpr qint64 WriteAheadBytes = 256 * 1024;

} // namespace

Connection::Connection(QTcpSocket *socket, Owner &owner, const ServerOptions &options, QObject *parent)
    : QObject(parent), m_socket(socket), m_owner(owner), m_options(options)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(ReadChunkBytes);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_peer = QStringLiteral("%1:%2").arg(m_socket->peerAddress().toString()).arg(m_socket->peerPort());

    connect(m_socket, &QTcpSocket::readyRead, this, &Connection::readFrames);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &Connection::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &Connection::finish);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &Connection::finish);

    m_logonTimer.setSingleShot(true);
    connect(&m_logonTimer, &QTimer::timeout, this,
            [this] { cutOff(QStringLiteral("no logon within %1 ms").arg(m_options.logonTimeout.count())); });
    m_logonTimer.start(m_options.logonTimeout);
}

Connection::~Connection()
{
    // No callback may run for a connection that is going away.
    m_whenWritten.clear();
    m_waiting.clear();
    disconnect(m_socket, nullptr, this, nullptr);
}

void Connection::send(const QByteArray &frame)
{
    send(frame, nullptr);
}

void Connection::send(const QByteArray &frame, std::function<void()> written)
{
    enqueue(Pending{frame, std::move(written), {}, true});
}

void Connection::answer(const QByteArray &frame, std::function<void()> written)
{
    enqueue(Pending{frame, std::move(written), {}, false});
}

void Connection::answerFrom(FrameSource source)
{
    enqueue(Pending{{}, {}, std::move(source), false});
}

void Connection::enqueue(Pending pending)
{
    if (m_closing)
        return;
    if (m_waiting.empty() && !pending.source && m_socket->bytesToWrite() < WriteAheadBytes) {
        write(pending.frame, std::move(pending.written));
        return;
    }
    if (pending.counted) {
        const qint64 size = pending.frame.size() + 2;
        if (m_countedBytes + size > m_options.maxUnsentBytes) {
            cutOff(QStringLiteral("not reading: %1 bytes wait unsent").arg(m_countedBytes + m_socket->bytesToWrite()));
            return;
        }
        m_countedBytes += size;
    }
    m_waiting.push_back(std::move(pending));
    writeWaiting();
}

void Connection::writeWaiting()
{
    while (!m_closing && !m_waiting.empty() && m_socket->bytesToWrite() < WriteAheadBytes) {
        Pending &next = m_waiting.front();
        if (next.source) {
            if (std::optional<QByteArray> frame = next.source())
                write(*frame, nullptr);
            else
                m_waiting.pop_front();
            continue;
        }
        if (next.counted)
            m_countedBytes -= next.frame.size() + 2;
        write(next.frame, std::move(next.written));
        m_waiting.pop_front();
    }
}

void Connection::write(const QByteArray &frame, std::function<void()> written)
{
    m_socket->write(frame + "\r\n");
    m_bytesQueued += frame.size() + 2;
    if (written)
        m_whenWritten.emplace_back(m_bytesQueued, std::move(written));
}

void Connection::onBytesWritten(qint64 count)
{
    m_bytesWritten += count;
    while (!m_whenWritten.empty() && m_whenWritten.front().first <= m_bytesWritten) {
        auto callback = std::move(m_whenWritten.front().second);
        m_whenWritten.pop_front();
        callback();
    }
    writeWaiting();
}

void Connection::readFrames()
{
    while (!m_closing && !m_held) {
        if (!m_frames.empty()) {
            QByteArray frame = m_frames.takeFirst();
            if (!m_loggedOn && frame.size() > PreLogonFrameBytes) {
                cutOff(QStringLiteral("a frame of %1 bytes before the logon").arg(frame.size()));
                return;
            }
            if (Separators(frame) > MaxSeparators)
                m_owner.onUnusableFrame(*this, QStringLiteral("a frame with more than %1 fields").arg(MaxSeparators));
            else
                m_owner.onFrame(*this, FieldList(std::move(frame)));
            continue;
        }
        // Every frame before it is handled, so the partial one is the next.
        if (!m_loggedOn && m_cutter.pendingBytes() > PreLogonFrameBytes) {
            cutOff(QStringLiteral("more than %1 bytes before the logon without a frame").arg(PreLogonFrameBytes));
            return;
        }
        if (m_socket->bytesAvailable() == 0)
            return;
        const QByteArray bytes = m_socket->read(ReadChunkBytes);
        if (m_cutter.CutFrames(bytes, m_frames) == FrameCutter::Result::Overflow) {
            cutOff(QStringLiteral("a frame longer than %1 bytes").arg(FrameCutter::MaxFrameBytes));
            return;
        }
    }
}

void Connection::loggedOn()
{
    m_loggedOn = true;
    m_logonTimer.stop();
}

void Connection::holdFrames()
{
    m_held = true;
    if (!m_loggedOn && m_logonTimer.isActive()) {
        m_logonTimeLeft = std::max(0, m_logonTimer.remainingTime());
        m_logonTimer.stop();
    }
}

void Connection::releaseFrames()
{
    m_held = false;
    if (!m_loggedOn && !m_closing && m_logonTimeLeft >= 0)
        m_logonTimer.start(m_logonTimeLeft);
    m_logonTimeLeft = -1;
    QMetaObject::invokeMethod(this, &Connection::readFrames, Qt::QueuedConnection);
}

void Connection::cutOff(const QString &reason)
{
    if (m_closing)
        return;
    m_closing = true;
    m_options.log(QStringLiteral("cut off %1: %2").arg(m_peer, reason));
    m_frames.clear();
    m_waiting.clear();
    m_whenWritten.clear();
    m_socket->abort();
    finish();
}

void Connection::closeAfterSending(const QString &reason)
{
    if (m_closing)
        return;
    m_closing = true;
    m_options.log(QStringLiteral("closing %1: %2").arg(m_peer, reason));
    m_frames.clear();
    // What waits goes to the socket now; a long answer is not finished.
    for (Pending &pending : m_waiting)
        if (!pending.source)
            write(pending.frame, std::move(pending.written));
    m_waiting.clear();
    m_socket->disconnectFromHost();
    // A client that does not read would hold the socket open for ever.
    QTimer::singleShot(CloseGraceMs, this, [this] {
        m_socket->abort();
        finish();
    });
}

void Connection::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_closing = true;
    m_logonTimer.stop();
    QMetaObject::invokeMethod(this, [this] { m_owner.onClosed(*this); }, Qt::QueuedConnection);
}
