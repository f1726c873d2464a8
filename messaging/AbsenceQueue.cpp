#include "messaging/AbsenceQueue.h"

#include <stdexcept>

void AbsenceMessageQueue::append(QByteArray entry)
{
    if (m_entries.size() >= MaxEntries || m_bytes + entry.size() > MaxBytes)
        throw std::runtime_error("不在メッセージが多すぎるため、これ以上受け取れません");
    m_bytes += entry.size();
    m_entries.append(std::move(entry));
}

QByteArray AbsenceMessageQueue::takeFirst()
{
    QByteArray entry = m_entries.takeFirst();
    m_bytes -= entry.size();
    return entry;
}

AbsenceEntry ReadAbsenceEntry(const QByteArray &entry)
{
    // The TABs are the ones the entry was joined with, so a plain byte split
    // finds them even after a field that ends in a stray lead byte.
    const QByteArrayList fields = entry.split('\t');
    return {fields.value(0), fields.value(2), fields.value(3)};
}
