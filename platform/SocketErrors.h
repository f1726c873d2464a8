#pragma once

#include <QAbstractSocket>

// The error codes the session reports and reacts to, in the numbering of
// Windows Sockets (10061 refused, 10060 timed out, ...), which is what users
// and administrators of this service quote.
namespace socketcode {
inline constexpr int ConnectionRefused = 10061;
inline constexpr int TimedOut = 10060;
inline constexpr int ConnectionReset = 10054;
inline constexpr int HostNotFound = 11001;
} // namespace socketcode

int WinsockErrorCode(QAbstractSocket::SocketError error);
