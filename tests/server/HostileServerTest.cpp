#include "ServerFixture.h"

#include "wire/FrameText.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Fields = QByteArrayList;

namespace {

// Peers that mean harm, with the bounds the server keeps against them: the
// others are served within a latency, its memory stays bounded, and nothing
// it acknowledged is lost.
class HostileServerTest : public ServerFixture {
protected:
    ServerOptions options() override {
        ServerOptions options = ServerFixture::options();
        options.maxUnsentBytes = 256 * 1024;
        options.maxWaiting = m_maxWaitingPerAddress * 2;
        options.maxWaitingPerAddress = m_maxWaitingPerAddress;
        options.checkPassword = [this](const QByteArray &, const QByteArray &) {
            ++m_passwordChecks;
            return true;
        };
        return options;
    }

    qsizetype m_maxWaitingPerAddress = 50;
    std::atomic<int> m_passwordChecks = 0;
};

// Room for many waiting connections from one address, as by default.
class UnauthenticatedMemoryTest : public HostileServerTest {
protected:
    void SetUp() override {
        m_maxWaitingPerAddress = 1024;
        HostileServerTest::SetUp();
    }
};

// How many frames of each code a client received; forgets them, so that a
// flood does not make every later take() slower.
void Count(TestClient &client, QMap<QByteArray, qint64> &counts) {
    for (const Fields &f : client.kept())
        ++counts[f.value(0) == "MSG" ? f.value(0) + f.value(3) : f.value(0)];
    client.forget();
}

qint64 Median(std::vector<qint64> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The resident memory of this process, which runs the server on a thread.
qint64 ResidentKib(const char *field = "VmRSS:") {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// A socket of the kernel's own, without Qt's buffers: what it sends is not
// held in this process, so the resident memory is the server's.
class RawSocket {
public:
    explicit RawSocket(quint16 port) : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    }
    ~RawSocket() { ::close(m_fd); }
    RawSocket(const RawSocket &) = delete;
    RawSocket &operator=(const RawSocket &) = delete;

    // Sends what the kernel takes of `bytes` from `sent` on.
    void push(const QByteArray &bytes) {
        while (!m_closed && m_sent < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.constData() + m_sent, bytes.size() - m_sent, MSG_NOSIGNAL);
            if (n > 0)
                m_sent += n;
            else {
                m_closed = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINPROGRESS;
                return;
            }
        }
    }
    // Whether the server closed the connection (reads past what it sent).
    bool closedByServer() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n > 0)
                m_received.append(buffer, n);
            else
                return m_closed = m_closed || n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        }
    }
    const QByteArray &received() const { return m_received; }

private:
    int m_fd;
    qsizetype m_sent = 0;
    bool m_closed = false;
    QByteArray m_received;
};

struct Flood {
    const char *name;
    QByteArray frames;   // what the flooder u01 sends, at once
    QByteArray echoCode; // what it receives for each frame it sent, when anything
    qint64 echoes;
};

void PrintTo(const Flood &flood, std::ostream *out) {
    *out << flood.name;
}

QByteArray Repeated(const QByteArray &frame, int times) {
    QByteArray all;
    all.reserve(frame.size() * times);
    for (int i = 0; i < times; ++i)
        all += frame;
    return all;
}

class FloodCase : public HostileServerTest, public ::testing::WithParamInterface<Flood> {};

// The sanitizers slow the server and this test's own reading of the flood
// about tenfold, and keep freed memory resident in their quarantine: the
// bounds are wider there, still far from what the faults would cost.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif

// Each flood is about 4 MB: sixteen times the bound on what may wait for a
// reader, so that a server which reads a flood faster than it hands it on
// would cut its readers off.
const QByteArray LongText(100, 'f');

} // namespace

