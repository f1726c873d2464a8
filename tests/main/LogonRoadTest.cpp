// The logon road end to end against a scripted server: connecting, the logon
// exchange, losing the connection, logging off and a server that refuses.
#include "MainWindowFixture.h"
#include "platform/SingleConnect.h"

#include "resources/Pictures.h"
#include "settings/Tlogonfrm.h"
#include "settings/UserSettings.h"

#include <QAction>
#include <QLineEdit>
#include <QPainter>
#include <QMenu>
#include <QTcpServer>

namespace {

using LogonRoad = MainWindowTest;

TEST_F(LogonRoad, RememberedPasswordLogsOnByItself)
{
    startClient();
    EXPECT_EQ(SessionState, ssConnectRequested);
    ASSERT_TRUE(loggedOn());
    EXPECT_EQ(peer.bytes(), logonRequest + "\r\n"); // nothing before or around the answer to the greeting
    EXPECT_EQ(SessionState, ssOnline);
    EXPECT_TRUE(TestPeer::waitFor([&] { return mfrm->StatusPanel0->text() == u"ACTIVE"; }));

    peer.send("002\t\x8E\x52\x93\x63");
    EXPECT_TRUE(TestPeer::waitFor([&] { return panel1() == QStringLiteral("山田でログインしています"); }));
    EXPECT_EQ(OwnDisplayName, "\x8E\x52\x93\x63");
}

TEST_F(LogonRoad, AcceptedLogonStoresTheUserSection)
{
    // Logged on as the dialog does it, into a file without a user section, so
    // the keys show in the order they are written.
    startClient("");
    UserSettings.UserId = "u01";
    UserSettings.Password = "pw";
    UserSettings.RememberPassword = true;
    SessionState = ssConnectRequested;
    ASSERT_TRUE(loggedOn());
    peer.send("001\t0");
    EXPECT_TRUE(TestPeer::waitFor([&] { return fixture.readUserIni().contains("PWD="); }));
    EXPECT_TRUE(fixture.readUserIni().endsWith("[USER]\r\nID=u01\r\nCORP=0\r\nPWDMEMORY=1\r\nPWD=pw\r\n"));
    EXPECT_TRUE(fixture.messages.isEmpty());
}

TEST_F(LogonRoad, VersionRefusedKeepsTheConnection)
{
    startClient();
    ASSERT_TRUE(loggedOn());
    peer.send("001\t2");
    ASSERT_TRUE(TestPeer::waitFor([&] { return fixture.messages.size() == 1; }));
    EXPECT_EQ(fixture.messages[0], QStringLiteral("プログラムのバージョンエラーで接続できません。\r"
                                                  "プログラムを最新のものに更新して下さい"));
    passTicks(3);
    EXPECT_TRUE(peer.clientConnected());
    EXPECT_EQ(mfrm->StatusPanel0->text(), u"ACTIVE");
    EXPECT_EQ(SessionState, ssOnline);
}

TEST_F(LogonRoad, WrongSettingsCloseAfterTheBoxAndStayClosed)
{
    startClient();
    ASSERT_TRUE(loggedOn());
    bool connectedWhileBoxOpen = false;
    fixture.whileBoxOpen = [&] {
        passTicks(3); // the session keeps ticking under the box
        connectedWhileBoxOpen = peer.clientConnected();
    };
    peer.send("001\t1");
    ASSERT_TRUE(TestPeer::waitFor([&] { return fixture.messages.size() == 1; }));
    EXPECT_EQ(fixture.messages[0],
              QStringLiteral("接続設定に誤りがあります。\r再度内容を確認して接続して下さい。"));
    EXPECT_TRUE(connectedWhileBoxOpen);
    EXPECT_TRUE(TestPeer::waitFor([&] { return !peer.clientConnected(); }));
    EXPECT_EQ(SessionState, ssLogoffRequested);
    passTicks(4);
    EXPECT_EQ(peer.connectionCount(), 1);
}

TEST_F(LogonRoad, LostConnectionReconnectsAndLogsOnAgain)
{
    startClient();
    ASSERT_TRUE(loggedOn());
    receive("LSETS\r\nLSETE\r\n");
    EXPECT_FALSE(mfrm->ftree->isHidden());

    QSignalSpy ticks(mfrm->Timer1, &QTimer::timeout);
    peer.closeClient();
    ASSERT_TRUE(TestPeer::waitFor([&] { return peer.connectionCount() == 2; }));
    EXPECT_LE(ticks.count(), 3); // one tick to notice, the next to open: about 200 ms
    EXPECT_EQ(panel1(), QStringLiteral("サーバとの接続が切断されました"));
    EXPECT_TRUE(mfrm->ftree->isHidden());
    EXPECT_TRUE(TestPeer::waitFor([&] { return peer.frames().count(logonRequest) == 2; }));
    EXPECT_TRUE(fixture.messages.isEmpty());
}

TEST_F(LogonRoad, LogoffClosesAndNothingReconnects)
{
    startClient();
    ASSERT_TRUE(loggedOn());
    mfrm->MMenuUserClick();
    EXPECT_FALSE(mfrm->LogonItem->isVisible());
    EXPECT_TRUE(mfrm->LogoffItem->isVisible());
    EXPECT_FALSE(mfrm->ListLoadItem->isVisible());

    mfrm->LogoffItem->trigger();
    ASSERT_TRUE(TestPeer::waitFor([&] { return !peer.clientConnected(); }));
    EXPECT_TRUE(TestPeer::waitFor([&] { return mfrm->StatusPanel0->text() == u"NON-ACTIVE"; }));
    passTicks(4);
    EXPECT_EQ(peer.connectionCount(), 1);
    mfrm->MMenuUserClick();
    EXPECT_TRUE(mfrm->LogonItem->isVisible());
    EXPECT_FALSE(mfrm->LogoffItem->isVisible());
}

TEST_F(LogonRoad, RefusedConnectionRetriesEveryTickWithoutABox)
{
    quint16 closedPort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    fixture.writeUserIni("[SYSTEM]\r\nHOST=127.0.0.1\r\nPORT=" + QByteArray::number(closedPort) +
                         "\r\n[USER]\r\nID=u01\r\nPWDMEMORY=1\r\n");
    mfrm = std::make_unique<Tmfrm>();
    QSignalSpy refusals(mfrm->Connector, &SingleConnect::failed);
    passTicks(1);
    refusals.clear();
    QSignalSpy ticks(mfrm->Timer1, &QTimer::timeout);
    passTicks(10);
    // A new attempt about every tick, no back-off, one at a time.
    EXPECT_GE(refusals.size(), 8);
    EXPECT_LE(refusals.size(), ticks.size() + 1);
    EXPECT_EQ(panel1(), QStringLiteral("サーバと接続できませんでした"));
    EXPECT_TRUE(fixture.messages.isEmpty());
}

TEST_F(LogonRoad, OtherConnectFailuresShowTheirCodeOnceAndStop)
{
    // A name that cannot be a host fails at once, without asking any resolver.
    fixture.writeUserIni("[SYSTEM]\r\nHOST=no such host\r\nPORT=9\r\n[USER]\r\nID=u01\r\nPWDMEMORY=1\r\n");
    mfrm = std::make_unique<Tmfrm>();
    ASSERT_TRUE(TestPeer::waitFor([&] { return !fixture.messages.isEmpty(); }, 10000));
    EXPECT_EQ(fixture.messages[0], QStringLiteral("ＩＭサーバとの接続に想定外のエラーが発生しました。 CODE=11001"));
    passTicks(3);
    EXPECT_EQ(fixture.messages.size(), 1);
    EXPECT_EQ(SessionState, ssIdle);
}

TEST_F(LogonRoad, WithoutARememberedPasswordNothingConnects)
{
    startClient("[USER]\r\nID=u01\r\nPWD=pw\r\nPWDMEMORY=0\r\n");
    passTicks(3);
    EXPECT_EQ(peer.connectionCount(), 0);
    EXPECT_EQ(SessionState, ssIdle);
    EXPECT_EQ(mfrm->StatusPanel0->text(), u"NON-ACTIVE");
}

} // namespace

