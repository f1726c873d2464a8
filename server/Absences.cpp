#include "server/Absences.h"

#include "server/AccountStore.h"
#include "server/StoreWriter.h"

#include <QDateTime>
#include <QUuid>

namespace {

qint64 Now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

Absences::Absences(AccountStore &reader, StoreWriter &writer, LogSink log, std::chrono::milliseconds claimLease)
    : m_reader(reader), m_writer(writer), m_log(std::move(log)), m_claimLease(claimLease),
      m_node(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    // A logon waits for its claims; a claim lost in a power cut only means
    // its messages are delivered again.
    if (!m_reader.commitWithoutSync())
        m_log(QStringLiteral("could not relax the claims' commits: %1").arg(m_reader.lastError()));
    // A SQLite store has no other node: claims left by a server that was
    // killed are void, and its messages are not kept back for the lease.
    if (!m_reader.isPostgres() && !m_reader.releaseAllAbsenceClaims())
        m_log(QStringLiteral("could not give up the claims on absence messages: %1").arg(m_reader.lastError()));
}

void Absences::add(const QByteArray &recipient, const AbsenceMessage &message, std::function<void(qint64)> stored)
{
    m_writer.write([this, recipient, message, stored = std::move(stored)](AccountStore &store) {
        const bool full = store.absenceCount(recipient) >= MaxPerRecipient;
        const std::optional<qint64> rowId = full ? std::nullopt : store.addAbsence(recipient, message);
        const QString error = store.lastError();
        return [this, recipient, full, rowId, error, stored](bool committed) {
            if (full)
                m_log(QStringLiteral("dropped an absence message for %1: %2 are waiting")
                          .arg(QString::fromLatin1(recipient.left(32).toPercentEncoding(" .-_@")))
                          .arg(MaxPerRecipient));
            else if (!rowId || !committed)
                m_log(QStringLiteral("could not store an absence message: %1").arg(error));
            else
                stored(*rowId);
        };
    });
}

qint64 Absences::claimedUntil() const
{
    return Now() + m_claimLease.count();
}

QList<AbsenceMessage> Absences::claim(const QByteArray &recipient, int holder)
{
    QList<AbsenceMessage> messages = m_reader.claimAbsences(recipient, m_node, Now(), claimedUntil());
    messages.removeIf([this](const AbsenceMessage &message) { return m_removing.contains(message.rowId); });
    for (const AbsenceMessage &message : messages)
        hold(message.rowId, holder);
    return messages;
}

bool Absences::claim(qint64 rowId, int holder)
{
    if (m_removing.contains(rowId))
        return false;
    if (!m_holders.contains(rowId) && !m_reader.claimAbsence(rowId, m_node, Now(), claimedUntil())) {
        if (!m_reader.lastError().isEmpty())
            m_log(QStringLiteral("could not claim an absence message: %1").arg(m_reader.lastError()));
        return false;
    }
    hold(rowId, holder);
    return true;
}

void Absences::hold(qint64 rowId, int holder)
{
    m_holders[rowId].insert(holder);
    m_held[holder].insert(rowId);
}

void Absences::remove(qint64 rowId)
{
    if (m_removing.contains(rowId))
        return; // sent to two clients of the user: deleted once
    m_removing.insert(rowId);
    for (int holder : m_holders.take(rowId))
        m_held[holder].remove(rowId);
    m_writer.write([this, rowId](AccountStore &store) {
        store.deleteAbsence(rowId);
        return [this, rowId](bool) { m_removing.remove(rowId); };
    });
}

void Absences::release(int holder)
{
    QList<qint64> unheld;
    for (qint64 rowId : m_held.take(holder)) {
        auto holders = m_holders.find(rowId);
        if (holders == m_holders.end())
            continue;
        holders->remove(holder);
        if (holders->isEmpty()) {
            m_holders.erase(holders);
            unheld.append(rowId);
        }
    }
    if (!unheld.isEmpty() && !m_reader.releaseAbsences(unheld, m_node))
        m_log(QStringLiteral("could not give up the claims on absence messages: %1").arg(m_reader.lastError()));
}

QList<AbsenceMessage> Absences::waitingFor(const QByteArray &recipient) const
{
    QList<AbsenceMessage> messages = m_reader.absencesFor(recipient);
    messages.removeIf([this](const AbsenceMessage &message) { return m_removing.contains(message.rowId); });
    return messages;
}
