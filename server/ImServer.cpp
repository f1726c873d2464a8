#include "server/ImServer.h"

#include "server/Absences.h"
#include "server/Cp932Check.h"
#include "server/MemberList.h"
#include "server/PasswordHash.h"
#include "server/TimeOfDayStamp.h"
#include "wire/FieldList.h"
#include "wire/Fields.h"
#include "wire/FrameText.h"

#include "server/ByteStream.h"
#include "server/Listener.h"
#include "server/TlsModule.h"

#include <QDateTime>

#include <asio/io_context.hpp>
#include <asio/post.hpp>

namespace {

constexpr qsizetype MaxMessageBytes = 1024;       // a conversation line, as the client cuts it
constexpr qsizetype MaxAbsenceBytes = 4096;       // the compose box has no limit of its own
// No account has a longer password (the logon dialog cuts it there too); a
// longer one is refused without the cost of checking it.
constexpr qsizetype MaxPasswordBytes = 50;
// A client asks to log on within a round trip of its greeting; one that has
// not after this long may make room for a newcomer.
constexpr qint64 MinWaitBeforeMakingRoom = 1000;

// One per thread: a server routes on its loop's thread only.
QByteArray Stamp()
{
    static thread_local TimeOfDayStamp stamp;
    return stamp.now();
}

QString Shown(const QByteArray &cp932Text)
{
    return QString::fromLatin1(cp932Text.left(32).toPercentEncoding(" .-_@"));
}

} // namespace

ImServer::ImServer(asio::io_context &io, ServerOptions options)
    : m_io(io), m_options(std::move(options)),
      m_listener(std::make_unique<Listener>(io, [this](std::unique_ptr<ByteStream> stream) { onAccepted(std::move(stream)); })),
      m_rooms([this](const QByteArray &id, const QByteArray &frame) { sendTo(id, frame); },
              [this](const QByteArray &id) { return isOnline(id); }),
      m_accountsPoll(io)
{
    PasswordChecks::Options checks;
    checks.maxWaiting = std::size_t(std::max(1, m_options.maxConnections));
    if (m_options.checkPassword)
        checks.verify = m_options.checkPassword;
    // A result that arrives once the server is gone is dropped.
    m_checks = std::make_unique<PasswordChecks>(
        [this, alive = std::weak_ptr<int>(m_lifetime)](std::function<void()> done) {
            asio::post(m_io, [alive, done = std::move(done)] {
                if (alive.lock())
                    done();
            });
        },
        checks);
    m_clock.start();
}

ImServer::~ImServer()
{
    m_listener->close();
    // Password checks not started are dropped: each takes a core for a
    // while, and a stop must not wait for a queue of them.
    m_checks->stop();
    // The connections go before the tables they refer to.
    m_online.clear();
    m_byNumber.clear();
    m_waitingByAddress.clear();
    for (Session &session : m_connections)
        session.connection->cutOff(QStringLiteral("the server stops"));
    m_connections.clear();
}

quint16 ImServer::port() const
{
    return m_listener->port();
}

void ImServer::after(std::chrono::milliseconds delay, std::function<void()> task)
{
    RunAfter(m_io, delay, [alive = std::weak_ptr<int>(m_lifetime), task = std::move(task)] {
        if (alive.lock())
            task();
    });
}

