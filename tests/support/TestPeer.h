#pragma once

#include "wire/FrameCutter.h"

#include <QByteArrayList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A scriptable server for client tests: listens on a free loopback port,
// accepts the client, records every frame it sends byte for byte and sends
// whatever the test says.
class TestPeer : public QObject {
    Q_OBJECT
public:
    explicit TestPeer(QObject *parent = nullptr);

    quint16 port() const { return m_server.serverPort(); }
    // Greets every new connection with "000", as a real server does.
    void setGreeting(bool greet) { m_greet = greet; }

    int connectionCount() const { return m_connections; }
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
    void onNewConnection();

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    FrameCutter m_cutter;
    QByteArrayList m_frames;
    QByteArray m_bytes;
    int m_connections = 0;
    bool m_greet = true;
};
