#include "server/peer/WireClient.h"

#include "wire/Fields.h"
#include "wire/FrameText.h"

WireClient::WireClient(QObject *parent) : QObject(parent)
{
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(&m_socket, &QTcpSocket::readyRead, this, &WireClient::readFrames);
    connect(&m_socket, &QTcpSocket::disconnected, this, &WireClient::disconnected);
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
    m_socket.connectToHost(host, port);
}

void WireClient::disconnectFromServer()
{
    m_socket.disconnectFromHost();
}

void WireClient::send(const QByteArray &frame)
{
    m_socket.write(frame + "\r\n");
}

void WireClient::sendRaw(const QByteArray &bytes)
{
    m_socket.write(bytes);
}

void WireClient::readFrames()
{
    if (m_cutter.CutFrames(m_socket.readAll(), m_frames) == FrameCutter::Result::Overflow) {
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
