#include "ServerFixture.h"

#include "wire/FrameText.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

using Fields = QByteArrayList;

namespace {

// Two colleagues who talk while someone else misbehaves.
class BadInputTest : public ServerFixture {
protected:
    ServerOptions options() override
    {
        ServerOptions options = ServerFixture::options();
        options.logonTimeout = std::chrono::milliseconds(500);
        options.maxUnsentBytes = 256 * 1024;
        return options;
    }

    void SetUp() override
    {
        ServerFixture::SetUp();
        m_sender = logOn("u09");
        m_receiver = logOn("u10");
    }

    // The colleagues still talk at once, and a new user still logs on.
    void ExpectOthersUnaffected()
    {
        const QByteArray token = "still here " + QByteArray::number(++m_checks);
        m_sender->send(MakeFrame({"MSG", "0", "u10", token}, TrailingTab::Yes));
        auto isToken = [&](const Fields &f) { return f.value(3) == token; };
        EXPECT_TRUE(m_receiver->take("MSG", isToken, 2000));
        EXPECT_TRUE(m_sender->take("MSG", isToken, 2000));
        EXPECT_TRUE(m_sender->isConnected());
        EXPECT_TRUE(m_receiver->isConnected());
        auto newcomer = logOn("u08");
        newcomer->disconnect();
    }

    std::unique_ptr<TestClient> m_sender;
    std::unique_ptr<TestClient> m_receiver;
    int m_checks = 0;
};

struct BadInput {
    const char *name;
    bool afterLogon;
    QByteArray bytes;
    bool cutOff; // else the frame is ignored and the client stays
};

// Test names and failures show the case by its name, not its bytes.
void PrintTo(const BadInput &input, std::ostream *out)
{
    *out << input.name;
}

class BadInputCase : public BadInputTest, public ::testing::WithParamInterface<BadInput> {};

const QByteArray Huge = QByteArray((1 << 20) + 16, 'x');

} // namespace

