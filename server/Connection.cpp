#include "server/Connection.h"

#include "server/ByteStream.h"
#include "server/ServerOptions.h"
#include "wire/FieldList.h"

#include <asio/post.hpp>

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <algorithm>

namespace {

constexpr std::chrono::milliseconds CloseGrace{5000};
// How often the kernel is asked whether the client acknowledged the frames
// whose delivery waits on it.
constexpr std::chrono::milliseconds AcknowledgementPoll{10};
// Before the logon only a logon request is expected, and it is well under this.
constexpr qsizetype PreLogonFrameBytes = 1024;
// The widest frame a client sends has seven fields; lone CRs and LFs in a
// text split it further. A frame with more separators than this is refused
// before it is split, since splitting a 1 MiB frame of TABs is costly.
constexpr qsizetype MaxSeparators = 64;
// A client whose frames caused this much for others, not yet taken by their
// sockets, is not read until half of it is. About a thousand presence
// changes to 250 watchers, or 2,000 lines: no person types that fast.
constexpr qint64 MaxChargedBytes = 256 * 1024;
// Beyond this multiple of the unsent bound a client is cut off at once,
// whether or not it reads: memory is the server's to protect.
constexpr qint64 HardUnsentFactor = 8;
// A write gathers at most this many frames (two buffers each, within IOV_MAX).
constexpr qsizetype FramesPerWrite = 256;
constexpr qsizetype BytesPerWrite = 256 * 1024;
// Frames read while a logon is checked; a client sends one logon request.
constexpr qsizetype MaxHeldFrames = 64;
// Frames drawn from a long answer ahead of the socket's need.
constexpr int SourceFramesPerTurn = 64;

const char CrLf[] = "\r\n";

qsizetype Separators(QByteArrayView frame)
{
    qsizetype count = 0;
    for (const char c : frame)
        count += (c == '\t' || c == '\r' || c == '\n') ? 1 : 0;
    return count;
}

qint64 WireSize(const QByteArray &frame)
{
    return frame.size() + 2;
}

// The connection whose frame is being handled: what is sent meanwhile is
// charged to it.
thread_local Connection *t_cause = nullptr;

class CauseScope {
public:
    explicit CauseScope(Connection *cause) : m_previous(std::exchange(t_cause, cause)) {}
    ~CauseScope() { t_cause = m_previous; }
    CauseScope(const CauseScope &) = delete;
    CauseScope &operator=(const CauseScope &) = delete;

private:
    Connection *m_previous;
};

} // namespace

struct Connection::Charge {
    qint64 bytes = 0;
    bool pushedBack = false; // reading stopped until the receivers catch up
    std::weak_ptr<Connection> owner;
    asio::io_context *io = nullptr;

    void add(qint64 count) { bytes += count; }
    void remove(qint64 count)
    {
        bytes -= count;
        if (!pushedBack || bytes > MaxChargedBytes / 2)
            return;
        pushedBack = false;
        if (auto connection = owner.lock())
            asio::post(*io, [connection] { connection->handleFrames(); });
    }
};

Connection::Connection(asio::io_context &io, std::unique_ptr<ByteStream> stream, Owner &owner,
                       const ServerOptions &options)
    : m_io(io), m_stream(std::move(stream)), m_owner(owner), m_options(options), m_charge(std::make_shared<Charge>()),
      m_logonTimer(io), m_stallTimer(io), m_ackTimer(io), m_graceTimer(io)
{
    std::error_code error;
    const auto remote = m_stream->tcp().remote_endpoint(error);
    m_address = QByteArray::fromStdString(remote.address().to_string());
    m_peer = QStringLiteral("%1:%2").arg(QString::fromLatin1(m_address)).arg(remote.port());
    m_stream->tcp().set_option(asio::ip::tcp::no_delay(true), error);
    m_charge->io = &io;
}

Connection::~Connection()
{
    // No callback may run for a connection that is going away, and what it
    // held of others' charges is theirs again.
    m_unacknowledged.clear();
    for (Pending &pending : m_out)
        if (pending.charge)
            pending.charge->remove(WireSize(pending.frame));
}

void Connection::start(std::function<void()> ready)
{
    m_charge->owner = weak_from_this();
    m_logonDeadline = std::chrono::steady_clock::now() + m_options.logonTimeout;
    m_logonTimer.start(m_options.logonTimeout, [this] {
        cutOff(QStringLiteral("no logon within %1 ms").arg(m_options.logonTimeout.count()));
    });
    m_stream->asyncStart([self = shared_from_this(), ready = std::move(ready)](const std::error_code &error) {
        if (self->m_closing)
            return;
        if (error) {
            self->cutOff(QStringLiteral("no secure session: %1").arg(QString::fromStdString(error.message())));
            return;
        }
        self->m_started = true;
        ready();
        self->scheduleWrite();
        self->readMore();
    });
}

