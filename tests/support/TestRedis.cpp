#include "TestRedis.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

quint16 FreeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

TestRedis *TestRedis::Instance(QString *whyNot)
{
    static TestRedis *instance = nullptr;
    static QString failure;
    if (!instance && failure.isEmpty()) {
        std::unique_ptr<TestRedis> made(new TestRedis);
        if (made->start(&failure)) {
            instance = made.release();
            // Stopped while the application's loop machinery still exists.
            qAddPostRoutine([] { delete std::exchange(instance, nullptr); });
        }
    }
    if (!instance)
        *whyNot = failure;
    return instance;
}

std::unique_ptr<TestRedis> TestRedis::Start(QString *whyNot)
{
    std::unique_ptr<TestRedis> made(new TestRedis);
    if (!made->start(whyNot))
        made.reset();
    return made;
}

bool TestRedis::start(QString *error)
{
    // Another process may take the port between the probe and the start:
    // a few tries make that harmless.
    for (int attempt = 0; attempt < 3; ++attempt)
        if (startOn(FreeLoopbackPort(), error))
            return true;
    return false;
}

bool TestRedis::startAgain(QString *error)
{
    return startOn(m_port, error);
}

void TestRedis::stop()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool TestRedis::startOn(quint16 port, QString *error)
{
    const QString binary = QStandardPaths::findExecutable(QStringLiteral("redis-server"));
    if (binary.isEmpty()) {
        *error = QStringLiteral("redis-server is not installed");
        return false;
    }
    m_port = port;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // A test process that dies takes its Redis with it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start(binary, {QStringLiteral("--port"), QString::number(m_port), QStringLiteral("--bind"),
                             QStringLiteral("127.0.0.1"), QStringLiteral("--dir"), m_dir.path(),
                             QStringLiteral("--save"), QString(), QStringLiteral("--appendonly"), QStringLiteral("no"),
                             QStringLiteral("--daemonize"), QStringLiteral("no")});
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("redis-server does not start: %1").arg(m_process.errorString());
        return false;
    }
    const bool answers = QTest::qWaitFor(
        [&] {
            if (m_process.state() != QProcess::Running)
                return true;
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (!socket.waitForConnected(200))
                return false;
            socket.write("PING\r\n");
            return socket.waitForReadyRead(1000) && socket.readAll().startsWith("+PONG");
        },
        10000);
    if (answers && m_process.state() == QProcess::Running)
        return true;
    *error = QStringLiteral("redis-server did not answer on port %1: %2")
                 .arg(m_port)
                 .arg(QString::fromUtf8(m_process.readAll()));
    stop();
    return false;
}

TestRedis::~TestRedis()
{
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString TestRedis::url() const
{
    return QStringLiteral("redis://127.0.0.1:%1").arg(m_port);
}

bool TestRedis::publish(const QByteArray &channel, const QByteArray &message)
{
    return command({"PUBLISH", channel, message}).startsWith(':');
}

QByteArray TestRedis::command(const QByteArrayList &args)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!socket.waitForConnected(2000))
        return {};
    QByteArray command = '*' + QByteArray::number(args.size()) + "\r\n";
    for (const QByteArray &arg : args)
        command += '$' + QByteArray::number(arg.size()) + "\r\n" + arg + "\r\n";
    socket.write(command);
    return socket.waitForReadyRead(2000) ? socket.readAll() : QByteArray();
}
