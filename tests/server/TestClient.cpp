#include "TestClient.h"

#include "wire/FrameText.h"

#include <QTest>

TestClient::TestClient(quint16 port, QObject *parent) : QObject(parent), m_port(port)
{
    connect(&m_client, &WireClient::frameReceived, this, [this](const QByteArrayList &fields) {
        if (fields.value(0) == "UADD" && fields.value(2) == m_client.userId() && m_number == -1)
            m_number = fields.value(1).toInt();
        m_kept.append(fields);
    });
}

int TestClient::logOn(const QByteArray &userId, const QByteArray &password, int corpIndex, const QByteArray &version)
{
    m_client.setCredentials(userId, corpIndex, password, version);
    m_client.connectToServer(QStringLiteral("127.0.0.1"), m_port);
    const auto result = take("000") ? take("001") : std::nullopt;
    return result ? result->value(1).toInt() : -1;
}

bool TestClient::connectOnly()
{
    m_client.connectToServer(QStringLiteral("127.0.0.1"), m_port);
    return take("000").has_value();
}

void TestClient::disconnect()
{
    m_client.disconnectFromServer();
    waitForDisconnect();
}

std::optional<QByteArrayList> TestClient::take(const QByteArray &code, const Match &match, int ms)
{
    std::optional<QByteArrayList> found;
    [[maybe_unused]] const bool arrived = QTest::qWaitFor(
        [&] {
            for (qsizetype i = 0; i < m_kept.size(); ++i) {
                if (m_kept[i].value(0) == code && (!match || match(m_kept[i]))) {
                    found = m_kept.takeAt(i);
                    return true;
                }
            }
            return false;
        },
        ms);
    return found;
}

bool TestClient::holds(const QByteArray &code) const
{
    return std::any_of(m_kept.begin(), m_kept.end(), [&](const QByteArrayList &f) { return f.value(0) == code; });
}

bool TestClient::sync()
{
    const QByteArray token = "sync-" + QByteArray::number(++m_syncCount);
    // Named by its own number, so another client of the same user gets nothing.
    send(MakeFrame({"MSG", QByteArray::number(m_number), userId(), token}, TrailingTab::Yes));
    auto isToken = [&](const QByteArrayList &f) { return f.value(3) == token; };
    return take("MSG", isToken).has_value() && take("MSG", isToken).has_value();
}

bool TestClient::waitForDisconnect(int ms)
{
    return QTest::qWaitFor([this] { return !isConnected(); }, ms);
}

bool TestClient::isConnected() const
{
    return m_client.socket().state() == QAbstractSocket::ConnectedState;
}
