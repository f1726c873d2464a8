// What the store costs a server, on each engine: lines to offline colleagues
// (each one's copy back waits for its commit) and logons that collect a
// hundred waiting messages. Prints the figures; nothing here is timed against
// a limit.
#include "OnBothStores.h"

#include "server/peer/WireClient.h"
#include "wire/FrameText.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Senders = 20;
constexpr int Recipients = 20;
constexpr int MessagesPerSender = 100; // 2,000 in all, 100 for each recipient
constexpr int InFlight = 4;

QByteArray Id(int i)
{
    return "c" + QByteArray::number(i);
}

struct Sender {
    WireClient client;
    int sent = 0;
    bool listed = false;
    QHash<QByteArray, qint64> sentAt;
};

// Qt drops socket options set before the socket exists: without this the
// client's small frames wait for the server's delayed ACK (40 ms).
void NoDelayOnceConnected(WireClient &client)
{
    QObject::connect(&client.socket(), &QTcpSocket::connected, &client.socket(),
                     [&client] { client.socket().setSocketOption(QAbstractSocket::LowDelayOption, 1); });
}

// Runs the event loop until `done` holds, checked whenever a frame arrives
// (`arrived`): QTest::qWaitFor sleeps 10 ms between its checks, which would
// be the measure of every figure here.
class Waiter {
public:
    bool until(std::function<bool()> done, int ms)
    {
        m_done = std::move(done);
        if (!m_done()) {
            QTimer::singleShot(ms, &m_loop, &QEventLoop::quit);
            m_loop.exec();
        }
        const bool ok = m_done();
        m_done = {};
        return ok;
    }
    void arrived()
    {
        if (m_done && m_done())
            m_loop.quit();
    }

private:
    QEventLoop m_loop;
    std::function<bool()> m_done;
};

double Ms(qint64 ns)
{
    return static_cast<double>(ns) / 1e6;
}

// min, median and 99th percentile, in ms.
QString Spread(std::vector<qint64> ns)
{
    if (ns.empty())
        return QStringLiteral("none");
    std::sort(ns.begin(), ns.end());
    return QStringLiteral("min %1 ms, median %2 ms, p99 %3 ms")
        .arg(Ms(ns.front()), 0, 'f', 2)
        .arg(Ms(ns[ns.size() / 2]), 0, 'f', 2)
        .arg(Ms(ns[std::min(ns.size() - 1, ns.size() * 99 / 100)]), 0, 'f', 2);
}

class StoreSpeedTest : public OnBothStores {
protected:
    QByteArray accounts() override { return CompanyAccounts(Senders + Recipients, 5); }
    ServerOptions options() override
    {
        ServerOptions options = OnBothStores::options();
        options.log = [](const QString &) {};
        return options;
    }
};

TEST_P(StoreSpeedTest, StoredLinesAndLogonsThatCollectThem)
{
    QElapsedTimer clock;
    clock.start();
    Waiter waiter;
    std::vector<std::unique_ptr<Sender>> senders;
    std::vector<qint64> latencies;
    int listed = 0;
    int copies = 0;
    auto sendNext = [&](Sender &sender, int self) {
        const int recipient = Senders + 1 + (self + sender.sent) % Recipients;
        const QByteArray text = "m" + QByteArray::number(self) + "-" + QByteArray::number(sender.sent++);
        sender.sentAt.insert(text, clock.nsecsElapsed());
        sender.client.send(MakeFrame({"MSG", "0", Id(recipient), text}, TrailingTab::Yes));
    };
    for (int i = 1; i <= Senders; ++i) {
        senders.push_back(std::make_unique<Sender>());
        Sender &sender = *senders.back();
        sender.client.setCredentials(Id(i), 0, "pw");
        NoDelayOnceConnected(sender.client);
        QObject::connect(&sender.client, &WireClient::frameReceived, [&, i](const QByteArrayList &fields) {
            Sender &self = *senders[static_cast<size_t>(i - 1)];
            if (fields.value(0) == "LSETE") {
                ++listed;
            } else if (fields.value(0) == "MSG" && fields.value(2) == Id(i)) {
                latencies.push_back(clock.nsecsElapsed() - self.sentAt.take(fields.value(3)));
                ++copies;
                if (self.sent < MessagesPerSender)
                    sendNext(self, i);
            }
            waiter.arrived();
        });
        sender.client.connectToServer(QStringLiteral("127.0.0.1"), server().port());
    }
    ASSERT_TRUE(waiter.until([&] { return listed == Senders; }, 30000));
    const qint64 start = clock.nsecsElapsed();
    for (int i = 1; i <= Senders; ++i)
        for (int k = 0; k < InFlight; ++k)
            sendNext(*senders[static_cast<size_t>(i - 1)], i);
    ASSERT_TRUE(waiter.until([&] { return copies == Senders * MessagesPerSender; }, 120000)) << copies;
    const double seconds = static_cast<double>(clock.nsecsElapsed() - start) / 1e9;

    // Each recipient logs on to collect its messages (timed to the last
    // one); then each sender logs on a second time, with none waiting (timed
    // to its own UADD, which the messages would follow).
    std::vector<qint64> logons[2];
    for (int pass = 0; pass < 2; ++pass) {
        for (int r = pass == 0 ? Senders + 1 : 1; r <= (pass == 0 ? Senders + Recipients : Senders); ++r) {
            WireClient recipient;
            recipient.setCredentials(Id(r), 0, "pw");
            NoDelayOnceConnected(recipient);
            int absences = 0;
            bool listed = false;
            QObject::connect(&recipient, &WireClient::frameReceived, [&](const QByteArrayList &fields) {
                absences += fields.value(0) == "AMS" ? 1 : 0;
                listed = listed || (fields.value(0) == "UADD" && fields.value(2) == Id(r));
                waiter.arrived();
            });
            const qint64 began = clock.nsecsElapsed();
            recipient.connectToServer(QStringLiteral("127.0.0.1"), server().port());
            const int expected = pass == 0 ? MessagesPerSender * Senders / Recipients : 0;
            ASSERT_TRUE(waiter.until([&] { return listed && absences == expected; }, 30000)) << absences;
            logons[pass].push_back(clock.nsecsElapsed() - began);
            recipient.disconnectFromServer();
            ASSERT_TRUE(QTest::qWaitFor([&] { return recipient.socket().state() == QAbstractSocket::UnconnectedState; }));
        }
    }

    std::printf("[ %s ] %d lines stored for offline colleagues: %.0f per second; copy back %s\n"
                "[ %s ] logon collecting %d waiting messages: %s\n"
                "[ %s ] logon with none waiting: %s\n",
                ::testing::PrintToString(GetParam()).c_str(), copies, copies / seconds,
                qPrintable(Spread(latencies)), ::testing::PrintToString(GetParam()).c_str(),
                MessagesPerSender * Senders / Recipients, qPrintable(Spread(logons[0])),
                ::testing::PrintToString(GetParam()).c_str(), qPrintable(Spread(logons[1])));
}

} // namespace

VANTREL_ON_BOTH_STORES(StoreSpeedTest);
