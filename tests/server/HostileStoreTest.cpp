#include "ServerFixture.h"
#include "TestPostgres.h"

#include "server/AccountImport.h"
#include "server/AccountStore.h"
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

    bool logged(const QString &text) {
        return QTest::qWaitFor([&] { return !log().filter(text).isEmpty(); }, TestClient::WaitMs);
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
