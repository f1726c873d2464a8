#include "OnBothStores.h"

#include "wire/FrameText.h"

#include <QRegularExpression>

#include <future>

using Fields = QByteArrayList;
using AbsenceMessageTest = OnBothStores;

namespace {

qsizetype IndexOf(const QList<Fields> &frames, const QByteArray &code)
{
    for (qsizetype i = 0; i < frames.size(); ++i)
        if (frames[i].value(0) == code)
            return i;
    return -1;
}

} // namespace

TEST_P(AbsenceMessageTest, DeliveredAfterTheListAtTheNextLogonAndOnlyOnce)
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

// A client that reads its messages and closes at once has acknowledged them:
// the server must not take its end for a loss and deliver them again.
TEST_P(AbsenceMessageTest, NotDeliveredAgainAfterAClientReadsThemAndClosesAtOnce)
{
    auto a = logOn("u01");
    for (int i = 0; i < 5; ++i)
        a->send(MakeFrame({"AMS", "u02", "read then closed " + QByteArray::number(i)}, TrailingTab::Yes));
    ASSERT_TRUE(a->sync());
    for (int round = 0; round < 3; ++round) {
        auto b = newClient();
        ASSERT_EQ(b->logOn("u02", SamplePassword("u02")), 0);
        if (round == 0) {
            for (int i = 0; i < 5; ++i)
                ASSERT_TRUE(b->take("AMS"));
        }
        b->disconnect();
    }
    auto again = logOn("u02");
    ASSERT_TRUE(again->sync());
    EXPECT_FALSE(again->holds("AMS"));
}

TEST_P(AbsenceMessageTest, CarriesTheReceiptTimeAndTheSendersName)
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

TEST_P(AbsenceMessageTest, KeptAcrossAServerRestart)
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

TEST_P(AbsenceMessageTest, DeliveredAtOnceWhenTheRecipientIsOnline)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    // Two in one write: the second must not bring the first again.
    a->sendRaw(MakeFrame({"AMS", "u02", "right now"}, TrailingTab::Yes) + "\r\n" +
               MakeFrame({"AMS", "u02", "and again"}, TrailingTab::Yes) + "\r\n");
    EXPECT_EQ(b->take("AMS").value_or(Fields{}).value(4), "right now");
    EXPECT_EQ(b->take("AMS").value_or(Fields{}).value(4), "and again") << log().join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(b->sync());
    EXPECT_FALSE(b->holds("AMS"));
    b->disconnect();
    auto again = logOn("u02");
    ASSERT_TRUE(again->sync());
    EXPECT_FALSE(again->holds("AMS"));
}

TEST_P(AbsenceMessageTest, MessageDroppedForAFullQueueGetsNoCopyBack)
{
    auto a = logOn("u01");
    for (int i = 1; i < 200; ++i)
        a->send(MakeFrame({"AMS", "u02", "waiting " + QByteArray::number(i)}, TrailingTab::Yes));
    a->send(MakeFrame({"MSG", "0", "u02", "the 200th"}, TrailingTab::Yes));
    a->send(MakeFrame({"MSG", "0", "u02", "one too many"}, TrailingTab::Yes));
    // 200 stored messages come first; a machine busy with other builds needs
    // more than the usual wait for them.
    EXPECT_TRUE(a->take("MSG", [](const Fields &f) { return f.value(3) == "the 200th"; }, 4 * TestClient::WaitMs));
    ASSERT_TRUE(a->sync());
    EXPECT_FALSE(a->holds("MSG")) << "the copy back is the sender's receipt";
    EXPECT_EQ(log().filter(QStringLiteral("dropped an absence message for u02")).size(), 1);

    auto b = newClient();
    ASSERT_EQ(b->logOn("u02", SamplePassword("u02")), 0);
    ASSERT_TRUE(b->take("AMS", [](const Fields &f) { return f.value(4) == "the 200th"; }));
    ASSERT_TRUE(b->sync());
    for (const Fields &f : b->kept())
        EXPECT_NE(f.value(4), "one too many");
}

namespace {

// A store whose disk takes as long as the test likes: writes wait until open().
class SlowStoreTest : public OnBothStores {
protected:
    ServerOptions options() override
    {
        ServerOptions options = OnBothStores::options();
        options.beforeStoreWrite = [open = m_open] { open.wait_for(std::chrono::seconds(20)); };
        return options;
    }
    void open() { m_opener.set_value(); }
    void TearDown() override
    {
        if (!m_opened)
            open();
        OnBothStores::TearDown();
    }
    void openOnce()
    {
        m_opened = true;
        open();
    }

private:
    std::promise<void> m_opener;
    std::shared_future<void> m_open = m_opener.get_future().share();
    bool m_opened = false;
};

} // namespace

TEST_P(SlowStoreTest, OthersAreServedWhileMessagesGoToTheDisk)
{
    auto a = logOn("u01");
    auto b = logOn("u02");
    a->send(MakeFrame({"MSG", "0", "u05", "to an offline peer"}, TrailingTab::Yes));
    for (int i = 0; i < 50; ++i)
        a->send(MakeFrame({"AMS", "u06", "absent " + QByteArray::number(i)}, TrailingTab::Yes));
    b->send(MakeFrame({"MSG", "0", "u01", "meanwhile"}, TrailingTab::Yes));
    EXPECT_TRUE(a->take("MSG", [](const Fields &f) { return f.value(3) == "meanwhile"; }, 2000));
    EXPECT_TRUE(b->take("MSG", [](const Fields &f) { return f.value(3) == "meanwhile"; }, 2000));
    // Logs on while its messages are on their way to the disk.
    auto c = logOn("u06");
    ASSERT_TRUE(a->sync());
    EXPECT_FALSE(a->holds("MSG")) << "no receipt before the line is stored";

    openOnce();
    EXPECT_TRUE(a->take("MSG", [](const Fields &f) { return f.value(3) == "to an offline peer"; }));
    EXPECT_TRUE(c->take("AMS", [](const Fields &f) { return f.value(4) == "absent 49"; }));
    ASSERT_TRUE(c->sync());
    c->disconnect();
    int absences = 0;
    for (const Fields &f : c->kept())
        absences += f.value(0) == "AMS" ? 1 : 0;
    EXPECT_EQ(absences, 49) << "each once";
    auto again = logOn("u06");
    ASSERT_TRUE(again->sync());
    EXPECT_FALSE(again->holds("AMS"));
}

VANTREL_ON_BOTH_STORES(AbsenceMessageTest);
VANTREL_ON_BOTH_STORES(SlowStoreTest);
