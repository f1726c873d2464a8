#pragma once

#include "server/peer/WireClient.h"

#include <QByteArrayList>
#include <QList>

#include <functional>
#include <optional>

// A scripted user for the server tests: keeps every frame it receives until
// the test takes it, and waits for frames without fixed sleeps.
class TestClient : public QObject {
    Q_OBJECT
public:
    using Match = std::function<bool(const QByteArrayList &fields)>;
    static constexpr int WaitMs = 5000;

    explicit TestClient(quint16 port, QObject *parent = nullptr);

    // Connects with the credentials and waits for "001"; its result, or -1.
    int logOn(const QByteArray &userId, const QByteArray &password, int corpIndex = 0,
              const QByteArray &version = "1");
    // Connects and waits for the greeting, without logging on.
    bool connectOnly();

    void send(const QByteArray &frame) { m_client.send(frame); }
    void sendRaw(const QByteArray &bytes) { m_client.sendRaw(bytes); }
    void disconnect();

    // Takes the first kept frame with the code that `match` accepts, waiting
    // for it; nothing when none comes in time.
    std::optional<QByteArrayList> take(const QByteArray &code, const Match &match = {}, int ms = WaitMs);
    // The frames received so far and not taken, oldest first.
    const QList<QByteArrayList> &kept() const { return m_kept; }
    void forget() { m_kept.clear(); }
    // Whether a kept frame has the code.
    bool holds(const QByteArray &code) const;

    // Sends a message to itself and waits for both copies: every frame the
    // server sent this client before has then arrived.
    bool sync();

    bool waitForDisconnect(int ms = WaitMs);
    bool isConnected() const;
    const QByteArray &userId() const { return m_client.userId(); }
    // The connection number that the server gave this client: from the first
    // UADD of its user, unless the test knows better (the user has other clients).
    int number() const { return m_number; }
    void setNumber(int number) { m_number = number; }
    QTcpSocket &socket() { return m_client.socket(); }

private:
    WireClient m_client;
    quint16 m_port;
    QList<QByteArrayList> m_kept;
    int m_number = -1;
    int m_syncCount = 0;
};
