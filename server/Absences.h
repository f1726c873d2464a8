#pragma once

#include "server/Account.h"
#include "server/ServerLog.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <chrono>
#include <functional>

class AccountStore;
class StoreWriter;

// The absence messages waiting for their recipients. They are stored by the
// store writer, where the bound on a recipient's messages is checked in
// order. Delivering them goes by claims, so that a message is delivered once
// even when its recipient logs on at two nodes at the same moment: at the
// logon this node claims the recipient's messages in one statement, for the
// connection (the holder) it sends them to; a message is deleted once a
// holder's client has it, and given up for the next logon when every holder
// of it ended without. A claim of a node that died expires after the lease.
// Claims are made and given up on the caller's thread.
class Absences {
public:
    static constexpr int MaxPerRecipient = 200;
    static constexpr std::chrono::milliseconds DefaultClaimLease{10 * 60 * 1000};

    Absences(AccountStore &reader, StoreWriter &writer, LogSink log,
             std::chrono::milliseconds claimLease = DefaultClaimLease);

    // Stores the message; `stored` runs once it is on disk, with its row id.
    // A message for a recipient whose queue is full is dropped and logged.
    void add(const QByteArray &recipient, const AbsenceMessage &message, std::function<void(qint64 rowId)> stored);

    // The recipient's messages that no other node holds, oldest first,
    // claimed for `holder` (a connection's number).
    QList<AbsenceMessage> claim(const QByteArray &recipient, int holder);
    // Claims one message just stored for `holder`; false when another node
    // has it already (it is on its way to the recipient there).
    bool claim(qint64 rowId, int holder);
    // The client has the message: it is deleted, once.
    void remove(qint64 rowId);
    // The holder's connection ended: the messages it did not get wait for
    // the next logon, unless another connection here holds them too.
    void release(int holder);

    // Every message on disk for the recipient, oldest first, claimed or not.
    QList<AbsenceMessage> waitingFor(const QByteArray &recipient) const;

private:
    void hold(qint64 rowId, int holder);
    qint64 claimedUntil() const;

    AccountStore &m_reader;
    StoreWriter &m_writer;
    LogSink m_log;
    std::chrono::milliseconds m_claimLease;
    QString m_node;                     // this process among the nodes sharing the store
    QSet<qint64> m_removing;            // deletions on their way
    QHash<qint64, QSet<int>> m_holders; // by row id
    QHash<int, QSet<qint64>> m_held;    // by holder
};
