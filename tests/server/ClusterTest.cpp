// Several nodes on one store and one Redis bus, as they run behind a load
// balancer: what reaches a user at one node reaches them at any.
#include "OnBothStores.h"
#include "server/bus/Cluster.h"
#include "tests/support/TestRedis.h"

#include "wire/FrameText.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

using Fields = QByteArrayList;
using namespace std::chrono_literals;

namespace {

const QString Binary = QStringLiteral(VANTREL_SERVER_BINARY);
constexpr auto Heartbeat = 2000ms;
// A dead node's users are logged off within this.
constexpr int UdelBoundMs = 10000;

TestClient::Match Names(const QByteArray &userId)
{
    return [userId](const Fields &f) { return f.value(2) == userId; };
}

class ClusterTest : public OnBothStores {
protected:
    void SetUp() override
    {
        QString whyNot;
        m_redis = TestRedis::Instance(&whyNot);
        if (!m_redis)
            GTEST_SKIP() << "no Redis to test with: " << whyNot.toStdString();
        OnBothStores::SetUp();
    }

    ServerOptions options() override
    {
        ServerOptions options = OnBothStores::options();
        options.busUrl = m_redis->url();
        options.heartbeatTtl = Heartbeat;
        return options;
    }

    std::unique_ptr<ServerThread> startNode()
    {
        auto node = std::make_unique<ServerThread>();
        QString error;
        EXPECT_TRUE(node->start(options(), &error)) << error.toStdString();
        return node;
    }

    // Logged on at the node on `port`, its list received; its number is
    // that of its own UADD.
    static std::unique_ptr<TestClient> LogOnAt(quint16 port, const QByteArray &userId)
    {
        auto client = std::make_unique<TestClient>(port);
        EXPECT_EQ(client->logOn(userId, SamplePassword(userId)), 0) << userId.constData();
        const auto own = client->take("UADD", Names(userId));
        EXPECT_TRUE(own) << userId.constData();
        client->setNumber(own.value_or(Fields{}).value(1).toInt());
        return client;
    }

    // The number under which `watcher` sees `userId` online.
    static int SeenOnline(TestClient &watcher, const QByteArray &userId)
    {
        return watcher.take("UADD", Names(userId)).value_or(Fields{}).value(1).toInt();
    }

    TestRedis *m_redis = nullptr;
};

TEST_P(ClusterTest, LogonListAndPresenceReachUsersAtTheOtherNode)
{
    auto nodeB = startNode();
    auto alice = logOn("u01");
    auto bob = LogOnAt(nodeB->port(), "u02");

    EXPECT_EQ(SeenOnline(*bob, "u01"), alice->number()) << "the list names who is online at the other node";
    EXPECT_EQ(SeenOnline(*alice, "u02"), bob->number());
    EXPECT_NE(alice->number(), bob->number()) << "connection numbers are unique across nodes";
    EXPECT_TRUE(server().isOnline("u02"));

    bob->send(MakeFrame({"STC", "2"}, TrailingTab::Yes));
    EXPECT_EQ(alice->take("STC").value_or(Fields{}), (Fields{"STC", "u02", "2"}));

    // Someone logging on later at A hears of bob with his current state.
    auto carol = logOn("u03");
    EXPECT_TRUE(carol->take("UADD", [&](const Fields &f) {
        return f == Fields{"UADD", QByteArray::number(bob->number()), "u02", "2"};
    }));

    bob->disconnect();
    EXPECT_EQ(alice->take("UDEL").value_or(Fields{}), (Fields{"UDEL", QByteArray::number(bob->number()), "u02"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !server().isOnline("u02"); }));
}

TEST_P(ClusterTest, MessagesTypingAndTheCopyBackCrossNodes)
{
    auto nodeB = startNode();
    auto alice = logOn("u01");
    auto bob = LogOnAt(nodeB->port(), "u02");
    const int bobNumber = SeenOnline(*alice, "u02");
    const int aliceNumber = SeenOnline(*bob, "u01");

    alice->send(MakeFrame({"MSI", QByteArray::number(bobNumber), "u02", "N"}, TrailingTab::Yes));
    EXPECT_EQ(bob->take("MSI").value_or(Fields{}), (Fields{"MSI", "u01", "N"}));

    alice->send(MakeFrame({"MSG", QByteArray::number(bobNumber), "u02", "hello B"}, TrailingTab::Yes));
    const auto line = bob->take("MSG");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->mid(0, 4), (Fields{"MSG", "u01", "u01", "hello B"}));
    const auto copy = alice->take("MSG");
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->mid(0, 4), (Fields{"MSG", "u02", "u01", "hello B"}));

    bob->send(MakeFrame({"MSG", QByteArray::number(aliceNumber), "u01", "hello A"}, TrailingTab::Yes));
    EXPECT_EQ(alice->take("MSG").value_or(Fields{}).value(3), "hello A");
    EXPECT_EQ(bob->take("MSG").value_or(Fields{}).value(3), "hello A") << "the copy back at the sender's node";

    // A number gone stale still finds the user at whichever node they are.
    alice->send(MakeFrame({"MSG", "12345", "u02", "stale"}, TrailingTab::Yes));
    EXPECT_EQ(bob->take("MSG").value_or(Fields{}).value(3), "stale");

    // An absence message stored through A reaches bob at B at once, and once.
    alice->send(MakeFrame({"AMS", "u02", "while you were here"}, TrailingTab::Yes));
    EXPECT_EQ(bob->take("AMS").value_or(Fields{}).value(4), "while you were here");
    ASSERT_TRUE(bob->sync());
    // Each node has heard every line it sent acknowledged, so none of them
    // is stored as well.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return server().linesInFlight() == 0
               && nodeB->call([](ImServer &node) { return node.linesInFlight(); }) == 0;
    }));
    EXPECT_TRUE(log().filter(QStringLiteral("not acknowledged")).isEmpty()) << log().join('\n').toStdString();
    bob->disconnect();
    auto bobLater = logOn("u02");
    ASSERT_TRUE(bobLater->sync());
    EXPECT_FALSE(bobLater->holds("AMS"));
    EXPECT_FALSE(bobLater->holds("MSG"));
}

