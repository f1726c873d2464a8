#pragma once

#include "ServerThread.h"
#include "TestClient.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

// A server on a free loopback port over a fresh data folder holding the
// sample accounts (hashed at the cheapest cost, which only tests use). Its
// pauses are short so that refusals and time-outs happen within a test.
class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    virtual ServerOptions options();
    // The accounts imported before the server starts, as an import file.
    virtual QByteArray accounts();
    void startServer();
    // Stops the server and starts a new one on the same data folder.
    void restartServer();

    // A client logged on as the sample user, its list received; fails the
    // test when the logon does not succeed.
    std::unique_ptr<TestClient> logOn(const QByteArray &userId);
    std::unique_ptr<TestClient> newClient() { return std::make_unique<TestClient>(m_server.port()); }

    // A client's user.ini that logs the sample user on to this server by
    // itself at start.
    QByteArray clientUserIni(const QByteArray &userId);

    // What the test asks of the running server, asked on the server's thread.
    class Probe {
    public:
        explicit Probe(ServerThread &server) : m_server(server) {}
        quint16 port() const { return m_server.port(); }
        bool isOnline(const QByteArray &userId) const
        {
            return m_server.call([&](ImServer &server) { return server.isOnline(userId); });
        }
        qsizetype roomCount() const { return m_server.call([](ImServer &server) { return server.roomCount(); }); }
        std::size_t linesInFlight() const
        {
            return m_server.call([](ImServer &server) { return server.linesInFlight(); });
        }
        qsizetype connectionCount() const
        {
            return m_server.call([](ImServer &server) { return server.connectionCount(); });
        }
        qsizetype accountCount() const { return m_server.call([](ImServer &server) { return server.accountCount(); }); }

    private:
        ServerThread &m_server;
    };
    Probe server() { return Probe(m_server); }
    QString dataDir() const { return m_dir.path(); }
    // The server's log so far; it writes from its own thread.
    QStringList log() const
    {
        std::lock_guard lock(m_logMutex);
        return m_log;
    }

private:
    QTemporaryDir m_dir;
    ServerThread m_server;
    mutable std::mutex m_logMutex;
    QStringList m_log;
};

// The sample user's password, from the shipped account file.
QByteArray SamplePassword(const QByteArray &userId);
// The sample user's display name in cp932.
QByteArray SampleName(const QByteArray &userId);
// Text as the wire carries it.
QByteArray Sjis(const char16_t *text);
// An import file of a company: people c1 to cN, password "pw", spread over
// the departments in turn.
QByteArray CompanyAccounts(int people, int departments);
