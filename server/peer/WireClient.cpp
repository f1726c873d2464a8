#include "server/peer/WireClient.h"

#include "wire/Fields.h"
#include "wire/FrameText.h"

#include <QSslConfiguration>

WireClient::WireClient(QObject *parent) : QObject(parent)
{
    // Qt drops socket options set before the socket exists, so Nagle's delay
    // is turned off once the connection is up.
    connect(&m_socket, &QTcpSocket::connected, this,
            [this] { m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1); });
    connect(&m_socket, &QTcpSocket::readyRead, this, &WireClient::readFrames);
    connect(&m_socket, &QTcpSocket::disconnected, this, &WireClient::disconnected);
    // Errors not ignored end the connection: the socket aborts after this.
    connect(&m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
        QStringList reasons;
        for (const QSslError &error : errors)
            reasons += error.errorString();
        emit tlsFailed(reasons.join(QStringLiteral("; ")));
    });
    connect(&m_socket, &QSslSocket::handshakeInterruptedOnError, this,
            [this](const QSslError &error) { emit tlsFailed(error.errorString()); });
}

void WireClient::useTls(const QList<QSslCertificate> &authorities)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(authorities);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_socket.setSslConfiguration(configuration);
    m_tls = true;
}

void WireClient::setCredentials(const QByteArray &userId, int corpIndex, const QByteArray &password,
                                const QByteArray &version)
{
    m_userId = userId;
    m_logonRequest = MakeFrame({"000", userId, QByteArray::number(corpIndex), password, version, "0", "1"},
                               TrailingTab::Yes);
}

void WireClient::connectToServer(const QString &host, quint16 port)
{
    m_cutter.clear();
    m_frames.clear();
    if (m_tls)
        m_socket.connectToHostEncrypted(host, port);
    else
        m_socket.connectToHost(host, port);
}

void WireClient::disconnectFromServer()
{
    m_socket.disconnectFromHost();
}

void WireClient::send(const QByteArray &frame)
{
    write(frame + "\r\n");
}

void WireClient::sendRaw(const QByteArray &bytes)
{
    write(bytes);
}

void WireClient::write(const QByteArray &bytes)
{
    emit bytesSent(bytes);
    m_socket.write(bytes);
}

void WireClient::readFrames()
{
    const QByteArray bytes = m_socket.readAll();
    emit bytesReceived(bytes);
    if (m_cutter.CutFrames(bytes, m_frames) == FrameCutter::Result::Overflow) {
        m_socket.abort();
        return;
    }
    while (!m_frames.empty()) {
        const QByteArrayList fields = SplitFields(m_frames.takeFirst());
        if (fields.value(0) == "000" && !m_logonRequest.isEmpty())
            send(m_logonRequest);
        emit frameReceived(fields);
    }
}