// The instant in which a colleague has left node B while A has not heard of
// it yet, held still: A is told of a connection of carol's at B that B does
// not hold. The sender has the copy back at once; B stores the line as an
// absence message, as one node stores a line for a colleague who has gone,
// and acknowledges it, so that A does not store it again.
TEST_P(ClusterTest, ALineForAColleagueWhoLeftTheOtherNodeMeanwhileIsStoredThereOnce)
{
    auto nodeB = startNode();
    auto alice = logOn("u01");
    auto bob = LogOnAt(nodeB->port(), "u02");
    const int nodeOfB = Cluster::NodeOf(bob->number());
    const int carolGone = (nodeOfB << Cluster::NodeShift) + 999;
    ASSERT_TRUE(m_redis->publish("vantrel:bus", QByteArray::number(nodeOfB) + "\nup\n" +
                                                    QByteArray::number(carolGone) + "\nu03\n3"));
    ASSERT_EQ(SeenOnline(*alice, "u03"), carolGone);

    alice->send(MakeFrame({"MSG", QByteArray::number(carolGone), "u03", "are you there"}, TrailingTab::Yes));
    EXPECT_EQ(alice->take("MSG").value_or(Fields{}).value(3), "are you there");
    EXPECT_TRUE(QTest::qWaitFor([&] { return server().linesInFlight() == 0; })) << "B acknowledged it once stored";
    EXPECT_TRUE(log().filter(QStringLiteral("not acknowledged")).isEmpty()) << log().join('\n').toStdString();
    auto carol = logOn("u03");
    EXPECT_EQ(carol->take("AMS").value_or(Fields{}).value(4), "are you there") << "the line the sender was told went";
    ASSERT_TRUE(carol->sync());
    EXPECT_FALSE(carol->holds("AMS")) << "stored once";
}

