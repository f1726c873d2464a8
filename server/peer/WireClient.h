#pragma once

#include "wire/FrameCutter.h"
#include "wire/InboundQueue.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslSocket>

// A plain client of the wire on a TCP socket, or inside TLS: answers the
// server's greeting with the logon request and hands every frame it receives
// on, split into fields. The demo peer and the server tests are built on it.
class WireClient : public QObject {
    Q_OBJECT
public:
    explicit WireClient(QObject *parent = nullptr);

    // The logon request that answers the next "000": id, corporate index,
    // password and the client version.
    void setCredentials(const QByteArray &userId, int corpIndex, const QByteArray &password,
                        const QByteArray &version = "1");
    // From the next connection on, TLS verified against these authorities
    // only, and the server's certificate against the host connected to; a
    // certificate that fails ends the connection before anything is sent.
    void useTls(const QList<QSslCertificate> &authorities);
    void connectToServer(const QString &host, quint16 port);
    void disconnectFromServer();

    // Sends the frame as it is, with CR LF added.
    void send(const QByteArray &frame);
    // Sends raw bytes, for tests of what the server does with broken input.
    void sendRaw(const QByteArray &bytes);

    const QByteArray &userId() const { return m_userId; }
    QTcpSocket &socket() { return m_socket; }
    const QTcpSocket &socket() const { return m_socket; }

signals:
    void frameReceived(const QByteArrayList &fields);
    void disconnected();
    // The bytes of the wire as they go out and come in, inside TLS when it
    // is used.
    void bytesSent(const QByteArray &bytes);
    void bytesReceived(const QByteArray &bytes);
    // Why the TLS handshake failed, in the TLS library's words.
    void tlsFailed(const QString &reason);

private:
    void readFrames();
    void write(const QByteArray &bytes);

    QSslSocket m_socket;
    bool m_tls = false;
    FrameCutter m_cutter;
    InboundQueue m_frames;
    QByteArray m_userId;
    QByteArray m_logonRequest;
};