// A message between two others crosses the server within 250 ms at the
// median and 3 s at worst while the flood is handled. The median is the
// server's fairness: it keeps serving others between the flooder's frames
// (a few ms on an idle machine, under 100 ms on a loaded 2-core machine under
// the sanitizers). The worst is what a watcher of the flooder must read
// first: presence changes already in the sockets' kernel buffers, several MB
// on loopback, which the server does not control (measured up to 2 s with
// compilers on both cores); a reader cut off fails at once. Under the
// sanitizers, 1.5 s and 12 s. The worst there is this test's own reading of
// the backlog at a tenth of the speed, so it swings with the machine:
// measured 3.9 s alone on a 2-core EPYC host, 6.8 to 7.4 s beside the rest of
// the suite.
TEST_P(FloodCase, OthersKeepBeingServedPromptlyAndNobodyIsCutOff) {
    constexpr qint64 MedianBoundMs = Sanitized ? 1500 : 250;
    constexpr qint64 WorstBoundMs = Sanitized ? 12000 : 3000;
    constexpr int TakeTimeoutMs = Sanitized ? 20000 : 10000;
    const Flood &flood = GetParam();
    auto flooder = logOn("u01");
    std::vector<std::unique_ptr<TestClient>> others;
    for (const char *id : {"u02", "u03", "u04", "u05"})
        others.push_back(logOn(id));

    QMap<QByteArray, qint64> flooderGot;
    QMap<QByteArray, qint64> othersGot;
    std::vector<qint64> roundTrips;
    QElapsedTimer flooding;
    flooding.start();
    // The flood ends with a message to itself, whose copies come back once
    // the server has handled the whole flood.
    flooder->sendRaw(flood.frames + MakeFrame({"MSG", "0", "u01", "end"}, TrailingTab::Yes) + "\r\n");
    // Pairs talk while the flood goes on: u02 to u03, u04 to u05, in turn.
    for (int round = 0; flooderGot.value("MSGend") < 2 || round < 20; ++round) {
        TestClient &from = *others[(round % 2) * 2];
        TestClient &to = *others[(round % 2) * 2 + 1];
        const QByteArray token = "round " + QByteArray::number(round);
        QElapsedTimer trip;
        trip.start();
        from.send(MakeFrame({"MSG", "0", to.userId(), token}, TrailingTab::Yes));
        ASSERT_TRUE(to.take(
            "MSG", [&](const Fields &f) { return f.value(3) == token; }, TakeTimeoutMs))
            << "round " << round << " after " << flooding.elapsed() << " ms of flood";
        roundTrips.push_back(trip.elapsed());
        for (auto &other : others)
            Count(*other, othersGot);
        Count(*flooder, flooderGot);
        ASSERT_TRUE(flooder->isConnected()) << "the flooder is slowed down, not cut off";
        ASSERT_LT(flooding.elapsed(), 120000) << "the flood is still being handled";
    }
    const qint64 worst = *std::max_element(roundTrips.begin(), roundTrips.end());
    std::printf("%s: %zu round trips during %lld ms of flood, median %lld ms, worst %lld ms\n", flood.name,
                roundTrips.size(), static_cast<long long>(flooding.elapsed()),
                static_cast<long long>(Median(roundTrips)), static_cast<long long>(worst));
    EXPECT_LE(Median(roundTrips), MedianBoundMs);
    EXPECT_LE(worst, WorstBoundMs);
    for (auto &other : others)
        EXPECT_TRUE(other->isConnected()) << other->userId().constData() << " was cut off though it read";
    EXPECT_TRUE(log().filter(QStringLiteral("not reading")).isEmpty())
        << log().join(QLatin1Char('\n')).toStdString();
    if (!flood.echoCode.isEmpty()) {
        EXPECT_EQ(flooderGot.value(flood.echoCode), flood.echoes) << "every one of its frames was answered";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Floods, FloodCase,
    ::testing::Values(Flood{"presence", Repeated("STC\t2\t\r\nSTC\t3\t\r\n", 250000), {}, 0},
                      Flood{"typing to one colleague", Repeated("MSI\t0\tu03\tN\t\r\n", 270000), {}, 0},
                      Flood{"messages to itself",
                            Repeated(MakeFrame({"MSG", "0", "u01", LongText}, TrailingTab::Yes) + "\r\n",
                                     35000),
                            "MSG" + LongText, 2 * 35000}),
    [](const ::testing::TestParamInfo<Flood> &info) {
        std::string name;
        for (const char *c = info.param.name; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

// 120 connections from this address that never ask to log on, more than
// twice the 50 the address may keep waiting: the ones past the bound are
// refused, and once the others have waited a second, a user with a password
// gets in promptly, the oldest idle one making room.
TEST_F(HostileServerTest, IdleConnectionsCannotLockAUserOut) {
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 120; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QStringLiteral("127.0.0.1"), server().port());
    }
    auto stillOpen = [&](qsizetype from, qsizetype to) {
        return std::count_if(idle.begin() + from, idle.begin() + to,
                             [](const auto &s) { return s->state() != QAbstractSocket::UnconnectedState; });
    };
    auto greeted = [&] {
        return std::count_if(idle.begin(), idle.end(),
                             [](const auto &s) { return s->bytesAvailable() >= 5; });
    };
    // Every connection was accepted, and every refused one is closed.
    ASSERT_TRUE(QTest::qWaitFor([&] { return stillOpen(0, 120) == 50 && greeted() >= 50; }, 10000))
        << stillOpen(0, 120) << " open, " << greeted() << " greeted";
    EXPECT_EQ(stillOpen(0, 50), 50) << "the first 50 stay, those past the bound are refused";

    QElapsedTimer idleFor;
    idleFor.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return idleFor.hasExpired(1100); }));
    QElapsedTimer logon;
    logon.start();
    auto user = logOn("u02");
    const qint64 logonMs = logon.elapsed();
    std::printf("logon beside 50 idle connections: %lld ms\n", static_cast<long long>(logonMs));
    EXPECT_LT(logonMs, 1000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return idle[0]->state() == QAbstractSocket::UnconnectedState; }))
        << "the oldest idle connection made room";
    EXPECT_EQ(stillOpen(1, 50), 49);
    EXPECT_LE(server().connectionCount(), 51);
    EXPECT_TRUE(user->sync());
}