// A node that holds the recipient but never acknowledges the line (forged
// here: a key that lives, and nobody listening on its channel): the sender
// has its copy back at once, and its node stores the line itself, when the
// other node's key is gone or else once a heartbeat's life has passed.
TEST_P(ClusterTest, ALineItsRecipientsNodeNeverAcknowledgesIsStoredByTheSendersNode)
{
    struct Case {
        const char *name;
        QByteArray recipient;
        int node;
        bool dies;
        QString stored;
    };
    const Case cases[] = {
        {"the node dies", "u03", 2000, true, QStringLiteral("their node is gone")},
        {"the node stays silent", "u04", 2001, false, QStringLiteral("no answer within a heartbeat's life")},
    };
    auto alice = logOn("u01");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray key = "vantrel:node:" + QByteArray::number(c.node);
        ASSERT_TRUE(m_redis->command({"SET", key, "1", "PX", "60000"}).startsWith('+'));
        const int number = (c.node << Cluster::NodeShift) + 1;
        ASSERT_TRUE(m_redis->publish("vantrel:bus", QByteArray::number(c.node) + "\nup\n" + QByteArray::number(number)
                                                        + '\n' + c.recipient + "\n3"));
        ASSERT_EQ(SeenOnline(*alice, c.recipient), number);

        alice->send(MakeFrame({"MSG", QByteArray::number(number), c.recipient, c.name}, TrailingTab::Yes));
        EXPECT_EQ(alice->take("MSG").value_or(Fields{}).value(3), c.name) << "the copy back at once";
        EXPECT_EQ(server().linesInFlight(), 1u);
        if (c.dies)
            m_redis->command({"DEL", key});
        EXPECT_TRUE(QTest::qWaitFor([&] { return server().linesInFlight() == 0; }, 3 * int(Heartbeat.count())));
        EXPECT_EQ(log().filter(c.stored).size(), 1) << log().join('\n').toStdString();
        if (c.dies)
            EXPECT_TRUE(alice->take("UDEL", Names(c.recipient)));
        else
            m_redis->command({"DEL", key});

        auto recipient = logOn(c.recipient);
        EXPECT_EQ(recipient->take("AMS").value_or(Fields{}).value(4), c.name);
        ASSERT_TRUE(recipient->sync());
        EXPECT_FALSE(recipient->holds("AMS")) << "stored once";
    }
}

// Several messages in one PUBLISH, as a node sends what it published during
// one turn of its loop: each is heard, in order.
TEST_P(ClusterTest, AllMessagesOfABatchAreHeardInOrder)
{
    auto alice = logOn("u01");
    const QByteArray up = "7\nup\n" + QByteArray::number((7 << Cluster::NodeShift) + 1) + "\nu02\n3";
    const QByteArray away = "7\nstc\n" + QByteArray::number((7 << Cluster::NodeShift) + 1) + "\nu02\n2\n"
                            + MakeFrame({"STC", "u02", "2"}, TrailingTab::Yes);
    const QByteArray batch = "*\n" + QByteArray::number(up.size()) + '\n' + up + QByteArray::number(away.size())
                             + '\n' + away;
    ASSERT_TRUE(m_redis->publish("vantrel:bus", batch));
    EXPECT_EQ(SeenOnline(*alice, "u02"), (7 << Cluster::NodeShift) + 1);
    EXPECT_EQ(alice->take("STC").value_or(Fields{}), (Fields{"STC", "u02", "2"}));
    m_redis->publish("vantrel:bus", "7\nbye");
}

TEST_P(ClusterTest, ARoomWhoseMembersSitOnThreeNodes)
{
    auto nodeB = startNode();
    auto nodeC = startNode();
    auto a = logOn("u01");
    auto b = LogOnAt(nodeB->port(), "u02");
    auto c = LogOnAt(nodeC->port(), "u03");
    ASSERT_TRUE(SeenOnline(*a, "u02") && SeenOnline(*a, "u03"));

    a->send(MakeFrame({"MRM", "0", "plan", "join us", "u02,u03,"}, TrailingTab::Yes));
    const QByteArray room = a->take("MRM").value_or(Fields{}).value(1);
    ASSERT_FALSE(room.isEmpty());
    for (TestClient *invited : {b.get(), c.get()}) {
        EXPECT_EQ(invited->take("MRJ").value_or(Fields{}).mid(0, 3), (Fields{"MRJ", room, "plan"}));
        invited->send(MakeFrame({"MRJ", room, "0", "JOIN"}, TrailingTab::Yes));
        EXPECT_EQ(invited->take("MRM").value_or(Fields{}), (Fields{"MRM", room, "plan"}));
    }
    // Everyone learns of the last to join, wherever they sit.
    auto adds = [&](const QByteArray &userId) {
        return [room, userId](const Fields &f) { return f.value(1) == room && f.value(2) == "ADM" && f.value(3) == userId; };
    };
    EXPECT_TRUE(a->take("MRD", adds("u03")));
    EXPECT_TRUE(b->take("MRD", adds("u03")));

    c->send(MakeFrame({"MRC", room, "from C"}, TrailingTab::Yes));
    for (TestClient *member : {a.get(), b.get(), c.get()}) {
        const auto chat = member->take("MRD", [&](const Fields &f) { return f.value(2) == "CHA"; });
        ASSERT_TRUE(chat) << member->userId().constData();
        EXPECT_EQ(chat->value(4), "u03");
        EXPECT_EQ(chat->value(6), "from C");
    }

    b->send(MakeFrame({"MRE", room}, TrailingTab::Yes));
    for (TestClient *member : {a.get(), c.get()})
        EXPECT_EQ(member->take("MRD", [](const Fields &f) { return f.value(2) == "DLM"; }).value_or(Fields{}),
                  (Fields{"MRD", room, "DLM", "u02"}));
}

