#include "settings/ServerAddress.h"

namespace {

// Names and addresses are printable ASCII; brackets, slashes and @ belong to
// other notations and never to a host.
bool IsHostText(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f || QStringLiteral("[]/@").contains(c))
            return false;
    return true;
}

} // namespace

std::optional<ServerAddress> ParseServerAddress(const QString &text, quint16 defaultPort)
{
    const QString trimmed = text.trimmed();
    QString host = trimmed;
    QString port;
    if (trimmed.startsWith(QLatin1Char('['))) {
        const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        host = trimmed.mid(1, close - 1);
        const QString rest = trimmed.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return std::nullopt;
        port = rest.mid(1);
        if (rest == QLatin1String(":"))
            return std::nullopt;
    } else if (trimmed.count(QLatin1Char(':')) == 1) {
        host = trimmed.section(QLatin1Char(':'), 0, 0);
        port = trimmed.section(QLatin1Char(':'), 1);
        if (port.isEmpty())
            return std::nullopt;
    } // several colons without brackets: a bare IPv6 address
    if (!IsHostText(host))
        return std::nullopt;
    ServerAddress address{host.toLatin1(), defaultPort};
    if (!port.isEmpty()) {
        bool ok = false;
        const uint number = port.toUInt(&ok);
        if (!ok || number < 1 || number > 65535 || !port.front().isDigit())
            return std::nullopt;
        address.port = static_cast<quint16>(number);
    }
    return address;
}

QString ServerAddressText(const ServerAddress &address)
{
    const QString host = QString::fromLatin1(address.host);
    return (host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':') +
           QString::number(address.port);
}
