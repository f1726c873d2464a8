// An administrator's changes reach a running server without a restart.
#include "OnBothStores.h"

#include "server/AccountAdmin.h"
#include "server/AccountStore.h"
#include "wire/FrameText.h"

#include <QTest>

using Fields = QByteArrayList;

namespace {

class LiveAccountsTest : public OnBothStores {
protected:
    ServerOptions options() override
    {
        ServerOptions options = OnBothStores::options();
        options.accountsPollInterval = std::chrono::milliseconds(20);
        return options;
    }

    // The command as the administrator types it, against the running server's folder.
    int admin(const QStringList &args, const QString &password = QStringLiteral("new-pw"),
              const NewAccountDetails &details = {QStringLiteral("新人 一郎"), QStringLiteral("営業部"), {},
                                                  QStringLiteral("0")})
    {
        return RunAccountsCommand(store(), args, details, [password](const QString &, QString *) {
            return std::optional<QString>(password);
        });
    }

    // The member ids of a list just received, in order.
    static QByteArrayList ListedMembers(TestClient &client)
    {
        QByteArrayList ids;
        for (const QByteArrayList &frame : client.kept())
            if (frame.value(0) == "LSETD" && frame.value(1) == "U")
                ids.append(frame.value(3));
        return ids;
    }
};

TEST_P(LiveAccountsTest, AnAddedAccountLogsOnAtOnceAndJoinsEveryListAtTheNextLogon)
{
    // u02 arranged a list of their own before the account existed.
    auto arranger = logOn("u02");
    const QByteArray sales = Sjis(u"営業部");
    for (const QByteArray &frame : {QByteArray("LSETS"), MakeFrame({"LSETD", "G", sales, "0", sales, ""}, TrailingTab::Yes),
                                    MakeFrame({"LSETD", "U", "u01", "1", "x", ""}, TrailingTab::Yes),
                                    MakeFrame({"LSETD", "UG", "", "0", "mine", ""}, TrailingTab::Yes),
                                    QByteArray("LSETE")})
        arranger->send(frame);
    ASSERT_TRUE(arranger->sync());
    arranger->disconnect();

    ASSERT_EQ(admin({QStringLiteral("add"), QStringLiteral("n01")}), 0);
    TestClient newcomer(server().port());
    EXPECT_EQ(newcomer.logOn("n01", "new-pw"), 0) << "no restart is needed";
    EXPECT_EQ(newcomer.take("002").value_or(Fields{}).value(1), Sjis(u"新人 一郎"));

    auto colleague = logOn("u03"); // never uploaded: the company list
    EXPECT_TRUE(ListedMembers(*colleague).contains("n01"));
    auto again = logOn("u02"); // the newcomer joins the department's group, before "mine"
    EXPECT_EQ(ListedMembers(*again), (QByteArrayList{"u01", "n01"}));
}

TEST_P(LiveAccountsTest, ADisabledAccountIsLoggedOffAndRefusedUntilEnabled)
{
    auto watcher = logOn("u01");
    auto user = logOn("u02");
    ASSERT_EQ(admin({QStringLiteral("disable"), QStringLiteral("u02")}), 0);
    EXPECT_TRUE(user->waitForDisconnect());
    EXPECT_TRUE(watcher->take("UDEL", [](const Fields &f) { return f.value(2) == "u02"; }));
    TestClient retry(server().port());
    EXPECT_EQ(retry.logOn("u02", SamplePassword("u02")), 1);

    auto colleague = logOn("u03");
    EXPECT_TRUE(ListedMembers(*colleague).contains("u02")) << "a disabled colleague keeps a place in the list";

    ASSERT_EQ(admin({QStringLiteral("enable"), QStringLiteral("u02")}), 0);
    TestClient back(server().port());
    EXPECT_EQ(back.logOn("u02", SamplePassword("u02")), 0);
}

TEST_P(LiveAccountsTest, ADeletedAccountIsLoggedOffAndLeavesEveryList)
{
    auto watcher = logOn("u01");
    auto user = logOn("u02");
    ASSERT_EQ(admin({QStringLiteral("delete"), QStringLiteral("u02")}), 0);
    EXPECT_TRUE(user->waitForDisconnect());
    EXPECT_TRUE(watcher->take("UDEL", [](const Fields &f) { return f.value(2) == "u02"; }));
    watcher->disconnect();
    auto again = logOn("u01");
    EXPECT_FALSE(ListedMembers(*again).contains("u02"));
    TestClient retry(server().port());
    EXPECT_EQ(retry.logOn("u02", SamplePassword("u02")), 1);
}

TEST_P(LiveAccountsTest, ANewPasswordCountsAtTheNextLogon)
{
    ASSERT_EQ(admin({QStringLiteral("passwd"), QStringLiteral("u02")}, QStringLiteral("changed")), 0);
    TestClient old(server().port());
    EXPECT_EQ(old.logOn("u02", SamplePassword("u02")), 1);
    TestClient fresh(server().port());
    EXPECT_EQ(fresh.logOn("u02", "changed"), 0);
}

TEST_P(LiveAccountsTest, DeletingTakesTheListAndWaitingMessagesAlong)
{
    auto sender = logOn("u01");
    sender->send(MakeFrame({"AMS", "u02", "for later"}, TrailingTab::Yes));
    ASSERT_TRUE(sender->sync());
    ASSERT_EQ(admin({QStringLiteral("delete"), QStringLiteral("u02")}), 0);
    // Added again under the same id, the account starts afresh.
    ASSERT_EQ(admin({QStringLiteral("add"), QStringLiteral("u02")}), 0);
    TestClient fresh(server().port());
    ASSERT_EQ(fresh.logOn("u02", "new-pw"), 0);
    ASSERT_TRUE(fresh.sync());
    EXPECT_FALSE(fresh.holds("AMS"));
}

} // namespace

VANTREL_ON_BOTH_STORES(LiveAccountsTest);