// ---- writing

void Connection::send(const QByteArray &frame)
{
    send(frame, nullptr);
}

void Connection::send(const QByteArray &frame, std::function<void()> acknowledged)
{
    enqueue(Pending{frame, std::move(acknowledged), {}, {}, true});
}

void Connection::answer(const QByteArray &frame, std::function<void()> acknowledged)
{
    enqueue(Pending{frame, std::move(acknowledged), {}, {}, false});
}

void Connection::answerFrom(FrameSource source)
{
    enqueue(Pending{{}, {}, std::move(source), {}, false});
}

void Connection::enqueue(Pending pending)
{
    if (m_closing)
        return;
    if (pending.counted) {
        const qint64 size = WireSize(pending.frame);
        m_countedBytes += size;
        if (m_countedBytes > HardUnsentFactor * m_options.maxUnsentBytes) {
            cutOff(QStringLiteral("not reading: %1 bytes wait unsent").arg(m_countedBytes));
            return;
        }
        if (t_cause) {
            pending.charge = t_cause->m_charge;
            pending.charge->add(size);
        }
    }
    m_out.push_back(std::move(pending));
    scheduleWrite();
}

// Frames queued while a frame is handled go out together, once per turn.
// The posted turn costs the loop one more look at its sockets per line when
// lines come one at a time (Asio looks before it runs a handler posted behind
// its look). Writing at the end of each read instead was measured: 15% less
// CPU per line at 5,000 lines/s, but at saturation a write per line where one
// turn gathered several, and fewer lines a second. Doing so only for a read
// that follows 50 µs without one kept 10% of the gain at 5,000/s and still
// cost 10-15% more CPU per line at saturation (two A/B runs of each).
void Connection::scheduleWrite()
{
    if (!m_started || m_writing || m_writeScheduled || m_finished)
        return;
    m_writeScheduled = true;
    asio::post(m_io, [self = shared_from_this()] {
        self->m_writeScheduled = false;
        self->writeSome();
    });
}

void Connection::writeSome()
{
    if (m_writing || m_finished)
        return;
    // A long answer at the front gives its next frames.
    while (!m_out.empty() && m_out.front().source) {
        std::vector<Pending> drawn;
        while (drawn.size() < SourceFramesPerTurn)
            if (std::optional<QByteArray> frame = m_out.front().source())
                drawn.push_back(Pending{*std::move(frame), {}, {}, {}, false});
            else
                break;
        if (drawn.size() < SourceFramesPerTurn)
            m_out.pop_front(); // the answer is all given
        m_out.insert(m_out.begin(), std::make_move_iterator(drawn.begin()), std::make_move_iterator(drawn.end()));
        if (!drawn.empty())
            break;
    }
    // One gather list for every connection of the thread: it is only read
    // during the calls below (asyncWrite copies it).
    thread_local std::vector<asio::const_buffer> buffers;
    buffers.clear();
    qsizetype bytes = 0;
    qsizetype frames = 0;
    for (const Pending &pending : m_out) {
        if (pending.source || frames == FramesPerWrite || bytes >= BytesPerWrite)
            break;
        const qsizetype skip = frames == 0 ? m_firstFrameOffset : 0;
        const qsizetype size = pending.frame.size();
        if (skip < size)
            buffers.emplace_back(pending.frame.constData() + skip, size - skip);
        buffers.emplace_back(CrLf + std::max<qsizetype>(0, skip - size), 2 - std::max<qsizetype>(0, skip - size));
        bytes += WireSize(pending.frame) - skip;
        ++frames;
    }
    if (frames == 0) {
        if (m_draining)
            closeWhenDrained();
        return;
    }
    m_writing = true;
    m_inFlight = frames;
    m_writeRequested = bytes;
    // The socket usually has room: writing at once spares the loop a wait,
    // a completion and, for a socket never full, the arming of its wait.
    std::error_code error;
    const std::size_t written = m_stream->tryWrite(buffers, error);
    if (error != asio::error::would_block) {
        onWritten(error, written);
        return;
    }
    m_stream->asyncWrite(buffers, [self = shared_from_this()](const std::error_code &error, std::size_t written) {
        self->onWritten(error, written);
    });
}