bool ImServer::start(const asio::ip::address &address, quint16 port, QString *error)
{
    const StoreLocation where{m_options.dataDir, m_options.postgresUrl};
    m_store = AccountStore::Open(where, error);
    if (!m_store)
        return false;
    m_writer = std::make_unique<StoreWriter>(PosterFor(m_io), m_options.beforeStoreWrite);
    if (!m_writer->start(where, error))
        return false;
    m_absences = std::make_unique<Absences>(*m_store, *m_writer, m_options.log);
    m_storeHealth = std::make_unique<StoreHealth>(*m_store, where.shown(), m_options.log);
    watchAccounts();
    if (!m_options.busUrl.isEmpty() && !startCluster(error))
        return false;
    if (!m_options.tlsCertificate.isEmpty()) {
        auto tls = OpenTls(TlsModulePath(), m_options.tlsCertificate, m_options.tlsKey, m_options.tlsQuietAfter, error);
        if (!tls)
            return false;
        m_listener->useTls(std::move(tls));
    }
    if (!m_listener->listen(address, port, error))
        return false;
    m_options.log(QStringLiteral("%1 accounts; listening on %2:%3%4")
                      .arg(m_directory.accounts().size())
                      .arg(QString::fromStdString(address.to_string()))
                      .arg(m_listener->port())
                      .arg(m_options.tlsCertificate.isEmpty() ? QString() : QStringLiteral(" with TLS")));
    return true;
}

void ImServer::onAccepted(std::unique_ptr<ByteStream> stream)
{
    auto connection = std::make_shared<Connection>(m_io, std::move(stream), static_cast<Connection::Owner &>(*this), m_options);
    if (m_cluster && !m_cluster->isUp()) {
        connection->cutOff(QStringLiteral("no bus to the other nodes")); // the client tries again, maybe elsewhere
        return;
    }
    if (!makeRoomForConnection(connection->address())) {
        m_options.log(QStringLiteral("refused connection from %1: %2 connections are open, %3 of them without a logon")
                          .arg(connection->peer())
                          .arg(m_connections.size())
                          .arg(m_waitingCount));
        connection->cutOff(QStringLiteral("no room"));
        return;
    }
    Session &session = m_connections[connection.get()];
    session.connection = connection;
    session.accepted = ++m_lastAccepted;
    session.acceptedAt = m_clock.elapsed();
    m_waitingByAddress[connection->address()].emplace(session.accepted, connection.get());
    ++m_waitingCount;
    m_options.log(QStringLiteral("connection from %1").arg(connection->peer()));
    connection->start([connection] { connection->answer("000"); });
}

// An address that opens connections without logging on crowds out only its
// own: the oldest waiting connection of the address with the most goes first.
// A client with a password sends its logon request at once, after which it
// is no longer among those that make room.
bool ImServer::makeRoomForConnection(const QByteArray &address)
{
    const auto own = m_waitingByAddress.find(address);
    const bool addressFull = own != m_waitingByAddress.end() && qsizetype(own->second.size()) >= m_options.maxWaitingPerAddress;
    if (!addressFull && m_waitingCount < m_options.maxWaiting && m_connections.size() < m_options.maxConnections)
        return true;
    auto crowded = addressFull ? own : m_waitingByAddress.end();
    if (!addressFull)
        for (auto it = m_waitingByAddress.begin(); it != m_waitingByAddress.end(); ++it)
            if (crowded == m_waitingByAddress.end() || it->second.size() > crowded->second.size())
                crowded = it;
    if (crowded == m_waitingByAddress.end())
        return false; // every connection is logged on or being checked
    const auto [accepted, oldest] = *crowded->second.begin();
    if (m_clock.elapsed() - m_connections[oldest].acceptedAt < MinWaitBeforeMakingRoom)
        return false; // a burst of clients that have had no time to ask yet
    stopWaiting(*oldest, m_connections[oldest]);
    oldest->cutOff(QStringLiteral("no logon request, and a new connection needs the room"));
    return true;
}

void ImServer::stopWaiting(Connection &connection, Session &session)
{
    if (!std::exchange(session.waiting, false))
        return;
    const auto own = m_waitingByAddress.find(connection.address());
    own->second.erase({session.accepted, &connection});
    if (own->second.empty())
        m_waitingByAddress.erase(own);
    --m_waitingCount;
}

void ImServer::onClosed(Connection &connection)
{
    const auto session = m_connections.find(&connection);
    if (session == m_connections.end())
        return;
    if (session->check)
        m_checks->cancel(*session->check); // nobody is left to answer
    // What the connection did not get waits for the next logon, at any node.
    m_absences->release(session->number);
    release(connection);
    stopWaiting(connection, *session);
    m_options.log(QStringLiteral("closed %1").arg(connection.peer()));
    m_connections.erase(session); // the connection goes once its last handler has run
}