namespace {

TEST_F(LogonRoad, UserLogsOnThroughTheMenuAndDialog)
{
    startClient("[USER]\r\nID=old\r\nPWDMEMORY=0\r\n");
    Tlogonfrm logonfrm;
    mfrm->setLogonDialog(&logonfrm);
    mfrm->MMenuUserClick();
    ASSERT_TRUE(mfrm->LogonItem->isVisible());
    mfrm->LogonItem->trigger();
    EXPECT_TRUE(logonfrm.isVisible());

    logonfrm.inpuid->setText(QStringLiteral("u01"));
    logonfrm.inppwd->setText(QStringLiteral("pw"));
    logonfrm.Button1->click();
    EXPECT_TRUE(loggedOn());
    EXPECT_TRUE(logonfrm.isHidden());
}

TEST_F(LogonRoad, ServerSendingNoDelimiterIsCutOffAndReconnected)
{
    startClient();
    ASSERT_TRUE(loggedOn());
    peer.sendRaw(QByteArray(FrameCutter::MaxFrameBytes + 1, 'x'));
    EXPECT_TRUE(TestPeer::waitFor([&] { return peer.frames().count(logonRequest) == 2; }));
    EXPECT_EQ(mfrm->ReceiveBuffer.pendingBytes(), 0);
    EXPECT_TRUE(fixture.messages.isEmpty());
}

TEST(StatusBar1DrawPanel, OnlyTheExactTextActiveDrawsTheConnectedIcon)
{
    const QList<QPixmap> icons = pictures::ImageSrvState();
    const struct {
        QString text;
        int image;
    } cases[] = {{"ACTIVE", 1}, {"NON-ACTIVE", 0}, {"NONACTIVE", 0}, {"active", 0}, {"", 0}};
    for (const auto &c : cases) {
        QImage drawn(20, 20, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        QPainter painter(&drawn);
        Tmfrm::StatusBar1DrawPanel(painter, icons, c.text, drawn.rect());
        painter.end();
        QImage expected(20, 20, QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::transparent);
        QPainter(&expected).drawPixmap(0, 0, icons[c.image]);
        EXPECT_EQ(drawn, expected) << c.text.toStdString();
    }
}

} // namespace