// A line that names no connection reaches every connection of its
// recipient, at one other node or at two, and its sender is copied once.
TEST_P(ClusterTest, ALineNamingNoConnectionReachesEveryConnectionOfItsRecipientAndIsCopiedOnce)
{
    auto nodeB = startNode();
    auto nodeC = startNode();
    auto alice = logOn("u01");
    auto bobAtB = LogOnAt(nodeB->port(), "u02");
    alice->send(MakeFrame({"MSG", "0", "u02", "at one node"}, TrailingTab::Yes));
    EXPECT_EQ(bobAtB->take("MSG").value_or(Fields{}).value(3), "at one node");
    EXPECT_EQ(alice->take("MSG").value_or(Fields{}).value(3), "at one node");

    auto bobAtC = LogOnAt(nodeC->port(), "u02");
    ASSERT_EQ(SeenOnline(*alice, "u02"), bobAtB->number());
    ASSERT_EQ(SeenOnline(*alice, "u02"), bobAtC->number());
    alice->send(MakeFrame({"MSG", "0", "u02", "at two nodes"}, TrailingTab::Yes));
    EXPECT_EQ(bobAtB->take("MSG").value_or(Fields{}).value(3), "at two nodes");
    EXPECT_EQ(bobAtC->take("MSG").value_or(Fields{}).value(3), "at two nodes");
    EXPECT_EQ(alice->take("MSG").value_or(Fields{}).value(3), "at two nodes");
    ASSERT_TRUE(alice->sync());
    EXPECT_FALSE(alice->holds("MSG")) << "one copy back";
}

// A node in a child process, killed without a word: its key expires and
// the others log its users off; they log on again elsewhere at once.
TEST_P(ClusterTest, AKilledNodesUsersAreLoggedOffWithinTheBoundAndLogOnElsewhere)
{
    QProcess node;
    node.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments = store().isPostgres() ? QStringList{QStringLiteral("--store"), store().postgresUrl}
                                                 : QStringList{QStringLiteral("--data"), store().dataDir};
    arguments << QStringLiteral("--port") << QStringLiteral("0") << QStringLiteral("--bus") << m_redis->url()
              << QStringLiteral("--heartbeat") << QString::number(Heartbeat.count());
    node.start(Binary, arguments);
    QString output;
    quint16 port = 0;
    const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            output += QString::fromUtf8(node.readAll());
            port = quint16(listening.match(output).captured(1).toUInt());
            return port != 0 || node.state() == QProcess::NotRunning;
        },
        10000));
    ASSERT_NE(port, 0) << output.toStdString();

    auto alice = logOn("u01");
    auto bob = LogOnAt(port, "u02");
    const int bobNumber = SeenOnline(*alice, "u02");
    ASSERT_EQ(bobNumber, bob->number());

    // Stopped, the node reads nothing more: a line for bob sent now is never
    // acknowledged, and A stores it once the node is gone.
    ::kill(pid_t(node.processId()), SIGSTOP);
    alice->send(MakeFrame({"MSG", QByteArray::number(bobNumber), "u02", "lost with the node"}, TrailingTab::Yes));
    EXPECT_EQ(alice->take("MSG").value_or(Fields{}).value(3), "lost with the node");
    ::kill(pid_t(node.processId()), SIGKILL);
    ASSERT_TRUE(node.waitForFinished(5000));
    QElapsedTimer sinceKill;
    sinceKill.start();
    EXPECT_EQ(alice->take("UDEL", {}, UdelBoundMs).value_or(Fields{}),
              (Fields{"UDEL", QByteArray::number(bobNumber), "u02"}));
    EXPECT_LT(sinceKill.elapsed(), UdelBoundMs);
    EXPECT_FALSE(server().isOnline("u02"));

    EXPECT_TRUE(QTest::qWaitFor([&] { return server().linesInFlight() == 0; }));
    auto bobAgain = logOn("u02");
    EXPECT_EQ(SeenOnline(*alice, "u02"), bobAgain->number());
    EXPECT_EQ(bobAgain->take("AMS").value_or(Fields{}).value(4), "lost with the node");
    ASSERT_TRUE(bobAgain->sync());
    EXPECT_FALSE(bobAgain->holds("AMS")) << "stored once";
}