// Before the logon a connection may hold no more than a logon request: 1,000
// of them each sending 1 MiB without a frame end would hold 1 GB if buffered.
// The bound, 96 MiB of growth for the whole process (384 MiB under the
// sanitizers, measured at 118 MiB there and 5 MiB without), is still well
// under that. Over-long passwords in small
// frames are refused without being checked.
TEST_F(UnauthenticatedMemoryTest, ConnectionsWithoutLogonHoldLittleMemory) {
    constexpr int Connections = 1000;
    constexpr qint64 BoundKib = (Sanitized ? 384 : 96) * 1024;
    const QByteArray big((1 << 20), 'x');
    const QByteArray longPassword =
        MakeFrame({"000", "u03", "0", QByteArray(900, 'p'), "1", "0", "1"}, TrailingTab::Yes) + "\r\n";
    ASSERT_LT(longPassword.size(), 1024) << "a frame the server reads whole before the logon";

    QFile clearPeak(QStringLiteral("/proc/self/clear_refs"));
    ASSERT_TRUE(clearPeak.open(QIODevice::WriteOnly));
    clearPeak.write("5"); // the peak from now on
    clearPeak.close();
    const qint64 before = ResidentKib();

    for (const auto &[bytes, name] : {std::pair{&big, "1 MiB without a frame end"},
                                      std::pair{&longPassword, "a password of 900 bytes"}}) {
        // Half at a time: the server keeps at most 1,024 waiting per address.
        for (int half = 0; half < 2; ++half) {
            std::vector<std::unique_ptr<RawSocket>> sockets;
            for (int i = 0; i < Connections / 2; ++i)
                sockets.push_back(std::make_unique<RawSocket>(server().port()));
            // A frame too big is refused by closing; a logon request, by
            // its answer.
            const auto refused = [&](RawSocket &socket) {
                return bytes == &big ? socket.closedByServer()
                                     : !socket.closedByServer() && socket.received().contains("001\t");
            };
            const bool allRefused = QTest::qWaitFor(
                [&] {
                    bool all = true;
                    for (auto &socket : sockets) {
                        socket->push(*bytes);
                        all = refused(*socket) && all;
                    }
                    return all;
                },
                60000);
            EXPECT_TRUE(allRefused) << name;
        }
    }
    const qint64 peak = ResidentKib("VmHWM:");
    std::printf("resident: %lld KiB before, peak %lld KiB during %d connections of each kind\n",
                static_cast<long long>(before), static_cast<long long>(peak), Connections);
    EXPECT_LT(peak - before, BoundKib);
    EXPECT_EQ(m_passwordChecks, 0) << "over-long passwords are never hashed";
    auto user = logOn("u02");
    EXPECT_TRUE(user->sync());
}
