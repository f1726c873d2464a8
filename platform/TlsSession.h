#pragma once

#include <QObject>
#include <QString>

class QTcpSocket;
class QSslSocket;
class QTimer;

// The encrypted form of the session's connection. The socket is a QSslSocket
// that, once the connection is up, shakes hands with TLS 1.2 or later and
// verifies the server's certificate against the system's trust store, or only
// against the certificates of a PEM file when one is named, and the
// certificate's names against the host the user set. Nothing is read from or
// written to the server before that succeeds: a certificate that fails is
// never used.
class TlsSession : public QObject {
    Q_OBJECT
public:
    // caFile empty: the system's trust store.
    TlsSession(const QString &caFile, QObject *parent);

    // The socket of the current connection. A TLS socket serves one
    // connection only, so every attempt gets a fresh one: the previous one is
    // disconnected from everything and deleted.
    QTcpSocket *socket() const;
    QTcpSocket *newSocket();

    // Shakes hands over the socket, which has just taken a connected
    // descriptor; ends in ready() or failed().
    void start(const QString &hostName);
    // Whether the handshake of the current connection succeeded. Until then
    // the socket's errors and its end are this object's, not the session's.
    bool established() const { return m_phase == Phase::Established; }

    enum class Failure {
        Untrusted, // the certificate failed verification (or there is nothing to trust)
        Refused,   // TLS itself failed: a server that does not speak it, say
        Lost,      // the connection ended or timed out during the handshake
    };

signals:
    void ready();
    // With the TLS library's reason, or the socket's when the connection was lost.
    void failed(TlsSession::Failure failure, const QString &reason);

private:
    enum class Phase { Idle, Handshaking, Established };
    void fail(Failure failure, const QString &reason);

    QSslSocket *m_socket = nullptr;
    QTimer *m_timeout;
    QString m_caFile;
    QString m_verificationErrors;
    Phase m_phase = Phase::Idle;
};
