#include "OnBothStores.h"

#include "wire/FrameText.h"

using Fields = QByteArrayList;

namespace {

QByteArrayList Codes(const QList<QByteArrayList> &frames)
{
    QByteArrayList codes;
    for (const auto &f : frames)
        codes.append(f.value(0));
    return codes;
}

} // namespace

using LogonTest = OnBothStores;

TEST_P(LogonTest, AcceptedLogonSendsNameDirectoryAndWhoIsOnline)
{
    auto colleague = logOn("u04");
    auto client = newClient();
    ASSERT_EQ(client->logOn("u01", SamplePassword("u01")), 0);
    ASSERT_TRUE(client->take("UADD", [](const Fields &f) { return f.value(2) == "u01"; }));

    const QList<QByteArrayList> &frames = client->kept();
    // 002, LSETS, three departments with ten members, LSETE, the colleague's UADD.
    ASSERT_EQ(frames.size(), 17) << Codes(frames).join(' ').constData();
    EXPECT_EQ(frames[0], (Fields{"002", SampleName("u01")}));
    EXPECT_EQ(frames[1], (Fields{"LSETS"}));
    const QByteArray sales = Sjis(u"営業部");
    EXPECT_EQ(frames[2], (Fields{"LSETD", "G", "0", sales, "", sales, sales, ""}));
    EXPECT_EQ(frames[3], (Fields{"LSETD", "U", "1", "u01", "", SampleName("u01"), SampleName("u01"),
                                 "hanako.sato@example.com"}));
    int groups = 0;
    for (int i = 2; i < 15; ++i) {
        ASSERT_EQ(frames[i].value(0), "LSETD");
        if (frames[i].value(1) == "G")
            ++groups;
        else // every member stands in the group before it
            EXPECT_EQ(frames[i].value(2), "1");
    }
    EXPECT_EQ(groups, 3);
    EXPECT_EQ(frames[15], (Fields{"LSETE"}));
    EXPECT_EQ(frames[16], (Fields{"UADD", QByteArray::number(colleague->number()), "u04", "3"}));
    EXPECT_NE(colleague->number(), client->number());
}

TEST_P(LogonTest, RefusedLogonsAnswerWithTheirReason)
{
    struct Case {
        const char *what;
        QByteArray id;
        QByteArray password;
        int corp;
        QByteArray version;
        int result;
    };
    const Case cases[] = {
        {"wrong password", "u01", "nope", 0, "1", 1},
        {"unknown id", "x99", "sakura01", 0, "1", 1},
        {"wrong corporate index", "u01", "sakura01", 1, "1", 1},
        {"password of another user", "u01", "kaede02", 0, "1", 1},
        {"client version 2", "u01", "sakura01", 0, "2", 2},
        {"client version 0", "u01", "sakura01", 0, "0", 2},
        {"a password longer than any account has", "u01", QByteArray(51, 'p'), 0, "1", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto client = newClient();
        EXPECT_EQ(client->logOn(c.id, c.password, c.corp, c.version), c.result);
        EXPECT_FALSE(client->holds("002"));
        EXPECT_FALSE(server().isOnline(c.id));
    }
}

TEST_P(LogonTest, LogonRequestWithoutItsFieldsIsRefused)
{
    auto client = newClient();
    ASSERT_TRUE(client->connectOnly());
    client->send("000\tu01\t0\t");
    const auto answer = client->take("001");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->value(1), "1");
}

TEST_P(LogonTest, ThirdRefusalClosesTheConnection)
{
    auto client = newClient();
    ASSERT_EQ(client->logOn("u01", "wrong"), 1);
    for (int attempt = 2; attempt <= 3; ++attempt) {
        client->send(MakeFrame({"000", "u01", "0", "wrong", "1", "0", "1"}, TrailingTab::Yes));
        const auto answer = client->take("001");
        ASSERT_TRUE(answer) << attempt;
        EXPECT_EQ(answer->value(1), "1");
    }
    EXPECT_TRUE(client->waitForDisconnect());
}

