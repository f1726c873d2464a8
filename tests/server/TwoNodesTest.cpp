// Two servers on one store, as nodes behind a load balancer share it.
#include "OnBothStores.h"

#include "wire/FrameText.h"

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
        ASSERT_TRUE(sender->sync());

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

} // namespace

VANTREL_ON_BOTH_STORES(TwoNodesTest);
