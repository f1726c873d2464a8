#include "ServerFixture.h"
#include "TestPostgres.h"

#include "server/AccountImport.h"
#include "server/AccountStore.h"
#include "server/StoreLocation.h"
#include "wire/FrameText.h"

#include <QDir>
#include <QTest>

using Fields = QByteArrayList;

namespace {

// A node on a PostgreSQL cluster of its own, which the test stops under it
// (the cluster the other tests share stays up).
class LostStoreTest : public ServerFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_clusterDir.isValid());
        QString error;
        m_url = TestPostgres::StartCluster(m_clusterDir.path(), &error);
        if (m_url.isEmpty())
            GTEST_SKIP() << "no PostgreSQL to test with: " << error.toStdString();
        m_running = true;
        auto store = AccountStore::Open(StoreLocation{{}, m_url}, &error);
        ASSERT_TRUE(store) << error.toStdString();
        const ImportReport report = ImportAccounts(*store, accounts(), HashCost::TestOnly);
        ASSERT_TRUE(report.skipped.isEmpty());
        store.reset();
        ServerFixture::SetUp();
    }

    void TearDown() override {
        ServerFixture::TearDown();
        stopDatabase();
    }

    ServerOptions options() override {
        ServerOptions options = ServerFixture::options();
        options.postgresUrl = m_url;
        return options;
    }

    void stopDatabase() {
        if (std::exchange(m_running, false))
            TestPostgres::StopCluster(m_clusterDir.path());
    }

    void startDatabaseAgain() {
        QString error;
        ASSERT_TRUE(TestPostgres::RestartCluster(m_clusterDir.path(), &error)) << error.toStdString();
        m_running = true;
    }

    bool logged(const QString &text, int ms = TestClient::WaitMs) {
        return QTest::qWaitFor([&] { return !log().filter(text).isEmpty(); }, ms);
    }

private:
    QTemporaryDir m_clusterDir{QDir::tempPath() + QStringLiteral("/vantrel-pg-XXXXXX")};
    QString m_url;
    bool m_running = false;
};

} // namespace

// With the database gone, a line for a colleague who is away cannot be kept:
// its sender gets no copy back, so nothing it was told is stored is lost.
// What needs no store, a line between two who are online, goes on.
TEST_F(LostStoreTest, ALineThatCannotBeStoredIsNeverAcknowledgedAndOnlineTalkGoesOn) {
    auto sender = logOn("u01");
    auto colleague = logOn("u03");
    stopDatabase();

    sender->send(MakeFrame({"AMS", "u02", "kept?"}, TrailingTab::Yes));
    sender->send(MakeFrame({"MSG", "0", "u02", "away"}, TrailingTab::Yes));
    EXPECT_TRUE(logged(QStringLiteral("could not store an absence message")));
    ASSERT_TRUE(sender->sync());
    for (const Fields &f : sender->kept())
        EXPECT_NE(f.value(3), "away") << "no copy back for a line that is not stored";

    sender->send(MakeFrame({"MSG", "0", "u03", "still here"}, TrailingTab::Yes));
    EXPECT_TRUE(colleague->take("MSG", [](const Fields &f) { return f.value(3) == "still here"; }));
    EXPECT_TRUE(sender->take("MSG", [](const Fields &f) { return f.value(3) == "still here"; }));
    EXPECT_TRUE(sender->isConnected());
    EXPECT_TRUE(colleague->isConnected());
}

// The node notices the loss at its next look at the accounts, says so, and
// turns logons away (the client comes back by itself) while the users on stay
// on; once the database is back, it opens its connections again and serves
// logons and absence messages as before.
TEST_F(LostStoreTest, TheNodeTurnsLogonsAwayWhileTheStoreIsLostAndResumesWhenItIsBack) {
    auto sender = logOn("u01");
    stopDatabase();
    ASSERT_TRUE(logged(QStringLiteral("lost the store at")));

    auto refused = newClient();
    EXPECT_NE(refused->logOn("u02", SamplePassword("u02")), 0);
    EXPECT_TRUE(refused->waitForDisconnect());
    EXPECT_TRUE(sender->isConnected()) << "its account is not taken for deleted";
    ASSERT_TRUE(sender->sync());

    startDatabaseAgain();
    // Attempts 1, 2 and 4 s after the loss: the database is back by the third.
    ASSERT_TRUE(logged(QStringLiteral("is back; accepting logons again"), 15000));
    sender->send(MakeFrame({"MSG", "0", "u02", "kept"}, TrailingTab::Yes));
    EXPECT_TRUE(sender->take("MSG", [](const Fields &f) { return f.value(3) == "kept"; }))
        << "the writer opened its connection again and stored the line";
    auto recipient = logOn("u02");
    EXPECT_TRUE(recipient->take("AMS", [](const Fields &f) { return f.contains("kept"); }));
    EXPECT_TRUE(sender->isConnected());
    if (HasFailure())
        std::printf("%s\n", qPrintable(log().join(QLatin1Char('\n'))));
}
