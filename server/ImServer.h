#pragma once

#include "server/AccountStore.h"
#include "server/Absences.h"
#include "server/StoreHealth.h"
#include "server/StoreWriter.h"
#include "server/Connection.h"
#include "server/Directory.h"
#include "server/StoredListUpdate.h"
#include "server/PasswordChecks.h"
#include "server/RoomTable.h"
#include "server/ServerOptions.h"
#include "server/bus/Cluster.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>

#include <asio/ip/address.hpp>

#include <map>
#include <memory>
#include <optional>
#include <set>

class ByteStream;
class Listener;

// The IM server: accepts connections, logs users on, sends each their member
// list and who is online, and routes presence, messages, absence messages and
// room traffic. The sender of everything is the user logged on at the
// connection it came from, never a field of the frame.
//
// It runs on one event loop, `io`, which must outlive it and must not run
// while it is made or destroyed.
class ImServer final : private Connection::Owner, private Cluster::Local {
public:
    ImServer(asio::io_context &io, ServerOptions options);
    ~ImServer();
    ImServer(const ImServer &) = delete;
    ImServer &operator=(const ImServer &) = delete;

    // Opens the store in the data folder, loads the accounts and listens.
    // Port 0 picks a free port; port() tells which.
    bool start(const asio::ip::address &address, quint16 port, QString *error);
    quint16 port() const;

    qsizetype accountCount() const { return m_directory.accounts().size(); }
    qsizetype connectionCount() const { return m_connections.size(); }
    // At this node or, with a bus, at any.
    bool isOnline(const QByteArray &userId) const
    {
        return m_online.contains(userId) || (m_cluster && m_cluster->isOnline(userId));
    }
    qsizetype roomCount() const { return m_rooms.roomCount(); }
    // Lines sent to other nodes that they have not acknowledged yet.
    std::size_t linesInFlight() const { return m_cluster ? m_cluster->linesInFlight() : 0; }

private:
    // A list being uploaded. A refused node refuses the whole upload once;
    // the rest of it, up to its LSETE, is ignored.
    struct Upload {
        QList<ListNode> nodes;
        bool refused = false;
    };

    // What the server knows of one connection besides its socket.
    struct Session {
        std::shared_ptr<Connection> connection;
        quint64 accepted = 0; // the order of arrival
        qint64 acceptedAt = 0; // on m_clock, in ms
        bool waiting = true;  // for a logon request: among the first to make room
        QByteArray userId; // empty until the logon succeeds
        int number = 0;    // the connection number of UADD and UDEL
        int state = 3;     // the presence state
        int refusals = 0;
        qint64 rejections = 0;
        qint64 lastRejection = 0; // on m_clock, in ms
        std::optional<Upload> upload; // between LSETS and LSETE
        qint64 absencesRead = 0; // the last absence message read for the user at the logon
        std::optional<PasswordChecks::Ticket> check; // while its logon is being checked
    };

    void onAccepted(std::unique_ptr<ByteStream> stream);
    // Connections that have not asked to log on are few and short-lived: when
    // there are too many, the oldest from the address with the most goes.
    bool makeRoomForConnection(const QByteArray &address);
    void stopWaiting(Connection &connection, Session &session);
    // Runs `task` after the delay unless the server is gone.
    void after(std::chrono::milliseconds delay, std::function<void()> task);
    // ImServerAccounts.cpp: the accounts, read again when another process
    // changed them.
    void loadAccounts();
    void watchAccounts();
    void pollAccounts();
    void refreshAccounts();
    std::optional<qint64> readAccountsVersion();
    // The owner's stored list with the accounts added or deleted since.
    std::optional<StoredList> storedListOf(const QByteArray &owner) const;
    void onFrame(Connection &connection, const FieldList &fields) override;
    void onUnusableFrame(Connection &connection, const QString &reason) override;
    void onClosed(Connection &connection) override;

    void beginLogon(Connection &connection, const FieldList &fields);
    void refuseLogon(Connection &connection, const QString &reason);
    void finishLogon(const std::weak_ptr<Connection> &connection, const Account &account, bool passwordOk);
    void completeLogon(Connection &connection, const Account &account);
    void release(Connection &connection);
    void keepRoomSeats(const QByteArray &userId);

