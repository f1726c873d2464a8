// The session over TLS against a scripted server that speaks it: the same
// bytes as over plain TCP once decrypted, certificates that must be refused
// (one box, no frame, retried like a refused connection), and a TLS client
// meeting a plain server.
#include "ClientFixture.h"
#include "TestCertificates.h"
#include "TestPeer.h"
#include "main/Session.h"
#include "main/Tmfrm.h"
#include "main/members/MemberItem.h"
#include "messaging/TfrmMsg.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QByteArray LogonRequest = "000\tu01\t0\tpw\t1\t0\t1\t";

class Tls : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(certificates.ok()) << "the openssl tool could not make certificates"; }

    // The client, logging on by itself, pointed at the peer with these
    // [SYSTEM] lines besides HOST and PORT.
    std::unique_ptr<Tmfrm> startClient(ClientFixture &fixture, const TestPeer &peer, const QByteArray &host,
                                       const QByteArray &system)
    {
        fixture.writeUserIni("[SYSTEM]\r\nHOST=" + host + "\r\nPORT=" + QByteArray::number(peer.port()) + "\r\n" +
                             system + "[USER]\r\nID=u01\r\nCORP=0\r\nPWD=pw\r\nPWDMEMORY=1\r\n");
        return std::make_unique<Tmfrm>();
    }
    QByteArray trustedCa() const { return "TLS=1\r\nCAFILE=" + certificates.trustedCaFile().toLocal8Bit() + "\r\n"; }

    // Logs on, takes a list and a message from u02 and answers it; returns
    // every byte the server received.
    QByteArray converse(TestPeer &peer, const QByteArray &host, const QByteArray &system)
    {
        ClientFixture fixture;
        const std::unique_ptr<Tmfrm> mfrm = startClient(fixture, peer, host, system);
        EXPECT_TRUE(TestPeer::waitFor([&] { return peer.frames().contains(LogonRequest); }));
        for (const QByteArray frame : {"001\t0", "002\tSato", "LSETS", "LSETD\tU\t0\tu02\t\tSuzuki\tSuzuki\t\t",
                                       "LSETE", "UADD\t7\tu02\t3\t", "MSG\tu02\tu02\thello\t10:00\t"})
            peer.send(frame);
        TfrmMsg *window = nullptr;
        EXPECT_TRUE(TestPeer::waitFor([&] {
            const QList<MemberItem *> nodes = mfrm->FindMember("u02");
            return nodes.size() == 1 && (window = qobject_cast<TfrmMsg *>(nodes[0]->node.Window.data()));
        }));
        if (!window)
            return {};
        window->msginp->setPlainText(QStringLiteral("hi"));
        QTest::keyClick(window->msginp, Qt::Key_Return);
        EXPECT_TRUE(TestPeer::waitFor([&] { return peer.frames().contains("MSG\t7\tu02\thi\t"); }));
        EXPECT_EQ(SessionState, ssOnline);
        EXPECT_TRUE(fixture.messages.isEmpty()) << fixture.messages.join(' ').toStdString();
        return peer.bytes();
    }

    TestCertificates certificates;
};

TEST_F(Tls, LogonAndAMessageCarryTheSameBytesAsOverPlainTcp)
{
    TestPeer plain;
    const QByteArray plainBytes = converse(plain, "127.0.0.1", "");
    TestPeer secure(certificates.server("DNS:localhost,IP:127.0.0.1"));
    const QByteArray secureBytes = converse(secure, "127.0.0.1", trustedCa());
    EXPECT_TRUE(plainBytes.startsWith(LogonRequest + "\r\n"));
    EXPECT_EQ(secureBytes, plainBytes);

    TestPeer byName(certificates.server("DNS:localhost"));
    EXPECT_EQ(converse(byName, "localhost", trustedCa()), plainBytes) << "verified by host name";
}