void ImServer::onFrame(Connection &connection, const FieldList &fields)
{
    Session &session = m_connections[&connection];
    if (session.userId.isEmpty()) {
        // A client whose windows survived a lost connection sends as soon as
        // its socket is up: what it sends before the logon request has no
        // sender yet and is dropped, without holding it against the client.
        if (fields.code() == "000") {
            stopWaiting(connection, session);
            beginLogon(connection, fields);
        }
        return;
    }
    const bool uploadedNode = session.upload && fields.code() == "LSETD";
    if (uploadedNode && session.upload->refused)
        return;
    try {
        for (const QByteArray &field : fields.all())
            if (!IsWellFormedCp932(field))
                throw FrameError(Shown(fields.code().toByteArray()).toStdString() + " carries bytes that are not cp932 text");
        dispatch(connection, session, fields);
    } catch (const FrameError &error) {
        // A list is stored whole or not at all.
        if (uploadedNode) {
            session.upload->refused = true;
            session.upload->nodes.clear();
        }
        reject(connection, session, QString::fromUtf8(error.what()));
    }
}

void ImServer::onUnusableFrame(Connection &connection, const QString &reason)
{
    Session &session = m_connections[&connection];
    if (!session.userId.isEmpty())
        reject(connection, session, reason);
}

void ImServer::reject(Connection &connection, Session &session, const QString &reason)
{
    m_options.log(QStringLiteral("rejected a frame of %1 from %2: %3").arg(Shown(session.userId), connection.peer(), reason));
    // Rejections are forgiven as time passes: a client that now and then
    // sends what this server cannot use is served for as long as it likes;
    // one that sends little else is cut off.
    const qint64 now = m_clock.elapsed();
    const qint64 forgiven = m_options.rejectionForgiven.count() > 0
                                ? (now - session.lastRejection) / m_options.rejectionForgiven.count()
                                : 0;
    session.rejections = std::max<qint64>(0, session.rejections - forgiven) + 1;
    session.lastRejection = now;
    if (session.rejections >= m_options.rejectionsBeforeCutOff)
        connection.cutOff(QStringLiteral("%1 frames rejected").arg(session.rejections));
}

// ---- logon

void ImServer::beginLogon(Connection &connection, const FieldList &fields)
{
    const QByteArray id = fields.fieldOr(1);
    const auto corp = ParseDecimal(fields.fieldOr(2));
    const QByteArray password = fields.fieldOr(3);
    const auto major = ParseDecimal(fields.fieldOr(4));
    if (fields.size() >= 5 && major != 1) {
        m_options.log(QStringLiteral("refused logon of %1 from %2: client version %3")
                          .arg(Shown(id), connection.peer(), Shown(fields.field(4))));
        connection.answer(MakeFrame({"001", "2"}, TrailingTab::Yes));
        return;
    }
    refreshAccounts(); // an account added or changed a moment ago counts
    if (m_storeHealth->isLost()) {
        connection.cutOff(QStringLiteral("no logon while the store is lost")); // the client comes back
        return;
    }
    const Account *account = m_directory.find(id);
    if (password.size() > MaxPasswordBytes) {
        refuseLogon(connection, QStringLiteral("%1: a password longer than any account has").arg(Shown(id)));
        return;
    }
    if (fields.size() < 5 || !account || account->disabled || corp != account->corpIndex) {
        refuseLogon(connection, QStringLiteral("%1: unknown id or wrong corporate index").arg(Shown(id)));
        return;
    }
    // Frames sent behind the logon request wait until it is decided; once it
    // succeeds they are handled as the user's. The logon clock waits too:
    // time in the server's own queue of checks is not the client's.
    connection.holdFrames();
    connection.pauseLogonClock();
    std::weak_ptr<Connection> target = connection.weak_from_this();
    const auto check = m_checks->submit(account->id, account->passwordHash, password,
                                        [this, target, key = &connection, account = *account](bool ok) {
                                            if (target.expired())
                                                return;
                                            m_connections[key].check.reset();
                                            finishLogon(target, account, ok);
                                        });
    if (!check) {
        connection.cutOff(QStringLiteral("%1 password checks wait already").arg(m_checks->waiting()));
        return;
    }
    m_connections[&connection].check = check;
    m_options.log(QStringLiteral("checking the password of %1 from %2").arg(Shown(account->id), connection.peer()));
}

