#include "messaging/AbsenceQueue.h"

AbsenceEntry ReadAbsenceEntry(const QByteArray &entry)
{
    // The TABs are the ones the entry was joined with, so a plain byte split
    // finds them even after a field that ends in a stray lead byte.
    const QByteArrayList fields = entry.split('\t');
    return {fields.value(0), fields.value(2), fields.value(3)};
}