// A certificate that fails is never used: nothing reaches the server, the
// user is told once with the library's reason, and the session goes on trying.
TEST_F(Tls, CertificatesThatFailAreRefusedWithOneBoxAndNoFrame)
{
    const struct {
        const char *name;
        QString serverNames;
        bool signedByTrustedCa;
        QString reason; // a part of the TLS library's reason
    } cases[] = {
        {"wrong host name", "DNS:elsewhere.example", true, "host name did not match"},
        {"untrusted authority", "DNS:localhost,IP:127.0.0.1", false, "issuer certificate"},
    };
    for (const auto &c : cases) {
        SessionState = ssIdle;
        TestPeer peer(certificates.server(c.serverNames, c.signedByTrustedCa));
        ClientFixture fixture;
        const std::unique_ptr<Tmfrm> mfrm = startClient(fixture, peer, "127.0.0.1", trustedCa());
        ASSERT_TRUE(TestPeer::waitFor([&] { return fixture.messages.size() == 1; })) << c.name;
        EXPECT_TRUE(fixture.messages[0].startsWith(QStringLiteral("ＩＭサーバの証明書を確認できないため、接続しませんでした。\r")))
            << c.name;
        EXPECT_TRUE(fixture.messages[0].contains(c.reason, Qt::CaseInsensitive))
            << c.name << ": " << fixture.messages[0].toStdString();
        const int attempts = peer.attemptCount();
        EXPECT_TRUE(TestPeer::waitFor([&] { return peer.attemptCount() >= attempts + 3; })) << c.name << ": retried";
        EXPECT_GE(mfrm->TlsRetry.pause(), std::chrono::milliseconds(400)) << c.name << ": retried ever more slowly";
        EXPECT_EQ(fixture.messages.size(), 1) << c.name << ": no box per attempt";
        EXPECT_EQ(peer.connectionCount(), 0) << c.name;
        EXPECT_TRUE(peer.bytes().isEmpty()) << c.name;
        EXPECT_EQ(mfrm->StatusPanel1->text(), QStringLiteral("サーバと接続できませんでした")) << c.name;
        EXPECT_EQ(mfrm->StatusPanel0->text(), QStringLiteral("NON-ACTIVE")) << c.name;
    }
}

TEST_F(Tls, AClientAgainstAPlainServerFailsQuicklyAndSendsNothing)
{
    TestPeer peer; // greets in clear at once, as the real server does
    ClientFixture fixture;
    QElapsedTimer clock;
    clock.start();
    const std::unique_ptr<Tmfrm> mfrm = startClient(fixture, peer, "127.0.0.1", trustedCa());
    ASSERT_TRUE(TestPeer::waitFor([&] { return fixture.messages.size() == 1 && peer.attemptCount() >= 3; }));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(fixture.messages[0].startsWith(QStringLiteral("ＩＭサーバと暗号化した接続を確立できませんでした。\r")))
        << fixture.messages[0].toStdString();
    EXPECT_FALSE(peer.frames().contains(LogonRequest));
    EXPECT_EQ(fixture.messages.size(), 1);
}

TEST_F(Tls, ACaFileWithoutCertificatesTrustsNothing)
{
    TestPeer peer(certificates.server("DNS:localhost,IP:127.0.0.1"));
    ClientFixture fixture;
    const std::unique_ptr<Tmfrm> mfrm = startClient(fixture, peer, "127.0.0.1", "TLS=1\r\nCAFILE=missing.pem\r\n");
    ASSERT_TRUE(TestPeer::waitFor([&] { return fixture.messages.size() == 1; }));
    EXPECT_TRUE(fixture.messages[0].contains("missing.pem"));
    const int attempts = peer.attemptCount();
    EXPECT_TRUE(TestPeer::waitFor([&] { return peer.attemptCount() >= attempts + 3; }));
    EXPECT_EQ(peer.connectionCount(), 0);
    EXPECT_EQ(fixture.messages.size(), 1);
}

} // namespace
