// The real server serving TLS with a throwaway certificate: the real client and
// the wire client log on and talk through it, the frames inside it are the
// frames of plain TCP, and clients that do not speak TLS cost it no more than
// any client that never logs on.
#include "ClientFixture.h"
#include "ServerFixture.h"
#include "TestCertificates.h"
#include "main/Tmfrm.h"
#include "main/members/MemberItem.h"
#include "messaging/TfrmMsg.h"
#include "wire/FrameText.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTcpSocket>
#include <QTest>
#include <QTextEdit>

#include <memory>

using Fields = QByteArrayList;

namespace {

// A wire client logged on as a sample user, over TLS trusting the test's
// authority or over plain TCP, keeping every frame and every byte both ways.
class Colleague {
public:
    Colleague(quint16 port, const QByteArray &userId, const QString &caFile)
    {
        if (!caFile.isEmpty())
            wire.useTls(QSslCertificate::fromPath(caFile, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString));
        wire.setCredentials(userId, 0, SamplePassword(userId));
        QObject::connect(&wire, &WireClient::frameReceived, [this](const Fields &fields) { kept.append(fields); });
        QObject::connect(&wire, &WireClient::bytesSent, [this](const QByteArray &bytes) { sent += bytes; });
        QObject::connect(&wire, &WireClient::bytesReceived, [this](const QByteArray &bytes) { received += bytes; });
        QObject::connect(&wire, &WireClient::tlsFailed, [this](const QString &reason) { tlsFailure = reason; });
        wire.connectToServer(QStringLiteral("127.0.0.1"), port);
    }

    std::optional<Fields> take(const QByteArray &code, const std::function<bool(const Fields &)> &match = {})
    {
        std::optional<Fields> found;
        (void)QTest::qWaitFor(
            [&] {
                for (qsizetype i = 0; i < kept.size(); ++i)
                    if (kept[i].value(0) == code && (!match || match(kept[i]))) {
                        found = kept.takeAt(i);
                        return true;
                    }
                return false;
            },
            TestClient::WaitMs);
        return found;
    }
    // Logged on, with the list up to the user's own UADD; the server's number
    // of the connection, or -1.
    int waitForLogon()
    {
        const auto result = take("001");
        const auto own = take("UADD", [&](const Fields &f) { return f.value(2) == wire.userId(); });
        return result && result->value(1) == "0" && own ? own->value(1).toInt() : -1;
    }

    WireClient wire;
    QList<Fields> kept;
    QByteArray sent;
    QByteArray received;
    QString tlsFailure;
};

// The server's clock in the frames (HH:MM:SS), which differs between two runs.
QByteArray WithoutTimes(QByteArray bytes)
{
    static const QRegularExpression time(QStringLiteral("\\b\\d\\d:\\d\\d:\\d\\d\\b"));
    return QString::fromLatin1(bytes).replace(time, QStringLiteral("hh:mm:ss")).toLatin1();
}

class TlsServer : public ServerFixture {
protected:
    ServerOptions options() override
    {
        ServerOptions options = ServerFixture::options();
        options.logonTimeout = LogonTimeout;
        if (tls) {
            const TestCertificates::Files files = certificates.serverFiles(QStringLiteral("DNS:localhost,IP:127.0.0.1"));
            options.tlsCertificate = files.certificate;
            options.tlsKey = files.key;
        }
        options.maxConnections = maxConnections;
        options.tlsQuietAfter = quietAfter;
        return options;
    }
    QString caFile() const { return tls ? certificates.trustedCaFile() : QString(); }

    // u01 and u02 log on, exchange a message each way and u02 leaves; what
    // each sent and received.
    QByteArrayList converse()
    {
        Colleague u01(server().port(), "u01", caFile());
        const int number1 = u01.waitForLogon();
        Colleague u02(server().port(), "u02", caFile());
        const int number2 = u02.waitForLogon();
        EXPECT_TRUE(number1 > 0 && number2 > 0);
        EXPECT_TRUE(u01.take("UADD", [](const Fields &f) { return f.value(2) == "u02"; }));
        u01.wire.send(MakeFrame({"MSG", QByteArray::number(number2), "u02", Sjis(u"こんにちは")}, TrailingTab::Yes));
        EXPECT_TRUE(u02.take("MSG"));
        EXPECT_TRUE(u01.take("MSG"));
        u02.wire.send(MakeFrame({"MSG", QByteArray::number(number1), "u01", Sjis(u"はい")}, TrailingTab::Yes));
        EXPECT_TRUE(u01.take("MSG"));
        EXPECT_TRUE(u02.take("MSG"));
        u02.wire.disconnectFromServer();
        EXPECT_TRUE(u01.take("UDEL"));
        EXPECT_TRUE(u01.tlsFailure.isEmpty() && u02.tlsFailure.isEmpty()) << u01.tlsFailure.toStdString();
        return {u01.sent, u01.received, u02.sent, u02.received};
    }