TEST_P(BadInputCase, OffenderIsAnsweredOrCutOffAndNoOneElseNotices)
{
    const BadInput &input = GetParam();
    std::unique_ptr<TestClient> offender;
    if (input.afterLogon) {
        offender = logOn("u01");
    } else {
        offender = newClient();
        ASSERT_TRUE(offender->connectOnly());
    }
    offender->sendRaw(input.bytes);
    if (input.cutOff) {
        EXPECT_TRUE(offender->waitForDisconnect());
    } else {
        if (!input.afterLogon) {
            offender->send(MakeFrame({"000", "u01", "0", SamplePassword("u01"), "1", "0", "1"}, TrailingTab::Yes));
            EXPECT_EQ(offender->take("001").value_or(Fields{}).value(1), "0") << "it may still log on";
        }
        offender->send("MSG\t0\tu01\tserved\t");
        auto served = [](const Fields &f) { return f.value(3) == "served"; };
        EXPECT_TRUE(offender->take("MSG", served) && offender->take("MSG", served)) << "the offender is still served";
        EXPECT_TRUE(offender->isConnected());
    }
    ExpectOthersUnaffected();
    ASSERT_TRUE(m_receiver->sync());
    for (const Fields &f : m_receiver->kept())
        EXPECT_NE(f.value(0), "STC") << "a rejected frame has no effect";
    EXPECT_FALSE(m_receiver->holds("MSG"));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BadInputCase,
    ::testing::Values(
        BadInput{"garbage before logon", false, "\x01\x02\xff garbage\r\n", false},
        BadInput{"a message before logon", false, "MSG\t0\tu10\thi\t\r\n", false},
        BadInput{"a frame over 1 MiB before logon", false, Huge, true},
        BadInput{"a frame of 2 KiB before logon", false, QByteArray(2048, 'x') + "\r\n", true},
        BadInput{"2 KiB without a frame end before logon", false, QByteArray(2048, 'x'), true},
        BadInput{"a frame of 100,000 fields", true, "MSG\t0\tu10\thi" + QByteArray(100000, '\t') + "\r\n", false},
        BadInput{"a frame of 100,000 lone CRs", true, "MSG\t0\tu10\thi" + QByteArray(100000, '\r') + "x\r\n", false},
        BadInput{"a frame over 1 MiB after logon", true, Huge, true},
        BadInput{"an unknown code", true, "HELLO\tworld\t\r\n", false},
        BadInput{"a lower-case code", true, "msg\t0\tu10\thi\t\r\n", false},
        BadInput{"an empty code", true, "\tSTC\t2\t\r\n", false},
        BadInput{"a second logon request", true, "000\tu10\t0\ttsuki10\t1\t0\t1\t\r\n", false},
        BadInput{"a state that is not a number", true, "STC\tabc\t\r\n", false},
        BadInput{"a state out of range", true, "STC\t99999999999\t\r\n", false},
        BadInput{"a connection number that is not a number", true, "MSG\tx\tu10\thi\t\r\n", false},
        BadInput{"a message without its text", true, "MSG\t0\tu10\r\n", false},
        BadInput{"a message to an unknown id", true, "MSG\t0\tnobody\thi\t\r\n", false},
        BadInput{"a lead byte without its trail", true, "MSG\t0\tu10\t\x81\t\r\n", false},
        BadInput{"a byte that is no cp932 character", true, "MSG\t0\tu10\ta\xff\t\r\n", false},
        BadInput{"a NUL byte", true, QByteArray("MSG\t0\tu10\ta\0b\t\r\n", 16), false},
        BadInput{"a room id that is not a number", true, "MRC\tseven\thi\t\r\n", false},
        BadInput{"a typing state that is not N or F", true, "MSI\t0\tu10\tX\t\r\n", false}),
    [](const ::testing::TestParamInfo<BadInput> &info) {
        std::string name;
        for (const char *c = info.param.name; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

TEST_F(BadInputTest, SilentClientIsCutOffAfterTheLogonTimeout)
{
    auto silent = newClient();
    ASSERT_TRUE(silent->connectOnly());
    EXPECT_TRUE(silent->waitForDisconnect(3000));
    ExpectOthersUnaffected();
}

TEST_F(BadInputTest, ClientThatKeepsSendingBadFramesIsCutOff)
{
    auto offender = logOn("u01");
    for (int i = 0; i < 10; ++i)
        offender->send("NOPE\t");
    EXPECT_TRUE(offender->waitForDisconnect());
    EXPECT_FALSE(server().isOnline("u01"));
    ExpectOthersUnaffected();
}

TEST_F(BadInputTest, ClientThatReadsNothingIsCutOffAndItsSenderGoesOn)
{
    QTcpSocket stalled;
    stalled.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    stalled.connectToHost(QStringLiteral("127.0.0.1"), server().port());
    ASSERT_TRUE(QTest::qWaitFor([&] { return stalled.bytesAvailable() >= 5; }, TestClient::WaitMs));
    stalled.readAll();
    stalled.setReadBufferSize(16); // from now on it takes almost nothing from the socket
    stalled.write(MakeFrame({"000", "u01", "0", SamplePassword("u01"), "1", "0", "1"}, TrailingTab::Yes) + "\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return server().isOnline("u01"); }, TestClient::WaitMs));

    const QByteArray text(1000, 'z');
    const QByteArray frame = MakeFrame({"MSG", "0", "u01", text}, TrailingTab::Yes);
    qint64 sent = 0;
    while (server().isOnline("u01") && sent < (64 << 20)) {
        for (int i = 0; i < 100; ++i)
            m_sender->send(frame);
        sent += 100 * frame.size();
        ASSERT_TRUE(m_sender->sync()) << "the sender is served while the other does not read";
        m_sender->forget();
    }
    EXPECT_FALSE(server().isOnline("u01")) << sent << " bytes sent";
    EXPECT_TRUE(log().filter(QStringLiteral("not reading")).size() == 1) << log().join(QLatin1Char('\n')).toStdString();
    ExpectOthersUnaffected();
}

namespace {

class ForgivingServerTest : public BadInputTest {
protected:
    ServerOptions options() override
    {
        ServerOptions options = BadInputTest::options();
        options.rejectionForgiven = std::chrono::milliseconds(20);
        return options;
    }
};

} // namespace

TEST_F(ForgivingServerTest, ClientWhoseBadFramesAreFewAndFarBetweenStays)
{
    auto offender = logOn("u01");
    for (int round = 0; round < 4; ++round) {
        QElapsedTimer since;
        since.start();
        for (int i = 0; i < 5; ++i)
            offender->send("NOPE\t");
        ASSERT_TRUE(offender->sync());
        // Long enough for the five to be forgiven.
        ASSERT_TRUE(QTest::qWaitFor([&] { return since.hasExpired(150); }));
    }
    EXPECT_TRUE(offender->isConnected()) << "20 rejections in all, never 10 at once";
    for (int i = 0; i < 10; ++i)
        offender->send("NOPE\t");
    EXPECT_TRUE(offender->waitForDisconnect()) << "10 at once still cut the client off";
}
