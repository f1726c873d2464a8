#include "TestPeer.h"

#include <QTest>

TestPeer::TestPeer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TestPeer::onNewConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
}

bool TestPeer::clientConnected() const
{
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

void TestPeer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
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
