#pragma once

#include "server/Account.h"
#include "server/ServerLog.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <functional>

class AccountStore;
class StoreWriter;

// The absence messages waiting for their recipients. They are read from the
// store on the caller's thread and written by the store writer: the bound on
// a recipient's messages is checked where they are written, in order, and a
// message whose deletion is on its way is no longer waiting.
class Absences {
public:
    static constexpr int MaxPerRecipient = 200;

    Absences(AccountStore &reader, StoreWriter &writer, LogSink log);

    // Stores the message; `stored` runs once it is on disk, with its row id.
    // A message for a recipient whose queue is full is dropped and logged.
    void add(const QByteArray &recipient, const AbsenceMessage &message, std::function<void(qint64 rowId)> stored);
    // The messages on disk for the recipient, oldest first.
    QList<AbsenceMessage> waitingFor(const QByteArray &recipient) const;
    void remove(qint64 rowId);

private:
    AccountStore &m_reader;
    StoreWriter &m_writer;
    LogSink m_log;
    QSet<qint64> m_removing;            // deletions on their way
};
