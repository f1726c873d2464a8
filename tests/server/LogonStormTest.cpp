// Many clients logging on at once, as after a restart or a network outage:
// every one gets in, however long the server's own queue of password checks.
#include "ServerFixture.h"

#include "server/AccountAdmin.h"
#include "server/PasswordHash.h"
#include "server/peer/WireClient.h"

#include <QTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

class LogonStormTest : public ServerFixture {
protected:
    static constexpr int People = 100;

    QByteArray accounts() override { return CompanyAccounts(People, 5); }
    ServerOptions options() override
    {
        ServerOptions options = ServerFixture::options();
        // Far less than the checks of a whole storm take.
        options.logonTimeout = 300ms;
        options.checkPassword = [this](const QByteArray &hash, const QByteArray &password) {
            ++m_checks;
            std::unique_lock lock(m_mutex);
            m_opened.wait(lock, [this] { return m_open; });
            lock.unlock();
            std::this_thread::sleep_for(m_checkCost); // the cost of a real hash
            return VerifyPassword(hash, password);
        };
        return options;
    }
    void TearDown() override
    {
        openChecks(true);
        ServerFixture::TearDown();
    }

    void openChecks(bool open)
    {
        std::lock_guard lock(m_mutex);
        m_open = open;
        m_opened.notify_all();
    }

    // Clients c1 to cN, each logging on as soon as the server greets it.
    std::vector<std::unique_ptr<WireClient>> connectAll(int count)
    {
        std::vector<std::unique_ptr<WireClient>> clients;
        for (int i = 1; i <= count; ++i) {
            clients.push_back(std::make_unique<WireClient>());
            WireClient &client = *clients.back();
            client.setCredentials("c" + QByteArray::number(i), 0, "pw");
            QObject::connect(&client, &WireClient::frameReceived, [this](const QByteArrayList &fields) {
                m_listed += fields.value(0) == "LSETE" ? 1 : 0;
            });
            QObject::connect(&client, &WireClient::disconnected, [this] { ++m_cutOff; });
            client.connectToServer(QStringLiteral("127.0.0.1"), server().port());
        }
        return clients;
    }

    qsizetype logged(const QString &text) const
    {
        const QStringList lines = log();
        return std::count_if(lines.begin(), lines.end(), [&](const QString &line) { return line.contains(text); });
    }

    std::atomic<int> m_checks = 0;
    std::chrono::milliseconds m_checkCost{10};
    int m_listed = 0;
    int m_cutOff = 0;

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = true;
};

TEST_F(LogonStormTest, EveryoneGetsInAndComesBackWithoutAnotherHash)
{
    // 100 checks of 10 ms on the workers: the last waits several logon timeouts.
    auto clients = connectAll(People);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_listed == People || m_cutOff > 0; }, 30000))
        << m_listed << " logged on";
    EXPECT_EQ(m_listed, People);
    EXPECT_EQ(m_cutOff, 0);
    EXPECT_EQ(logged(QStringLiteral("cut off")), 0);
    EXPECT_EQ(m_checks, People);

    // A network blip: everyone reconnects, and each logon is remembered.
    clients.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server().connectionCount() == 0; }, 10000));
    m_listed = 0;
    clients = connectAll(People);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_listed == People || m_cutOff > 0; }, 30000))
        << m_listed << " logged on again";
    EXPECT_EQ(m_checks, People) << "no hash for a logon verified before";
}

TEST_F(LogonStormTest, ChecksOfClientsWhoLeftAreDropped)
{
    openChecks(false);
    auto clients = connectAll(60);
    // One check per worker is held by the closed gate, the rest wait.
    const int running = int(std::max(1u, std::thread::hardware_concurrency()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return logged(QStringLiteral("checking the password")) == 60 && m_checks == running; }, 10000));
    clients.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server().connectionCount() == 0; }, 10000));
    openChecks(true);

    // Checks run in order: once a later logon is answered, anything left of
    // the earlier ones would have run.
    auto late = newClient();
    EXPECT_EQ(late->logOn("c1", "pw"), 0);
    EXPECT_EQ(m_checks, running + 1);
}

TEST_F(LogonStormTest, ARememberedLogonNeverLetsInWhatTheAccountNoLongerAllows)
{
    auto admin = [&](const QStringList &args) {
        return RunAccountsCommand(dataDir(), args, {}, [](const QString &, QString *) {
            return std::optional<QString>(QStringLiteral("new"));
        });
    };
    ASSERT_EQ(newClient()->logOn("c1", "pw"), 0);
    struct Step {
        const char *what;
        QStringList command;
        QByteArray password;
        int result;
    };
    const Step steps[] = {
        {"remembered", {}, "pw", 0},
        {"disabled", {QStringLiteral("disable"), QStringLiteral("c1")}, "pw", 1},
        {"enabled again", {QStringLiteral("enable"), QStringLiteral("c1")}, "pw", 0},
        {"the password changed", {QStringLiteral("passwd"), QStringLiteral("c1")}, "pw", 1},
        {"the new password", {}, "new", 0},
        {"deleted", {QStringLiteral("delete"), QStringLiteral("c1")}, "new", 1},
    };
    for (const Step &step : steps) {
        if (!step.command.isEmpty()) {
            ASSERT_EQ(admin(step.command), 0) << step.what;
        }
        EXPECT_EQ(newClient()->logOn("c1", step.password), step.result) << step.what;
    }

    // Disabled while its check waits.
    ASSERT_EQ(newClient()->logOn("c2", "pw"), 0);
    openChecks(false);
    auto client = newClient();
    ASSERT_TRUE(client->connectOnly());
    client->send("000\tc3\t0\tpw\t1\t0\t1\t");
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged(QStringLiteral("checking the password of c3")) == 1; }));
    ASSERT_EQ(admin({QStringLiteral("disable"), QStringLiteral("c3")}), 0);
    openChecks(true);
    EXPECT_EQ(client->take("001").value_or(QByteArrayList{}).value(1), "1");
}

} // namespace