void ImServer::finishLogon(const std::weak_ptr<Connection> &target, const Account &account, bool passwordOk)
{
    const std::shared_ptr<Connection> connection = target.lock();
    if (!connection || connection->isClosing())
        return;
    connection->resumeLogonClock();
    // Disabled or deleted while its password was being checked.
    refreshAccounts();
    const Account *now = m_directory.find(account.id);
    if (passwordOk && (!now || now->disabled)) {
        refuseLogon(*connection, QStringLiteral("%1: the account was disabled or deleted").arg(Shown(account.id)));
        return;
    }
    if (passwordOk) {
        completeLogon(*connection, account);
        connection->releaseFrames();
    } else {
        refuseLogon(*connection, QStringLiteral("%1: wrong password").arg(Shown(account.id)));
    }
}

void ImServer::refuseLogon(Connection &connection, const QString &reason)
{
    Session &session = m_connections[&connection];
    m_options.log(QStringLiteral("refused logon from %1: %2").arg(connection.peer(), reason));
    connection.holdFrames(); // nothing is read before the answer
    const bool last = ++session.refusals >= m_options.refusalsBeforeClose;
    connection.after(m_options.refusalDelay, [&connection, last] {
        connection.answer(MakeFrame({"001", "1"}, TrailingTab::Yes));
        if (last)
            connection.closeAfterSending(QStringLiteral("too many refused logons"));
        else
            connection.releaseFrames();
    });
}

void ImServer::completeLogon(Connection &connection, const Account &account)
{
    Session &session = m_connections[&connection];
    session.userId = account.id;
    session.number = nextNumber();
    session.state = 3; // the client starts every logon available
    connection.loggedOn();
    m_online[account.id].append(&connection);
    m_byNumber.emplace(session.number, &connection);
    m_options.log(QStringLiteral("logon of %1 as connection %2 from %3")
                      .arg(Shown(account.id))
                      .arg(session.number)
                      .arg(connection.peer()));

    // The whole answer is queued now, in order, but the list and the UADDs are
    // made only as the socket drains: a big company's would not fit in memory
    // for every client logging on at once. What others cause meanwhile waits
    // behind it.
    connection.answer(MakeFrame({"001", "0"}, TrailingTab::Yes));
    connection.answer(MakeFrame({"002", account.displayName}, TrailingTab::Yes));
    connection.answer("LSETS");
    connection.answerFrom(listSource(account.id));
    connection.answer("LSETE");
    connection.answerFrom(onlineSource(session.number));
    toOthers(connection, uaddFrame(connection));
    if (m_cluster)
        m_cluster->announce(session.number, account.id, session.state);
    deliverAbsences(connection, account.id);
    m_seatsKept.remove(account.id);
    m_rooms.rejoin(account.id, [&connection](const QByteArray &frame) { connection.answer(frame); });
}

Connection::FrameSource ImServer::listSource(const QByteArray &userId)
{
    // A list on its way to the disk is the user's latest.
    std::optional<StoredList> stored = m_unwrittenLists.contains(userId)
                                           ? std::optional(StoredList{m_directory, m_unwrittenLists.value(userId).second})
                                           : storedListOf(userId);
    if (!stored) {
        return [frames = m_companyList, next = qsizetype(0)]() mutable -> std::optional<QByteArray> {
            return next < frames.size() ? std::optional(frames[next++]) : std::nullopt;
        };
    }
    // Sent as the directory was at the logon, as the company list is, even if the accounts change meanwhile.
    return [list = std::move(*stored), next = qsizetype(0)]() mutable -> std::optional<QByteArray> {
        return next < list.nodes.size() ? std::optional(StoredNodeFrame(list, next++)) : std::nullopt;
    };
}

