// The program on a PostgreSQL store: the same commands, and a clear refusal
// when the database cannot be reached.
#include "OnBothStores.h"
#include "TestClient.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString Binary = QStringLiteral(VANTREL_SERVER_BINARY);

struct Ran {
    int status = -1;
    QString err;
};

Ran Program(const QStringList &args)
{
    QProcess process;
    process.start(Binary, args);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(StoreProgramTest, AnUnreachableDatabaseIsNamedAndFailsEveryCommand)
{
    // A port nobody listens on.
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    const QStringList store{QStringLiteral("--store"), QStringLiteral("postgresql://vantrel@%1/im").arg(address)};
    for (const QStringList &command :
         {QStringList{QStringLiteral("--port"), QStringLiteral("0")},
          QStringList{QStringLiteral("import-accounts"), QStringLiteral(VANTREL_SAMPLE_ACCOUNTS)},
          QStringList{QStringLiteral("accounts"), QStringLiteral("list")}}) {
        const Ran run = Program(store + command);
        EXPECT_EQ(run.status, 1) << command.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(address + QStringLiteral("/im"))) << run.err.toStdString();
    }
}

TEST(StoreProgramTest, AStoreItCannotUseIsAnUnusableCommandLine)
{
    for (const QStringList &args :
         {QStringList{QStringLiteral("--store"), QStringLiteral("mysql://u@h/db")},
          QStringList{QStringLiteral("--store"), QStringLiteral("postgresql://u@h")},
          QStringList{QStringLiteral("--store"), QStringLiteral("postgresql://u@h/db"), QStringLiteral("--data"),
                      QStringLiteral("x")}}) {
        const Ran run = Program(args);
        EXPECT_EQ(run.status, 2) << args.join(QLatin1Char(' ')).toStdString() << "\n" << run.err.toStdString();
    }
}

TEST(StoreProgramTest, ImportsAndServesFromPostgresql)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TestStore store;
    store.make(StoreEngine::Postgres, dir.path());
    if (IsSkipped() || HasFatalFailure())
        return;
    const Ran import = Program(store.arguments() + QStringList{QStringLiteral("import-accounts"),
                                                               QStringLiteral(VANTREL_SAMPLE_ACCOUNTS)});
    ASSERT_EQ(import.status, 0) << import.err.toStdString();
    EXPECT_TRUE(import.err.contains(QStringLiteral("imported 10 accounts"))) << import.err.toStdString();

    QProcess server;
    server.start(Binary, store.arguments() + QStringList{QStringLiteral("--port"), QStringLiteral("0")});
    QString log;
    quint16 port = 0;
    const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            log += QString::fromUtf8(server.readAllStandardError());
            const auto match = listening.match(log);
            port = match.hasMatch() ? static_cast<quint16>(match.captured(1).toUInt()) : 0;
            return port != 0;
        },
        10000))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("10 accounts"))) << log.toStdString();
    TestClient client(port);
    EXPECT_EQ(client.logOn("u01", "sakura01"), 0);
    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitCode(), 0);
}

} // namespace
