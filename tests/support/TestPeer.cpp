#include "TestPeer.h"

#include <QSslServer>
#include <QTest>

TestPeer::TestPeer(QObject *parent) : QObject(parent), m_server(std::make_unique<QTcpServer>())
{
    start();
}

TestPeer::TestPeer(const QSslConfiguration &tls, QObject *parent) : QObject(parent)
{
    auto server = std::make_unique<QSslServer>();
    server->setSslConfiguration(tls);
    m_server = std::move(server);
    start();
}

// A connection counts once it is pending (over TLS: once its handshake is
// done); every connection accepted counts as an attempt.
void TestPeer::start()
{
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &TestPeer::onNewConnection);
    connect(m_server.get(), &QTcpServer::newConnection, this, [this] { ++m_attempts; });
    m_server->listen(QHostAddress::LocalHost, 0);
}

bool TestPeer::clientConnected() const
{
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

void TestPeer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (m_client)
            m_client->abort();
        m_client = socket;
        m_cutter.clear();
        ++m_connections;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            InboundQueue queue;
            const QByteArray bytes = socket->readAll();
            m_bytes += bytes;
            m_cutter.CutFrames(bytes, queue);
            while (!queue.empty()) {
                m_frames.append(queue.takeFirst());
                emit frameReceived(m_frames.last());
            }
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_greet)
            send("000");
    }
}

void TestPeer::send(const QByteArray &frame)
{
    sendRaw(frame + "\r\n");
}

void TestPeer::sendRaw(const QByteArray &bytes)
{
    if (m_client)
        m_client->write(bytes);
}

void TestPeer::closeClient()
{
    if (m_client)
        m_client->disconnectFromHost();
}

bool TestPeer::waitFor(const std::function<bool()> &condition, int ms)
{
    return QTest::qWaitFor(condition, ms);
}