// A UADD for every connection up to `last` that is live when its turn comes:
// the later ones, and every change meanwhile, are sent behind it as they happen.
// Those at other nodes come after, each that is live when its turn comes.
Connection::FrameSource ImServer::onlineSource(int last)
{
    return [this, last, next = 0, nextRemote = 0]() mutable -> std::optional<QByteArray> {
        const auto it = m_byNumber.lower_bound(next);
        if (it != m_byNumber.end() && it->first <= last) {
            next = it->first + 1;
            return uaddFrame(*it->second);
        }
        if (!m_cluster)
            return std::nullopt;
        const auto remote = m_cluster->remote().lower_bound(nextRemote);
        if (remote == m_cluster->remote().end())
            return std::nullopt;
        nextRemote = remote->first + 1;
        return MakeFrame({"UADD", QByteArray::number(remote->first), remote->second.userId,
                          QByteArray::number(remote->second.state)},
                         TrailingTab::Yes);
    };
}

// The client keeps its room windows across a lost connection, so the user
// keeps their places for a while; a user who does not come back in time
// leaves the rooms.
void ImServer::keepRoomSeats(const QByteArray &userId)
{
    if (!m_rooms.hasRooms(userId))
        return;
    m_rooms.wentOffline(userId);
    const quint64 turn = ++m_lastSeatTurn;
    m_seatsKept.insert(userId, turn);
    after(m_options.roomSeatsKept, [this, userId, turn] {
        if (m_seatsKept.value(userId) != turn)
            return; // back online meanwhile
        m_seatsKept.remove(userId);
        m_rooms.leaveAll(userId);
    });
}

QByteArray ImServer::uaddFrame(Connection &connection)
{
    const Session &session = m_connections[&connection];
    return MakeFrame({"UADD", QByteArray::number(session.number), session.userId, QByteArray::number(session.state)},
                     TrailingTab::Yes);
}

// Takes a logged-on connection out of the tables: the others learn it is gone,
// and the user leaves the rooms once no connection of theirs is left. Safe to
// call twice.
void ImServer::release(Connection &connection)
{
    Session &session = m_connections[&connection];
    const auto user = m_online.find(session.userId);
    if (session.userId.isEmpty() || user == m_online.end() || !user->removeOne(&connection))
        return;
    m_byNumber.erase(session.number);
    m_options.log(QStringLiteral("logoff of %1, connection %2").arg(Shown(session.userId)).arg(session.number));
    toOthers(connection, MakeFrame({"UDEL", QByteArray::number(session.number), session.userId}, TrailingTab::Yes));
    if (m_cluster)
        m_cluster->loggedOff(session.number, session.userId);
    if (user->isEmpty()) {
        m_online.erase(user);
        if (!isOnline(session.userId)) // at another node they keep their seats
            keepRoomSeats(session.userId);
        return;
    }
    // The others mark a member with the number of the latest UADD, so when
    // that connection goes the newest one left is announced again.
    Connection *newest = user->last();
    if (m_connections[newest].number < session.number) {
        toOthers(connection, uaddFrame(*newest));
        if (m_cluster)
            m_cluster->announce(m_connections[newest].number, session.userId, m_connections[newest].state);
    }
}

// ---- after the logon

void ImServer::dispatch(Connection &connection, Session &session, const FieldList &fields)
{
    const QByteArrayView code = fields.code();
    if (code == "STC")
        onPresence(connection, session, fields);
    else if (code == "MSG")
        onMessage(connection, session, fields);
    else if (code == "MSI")
        onTyping(session, fields);
    else if (code == "AMS")
        onAbsenceMessage(session, fields);
    else if (code == "LSETS" || code == "LSETD" || code == "LSETE")
        onListUpload(session, fields);
    else if (code == "MRM" || code == "MRJ" || code == "MRC" || code == "MRI" || code == "MRE")
        routeRoomFrame(session, fields);
    else if (code == "000")
        throw FrameError("000: already logged on");
    else
        throw FrameError("unknown code " + Shown(code.toByteArray()).toStdString());
}

