#include "server/bus/BusBatch.h"

namespace {
const QByteArray Marker = "*\n";
}

QByteArray PackBusMessages(const QByteArrayList &messages)
{
    if (messages.size() == 1)
        return messages.front();
    QByteArray packed = Marker;
    for (const QByteArray &message : messages)
        packed.append(QByteArray::number(message.size())).append('\n').append(message);
    return packed;
}

QByteArrayList UnpackBusMessages(const QByteArray &published)
{
    if (!published.startsWith(Marker))
        return {published};
    QByteArrayList messages;
    qsizetype from = Marker.size();
    while (from < published.size()) {
        const qsizetype end = published.indexOf('\n', from);
        if (end < 0)
            break;
        bool ok = false;
        const qsizetype length = published.mid(from, end - from).toLongLong(&ok);
        if (!ok || length < 0 || length > published.size() - end - 1)
            break;
        messages.append(published.mid(end + 1, length));
        from = end + 1 + length;
    }
    return messages;
}
