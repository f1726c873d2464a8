#pragma once

#include <QByteArrayList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A throwaway Redis server from the Debian package: redis-server on a free
// loopback port, its files in a temporary folder, nothing saved to disk,
// stopped when the object goes.
class TestRedis {
public:
    // The process's server, started at the first call; nothing and a reason
    // when there is no redis-server or it does not answer.
    static TestRedis *Instance(QString *whyNot);
    ~TestRedis();
    TestRedis(const TestRedis &) = delete;
    TestRedis &operator=(const TestRedis &) = delete;

    // A server of the caller's own, for a test that stops it.
    static std::unique_ptr<TestRedis> Start(QString *whyNot);
    // Stops it (as a crash would: nothing saved) and starts it again on the
    // same port, empty.
    void stop();
    bool startAgain(QString *error);

    // Publishes on the channel as a node would; false when Redis does not answer.
    bool publish(const QByteArray &channel, const QByteArray &message);
    // Any command; Redis's raw answer, empty when it does not answer.
    QByteArray command(const QByteArrayList &args);

    quint16 port() const { return m_port; }
    QString url() const;

private:
    TestRedis() = default;
    bool start(QString *error);
    bool startOn(quint16 port, QString *error);

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

// A loopback port that nothing listens on, at the moment of asking.
quint16 FreeLoopbackPort();