    // A client of the real program: logs on by itself with these [SYSTEM] lines.
    std::unique_ptr<Tmfrm> startClient(ClientFixture &fixture, const QByteArray &system)
    {
        fixture.writeUserIni(clientUserIni("u01").replace("\r\n[USER]", "\r\n" + system + "[USER]"));
        return std::make_unique<Tmfrm>();
    }

    static constexpr std::chrono::milliseconds LogonTimeout{1500};
    bool tls = true;
    qsizetype maxConnections = 4096;
    std::chrono::milliseconds quietAfter{1000};
    TestCertificates certificates;
};

bool LogHas(const QStringList &log, const QString &part)
{
    return std::any_of(log.begin(), log.end(), [&](const QString &line) { return line.contains(part); });
}

} // namespace

TEST_F(TlsServer, TheClientLogsOnAndExchangesMessagesOverTls)
{
    ASSERT_TRUE(certificates.ok());
    Colleague u02(server().port(), "u02", caFile());
    ASSERT_GT(u02.waitForLogon(), 0) << u02.tlsFailure.toStdString();
    ClientFixture fixture;
    const auto mfrm =
        startClient(fixture, "TLS=1\r\nCAFILE=" + certificates.trustedCaFile().toLocal8Bit() + "\r\n");
    const auto u01 = u02.take("UADD", [](const Fields &f) { return f.value(2) == "u01"; });
    ASSERT_TRUE(u01);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return mfrm->StatusPanel1->text().endsWith(QStringLiteral("でログインしています")); }, TestClient::WaitMs));

    u02.wire.send(MakeFrame({"MSG", u01->value(1), "u01", Sjis(u"暗号化の試験")}, TrailingTab::Yes));
    TfrmMsg *window = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QList<MemberItem *> nodes = mfrm->FindMember("u02");
            return !nodes.isEmpty() && (window = qobject_cast<TfrmMsg *>(nodes[0]->node.Window.data()));
        },
        TestClient::WaitMs));
    window->msginp->setPlainText(QStringLiteral("受け取りました"));
    QTest::keyClick(window->msginp, Qt::Key_Return);
    const auto answer = u02.take("MSG", [](const Fields &f) { return f.value(2) == "u01"; });
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->value(3), Sjis(u"受け取りました"));
    EXPECT_TRUE(fixture.messages.isEmpty()) << fixture.messages.join(' ').toStdString();
}

TEST_F(TlsServer, FramesInsideTlsAreTheFramesOfPlainTcp)
{
    ASSERT_TRUE(certificates.ok());
    const QByteArrayList secure = converse();
    tls = false;
    restartServer();
    const QByteArrayList plain = converse();
    ASSERT_EQ(secure.size(), plain.size());
    const char *names[] = {"sent by u01", "received by u01", "sent by u02", "received by u02"};
    for (qsizetype i = 0; i < plain.size(); ++i) {
        EXPECT_TRUE(plain[i].contains("\r\n")) << names[i];
        EXPECT_EQ(WithoutTimes(secure[i]), WithoutTimes(plain[i])) << names[i];
    }
    EXPECT_TRUE(plain[0].startsWith("000\tu01\t0\t")) << "the logon request, as over plain TCP";
}

// A quiet connection gives the library's buffers back; here every connection
// does so at any pause of a millisecond, so records find them gone, halfway
// through a logon's long answer as well, and must still cross whole.
TEST_F(TlsServer, BuffersGivenBackBetweenRecordsAreTakenAgain)
{
    ASSERT_TRUE(certificates.ok());
    quietAfter = std::chrono::milliseconds(1);
    restartServer();
    const QByteArrayList secure = converse();
    EXPECT_TRUE(secure[1].contains("UDEL")) << "u01 saw u02 leave";
}

// The colleague of the demo trusts only the authority it is given.
TEST_F(TlsServer, TheWireClientRefusesACertificateOfAnotherAuthority)
{
    ASSERT_TRUE(certificates.ok());
    Colleague u02(server().port(), "u02", certificates.otherCaFile());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !u02.tlsFailure.isEmpty(); }, TestClient::WaitMs));
    EXPECT_TRUE(u02.tlsFailure.contains(QStringLiteral("issuer certificate"), Qt::CaseInsensitive))
        << u02.tlsFailure.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return u02.wire.socket().state() == QAbstractSocket::UnconnectedState; },
                                TestClient::WaitMs));
    EXPECT_TRUE(u02.sent.isEmpty());
    EXPECT_TRUE(u02.received.isEmpty());
    EXPECT_FALSE(server().isOnline("u02"));
}

