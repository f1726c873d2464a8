#pragma once

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

    quint16 port() const { return m_port; }
    QString url() const;

private:
    TestRedis() = default;
    bool start(QString *error);

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

// A loopback port that nothing listens on, at the moment of asking.
quint16 FreeLoopbackPort();