void Connection::onWritten(const std::error_code &error, std::size_t written)
{
    m_writing = false;
    m_inFlight = 0;
    if (m_finished)
        return;
    if (error) {
        m_closing = true;
        finish(); // the client went away
        return;
    }
    // The socket is full: from here on the client has to read to make room.
    if (static_cast<qint64>(written) < m_writeRequested)
        watchStalledReader();
    auto left = static_cast<qint64>(written);
    while (left > 0 && !m_out.empty()) {
        Pending &front = m_out.front();
        const qint64 rest = WireSize(front.frame) - m_firstFrameOffset;
        if (left < rest) {
            m_firstFrameOffset += left;
            m_bytesTaken += left;
            break;
        }
        left -= rest;
        m_bytesTaken += rest;
        m_firstFrameOffset = 0;
        frameTaken(front);
        m_out.pop_front();
    }
    checkAcknowledged();
    writeSome();
}

void Connection::frameTaken(Pending &pending)
{
    const qint64 size = WireSize(pending.frame);
    if (pending.counted)
        m_countedBytes -= size;
    if (pending.charge)
        std::exchange(pending.charge, nullptr)->remove(size);
    if (pending.acknowledged)
        m_unacknowledged.emplace_back(m_bytesTaken, std::move(pending.acknowledged));
}

// The kernel keeps what the client has not acknowledged; over plain TCP its
// count maps back onto our byte count. Over TLS the records add bytes of
// their own, so there a frame counts as acknowledged only once nothing at
// all waits.
void Connection::checkAcknowledged()
{
    if (m_unacknowledged.empty() || m_finished)
        return;
    int waiting = 0;
    if (::ioctl(m_stream->tcp().native_handle(), SIOCOUTQ, &waiting) != 0)
        return;
    const qint64 acknowledged = m_stream->plain() ? m_bytesTaken - waiting : (waiting == 0 ? m_bytesTaken : -1);
    while (!m_unacknowledged.empty() && m_unacknowledged.front().first <= acknowledged) {
        auto callback = std::move(m_unacknowledged.front().second);
        m_unacknowledged.pop_front();
        callback();
    }
    if (!m_unacknowledged.empty() && !m_ackTimer.isActive())
        m_ackTimer.start(AcknowledgementPoll, [this] { checkAcknowledged(); });
}

// A client may fall behind for a moment; one whose socket takes nothing for
// the whole span while frames wait for it is not reading. Its senders are
// held back meanwhile, so it must not be waited for longer.
void Connection::watchStalledReader()
{
    if (m_stallTimer.isActive())
        return;
    m_takenAtStallCheck = m_bytesTaken;
    m_stallTimer.start(m_options.readerStall, [this] {
        if (m_countedBytes == 0)
            return;
        if (m_bytesTaken == m_takenAtStallCheck)
            cutOff(QStringLiteral("not reading: %1 bytes wait unsent").arg(m_countedBytes));
        else
            watchStalledReader();
    });
}

// ---- reading

bool Connection::pushedBack() const
{
    return m_charge->bytes > MaxChargedBytes;
}

qint64 Connection::chargedBytes() const
{
    return m_charge->bytes;
}

void Connection::readMore()
{
    if (m_reading || m_closing || !m_started)
        return;
    // Frames held for a logon check are few; reading on meanwhile notices a
    // client that leaves, so that its check is dropped.
    if (m_held ? m_frames.size() >= MaxHeldFrames : !m_frames.empty())
        return;
    if (pushedBack()) {
        m_charge->pushedBack = true;
        return;
    }
    m_reading = true;
    m_stream->asyncRead([self = shared_from_this()](const std::error_code &error, QByteArrayView bytes) {
        self->onRead(error, bytes);
    });
}

void Connection::onRead(const std::error_code &error, QByteArrayView bytes)
{
    m_reading = false;
    if (m_closing)
        return;
    if (error || bytes.isEmpty()) {
        m_closing = true;
        finish(); // closed by the client, or broken
        return;
    }
    if (m_cutter.CutFrames(bytes, m_frames) == FrameCutter::Result::Overflow) {
        cutOff(QStringLiteral("a frame longer than %1 bytes").arg(FrameCutter::MaxFrameBytes));
        return;
    }
    handleFrames();
}