void ImServer::onPresence(Connection &connection, Session &session, const FieldList &fields)
{
    const int state = fields.intField(1);
    if (state < 2 || state > 4)
        throw FrameError("STC: the state is not 2, 3 or 4");
    session.state = state;
    const QByteArray frame = MakeFrame({"STC", session.userId, QByteArray::number(state)}, TrailingTab::Yes);
    toOthers(connection, frame);
    if (m_cluster)
        m_cluster->presence(session.number, session.userId, state, frame);
}

void ImServer::onMessage(Connection &connection, Session &session, const FieldList &fields)
{
    const int number = fields.intField(1); // the peer's connection the line is meant for
    const QByteArray &peer = fields.field(2);
    const QByteArray text = CleanFieldText(fields.field(3), MaxMessageBytes);
    if (!m_directory.find(peer))
        throw FrameError("MSG to an unknown id");
    const QByteArray stamp = Stamp();
    // The copy back is the sender's receipt: it goes once the line is
    // delivered or stored, and never for a line that was dropped.
    const QByteArray copy = MakeFrame({"MSG", peer, session.userId, text, stamp}, TrailingTab::Yes);
    if (isOnline(peer)) {
        if (m_cluster && lineToOtherNode(connection, session, peer, number, text, stamp, copy))
            return;
        // The copy goes first: the sender's own line reaches their window only
        // through it, right after Enter, while the recipient is not waiting
        // for anything. Both are queued in this same turn, so the receipt
        // still never goes for a line that was not handed over.
        connection.send(copy);
        sendTo(peer, number, MakeFrame({"MSG", session.userId, session.userId, text, stamp}, TrailingTab::Yes));
        return;
    }
    // The peer left while the window was open: the line waits for the next logon.
    storeAbsence(peer, displayName(session.userId), text, [sender = connection.weak_from_this(), copy] {
        if (const auto live = sender.lock())
            live->send(copy);
    });
}

void ImServer::onTyping(Session &session, const FieldList &fields)
{
    const int number = fields.intField(1);
    const QByteArray &peer = fields.field(2);
    const QByteArray &typing = fields.field(3);
    if (typing != "N" && typing != "F")
        throw FrameError("MSI: the typing state is neither N nor F");
    sendTo(peer, number, MakeFrame({"MSI", session.userId, typing}, TrailingTab::Yes));
}

void ImServer::onAbsenceMessage(Session &session, const FieldList &fields)
{
    const QByteArray &recipient = fields.field(1);
    const QByteArray text = CleanFieldText(fields.field(2), MaxAbsenceBytes);
    if (!m_directory.find(recipient))
        throw FrameError("AMS to an unknown id");
    storeAbsence(recipient, displayName(session.userId), text, {});
}