// Whatever reaches the TLS port that is not TLS, the connection ends by the
// logon timeout at the latest, nothing in clear is answered, and the server
// goes on serving.
TEST_F(TlsServer, ClientsThatDoNotSpeakTlsAreCutOffByTheLogonTimeout)
{
    ASSERT_TRUE(certificates.ok());
    QRandomGenerator random(17);
    QByteArray garbage(4096, '\0');
    for (char &c : garbage)
        c = static_cast<char>(random.bounded(256));
    garbage[0] = '\xff'; // no TLS record starts so
    const struct {
        const char *name;
        QByteArray bytes;
        bool atOnce; // refused by the handshake rather than by the timeout
    } cases[] = {
        {"a plain client waiting for the greeting", {}, false},
        {"a plain client sending its logon request", "000\tu01\t0\t" + SamplePassword("u01") + "\t1\t0\t1\t\r\n", true},
        {"garbage", garbage, true},
        {"the start of a record that never comes", QByteArray("\x16\x03\x01\x40\x00", 5), false},
    };
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<qint64> cutAfter(std::size(cases), -1);
    QElapsedTimer clock;
    clock.start();
    for (const auto &c : cases) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        QObject::connect(sockets.back().get(), &QTcpSocket::disconnected,
                         [&, i = sockets.size() - 1] { cutAfter[i] = clock.elapsed(); });
        sockets.back()->connectToHost(QHostAddress::LocalHost, server().port());
        ASSERT_TRUE(sockets.back()->waitForConnected(TestClient::WaitMs)) << c.name;
        sockets.back()->write(c.bytes);
    }
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        QTcpSocket &socket = *sockets[i];
        EXPECT_TRUE(QTest::qWaitFor([&] { return cutAfter[i] >= 0; }, LogonTimeout.count() + 3000)) << cases[i].name;
        if (cases[i].atOnce) {
            EXPECT_LT(cutAfter[i], LogonTimeout.count() / 2) << cases[i].name;
        }
        EXPECT_FALSE(socket.readAll().contains("000")) << cases[i].name << ": greeted in clear";
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return server().connectionCount() == 0; }, TestClient::WaitMs));
    const QStringList lines = log();
    EXPECT_TRUE(LogHas(lines, QStringLiteral("no secure session")));
    EXPECT_TRUE(LogHas(lines, QStringLiteral("no logon within %1 ms").arg(LogonTimeout.count())));
    EXPECT_FALSE(LogHas(lines, QStringLiteral("logon of u01")));
    Colleague after(server().port(), "u01", caFile());
    EXPECT_GT(after.waitForLogon(), 0);
}

// A connection still shaking hands waits to log on like any other: it makes
// room for a newcomer as such a connection does.
TEST_F(TlsServer, ConnectionsShakingHandsCountAmongThoseWaitingToLogOn)
{
    ASSERT_TRUE(certificates.ok());
    maxConnections = 2;
    restartServer();
    QTcpSocket first, second, third;
    for (QTcpSocket *socket : {&first, &second}) {
        socket->connectToHost(QHostAddress::LocalHost, server().port());
        ASSERT_TRUE(socket->waitForConnected(TestClient::WaitMs));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return server().connectionCount() == 2; }, TestClient::WaitMs));
    third.connectToHost(QHostAddress::LocalHost, server().port());
    // Within the first second a full server refuses the newcomer; later the
    // oldest of those waiting goes.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QStringList lines = log();
            return LogHas(lines, QStringLiteral("2 connections are open, 2 of them without a logon")) ||
                   LogHas(lines, QStringLiteral("no logon request, and a new connection needs the room"));
        },
        TestClient::WaitMs));
}

TEST_F(TlsServer, APlainClientOfTheProgramFailsWithoutABox)
{
    ASSERT_TRUE(certificates.ok());
    ClientFixture fixture;
    QElapsedTimer clock;
    clock.start();
    const auto mfrm = startClient(fixture, "");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return mfrm->StatusPanel1->text() == QStringLiteral("サーバとの接続が切断されました"); },
        LogonTimeout.count() + 3000));
    EXPECT_LT(clock.elapsed(), LogonTimeout.count() + 3000);
    EXPECT_FALSE(server().isOnline("u01"));
    EXPECT_TRUE(fixture.messages.isEmpty()) << fixture.messages.join(' ').toStdString();
}
