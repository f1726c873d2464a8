#include "ServerFixture.h"

#include "wire/FrameText.h"

#include <QRegularExpression>

using Fields = QByteArrayList;
using AbsenceMessageTest = ServerFixture;

namespace {

qsizetype IndexOf(const QList<Fields> &frames, const QByteArray &code)
{
    for (qsizetype i = 0; i < frames.size(); ++i)
        if (frames[i].value(0) == code)
            return i;
    return -1;
}

} // namespace

TEST_F(AbsenceMessageTest, DeliveredAfterTheListAtTheNextLogonAndOnlyOnce)
{
    auto a = logOn("u01");
    const QByteArray text = Sjis(u"戻られたらお電話ください");
    a->send(MakeFrame({"AMS", "u02", text}, TrailingTab::Yes));
    // A line to a member who went offline meanwhile waits the same way.
    a->send(MakeFrame({"MSG", "5", "u02", "and one more"}, TrailingTab::Yes));
    ASSERT_TRUE(a->take("MSG", [](const Fields &f) { return f.value(3) == "and one more"; }))
        << "the sender's copy comes back";
    ASSERT_TRUE(a->sync());

    auto b = newClient();
    ASSERT_EQ(b->logOn("u02", SamplePassword("u02")), 0);
    ASSERT_TRUE(b->sync());
    const QList<Fields> &frames = b->kept();
    const qsizetype first = IndexOf(frames, "AMS");
    ASSERT_GE(first, 0);
    ASSERT_LT(first + 1, frames.size());
    EXPECT_LT(IndexOf(frames, "LSETE"), first);
    EXPECT_LT(IndexOf(frames, "UADD"), first);
    EXPECT_EQ(frames[first].mid(2), (Fields{"", SampleName("u01"), text}));
    EXPECT_EQ(frames[first + 1].mid(2), (Fields{"", SampleName("u01"), "and one more"}));

    b->disconnect();
    auto again = logOn("u02");
    ASSERT_TRUE(again->sync());
    EXPECT_FALSE(again->holds("AMS"));
}

TEST_F(AbsenceMessageTest, CarriesTheReceiptTimeAndTheSendersName)
{
    auto a = logOn("u01");
    a->send(MakeFrame({"AMS", "u02", "hello"}, TrailingTab::Yes));
    ASSERT_TRUE(a->sync());
    auto b = newClient();
    ASSERT_EQ(b->logOn("u02", SamplePassword("u02")), 0);
    const auto absence = b->take("AMS");
    ASSERT_TRUE(absence);
    ASSERT_EQ(absence->size(), 5);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                    .match(QString::fromLatin1(absence->at(1)))
                    .hasMatch())
        << absence->at(1).constData();
    EXPECT_EQ(absence->mid(2), (Fields{"", SampleName("u01"), "hello"}));
}

TEST_F(AbsenceMessageTest, KeptAcrossAServerRestart)
{
    {
        auto a = logOn("u01");
        a->send(MakeFrame({"AMS", "u02", "after the restart"}, TrailingTab::Yes));
        ASSERT_TRUE(a->sync());
    }
    restartServer();
    auto b = logOn("u02");
    EXPECT_EQ(b->take("AMS").value_or(Fields{}).value(4), "after the restart");
}

TEST_F(AbsenceMessageTest, DeliveredAtOnceWhenTheRecipientIsOnline)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    // Two in one write: the second must not bring the first again.
    a->sendRaw(MakeFrame({"AMS", "u02", "right now"}, TrailingTab::Yes) + "\r\n" +
               MakeFrame({"AMS", "u02", "and again"}, TrailingTab::Yes) + "\r\n");
    EXPECT_EQ(b->take("AMS").value_or(Fields{}).value(4), "right now");
    EXPECT_EQ(b->take("AMS").value_or(Fields{}).value(4), "and again");
    ASSERT_TRUE(b->sync());
    EXPECT_FALSE(b->holds("AMS"));
    b->disconnect();
    auto again = logOn("u02");
    ASSERT_TRUE(again->sync());
    EXPECT_FALSE(again->holds("AMS"));
}
