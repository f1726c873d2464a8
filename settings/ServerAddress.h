#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The server as the logon dialog shows it: "host", "host:port", "[v6]" or
// "[v6]:port".
struct ServerAddress {
    QByteArray host;
    quint16 port = 9002;
};

// The address the text names; the port is `defaultPort` when the text has
// none. Nothing when the text cannot name a server (empty, blanks or control
// characters, a port that is not 1 to 65535).
std::optional<ServerAddress> ParseServerAddress(const QString &text, quint16 defaultPort);

QString ServerAddressText(const ServerAddress &address);
