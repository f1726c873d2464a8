// 500 users log on and send 20,000 messages; prints messages per second and
// the latency of the copy back. The server runs on a thread of its own so the
// numbers are the server's, not the clients' event loop waiting on it.

#include "server/AccountImport.h"
#include "server/AccountStore.h"
#include "ServerThread.h"
#include "server/peer/WireClient.h"
#include "wire/FrameText.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

constexpr int Users = 500;
constexpr int MessagesPerUser = 40; // 20,000 in all
constexpr int InFlightPerUser = 4;
constexpr int TimeLimitMs = 50000;

QByteArray UserId(int i)
{
    return "L" + QByteArray::number(i);
}

// One user: keeps a few messages in flight and notes when each copy returns.
struct LoadUser {
    WireClient client;
    int sent = 0;
    int copies = 0;
    int delivered = 0;
    bool listed = false;
    QHash<QByteArray, qint64> sentAt; // text to send time, in ns
};

} // namespace

TEST(ServerLoadTest, FiveHundredUsersTwentyThousandMessages)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QByteArray tsv;
        for (int i = 0; i < Users; ++i)
            tsv += UserId(i) + "\t0\tpw" + QByteArray::number(i) + "\tUser " + QByteArray::number(i) +
                   "\t\tDept " + QByteArray::number(i % 10) + "\n";
        QString error;
        auto store = AccountStore::Open(dir.path(), &error);
        ASSERT_TRUE(store) << error.toStdString();
        // The cheapest hash: 500 Interactive checks would measure the hash, not the server.
        ASSERT_EQ(ImportAccounts(*store, tsv, HashCost::TestOnly).written, Users);
    }

    // The server on its own thread, stopped however the test ends.
    ServerThread serverThread;
    ServerOptions options;
    options.dataDir = dir.path();
    options.log = [](const QString &) {};
    QString error;
    ASSERT_TRUE(serverThread.start(options, &error)) << error.toStdString();
    const quint16 port = serverThread.port();
    ASSERT_NE(port, 0);

    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<LoadUser>> users;
    std::vector<qint64> latencies;
    latencies.reserve(Users * MessagesPerUser);
    std::mt19937 random(42);
    int listed = 0;
    int copies = 0;

    auto sendNext = [&](LoadUser &user, int self) {
        int peer = std::uniform_int_distribution<int>(0, Users - 2)(random);
        peer += peer >= self ? 1 : 0;
        const QByteArray text = "m" + QByteArray::number(self) + "-" + QByteArray::number(user.sent++);
        user.sentAt.insert(text, clock.nsecsElapsed());
        user.client.send(MakeFrame({"MSG", "0", UserId(peer), text}, TrailingTab::Yes));
    };

    for (int i = 0; i < Users; ++i) {
        users.push_back(std::make_unique<LoadUser>());
        LoadUser &user = *users.back();
        user.client.setCredentials(UserId(i), 0, "pw" + QByteArray::number(i));
        QObject::connect(&user.client, &WireClient::frameReceived, [&, i](const QByteArrayList &fields) {
            LoadUser &self = *users[static_cast<size_t>(i)];
            if (fields.value(0) == "LSETE") {
                self.listed = true;
                ++listed;
            } else if (fields.value(0) == "MSG" && fields.value(2) == UserId(i)) {
                latencies.push_back(clock.nsecsElapsed() - self.sentAt.take(fields.value(3)));
                ++self.copies;
                ++copies;
                if (self.sent < MessagesPerUser)
                    sendNext(self, i);
            } else if (fields.value(0) == "MSG") {
                ++self.delivered;
            }
        });
        user.client.connectToServer(QStringLiteral("127.0.0.1"), port);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed == Users; }, TimeLimitMs)) << listed << " users logged on";
    const double logonSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;

    const qint64 start = clock.nsecsElapsed();
    for (int i = 0; i < Users; ++i)
        for (int k = 0; k < InFlightPerUser; ++k)
            sendNext(*users[static_cast<size_t>(i)], i);
    const int total = Users * MessagesPerUser;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            int delivered = 0;
            for (const auto &user : users)
                delivered += user->delivered;
            return copies == total && delivered == total;
        },
        TimeLimitMs))
        << copies << " copies back of " << total;
    const double seconds = static_cast<double>(clock.nsecsElapsed() - start) / 1e9;

    std::sort(latencies.begin(), latencies.end());
    const double medianMs = static_cast<double>(latencies[latencies.size() / 2]) / 1e6;
    const double p99Ms = static_cast<double>(latencies[latencies.size() * 99 / 100]) / 1e6;
    std::printf("load: %d users logged on in %.2f s; %d messages in %.2f s = %.0f messages/s; "
                "copy back latency median %.2f ms, p99 %.2f ms\n",
                Users, logonSeconds, total, seconds, total / seconds, medianMs, p99Ms);
    ::testing::Test::RecordProperty("messages_per_second", static_cast<int>(total / seconds));
    ::testing::Test::RecordProperty("latency_median_us", static_cast<int>(medianMs * 1000));
    ::testing::Test::RecordProperty("latency_p99_us", static_cast<int>(p99Ms * 1000));

    users.clear();
}
