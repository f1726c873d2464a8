#include "platform/SingleConnect.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <utility>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QAbstractSocket::SocketError ErrorFor(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return QAbstractSocket::ConnectionRefusedError;
    case ETIMEDOUT:
        return QAbstractSocket::SocketTimeoutError;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
        return QAbstractSocket::NetworkError;
    case EACCES:
    case EPERM:
        return QAbstractSocket::SocketAccessError;
    case EADDRNOTAVAIL:
        return QAbstractSocket::SocketAddressNotAvailableError;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        return QAbstractSocket::SocketResourceError;
    default:
        return QAbstractSocket::UnknownSocketError;
    }
}

} // namespace

SingleConnect::SingleConnect(QObject *parent) : QObject(parent) {}

SingleConnect::~SingleConnect()
{
    cancel();
}

void SingleConnect::start(const QString &host, quint16 port)
{
    cancel();
    ++m_attempt;
    m_running = true;
    m_port = port;
    if (const QHostAddress literal(host); !literal.isNull()) {
        // Queued, so that the outcome never arrives inside start().
        QTimer::singleShot(0, this, [this, literal, attempt = m_attempt] {
            if (attempt == m_attempt && m_running)
                connectTo(literal);
        });
        return;
    }
    m_lookupId = QHostInfo::lookupHost(host, this, &SingleConnect::lookedUp);
}

void SingleConnect::cancel()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    dropNotifier();
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_running = false;
}

void SingleConnect::lookedUp(const QHostInfo &info)
{
    if (info.lookupId() != m_lookupId)
        return;
    m_lookupId = -1;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        m_running = false;
        emit failed(QAbstractSocket::HostNotFoundError);
        return;
    }
    connectTo(info.addresses().constFirst());
}

void SingleConnect::connectTo(const QHostAddress &address)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(m_port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        in6->sin6_scope_id = address.scopeId().toUInt();
        length = sizeof(sockaddr_in6);
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(m_port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    }
    m_descriptor = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_descriptor < 0)
        return finish(errno);
    if (::connect(m_descriptor, reinterpret_cast<sockaddr *>(&storage), length) == 0)
        return finish(0);
    if (errno != EINPROGRESS)
        return finish(errno);
    // Writable once the attempt has ended, either way.
    m_notifier = new QSocketNotifier(m_descriptor, QSocketNotifier::Write, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(m_descriptor, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            error = errno;
        finish(error);
    });
}

// Disabled before its descriptor closes; deleted later, as it may be the
// notifier whose signal is running.
void SingleConnect::dropNotifier()
{
    if (!m_notifier)
        return;
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
}

void SingleConnect::finish(int error)
{
    dropNotifier();
    const int descriptor = std::exchange(m_descriptor, -1);
    m_running = false;
    if (error == 0) {
        emit connected(descriptor);
        return;
    }
    if (descriptor >= 0)
        ::close(descriptor);
    emit failed(ErrorFor(error));
}