void Connection::handleFrames()
{
    const auto self = shared_from_this(); // the owner may drop it meanwhile
    while (!m_closing && !m_held && !m_frames.empty()) {
        if (pushedBack()) {
            m_charge->pushedBack = true;
            return; // the receivers' sockets taking the frames resumes it
        }
        QByteArray frame = m_frames.takeFirst();
        if (!m_loggedOn && frame.size() > PreLogonFrameBytes) {
            cutOff(QStringLiteral("a frame of %1 bytes before the logon").arg(frame.size()));
            return;
        }
        const CauseScope cause(this);
        if (Separators(frame) > MaxSeparators)
            m_owner.onUnusableFrame(*this, QStringLiteral("a frame with more than %1 fields").arg(MaxSeparators));
        else
            m_owner.onFrame(*this, FieldList(std::move(frame)));
    }
    // Every frame before it is handled, so the partial one is the next.
    if (!m_closing && !m_loggedOn && m_cutter.pendingBytes() > PreLogonFrameBytes) {
        cutOff(QStringLiteral("more than %1 bytes before the logon without a frame").arg(PreLogonFrameBytes));
        return;
    }
    readMore();
}

void Connection::loggedOn()
{
    m_loggedOn = true;
    m_logonClockPaused = false;
    m_logonTimer.stop();
}

void Connection::releaseFrames()
{
    m_held = false;
    asio::post(m_io, [self = shared_from_this()] { self->handleFrames(); });
}

void Connection::pauseLogonClock()
{
    if (m_loggedOn || m_logonClockPaused || !m_logonTimer.isActive())
        return;
    m_logonClockPaused = true;
    m_logonLeft = std::chrono::duration_cast<std::chrono::milliseconds>(m_logonDeadline - std::chrono::steady_clock::now());
    m_logonTimer.stop();
}

void Connection::resumeLogonClock()
{
    if (!m_logonClockPaused || m_closing)
        return;
    m_logonClockPaused = false;
    const auto left = std::max(m_logonLeft, std::chrono::milliseconds(0));
    m_logonDeadline = std::chrono::steady_clock::now() + left;
    m_logonTimer.start(left, [this] {
        cutOff(QStringLiteral("no logon within %1 ms").arg(m_options.logonTimeout.count()));
    });
}

void Connection::after(std::chrono::milliseconds delay, std::function<void()> task)
{
    RunAfter(m_io, delay, [weak = weak_from_this(), task = std::move(task)] {
        const auto self = weak.lock();
        if (self && !self->m_closing)
            task();
    });
}

// ---- closing

void Connection::cutOff(const QString &reason)
{
    if (m_closing)
        return;
    m_closing = true;
    m_options.log(QStringLiteral("cut off %1: %2").arg(m_peer, reason));
    m_frames.clear();
    finish();
}

void Connection::closeAfterSending(const QString &reason)
{
    if (m_closing)
        return;
    m_closing = true;
    m_draining = true;
    m_options.log(QStringLiteral("closing %1: %2").arg(m_peer, reason));
    m_frames.clear();
    // A long answer is not finished.
    std::erase_if(m_out, [](const Pending &pending) { return bool(pending.source); });
    // A client that does not read would hold the socket open for ever.
    m_graceTimer.start(CloseGrace, [this] { finish(); });
    scheduleWrite();
}

// Everything is written: the client reads the end of the stream and closes.
void Connection::closeWhenDrained()
{
    std::error_code ignored;
    m_stream->tcp().shutdown(asio::socket_base::shutdown_send, ignored);
    m_draining = false;
    m_stream->asyncRead([self = shared_from_this()](const std::error_code &error, QByteArrayView bytes) {
        if (error || bytes.isEmpty())
            self->finish();
        else
            self->closeWhenDrained(); // what it still sends is not read
    });
}

void Connection::finish()
{
    if (m_finished)
        return;
    // A client that read its frames and closed at once was quicker than the
    // acknowledgement poll: what its TCP stack took counts before the socket
    // goes. The kernel's count survives a reset, so nothing lost is counted.
    checkAcknowledged();
    m_finished = true;
    m_closing = true;
    m_logonTimer.stop();
    m_stallTimer.stop();
    m_ackTimer.stop();
    m_graceTimer.stop();
    m_unacknowledged.clear();
    // Frames not being written are dropped; those being written stay until
    // their write ends, since the socket may still read them.
    while (std::ssize(m_out) > m_inFlight) {
        if (m_out.back().charge)
            m_out.back().charge->remove(WireSize(m_out.back().frame));
        m_out.pop_back();
    }
    std::error_code ignored;
    m_stream->tcp().close(ignored);
    asio::post(m_io, [self = shared_from_this()] { self->m_owner.onClosed(*self); });
}
