#pragma once

#include "wire/FrameCutter.h"

#include <QByteArrayList>
#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

// A scriptable server for client tests: listens on a free loopback port,
// accepts the client, records every frame it sends byte for byte and sends
// whatever the test says.
class TestPeer : public QObject {
    Q_OBJECT
public:
    explicit TestPeer(QObject *parent = nullptr);
    // Speaks TLS with this configuration (certificate and key) instead: frames
    // are recorded as they are once decrypted.
    explicit TestPeer(const QSslConfiguration &tls, QObject *parent = nullptr);

    quint16 port() const { return m_server->serverPort(); }
    // Greets every new connection with "000", as a real server does.
    void setGreeting(bool greet) { m_greet = greet; }

    int connectionCount() const { return m_connections; }
    // Every TCP connection accepted, TLS handshakes that failed included.
    int attemptCount() const { return m_attempts; }
    bool clientConnected() const;
    // Every frame received, over all connections, in order, without CR LF.
    const QByteArrayList &frames() const { return m_frames; }
    // Every byte received, over all connections, exactly as it came.
    const QByteArray &bytes() const { return m_bytes; }

    void send(const QByteArray &frame);
    void sendRaw(const QByteArray &bytes);
    // Ends the current connection in the orderly way.
    void closeClient();

    // Waits until the condition holds or the time runs out.
    static bool waitFor(const std::function<bool()> &condition, int ms = 5000);

signals:
    void frameReceived(const QByteArray &frame);

private:
    void start();
    void onNewConnection();

    std::unique_ptr<QTcpServer> m_server;
    QPointer<QTcpSocket> m_client;
    FrameCutter m_cutter;
    QByteArrayList m_frames;
    QByteArray m_bytes;
    int m_connections = 0;
    int m_attempts = 0;
    bool m_greet = true;
};
