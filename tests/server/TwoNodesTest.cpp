// Two servers on one store, as nodes behind a load balancer share it.
#include "OnBothStores.h"

#include "wire/FrameText.h"

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Fields = QByteArrayList;

namespace {

class TwoNodesTest : public OnBothStores {
protected:
    // A second node on the same store.
    std::unique_ptr<ServerThread> startOtherNode()
    {
        auto node = std::make_unique<ServerThread>();
        QString error;
        EXPECT_TRUE(node->start(options(), &error)) << error.toStdString();
        return node;
    }

    // Like TestClient::sync, for a client that sent its logon by hand: a
    // line to itself, whose two copies come after everything sent before.
    static bool SyncAs(TestClient &client, const QByteArray &userId)
    {
        const auto own = client.take("UADD", [&](const Fields &f) { return f.value(2) == userId; });
        if (!own)
            return false;
        client.sendRaw(MakeFrame({"MSG", own->value(1), userId, "synced"}, TrailingTab::Yes) + "\r\n");
        auto isToken = [](const Fields &f) { return f.value(3) == "synced"; };
        return client.take("MSG", isToken).has_value() && client.take("MSG", isToken).has_value();
    }

    // The store writes in order, and a line for an absent colleague is
    // answered only once written: after its copy, every absence message the
    // sender sent before is stored.
    static bool AllStored(TestClient &sender)
    {
        sender.send(MakeFrame({"MSG", "-1", "u03", "stored"}, TrailingTab::Yes));
        return sender.take("MSG", [](const Fields &f) { return f.value(3) == "stored"; }).has_value();
    }
};

TEST_P(TwoNodesTest, AMessageStoredThroughOneNodeIsDeliveredOnceWhenItsRecipientLogsOnAtBoth)
{
    auto nodeB = startOtherNode();
    auto sender = logOn("u01");
    for (int round = 0; round < 3; ++round) {
        QByteArrayList texts;
        for (int i = 0; i < 10; ++i) {
            texts.append("round " + QByteArray::number(round) + " message " + QByteArray::number(i));
            sender->send(MakeFrame({"AMS", "u02", texts.last()}, TrailingTab::Yes));
        }
        ASSERT_TRUE(AllStored(*sender));

        // Both logons are on their way before either is answered.
        TestClient atA(server().port());
        TestClient atB(nodeB->port());
        ASSERT_TRUE(atA.connectOnly() && atB.connectOnly());
        const QByteArray logon = MakeFrame({"000", "u02", "0", SamplePassword("u02"), "1"}, TrailingTab::Yes) + "\r\n";
        atA.sendRaw(logon);
        atB.sendRaw(logon);
        ASSERT_EQ(atA.take("001").value_or(Fields{}).value(1), "0");
        ASSERT_EQ(atB.take("001").value_or(Fields{}).value(1), "0");
        ASSERT_TRUE(SyncAs(atA, "u02") && SyncAs(atB, "u02"));

        QByteArrayList delivered;
        for (const TestClient *client : {&atA, &atB})
            for (const Fields &frame : client->kept())
                if (frame.value(0) == "AMS")
                    delivered.append(frame.value(4));
        std::sort(delivered.begin(), delivered.end());
        std::sort(texts.begin(), texts.end());
        EXPECT_EQ(delivered, texts) << "round " << round;
        atA.disconnect();
        atB.disconnect();
    }
}


// A client that logs on with a tiny receive window, never reads, and resets
// its connection: what its TCP stack did not acknowledge was not delivered.
TEST_P(TwoNodesTest, MessagesAResetClientDidNotAcknowledgeAreDeliveredAtTheNextLogonElsewhere)
{
    auto nodeB = startOtherNode();
    auto sender = logOn("u01");
    constexpr int Count = 40;
    for (int i = 0; i < Count; ++i)
        sender->send(MakeFrame({"AMS", "u02", QByteArray::number(i) + ":" + QByteArray(4000, 'x')}, TrailingTab::Yes));
    // A message stored later is never heard of by node B, which has no bus.
    ASSERT_TRUE(AllStored(*sender));

    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    const int window = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(server().port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    const QByteArray logon = MakeFrame({"000", "u02", "0", SamplePassword("u02"), "1"}, TrailingTab::Yes) + "\r\n";
    ASSERT_EQ(::send(fd, logon.constData(), static_cast<size_t>(logon.size()), 0), logon.size());
    // The logon is done, and its messages claimed, in the turn that logs it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log().filter(QStringLiteral("logon of u02 as connection")).isEmpty(); }));
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server().connectionCount() == 1; })) << "node A saw the reset";

    TestClient atB(nodeB->port());
    ASSERT_EQ(atB.logOn("u02", SamplePassword("u02")), 0);
    ASSERT_TRUE(atB.sync());
    QList<int> delivered;
    for (const Fields &frame : atB.kept())
        if (frame.value(0) == "AMS")
            delivered.append(frame.value(4).split(':').value(0).toInt());
    // What went before may have reached the reset client's kernel; the rest
    // comes once, in order, to the last.
    ASSERT_FALSE(delivered.isEmpty());
    for (qsizetype i = 0; i < delivered.size(); ++i)
        EXPECT_EQ(delivered[i], Count - delivered.size() + i);
}

} // namespace

VANTREL_ON_BOTH_STORES(TwoNodesTest);