VANTREL_ON_BOTH_STORES(ClusterTest);

// Whether the node greets a new connection (or cuts it off unread).
bool Greets(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QByteArray got;
    (void)QTest::qWaitFor(
        [&] {
            got += socket.readAll();
            return got.startsWith("000") || (socket.state() == QAbstractSocket::UnconnectedState && got.isEmpty()
                                              && socket.error() != QAbstractSocket::UnknownSocketError);
        },
        3000);
    return got.startsWith("000");
}

// Redis of the test's own, which it stops and starts again empty, as a
// crash and restart of Redis would leave it.
class LostBusTest : public ClusterTest {
protected:
    void SetUp() override
    {
        QString whyNot;
        m_own = TestRedis::Start(&whyNot);
        if (!m_own)
            GTEST_SKIP() << "no Redis to test with: " << whyNot.toStdString();
        m_redis = m_own.get();
        OnBothStores::SetUp();
    }
    std::unique_ptr<TestRedis> m_own;
};

TEST_P(LostBusTest, ANodeWithoutItsBusTakesNoLogonsAndComesBackWithItsUsers)
{
    auto nodeB = startNode();
    auto alice = logOn("u01");
    auto bob = LogOnAt(nodeB->port(), "u02");
    ASSERT_EQ(SeenOnline(*bob, "u01"), alice->number());

    m_own->stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return log().filter(QStringLiteral("lost the bus")).size() >= 4; }))
        << "both nodes say why, for each of their two connections";
    EXPECT_FALSE(Greets(server().port())) << "a logon here would be seen by nobody elsewhere";
    EXPECT_TRUE(alice->sync()) << "who is logged on keeps what works at the node";

    QString error;
    ASSERT_TRUE(m_own->startAgain(&error)) << error.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Greets(server().port()); }, 20000));
    // Redis came back empty: the nodes say again who is online with them.
    bob->forget();
    auto carol = logOn("u03");
    EXPECT_EQ(SeenOnline(*bob, "u03"), carol->number());
    EXPECT_TRUE(QTest::qWaitFor([&] { return server().isOnline("u02"); }, 20000));
    bob->send(MakeFrame({"MSG", QByteArray::number(carol->number()), "u03", "still here"}, TrailingTab::Yes));
    EXPECT_EQ(carol->take("MSG").value_or(Fields{}).value(3), "still here");
}

// Redis lost every node's key; a node that starts before the live ones have
// set theirs again must still not take one of their numbers.
TEST_P(LostBusTest, ANodeStartedAsRedisComesBackEmptyTakesANumberNoLiveNodeHolds)
{
    auto nodeB = startNode();
    auto alice = logOn("u01");
    auto bob = LogOnAt(nodeB->port(), "u02");
    m_own->stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return log().filter(QStringLiteral("lost the bus")).size() >= 4; }));
    QString error;
    ASSERT_TRUE(m_own->startAgain(&error)) << error.toStdString();

    auto nodeC = startNode();
    auto carol = LogOnAt(nodeC->port(), "u03");
    EXPECT_NE(Cluster::NodeOf(carol->number()), Cluster::NodeOf(alice->number()));
    EXPECT_NE(Cluster::NodeOf(carol->number()), Cluster::NodeOf(bob->number()));
    carol->send(MakeFrame({"MSG", QByteArray::number(alice->number()), "u01", "new here"}, TrailingTab::Yes));
    EXPECT_EQ(alice->take("MSG").value_or(Fields{}).value(3), "new here");
    EXPECT_EQ(carol->take("MSG").value_or(Fields{}).value(3), "new here");
}

VANTREL_ON_BOTH_STORES(LostBusTest);

TEST(ClusterProgramTest, AnUnreachableBusAtStartIsNamedAndTheNodeExits)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString url = QStringLiteral("redis://127.0.0.1:%1").arg(FreeLoopbackPort());
    QProcess node;
    node.start(Binary, {QStringLiteral("--data"), dir.path(), QStringLiteral("--port"), QStringLiteral("0"),
                        QStringLiteral("--bus"), url});
    ASSERT_TRUE(node.waitForFinished(20000));
    const QString log = QString::fromUtf8(node.readAllStandardError());
    EXPECT_EQ(node.exitCode(), 1) << log.toStdString();
    EXPECT_TRUE(log.contains(url)) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("listening"))) << log.toStdString();
}

} // namespace
