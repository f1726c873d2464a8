#include "ServerFixture.h"

#include "wire/FrameText.h"

#include <QRegularExpression>

using Fields = QByteArrayList;
using PresenceTest = ServerFixture;
using MessageTest = ServerFixture;

namespace {

auto From(const QByteArray &id)
{
    return [id](const Fields &f) { return f.value(1) == id || f.value(2) == id; };
}

} // namespace

TEST_F(PresenceTest, ArrivalsChangesAndDeparturesReachTheOthers)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    const auto bAdded = a->take("UADD", From("u02"));
    ASSERT_TRUE(bAdded);
    EXPECT_EQ(*bAdded, (Fields{"UADD", QByteArray::number(b->number()), "u02", "3"}));
    EXPECT_TRUE(b->take("UADD", From("u01"))) << "the newcomer's list marks those already online";

    b->send("STC\t2\t");
    EXPECT_EQ(a->take("STC").value_or(Fields{}), (Fields{"STC", "u02", "2"}));
    a->send("STC\t4\t");
    EXPECT_EQ(b->take("STC").value_or(Fields{}), (Fields{"STC", "u01", "4"}));
    ASSERT_TRUE(b->sync());
    EXPECT_FALSE(b->holds("STC")) << "a change goes to the others only";

    // A later arrival learns the states as they are now.
    auto c = logOn("u03");
    EXPECT_EQ(c->take("UADD", From("u02")).value_or(Fields{}).value(3), "2");
    EXPECT_EQ(c->take("UADD", From("u01")).value_or(Fields{}).value(3), "4");

    const QByteArray bNumber = QByteArray::number(b->number());
    b->disconnect();
    EXPECT_EQ(a->take("UDEL").value_or(Fields{}), (Fields{"UDEL", bNumber, "u02"}));
    EXPECT_EQ(c->take("UDEL").value_or(Fields{}), (Fields{"UDEL", bNumber, "u02"}));
}

TEST_F(PresenceTest, StateCarriesTheSendersIdNotAFieldOfTheFrame)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    a->send("STC\t2\tu03\t");
    EXPECT_EQ(b->take("STC").value_or(Fields{}), (Fields{"STC", "u01", "2"}));
}

TEST_F(MessageTest, MessageReachesThePeerAndACopyComesBack)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    const QByteArray text = Sjis(u"明日の会議は十時からです");
    a->send(MakeFrame({"MSG", QByteArray::number(b->number()), "u02", text}, TrailingTab::Yes));

    const auto delivered = b->take("MSG");
    ASSERT_TRUE(delivered);
    ASSERT_EQ(delivered->size(), 5);
    EXPECT_EQ(delivered->mid(0, 4), (Fields{"MSG", "u01", "u01", text}));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$")).match(QString::fromLatin1(delivered->at(4))).hasMatch());

    const auto copy = a->take("MSG");
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, (Fields{"MSG", "u02", "u01", text, delivered->at(4)}));
}

TEST_F(MessageTest, TypingNoticeReachesOnlyThePeer)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    auto c = logOn("u03");
    a->send("MSI\t0\tu02\tN\t");
    EXPECT_EQ(b->take("MSI").value_or(Fields{}), (Fields{"MSI", "u01", "N"}));
    a->send("MSI\t0\tu02\tF\t");
    EXPECT_EQ(b->take("MSI").value_or(Fields{}), (Fields{"MSI", "u01", "F"}));
    ASSERT_TRUE(a->sync());
    ASSERT_TRUE(c->sync());
    EXPECT_FALSE(a->holds("MSI"));
    EXPECT_FALSE(c->holds("MSI"));
}

TEST_F(MessageTest, MessageTextIsCutToTheConversationLimit)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    // 1023 ASCII bytes and a double-byte character: the cut at 1024 leaves its lead byte, which goes too.
    const QByteArray text = QByteArray(1023, 'a') + Sjis(u"あ");
    a->send(MakeFrame({"MSG", "0", "u02", text}, TrailingTab::Yes));
    EXPECT_EQ(b->take("MSG").value_or(Fields{}).value(3), QByteArray(1023, 'a'));
}

TEST_F(MessageTest, LineGoesToTheNamedConnectionOfAUserOnTwoClients)
{
    auto a = logOn("u01");
    auto b1 = logOn("u02");
    auto b2 = logOn("u02");
    struct Case {
        const char *what;
        QByteArray number; // field 1 of the MSG and MSI
        bool toFirst;
        bool toSecond;
    };
    const Case cases[] = {
        {"the first connection", QByteArray::number(b1->number()), true, false},
        {"the second connection", QByteArray::number(b2->number()), false, true},
        {"a number never given", "-1", true, true},
        {"the number of someone else's connection", QByteArray::number(a->number()), true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        a->send(MakeFrame({"MSI", c.number, "u02", "N"}, TrailingTab::Yes));
        a->send(MakeFrame({"MSG", c.number, "u02", c.what}, TrailingTab::Yes));
        EXPECT_TRUE(a->take("MSG", [&](const Fields &f) { return f.value(1) == "u02" && f.value(3) == c.what; }));
        for (auto [client, expected] : {std::pair{b1.get(), c.toFirst}, std::pair{b2.get(), c.toSecond}}) {
            ASSERT_TRUE(client->sync());
            EXPECT_EQ(client->holds("MSG"), expected);
            EXPECT_EQ(client->holds("MSI"), expected);
            client->forget();
        }
    }

    // The copy back goes to the connection that sent the line only.
    b2->send(MakeFrame({"MSG", QByteArray::number(a->number()), "u01", "from the second"}, TrailingTab::Yes));
    EXPECT_TRUE(b2->take("MSG", [](const Fields &f) { return f.value(3) == "from the second"; }));
    EXPECT_TRUE(a->take("MSG", [](const Fields &f) { return f.value(3) == "from the second"; }));
    ASSERT_TRUE(b1->sync());
    EXPECT_FALSE(b1->holds("MSG"));
}
