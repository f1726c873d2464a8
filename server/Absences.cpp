#include "server/Absences.h"

#include "server/AccountStore.h"
#include "server/StoreWriter.h"

Absences::Absences(AccountStore &reader, StoreWriter &writer, LogSink log)
    : m_reader(reader), m_writer(writer), m_log(std::move(log))
{
}

bool Absences::add(const QByteArray &recipient, const AbsenceMessage &message, std::function<void(qint64)> stored)
{
    if (m_reader.absenceCount(recipient) + m_unwritten.value(recipient) >= MaxPerRecipient)
        return false;
    ++m_unwritten[recipient];
    m_writer.write([this, recipient, message, stored = std::move(stored)](AccountStore &store) {
        const std::optional<qint64> rowId = store.addAbsence(recipient, message);
        const QString error = store.lastError();
        return [this, recipient, rowId, error, stored](bool committed) {
            if (--m_unwritten[recipient] == 0)
                m_unwritten.remove(recipient);
            if (!rowId || !committed) {
                m_log(QStringLiteral("could not store an absence message: %1").arg(error));
                return;
            }
            stored(*rowId);
        };
    });
    return true;
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