void ImServer::storeAbsence(const QByteArray &recipient, const QByteArray &senderName, const QByteArray &text,
                            std::function<void()> stored)
{
    const AbsenceMessage message{
        0, QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")).toLatin1(), senderName, text};
    m_absences->add(recipient, message, [this, recipient, message, stored](qint64 rowId) {
        const QByteArray frame = AbsenceFrame(message);
        absenceStored(recipient, rowId, frame);
        if (m_cluster && m_cluster->isOnline(recipient))
            m_cluster->absenceStored(recipient, rowId, frame);
        if (stored)
            stored();
    });
}

// A client that logged on since read it from the disk at its logon; of the
// others, the first to claim it gets it, at whichever node.
void ImServer::absenceStored(const QByteArray &recipient, qint64 rowId, const QByteArray &frame)
{
    for (Connection *online : m_online.value(recipient))
        if (m_connections[online].absencesRead < rowId && m_absences->claim(rowId, m_connections[online].number))
            online->send(frame, deleteWhenWritten(rowId));
}

// Every waiting message is sent, and deleted only once its bytes are written
// to the socket: a connection that ends before keeps it for the next logon.
void ImServer::deliverAbsences(Connection &connection, const QByteArray &userId)
{
    Session &session = m_connections[&connection];
    for (const AbsenceMessage &message : m_absences->claim(userId, session.number)) {
        connection.answer(AbsenceFrame(message), deleteWhenWritten(message.rowId));
        session.absencesRead = std::max(session.absencesRead, message.rowId);
    }
}

QByteArray ImServer::AbsenceFrame(const AbsenceMessage &message)
{
    return MakeFrame({"AMS", message.received, "", message.senderName, message.text}, TrailingTab::Yes);
}

std::function<void()> ImServer::deleteWhenWritten(qint64 rowId)
{
    return [this, rowId] { m_absences->remove(rowId); };
}

void ImServer::onListUpload(Session &session, const FieldList &fields)
{
    const QByteArrayView code = fields.code();
    if (code == "LSETS") {
        session.upload.emplace();
        return;
    }
    if (!session.upload)
        throw FrameError(code.toByteArray().toStdString() + " without LSETS");
    if (code == "LSETD") {
        const std::optional<ListNode> node = ParseUploadedNode(fields);
        if (!node)
            throw FrameError("LSETD: a node the list cannot hold; the upload is refused");
        if (session.upload->nodes.size() >= m_maxListNodes)
            throw FrameError("LSETD: more than " + std::to_string(m_maxListNodes) + " nodes; the upload is refused");
        session.upload->nodes.append(*node);
        return;
    }
    const Upload upload = *std::exchange(session.upload, std::nullopt);
    if (upload.refused)
        return; // refused once already, at the node
    if (!IsLoadableList(upload.nodes))
        throw FrameError("LSETE: a node is deeper than its parent allows; the upload is refused");
    saveList(session.userId, upload.nodes);
}

// Written by the store writer; until it is on disk the list is kept here, so
// that a logon meanwhile gets it.
void ImServer::saveList(const QByteArray &owner, const QList<ListNode> &nodes)
{
    const quint64 turn = ++m_lastListTurn;
    m_unwrittenLists.insert(owner, {turn, nodes});
    m_writer->write([this, owner, nodes, turn](AccountStore &store) {
        const bool saved = store.saveList(owner, nodes);
        const QString error = store.lastError();
        return [this, owner, turn, saved, error](bool committed) {
            if (m_unwrittenLists.value(owner).first == turn)
                m_unwrittenLists.remove(owner);
            if (!saved || !committed)
                m_options.log(QStringLiteral("could not store the list of %1: %2").arg(Shown(owner), error));
        };
    });
}

// ---- routing

void ImServer::sendTo(const QByteArray &userId, const QByteArray &frame)
{
    toLocalUser(userId, frame);
    if (m_cluster && m_cluster->isOnline(userId))
        m_cluster->toUser(userId, 0, frame);
}

void ImServer::toLocalUser(const QByteArray &userId, const QByteArray &frame)
{
    for (Connection *connection : m_online.value(userId))
        connection->send(frame);
}

void ImServer::sendTo(const QByteArray &userId, int number, const QByteArray &frame)
{
    const auto named = m_byNumber.find(number);
    if (named != m_byNumber.end() && m_connections[named->second].userId == userId)
        named->second->send(frame);
    else if (m_cluster && m_cluster->holds(userId, number))
        m_cluster->toUser(userId, number, frame);
    else
        sendTo(userId, frame);
}

void ImServer::toOthers(const Connection &except, const QByteArray &frame)
{
    for (const auto &[number, connection] : m_byNumber)
        if (connection != &except)
            connection->send(frame);
}

const QByteArray &ImServer::displayName(const QByteArray &userId) const
{
    static const QByteArray none;
    const Account *account = m_directory.find(userId);
    return account ? account->displayName : none;
}
