// The client's main window, in this process on the offscreen platform, against
// the real server: what the client can do so far (logon, list, presence,
// upload) works end to end.

#include "ClientFixture.h"
#include "ServerFixture.h"
#include "main/Tmfrm.h"
#include "main/members/MemberItem.h"

#include <QTest>
#include <QTreeWidget>

using Fields = QByteArrayList;

namespace {

class ClientAgainstServerTest : public ServerFixture {
protected:
    void startClient()
    {
        client.writeUserIni(clientUserIni("u01"));
        mfrm = std::make_unique<Tmfrm>();
    }
    // The state of the first node with the id, or -1 when there is none.
    int stateOf(const QByteArray &id)
    {
        const auto items = mfrm->FindMember(id);
        return items.isEmpty() ? -1 : items.first()->node.State;
    }
    bool listShown()
    {
        return QTest::qWaitFor([&] { return !mfrm->ftree->isHidden() && mfrm->ftree->topLevelItemCount() > 0; },
                               TestClient::WaitMs);
    }

    ClientFixture client;
    std::unique_ptr<Tmfrm> mfrm;
};

} // namespace

TEST_F(ClientAgainstServerTest, LogsOnShowsTheDirectoryAndFollowsPresence)
{
    auto colleague = logOn("u02");
    startClient();
    ASSERT_TRUE(listShown());
    EXPECT_EQ(mfrm->ftree->topLevelItemCount(), 3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return stateOf("u02") == 3 && stateOf("u01") == 3; }, TestClient::WaitMs));
    EXPECT_EQ(stateOf("u03"), 5);
    ASSERT_TRUE(colleague->take("UADD", [](const Fields &f) { return f.value(2) == "u01"; }));

    colleague->send("STC\t4\t");
    EXPECT_TRUE(QTest::qWaitFor([&] { return stateOf("u02") == 4; }, TestClient::WaitMs));
    mfrm->N6Click(); // away
    EXPECT_EQ(colleague->take("STC").value_or(Fields{}), (Fields{"STC", "u01", "2"}));

    colleague->disconnect();
    EXPECT_TRUE(QTest::qWaitFor([&] { return stateOf("u02") == 5; }, TestClient::WaitMs));
    EXPECT_TRUE(client.messages.isEmpty()) << client.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(client.errors.isEmpty()) << client.errors.join(QLatin1Char('\n')).toStdString();
}

TEST_F(ClientAgainstServerTest, UploadedListComesBackAtTheNextLogon)
{
    startClient();
    ASSERT_TRUE(listShown());
    const auto items = mfrm->FindMember("u02");
    ASSERT_FALSE(items.isEmpty());
    items.first()->node.DisplayName = Sjis(u"鈴木さん");
    mfrm->UploadList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mfrm->csock->bytesToWrite() == 0; }, TestClient::WaitMs));
    mfrm.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server().isOnline("u01"); }, TestClient::WaitMs));

    auto again = logOn("u01");
    const auto renamed = again->take("LSETD", [](const Fields &f) { return f.value(3) == "u02"; });
    ASSERT_TRUE(renamed);
    EXPECT_EQ(renamed->value(5), Sjis(u"鈴木さん"));
    EXPECT_EQ(renamed->value(6), SampleName("u02")) << "the default name stays the account's";
}