    void dispatch(Connection &connection, Session &session, const FieldList &fields);
    void onPresence(Connection &connection, Session &session, const FieldList &fields);
    void onMessage(Connection &connection, Session &session, const FieldList &fields);
    void onTyping(Session &session, const FieldList &fields);
    void onAbsenceMessage(Session &session, const FieldList &fields);
    void onListUpload(Session &session, const FieldList &fields);
    // `stored` runs once the message is on disk; a message dropped because
    // the recipient's queue is full is only logged, and `stored` never runs.
    void storeAbsence(const QByteArray &recipient, const QByteArray &senderName, const QByteArray &text,
                      std::function<void()> stored);
    void saveList(const QByteArray &owner, const QList<ListNode> &nodes);
    void deliverAbsences(Connection &connection, const QByteArray &userId);
    static QByteArray AbsenceFrame(const AbsenceMessage &message);
    std::function<void()> deleteWhenWritten(qint64 rowId);
    Connection::FrameSource listSource(const QByteArray &userId);
    Connection::FrameSource onlineSource(int last);
    void reject(Connection &connection, Session &session, const QString &reason);

    void sendTo(const QByteArray &userId, const QByteArray &frame);
    // To the user's connection with that number while it is live, else to
    // every live connection of the user.
    void sendTo(const QByteArray &userId, int number, const QByteArray &frame);
    QByteArray uaddFrame(Connection &connection);
    void toOthers(const Connection &except, const QByteArray &frame);
    const QByteArray &displayName(const QByteArray &userId) const;

    // ImServerCluster.cpp: what the other nodes tell this one.
    bool startCluster(QString *error);
    int nextNumber();
    void toLocalUser(const QByteArray &userId, const QByteArray &frame);
    void routeRoomFrame(const Session &session, const FieldList &fields);
    bool lineToOtherNode(Connection &sender, const Session &session, const QByteArray &peer, int number,
                         const QByteArray &text, const QByteArray &stamp, const QByteArray &copy);
    void toEveryone(const QByteArray &frame) override;
    void toUser(const QByteArray &userId, int number, const QByteArray &frame) override;
    void announceEveryone() override;
    void remoteLogon(const QByteArray &userId, int number) override;
    void remoteLogoff(const QByteArray &userId, int number) override;
    void roomFrame(const QByteArray &userId, const QByteArray &frame) override;
    void absenceStored(const QByteArray &recipient, qint64 rowId, const QByteArray &frame) override;
    void lineFor(const Cluster::Line &line) override;
    void unacknowledged(const Cluster::Line &line) override;

    asio::io_context &m_io;
    ServerOptions m_options;
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(); // tasks of after() hold it weakly
    std::unique_ptr<AccountStore> m_store; // read on the event loop
    std::unique_ptr<StoreWriter> m_writer; // writes on a thread of its own
    std::unique_ptr<StoreHealth> m_storeHealth; // of m_store
    std::unique_ptr<Absences> m_absences;
    QHash<QByteArray, std::pair<quint64, QList<ListNode>>> m_unwrittenLists; // by owner, with their turn
    quint64 m_lastListTurn = 0;
    Directory m_directory;
    std::unique_ptr<Listener> m_listener;
    // Connections waiting for a logon request, by address, oldest first.
    std::map<QByteArray, std::set<std::pair<quint64, Connection *>>> m_waitingByAddress;
    qsizetype m_waitingCount = 0;
    quint64 m_lastAccepted = 0;
    std::unique_ptr<PasswordChecks> m_checks; // passwords are checked off the event loop
    QHash<Connection *, Session> m_connections;
    // Every live connection of a user, oldest first: a user may run more than
    // one client, and each keeps its own connection number.
    QHash<QByteArray, QList<Connection *>> m_online;
    std::map<int, Connection *> m_byNumber; // online connections, oldest first
    RoomTable m_rooms;
    // Users offline who keep their places in rooms, with the turn of the
    // timer that ends it; a later logon takes them out.
    QHash<QByteArray, quint64> m_seatsKept;
    quint64 m_lastSeatTurn = 0;
    int m_lastNumber = 0;
    QElapsedTimer m_clock;
    QByteArrayList m_companyList; // the LSETD frames of everyone who never uploaded a list
    LoopTimer m_accountsPoll;
    qint64 m_accountsVersion = 0;
    qsizetype m_maxListNodes = 0;
    std::unique_ptr<Cluster> m_cluster; // with a bus only
};
