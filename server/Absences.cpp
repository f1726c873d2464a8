#include "server/Absences.h"

#include "server/AccountStore.h"
#include "server/StoreWriter.h"

Absences::Absences(AccountStore &reader, StoreWriter &writer, LogSink log)
    : m_reader(reader), m_writer(writer), m_log(std::move(log))
{
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

QList<AbsenceMessage> Absences::waitingFor(const QByteArray &recipient) const
{
    QList<AbsenceMessage> messages = m_reader.absencesFor(recipient);
    messages.removeIf([this](const AbsenceMessage &message) { return m_removing.contains(message.rowId); });
    return messages;
}

void Absences::remove(qint64 rowId)
{
    if (m_removing.contains(rowId))
        return; // sent to two clients of the user: deleted once
    m_removing.insert(rowId);
    m_writer.write([this, rowId](AccountStore &store) {
        store.deleteAbsence(rowId);
        return [this, rowId](bool) { m_removing.remove(rowId); };
    });
}
