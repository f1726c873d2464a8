#include "TestClient.h"

#include "wire/Cp932.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString Binary = QStringLiteral(VANTREL_SERVER_BINARY);

int Import(const QString &dataDir, const QString &file, QString *output)
{
    QProcess import;
    import.start(Binary, {QStringLiteral("--data"), dataDir, QStringLiteral("import-accounts"), file});
    if (!import.waitForFinished(120000))
        return -1;
    *output = QString::fromUtf8(import.readAllStandardError());
    return import.exitCode();
}

// Starts the server on the data folder and a port of its choosing; the port
// it names in its log, or 0 when it names none in time. `log` keeps what it
// has written so far.
quint16 StartOnAFreePort(QProcess &server, const QString &dataDir, QString &log)
{
    server.start(Binary, {QStringLiteral("--data"), dataDir, QStringLiteral("--port"), QStringLiteral("0")});
    quint16 port = 0;
    const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    (void)QTest::qWaitFor( // the port stays 0 when the log never names one
        [&] {
            log += QString::fromUtf8(server.readAllStandardError());
            const auto match = listening.match(log);
            port = match.hasMatch() ? static_cast<quint16>(match.captured(1).toUInt()) : 0;
            return port != 0;
        },
        10000);
    return port;
}

} // namespace

TEST(ServerProgramTest, ImportsAccountsServesOnAFreePortAndStopsOnSigterm)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString output;
    ASSERT_EQ(Import(dir.path(), QStringLiteral(VANTREL_SAMPLE_ACCOUNTS), &output), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("imported 10 accounts"))) << output.toStdString();

    // A second import updates an existing id.
    const QString update = dir.filePath(QStringLiteral("update.tsv"));
    QFile file(update);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("# changed\nu01\t0\tnew-secret\t佐藤 花\thanako@example.com\t営業部\n").toUtf8());
    file.close();
    ASSERT_EQ(Import(dir.path(), update, &output), 0) << output.toStdString();

    QProcess server;
    QString log;
    const quint16 port = StartOnAFreePort(server, dir.path(), log);
    ASSERT_NE(port, 0) << log.toStdString();

    TestClient client(port);
    EXPECT_EQ(client.logOn("u01", "new-secret"), 0);
    EXPECT_EQ(client.take("002").value_or(QByteArrayList{}).value(1), cp932::FromUnicode(QStringLiteral("佐藤 花")));
    TestClient stale(port);
    EXPECT_EQ(stale.logOn("u01", "sakura01"), 1) << "the old password no longer opens the account";

    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
    ASSERT_TRUE(server.waitForFinished(10000));
    log += QString::fromUtf8(server.readAllStandardError());
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
    for (const char *line : {"connection from", "logon of u01", "refused logon", "stopped"})
        EXPECT_TRUE(log.contains(QLatin1String(line))) << line << "\n" << log.toStdString();
}

TEST(ServerProgramTest, ImportRefusesLinesTheClientWouldMisreadAndNamesThem)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("accounts.tsv"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# user id\tcorp\tpassword\tname\tmail\tdepartment\r\n"
               "a1\t0\tpw\tSato\t\tSales\r\n"
               "a2\t0\tpw\tSu\rzuki\t\tSales\r\n"
               "a3\t0\tpw\tTakahashi\t\t\r\n"
               "a4\t0\tpw\tTanaka\t\x01@example.com\tSales\n"
               "a5\t0\tpw\tIto\t\tSa\x7fles\n");
    file.close();
    QString output;
    EXPECT_EQ(Import(dir.path(), path, &output), 1) << "a refused line fails the command";
    for (const char *line : {"line 3: field 4 holds the control character U+000d",
                             "line 4: the department must have 1 to 50 bytes",
                             "line 5: field 5 holds the control character U+0001",
                             "line 6: field 6 holds the control character U+007f", "imported 1 accounts"})
        EXPECT_TRUE(output.contains(QLatin1String(line))) << line << "\n" << output.toStdString();
}

TEST(ServerProgramTest, StopsPromptlyWithManyPasswordChecksQueued)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString output;
    ASSERT_EQ(Import(dir.path(), QStringLiteral(VANTREL_SAMPLE_ACCOUNTS), &output), 0) << output.toStdString();
    QProcess server;
    QString log;
    const quint16 port = StartOnAFreePort(server, dir.path(), log);
    ASSERT_NE(port, 0) << log.toStdString();

    // Each logon costs a real password check: hundreds take many seconds.
    // The passwords differ and are wrong, since a logon verified before is
    // answered without a check.
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 400; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QStringLiteral("127.0.0.1"), port);
        clients.back()->write("000\tu01\t0\tguess" + QByteArray::number(i) + "\t1\t0\t1\t\r\n");
    }
    const QString checked = QStringLiteral("u01: wrong password");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            log += QString::fromUtf8(server.readAllStandardError());
            return log.count(checked) >= 2;
        },
        20000))
        << "the checks have begun";

    QElapsedTimer stopping;
    stopping.start();
    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
    ASSERT_TRUE(server.waitForFinished(20000));
    log += QString::fromUtf8(server.readAllStandardError());
    EXPECT_LT(stopping.elapsed(), 2000) << log.count(checked) << " checks were done";
    EXPECT_EQ(server.exitCode(), 0);
}

TEST(ServerProgramTest, RefusesArgumentsItCannotUse)
{
    for (const QStringList &args : {QStringList{QStringLiteral("--port"), QStringLiteral("http")},
                                    QStringList{QStringLiteral("--listen"), QStringLiteral("not-an-address")},
                                    QStringList{QStringLiteral("import-accounts")}}) {
        QProcess server;
        server.start(Binary, args);
        ASSERT_TRUE(server.waitForFinished(10000));
        EXPECT_EQ(server.exitCode(), 2) << args.join(QLatin1Char(' ')).toStdString();
    }
}
