#include "platform/TlsSession.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

namespace {

// A server that accepts the connection and never answers the handshake must
// not hold the session forever; it is retried like a refused connection.
constexpr int HandshakeTimeoutMs = 15000;

} // namespace

TlsSession::TlsSession(const QString &caFile, QObject *parent)
    : QObject(parent), m_timeout(new QTimer(this)), m_caFile(caFile)
{
    m_timeout->setSingleShot(true);
    m_timeout->setInterval(HandshakeTimeoutMs);
    connect(m_timeout, &QTimer::timeout, this,
            [this] { fail(Failure::Lost, QStringLiteral("TLS handshake timed out")); });
    newSocket();
}

QTcpSocket *TlsSession::newSocket()
{
    if (m_socket) {
        m_socket->disconnect();
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_phase = Phase::Idle;
    m_timeout->stop();
    m_socket = new QSslSocket(this);
    connect(m_socket, &QSslSocket::encrypted, this, [this] {
        m_timeout->stop();
        m_phase = Phase::Established;
        emit ready();
    });
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
        QStringList reasons;
        for (const QSslError &error : errors)
            reasons.append(error.errorString());
        m_verificationErrors = reasons.join(QLatin1Char('\n'));
    });
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (m_phase != Phase::Handshaking)
            return;
        if (error != QAbstractSocket::SslHandshakeFailedError)
            fail(Failure::Lost, m_socket->errorString());
        else if (!m_verificationErrors.isEmpty())
            fail(Failure::Untrusted, m_verificationErrors);
        else
            fail(Failure::Refused, m_socket->errorString());
    });
    connect(m_socket, &QAbstractSocket::disconnected, this, [this] {
        if (m_phase == Phase::Handshaking)
            fail(Failure::Lost, m_socket->errorString());
    });
    return m_socket;
}

QTcpSocket *TlsSession::socket() const
{
    return m_socket;
}

void TlsSession::start(const QString &hostName)
{
    m_phase = Phase::Handshaking;
    m_verificationErrors.clear();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!m_caFile.isEmpty()) {
        // Only this file's authorities count; a file that gives none leaves
        // nothing to trust, never the system's store in its place.
        const QList<QSslCertificate> authorities = QSslCertificate::fromPath(m_caFile, QSsl::Pem);
        if (authorities.isEmpty()) {
            // Reported once the caller is back in the event loop, as every
            // other failure is.
            QTimer::singleShot(0, this, [this] {
                fail(Failure::Untrusted, QStringLiteral("No certificate could be read from the CA file %1").arg(m_caFile));
            });
            return;
        }
        configuration.setCaCertificates(authorities);
    }
    m_socket->setSslConfiguration(configuration);
    m_socket->setPeerVerifyName(hostName);
    m_timeout->start();
    m_socket->startClientEncryption();
}

void TlsSession::fail(Failure failure, const QString &reason)
{
    if (m_phase != Phase::Handshaking)
        return;
    m_phase = Phase::Idle;
    m_timeout->stop();
    m_socket->abort();
    emit failed(failure, reason);
}
