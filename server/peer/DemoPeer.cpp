#include "server/peer/DemoPeer.h"

#include "wire/Cp932.h"
#include "wire/Fields.h"
#include "wire/FrameText.h"

#include <cstdio>

namespace {

QByteArray Text(const char16_t *text)
{
    return cp932::FromUnicode(QString::fromUtf16(text));
}

// The answer quotes what it got, cut so that the line stays within 1024 bytes.
QByteArray Answer(const QByteArray &text)
{
    return CleanFieldText(Text(u"「") + CleanFieldText(text, 900) + Text(u"」を受け取りました。"), 1024);
}

} // namespace

DemoPeer::DemoPeer(QString host, quint16 port, const QByteArray &userId, const QByteArray &password, int corpIndex)
    : m_host(std::move(host)), m_port(port)
{
    m_client.setCredentials(userId, corpIndex, password);
    connect(&m_client, &WireClient::frameReceived, this, &DemoPeer::onFrame);
    connect(&m_client, &WireClient::disconnected, this, &DemoPeer::retryLater);
    connect(&m_client.socket(), &QTcpSocket::errorOccurred, this, &DemoPeer::retryLater);
    connect(&m_client, &WireClient::tlsFailed, this, [](const QString &reason) {
        std::fprintf(stderr, "vantrel-peer: the server's TLS was refused: %s\n", qPrintable(reason));
    });
    m_retry.setSingleShot(true);
    m_retry.setInterval(1000);
    connect(&m_retry, &QTimer::timeout, this, &DemoPeer::start);
}

DemoPeer::~DemoPeer()
{
    m_client.disconnect(this);
    m_client.socket().disconnect(this);
}

void DemoPeer::start()
{
    if (m_client.socket().state() == QAbstractSocket::UnconnectedState)
        m_client.connectToServer(m_host, m_port);
}

void DemoPeer::retryLater()
{
    if (!m_retry.isActive())
        m_retry.start();
}

void DemoPeer::onFrame(const QByteArrayList &fields)
{
    const QByteArray code = fields.value(0);
    const QByteArray &self = m_client.userId();
    if (code == "001" && fields.value(1) == "0") {
        std::fprintf(stderr, "vantrel-peer: logged on as %s\n", self.constData());
    } else if (code == "001") {
        std::fprintf(stderr, "vantrel-peer: logon refused (%s)\n", fields.value(1).constData());
    } else if (code == "MSG" && fields.value(2) != self) {
        // A message from someone else (not the copy of our own answer).
        m_client.send(MakeFrame({"MSG", "0", fields.value(2), Answer(fields.value(3))}, TrailingTab::Yes));
    } else if (code == "AMS") {
        std::fprintf(stderr, "vantrel-peer: an absence message arrived\n");
    } else if (code == "MRJ") {
        m_client.send(MakeFrame({"MRJ", fields.value(1), "0", "JOIN"}, TrailingTab::Yes));
    } else if (code == "MRM") {
        // In the room (invited, or a room made with us): one line to say so.
        m_client.send(MakeFrame({"MRC", fields.value(1), Text(u"よろしくお願いします。")}, TrailingTab::Yes));
    } else if (code == "MRD" && fields.value(2) == "CHA" && fields.value(4) != self &&
               !fields.value(6).endsWith(Text(u"」を受け取りました。"))) {
        // A line someone said in the room; never an answer, so that two demo
        // colleagues in one room do not answer each other for ever.
        m_client.send(MakeFrame({"MRC", fields.value(1), Answer(fields.value(6))}, TrailingTab::Yes));
    }
}