TEST_P(LogonTest, UserOnTwoClientsKeepsBothConnections)
{
    auto observer = logOn("u03");
    observer->forget();
    auto first = logOn("u01");
    auto second = logOn("u01");
    ASSERT_NE(first->number(), second->number());
    second->send("STC\t2\t");
    ASSERT_TRUE(observer->sync());
    ASSERT_TRUE(first->sync());
    EXPECT_TRUE(first->isConnected()) << "a second logon leaves the first alone";
    const QByteArray firstNumber = QByteArray::number(first->number());
    const QByteArray secondNumber = QByteArray::number(second->number());
    EXPECT_EQ(observer->kept(), (QList<Fields>{{"UADD", firstNumber, "u01", "3"},
                                               {"UADD", secondNumber, "u01", "3"},
                                               {"STC", "u01", "2"}}));
    EXPECT_EQ(first->take("STC").value_or(Fields{}), (Fields{"STC", "u01", "2"}));
    observer->forget();

    // The watchers mark u01 with the latest number: when that connection goes,
    // the one left is announced again, with its own state.
    second->disconnect();
    EXPECT_EQ(observer->take("UDEL").value_or(Fields{}), (Fields{"UDEL", secondNumber, "u01"}));
    EXPECT_EQ(observer->take("UADD").value_or(Fields{}), (Fields{"UADD", firstNumber, "u01", "3"}));
    EXPECT_TRUE(server().isOnline("u01"));

    // A new connection and the going of an older one: only the UDEL.
    auto third = logOn("u01");
    EXPECT_TRUE(observer->take("UADD", [&](const Fields &f) { return f.value(1).toInt() == third->number(); }));
    first->disconnect();
    EXPECT_EQ(observer->take("UDEL").value_or(Fields{}), (Fields{"UDEL", firstNumber, "u01"}));
    ASSERT_TRUE(observer->sync());
    EXPECT_TRUE(observer->kept().isEmpty());
    third->disconnect();
    EXPECT_TRUE(observer->take("UDEL"));
    EXPECT_FALSE(server().isOnline("u01"));
}

TEST_P(LogonTest, FramesAroundTheLogonRequestDoNotCutTheClientOff)
{
    auto colleague = logOn("u02");
    auto client = newClient();
    ASSERT_TRUE(client->connectOnly());
    // A client whose windows survived a lost connection sends whenever its
    // socket is up: before its logon request, behind a refused one and behind
    // the one that succeeds, all in one write.
    auto frame = [](std::initializer_list<QByteArrayView> fields) {
        return MakeFrame(fields, TrailingTab::Yes) + "\r\n";
    };
    QByteArray bytes;
    for (int i = 0; i < 12; ++i) // more than the rejections that cut a client off
        bytes += frame({"MSG", "0", "u02", "before " + QByteArray::number(i)});
    bytes += frame({"STC", "2"});
    bytes += frame({"000", "u01", "0", "wrong", "1", "0", "1"});
    bytes += frame({"MSG", "0", "u02", "behind the refused logon"});
    bytes += frame({"000", "u01", "0", SamplePassword("u01"), "1", "0", "1"});
    bytes += frame({"MSG", "0", "u02", "behind the logon"});
    bytes += frame({"STC", "4"});
    client->sendRaw(bytes);

    EXPECT_EQ(client->take("001").value_or(Fields{}).value(1), "1");
    EXPECT_EQ(client->take("001").value_or(Fields{}).value(1), "0");
    EXPECT_EQ(colleague->take("MSG").value_or(Fields{}).value(3), "behind the logon");
    EXPECT_EQ(colleague->take("STC").value_or(Fields{}), (Fields{"STC", "u01", "4"}));
    ASSERT_TRUE(colleague->sync());
    EXPECT_FALSE(colleague->holds("MSG")) << "nothing sent before the logon reaches anyone";
    EXPECT_FALSE(colleague->holds("STC"));
    EXPECT_TRUE(client->isConnected());
    EXPECT_TRUE(server().isOnline("u01"));
}

VANTREL_ON_BOTH_STORES(LogonTest);
